#include "properties/PropertyReader.h"

#include <exception>
#include <string_view>

#include "properties/FileProperties.h"

namespace fendrik {
namespace {

struct PropertyRead {
  std::string_view set;
  std::string_view property;
  bool joinLines;
};

// The reads in their order; each result goes to the text of the same index.
constexpr PropertyRead kReads[13] = {
    {"ProjectInformation", "Document Number", false},
    {"ProjectInformation", "Revision", false},
    {"ExtendedSummaryInformation", "Status", false},
    {"SummaryInformation", "Titel", false},
    {"SummaryInformation", "Thema", false},
    {"SummaryInformation", "Kommentare", true},
    {"SummaryInformation", "Stichwörter", false},
    {"DocumentSummaryInformation", "Kategorie", false},
    {"ProjectInformation", "Project Name", false},
    {"DocumentSummaryInformation", "Firma", false},
    {"SummaryInformation", "Autor", false},
    {"Custom", "Hauptmaße", false},
    {"MechanicalModeling", "Material", false},
};

}  // namespace

void SEProperty(FileProperties& server, PropertyTexts& out) {
  for (size_t i = 0; i < out.size(); ++i) {
    out[i].clear();
    try {
      // Each read fetches its set anew, as every caller of the server does.
      // Missing sets and properties are common (no "Custom" set, no
      // "Material" in assemblies), so they are asked for without exceptions.
      PropertySet* set = server.tryItem(kReads[i].set);
      if (set == nullptr) continue;
      auto property = set->tryItem(kReads[i].property);
      if (!property) continue;
      auto value = property->tryValue();
      if (!value) continue;
      auto text = valueToText(*value);
      if (!text) continue;
      out[i] = kReads[i].joinLines ? JoinLines(std::move(*text)) : std::move(*text);
    } catch (const std::exception&) {
      out[i].clear();  // a failed read leaves its text empty
    }
  }
}

std::string JoinLines(std::string text) {
  // One pass: replacing each pair from the start and searching again from
  // the start gives the same text, because ", " never forms a new pair.
  size_t pair = text.find("\r\n");
  if (pair == std::string::npos) return text;
  std::string out;
  out.reserve(text.size());
  size_t from = 0;
  for (; pair != std::string::npos; pair = text.find("\r\n", from)) {
    out.append(text, from, pair - from);
    out += ", ";
    from = pair + 2;
  }
  out.append(text, from);
  return out;
}

}  // namespace fendrik
