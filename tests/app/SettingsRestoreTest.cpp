// Start-up with an empty or filled settings store, and what shutdown writes.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>

#include "TestSupport.h"
#include "app/ResultListView.h"
#include "app/Volumes.h"

namespace fendrik::test {
namespace {

const char* const kFilterNames[] = {"Dateiname", "Typ",      "Verzeichnis", "Datum",     "Dokunummer",
                                    "Status",    "Titel",    "Thema",       "Kommentar", "Stichwort",
                                    "Kategorie", "Projekt",  "Firma"};
const int kFilterBoxes[] = {1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, 14, 15};

bool Ticked(FrmFendrik& window, const QString& name) {
  return Find<QCheckBox>(window, name)->checkState() == Qt::Checked;
}

TEST(SettingsRestore, EmptyStoreGivesTheFirstStartState) {
  auto run = StartProgram();
  ASSERT_TRUE(run->loaded);
  FrmFendrik& w = run->window;
  EXPECT_EQ(w.windowTitle(), "Fendrel,  v1.0.0");

  const QString programFolder = CleanFolderPath(QCoreApplication::applicationDirPath());
  EXPECT_EQ(Find<QLineEdit>(w, "Text1")->text(), programFolder);
  EXPECT_EQ(Find<QComboBox>(w, "Drive1")->currentText(), VolumeRootOf(programFolder));
  for (int box : kFilterBoxes) EXPECT_EQ(Find<QLineEdit>(w, QString("TxtSuche_%1").arg(box))->text(), "") << box;
  for (int box = 0; box <= 4; ++box) EXPECT_FALSE(Ticked(w, QString("ChkSE_%1").arg(box))) << box;
  EXPECT_TRUE(Ticked(w, "ChkSortiert"));
  EXPECT_TRUE(Ticked(w, "ChkUnter"));
  EXPECT_EQ(Find<QLineEdit>(w, "TxtWahl")->text(), "");

  auto* status = Find<QListWidget>(w, "lstStatus");
  QStringList texts;
  for (int i = 0; i < status->count(); ++i) texts << status->item(i)->text();
  EXPECT_EQ(texts, QStringList({"0 - verfügbar", "1 - in Arbeit", "2 - wird geprüft", "3 - freigegeben",
                                "4 - festgeschrieben", "5 - ungültig"}));
  EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

  const double firstStart[] = {0, 3000, 750, 3000, 1750, 1250, 1750, 750, 1250};
  for (int k = 0; k < 24; ++k) EXPECT_EQ(w.listView()->columnWidthTwips(k), k < 9 ? firstStart[k] : 1500) << k;
  EXPECT_EQ(w.listView()->toolTip(), "Listenbereich");
}

TEST(SettingsRestore, EveryTextSurvivesARestartUnchanged) {
  QTemporaryDir folder;
  QMap<QString, QString> seeded;
  seeded["Einstellungen/Pfad"] = CleanFolderPath(folder.path());
  seeded["Einstellungen/Laufwerk"] = VolumeRootOf(folder.path());
  // Blanks at both ends and characters an INI file treats specially.
  const QString odd[] = {"  zwei vorn", "hinten  ", " a,b ", "x;y", "\"zitiert\"", "Größe = 5",
                         "@Variant(0)", "#kein Kommentar", "back\\slash", "  ", "Maß/Ü", "[Liste]", "ä, ö"};
  for (int i = 0; i < 13; ++i) seeded[QString("Einstellungen/") + kFilterNames[i]] = odd[i];
  const char* checks[] = {"PAR", "ASM", "PSM", "DFT", "SE", "sortiert", "Unterordner"};
  const char* checkValues[] = {"1", "0", "1", "1", "0", "0", "1"};
  for (int i = 0; i < 7; ++i) seeded[QString("Einstellungen/") + checks[i]] = checkValues[i];
  const char* widths[] = {"0",    "2000", "800",  "4000", "1000", "900",  "1234", "700",
                          "1100", "15",   "3000", "1600", "1700", "1800", "1900", "2100",
                          "2200", "2300", "2400", "2500", "2600", "2700", "2800", "29000"};
  for (int k = 0; k < 24; ++k) seeded[QString("Liste/Breite(%1)").arg(k + 1)] = widths[k];
  SeedSettings(seeded);

  {
    auto run = StartProgram();
    for (int i = 0; i < 13; ++i)
      EXPECT_EQ(Find<QLineEdit>(run->window, QString("TxtSuche_%1").arg(kFilterBoxes[i]))->text(), odd[i]);
    EXPECT_EQ(Find<QLineEdit>(run->window, "Text1")->text(), CleanFolderPath(folder.path()));
    EXPECT_FALSE(Ticked(run->window, "ChkSortiert"));
    ASSERT_TRUE(run->window.SaveSettings());
  }
  QMap<QString, QString> stored = StoredSettings();
  EXPECT_EQ(stored, seeded);

  // The file itself holds the width keys in a form QSettings reads back.
  QFile file(SettingsFile());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray ini = file.readAll();
  EXPECT_TRUE(ini.contains("[Liste]"));
  EXPECT_TRUE(ini.contains("Breite%281%29=0") || ini.contains("Breite(1)=0")) << ini.constData();
}

TEST(SettingsRestore, HandWrittenWidthKeysAreRead) {
  QDir().mkpath(QFileInfo(SettingsFile()).path());
  QFile file(SettingsFile());
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("[Liste]\nBreite(1)=0\nBreite(2)=4321\n");
  file.close();
  auto run = StartProgram();
  EXPECT_EQ(run->window.listView()->columnWidthTwips(0), 0);
  EXPECT_EQ(run->window.listView()->columnWidthTwips(1), 4321);
  EXPECT_EQ(run->window.listView()->columnWidthTwips(2), 1500);
}

TEST(SettingsRestore, AllTypesBoxTicksTheFourWhateverTheyHeld) {
  SeedSettings({{"Einstellungen/SE", "1"}, {"Einstellungen/PAR", "0"}, {"Einstellungen/ASM", "0"}});
  auto run = StartProgram();
  for (int box = 0; box <= 4; ++box) EXPECT_TRUE(Ticked(run->window, QString("ChkSE_%1").arg(box))) << box;
}

TEST(SettingsRestore, SingleTypeStaysAlone) {
  SeedSettings({{"Einstellungen/SE", "0"},
                {"Einstellungen/PAR", "0"},
                {"Einstellungen/ASM", "1"},
                {"Einstellungen/PSM", "0"},
                {"Einstellungen/DFT", "0"}});
  auto run = StartProgram();
  EXPECT_FALSE(Ticked(run->window, "ChkSE_0"));
  EXPECT_FALSE(Ticked(run->window, "ChkSE_1"));
  EXPECT_TRUE(Ticked(run->window, "ChkSE_2"));
  EXPECT_FALSE(Ticked(run->window, "ChkSE_3"));
  EXPECT_FALSE(Ticked(run->window, "ChkSE_4"));
}

TEST(SettingsRestore, CheckTextsABoxCannotTakeLeaveItAsCreated) {
  SeedSettings({{"Einstellungen/sortiert", "x"}, {"Einstellungen/Unterordner", "7"}, {"Einstellungen/PAR", ""}});
  auto run = StartProgram();
  EXPECT_TRUE(Ticked(run->window, "ChkSortiert"));
  EXPECT_TRUE(Ticked(run->window, "ChkUnter"));
  EXPECT_FALSE(Ticked(run->window, "ChkSE_1"));
}

TEST(SettingsRestore, GreyStateIsKeptAndCopiedByTheAllTypesBox) {
  SeedSettings({{"Einstellungen/SE", "2"}});
  {
    auto run = StartProgram();
    for (int box = 0; box <= 4; ++box)
      EXPECT_EQ(Find<QCheckBox>(run->window, QString("ChkSE_%1").arg(box))->checkState(), Qt::PartiallyChecked);
    ASSERT_TRUE(run->window.SaveSettings());
  }
  EXPECT_EQ(StoredSettings()["Einstellungen/PSM"], "2");
}

TEST(SettingsRestore, MissingFolderKeepsTheSelectorWhereItWas) {
  const QString gone = TestHome() + "/nicht-mehr-da";
  SeedSettings({{"Einstellungen/Pfad", gone}});
  QString kept;
  {
    auto run = StartProgram();
    kept = Find<QLineEdit>(run->window, "Text1")->text();
    EXPECT_NE(kept, gone);
    EXPECT_TRUE(QFileInfo(kept).isDir());
    ASSERT_TRUE(run->window.SaveSettings());
  }
  EXPECT_EQ(StoredSettings()["Einstellungen/Pfad"], kept);
}

TEST(SettingsRestore, UnknownDriveLeavesTheDriveSelector) {
  QTemporaryDir folder;
  SeedSettings({{"Einstellungen/Pfad", folder.path()}, {"Einstellungen/Laufwerk", "Q:"}});
  auto run = StartProgram();
  EXPECT_EQ(Find<QComboBox>(run->window, "Drive1")->currentText(), VolumeRootOf(folder.path()));
  EXPECT_EQ(Find<QLineEdit>(run->window, "Text1")->text(), CleanFolderPath(folder.path()));
}

TEST(SettingsSave, UnwritableStoreIsReportedAndTheProgramStillEnds) {
  // A folder where the settings file should be cannot be written, even by root.
  QDir().mkpath(SettingsFile());
  auto run = StartProgram();
  QStringList messages = AnswerMessages([&] { run->window.Form_Unload(); });
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].startsWith("Die Einstellungen konnten nicht gespeichert werden")) << messages[0].toStdString();
}

TEST(SettingsSave, AfterARunTheStoreHoldsEveryKey) {
  {
    auto run = StartProgram();
    run->window.Form_Unload();
  }
  const QMap<QString, QString> stored = StoredSettings();
  EXPECT_EQ(stored["Liste/Breite(1)"], "0");  // the hidden column stays hidden
  for (int k = 1; k <= 24; ++k) EXPECT_TRUE(stored.contains(QString("Liste/Breite(%1)").arg(k))) << k;
  // What the first run stored is what the next run starts from and stores again.
  {
    auto run = StartProgram();
    run->window.Form_Unload();
  }
  EXPECT_EQ(StoredSettings(), stored);
}

}  // namespace
}  // namespace fendrik::test
