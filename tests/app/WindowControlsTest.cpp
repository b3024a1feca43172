// The controls of the main window: places, captions, colours, hidden
// members, tab order, access keys and the small click behaviours.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "TestSupport.h"
#include "app/FolderPicker.h"
#include "app/ResultListView.h"

namespace fendrik::test {
namespace {

QRect Twips(const FrmFendrik& w, int left, int top, int width, int height) {
  const auto& t = w.twips();
  return {t.toPixels(left), t.toPixels(top), t.toPixels(width), t.toPixels(height)};
}

TEST(WindowControls, PlacesCaptionsTipsAndColours) {
  auto run = StartProgram();
  FrmFendrik& w = run->window;
  EXPECT_EQ(w.size(), Twips(w, 0, 0, 20760, 12420).size());
  EXPECT_EQ(w.pos(), Twips(w, 100, 100, 0, 0).topLeft());
  EXPECT_EQ(w.palette().color(QPalette::Window), QColor(192, 192, 255));

  auto* search = Find<QPushButton>(w, "CmdSuchen");
  EXPECT_EQ(search->text(), "&Suchen");
  EXPECT_EQ(search->toolTip(), "Erstellt neuen Suchlauf im aktuellen Pfad");
  EXPECT_EQ(search->geometry(), Twips(w, 13500, 11000, 2500, 400));
  EXPECT_EQ(search->palette().color(QPalette::Button), QColor(128, 255, 128));
  EXPECT_EQ(Find<QPushButton>(w, "cmdSetze")->palette().color(QPalette::Button), QColor(128, 128, 255));
  EXPECT_EQ(Find<QPushButton>(w, "CmdEnde")->palette().color(QPalette::Button), QColor(255, 128, 128));
  EXPECT_EQ(Find<QPushButton>(w, "CmdEnde")->toolTip(), "Beendet Fendrik");

  auto* frame2 = Find<QGroupBox>(w, "Frame2");
  EXPECT_EQ(frame2->title(), "Filterkriterien");
  EXPECT_EQ(frame2->toolTip(), "Filterbereich,   Doppel-Klick zum Zurücksetzen aller Filter");
  // Filter controls sit in the frame, label, box and check box in one column.
  auto* box5 = Find<QLineEdit>(w, "TxtSuche_5");
  EXPECT_EQ(box5->parentWidget(), frame2);
  EXPECT_EQ(box5->geometry(), Twips(w, 6500, 500, 1500, 285));
  EXPECT_EQ(Find<QLabel>(w, "Label5")->text(), "Dokumenten-Nr.");
  EXPECT_EQ(Find<QCheckBox>(w, "ChkFilter_2")->text(), "J/N");
  EXPECT_EQ(Find<QCheckBox>(w, "ChkFilter_8")->geometry(), Twips(w, 18750, 850, 1500, 255));

  auto* frame1 = Find<QGroupBox>(w, "Frame1");
  auto* text1 = Find<QLineEdit>(w, "Text1");
  EXPECT_EQ(text1->parentWidget(), frame1);
  EXPECT_EQ(text1->toolTip(), "Verzeichniswahl,   Doppel-Klick zum Ändern des Pfades");
  EXPECT_EQ(Find<QCheckBox>(w, "ChkSE_0")->text(), "Alle SOLID EDGE Dateien");
  EXPECT_EQ(Find<QLabel>(w, "Label6")->palette().color(QPalette::Window), QColor(Qt::white));

  auto* logo = Find<QPlainTextEdit>(w, "TxtLogo");
  EXPECT_TRUE(logo->font().bold());
  EXPECT_DOUBLE_EQ(logo->font().pointSizeF(), 9.75);
  EXPECT_EQ(logo->palette().color(QPalette::Text), QColor(0, 0, 192));
  EXPECT_EQ(logo->palette().color(QPalette::Base), QColor(128, 128, 255));
  EXPECT_FALSE(logo->toPlainText().isEmpty());
  EXPECT_EQ(Find<QLabel>(w, "Picture1")->pixmap().size(), QSize(75, 111));
  EXPECT_FALSE(w.windowIcon().isNull());
}

TEST(WindowControls, HiddenControlsStayHiddenAndOutOfTheTabChain) {
  auto run = StartProgram();
  FrmFendrik& w = run->window;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  const QStringList hidden = {"TxtLogo",    "Drive1",      "Dir1",        "picAltLinesBackground",
                              "TxtSuche_0", "TxtSuche_6",  "TxtSuche_7",  "TxtSuche_15",
                              "ChkFilter_0", "ChkFilter_6", "ChkFilter_7", "ChkFilter_15"};
  for (const QString& name : hidden) EXPECT_FALSE(Find<QWidget>(w, name)->isVisible()) << name.toStdString();

  QStringList expected = {"CmdSuchen"};
  for (int k : {1, 2, 3, 4, 5, 9, 10, 11, 12, 13, 14}) expected << QString("TxtSuche_%1").arg(k);
  for (int k : {1, 2, 3, 4, 0}) expected << QString("ChkSE_%1").arg(k);
  expected << "ListView1" << "CmdEnde" << "ChkUnter" << "Text1" << "ChkSortiert" << "Picture1" << "TxtWahl";
  for (int k : {1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, 14}) expected << QString("ChkFilter_%1").arg(k);
  expected << "TxtSuche_8" << "lstStatus" << "cmdSetze";

  // Press Tab once round the window and note where the focus goes.
  QApplication::setActiveWindow(&w);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  Find<QWidget>(w, "CmdSuchen")->setFocus(Qt::TabFocusReason);
  QStringList walked;
  for (int step = 0; step < expected.size(); ++step) {
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    walked << focused->objectName();
    QTest::keyClick(focused, Qt::Key_Tab);
  }
  EXPECT_EQ(QApplication::focusWidget()->objectName(), "CmdSuchen");
  EXPECT_EQ(walked, expected);
}

TEST(WindowControls, AccessKeysSearchAndEnd) {
  auto run = StartProgram();
  FrmFendrik& w = run->window;
  w.show();
  QApplication::setActiveWindow(&w);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  QSignalSpy searched(Find<QPushButton>(w, "CmdSuchen"), &QPushButton::clicked);
  // An access key presses the button visibly, so the click comes a moment later.
  QTest::keyClick(&w, Qt::Key_S, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return searched.count() == 1; }, 10000));

