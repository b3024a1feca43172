#include <QApplication>

#include "app/AppSetup.h"
#include "app/FrmFendrik.h"
#include "app/Messages.h"
#include "app/SingleInstance.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  // The desktop entry the package installs, so that a desktop (Wayland too)
  // puts the window under its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("de.fendrik.Fendrik"));
  fendrik::SetUpApplication();
  fendrik::SingleInstance guard;
  fendrik::FrmFendrik window;
  if (!window.Form_Load(guard)) return 0;
  window.show();
  fendrik::TestLog("window shown");
  fendrik::CloseAfterShowIfAsked(window);
  fendrik::WatchStartupIfAsked(window);
  return app.exec();
}
