#include "app/Topmost.h"

#include <QWidget>

namespace fendrik {

bool SetTopmost(QWidget& window, bool on, bool activate) {
  const bool wasVisible = window.isVisible();
  const bool quietBefore = window.testAttribute(Qt::WA_ShowWithoutActivating);
  // Changing window flags hides a shown window; show it again in place.
  const QPoint place = window.pos();
  window.setWindowFlag(Qt::WindowStaysOnTopHint, on);
  if (wasVisible) {
    window.setAttribute(Qt::WA_ShowWithoutActivating, !activate);
    window.move(place);
    window.show();
    window.setAttribute(Qt::WA_ShowWithoutActivating, quietBefore);
  }
  return window.windowFlags().testFlag(Qt::WindowStaysOnTopHint) == on;
}

}  // namespace fendrik
