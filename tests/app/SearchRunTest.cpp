// The search from the window: what CmdSuchen puts into the list and the list
// file, the window during a run, Esc, closing during a run, and the reload.

#include <fstream>
#include <iterator>
#include <map>

#include "platform/OrdinaryUser.h"
#include "platform/TestSystem.h"
#include "TestSupport.h"
#include "resultlist/ListFileLine.h"
#include "resultlist/TextOrder.h"

namespace fendrik::test {
namespace {

namespace fs = std::filesystem;

std::string Lines(const ResultRows& rows) {
  std::string out;
  for (size_t row = 0; row < rows.size(); ++row) AppendListFileLine(out, rows, row);
  return out;
}

// A timer that fires at every turn of the event loop measures the CPU time
// the window's thread spent between two turns (the wall-clock gap on a loaded
// machine also holds waiting for a core): work of seconds on the window's
// thread would show as one long stretch.
class LoopWatch {
 public:
  LoopWatch() {
    QObject::connect(&turn_, &QTimer::timeout, [this] {
      longest_ = std::max(longest_, cpuMs() - last_);
      last_ = cpuMs();
    });
    turn_.start(0);
  }
  double longestMs() const { return longest_; }

 private:
  static double cpuMs() { return ThreadCpuMilliseconds(); }
  QTimer turn_;
  double last_ = cpuMs(), longest_ = 0;
};

class WindowSearch : public WindowTest {
 protected:
  const ResultRows& rows() { return model().rows(); }
  std::string listFile() { return Native((documents_ + "/Fendrik_0.lst").toStdString()); }
  std::string generate(int count, int seed) {
    generateDocuments(folder_ / "cad", count, seed, "--nested --model-bytes 2048");
    return (folder_ / "cad").string();
  }
  // Folder, ticked types (PAR, ASM, PSM, DFT) and options, as a user sets them.
  void choose(const std::string& folder, std::vector<int> types, bool sorted = false, bool subfolders = true) {
    control<QLineEdit>("Text1")->setText(QString::fromStdString(folder));
    for (int k = 0; k < FrmFendrik::kTypeBoxes; ++k) control<QCheckBox>(QString("ChkSE_%1").arg(k))->setChecked(false);
    for (int k : types) control<QCheckBox>(QString("ChkSE_%1").arg(k))->setChecked(true);
    control<QCheckBox>("ChkSortiert")->setChecked(sorted);
    control<QCheckBox>("ChkUnter")->setChecked(subfolders);
  }
  void startSearch() { QTest::mouseClick(control<QPushButton>("CmdSuchen"), Qt::LeftButton); }
  bool waitForEnd() { return QTest::qWaitFor([this] { return !window().searchRunning(); }, 120000); }
  std::vector<Shown> search() {
    return AnswerMessages([this] { startSearch(); EXPECT_TRUE(waitForEnd()); });
  }
  std::string cli(const std::string& arguments) {
    std::string out;
    EXPECT_EQ(runCommand(shellQuote(FENDRIK_CLI) + " scan " + arguments + " 2>/dev/null", &out), 0);
    return out;
  }
  // Many documents: hard links of one generated document, in folders of
  // 100, so that reading them takes a while.
  std::string manyDocuments(int count) {
    const std::string original = generateDocuments(folder_ / "one", 1, 7).at(0);
    for (int k = 0; k < count; ++k) {
      fs::path folder = folder_ / "many" / ("f" + std::to_string(k / 100));
      if (k % 100 == 0) fs::create_directories(folder);
      fs::create_hard_link(original, folder / ("teil " + std::to_string(k) + ".par"));
    }
    return (folder_ / "many").string();
  }
  QString documents_ = DocumentsFolder();
  bool documentsMade_ = QDir().mkpath(documents_);
};

TEST_F(WindowSearch, GivesTheRowsOfTheCommandLineAndWritesAndReloadsTheListFile) {
  auto reload = [this] { return Reload(); };
  auto shown = reload();
  ASSERT_EQ(shown.size(), 1U) << Texts(shown);
  EXPECT_EQ(shown[0].text, "Die Datei " + QString::fromStdString(listFile()) + " konnte nicht gefunden werden !");
  const std::string folder = generate(40, 11);
  // Each case: folder, ticked types, grey ASM box, sorted, subfolders, and the same search on the
  // command line (null: no rows).
  const struct { const char* name; std::string folder; std::vector<int> ticked; bool grey, sorted, subfolders;
                 const char* cli; } cases[] = {
      {"sorted, without subfolders", folder, {1, 2, 3, 4}, false, true, false, "--sorted --no-subfolders"},
      {"ASM and PAR", folder, {2, 1}, false, false, true, "--types par,asm"},
      {"a grey box counts as not ticked", folder, {1}, true, false, true, "--types par"},
      {"no type ticked", folder, {}, false, false, true, nullptr},
      {"a missing folder", folder + "/gibt es nicht", {1, 2, 3, 4}, false, false, true, nullptr},
      {"every type", folder, {1, 2, 3, 4}, false, false, true, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    model().setRows(MakeRows({{{0, "/alt.par"}}}));
    choose(c.folder, c.ticked, c.sorted, c.subfolders);
    if (c.grey) control<QCheckBox>("ChkSE_2")->setCheckState(Qt::PartiallyChecked);
    shown = search();
    EXPECT_TRUE(shown.empty()) << Texts(shown);
    EXPECT_EQ(Lines(rows()), c.cli ? cli(shellQuote(folder) + " " + c.cli) : "");
    ASSERT_TRUE(fs::exists(listFile()));
    EXPECT_EQ(readFile(listFile()), Lines(rows()));
    EXPECT_EQ(label6(), QString::number(rows().size()));
    EXPECT_EQ(list().hasRowBands(), rows().size() > 0);
    EXPECT_EQ(list().header()->isSortIndicatorShown(), c.sorted);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // Unsorted, all rows of one type come before those of the next.
    const std::string order = "par asm psm dft";
    for (size_t k = 1; k < rows().size() && !c.sorted; ++k)
      EXPECT_LE(order.find(rows().text(k - 1, 2)), order.find(rows().text(k, 2))) << k;
    EXPECT_EQ(list().header()->sortIndicatorSection(), c.sorted ? 1 : -1);
    if (c.sorted) { EXPECT_EQ(list().header()->sortIndicatorOrder(), Qt::AscendingOrder); }
  }
  // The reload brings back the list file; a list file that cannot be written is reported.
  const std::string searched = Lines(rows());
  model().removeRowAt(0);
  control<QLabel>("Label6")->setText("x");
  EXPECT_TRUE(reload().empty());
  EXPECT_EQ(Lines(rows()), searched);
  EXPECT_EQ(label6(), "40");
  // A fresh account has no documents folder yet: it is made. A file in its
  // place is reported. Only where the folder is the test's own (below its
  // home): the Windows user's Documents folder is never removed.
  if (!SkipHere(!DocumentsFolderIsOwn(), "the documents folder is the Windows user's own")) {
    fs::remove_all(documents_.toStdString());
    shown = search();
    EXPECT_TRUE(shown.empty()) << Texts(shown);
    EXPECT_EQ(readFile(listFile()), searched);
    fs::remove_all(documents_.toStdString());
    std::ofstream(documents_.toStdString()) << "";
    shown = search();
    ASSERT_EQ(shown.size(), 1U) << Texts(shown);
    EXPECT_TRUE(shown[0].text.startsWith("Die Liste konnte nicht in die Datei " + QString::fromStdString(listFile())))
        << Texts(shown);
    EXPECT_EQ(Lines(rows()), searched);
    EXPECT_EQ(label6(), "40");
    fs::remove(documents_.toStdString());
  }
  // A search that cannot run, for want of a thread for the search (0) or for its readers (1), is
  // reported and leaves the list and the list file as they were.
  ASSERT_TRUE(QDir().mkpath(documents_));
  std::ofstream(listFile()) << "alt";
  for (unsigned threads : {0U, 1U}) {
    if (SkipHere(kWindows, "the number of threads a process may start is a POSIX limit")) break;
    SCOPED_TRACE(threads);
    AsOrdinaryUser(folder_, [&] { shown = search(); }, threads);
    ASSERT_EQ(shown.size(), 1U) << Texts(shown);
    EXPECT_TRUE(shown[0].text.startsWith(threads == 0 ? "Die Suche konnte nicht gestartet werden: "
                                                      : "Die Suche ist fehlgeschlagen: "))
        << Texts(shown);
    EXPECT_EQ(Lines(rows()), searched);
    EXPECT_EQ(label6(), "40");
    EXPECT_EQ(readFile(listFile()), "alt");
    EXPECT_TRUE(control<QPushButton>("CmdSuchen")->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
}

// The folders a search cannot read are named after it in one message, each made visible with the reason
// in words; the list shows the documents found. Among them a tree 3,000 folders deep, searched while
// the program may open only a few more files: its top document is listed, the first of its folders
// whose path is too long for the system is named.
TEST_F(WindowSearch, NamesTheFoldersItCouldNotReadInOneMessage) {
  if (!kFolderModes || !CanMakeLinks())
    GTEST_SKIP() << "folders an ordinary user cannot list need POSIX modes, and this test symbolic links";
  const std::string folder = generate(6, 5);
  const std::string original = generateDocuments(folder_ / "one", 1, 7).at(0);
  const std::vector<std::string> deep = folder_.chain("cad/tief", "d", 3000, {0, 2999}, readFile(original));
  std::string tooLong = folder + "/tief/d/";
  while (tooLong.size() < kMaxPath) tooLong += "d/";
  for (const char* name : {"gesperrt", "clear\x1b[2J"}) {
    fs::create_directory(folder + "/" + name);
    fs::copy_file(original, folder + "/" + name + "/drin.par");
    DenyListing(folder + "/" + name);
  }
  fs::create_symlink("schleife", folder + "/schleife");
  // In walk order: the order in which the file system gives the folder's entries.
  const std::map<std::string, QString> lines{
      {"gesperrt", QString::fromStdString(folder) + "/gesperrt/: Zugriff verweigert"},
      {"clear\x1b[2J", QString::fromStdString(folder) + "/clear\\x1B[2J/: Zugriff verweigert"},
      {"schleife", QString::fromStdString(folder) + "/schleife/: Zu viele symbolische Links (eine Schleife)"},
      {"tief", QString::fromStdString(tooLong) + ": Dateiname zu lang"}};
  QStringList expected;
  for (const auto& entry : fs::directory_iterator(folder))
    if (lines.count(entry.path().filename().string())) expected << lines.at(entry.path().filename().string());
  ASSERT_EQ(expected.size(), 4);
  choose(folder, {1, 2, 3, 4});
  std::vector<Shown> shown;
  AsOrdinaryUser(folder_, [&] {
    FewOpenFiles few(32);
    ASSERT_TRUE(few.ok());
    shown = search();
  });
  for (const char* name : {"gesperrt", "clear\x1b[2J"}) AllowListing(folder + "/" + name);
  std::vector<Shown> incomplete;
  std::copy_if(shown.begin(), shown.end(), std::back_inserter(incomplete),
               [](const Shown& box) { return box.text.startsWith(QString::fromUtf8("Die Suche ist unvollständig")); });
  ASSERT_EQ(incomplete.size(), 1U) << Texts(shown);
  EXPECT_EQ(incomplete[0].text, QString::fromUtf8("Die Suche ist unvollständig: 4 Ordner konnten nicht gelesen werden, "
                                                  "ihre Dokumente fehlen in der Liste:\n\n") +
                                    expected.join('\n'));
  EXPECT_EQ(incomplete[0].details, expected.join('\n'));
  EXPECT_EQ(incomplete[0].icon, QMessageBox::Warning);
  EXPECT_EQ(rows().size(), 7U);
  EXPECT_EQ(label6(), "7");
  bool topListed = false;
  for (size_t k = 0; k < rows().size(); ++k) topListed = topListed || rows().text(k, 0) == deep.front();
  EXPECT_TRUE(topListed);
}

// A search of many documents: the controls that change the list wait and the event loop keeps turning.
// A timer that fires at every turn of the loop measures the CPU time the window's thread spent between
// two turns (the wall-clock gap on a loaded machine also holds waiting for a core): run on the window's
// thread, the search of seconds would show as one long stretch. Then Esc stops the next search and keeps
// what was read, and closing the window during a third leaves the list file of the stopped one whole.
TEST_F(WindowSearch, WindowAnswersDuringASearchAndEscAndClosingStopIt) {
  const size_t total = 20000;
  choose(manyDocuments(total), {1}, true);
  auto watch = std::make_unique<LoopWatch>();
  const char* const locked[] = {"CmdSuchen", "cmdSetze", "Frame2", "ListView1"};
  startSearch();
  // The search thread reports its end through the event loop, so until the
  // next turn the run is certainly going on.
  ASSERT_TRUE(window().searchRunning());
  for (const char* name : locked) EXPECT_FALSE(control(name)->isEnabled()) << name;
  EXPECT_TRUE(control("CmdEnde")->isEnabled());
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  control<QCheckBox>("ChkSE_2")->click();  // ticking a type does not give the search button back
  EXPECT_FALSE(control("CmdSuchen")->isEnabled());
  ASSERT_TRUE(waitForEnd());
  QTest::qWait(1);
  const double longestWork = watch->longestMs();
  watch.reset();
  std::printf("most CPU time of the window's thread between two turns of the event loop: %.1f ms\n", longestWork);
  EXPECT_EQ(rows().size(), total);
  EXPECT_LT(longestWork, 100.0);
  for (const char* name : locked) EXPECT_TRUE(control(name)->isEnabled()) << name;
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  startSearch();
  // Esc once the reading has begun (Label6 shows i / n).
  const auto reading = [this] { return label6().contains(" / ") && !label6().startsWith("0 "); };
  ASSERT_TRUE(QTest::qWaitFor([&] { return reading() || !window().searchRunning(); }, 120000));
  QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window(), Qt::Key_Escape);
  EXPECT_TRUE(window().busyStopRequested() || !window().searchRunning());
  ASSERT_TRUE(waitForEnd());
  // What was read is listed, sorted, counted and written, however far the
  // reading came before the stop.
  const size_t count = rows().size();
  EXPECT_LE(count, total);
  EXPECT_EQ(label6(), QString::number(count));
  const std::string listed = readFile(listFile());
  EXPECT_EQ(listed, Lines(rows()));
  for (size_t k = 1; k < count; ++k) EXPECT_LE(TextOrder().compare(rows().text(k - 1, 1), rows().text(k, 1)), 0);
  for (size_t k = 0; k < count; ++k) ASSERT_EQ(rows().text(k, 9), rows().text(0, 9)) << "a real row";
  EXPECT_TRUE(control("CmdSuchen")->isEnabled());
  startSearch();
  ASSERT_TRUE(window().searchRunning());
  window().close();
  EXPECT_FALSE(window().searchRunning());
  // Settings stored, the list file whole, and no temporary file beside it.
  EXPECT_EQ(StoredSettings().value("Einstellungen/ASM"), "1");
  EXPECT_EQ(readFile(listFile()), listed);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(documents_.toStdString())) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"Fendrik_0.lst"});
}

// The reload reads the list file off the window's thread: a huge (sparse)
// file is refused in words and the window lives; a long one keeps the event
// loop turning, ends with its rows counted and the filters cleared, and Esc
// keeps the rows read so far.
TEST_F(WindowSearch, AReloadOfALongOrHugeListFileLeavesTheWindowAnswering) {
  std::ofstream(listFile()) << "\t/a.par\r\n";
  resizeFile(listFile(), 100ULL << 30);
  auto shown = Reload();
  ASSERT_EQ(shown.size(), 1U) << Texts(shown);
  EXPECT_EQ(shown[0].text, "Die Datei " + QString::fromStdString(listFile()) + " konnte nicht gelesen werden: die Datei ist "
                           "größer als 1024 MiB; so lange Listen werden nicht gelesen");
  EXPECT_EQ(model().rowCount(), 0);
  EXPECT_TRUE(control("Frame2")->isEnabled());

  const size_t total = 400000;
  {
    std::ofstream out(listFile(), std::ios::binary | std::ios::trunc);
    for (size_t k = 0; k < total; ++k)
      out << "\t/daten/projekt/teil " << k << ".par\tteil " << k << "\tpar\t/daten/projekt\t2024.03.15 14:05:09\t"
          << "        123.456\tDN-" << k << "\tB\t0\tTitel des Teils\tThema\tKommentar\r\n";
  }
  control<QLineEdit>("TxtSuche_9")->setText("Titel");
  auto watch = std::make_unique<LoopWatch>();
  shown = Reload();
  const double longestWork = watch->longestMs();
  watch.reset();
  std::printf("most CPU time of the window's thread between two turns of the event loop: %.1f ms\n", longestWork);
  EXPECT_TRUE(shown.empty()) << Texts(shown);
  EXPECT_EQ(rows().size(), total);
  EXPECT_EQ(label6(), QString::number(total));
  EXPECT_EQ(control<QLineEdit>("TxtSuche_9")->text(), "");
  EXPECT_LT(longestWork, 100.0);

  shown = AnswerMessages([this] {
    ASSERT_TRUE(window().reloadListFile());
    EXPECT_TRUE(window().listBusy());
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &window(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !window().reloadRunning(); }, 120000));
  });
  EXPECT_TRUE(shown.empty()) << Texts(shown);
  EXPECT_LE(rows().size(), total);
  EXPECT_EQ(label6(), QString::number(rows().size()));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace fendrik::test
