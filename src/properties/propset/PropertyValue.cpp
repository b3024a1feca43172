#include "properties/propset/PropertyValue.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "properties/platform/Clock.h"

namespace fendrik {
namespace {

std::string formatDouble(double v) {
  char buf[64];
  auto result = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, result.ptr);
}

template <typename T>
std::string decimal(T v) {
  char buf[32];
  auto result = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, result.ptr);
}

std::optional<std::string> oleDateText(double days) {
  if (!std::isfinite(days) || days < -657434.0 || days > 2958466.0) return std::nullopt;
  // The date part counts days from 1899-12-30; the fraction is the time of
  // day, also for negative dates (that is how the format is defined).
  double whole = std::trunc(days);
  double fraction = std::fabs(days - whole);
  long long seconds = static_cast<long long>(whole) * 86400 + std::llround(fraction * 86400.0);
  // The date is a local wall-clock time: format it without a zone shift.
  // 2209161600 seconds lie between 1899-12-30 and 1970-01-01.
  const std::optional<platform::CivilTime> fields = platform::CivilTimeOf(seconds - 2209161600LL);
  if (!fields) return std::nullopt;
  return platform::DateTimeText(*fields);
}

}  // namespace

std::string variantTypeName(uint16_t type) {
  switch (type) {
    case vt::kEmpty: return "VT_EMPTY";
    case vt::kNull: return "VT_NULL";
    case vt::kI2: return "VT_I2";
    case vt::kI4: return "VT_I4";
    case vt::kR4: return "VT_R4";
    case vt::kR8: return "VT_R8";
    case vt::kCy: return "VT_CY";
    case vt::kDate: return "VT_DATE";
    case vt::kBstr: return "VT_BSTR";
    case vt::kBool: return "VT_BOOL";
    case vt::kI1: return "VT_I1";
    case vt::kUi1: return "VT_UI1";
    case vt::kUi2: return "VT_UI2";
    case vt::kUi4: return "VT_UI4";
    case vt::kI8: return "VT_I8";
    case vt::kUi8: return "VT_UI8";
    case vt::kInt: return "VT_INT";
    case vt::kUint: return "VT_UINT";
    case vt::kLpstr: return "VT_LPSTR";
    case vt::kLpwstr: return "VT_LPWSTR";
    case vt::kFiletime: return "VT_FILETIME";
    default: return "0x" + [&] {
      char buf[8];
      std::snprintf(buf, sizeof buf, "%04X", type);
      return std::string(buf);
    }();
  }
}

std::optional<std::string> valueToText(const PropertyValue& value) {
  struct Visitor {
    std::optional<std::string> operator()(const EmptyValue&) const { return std::string(); }
    std::optional<std::string> operator()(const NullValue&) const { return std::nullopt; }
    std::optional<std::string> operator()(int16_t v) const { return decimal(v); }
    std::optional<std::string> operator()(uint16_t v) const { return decimal(v); }
    std::optional<std::string> operator()(int32_t v) const { return decimal(v); }
    std::optional<std::string> operator()(uint32_t v) const { return decimal(v); }
    std::optional<std::string> operator()(int64_t v) const { return decimal(v); }
    std::optional<std::string> operator()(uint64_t v) const { return decimal(v); }
    std::optional<std::string> operator()(float v) const { return formatDouble(v); }
    std::optional<std::string> operator()(double v) const { return formatDouble(v); }
    std::optional<std::string> operator()(bool v) const { return std::string(v ? "Wahr" : "Falsch"); }
    std::optional<std::string> operator()(const std::string& v) const { return v; }
    std::optional<std::string> operator()(const FileTime& v) const {
      if (v.ticks == 0) return std::string();
      // 11644473600 seconds lie between 1601-01-01 and 1970-01-01; a time
      // after the year 9999 has no text.
      const auto seconds = static_cast<int64_t>(v.ticks / 10000000ULL) - 11644473600LL;
      const std::optional<platform::CivilTime> local = platform::LocalTimeOf(seconds);
      return local ? platform::DateTimeText(*local) : std::string();
    }
    std::optional<std::string> operator()(const OleDate& v) const { return oleDateText(v.days); }
    std::optional<std::string> operator()(const Currency& v) const {
      std::string digits = decimal(v.tenThousandths < 0 ? -(v.tenThousandths / 10000) : v.tenThousandths / 10000);
      long long frac = v.tenThousandths % 10000;
      if (frac < 0) frac = -frac;
      std::string text = (v.tenThousandths < 0 ? "-" : "") + digits;
      if (frac != 0) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04lld", frac);
        std::string f = buf;
        while (!f.empty() && f.back() == '0') f.pop_back();
        text += "." + f;
      }
      return text;
    }
    std::optional<std::string> operator()(const UnsupportedValue&) const { return std::nullopt; }
  };
  return std::visit(Visitor{}, value);
}

}  // namespace fendrik
