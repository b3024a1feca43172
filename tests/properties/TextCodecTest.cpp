// Texts in Windows code pages, as the system converts them (iconv on POSIX,
// the Windows conversion functions on Windows): the same text for the same
// bytes on both, U+FFFD for each byte a code page leaves undefined, and a
// refusal for a character a code page cannot hold instead of a substitute.
// Built on its own, so that it also runs where the rest of the reader is not
// built yet.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/TestSystem.h"
#include "properties/StorageError.h"
#include "properties/platform/CodePages.h"
#include "properties/propset/TextCodec.h"

namespace fendrik::propset {
namespace {

// Where the tables of the two systems differ, the row holds for POSIX only.
constexpr const char* kTableDiffers = "the code page's table differs between iconv and Windows";

struct Row {
  uint16_t codepage;
  std::string bytes;
  std::string text;
  const char* onlyPosix = nullptr;  // why the row does not hold on Windows
};

std::string Hex(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) out += "0123456789ABCDEF"[c >> 4], out += "0123456789ABCDEF"[c & 15], out += ' ';
  return out;
}

// Whether the row is left out here, saying why once.
bool LeftOut(const Row& row) {
  if (test::SkipHere(test::kWindows && row.onlyPosix != nullptr, row.onlyPosix == nullptr ? "" : row.onlyPosix))
    return true;
  return test::SkipHere(!codepageAvailable(row.codepage),
                        "code page " + std::to_string(row.codepage) + " is not converted by this system");
}

std::span<const uint8_t> Bytes(const std::string& bytes) {
  return {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
}

TEST(TextCodec, DecodesTheSameTextOnEverySystem) {
  const Row rows[] = {
      {1252, "M\xFC\x80 \x9F", "Mü€ Ÿ"},
      {1252, "a\x81z\x8D\x8F\x90\x9D", "a\uFFFDz\uFFFD\uFFFD\uFFFD\uFFFD"},  // undefined: no C1 controls
      {932, "\x90\x7D\x82\xA0\xB1", "図あｱ"},
      {932, "\x81\x20" "a\x82", "\uFFFD a\uFFFD"},  // a lead byte with a wrong trail byte, and none at the end
      {932, "\x80\xA0\xFD", "\uFFFD\uFFFD\uFFFD"},
      {932, "\xF0\x40\xF9\xFC", "\uE000\uE757"},  // the user-defined area, private use on both systems
      {936, "\xD6\xD0\x80", "中€"},
      {949, "\xC7\xD1\xB1\xDB", "한글"},
      {950, "\xA4\xA4\xA4\xE5", "中文"},
      {950, "\x80", "\u0080", kTableDiffers},
      {874, "\xA1\xDB", "ก\uFFFD"},
      {1250, "\x8A\x81", "Š\uFFFD"},
      {1251, "\xC0\x98", "А\uFFFD"},
      {1253, "\xC1\xAA", "Α\uFFFD"},
      {1254, "\xD0", "Ğ"},
      {1255, "\xE0\xE0", "אא"},  // the last letter too, which iconv holds back for a mark that may follow
      {1255, "\xE0\xCA", "א\uFFFD", kTableDiffers},  // Windows defines 0xCA
      {1258, "\xC3", "Ă"},
      {1256, "\xC7", "ا"},
      {1257, "\xC0\xA1", "Ą\uFFFD"},
      {1258, "a\xEC", "á", kTableDiffers},  // iconv joins the combining accent
      {437, "\x81\xE1", "üß"},
      {850, "\x81\xD5", "üı"},
      {10000, "\x80\xA5", "Ä•"},
      {10000, "\xBD", "Ω", kTableDiffers},  // Windows: the ohm sign
      {20127, "a\x80\xFF", "a\uFFFD\uFFFD"},
      {28591, "\xE9\x85", "é\u0085"},  // C1 controls are characters of ISO 8859
      {28592, "\xA1", "Ą"},
      {28597, "\xA4", "€", kTableDiffers},  // the 2003 edition
      {65001, "\xC3\xA4\xE2\x82", "ä\uFFFD\uFFFD"},
      {65001, "\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},  // a surrogate is no character
      {1201, std::string("\x00\x41\xD8\x00", 4), "A\uFFFD\uFFFD"},
      {1201, std::string("\x00\xE4\xD8\x3D\xDE\x00", 6), "ä😀"},
      {20932, "\xB0\xA1", "亜"},
      {51932, "\xB0\xA1", "亜"},
      {54936, "\x81\x30\x81\x30\xD6\xD0", "\u0080中"},
      {50220, "\x1B$B\x30\x21\x1B(B", "亜"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.codepage) + ": " + Hex(row.bytes));
    if (LeftOut(row)) continue;
    EXPECT_EQ(decodeText(Bytes(row.bytes), row.codepage), row.text);
  }
}

TEST(TextCodec, EncodesOnlyWhatTheCodePageHolds) {
  const Row rows[] = {
      {1252, "M\xE4\xDF\x80", "Mäß€"},
      {932, "\x90\x7D\x82\xA0", "図あ"},
      {932, "\x81\x91", "¢", kTableDiffers},  // reads back as U+FFE0
      {936, "\xD6\xD0", "中"},
      {949, "\xC7\xD1", "한"},
      {950, "\xA4\xA4", "中"},
      {1251, "\xC0", "А"},
      {28592, "\xA1", "Ą"},
      {65001, "\xC3\xA4", "ä"},
      {1201, std::string("\x00\xE4\xD8\x3D\xDE\x00", 6), "ä😀"},
      {20127, "az", "az"},
      {54936, "\xA2\xE3\xD6\xD0", "€中"},
      {50220, "\x1B$B\x30\x21\x1B(B", "亜"},  // back to ASCII at the end
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.codepage) + ": " + row.text);
    if (LeftOut(row)) continue;
    const std::vector<uint8_t> bytes = encodeText(row.text, row.codepage);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), row.bytes);
  }
  // Never a look-alike ("a" for "ā"), a substitute ("?") or a byte that
  // reads back as something else.
  const Row refused[] = {
      {1252, "", "ā"}, {1252, "", "\u0081"}, {1252, "", "中"}, {932, "", "ā"},  {932, "", "\u0080"},
      {1251, "", "ä"}, {20127, "", "ä"},     {437, "", "€"},   {28591, "", "€"}, {50220, "", "ä"},
  };
  for (const Row& row : refused) {
    SCOPED_TRACE(std::to_string(row.codepage) + ": " + row.text);
    if (LeftOut(row)) continue;
    try {
      encodeText(row.text, row.codepage);
      ADD_FAILURE() << "no refusal";
    } catch (const StorageError& error) {
      EXPECT_EQ(error.number(), hresult::kTypeMismatch);
    }
  }
}

