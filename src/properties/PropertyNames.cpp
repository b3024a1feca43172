#include "properties/PropertyNames.h"

#include <array>

#include "properties/cfb/Names.h"
#include "properties/propset/TextCodec.h"

namespace fendrik {
namespace {

// The form two names are compared in: upper case, and capital sharp s as the
// small one (which has no single capital of its own).
char32_t caseKey(char32_t c) { return c == 0x1E9E ? 0xDF : cfb::upperCase(c); }

// Next character of a name; a byte that starts no UTF-8 sequence stands for itself.
char32_t nextChar(std::string_view s, size_t& i) {
  if (std::optional<char32_t> c = propset::nextCodePoint(s, i)) return *c;
  return static_cast<unsigned char>(s[i++]);
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
    if (caseKey(nextChar(a, i)) != caseKey(nextChar(b, j))) return false;
  }
  return i == a.size() && j == b.size();
}

namespace {

const std::array<SetLocation, kSetCount>& setLocations() {
  using namespace propset;
  static const std::array<SetLocation, kSetCount> sets = {{
      {"SummaryInformation", u"\005SummaryInformation", &kFmtidSummaryInformation, 0},
      {"DocumentSummaryInformation", u"\005DocumentSummaryInformation", &kFmtidDocumentSummaryInformation, 1},
      {"Custom", u"\005DocumentSummaryInformation", &kFmtidUserDefined, 2},
      {"ProjectInformation", u"\005Rfunnyd1AvtdbfkuIaamtae3Ie", &kFmtidProjectInformation, 3},
      {"ExtendedSummaryInformation", u"\005C3teagxwOttdbfkuIaamtae3Ie", &kFmtidExtendedSummaryInformation, 4},
      {"MechanicalModeling", u"\005K4teagxwOttdbfkuIaamtae3Ie", &kFmtidMechanicalModeling, 5},
  }};
  return sets;
}

}  // namespace

std::optional<SetLocation> findSetLocation(std::string_view setName) {
  for (const auto& s : setLocations())
    if (namesEqualIgnoringCase(s.name, setName)) return s;
  return std::nullopt;
}

std::optional<SetLocation> findSetLocation(const propset::Fmtid& fmtid) {
  for (const auto& s : setLocations())
    if (*s.fmtid == fmtid) return s;
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
