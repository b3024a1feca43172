#include "app/AppSetup.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QStyleFactory>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

#include "properties/platform/Clock.h"

namespace fendrik {

namespace {
class FirstPaintWatch : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !done_) {
      done_ = true;
      std::printf("shown-after-ms %.1f\n", platform::MillisecondsSinceProcessStart());
      std::fflush(stdout);
      std::_Exit(0);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool done_ = false;
};
}  // namespace

QFont WindowFont() {
  return QFont(QStringList{"DejaVu Sans Condensed", "Liberation Sans Narrow", "Arial Narrow", "DejaVu Sans"}, 8);
}

void SetUpApplication() {
  QApplication::setStyle(QStyleFactory::create("Fusion"));
  // Frames with their own style sheet take the application's font, not the
  // window's, so both get it.
  QApplication::setFont(WindowFont());
}

void CloseAfterShowIfAsked(QWidget& window) {
  if (qEnvironmentVariable("FENDRIK_TEST_CLOSE") != "1") return;
  QTimer::singleShot(0, &window, &QWidget::close);
}

void WatchStartupIfAsked(QWidget& window) {
  if (qEnvironmentVariable("FENDRIK_BENCH_STARTUP") != "1") return;
  window.installEventFilter(new FirstPaintWatch(&window));
}

}  // namespace fendrik
