// The controls of the main window: the tab chain, access keys, the path box and the folder pickers.

#include "TestSupport.h"
#include "app/FolderPicker.h"

namespace fendrik::test {
namespace {

using WindowControls = WindowTest;

TEST_F(WindowControls, TabGoesOnceRoundEveryVisibleControlAndAccessKeysPressButtons) {
  control("CmdSuchen")->setFocus(Qt::TabFocusReason);
  QStringList walked;
  for (QWidget* focused = QApplication::focusWidget(); walked.size() < 100; focused = QApplication::focusWidget()) {
    ASSERT_NE(focused, nullptr);
    if (!walked.isEmpty() && focused->objectName() == "CmdSuchen") break;
    EXPECT_TRUE(focused->isVisible()) << focused->objectName().toStdString();
    walked << focused->objectName();
    QTest::keyClick(focused, Qt::Key_Tab);
  }
  for (QWidget* child : window().findChildren<QWidget*>()) {
    if (!child->isVisible() || !(child->focusPolicy() & Qt::TabFocus) || child->objectName().isEmpty()) continue;
    EXPECT_EQ(walked.count(child->objectName()), 1) << child->objectName().toStdString();
  }
  // The access keys: Alt+S searches, Alt+E ends and stores the settings.
  QSignalSpy searched(control<QPushButton>("CmdSuchen"), &QPushButton::clicked);
  QTest::keyClick(&window(), Qt::Key_S, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return searched.count() == 1; }, 10000));  // pressed visibly, so a moment later
  control<QLineEdit>("TxtSuche_9")->setText("Welle");
  QTest::keyClick(&window(), Qt::Key_E, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(SettingsFile()); }, 10000));
  EXPECT_EQ(StoredSettings()["Einstellungen/Titel"], "Welle");
}

TEST_F(WindowControls, PathBoxOpensThePickersAboveItAndThePickersChooseTheFolder) {
  auto* text1 = control<QLineEdit>("Text1");
  auto* dir1 = control<FolderPicker>("Dir1");
  auto* drive1 = control<QComboBox>("Drive1");
  auto place = [this](QWidget* w) { return QRect(w->mapTo(&window(), QPoint(0, 0)), w->size()); };
  for (bool byClick : {true, false}) {
    SCOPED_TRACE(byClick ? "closed by a click on the path box" : "closed by leaving the folder picker");
    QTest::mouseDClick(text1, Qt::LeftButton);
    EXPECT_TRUE(dir1->isVisible());
    EXPECT_TRUE(drive1->isVisible());
    // Drive box above the folder picker above the path box, none overlapping.
    EXPECT_LT(place(dir1).bottom(), place(text1).top());
    EXPECT_LT(place(drive1).bottom(), place(dir1).top());
    if (byClick) {
      QTest::mouseClick(text1, Qt::LeftButton);
    } else {
      dir1->setFocus(Qt::MouseFocusReason);
      ASSERT_TRUE(QTest::qWaitFor([&] { return dir1->hasFocus(); }, 10000));
      control("TxtSuche_1")->setFocus(Qt::TabFocusReason);
    }
    EXPECT_FALSE(dir1->isVisible());
    EXPECT_FALSE(drive1->isVisible());
  }
  // A folder chosen shows in the path box and gives the search button back.
  control("CmdSuchen")->setEnabled(false);
  ASSERT_TRUE(dir1->setPath(TestHome() + "/config"));
  EXPECT_EQ(text1->text(), QDir::toNativeSeparators(TestHome() + "/config"));
  EXPECT_TRUE(control("CmdSuchen")->isEnabled());
  // Another drive moves folder selector and path box there, and back again.
  const QString before = drive1->currentText();
  int other = -1;
  for (int i = 0; i < drive1->count() && other < 0; ++i)
    if (drive1->itemText(i) != before && QFileInfo(drive1->itemText(i)).isDir()) other = i;
  if (other < 0) GTEST_SKIP() << "only one mounted volume";
  // It goes to the folder last current there (where the program started, on
  // Windows), else to the volume's root.
  const QString started = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
  const QString there = started.startsWith(drive1->itemText(other)) ? started : drive1->itemText(other);
  drive1->setCurrentIndex(other);
  EXPECT_EQ(dir1->path(), there);
  EXPECT_EQ(text1->text(), there);
  // Back on the first drive, the folder selector returns to its folder there.
  const QString folderBefore = dir1->currentFolderOfVolume(before);
  drive1->setCurrentIndex(drive1->findText(before));
  EXPECT_EQ(text1->text(), folderBefore);
}

}  // namespace
}  // namespace fendrik::test