  Find<QLineEdit>(w, "TxtSuche_9")->setText("Welle");
  QTest::keyClick(&w, Qt::Key_E, Qt::AltModifier);
  // Ending stores the settings.
  EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(SettingsFile()); }, 10000));
  EXPECT_EQ(StoredSettings()["Einstellungen/Titel"], "Welle");
}

TEST(WindowControls, LogoClicksShowAndHideTheContactText) {
  auto run = StartProgram();
  FrmFendrik& w = run->window;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  auto* logo = Find<QPlainTextEdit>(w, "TxtLogo");
  auto* picture = Find<QLabel>(w, "Picture1");
  QTest::mouseClick(picture, Qt::LeftButton);
  EXPECT_TRUE(logo->isVisible());
  QTest::mouseClick(picture, Qt::LeftButton);
  EXPECT_FALSE(logo->isVisible());
  QTest::mouseClick(picture, Qt::LeftButton);
  QTest::mouseClick(logo->viewport(), Qt::LeftButton);
  EXPECT_FALSE(logo->isVisible());
}

TEST(WindowControls, PathBoxOpensThePickersAboveItAndClosesThem) {
  auto run = StartProgram();
  FrmFendrik& w = run->window;
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  auto* text1 = Find<QLineEdit>(w, "Text1");
  auto* dir1 = Find<FolderPicker>(w, "Dir1");
  auto* drive1 = Find<QComboBox>(w, "Drive1");
  QTest::mouseDClick(text1, Qt::LeftButton);
  EXPECT_TRUE(dir1->isVisible());
  EXPECT_TRUE(drive1->isVisible());
  // Frame1 (100, 11000) + Text1 (1150, 900); 50 twips between the boxes.
  EXPECT_EQ(dir1->geometry(), Twips(w, 1250, 11900 - 5715 - 50, 11100, 5715));
  EXPECT_EQ(drive1->geometry(), Twips(w, 1250, 11900 - 5715 - 50 - 315 - 50, 11100, 315));
  QTest::mouseClick(text1, Qt::LeftButton);
  EXPECT_FALSE(dir1->isVisible());
  EXPECT_FALSE(drive1->isVisible());
}

