// A bare window of the main window's size: what any Qt program pays to
// show a window here.
#include <QApplication>
#include <QWidget>

#include "app/AppSetup.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  fendrik::SetUpApplication();
  QWidget window;
  window.setFixedSize(1384, 828);
  window.show();
  fendrik::WatchStartupIfAsked(window);
  return app.exec();
}
