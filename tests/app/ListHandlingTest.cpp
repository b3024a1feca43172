// The user's handling of the result list in the real window: filters and
// their reset, header clicks, row clicks with the open check, double clicks.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "TestCommon.h"
#include "TestSupport.h"
#include "app/ResultListView.h"
#include "app/ResultRowsModel.h"

namespace fendrik::test {
namespace {

// One generated document that every row names, so that row clicks open a
// real document.
class ListHandling : public testing::Test {
 protected:
  void SetUp() override {
    std::string command = "/usr/bin/python3 " + shellQuote(FENDRIK_SAMPLE_GENERATOR) + " --out " +
                          shellQuote(folder_.str()) + " --documents 1 --seed 2 >/dev/null";
    ASSERT_EQ(runCommand(command), 0);
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path()))
      if (entry.path().extension() != ".json") document_ = entry.path().string();
    ASSERT_FALSE(document_.empty());
    run_ = StartProgram();
    ASSERT_TRUE(run_->loaded);
    window().show();
    window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
  }

  FrmFendrik& window() { return run_->window; }
  ResultListView& list() { return *window().listView(); }
  ResultRowsModel& model() { return *window().rowsModel(); }
  QLineEdit* box(int k) { return Find<QLineEdit>(window(), QString("TxtSuche_%1").arg(k)); }
  QCheckBox* check(int k) { return Find<QCheckBox>(window(), QString("ChkFilter_%1").arg(k)); }
  QString label6() { return Find<QLabel>(window(), "Label6")->text(); }
  QString txtWahl() { return Find<QLineEdit>(window(), "TxtWahl")->text(); }

  // Rows with the given texts in column `column`; column 0 holds the
  // document's path and the row number is kept in column 23.
  void Fill(int column, const std::vector<std::string>& texts, const std::string& path = {}) {
    ResultRows rows;
    for (size_t i = 0; i < texts.size(); ++i) {
      std::vector<std::string> row(kColumnCount);
      row[0] = path.empty() ? document_ : path;
      row[column] = texts[i];
      row[23] = std::to_string(i);
      rows.append(row);
    }
    model().setRows(std::move(rows));
  }

  std::vector<std::string> Column(int column) {
    std::vector<std::string> texts;
    for (size_t i = 0; i < model().rows().size(); ++i) texts.emplace_back(model().rows().text(i, column));
    return texts;
  }

  // Clicks into filter box k, types the text and leaves the box with Tab.
  void TypeFilter(int k, const QString& text) {
    QTest::mouseClick(box(k), Qt::LeftButton);
    QTest::keyClick(box(k), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box(k), Qt::Key_Delete);
    // Typed one character at a time, umlauts and all.
    for (QChar c : text) {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QApplication::sendEvent(box(k), &press);
      QApplication::sendEvent(box(k), &release);
    }
    ASSERT_EQ(box(k)->text(), text);
    QTest::keyClick(box(k), Qt::Key_Tab);
    QCoreApplication::processEvents();
  }

  void ClickHeader(int column) {
    QHeaderView* header = list().header();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
  }

  QPoint RowPoint(int row) { return list().visualRect(model().index(row, 1)).center(); }

  TempFolder folder_;
  std::string document_;
  std::unique_ptr<ProgramRun> run_;
};

TEST_F(ListHandling, ContainsKeepsTheFileNamesWithTheTextInAnyCase) {
  Fill(1, {"ABC-Welle", "flansch", "xAbcx", "deckel", "abc"});
  TypeFilter(1, "abc");
  EXPECT_EQ(Column(1), (std::vector<std::string>{"ABC-Welle", "xAbcx", "abc"}));
  EXPECT_EQ(label6(), "3");
}

TEST_F(ListHandling, TickedBoxRemovesTheRowsWithTheText) {
  Fill(1, {"ABC-Welle", "flansch", "xAbcx", "deckel", "abc"});
  check(1)->setChecked(true);
  EXPECT_EQ(model().rowCount(), 5);  // the check box alone changes nothing
  TypeFilter(1, "aBC");
  EXPECT_EQ(Column(1), (std::vector<std::string>{"flansch", "deckel"}));
  EXPECT_EQ(label6(), "2");
}

TEST_F(ListHandling, LowerCaseUmlautFindsUpperCase) {
  Fill(9, {"GRÖSSE", "Größe", "Grosse", "STRAẞE"});
  TypeFilter(9, QString::fromUtf8("ö"));
  EXPECT_EQ(Column(9), (std::vector<std::string>{"GRÖSSE", "Größe"}));
  TypeFilter(9, QString::fromUtf8("ß"));
  EXPECT_EQ(Column(9), (std::vector<std::string>{"Größe"}));
}

