// The controls of the main window: hidden members, tab order, access keys
// and the small click behaviours.
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
  // Drive box above the folder picker above the path box, none overlapping.
  const QRect path(text1->mapTo(&w, QPoint(0, 0)), text1->size());
  const QRect folders(dir1->mapTo(&w, QPoint(0, 0)), dir1->size());
  const QRect drives(drive1->mapTo(&w, QPoint(0, 0)), drive1->size());
  EXPECT_LT(folders.bottom(), path.top());
  EXPECT_LT(drives.bottom(), folders.top());
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
