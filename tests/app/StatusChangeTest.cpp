// The status change from the window: the listed documents are written (checked with the independent
// reader), failures are listed at the end, and closing the window meanwhile ends cleanly.

#include <QJsonObject>
#include <fstream>

#include "platform/OrdinaryUser.h"
#include "platform/TestSystem.h"
#include "TestSupport.h"
#include "properties/StatusChange.h"
#include "properties/VisibleText.h"

namespace fendrik::test {
namespace {

class StatusChange : public WindowTest {
 protected:
  // `count` generated documents as rows of the list, in file-name order
  // (column 8 "?" so that a written row shows).
  std::vector<std::string> Documents(int count, int seed = 4) {
    auto paths = generateDocuments(folder_.path(), count, seed);
    std::vector<std::map<int, std::string>> rows;
    for (const auto& path : paths) rows.push_back({{0, path}, {8, "?"}});
    model().setRows(MakeRows(rows));
    return paths;
  }
  std::vector<std::string> Contents(const std::vector<std::string>& paths) {
    std::vector<std::string> bytes(paths.size());
    std::transform(paths.begin(), paths.end(), bytes.begin(), [](const auto& p) { return readFile(p); });
    return bytes;
  }
  // "status username security" of each file as the independent reader sees them.
  // The reader is given copies under plain names, since it takes its file
  // names as text.
  std::map<std::string, std::string> ReaderView(const std::vector<std::string>& files) {
    TempFolder copies;
    std::vector<std::string> plain;
    for (const auto& f : files)
      plain.push_back(platform::Utf8Path(copies.copy(platform::FsPath(f), std::to_string(plain.size()) + ".par")));
    const QJsonObject view = olefileView(plain);
    std::map<std::string, std::string> fields;
    for (size_t i = 0; i < files.size(); ++i) fields[files[i]] = statusSeen(view, plain[i]);
    return fields;
  }
  void ChooseStatus(int code) {
    auto* status = control<QListWidget>("lstStatus");
    QTest::mouseClick(status->viewport(), Qt::LeftButton, {}, status->visualItemRect(status->item(code)).center());
  }
  // Presses "Setzen" and waits until the status change has ended.
  std::vector<Shown> PressSetzen() {
    return AnswerMessages([this] {
      QTest::mouseClick(control<QPushButton>("cmdSetze"), Qt::LeftButton);
      EXPECT_TRUE(QTest::qWaitFor([this] { return !window().statusChangeRuns(); }, 600000));
    });
  }
};

// On a list narrowed by a filter exactly the listed documents are written;
// a read-only and a vanished one are reported at the end and stay as they were.
TEST_F(StatusChange, ListedDocumentsAreWrittenAndFailuresReportedOnceAStatusIsChosen) {
  auto paths = Documents(10);
  std::filesystem::permissions(platform::FsPath(paths[4]), std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);  // read-only
  std::filesystem::remove(platform::FsPath(paths[8]));
  const auto before = Contents(paths);
  for (int row : {1, 3, 4, 6, 8}) model().setText(row, 9, "Behalten");
  auto* titleBox = control<QLineEdit>("TxtSuche_9");
  titleBox->setFocus(Qt::TabFocusReason);
  titleBox->setText("behalten");
  list().setFocus(Qt::TabFocusReason);
  ASSERT_EQ(model().rowCount(), 5);
  // Without a chosen status: a message, and nothing changes.
  control<QLineEdit>("TxtWahl")->setText("vorher");
  auto shown = PressSetzen();
  ASSERT_EQ(shown.size(), 1U);
  EXPECT_EQ(shown[0].text, QString::fromUtf8("Neuen Status wählen!"));
  EXPECT_EQ(shown[0].icon, QMessageBox::Critical);
  EXPECT_EQ(Contents(paths), before);
  EXPECT_EQ(Column(8), (std::vector<std::string>(5, "?")));
  EXPECT_EQ(txtWahl(), "vorher");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  ChooseStatus(3);
  // Without a thread to be had: a message, and nothing changes.
  if (!SkipHere(kWindows, "the number of threads a process may start is a POSIX limit")) {
    AsOrdinaryUser(folder_, [&] { shown = PressSetzen(); }, 0);
    ASSERT_EQ(shown.size(), 1U);
    EXPECT_TRUE(shown[0].text.startsWith(QString::fromUtf8("Der Status wurde in kein Dokument geschrieben: ")))
        << Texts(shown);
    EXPECT_EQ(Contents(paths), before);
    EXPECT_EQ(Column(8), (std::vector<std::string>(5, "?")));
    EXPECT_TRUE(control("cmdSetze")->isEnabled());
  }
  shown = PressSetzen();
  ASSERT_EQ(shown.size(), 1U);
  EXPECT_TRUE(shown[0].text.contains("3 von 5")) << Texts(shown);
  const QStringList lines = shown[0].details.split('\n');
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[0].startsWith(QString::fromStdString(paths[4]) + ": -2147287035 / ")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].startsWith(QString::fromStdString(paths[8]) + ": -2147287038 / ")) << lines[1].toStdString();
  EXPECT_EQ(Column(8), (std::vector<std::string>{"3", "3", "?", "3", "?"}));
  auto view = ReaderView({paths[1], paths[3], paths[6]});
  for (size_t i = 0; i < paths.size(); ++i) {
    SCOPED_TRACE(paths[i]);
    if (i == 1 || i == 3 || i == 6)
      EXPECT_EQ(view[paths[i]], "3 Vodra 4");
    else
      EXPECT_EQ(readFile(paths[i]), before[i]);
  }
  EXPECT_EQ(label6(), "");
  EXPECT_EQ(txtWahl(), "");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(control<QListWidget>("lstStatus")->currentRow(), 3);
  EXPECT_TRUE(control("cmdSetze")->isEnabled());
  EXPECT_TRUE(control("CmdSuchen")->isEnabled());
}

