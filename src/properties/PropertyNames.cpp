#include "properties/PropertyNames.h"

#include <array>

namespace fendrik {
namespace {

// Next code point of UTF-8 text; invalid bytes stand for themselves.
char32_t nextCodePoint(std::string_view s, size_t& i) {
  auto b = static_cast<unsigned char>(s[i]);
  int len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 1;
  if (i + len > s.size()) len = 1;
  if (len == 1) {
    ++i;
    return b;
  }
  char32_t c = b & (0x7F >> len);
  for (int k = 1; k < len; ++k) {
    auto cont = static_cast<unsigned char>(s[i + k]);
    if ((cont & 0xC0) != 0x80) {
      ++i;
      return b;
    }
    c = (c << 6) | (cont & 0x3F);
  }
  i += len;
  return c;
}

// Simple case folding for the scripts property names use: Latin (with its
// supplement and Extended-A), Greek and Cyrillic.
char32_t foldCase(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if (c < 0x80) return c;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
  if (c == 0x1E9E) return 0xDF;  // capital sharp s
  if (c == 0x178) return 0xFF;   // capital y with diaeresis
  if (c >= 0x100 && c <= 0x17F) {
    // Pairs: upper case at even code points, except the block 0x139..0x148 and 0x179..0x17E (odd).
    bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if (oddUpper) return (c % 2 == 1) ? c + 1 : c;
    return (c % 2 == 0) ? c + 1 : c;
  }
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

struct FixedName {
  const propset::Fmtid* set;
  uint32_t id;
  std::string_view german;
  std::string_view english;
};

const std::array<FixedName, 21>& fixedNames() {
  using namespace propset;
  static const std::array<FixedName, 21> names = {{
      {&kFmtidSummaryInformation, 2, "Titel", "Title"},
      {&kFmtidSummaryInformation, 3, "Thema", "Subject"},
      {&kFmtidSummaryInformation, 4, "Autor", "Author"},
      {&kFmtidSummaryInformation, 5, "Stichwörter", "Keywords"},
      {&kFmtidSummaryInformation, 6, "Kommentare", "Comments"},
      {&kFmtidSummaryInformation, 7, "Vorlage", "Template"},
      {&kFmtidSummaryInformation, 8, "Zuletzt gespeichert von", "Last Author"},
      {&kFmtidSummaryInformation, 9, "Revisionsnummer", "Revision Number"},
      {&kFmtidSummaryInformation, 12, "Erstellt am", "Creation Date"},
      {&kFmtidSummaryInformation, 13, "Zuletzt gespeichert am", "Last Save Date"},
      {&kFmtidSummaryInformation, 18, "Anwendungsname", "Application Name"},
      {&kFmtidSummaryInformation, 19, "Sicherheit", "Security"},
      {&kFmtidDocumentSummaryInformation, 2, "Kategorie", "Category"},
      {&kFmtidDocumentSummaryInformation, 14, "Manager", "Manager"},
      {&kFmtidDocumentSummaryInformation, 15, "Firma", "Company"},
      {&kFmtidProjectInformation, 2, "Dokumentnummer", "Document Number"},
      {&kFmtidProjectInformation, 3, "Revision", "Revision"},
      {&kFmtidProjectInformation, 4, "Projektname", "Project Name"},
      {&kFmtidExtendedSummaryInformation, 7, "Status", "Status"},
      {&kFmtidExtendedSummaryInformation, 8, "Benutzername", "Username"},
      {&kFmtidMechanicalModeling, 3, "Material", "Material"},
  }};
  return names;
}

}  // namespace

bool namesEqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a == b) return true;  // names are mostly passed as the tables spell them
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    auto x = static_cast<unsigned char>(a[i]);
    auto y = static_cast<unsigned char>(b[j]);
    if ((x | y) < 0x80) {  // both ASCII: the common case, without decoding
      if ((x >= 'A' && x <= 'Z' ? x + 32 : x) != (y >= 'A' && y <= 'Z' ? y + 32 : y)) return false;
      ++i;
      ++j;
      continue;
    }
    if (foldCase(nextCodePoint(a, i)) != foldCase(nextCodePoint(b, j))) return false;
  }
  return i == a.size() && j == b.size();
}

std::optional<SetLocation> findSetLocation(std::string_view setName) {
  using namespace propset;
  static const std::array<SetLocation, kSetCount> sets = {{
      {"SummaryInformation", u"\005SummaryInformation", &kFmtidSummaryInformation, false, 0},
      {"DocumentSummaryInformation", u"\005DocumentSummaryInformation", &kFmtidDocumentSummaryInformation, false, 1},
      {"Custom", u"\005DocumentSummaryInformation", &kFmtidUserDefined, false, 2},
      {"ProjectInformation", u"\005Rfunnyd1AvtdbfkuIaamtae3Ie", &kFmtidProjectInformation, true, 3},
      {"ExtendedSummaryInformation", u"\005C3teagxwOttdbfkuIaamtae3Ie", &kFmtidExtendedSummaryInformation, true, 4},
      {"MechanicalModeling", u"\005K4teagxwOttdbfkuIaamtae3Ie", &kFmtidMechanicalModeling, true, 5},
  }};
  for (const auto& s : sets)
    if (namesEqualIgnoringCase(s.name, setName)) return s;
  return std::nullopt;
}

std::optional<uint32_t> fixedPropertyId(const propset::Fmtid& set, std::string_view propertyName) {
  // The table's own FMTID constant for the set: callers mostly pass that very
  // constant, so the table is walked comparing pointers.
  const propset::Fmtid* own = nullptr;
  for (const auto& n : fixedNames())
    if (n.set == &set) own = n.set;
  for (const auto& n : fixedNames()) {
    if (own != nullptr) break;
    if (*n.set == set) own = n.set;
  }
  for (const auto& n : fixedNames())
    if (n.set == own && (namesEqualIgnoringCase(n.german, propertyName) || namesEqualIgnoringCase(n.english, propertyName)))
      return n.id;
  return std::nullopt;
}

std::string_view fixedPropertyName(const propset::Fmtid& set, uint32_t id) {
  for (const auto& n : fixedNames())
    if (*n.set == set && n.id == id) return n.english;
  return {};
}

}  // namespace fendrik