TEST(WindowControls, FolderChangeShowsThePathAndEnablesSearch) {
  auto run = StartProgram();
  FrmFendrik& w = run->window;
  auto* search = Find<QPushButton>(w, "CmdSuchen");
  search->setEnabled(false);
  auto* dir1 = Find<FolderPicker>(w, "Dir1");
  ASSERT_TRUE(dir1->setPath(TestHome() + "/config"));
  EXPECT_EQ(Find<QLineEdit>(w, "Text1")->text(), TestHome() + "/config");
  EXPECT_TRUE(search->isEnabled());
}

TEST(WindowControls, PickingAnotherDriveMovesFolderAndPathBox) {
  auto run = StartProgram();
  FrmFendrik& w = run->window;
  auto* drive1 = Find<QComboBox>(w, "Drive1");
  const QString before = drive1->currentText();
  int other = -1;
  for (int i = 0; i < drive1->count() && other < 0; ++i)
    if (drive1->itemText(i) != before && QFileInfo(drive1->itemText(i)).isDir()) other = i;
  if (other < 0) GTEST_SKIP() << "only one mounted volume";
  drive1->setCurrentIndex(other);
  EXPECT_EQ(Find<FolderPicker>(w, "Dir1")->path(), drive1->itemText(other));
  EXPECT_EQ(Find<QLineEdit>(w, "Text1")->text(), drive1->itemText(other));
  // Back on the first drive, the folder selector returns to its folder there.
  const QString folderBefore = Find<FolderPicker>(w, "Dir1")->currentFolderOfVolume(before);
  drive1->setCurrentIndex(drive1->findText(before));
  EXPECT_EQ(Find<QLineEdit>(w, "Text1")->text(), folderBefore);
}

TEST(WindowControls, LeavingTheFolderSelectorHidesBothPickers) {
  auto run = StartProgram();
  FrmFendrik& w = run->window;
  w.show();
  QApplication::setActiveWindow(&w);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  QTest::mouseDClick(Find<QLineEdit>(w, "Text1"), Qt::LeftButton);
  auto* dir1 = Find<FolderPicker>(w, "Dir1");
  dir1->setFocus(Qt::MouseFocusReason);
  ASSERT_TRUE(QTest::qWaitFor([&] { return dir1->hasFocus(); }, 10000));
  EXPECT_TRUE(dir1->isVisible());
  Find<QLineEdit>(w, "TxtSuche_1")->setFocus(Qt::TabFocusReason);
  EXPECT_FALSE(dir1->isVisible());
  EXPECT_FALSE(Find<QComboBox>(w, "Drive1")->isVisible());
}

TEST(WindowControls, AllTypesBoxTicksAndClearsTheFour) {
  auto run = StartProgram();
  FrmFendrik& w = run->window;
  auto* all = Find<QCheckBox>(w, "ChkSE_0");
  all->setCheckState(Qt::Checked);
  for (int k = 1; k <= 4; ++k) EXPECT_TRUE(Find<QCheckBox>(w, QString("ChkSE_%1").arg(k))->isChecked());
  // No rule the other way round.
  Find<QCheckBox>(w, "ChkSE_3")->setCheckState(Qt::Unchecked);
  EXPECT_TRUE(all->isChecked());
  all->setCheckState(Qt::Unchecked);
  for (int k = 1; k <= 4; ++k) EXPECT_FALSE(Find<QCheckBox>(w, QString("ChkSE_%1").arg(k))->isChecked());
}

}  // namespace
}  // namespace fendrik::test
