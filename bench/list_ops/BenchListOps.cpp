// The list's own operations on 100,000 rows, in the real list view (offscreen):
// one filter, a header-click sort and the filter reset (reload of the list
// file). Each is printed against a floor measured in the same run on the same
// texts: a byte search, a byte sort, reading the file's bytes.
#include <QApplication>
#include <QHeaderView>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "ListWindow.h"
#include "app/AltLinesBackground.h"
#include "app/ResultListView.h"
#include "app/ResultRowsModel.h"
#include "search/ListFile.h"

using namespace fendrik;
using Clock = std::chrono::steady_clock;

namespace {

// Rows in the order a search over many folders gives them: file names from a
// few words in mixed case (some with umlauts), dates and sizes as fixed-width
// texts, statuses, titles and projects.
ResultRows MakeRows(unsigned count) {
  static const char* const kWords[] = {"Welle", "welle", "Gehäuse", "GEHÄUSE", "Flansch", "Deckel", "Lagerbock",
                                       "Äußere Platte", "Zahnrad", "Schraube", "Bügel", "Antrieb"};
  static const char* const kTypes[] = {"par", "asm", "psm", "dft"};
  static const char* const kProjects[] = {"Alpha", "Beta", "Umbau Linie 4", "Prüfstand", ""};
  std::mt19937 random(42);
  ResultRows rows;
  for (unsigned n = 0; n < count; ++n) {
    const unsigned r = static_cast<unsigned>(random());
    const std::string type = kTypes[r % 4];
    const std::string name = std::string(kWords[(r >> 3) % 12]) + " " + std::to_string(r % 100000);
    const std::string folder = "/daten/konstruktion/P-" + std::to_string(1000 + (r >> 7) % 300) + "/Teile";
    char date[32], size[32];
    std::snprintf(date, sizeof date, "%04u-%02u-%02u %02u:%02u:%02u", 2015 + (r >> 9) % 10, 1 + (r >> 5) % 12,
                  1 + (r >> 11) % 28, (r >> 13) % 24, (r >> 2) % 60, (r >> 17) % 60);
    std::snprintf(size, sizeof size, "%13u", 20000 + (r >> 4) % 9000000);
    rows.append({folder + "/" + name + "." + type, name + "." + type, type, folder, date, size,
                 "DN-" + std::to_string(400000 + r % 50000), "A", std::to_string(r % 6),
                 std::string(kWords[(r >> 21) % 12]) + " Baugruppe", "", "", "Welle; Antrieb", "Fertigungsteil",
                 kProjects[(r >> 19) % 5], "Musterbau GmbH", "mk", "120 x 40 x 8", "S235JR"});
  }
  return rows;
}

ResultRows Copy(const ResultRows& rows) {
  ResultRows copy;
  std::vector<std::string> texts(kColumnCount);
  for (size_t i = 0; i < rows.size(); ++i) {
    for (int k = 0; k < kColumnCount; ++k) texts[static_cast<size_t>(k)] = std::string(rows.text(i, k));
    copy.append(texts);
  }
  return copy;
}

// The best of a few runs, in milliseconds; `prepare` is not timed.
double BestMs(int runs, const std::function<void()>& prepare, const std::function<void()>& timed) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    prepare();
    const auto start = Clock::now();
    timed();
    best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  return best;
}

void Report(const char* what, double ms, double floorMs, double targetMs) {
  std::printf("%-44s %9.1f ms   floor %8.1f ms   ratio %6.1f   target < %.0f ms: %s\n", what, ms, floorMs,
              ms / floorMs, targetMs, ms < targetMs ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const unsigned count = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 100000;
  const int runs = 5;

  const ResultRows master = MakeRows(count);
  bench::ListWindow shown;
  auto& [window, model, list, picture] = shown;
  window.show();
  QApplication::processEvents();
  std::printf("%u rows\n", count);

  // One filter as a box that is left applies it; floor: a byte search for
  // the same text in the same column.
  for (const auto& [what, column, text] :
       {std::tuple{"filter \"welle\" on Dateiname (contains)", 1, QString("welle")},
        std::tuple{"filter \"ä\" on Dateiname (contains)", 1, QString::fromUtf8("ä")},
        std::tuple{"filter \"p-12\" on Pfad (does not contain)", 3, QString("p-12")}}) {
    const double ms = BestMs(
        runs, [&] { model.setRows(Copy(master)); QApplication::processEvents(); },
        [&] {
          model.applyFilter(column, text, column == 3);
          QApplication::processEvents();
        });
    const std::string needle = text.toStdString();
    size_t hits = 0;
    const double floorMs = BestMs(runs, [] {}, [&] {
      hits = 0;
      for (size_t i = 0; i < master.size(); ++i) hits += master.text(i, column).find(needle) != std::string_view::npos;
    });
    Report(what, ms, floorMs, 50);
  }

  // A header click: sort with the collation, select and show the first row;
  // floor: a stable byte sort of the same column's texts.
  for (const auto& [what, column] : {std::pair{"header click Dateiname", 1}, std::pair{"header click Gespeichert", 4},
                                     std::pair{"header click Größe", 5}, std::pair{"header click Projekt", 14}}) {
    bool ascending = false;
    const double ms = BestMs(
        runs, [&] { model.setRows(Copy(master)); QApplication::processEvents(); },
        [&] {
          ascending = !ascending;
          model.sortByColumn(column, ascending);
          list.setCurrentIndex(model.index(0, 0));
          list.scrollTo(model.index(0, 0));
          QApplication::processEvents();
        });
    std::vector<std::string_view> texts;
    const double floorMs = BestMs(
        runs, [&] {
          texts.clear();
          for (size_t i = 0; i < master.size(); ++i) texts.push_back(master.text(i, column));
        },
        [&] { std::stable_sort(texts.begin(), texts.end()); });
    Report(what, ms, floorMs, 300);
  }

  // The reset: reload the list file into the list and repaint the bands;
  // floor: reading the file's bytes.
  const std::string path = (std::filesystem::temp_directory_path() / "fendrik-bench-list.lst").string();
  if (!SaveListView(master, path).done()) return 1;
  const double ms = BestMs(runs, [&] { model.setRows(ResultRows()); }, [&] {
    ResultRows rows;
    LoadListView(rows, path);
    model.setRows(std::move(rows));
    SetAltLinesBackground(list, picture);
    QApplication::processEvents();
  });
  const double floorMs = BestMs(runs, [] {}, [&] {
    std::ifstream in(path, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), {}};
    if (bytes.empty()) std::abort();
  });
  Report("reset: list file reload", ms, floorMs, 500);
  std::printf("list file %.1f MB\n", static_cast<double>(std::filesystem::file_size(path)) / 1e6);
  std::filesystem::remove(path);
  return 0;
}