TEST_F(ListHandling, TwoFiltersInTurnLeaveTheRowsMeetingBoth) {
  ResultRows rows;
  auto add = [&](const char* title, const char* project) {
    std::vector<std::string> row(kColumnCount);
    row[0] = document_;
    row[9] = title;
    row[14] = project;
    rows.append(row);
  };
  add("Welle 1", "Alpha");
  add("Welle 2", "Beta");
  add("Flansch", "Alpha");
  add("welle 3", "alphabet");
  model().setRows(std::move(rows));
  TypeFilter(9, "welle");
  EXPECT_EQ(label6(), "3");
  check(14)->setChecked(true);
  TypeFilter(14, "ALPHA");
  EXPECT_EQ(Column(9), (std::vector<std::string>{"Welle 2"}));
  EXPECT_EQ(label6(), "1");
}

TEST_F(ListHandling, NoMatchEmptiesTheListAndAnEmptyListShowsZero) {
  Fill(1, {"a", "b"});
  TypeFilter(1, "zzz");
  EXPECT_EQ(model().rowCount(), 0);
  EXPECT_EQ(label6(), "0");
  TypeFilter(3, "x");
  EXPECT_EQ(label6(), "0");
}

TEST_F(ListHandling, BlanksFilterAndAnEmptyBoxDoesNothing) {
  Fill(1, {"a b", "ab", " x", "c"});
  Find<QLabel>(window(), "Label6")->setText("vorher");
  TypeFilter(1, "");
  EXPECT_EQ(model().rowCount(), 4);
  EXPECT_EQ(label6(), "vorher");
  TypeFilter(1, " ");
  EXPECT_EQ(Column(1), (std::vector<std::string>{"a b", " x"}));
}

TEST_F(ListHandling, TheDocumentNumberBoxFiltersDocumentNumbers) {
  ResultRows rows;
  auto add = [&](const char* size, const char* number) {
    std::vector<std::string> row(kColumnCount);
    row[0] = document_;
    row[5] = size;
    row[6] = number;
    rows.append(row);
  };
  add("       4711", "DN-100");
  add("         12", "DN-4711");
  add("        100", "ZX-9");
  model().setRows(std::move(rows));
  TypeFilter(5, "4711");
  EXPECT_EQ(Column(6), (std::vector<std::string>{"DN-4711"}));
  TypeFilter(5, "dn-");
  EXPECT_EQ(label6(), "1");
}

TEST_F(ListHandling, EnteringABoxSelectsItsWholeTextAndLeavingAppliesItAgain) {
  Fill(1, {"welle", "flansch", "Welle2"});
  TypeFilter(1, "welle");
  EXPECT_EQ(model().rowCount(), 2);
  box(1)->setFocus(Qt::TabFocusReason);
  QCoreApplication::processEvents();
  EXPECT_EQ(box(1)->selectedText(), "welle");
  // Entering it with the mouse selects the whole text as well.
  list().setFocus();
  QCoreApplication::processEvents();
  QTest::mouseClick(box(1), Qt::LeftButton);
  QCoreApplication::processEvents();
  EXPECT_EQ(box(1)->selectedText(), "welle");
  // Leaving it again with the same text removes nothing more.
  QTest::keyClick(box(1), Qt::Key_Tab);
  EXPECT_EQ(model().rowCount(), 2);
  EXPECT_EQ(label6(), "2");
}

TEST_F(ListHandling, HeaderClicksSortOneWayThenTheOtherWithOneFlag) {
  Fill(1, {"b-teil", "A-Teil", "c-teil", "a-teil"});
  Find<QLineEdit>(window(), "TxtWahl")->setText("vorher");
  ClickHeader(1);
  EXPECT_EQ(Column(1), (std::vector<std::string>{"A-Teil", "a-teil", "b-teil", "c-teil"}));
  EXPECT_EQ(list().header()->sortIndicatorSection(), 1);
  EXPECT_EQ(list().header()->sortIndicatorOrder(), Qt::AscendingOrder);
  EXPECT_TRUE(list().header()->isSortIndicatorShown());
  // The first row is selected and shown, but that is no row click.
  EXPECT_EQ(list().currentIndex().row(), 0);
  EXPECT_TRUE(list().selectionModel()->isRowSelected(0, {}));
  EXPECT_EQ(txtWahl(), "vorher");
  EXPECT_EQ(window().clickedRow(), 0);

  ClickHeader(1);
  EXPECT_EQ(Column(1), (std::vector<std::string>{"c-teil", "b-teil", "A-Teil", "a-teil"}));
  EXPECT_EQ(list().header()->sortIndicatorOrder(), Qt::DescendingOrder);

  // Another column: the one flag flips again, so ascending.
  ResultRows rows;
  for (const char* path : {"/z", "/m", "/a"}) rows.append({path, "x", "", path});
  model().setRows(std::move(rows));
  ClickHeader(3);
  EXPECT_EQ(Column(3), (std::vector<std::string>{"/a", "/m", "/z"}));
  ClickHeader(1);  // equal texts keep their order
  EXPECT_EQ(Column(3), (std::vector<std::string>{"/a", "/m", "/z"}));
  EXPECT_EQ(list().header()->sortIndicatorSection(), 1);
  EXPECT_EQ(list().header()->sortIndicatorOrder(), Qt::DescendingOrder);
}

