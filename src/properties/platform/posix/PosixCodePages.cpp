#include <errno.h>
#include <iconv.h>

#include <cstring>
#include <map>
#include <memory>

#include "properties/platform/CodePages.h"

namespace fendrik::platform {
namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// One open iconv conversion, reused: opening a conversion costs far more than
// converting a short property text.
struct Converter {
  iconv_t handle = kNoConverter;
  ~Converter() {
    if (handle != kNoConverter) iconv_close(handle);
  }
};

class ConverterCache {
 public:
  // Gives the conversion from -> to, or nullptr when iconv lacks it.
  iconv_t get(const std::string& to, const std::string& from) {
    auto key = to + "<" + from;
    auto it = converters_.find(key);
    if (it == converters_.end()) {
      auto conv = std::make_unique<Converter>();
      conv->handle = iconv_open(to.c_str(), from.c_str());
      it = converters_.emplace(key, std::move(conv)).first;
    }
    iconv_t h = it->second->handle;
    if (h == kNoConverter) return nullptr;
    iconv(h, nullptr, nullptr, nullptr, nullptr);  // reset the shift state
    return h;
  }

 private:
  std::map<std::string, std::unique_ptr<Converter>> converters_;
};

ConverterCache& converters() {
  thread_local ConverterCache cache;
  return cache;
}

}  // namespace

// The iconv name of a Windows code page ("CP1252", "CP932", "UTF-16LE", ...).
std::string CodePageName(uint16_t codePage) {
  switch (codePage) {
    case 1200: return "UTF-16LE";
    case 1201: return "UTF-16BE";
    case 65001: return "UTF-8";
    case 20127: return "ASCII";
    case 10000: return "MACINTOSH";
    case 20932: return "EUC-JP";
    case 51932: return "EUC-JP";
    case 50220: return "ISO-2022-JP";
    case 54936: return "GB18030";
    default: break;
  }
  if (codePage >= 28591 && codePage <= 28606) return "ISO-8859-" + std::to_string(codePage - 28590);
  return "CP" + std::to_string(codePage);
}

bool CodePageSupported(uint16_t codePage) {
  auto name = CodePageName(codePage);
  return converters().get("UTF-8", name) != nullptr && converters().get(name, "UTF-8") != nullptr;
}

bool DetectsInvalidBytes(uint16_t /*codePage*/) { return true; }

CodePageResult DecodeCodePage(uint16_t codePage, std::span<const uint8_t> bytes, std::string& utf8) {
  iconv_t h = converters().get("UTF-8", CodePageName(codePage));
  if (h == nullptr) return CodePageResult::unsupported;
  const size_t start = utf8.size();
  utf8.resize(start + bytes.size() * 4 + 16);
  char* in = reinterpret_cast<char*>(const_cast<uint8_t*>(bytes.data()));
  size_t inLeft = bytes.size();
  char* dst = utf8.data() + start;
  size_t outLeft = utf8.size() - start;
  // A converter that joins combining marks (1255, 1258) holds the last
  // character back until it sees what follows; flushing writes it out at an
  // error and at the end, where it would be lost otherwise.
  auto flush = [&] { iconv(h, nullptr, nullptr, &dst, &outLeft); };
  while (inLeft > 0) {
    if (iconv(h, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) break;  // cannot happen with four bytes per input byte
    // An undefined or incomplete sequence: show U+FFFD and go on behind it.
    flush();
    if (outLeft < 3) break;
    std::memcpy(dst, "\xEF\xBF\xBD", 3);
    dst += 3;
    outLeft -= 3;
    ++in;
    --inLeft;
    iconv(h, nullptr, nullptr, nullptr, nullptr);
  }
  flush();
  utf8.resize(utf8.size() - outLeft);
  return CodePageResult::done;
}

CodePageResult EncodeCodePage(uint16_t codePage, std::string_view utf8, std::vector<uint8_t>& bytes) {
  iconv_t h = converters().get(CodePageName(codePage), "UTF-8");
  if (h == nullptr) return CodePageResult::unsupported;
  const size_t start = bytes.size();
  bytes.resize(start + utf8.size() * 4 + 16);
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* dst = reinterpret_cast<char*>(bytes.data() + start);
  size_t outLeft = bytes.size() - start;
  const bool failed = iconv(h, &in, &inLeft, &dst, &outLeft) == static_cast<size_t>(-1) ||
                      iconv(h, nullptr, nullptr, &dst, &outLeft) == static_cast<size_t>(-1);
  bytes.resize(bytes.size() - outLeft);
  return failed ? CodePageResult::unencodable : CodePageResult::done;
}

}  // namespace fendrik::platform