// While a run writes, the controls that change the list wait and the window's own event loop turns;
// closing the window meanwhile finishes the documents in hand, begins no further one and stores settings.
TEST_F(StatusChange, WhileItRunsTheWindowAnswersAndClosingStopsIt) {
  auto paths = Documents(200, 8);
  const auto before = Contents(paths);
  ChooseStatus(5);
  bool turned = false;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] { turned = turned || window().statusChangeRuns(); });
  probe.start(0);
  QTest::mouseClick(control<QPushButton>("cmdSetze"), Qt::LeftButton);
  // The end is reported through the event loop, so until its next turn the run certainly goes on.
  ASSERT_TRUE(window().statusChangeRuns());
  for (const char* name : {"CmdSuchen", "cmdSetze", "Frame2"}) EXPECT_FALSE(control(name)->isEnabled()) << name;
  QTest::qWait(1);
  EXPECT_TRUE(turned);
  const bool running = window().statusChangeRuns();
  window().close();
  EXPECT_FALSE(window().statusChangeRuns());
  // Every document is either untouched or fully written, never in between.
  auto view = ReaderView(paths);
  size_t written = 0;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (readFile(paths[i]) == before[i]) continue;
    ++written;
    EXPECT_EQ(view[paths[i]].substr(0, 8), "5 Vodra ") << paths[i];
  }
  if (running) { EXPECT_LT(written, paths.size()); }
  EXPECT_TRUE(StoredSettings().contains("Einstellungen/Pfad"));
}

