#include "cli/Output.h"

#include <cstdarg>
#include <cstdio>

#include "properties/platform/Files.h"

namespace fendrik::cli {
namespace {
constexpr size_t kPiece = size_t{1} << 16;
}  // namespace

void Output::printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (length > 0) {
    const size_t at = text_.size();
    text_.resize(at + static_cast<size_t>(length) + 1);
    std::vsnprintf(text_.data() + at, static_cast<size_t>(length) + 1, format, again);
    text_.resize(at + static_cast<size_t>(length));
  }
  va_end(again);
  flushIfLarge();
}

void Output::flushIfLarge() {
  if (text_.size() >= kPiece) write();
}

bool Output::finish() {
  write();
  return !failed_;
}

void Output::write() {
  if (!failed_ && !text_.empty()) {
    const platform::SystemError error = platform::WriteStandardOutput(text_);
    if (error) {
      failed_ = true;
      std::fprintf(stderr, "fendrik-cli: %s: Ausgabe nicht geschrieben: %s\n", command_.c_str(),
                   platform::ErrorText(error).c_str());
    }
  }
  text_.clear();
}

}  // namespace fendrik::cli
