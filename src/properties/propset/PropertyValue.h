#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace fendrik {

// Variant types of property values (the ones that occur in documents).
namespace vt {
inline constexpr uint16_t kEmpty = 0;
inline constexpr uint16_t kNull = 1;
inline constexpr uint16_t kI2 = 2;
inline constexpr uint16_t kI4 = 3;
inline constexpr uint16_t kR4 = 4;
inline constexpr uint16_t kR8 = 5;
inline constexpr uint16_t kCy = 6;
inline constexpr uint16_t kDate = 7;
inline constexpr uint16_t kBstr = 8;
inline constexpr uint16_t kBool = 11;
inline constexpr uint16_t kI1 = 16;
inline constexpr uint16_t kUi1 = 17;
inline constexpr uint16_t kUi2 = 18;
inline constexpr uint16_t kUi4 = 19;
inline constexpr uint16_t kI8 = 20;
inline constexpr uint16_t kUi8 = 21;
inline constexpr uint16_t kInt = 22;
inline constexpr uint16_t kUint = 23;
inline constexpr uint16_t kLpstr = 30;
inline constexpr uint16_t kLpwstr = 31;
inline constexpr uint16_t kFiletime = 64;
// Types the reader does not decode but knows the size of.
inline constexpr uint16_t kError = 10;
inline constexpr uint16_t kVariant = 12;
inline constexpr uint16_t kDecimal = 14;
inline constexpr uint16_t kBlob = 65;
inline constexpr uint16_t kStream = 66;
inline constexpr uint16_t kStorage = 67;
inline constexpr uint16_t kStreamedObject = 68;
inline constexpr uint16_t kStoredObject = 69;
inline constexpr uint16_t kBlobObject = 70;
inline constexpr uint16_t kCf = 71;
inline constexpr uint16_t kClsid = 72;
inline constexpr uint16_t kVector = 0x1000;
}  // namespace vt

// Name of a variant type for listings ("VT_LPWSTR", or the number).
std::string variantTypeName(uint16_t type);

struct EmptyValue {
  bool operator==(const EmptyValue&) const = default;
};
struct NullValue {
  bool operator==(const NullValue&) const = default;
};
// 100-nanosecond intervals since 1601-01-01 UTC.
struct FileTime {
  uint64_t ticks = 0;
  bool operator==(const FileTime&) const = default;
};
// Days since 1899-12-30 (the fraction is the time of day), local time.
struct OleDate {
  double days = 0;
  bool operator==(const OleDate&) const = default;
};
// Currency: an integer count of 1/10000 units.
struct Currency {
  int64_t tenThousandths = 0;
  bool operator==(const Currency&) const = default;
};
// A value of a type the reader does not decode; its bytes stay in the stream.
struct UnsupportedValue {
  uint16_t type = 0;
  bool operator==(const UnsupportedValue&) const = default;
};

// A property's value as the server hands it out. Texts are UTF-8.
using PropertyValue = std::variant<EmptyValue, NullValue, int16_t, uint16_t, int32_t, uint32_t, int64_t, uint64_t, float,
                                   double, bool, std::string, FileTime, OleDate, Currency, UnsupportedValue>;

// The standard conversion of a variant to text: a text stays unchanged,
// integers become decimal digits, empty gives "", dates "yyyy.MM.dd hh:mm:ss"
// in local time, numbers with a decimal point, truth values "Wahr"/"Falsch".
// Null and values that cannot be converted give nothing.
std::optional<std::string> valueToText(const PropertyValue& value);

}  // namespace fendrik
