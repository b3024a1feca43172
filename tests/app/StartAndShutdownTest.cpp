// Start-up from the settings store, the column widths, what shutdown writes; and the program started
// for real: twice, and once without the codepage converters the file-properties server needs.
#include <QProcess>

#include "TestSupport.h"
#include "app/ColumnWidths.h"
#include "app/SettingsKeys.h"
#include "app/Volumes.h"

namespace fendrik::test {
namespace {

const ColumnWidthSet kFirstStart = FirstStartWidths();

QString WidthKey(int column) { return QString("Liste/Breite(%1)").arg(column + 1); }
QLineEdit* FilterBox(ProgramRun& run, int box) { return Find<QLineEdit>(run.window, QString("TxtSuche_%1").arg(box)); }

// The states of the type boxes 0 to 4, "sortiert" and "Unterordner" as digits.
std::string Checks(ProgramRun& run) {
  std::string digits;
  for (const char* name : {"ChkSE_0", "ChkSE_1", "ChkSE_2", "ChkSE_3", "ChkSE_4", "ChkSortiert", "ChkUnter"}) {
    const Qt::CheckState state = Find<QCheckBox>(run.window, name)->checkState();
    digits += state == Qt::Checked ? '1' : state == Qt::PartiallyChecked ? '2' : '0';
  }
  return digits;
}

// Each case stores texts, starts the program and stores again; what is not stored shows as at first start.
TEST(SettingsRestore, StoredTextsSetBoxesAndSelectorsAsFarAsTheyCan) {
  // Blanks at both ends and characters an INI file treats specially.
  const QString odd[] = {"  zwei vorn", "hinten  ", " a,b ", "x;y", "\"zitiert\"", "Größe = 5",
                         "@Variant(0)", "#kein Kommentar", "back\\slash", "  ", "Maß/Ü", "[Liste]", "ä, ö"};
  QMap<QString, QString> everything = {{"Pfad", TestHome()}, {"sortiert", "0"}, {"PAR", "1"}, {"ASM", "0"},
                                       {"PSM", "1"}, {"DFT", "1"}, {"SE", "0"}, {"Unterordner", "1"}};
  for (size_t i = 0; i < kFilterKeys.size(); ++i) everything[kFilterKeys[i].key] = odd[i];
  for (int k = 0; k < kColumnCount; ++k) everything[WidthKey(k)] = QString::number(k ? 15 + 1234 * k : 0);
  // Each case: the stored texts, and the states of type boxes 0 to 4, sorted and subfolders.
  const struct { const char* name; QMap<QString, QString> seeded; std::string checks; } cases[] = {
      {"an empty store: the first-start state", {}, "0000011"},
      {"the all-types box ticks the four", {{"SE", "1"}, {"PAR", "0"}, {"ASM", "0"}}, "1111111"},
      {"a single type stays alone", {{"SE", "0"}, {"PAR", "0"}, {"ASM", "1"}, {"PSM", "0"}, {"DFT", "0"}}, "0010011"},
      {"texts a box cannot take leave it", {{"sortiert", "x"}, {"Unterordner", "7"}, {"PAR", ""}}, "0000011"},
      {"numbers with blanks and decimals", {{"PAR", " 1 "}, {"ASM", "1.0"}, {"sortiert", "0.0"}}, "0110001"},
      {"grey is kept and copied by the all-types box", {{"SE", "2"}}, "2222211"},
      {"a gone folder and an unknown drive", {{"Pfad", TestHome() + "/weg"}, {"Laufwerk", "Q:"}}, "0000011"},
      {"an unknown drive", {{"Pfad", TestHome()}, {"Laufwerk", "Q:"}}, "0000011"},
      {"every text", everything, "0101101"},
  };
  const char* const keys[] = {"SE", "PAR", "ASM", "PSM", "DFT", "sortiert", "Unterordner"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QMap<QString, QString> seeded;
    for (auto it = c.seeded.begin(); it != c.seeded.end(); ++it)
      seeded[it.key().contains('/') ? it.key() : "Einstellungen/" + it.key()] = it.value();
    SeedSettings(seeded);
    auto run = StartProgram();
    EXPECT_EQ(Checks(*run), c.checks);
    ASSERT_TRUE(run->window.SaveSettings());
    auto stored = StoredSettings();
    for (int i = 0; i < 7; ++i) EXPECT_EQ(stored["Einstellungen/" + QString(keys[i])], QString(c.checks[i])) << keys[i];
    // The folder selector and the path box stay on a folder that exists, the drive selector on its volume.
    const QString folder = stored["Einstellungen/Pfad"];
    EXPECT_TRUE(QFileInfo(folder).isDir()) << folder.toStdString();
    const QString seededFolder = c.seeded.empty() ? QCoreApplication::applicationDirPath() : c.seeded.value("Pfad");
    if (QFileInfo(seededFolder).isDir()) { EXPECT_EQ(folder, CleanFolderPath(seededFolder)); }
    EXPECT_EQ(Find<QLineEdit>(run->window, "Text1")->text(), folder);
    EXPECT_EQ(stored["Einstellungen/Laufwerk"], VolumeRootOf(folder));
    for (const BoxKey& filter : kFilterKeys) {
      EXPECT_EQ(FilterBox(*run, filter.box)->text(), c.seeded.value(filter.key)) << filter.key;
      EXPECT_EQ(stored[QString("Einstellungen/") + filter.key], c.seeded.value(filter.key)) << filter.key;
    }
    EXPECT_EQ(Find<QLineEdit>(run->window, "TxtWahl")->text(), "");
    EXPECT_TRUE(run->window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    for (int k = 0; k < kColumnCount; ++k) {
      const QString width = c.seeded.value(WidthKey(k));
      EXPECT_EQ(run->window.listView()->columnWidthTwips(k), width.isNull() ? kFirstStart[k] : width.toDouble()) << k;
      EXPECT_EQ(stored[WidthKey(k)], width.isNull() ? QString::fromStdString(WidthText(kFirstStart[k])) : width) << k;
    }
  }
}

TEST(SettingsSave, UnwritableStoreIsReportedAndTheProgramStillEnds) {
  // A folder where the settings file should be cannot be written, even by
  // root; not an empty one, which Wine lets a rename replace.
  QDir().mkpath(SettingsFile() + "/belegt");
  auto run = StartProgram();
  const auto shown = AnswerMessages([&] { run->window.Form_Unload(); });
  ASSERT_EQ(shown.size(), 1U);
  EXPECT_TRUE(shown[0].text.startsWith("Die Einstellungen konnten nicht gespeichert werden")) << Texts(shown);
}

// Widths written by hand, as another program or an editor would.
TEST(ColumnWidths, StoredWidthsComeBackByTheFirstStartRule) {
  static const double oddWidths[] = {0, 1500, 2000, 1500, 1500, 1500, 1500, 12.5, -30};
  const struct { const char* name; const char* ini; std::function<double(int column)> expected; } cases[] = {
      {"1500 for the hidden column brings back the first nine", "Breite(1)=1500\nBreite(2)=2222\nBreite(10)=2222\n",
       [](int k) { return k < 9 ? kFirstStart[k] : k == 9 ? 2222 : 1500; }},
      {"missing keys and texts that are no number count as 1500",
       "Breite(1)=0\nBreite(3)= 2000 \nBreite(4)=breit\nBreite(5)=\nBreite(6)=12px\nBreite(7)=nan\nBreite(8)=12.5\n"
       "Breite(9)=-30\n",
       [](int k) { return k < 9 ? oddWidths[k] : 1500; }},
  };
  QDir().mkpath(QFileInfo(SettingsFile()).path());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    QFile file(SettingsFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("[Liste]\n") + c.ini);
    file.close();
    auto run = StartProgram();
    for (int k = 0; k < kColumnCount; ++k) EXPECT_EQ(run->window.listView()->columnWidthTwips(k), c.expected(k)) << k;
  }
}

TEST(ColumnWidths, SetDraggedAndResetWidthsAreStoredAsWholeTwips) {
  {
    auto run = StartProgram();
    ResultListView* list = run->window.listView();
    list->setColumnWidthTwips(1, 1234.7);
    list->setColumnWidthTwips(2, -30);
    EXPECT_EQ(list->header()->sectionSize(1), run->window.twips().toPixels(1234.7));
    EXPECT_EQ(list->header()->sectionSize(2), 0);
    EXPECT_EQ(list->header()->sectionSize(0), 0);
    list->header()->resizeSection(3, 100);  // a width the user drags is taken over from the pixels
    EXPECT_EQ(list->columnWidthTwips(3), run->window.twips().fromPixels(100));
    ASSERT_TRUE(run->window.SaveSettings());
    const QString dragged = QString::fromStdString(WidthText(run->window.twips().fromPixels(100)));
    for (const auto& [k, text] : std::map<int, QString>{{0, "0"}, {1, "1234"}, {2, "-30"}, {3, dragged}})
      EXPECT_EQ(StoredSettings()[WidthKey(k)], text) << k;
    // The R key in the list resets every width, and the reset is stored.
    QTest::keyClick(list, Qt::Key_R, Qt::ShiftModifier);
    for (int k = 0; k < kColumnCount; ++k) EXPECT_EQ(list->columnWidthTwips(k), kFirstStart[k]) << k;
    list->setColumnWidthTwips(12, 4000);
    QTest::keyClick(list, Qt::Key_R);
    EXPECT_EQ(list->columnWidthTwips(12), kFirstStart[12]);
    ASSERT_TRUE(run->window.SaveSettings());
  }
  auto again = StartProgram();
  for (int k = 0; k < kColumnCount; ++k) EXPECT_EQ(again->window.listView()->columnWidthTwips(k), kFirstStart[k]) << k;
}

constexpr int kGenerousMs = 60000;

// A started program whose standard error is collected as it comes; the
// program itself, or another program that ends by starting it.
struct Program {
  explicit Program(const QString& program = FENDRIK_PROGRAM, const QStringList& arguments = {},
                   const QString& extraEnv = "FENDRIK_TEST_LOG") {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& name : {QString("FENDRIK_TEST_LOG"), extraEnv}) env.insert(name, "1");
    process.setProcessEnvironment(env);
    process.start(program, arguments);
  }
  ~Program() { process.kill(), process.waitForFinished(kGenerousMs); }
  bool waitForLog(const QString& line) {
    const auto seen = [&] { return process.waitForReadyRead(50), log().contains("fendrik: " + line); };
    return QTest::qWaitFor(seen, kGenerousMs);
  }
  QString log() { return log_ += QString::fromLocal8Bit(process.readAllStandardError()); }
  QProcess process;
  QString log_;
};

TEST(TwoProcesses, SecondStartBringsTheFirstToTheFrontAndEndsAndADeadFirstBlocksNothing) {
  auto first = std::make_unique<Program>();
  ASSERT_TRUE(first->waitForLog("window shown")) << first->log().toStdString();
  {
    Program second;
    ASSERT_TRUE(second.process.waitForFinished(kGenerousMs));
    EXPECT_EQ(second.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process.exitCode(), 0);
    EXPECT_FALSE(second.log().contains("window shown")) << second.log().toStdString();
  }
  EXPECT_TRUE(first->waitForLog("brought to front by a second start")) << first->log().toStdString();
  EXPECT_EQ(first->process.state(), QProcess::Running);
  // Neither run has ended through shutdown, so nothing is stored yet.
  EXPECT_FALSE(QFile::exists(SettingsFile()));
  first.reset();  // killed: it ends without releasing anything itself
  Program next;
  EXPECT_TRUE(next.waitForLog("window shown")) << next.log().toStdString();
}

TEST(ServerStart, WithoutCodepageConvertersTheWindowOpensWithoutColumns) {
  // An empty folder laid over the converter folder, in a mount namespace of
  // the program's own: the server really cannot start.
  QString gconv;
  for (const char* folder : {"/usr/lib/x86_64-linux-gnu/gconv", "/usr/lib/aarch64-linux-gnu/gconv", "/usr/lib64/gconv"})
    if (QFileInfo(folder).isDir()) gconv = folder;
  if (gconv.isEmpty() || QProcess::execute("unshare", {"-m", "true"}) != 0)
    GTEST_SKIP() << "no private mount namespace here";
  QTemporaryDir empty;
  const QMap<QString, QString> seeded = {{"Einstellungen/Titel", "Welle"}, {"Liste/Breite(2)", "4444"}};
  SeedSettings(seeded);
  Program program("unshare", {"-m", "--propagation", "private", "sh", "-c", R"(mount --bind "$1" "$2" && exec "$3")",
                              "sh", empty.path(), gconv, FENDRIK_PROGRAM},
                  "FENDRIK_TEST_CLOSE");
  ASSERT_TRUE(program.process.waitForFinished(kGenerousMs)) << program.log().toStdString();
  const QString log = program.log();
  EXPECT_TRUE(log.contains("fendrik: message: Unable to start the 'Solid Edge File Properties': "))
      << log.toStdString();
  EXPECT_EQ(log.count("fendrik: message:"), 1) << log.toStdString();
  EXPECT_TRUE(log.contains("fendrik: window shown")) << log.toStdString();
  // Shutdown stored the controls as created and no widths.
  QMap<QString, QString> stored = StoredSettings();
  EXPECT_EQ(stored["Einstellungen/Titel"], "Titel");
  EXPECT_EQ(stored["Einstellungen/Dateiname"], "Dateiname");
  EXPECT_EQ(stored["Einstellungen/sortiert"], "1");
  EXPECT_EQ(stored["Liste/Breite(2)"], "4444");
  EXPECT_FALSE(stored.contains("Liste/Breite(1)"));
}

}  // namespace
}  // namespace fendrik::test