// What a row names is what gets written, also after the list file has been
// written and read back: names with LF, CR, TAB and bytes that are not UTF-8
// (a Latin-1 name, also inside a UTF-8 folder) beside the names they would
// turn into; after a search, a reload and the filter "0" on "Status", the
// status goes into exactly the listed documents. A list file of an earlier
// version in Windows-1252 loads as before, but its guessed path is reported
// instead of written, and a path holding NUL is refused at the reload.
TEST_F(StatusChange, WhatARowNamesIsWhatGetsWrittenAfterAReload) {
  if (SkipHere(kWindows, "Windows names are UTF-16 without control characters: none of these names can be made there"))
    return;
  const std::string original = generateDocuments(folder_ / "gen", 1, 5).at(0);
  const std::string cad = folder_.folder("cad");
  const std::vector<std::pair<std::string, int16_t>> names = {
      {"a\nb.par", 0}, {"a\rb.par", 0}, {"a\tb.par", 0}, {"a b.par", 4},
      {"\xe4.par", 0}, {"ä.par", 4},    {"Pr\xc3\xbc" "fung/\xe4.par", 0}, {"Prüfung/ä.par", 4}};
  std::vector<std::string> paths;
  auto server = FileProperties::Create();
  for (const auto& [name, status] : names) {
    paths.push_back(cad + "/" + name);
    std::filesystem::create_directories(std::filesystem::path(paths.back()).parent_path());
    std::filesystem::copy_file(original, paths.back());
    WriteDocumentStatus(*server, paths.back(), status);
  }
  control<QLineEdit>("Text1")->setText(QString::fromStdString(cad));
  control<QCheckBox>("ChkSE_0")->setChecked(true);
  control<QCheckBox>("ChkUnter")->setChecked(true);
  auto shown = AnswerMessages([this] {
    QTest::mouseClick(control<QPushButton>("CmdSuchen"), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !window().searchRunning(); }, 120000));
  });
  EXPECT_TRUE(shown.empty()) << Texts(shown);
  ASSERT_EQ(model().rowCount(), 8);
  shown = Reload();
  EXPECT_TRUE(shown.empty()) << Texts(shown);
  ASSERT_EQ(model().rowCount(), 8);
  auto* statusBox = control<QLineEdit>("TxtSuche_8");
  statusBox->setFocus(Qt::TabFocusReason);
  statusBox->setText("0");
  list().setFocus(Qt::TabFocusReason);
  ASSERT_EQ(model().rowCount(), 5);
  std::vector<std::string> listed = Column(0);
  std::sort(listed.begin(), listed.end());
  std::vector<std::string> zero;
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i].second == 0) zero.push_back(paths[i]);
  std::sort(zero.begin(), zero.end());
  EXPECT_EQ(listed, zero);
  const auto before = Contents(paths);
  ChooseStatus(2);
  shown = PressSetzen();
  EXPECT_TRUE(shown.empty()) << Texts(shown);
  auto view = ReaderView(paths);
  for (size_t i = 0; i < paths.size(); ++i) {
    SCOPED_TRACE(VisibleText(paths[i]));
    if (names[i].second == 0)
      EXPECT_EQ(view[paths[i]], "2 Vodra 0");
    else
      EXPECT_EQ(readFile(paths[i]), before[i]);
  }

  // A list file of an earlier version: its Windows-1252 line names "ä.par"
  // where the document was "\xe4.par"; a line whose path holds a NUL.
  const std::string listFile = (DocumentsFolder() + "/Fendrik_0.lst").toStdString();
  std::ofstream(listFile, std::ios::binary)
      << "\t" + cad + "/\xe4.par\t\xe4\tpar\t\t\t\t\t\t0\r\n"
      << "\t" + cad + "/a b.par\ta b\tpar\t\t\t\t\t\t0\r\n"
      << std::string("\t") + cad + "/a b.par" + std::string(1, '\0') + ".hidden/zzz.par\tzzz\r\n";
  shown = Reload();
  ASSERT_EQ(shown.size(), 1U) << Texts(shown);
  EXPECT_TRUE(shown[0].text.contains(QString::fromStdString("Zeile 3: der Pfad " + cad + "/a b.par\\x00.hidden/zzz.par enthält ein NUL-Zeichen")))
      << Texts(shown);
  ASSERT_EQ(Column(0), (std::vector<std::string>{cad + "/ä.par", cad + "/a b.par"}));
  const auto beforeOld = Contents(paths);
  ChooseStatus(1);
  shown = PressSetzen();
  ASSERT_EQ(shown.size(), 1U) << Texts(shown);
  EXPECT_TRUE(shown[0].text.contains("1 von 2")) << Texts(shown);
  EXPECT_TRUE(shown[0].details.startsWith(QString::fromStdString(cad + "/ä.par: der Pfad stammt aus einer älteren Listendatei")))
      << Texts(shown);
  EXPECT_EQ(Column(8), (std::vector<std::string>{"0", "1"}));
  for (size_t i = 0; i < paths.size(); ++i)
    if (names[i].first != "a b.par") { EXPECT_EQ(readFile(paths[i]), beforeOld[i]) << VisibleText(paths[i]); }
  EXPECT_EQ(ReaderView({cad + "/a b.par"})[cad + "/a b.par"], "1 Vodra 0");
}

}  // namespace
}  // namespace fendrik::test
