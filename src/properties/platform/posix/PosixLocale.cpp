#include <locale.h>

#include "properties/platform/Locale.h"

namespace fendrik::platform {

// newlocale/uselocale: a locale object for this thread alone, a copy of the
// thread's current one with the numeric part replaced by "C".
ClassicNumbersInThisThread::ClassicNumbersInThisThread() {
  const locale_t current = ::uselocale(static_cast<locale_t>(0));
  const locale_t copy = ::duplocale(current);
  if (copy == static_cast<locale_t>(0)) return;
  const locale_t classic = ::newlocale(LC_NUMERIC_MASK, "C", copy);
  if (classic == static_cast<locale_t>(0)) {
    ::freelocale(copy);
    return;
  }
  previous_ = ::uselocale(classic);
  own_ = classic;
  active_ = true;
}

ClassicNumbersInThisThread::~ClassicNumbersInThisThread() {
  if (!active_) return;
  ::uselocale(static_cast<locale_t>(previous_));
  ::freelocale(static_cast<locale_t>(own_));
}

}  // namespace fendrik::platform