// What the reader relies on of every system: the code pages of documents are
// there, an unknown one is a damaged set when read and refused when written,
// and decoding tells undefined bytes wherever the system can.
TEST(TextCodec, UnknownCodePagesAndWhatTheSystemTells) {
  for (uint16_t codepage : {uint16_t{1252}, uint16_t{932}, uint16_t{1200}}) EXPECT_TRUE(codepageAvailable(codepage));
  EXPECT_FALSE(codepageAvailable(1));
  const std::string high = "\xE4";
  try {
    decodeText(Bytes(high), 1);
    ADD_FAILURE() << "no refusal";
  } catch (const StorageError& error) {
    EXPECT_EQ(error.number(), hresult::kDocfileCorrupt);
  }
  try {
    encodeText("ä", 1);
    ADD_FAILURE() << "no refusal";
  } catch (const StorageError& error) {
    EXPECT_EQ(error.number(), hresult::kTypeMismatch);
  }
  for (uint16_t codepage : {uint16_t{1252}, uint16_t{932}, uint16_t{65001}, uint16_t{28591}})
    EXPECT_TRUE(platform::DetectsInvalidBytes(codepage)) << codepage;
  // Windows converts the ISO-2022 code pages without telling undefined bytes.
  EXPECT_EQ(platform::DetectsInvalidBytes(50220), !test::kWindows);
}

}  // namespace
}  // namespace fendrik::propset
