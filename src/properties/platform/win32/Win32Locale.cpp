#include <locale.h>

#include <cstring>

#include "properties/platform/Locale.h"

namespace fendrik::platform {

// The C runtime of Windows keeps one locale per process unless a thread asks
// for its own (_configthreadlocale); setlocale then changes only that
// thread's.
ClassicNumbersInThisThread::ClassicNumbersInThisThread() {
  previousMode_ = ::_configthreadlocale(_ENABLE_PER_THREAD_LOCALE);
  if (previousMode_ == -1) return;
  // The thread's own locale starts as a copy of the process's; its numeric
  // name is kept to be set again when the thread had its own before
  // (copied before the next setlocale, which may reuse its memory).
  const char* name = ::setlocale(LC_NUMERIC, nullptr);
  if (name != nullptr && std::strlen(name) < sizeof previousName_) {
    std::strcpy(previousName_, name);
    active_ = ::setlocale(LC_NUMERIC, "C") != nullptr;
  }
  if (!active_) ::_configthreadlocale(previousMode_);
}

ClassicNumbersInThisThread::~ClassicNumbersInThisThread() {
  if (!active_) return;
  ::setlocale(LC_NUMERIC, previousName_);
  ::_configthreadlocale(previousMode_);
}

}  // namespace fendrik::platform
