#include "properties/propset/ValueEncoder.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "properties/StorageError.h"
#include "properties/propset/ByteSource.h"
#include "properties/propset/PropertySetReader.h"
#include "properties/propset/TextCodec.h"

namespace fendrik::propset {
namespace {

[[noreturn]] void mismatch(uint16_t type) {
  throw StorageError(hresult::kTypeMismatch,
                     "Der Wert passt nicht zum Typ " + variantTypeName(type) + " der Eigenschaft.");
}

// The value as a number, when it is one (texts holding digits count).
struct NumberOf {
  std::optional<long double> operator()(const std::string& s) const {
    long long n = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), n);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size() || s.empty()) return std::nullopt;
    return static_cast<long double>(n);
  }
  std::optional<long double> operator()(bool b) const { return b ? -1.0L : 0.0L; }
  std::optional<long double> operator()(float f) const { return f; }
  std::optional<long double> operator()(double d) const { return d; }
  std::optional<long double> operator()(int16_t v) const { return v; }
  std::optional<long double> operator()(uint16_t v) const { return v; }
  std::optional<long double> operator()(int32_t v) const { return v; }
  std::optional<long double> operator()(uint32_t v) const { return v; }
  std::optional<long double> operator()(int64_t v) const { return static_cast<long double>(v); }
  std::optional<long double> operator()(uint64_t v) const { return static_cast<long double>(v); }
  template <typename T>
  std::optional<long double> operator()(const T&) const {
    return std::nullopt;
  }
};

std::optional<long double> asNumber(const PropertyValue& value) { return std::visit(NumberOf{}, value); }

template <typename T>
T integerIn(uint16_t type, const PropertyValue& value) {
  auto n = asNumber(value);
  if (!n || *n != std::trunc(*n) || *n < static_cast<long double>(std::numeric_limits<T>::min()) ||
      *n > static_cast<long double>(std::numeric_limits<T>::max()))
    mismatch(type);
  return static_cast<T>(*n);
}

std::optional<std::string> asText(const PropertyValue& value) {
  if (auto* s = std::get_if<std::string>(&value)) return *s;
  if (std::holds_alternative<EmptyValue>(value)) return std::string();
  if (asNumber(value)) return valueToText(value);
  return std::nullopt;
}

void appendBytes(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

}  // namespace

std::vector<uint8_t> encodeValue(uint16_t type, const PropertyValue& value, uint16_t codepage) {
  std::vector<uint8_t> out;
  appendU16(out, type);
  appendU16(out, 0);
  auto appendInt = [&](uint64_t bits, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
  };
  switch (type) {
    case vt::kEmpty:
    case vt::kNull: break;
    case vt::kI1: appendInt(static_cast<uint8_t>(integerIn<int8_t>(type, value)), 1); break;
    case vt::kUi1: appendInt(integerIn<uint8_t>(type, value), 1); break;
    case vt::kI2: appendInt(static_cast<uint16_t>(integerIn<int16_t>(type, value)), 2); break;
    case vt::kUi2: appendInt(integerIn<uint16_t>(type, value), 2); break;
    case vt::kI4:
    case vt::kInt: appendInt(static_cast<uint32_t>(integerIn<int32_t>(type, value)), 4); break;
    case vt::kUi4:
    case vt::kUint: appendInt(integerIn<uint32_t>(type, value), 4); break;
    case vt::kI8: appendInt(static_cast<uint64_t>(integerIn<int64_t>(type, value)), 8); break;
    case vt::kUi8: appendInt(integerIn<uint64_t>(type, value), 8); break;
    case vt::kBool: {
      auto n = asNumber(value);
      if (!n) mismatch(type);
      appendInt(*n != 0 ? 0xFFFF : 0, 2);
      break;
    }
    case vt::kR4:
    case vt::kR8: {
      auto n = asNumber(value);
      if (!n) mismatch(type);
      if (type == vt::kR4) {
        float f = static_cast<float>(*n);
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        appendInt(bits, 4);
      } else {
        double d = static_cast<double>(*n);
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        appendInt(bits, 8);
      }
      break;
    }
    case vt::kFiletime:
      if (auto* f = std::get_if<FileTime>(&value)) appendInt(f->ticks, 8);
      else mismatch(type);
      break;
    case vt::kDate:
      if (auto* d = std::get_if<OleDate>(&value)) {
        uint64_t bits;
        std::memcpy(&bits, &d->days, 8);
        appendInt(bits, 8);
      } else {
        mismatch(type);
      }
      break;
    case vt::kCy:
      if (auto* c = std::get_if<Currency>(&value)) appendInt(static_cast<uint64_t>(c->tenThousandths), 8);
      else mismatch(type);
      break;
    case vt::kLpstr:
    case vt::kBstr:
    case vt::kLpwstr: {
      auto text = asText(value);
      if (!text) mismatch(type);
      if (text->find('\0') != std::string::npos) mismatch(type);
      bool wide = type == vt::kLpwstr || codepage == kCodepageUtf16;
      std::vector<uint8_t> bytes = wide ? utf8ToUtf16(*text) : encodeText(*text, codepage);
      bytes.insert(bytes.end(), wide ? 2 : 1, 0);
      uint64_t length = type == vt::kLpwstr ? bytes.size() / 2 : bytes.size();
      if (length > std::numeric_limits<uint32_t>::max()) mismatch(type);
      appendU32(out, static_cast<uint32_t>(length));
      appendBytes(out, bytes);
      break;
    }
    default: mismatch(type);
  }
  padTo4(out);
  return out;
}

std::vector<uint8_t> encodeDictionary(const std::vector<DictionaryEntry>& entries, uint16_t codepage) {
  std::vector<uint8_t> out;
  bool wide = codepage == kCodepageUtf16;
  appendU32(out, static_cast<uint32_t>(entries.size()));
  for (const auto& e : entries) {
    std::vector<uint8_t> name = wide ? utf8ToUtf16(e.name) : encodeText(e.name, codepage);
    name.insert(name.end(), wide ? 2 : 1, 0);
    appendU32(out, e.id);
    appendU32(out, static_cast<uint32_t>(wide ? name.size() / 2 : name.size()));
    appendBytes(out, name);
    if (wide) padTo4(out);  // codepage 1200 pads every entry
  }
  padTo4(out);
  return out;
}

}  // namespace fendrik::propset
