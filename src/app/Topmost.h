#pragma once

class QWidget;

namespace fendrik {

// Puts a window into the always-on-top band (on) or takes it out of it,
// keeping its place and size; with activate false a visible window is not
// activated by the change. True when the window took the setting.
bool SetTopmost(QWidget& window, bool on, bool activate);

}  // namespace fendrik
