#pragma once

#include <array>
#include <bitset>
#include <optional>
#include <string_view>

namespace fendrik {

// The four Solid Edge document types in the order a search visits them.
enum class DocumentType { Par = 0, Asm = 1, Psm = 2, Dft = 3 };
inline constexpr int kDocumentTypeCount = 4;

// The pattern a file name must end in (compared upper-cased).
inline constexpr std::array<std::string_view, kDocumentTypeCount> kTypePatterns{"PAR", "ASM", "PSM", "DFT"};

// Which types a search looks for; bit k stands for DocumentType k.
using TypeSelection = std::bitset<kDocumentTypeCount>;

inline constexpr std::string_view TypePattern(DocumentType type) { return kTypePatterns[static_cast<int>(type)]; }

// "par", "PAR", "Par"... give the type; anything else gives nothing.
std::optional<DocumentType> ParseDocumentType(std::string_view text);

}  // namespace fendrik
