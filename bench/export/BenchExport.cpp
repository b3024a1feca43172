// The export of 100,000 rows: time to write them as an Excel workbook and as
// CSV, printed against the baseline measured in the same run on the same
// rows, the list file (SaveListView: one line per row, written as the export
// writes, through a temporary file that is flushed and renamed). Beside it
// the copy of the rows the window makes on its thread, the read-back check of
// the workbook, and the memory the workbook's writing adds.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>

#include "resultlist/ResultRows.h"
#include "search/ExportFile.h"
#include "search/ListFile.h"
#include "search/WorkbookCheck.h"

using namespace fendrik;
using Clock = std::chrono::steady_clock;

namespace {

// Rows as the list shows them after a search over a project folder: paths
// with umlauts, times "yyyy.MM.dd hh:mm:ss", sizes right-aligned with
// grouping, statuses, titles and the other properties.
ResultRows MakeRows(unsigned count) {
  static const char* const kWords[] = {"Welle", "Gehäuse", "Flansch", "Deckel", "Lagerbock", "Äußere Platte",
                                       "Zahnrad", "Schraube", "Bügel", "Antrieb"};
  static const char* const kTypes[] = {"par", "asm", "psm", "dft"};
  static const char* const kProjects[] = {"Alpha", "Beta", "Umbau Linie 4", "Prüfstand", ""};
  std::mt19937 random(7);
  ResultRows rows;
  for (unsigned n = 0; n < count; ++n) {
    const unsigned r = static_cast<unsigned>(random());
    const std::string type = kTypes[r % 4];
    const std::string name = std::string(kWords[(r >> 3) % 10]) + " " + std::to_string(r % 100000) + "." + type;
    const std::string folder = "/daten/konstruktion/P-" + std::to_string(1000 + (r >> 7) % 300) + "/Teile";
    char date[32], size[32];
    std::snprintf(date, sizeof date, "%04u.%02u.%02u %02u:%02u:%02u", 2015 + (r >> 9) % 10, 1 + (r >> 5) % 12,
                  1 + (r >> 11) % 28, (r >> 13) % 24, (r >> 2) % 60, (r >> 17) % 60);
    const unsigned bytes = 20000 + (r >> 4) % 9000000;
    std::snprintf(size, sizeof size, "%13s",
                  (std::to_string(bytes / 1000000) + "." + std::to_string(1000 + bytes / 1000 % 1000).substr(1) +
                   "." + std::to_string(1000 + bytes % 1000).substr(1))
                      .c_str());
    rows.append({folder + "/" + name, name, type, folder, date, size, "DN-" + std::to_string(400000 + r % 50000), "A",
                 std::to_string(r % 6), std::string(kWords[(r >> 21) % 10]) + " Baugruppe", "", "Prüfung offen",
                 "Welle; Antrieb", "Fertigungsteil", kProjects[(r >> 19) % 5], "Musterbau GmbH", "mk",
                 "120 x 40 x 8", "S235JR"});
  }
  return rows;
}

// The best of a few runs, in milliseconds.
double BestMs(int runs, const std::function<void()>& timed) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    timed();
    best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return best;
}

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void Check(bool done, const char* what) {
  if (done) return;
  std::fprintf(stderr, "%s failed\n", what);
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned count = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 100000;
  const int runs = 3;
  const ResultRows rows = MakeRows(count);
  const auto folder = std::filesystem::temp_directory_path() / "fendrik-bench-export";
  std::filesystem::create_directories(folder);
  const std::string list = (folder / "liste.lst").string(), csv = (folder / "liste.csv").string(),
                    xlsx = (folder / "liste.xlsx").string();
  std::printf("%u rows\n", count);

  // The workbook first, so that the peak of the process shows what its
  // writing adds to the rows.
  const long before = PeakKiB();
  const double xlsxMs = BestMs(runs, [&] { Check(ExportRows(rows, xlsx).done(), "workbook"); });
  const long workbookPeak = PeakKiB() - before;
  const double baseMs = BestMs(runs, [&] { Check(SaveListView(rows, list).done(), "list file"); });
  const double csvMs = BestMs(runs, [&] { Check(ExportRows(rows, csv).done(), "CSV"); });
  const double checkMs = BestMs(runs, [&] { Check(!WorkbookFault(xlsx, "xl/worksheets/sheet1.xml", count + 1), "check"); });
  const double copyMs = BestMs(runs, [&] { Check(rows.copy().size() == rows.size(), "copy"); });

  auto line = [&](const char* what, double ms, const std::string& file) {
    std::printf("%-36s %9.1f ms   ratio %5.2f", what, ms, ms / baseMs);
    if (!file.empty()) std::printf("   %6.1f MB", static_cast<double>(std::filesystem::file_size(file)) / 1e6);
    std::printf("\n");
  };
  line("baseline: list file (SaveListView)", baseMs, list);
  line("CSV (ExportRows)", csvMs, csv);
  line("workbook (ExportRows)", xlsxMs, xlsx);
  line("  of it: read-back check", checkMs, "");
  line("rows copied on the window's thread", copyMs, "");
  std::printf("memory the workbook's writing added to the process's peak: %.1f MB\n",
              static_cast<double>(workbookPeak) / 1024.0);
  std::filesystem::remove_all(folder);
  return 0;
}