TEST_F(ListHandling, SizeDateAndStatusSortAsTextAndNeverAsNumbers) {
  Fill(5, {"        900", "      1.200", "         20"});
  ClickHeader(5);
  EXPECT_EQ(Column(5), (std::vector<std::string>{"         20", "        900", "      1.200"}));
  Fill(8, {"10", "9", "2"});
  ClickHeader(8);  // descending now
  EXPECT_EQ(Column(8), (std::vector<std::string>{"9", "2", "10"}));
}

TEST_F(ListHandling, HeaderClickOnAnEmptyListChangesNothing) {
  ClickHeader(3);
  ClickHeader(3);
  ClickHeader(1);
  EXPECT_FALSE(list().header()->isSortIndicatorShown());
  EXPECT_FALSE(model().sorted());
  // The flag was not flipped: the first click on a filled list sorts ascending.
  Fill(1, {"b", "a"});
  ClickHeader(1);
  EXPECT_EQ(Column(1), (std::vector<std::string>{"a", "b"}));
}

TEST_F(ListHandling, RowClickMakesTheCurrentDocumentAndShowsItsPosition) {
  ResultRows rows;
  for (int i = 0; i < 10; ++i) rows.append({document_, "teil" + std::to_string(i)});
  model().setRows(std::move(rows));
  QStringList messages = AnswerMessages([&] { QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, RowPoint(3)); });
  EXPECT_TRUE(messages.isEmpty()) << messages.join("|").toStdString();
  EXPECT_EQ(label6(), "4 / 10");
  EXPECT_EQ(txtWahl(), QString::fromStdString(document_));
  EXPECT_EQ(window().currentPath(), QString::fromStdString(document_));
  EXPECT_EQ(window().clickedRow(), 4);
}

TEST_F(ListHandling, RowOfADeletedDocumentShowsTheOpenMessageOnce) {
  const std::string gone = folder_.str() + "/weg.par";
  Fill(1, {"weg", "auch weg"}, gone);
  QStringList messages = AnswerMessages([&] { QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, RowPoint(1)); });
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].startsWith("Fehler beim Open der Basis-Datei: -2147287038 / ")) << messages[0].toStdString();
  EXPECT_EQ(model().rowCount(), 2);
  EXPECT_EQ(label6(), "2 / 2");
  EXPECT_EQ(txtWahl(), QString::fromStdString(gone));
}

TEST_F(ListHandling, DoubleClickRemovesTheRowFromTheListOnly) {
  ResultRows rows;
  for (int i = 0; i < 20; ++i) rows.append({document_, "teil" + std::to_string(i)});
  model().setRows(std::move(rows));
  // Before any row click a double click on empty space removes nothing.
  QTest::mouseDClick(list().viewport(), Qt::LeftButton, {}, QPoint(5, list().viewport()->height() - 3));
  EXPECT_EQ(model().rowCount(), 20);
  // What a double click on a row delivers: a click, then the double click.
  AnswerMessages([&] {
    QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, RowPoint(2));
    QTest::mouseDClick(list().viewport(), Qt::LeftButton, {}, RowPoint(2));
  });
  EXPECT_EQ(model().rowCount(), 19);
  EXPECT_EQ(label6(), "19");
  EXPECT_EQ(model().rows().text(2, 1), "teil3");
  EXPECT_TRUE(std::filesystem::exists(document_));
  EXPECT_EQ(txtWahl(), QString::fromStdString(document_));
}

TEST_F(ListHandling, RResetsTheWidthsAfterSortingToo) {
  Fill(1, {"b", "a"});
  ClickHeader(1);
  list().setColumnWidthTwips(1, 500);
  list().setFocus();
  QTest::keyClick(&list(), Qt::Key_R);
  EXPECT_EQ(list().columnWidthTwips(1), 3000);
}

}  // namespace
}  // namespace fendrik::test
