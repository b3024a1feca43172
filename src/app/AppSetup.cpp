#include "app/AppSetup.h"

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QStyleFactory>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace fendrik {

namespace {
// Milliseconds since the process was started, from the process's own
// start time in /proc (in clock ticks since boot).
double MillisecondsSinceProcessStart() {
  std::FILE* stat = std::fopen("/proc/self/stat", "r");
  if (stat == nullptr) return -1;
  char buffer[1024];
  size_t length = std::fread(buffer, 1, sizeof buffer - 1, stat);
  std::fclose(stat);
  buffer[length] = '\0';
  // Field 22 is the start time; fields after the command name (which ends
  // with the last ')') are separated by blanks.
  const char* field = nullptr;
  for (size_t i = length; i > 0; --i)
    if (buffer[i - 1] == ')') {
      field = buffer + i;
      break;
    }
  if (field == nullptr) return -1;
  unsigned long long startTicks = 0;
  int index = 2;
  for (const char* p = field; *p != '\0'; ++p) {
    if (*p != ' ') continue;
    ++index;
    if (index == 22) {
      startTicks = std::strtoull(p + 1, nullptr, 10);
      break;
    }
  }
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  const double ticksPerSecond = static_cast<double>(sysconf(_SC_CLK_TCK));
  return (now.tv_sec + now.tv_nsec / 1e9 - startTicks / ticksPerSecond) * 1000.0;
}

class FirstPaintWatch : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !done_) {
      done_ = true;
      std::printf("shown-after-ms %.1f\n", MillisecondsSinceProcessStart());
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
