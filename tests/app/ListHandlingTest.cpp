// The user's handling of the result list in the real window: filters, header clicks, row clicks with
// the open check, double clicks and the row bands; and the list model as Qt's views rely on it.
#include <QAbstractItemModelTester>
#include <QKeyEvent>

#include "TestSupport.h"
#include "app/AltLinesBackground.h"

namespace fendrik::test {
namespace {

using Strings = std::vector<std::string>;

class ListHandling : public WindowTest {
 protected:
  QLineEdit* box(int k) { return control<QLineEdit>(QString("TxtSuche_%1").arg(k)); }
  // Clicks into filter box k, types the text, umlauts and all, and leaves the box with Tab.
  void TypeFilter(int k, const QString& text) {
    QTest::mouseClick(box(k), Qt::LeftButton);
    QTest::keyClick(box(k), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(box(k), Qt::Key_Delete);
    for (QChar c : text) {  // one key at a time, as QTest::keyClicks cannot type umlauts
      QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QApplication::sendEvent(box(k), &press);
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
  std::vector<Shown> ClickRow(int row) {
    return AnswerMessages([&] { QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, RowPoint(row)); });
  }
};

// Each step types a text into a filter box (its check box ticked for "does
// not contain") and gives the rows left in the case's column and Label6.
struct FilterStep { int box; const char* text; bool without; Strings left; const char* label; };

TEST_F(ListHandling, FiltersKeepOrRemoveTheRowsWithTheText) {
  using Rows = std::vector<std::map<int, std::string>>;
  const Rows names = {{{1, "ABC-Welle"}}, {{1, "flansch"}}, {{1, "xAbcx"}}, {{1, "deckel"}}, {{1, "abc"}}};
  const struct { const char* name; int column; Rows rows; std::vector<FilterStep> steps; } cases[] = {
      {"contains in any case", 1, names, {{1, "abc", false, {"ABC-Welle", "xAbcx", "abc"}, "3"}}},
      {"ticked box removes", 1, names, {{1, "aBC", true, {"flansch", "deckel"}, "2"}}},
      {"umlauts", 9, {{{9, "GRÖSSE"}}, {{9, "Größe"}}, {{9, "Grosse"}}, {{9, "STRAẞE"}}},
       {{9, "ö", false, {"GRÖSSE", "Größe"}, "2"}, {9, "ß", false, {"Größe"}, "1"}}},
      {"two filters in turn", 9,
       {{{9, "Welle 1"}, {14, "Alpha"}}, {{9, "Welle 2"}, {14, "Beta"}}, {{9, "Flansch"}, {14, "Alpha"}},
        {{9, "welle 3"}, {14, "alphabet"}}},
       {{9, "welle", false, {"Welle 1", "Welle 2", "welle 3"}, "3"}, {14, "ALPHA", true, {"Welle 2"}, "1"}}},
      {"no match, then a box on the empty list", 1, {{{1, "a"}}, {{1, "b"}}},
       {{1, "zzz", false, {}, "0"}, {3, "x", false, {}, "0"}}},
      {"an empty box does nothing, a blank filters", 1, {{{1, "a b"}}, {{1, "ab"}}, {{1, " x"}}, {{1, "c"}}},
       {{1, "", false, {"a b", "ab", " x", "c"}, "vorher"}, {1, " ", false, {"a b", " x"}, "2"}}},
      {"the document number box filters document numbers", 6,
       {{{5, "       4711"}, {6, "DN-100"}}, {{5, "         12"}, {6, "DN-4711"}}, {{5, "        100"}, {6, "ZX-9"}}},
       {{5, "4711", false, {"DN-4711"}, "1"}, {5, "dn-", false, {"DN-4711"}, "1"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    model().setRows(MakeRows(c.rows));
    control<QLabel>("Label6")->setText("vorher");
    for (const FilterStep& step : c.steps) {
      SCOPED_TRACE(step.text);
      control<QCheckBox>(QString("ChkFilter_%1").arg(step.box))->setChecked(step.without);
      EXPECT_EQ(model().rowCount(), static_cast<int>(model().rows().size()));  // the check box alone filters nothing
      TypeFilter(step.box, QString::fromUtf8(step.text));
      EXPECT_EQ(Column(c.column), step.left);
      EXPECT_EQ(label6(), step.label);
      // Entering the box again, by Tab or mouse, selects its whole text; leaving it filters nothing more.
      for (bool byMouse : {false, true}) {
        list().setFocus();
        QCoreApplication::processEvents();
        byMouse ? QTest::mouseClick(box(step.box), Qt::LeftButton) : box(step.box)->setFocus(Qt::TabFocusReason);
        QCoreApplication::processEvents();
        EXPECT_EQ(box(step.box)->selectedText(), QString::fromUtf8(step.text)) << byMouse;
      }
      QTest::keyClick(box(step.box), Qt::Key_Tab);
      QCoreApplication::processEvents();
      EXPECT_EQ(Column(c.column), step.left);
    }
    // Leaving a box with a text filters again, so the next case starts with empty boxes.
    for (int k = 0; k < FrmFendrik::kFilterBoxes; ++k) {
      if (box(k)->isVisible()) box(k)->clear();
      control<QCheckBox>(QString("ChkFilter_%1").arg(k))->setChecked(false);
    }
  }
}

// Sorting itself (as text, stable) is the result list's; here the window's
// one direction flag, the indicator and the selection.
TEST_F(ListHandling, HeaderClicksSortOneWayThenTheOtherWithOneFlag) {
  ClickHeader(3);  // clicks on an empty list change nothing, not even the flag
  ClickHeader(1);
  EXPECT_FALSE(list().header()->isSortIndicatorShown());
  EXPECT_FALSE(model().sorted());
  model().setRows(MakeRows({{{1, "b"}, {3, "/z"}}, {{1, "a"}, {3, "/m"}}, {{1, "c"}, {3, "/a"}}}));
  control<QLineEdit>("TxtWahl")->setText("vorher");
  const struct { int column; Strings texts; Qt::SortOrder order; } clicks[] = {{1, {"a", "b", "c"}, Qt::AscendingOrder},
                {1, {"c", "b", "a"}, Qt::DescendingOrder},
                {3, {"/a", "/m", "/z"}, Qt::AscendingOrder}};
  for (const auto& click : clicks) {
    ClickHeader(click.column);
    EXPECT_EQ(Column(click.column), click.texts);
    EXPECT_TRUE(list().header()->isSortIndicatorShown());
    EXPECT_EQ(list().header()->sortIndicatorSection(), click.column);
    EXPECT_EQ(list().header()->sortIndicatorOrder(), click.order);
    // The first row is selected and shown, but that is no row click.
    EXPECT_TRUE(list().selectionModel()->isRowSelected(0, {}));
    EXPECT_EQ(txtWahl(), "vorher");
    EXPECT_EQ(window().clickedRow(), 0);
  }
}

TEST_F(ListHandling, RowClicksOpenTheDocumentAndDoubleClicksRemoveTheRowOnly) {
  const std::string document = generateDocuments(folder_.path(), 1, 2).at(0);
  std::vector<std::map<int, std::string>> rows;
  for (int i = 0; i < 10; ++i) rows.push_back({{0, document}, {1, "teil" + std::to_string(i)}});
  model().setRows(MakeRows(rows));
  // Before any row click a double click on empty space removes nothing.
  QTest::mouseDClick(list().viewport(), Qt::LeftButton, {}, QPoint(5, list().viewport()->height() - 3));
  EXPECT_EQ(model().rowCount(), 10);
  const auto shown = ClickRow(3);
  EXPECT_TRUE(shown.empty()) << Texts(shown);
  EXPECT_EQ(label6(), "4 / 10");
  EXPECT_EQ(txtWahl(), QString::fromStdString(document));
  EXPECT_EQ(window().currentPath(), document);
  EXPECT_EQ(window().clickedRow(), 4);
  // What a double click on a row delivers: a click, then the double click.
  AnswerMessages([&] {
    QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, RowPoint(2));
    QTest::mouseDClick(list().viewport(), Qt::LeftButton, {}, RowPoint(2));
  });
  EXPECT_EQ(model().rowCount(), 9);
  EXPECT_EQ(label6(), "9");
  EXPECT_EQ(model().rows().text(2, 1), "teil3");
  EXPECT_TRUE(std::filesystem::exists(document));
  // A row of a deleted document: the open message, once.
  const std::string gone = folder_.str() + "/weg.par";
  model().setRows(MakeRows({{{0, gone}, {1, "weg"}}, {{0, gone}, {1, "auch weg"}}}));
  const auto message = ClickRow(1);
  ASSERT_EQ(message.size(), 1U) << Texts(message);
  EXPECT_TRUE(message[0].text.startsWith("Fehler beim Open der Basis-Datei: -2147287038 / ")) << Texts(message);
  EXPECT_EQ(label6(), "2 / 2");
  EXPECT_EQ(txtWahl(), QString::fromStdString(gone));
}

TEST_F(ListHandling, RowBandsStartPaleAlternateBelowTheRowsAndFollowChanges) {
  QWidget& picture = *window().altLinesPicture();
  const QColor pale = picture.palette().color(picture.backgroundRole()), base = list().palette().color(QPalette::Base);
  ASSERT_NE(pale, base);
  // The colour in an empty column at the height of row position `row` of the shown part.
  auto colourAt = [&](int row, int top = 0) {
    const QRect first = list().visualRect(model().index(top, 10));
    const int height = first.isValid() ? first.height() : list().bandHeight();
    const int x = first.isValid() ? first.center().x() : list().viewport()->width() / 2;
    return list().viewport()->grab().toImage().pixelColor(x, first.top() + row * height + height / 2);
  };
  for (int count : {0, 1, 5, 6, 200}) {
    SCOPED_TRACE(count);
    std::vector<std::map<int, std::string>> rows;
    for (int i = 0; i < count; ++i) rows.push_back({{1, std::to_string(i)}});
    model().setRows(MakeRows(rows));
    SetAltLinesBackground(list(), picture);
    SetAltLinesBackground(list(), picture);
    EXPECT_EQ(list().hasRowBands(), count > 0);
    int top = 0;
    if (count == 6) {  // removing and sorting keep one band per row
      model().removeRowAt(2);
      model().sortByColumn(1, false);
    } else if (count == 200) {  // bands follow scrolling: row 101 is odd
      top = 101;
      list().scrollTo(model().index(top, 1), QAbstractItemView::PositionAtTop);
    }
    for (int row = 0; row < 8; ++row)
      EXPECT_EQ(colourAt(row, top), (row + top) % 2 == 0 && count > 0 ? pale : base) << row;
  }
}

// A title of four million characters, as a document can hold one: the cell shows its beginning, cut, so the
// list measures and paints no more than that; the row keeps every character, and the filter finds a word at
// its very end. Control characters show as control pictures, the row keeps them as they are.
TEST_F(ListHandling, AVeryLongTextIsShownCutAndFilteredWhole) {
  const std::string stem = "Welle Gehäuse Äußere Platte ";  // 28 characters
  std::string title;
  for (int k = 0; k < 4'000'000 / 28; ++k) title += stem;
  title += "Schlusswort";
  model().setRows(MakeRows({{{1, "kurz.par"}, {9, "Welle"}},
                            {{1, "lang.par"}, {9, title}},
                            {{1, "a\nb.par"}, {9, "x\ty\r\x01\x7f"}}}));
  list().viewport()->grab();  // painted once
  const QString shown = model().data(model().index(1, 9), Qt::DisplayRole).toString();
  EXPECT_EQ(shown.size(), kDisplayCharacters + 1);
  EXPECT_TRUE(shown == QString::fromUtf8(title).left(kDisplayCharacters) + QChar(0x2026)) << shown.last(9).toStdString();
  // The list measures the cell by the text it shows: narrower than that many of a wide letter.
  EXPECT_LT(static_cast<QAbstractItemView&>(list()).sizeHintForColumn(9),
            list().fontMetrics().horizontalAdvance(QString(kDisplayCharacters + 10, QChar('W'))));
  EXPECT_EQ(model().data(model().index(2, 1), Qt::DisplayRole).toString().toStdString(), "a\u240Ab.par");
  EXPECT_EQ(model().data(model().index(2, 9), Qt::DisplayRole).toString().toStdString(), "x\u2409y\u240D\u2401\u2421");
  // A line break does not make its row two lines high (a fallback font for the control pictures may add a
  // pixel or two).
  EXPECT_LT(list().sizeHintForRow(2), list().sizeHintForRow(0) * 3 / 2);
  EXPECT_EQ(Column(1), (Strings{"kurz.par", "lang.par", "a\nb.par"}));

  TypeFilter(9, "schlusswort");
  EXPECT_EQ(Column(1), Strings{"lang.par"});
  EXPECT_EQ(model().rows().text(0, 9), title);
  EXPECT_EQ(label6(), "1");
}

// What a cell shows of a row text: the text's first kDisplayCharacters characters, cut between two characters,
// then "…"; every control character as a visible picture, bytes that are not UTF-8 as U+FFFD.
TEST(ResultRowsModel, CellsShowTextsCutBetweenCharactersWithControlsVisible) {
  const int n = kDisplayCharacters;
  const std::string as(static_cast<size_t>(n - 1), 'a');
  const QString qas(n - 1, QChar('a'));
  const QString cut(QChar(0x2026));
  const struct { const char* what; std::string text; QString shown; } cases[] = {
      {"empty", "", ""},
      {"plain", "Welle 01.par", "Welle 01.par"},
      {"exactly the limit", as + "b", qas + "b"},
      {"one beyond", as + "bc", qas + "b" + cut},
      {"two-byte character last", as + "ä", qas + QString::fromUtf8("ä")},
      {"two-byte character cut off", as + "bä", qas + "b" + cut},
      {"two-byte character at the cut", as + "äb", qas + QString::fromUtf8("ä") + cut},
      {"three-byte character at the cut", as + "€b", qas + QString::fromUtf8("€") + cut},
      {"four-byte character at the cut", as + "𐐀b", qas + QString::fromUtf8("𐐀") + cut},
      {"controls", std::string("\0\t\n\r\x1b\x1f\x7f", 7), QString::fromUtf8("\u2400\u2409\u240A\u240D\u241B\u241F\u2421")},
      {"line separators", "a\u2028b\u2029c\u0085d", QString::fromUtf8("a\u2424b\u2424c\u2424d")},
      {"not UTF-8", "a\xff\xc3(\xe2\x82", QString::fromUtf8("a\uFFFD\uFFFD(\uFFFD\uFFFD")},
      {"a lone byte counts as one character", as + "\xff" + "b", qas + QChar(0xFFFD) + cut},
  };
  for (const auto& c : cases) EXPECT_EQ(DisplayText(c.text).toStdString(), c.shown.toStdString()) << c.what;
}

// Every change announced the way views rely on, checked by Qt's own tester (it fails the test on the first
// wrong or missing announcement), and a selected cell follows its row through sorting.
TEST(ResultRowsModel, AnnouncesEveryChangeAsQtRequires) {
  ResultRowsModel model;
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  const auto rows = [] { return MakeRows({{{1, "d"}}, {{1, "b"}}, {{1, "a"}}, {{1, "c"}}}); };
  model.setRows(rows());
  EXPECT_EQ(model.rowCount(), 0);  // nothing before the columns are set up
  QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
  model.showColumns();  // rows and columns appear together
  EXPECT_EQ(resets.count(), 1);
  model.setRows(ResultRows());
  model.setRows(rows());
  QPersistentModelIndex b = model.index(1, 3);
  model.sortByColumn(1, true);
  EXPECT_EQ(std::make_pair(b.row(), b.column()), std::make_pair(1, 3));
  QPersistentModelIndex d = model.index(3, 0);
  model.sortByColumn(1, false);
  EXPECT_EQ(d.row(), 0);
  model.removeRowAt(2);
  model.removeRowAt(7);  // no such row: nothing happens
  model.setText(0, 9, "Titel");
  EXPECT_EQ(model.rowCount(), 3);
  EXPECT_EQ(model.data(model.index(0, 9), Qt::DisplayRole).toString(), "Titel");
  EXPECT_EQ(model.data(model.index(d.row(), 1), Qt::DisplayRole).toString(), "d");
}

}  // namespace
}  // namespace fendrik::test
