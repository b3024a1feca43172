#include "search/DocumentTypes.h"

#include <cctype>

namespace fendrik {

std::optional<DocumentType> ParseDocumentType(std::string_view text) {
  for (int k = 0; k < kDocumentTypeCount; ++k) {
    std::string_view pattern = kTypePatterns[k];
    if (text.size() != pattern.size()) continue;
    bool same = true;
    for (size_t i = 0; i < text.size() && same; ++i)
      same = std::toupper(static_cast<unsigned char>(text[i])) == pattern[i];
    if (same) return static_cast<DocumentType>(k);
  }
  return std::nullopt;
}

}  // namespace fendrik
