// Big list: 100,000 rows of realistic texts. Times, in one run, the
// file-name sort (TextOrder collation) against a byte-order stable sort of
// the same names, and SaveListView plus LoadListView against writing and
// reading the same bytes with plain stdio. Prints medians and ratios.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include <QLocale>

#include "resultlist/ResultRows.h"
#include "search/ListFile.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

template <typename F>
double Median(int rounds, F&& action) {
  std::vector<double> times;
  for (int r = 0; r < rounds; ++r) {
    auto start = Clock::now();
    action();
    times.push_back(Ms(Clock::now() - start));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

fendrik::ResultRows MakeRows(size_t count) {
  const char* stems[] = {"Welle", "welle", "Äpfel", "Zahnrad", "zahnrad", "Gehäuse", "Flansch", "Blech", "Deckel",
                         "Lagerbock", "Öldeckel", "Übergang", "part", "Part", "Baugruppe", "Schweißteil"};
  std::mt19937 random(42);
  fendrik::ResultRows rows;
  for (size_t k = 0; k < count; ++k) {
    std::string name = std::string(stems[random() % 16]) + " " + std::to_string(random() % 100000);
    std::string folder = "/daten/projekte/p" + std::to_string(k % 1000) + "/teile";
    rows.append({folder + "/" + name + ".par", name, "par", folder, "2024.03.15 14:05:09", "        123.456",
                 "DN-" + std::to_string(k), "B", "0", "Titel " + name, "Thema", "Kommentar zum Teil", "Stichwort",
                 "Kategorie", "Projekt " + std::to_string(k % 1000), "Firma GmbH", "Konstrukteur", "100x200x30",
                 "S235JR"});
  }
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  size_t count = 100000;
  int rounds = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string option = argv[i];
    if (option == "--rows") count = std::stoul(argv[i + 1]);
    else if (option == "--rounds") rounds = std::stoi(argv[i + 1]);
  }
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  const fendrik::ResultRows original = MakeRows(count);
  auto copyOf = [&] {
    fendrik::ResultRows copy;
    for (size_t k = 0; k < original.size(); ++k) {
      std::vector<std::string> texts;
      for (int c = 0; c < fendrik::kColumnCount; ++c) texts.emplace_back(original.text(k, c));
      copy.append(texts);
    }
    return copy;
  };

  // Sort: the list's collation against byte order, each on a fresh copy.
  std::vector<double> sortTimes, byteTimes;
  for (int r = 0; r < rounds; ++r) {
    fendrik::ResultRows rows = copyOf();
    auto start = Clock::now();
    rows.sortByColumn(fendrik::kFileNameColumn, true);
    sortTimes.push_back(Ms(Clock::now() - start));
    std::vector<std::pair<std::string_view, size_t>> keys;
    start = Clock::now();
    for (size_t k = 0; k < original.size(); ++k) keys.emplace_back(original.text(k, 1), k);
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    byteTimes.push_back(Ms(Clock::now() - start));
  }
  std::sort(sortTimes.begin(), sortTimes.end());
  std::sort(byteTimes.begin(), byteTimes.end());
  const double sortMs = sortTimes[sortTimes.size() / 2], byteMs = byteTimes[byteTimes.size() / 2];

  fs::path folder = fs::temp_directory_path() / ("fendrik-bench-list-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  const std::string path = (folder / "Fendrik_0.lst").string();
  const std::string plain = (folder / "plain.lst").string();
  const double saveMs = Median(rounds, [&] {
    if (!fendrik::SaveListView(original, path).done()) std::fprintf(stderr, "save failed\n");
  });
  fendrik::ResultRows loaded;
  const double loadMs = Median(rounds, [&] {
    if (!fendrik::LoadListView(loaded, path).done()) std::fprintf(stderr, "load failed\n");
  });
  // The floor: the same bytes written with fwrite (and fsync, as the list
  // file is) and read back whole.
  std::string bytes;
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  const double plainMs = Median(rounds, [&] {
    FILE* out = std::fopen(plain.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fflush(out);
    ::fsync(fileno(out));
    std::fclose(out);
    std::ifstream in(plain, std::ios::binary);
    std::string back((std::istreambuf_iterator<char>(in)), {});
    if (back.size() != bytes.size()) std::fprintf(stderr, "plain read short\n");
  });
  fs::remove_all(folder);

  std::printf("rows: %zu (list file %.1f MB), %d rounds, medians\n", loaded.size(), bytes.size() / 1e6, rounds);
  std::printf("file-name sort (locale collation): %.1f ms   byte-order sort: %.1f ms   ratio %.2f   target < 300 ms\n",
              sortMs, byteMs, sortMs / byteMs);
  std::printf("SaveListView %.1f ms + LoadListView %.1f ms = %.1f ms   plain write+read %.1f ms   ratio %.2f   "
              "target < 500 ms\n",
              saveMs, loadMs, saveMs + loadMs, plainMs, (saveMs + loadMs) / plainMs);
  return 0;
}
