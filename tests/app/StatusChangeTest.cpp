// The status change from the window: the documents the list shows are
// written (checked with the independent reader), failures are listed at the
// end, and closing the window meanwhile ends cleanly.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QByteArray>
#include <QGroupBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <iterator>

#include "TestCommon.h"
#include "TestSupport.h"
#include "app/ResultListView.h"
#include "app/ResultRowsModel.h"

namespace fendrik::test {
namespace {

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The texts of a message box and its details, answered with OK.
struct Shown {
  QString title, text, details;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

class StatusChange : public testing::Test {
 protected:
  void SetUp() override {
    run_ = StartProgram();
    ASSERT_TRUE(run_->loaded);
    window().show();
    window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
  }

  // `count` generated documents, in file-name order, as rows of the list
  // (column 1 the file name, column 8 "?" so that a written row shows).
  std::vector<std::string> Documents(int count, int seed = 4) {
    std::string command = "/usr/bin/python3 " + shellQuote(FENDRIK_SAMPLE_GENERATOR) + " --out " +
                          shellQuote(folder_.str()) + " --documents " + std::to_string(count) + " --seed " +
                          std::to_string(seed) + " >/dev/null";
    EXPECT_EQ(runCommand(command), 0);
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(folder_.path()))
      if (entry.path().extension() != ".json") paths.push_back(entry.path().string());
    std::sort(paths.begin(), paths.end());
    ResultRows rows;
    for (const auto& path : paths) {
      std::vector<std::string> row(kColumnCount);
      row[0] = path;
      row[1] = std::filesystem::path(path).filename().string();
      row[8] = "?";
      rows.append(row);
    }
    window().rowsModel()->setRows(std::move(rows));
    return paths;
  }

  QJsonObject ReaderView(const std::vector<std::string>& files) {
    std::string command = "/usr/bin/python3 " + shellQuote(FENDRIK_OLEFILE_STATUS);
    for (const auto& f : files) command += " " + shellQuote(f);
    std::string json;
    EXPECT_EQ(runCommand(command, &json), 0);
    return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
  }
  std::string Field(const QJsonObject& view, const std::string& file, const char* name) {
    return view.value(QString::fromStdString(file)).toObject().value(name).toVariant().toString().toStdString();
  }

  void ChooseStatus(int code) {
    auto* list = Find<QListWidget>(window(), "lstStatus");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(code)).center());
  }

  // Presses "Setzen", waits until the status change has ended, answers the
  // messages it shows on the way.
  std::vector<Shown> PressSetzen() {
    std::vector<Shown> shown;
    QTimer watcher;
    watcher.setInterval(10);
    QObject::connect(&watcher, &QTimer::timeout, [&shown] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        shown.push_back({box->windowTitle(), box->text(), box->detailedText(), box->icon()});
        box->accept();
      }
    });
    watcher.start();
    QTest::mouseClick(Find<QPushButton>(window(), "cmdSetze"), Qt::LeftButton);
    for (int turns = 0; window().statusChangeRuns() && turns < 600000; ++turns) QTest::qWait(5);
    EXPECT_FALSE(window().statusChangeRuns());
    QTest::qWait(20);
    return shown;
  }

  std::vector<std::string> Column8() {
    std::vector<std::string> texts;
    const ResultRows& rows = window().rowsModel()->rows();
    for (size_t i = 0; i < rows.size(); ++i) texts.emplace_back(rows.text(i, 8));
    return texts;
  }

  FrmFendrik& window() { return run_->window; }
  bool NormalCursor() {
    return QApplication::overrideCursor() == nullptr && window().cursor().shape() != Qt::WaitCursor;
  }
  QString label6() { return Find<QLabel>(window(), "Label6")->text(); }
  QString txtWahl() { return Find<QLineEdit>(window(), "TxtWahl")->text(); }

  TempFolder folder_;
  std::unique_ptr<ProgramRun> run_;
};

TEST_F(StatusChange, NoStatusChosenShowsTheMessageAndTouchesNothing) {
  auto paths = Documents(3);
  const std::string before = Bytes(paths[1]);
  Find<QLabel>(window(), "Label6")->setText("3");
  Find<QLineEdit>(window(), "TxtWahl")->setText("vorher");
  auto shown = PressSetzen();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, QString::fromUtf8("Neuen Status wählen!"));
  EXPECT_EQ(shown[0].title, QString::fromUtf8("Fehler in Status ändern"));
  EXPECT_EQ(shown[0].icon, QMessageBox::Critical);
  EXPECT_EQ(Bytes(paths[1]), before);
  EXPECT_EQ(Column8(), (std::vector<std::string>{"?", "?", "?"}));
  EXPECT_EQ(label6(), "3");
  EXPECT_EQ(txtWahl(), "vorher");
  EXPECT_TRUE(NormalCursor());
}

TEST_F(StatusChange, EmptyListEndsWithEmptyTexts) {
  Find<QLabel>(window(), "Label6")->setText("0");
  ChooseStatus(2);
  auto shown = PressSetzen();
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(label6(), "");
  EXPECT_EQ(txtWahl(), "");
  EXPECT_TRUE(NormalCursor());
}

