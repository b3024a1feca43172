// Every test process gets its own home, settings and runtime folders, set
// before the application object exists (QSettings and QStandardPaths read
// them once).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include "TestSupport.h"
#include "app/AppSetup.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  QTemporaryDir home;
  fendrik::test::SetTestHome(home.path());
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  fendrik::SetUpApplication();
  return RUN_ALL_TESTS();
}
