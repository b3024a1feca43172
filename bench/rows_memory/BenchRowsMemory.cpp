// Memory of the result list's rows: builds 100,000 rows of 19 realistic
// texts (path, file facts, thirteen properties) and prints the heap bytes
// per row against the bytes of the texts themselves (the baseline), and for
// comparison the same rows kept as one std::string per text.
#include <malloc.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "resultlist/ResultRows.h"

namespace {

// Small blocks from the arena plus large ones the allocator maps directly.
size_t HeapInUse() {
  struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// Texts as a search over a project folder gives them; varied lengths.
std::vector<std::string> RealisticRow(unsigned n) {
  static const char* const kFolders[] = {"Baugruppen/Getriebe", "Teile/Wellen", "Blech/Gehäuse", "Zeichnungen/Serie"};
  static const char* const kTypes[] = {"par", "asm", "psm", "dft"};
  static const char* const kMaterials[] = {"Stahl S235JR", "Aluminium EN AW-5754", "Edelstahl 1.4301", ""};
  static const char* const kTitles[] = {"Antriebswelle lang", "Gehäusedeckel", "Lagerbock links", "Flansch DN50"};
  const std::string type = kTypes[n % 4];
  const std::string folder = "/home/konstruktion/Projekte/P-" + std::to_string(1000 + n % 97) + "/" + kFolders[n % 4] +
                             "-" + std::to_string(n % 13);
  const std::string name = "Teil_" + std::to_string(100000 + n);
  char date[32];
  std::snprintf(date, sizeof date, "%02u.%02u.2024 %02u:%02u:%02u", 1 + n % 28, 1 + n % 12, n % 24, n % 60,
                (n * 7) % 60);
  char size[32];
  std::snprintf(size, sizeof size, "%13s", std::to_string(20000 + (n * 7919) % 5000000).c_str());
  return {folder + "/" + name + "." + type,
          name,
          type,
          folder,
          date,
          size,
          "DOK-" + std::to_string(400000 + n),
          std::string(1, static_cast<char>('A' + n % 5)),
          std::to_string(n % 6),
          kTitles[n % 4],
          n % 3 == 0 ? "" : "Serie " + std::to_string(n % 40),
          n % 5 == 0 ? "geändert nach Prüfung, Maße angepasst" : "",
          "Welle; Antrieb",
          "Fertigungsteil",
          "P-" + std::to_string(1000 + n % 97),
          "Musterbau GmbH",
          "mk",
          std::to_string(20 + n % 300) + " x " + std::to_string(10 + n % 80) + " x " + std::to_string(5 + n % 40),
          kMaterials[n % 4]};
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned count = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 100000;
  size_t textBytes = 0;
  for (unsigned n = 0; n < count; ++n)
    for (const std::string& text : RealisticRow(n)) textBytes += text.size();

  size_t before = HeapInUse();
  size_t packedBytes = 0;
  {
    fendrik::ResultRows rows;
    for (unsigned n = 0; n < count; ++n) rows.append(RealisticRow(n));
    packedBytes = HeapInUse() - before;
  }

  before = HeapInUse();
  size_t plainBytes = 0;
  {
    std::vector<std::array<std::string, fendrik::kColumnCount>> rows;
    for (unsigned n = 0; n < count; ++n) {
      std::vector<std::string> texts = RealisticRow(n);
      std::array<std::string, fendrik::kColumnCount> row;
      for (size_t k = 0; k < texts.size(); ++k) row[k] = std::move(texts[k]);
      rows.push_back(std::move(row));
    }
    plainBytes = HeapInUse() - before;
  }

  const double perRowText = static_cast<double>(textBytes) / count;
  const double perRowPacked = static_cast<double>(packedBytes) / count;
  const double perRowPlain = static_cast<double>(plainBytes) / count;
  std::printf("rows                       %u\n", count);
  std::printf("text bytes per row         %.1f (baseline)\n", perRowText);
  std::printf("ResultRows bytes per row   %.1f  ratio %.2f\n", perRowPacked, perRowPacked / perRowText);
  std::printf("one string per text        %.1f  ratio %.2f (for comparison)\n", perRowPlain, perRowPlain / perRowText);
  return 0;
}
