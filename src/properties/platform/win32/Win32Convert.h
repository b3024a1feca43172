#pragma once

// The conversions of the Windows implementation that decide something on
// their own: which fault a system error number is, what a FILETIME is in
// seconds since 1970, which UTF-16 path a UTF-8 path becomes. Declared here
// so that tests call them directly (under Windows or Wine), without a disk
// or another program that would make the system produce each case.

#include <cstdint>
#include <string>
#include <string_view>

#include "properties/platform/Files.h"

namespace fendrik::platform::win32 {

// The fault of a GetLastError() number; Fault::other for numbers without
// one of their own, Fault::none for 0.
Fault FaultOfError(uint32_t code);

// A FILETIME (100-nanosecond ticks since 1601-01-01 UTC) as seconds and
// nanoseconds since 1970; negative seconds before 1970, the nanoseconds
// always in [0, 10^9).
FileTime TimeOfTicks(int64_t ticks);

// The UTF-16 path the system calls get for a UTF-8 path: '/' turned into
// '\', made absolute against the current folder (which also resolves "."
// and ".."), then in the "\\?\" form ("\\?\C:\a", "\\?\UNC\server\share\a")
// so that no 260-character limit applies. A path already in the "\\?\" or
// "\\.\" form is taken as it is. A NUL character or invalid UTF-8 gives
// Fault::invalidName, an empty path Fault::notFound, a path longer than
// kMaxPathUnits or a name on it longer than kMaxNameUnits Fault::nameTooLong.
inline constexpr size_t kMaxPathUnits = 32767;
inline constexpr size_t kMaxNameUnits = 255;
SystemError SystemPath(std::string_view utf8, std::wstring& wide);

// UTF-16 as UTF-8; unpaired surrogates become U+FFFD.
std::string Utf8Of(std::wstring_view wide);

}  // namespace fendrik::platform::win32
