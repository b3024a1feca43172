#pragma once

class QFont;
class QWidget;

namespace fendrik {

// The look every window of the program shares (style and palette basics);
// call once the application object exists.
void SetUpApplication();

// The font of the window's controls: a narrow face keeps the captions
// inside their fixed boxes.
QFont WindowFont();

// With FENDRIK_BENCH_STARTUP=1: once the window has painted, prints the
// milliseconds since the process started and ends the program without
// storing anything. A start-up measurement, nothing else.
void WatchStartupIfAsked(QWidget& window);

// With FENDRIK_TEST_CLOSE=1: closes the window, as the close box does, as
// soon as it is shown. Lets a test watch a whole run from start to shutdown.
void CloseAfterShowIfAsked(QWidget& window);

}  // namespace fendrik
