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
      PropertySet& set = server.Item(kReads[i].set);
      auto text = valueToText(set.Item(kReads[i].property).Value());
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
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out += ", ";
      i += 2;
    } else {
      out += text[i++];
    }
  }
  return out;
}

}  // namespace fendrik