TEST_F(StatusChange, FilteredListWritesExactlyTheListedDocuments) {
  auto paths = Documents(10);
  const std::vector<std::string> kept = {paths[1], paths[4], paths[8]};
  std::vector<std::string> before;
  for (const auto& p : paths) before.push_back(Bytes(p));
  // Narrow the list to three rows with the title filter.
  for (int row : {1, 4, 8}) window().rowsModel()->setText(row, 9, "Behalten");
  auto* titleBox = Find<QLineEdit>(window(), "TxtSuche_9");
  titleBox->setFocus(Qt::TabFocusReason);
  titleBox->setText("behalten");
  window().listView()->setFocus(Qt::TabFocusReason);
  ASSERT_EQ(window().rowsModel()->rowCount(), 3);
  ChooseStatus(3);
  auto shown = PressSetzen();
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(Column8(), (std::vector<std::string>{"3", "3", "3"}));
  QJsonObject view = ReaderView(paths);
  for (size_t i = 0; i < paths.size(); ++i) {
    const bool listed = std::find(kept.begin(), kept.end(), paths[i]) != kept.end();
    if (listed) {
      EXPECT_EQ(Field(view, paths[i], "status"), "3") << paths[i];
      EXPECT_EQ(Field(view, paths[i], "username"), "Vodra") << paths[i];
      EXPECT_EQ(Field(view, paths[i], "security"), "4") << paths[i];
    } else {
      EXPECT_EQ(Bytes(paths[i]), before[i]) << paths[i];
    }
  }
  EXPECT_EQ(label6(), "");
  EXPECT_EQ(txtWahl(), "");
  EXPECT_TRUE(NormalCursor());
  EXPECT_EQ(Find<QListWidget>(window(), "lstStatus")->currentRow(), 3);
  EXPECT_TRUE(Find<QPushButton>(window(), "cmdSetze")->isEnabled());
  EXPECT_TRUE(Find<QPushButton>(window(), "CmdSuchen")->isEnabled());
}

TEST_F(StatusChange, ReadOnlyAndVanishedDocumentsAreListedAndTheOthersWritten) {
  auto paths = Documents(8);
  ::chmod(paths[2].c_str(), 0444);
  const std::string readOnlyBefore = Bytes(paths[2]);
  std::filesystem::remove(paths[5]);
  ChooseStatus(1);
  auto shown = PressSetzen();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].title, QString::fromUtf8("Fehler in Status ändern"));
  EXPECT_TRUE(shown[0].text.contains("6 von 8")) << shown[0].text.toStdString();
  const QStringList lines = shown[0].details.split('\n');
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[0].startsWith(QString::fromStdString(paths[2]) + ": -2147287035 / ")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].startsWith(QString::fromStdString(paths[5]) + ": -2147287038 / ")) << lines[1].toStdString();
  EXPECT_EQ(Column8(), (std::vector<std::string>{"1", "1", "?", "1", "1", "?", "1", "1"}));
  EXPECT_EQ(Bytes(paths[2]), readOnlyBefore);
  std::vector<std::string> written;
  for (size_t i : {0, 1, 3, 4, 6, 7}) written.push_back(paths[i]);
  QJsonObject view = ReaderView(written);
  for (const auto& p : written) EXPECT_EQ(Field(view, p, "status"), "1") << p;
  EXPECT_EQ(label6(), "");
}

TEST_F(StatusChange, WhileItRunsNothingCanChangeTheListAndTheWindowAnswers) {
  auto paths = Documents(150, 6);
  ChooseStatus(4);
  bool sawRunning = false, controlsLocked = true;
  QTimer probe;
  probe.setInterval(1);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    if (!window().statusChangeRuns()) return;
    sawRunning = true;
    controlsLocked = controlsLocked && !Find<QPushButton>(window(), "CmdSuchen")->isEnabled() &&
                     !Find<QPushButton>(window(), "cmdSetze")->isEnabled() &&
                     !Find<QGroupBox>(window(), "Frame2")->isEnabled();
  });
  probe.start();
  auto shown = PressSetzen();
  probe.stop();
  EXPECT_TRUE(shown.empty());
  EXPECT_TRUE(controlsLocked);
  // The window's own event loop turned while documents were written.
  EXPECT_TRUE(sawRunning);
  for (const auto& text : Column8()) EXPECT_EQ(text, "4");
}

TEST_F(StatusChange, ClosingTheWindowMeanwhileFinishesTheDocumentInHandAndStops) {
  auto paths = Documents(200, 8);
  std::vector<std::string> before;
  for (const auto& p : paths) before.push_back(Bytes(p));
  ChooseStatus(5);
  QTest::mouseClick(Find<QPushButton>(window(), "cmdSetze"), Qt::LeftButton);
  ASSERT_TRUE(window().statusChangeRuns());
  window().close();
  EXPECT_FALSE(window().statusChangeRuns());
  // Every document is either untouched or fully written, never in between.
  QJsonObject view = ReaderView(paths);
  size_t written = 0;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (Bytes(paths[i]) == before[i]) continue;
    ++written;
    EXPECT_EQ(Field(view, paths[i], "status"), "5") << paths[i];
    EXPECT_EQ(Field(view, paths[i], "username"), "Vodra") << paths[i];
  }
  EXPECT_LT(written, paths.size());
  EXPECT_TRUE(StoredSettings().contains("Einstellungen/Pfad"));
}

}  // namespace
}  // namespace fendrik::test
