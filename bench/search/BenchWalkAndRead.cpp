// The search over one folder tree, two ways, in the same run, alternating:
//   walk, then read: ScanFolders for the whole tree, then FillResultRows with
//                    the default readers (how a search ran before the
//                    reading threads listed the folders themselves);
//   walk and read:   RunSearch with the default jobs (the threads list the
//                    folders and read each document once it has its place).
// Both must give the same rows. Prints the median of each and the ratio
// (target on a local disk: at most 1.0). On a share each run should start
// once the client has forgotten the names it looked up: --pause-ms.
//
//   bench_walk_and_read FOLDER [--rounds N] [--pause-ms P] [--only 0|1]
// (--only 0 or 1 runs one way alone, for a profiler.)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "resultlist/ListFileLine.h"
#include "search/FolderScan.h"
#include "search/ListFilling.h"
#include "search/SearchRun.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Lines(const fendrik::ResultRows& rows) {
  std::string out;
  for (size_t row = 0; row < rows.size(); ++row) fendrik::AppendListFileLine(out, rows, row);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_walk_and_read FOLDER [--rounds N] [--pause-ms P]\n");
    return 2;
  }
  const std::string folder = argv[1];
  int rounds = 3;
  int pauseMs = 0;
  int only = -1;
  for (int k = 2; k + 1 < argc; k += 2) {
    const std::string option = argv[k];
    if (option == "--rounds") rounds = std::max(1, std::atoi(argv[k + 1]));
    if (option == "--pause-ms") pauseMs = std::max(0, std::atoi(argv[k + 1]));
    if (option == "--only") only = std::atoi(argv[k + 1]);
  }
  const fendrik::TypeSelection all = fendrik::TypeSelection().set();
  std::vector<double> before, now;
  std::string linesBefore, linesNow;
  for (int round = 0; round < rounds; ++round) {
    for (int way = 0; way < 2; ++way) {
      if (only >= 0 && way != only) continue;
      std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
      fendrik::ScanList scan;
      fendrik::ResultRows rows;
      const auto start = Clock::now();
      if (way == 0) {
        fendrik::ScanFolders(folder, all, true, scan);
        fendrik::FillResultRows(scan, {}, rows);
      } else {
        fendrik::RunSearch({folder, all, true, false, 0}, scan, rows);
      }
      const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      (way == 0 ? before : now).push_back(ms);
      (way == 0 ? linesBefore : linesNow) = Lines(rows);
      std::printf("round %d, %s: %.0f ms, %zu rows\n", round + 1, way == 0 ? "walk, then read" : "walk and read", ms,
                  rows.size());
    }
  }
  if (only >= 0) return 0;
  if (linesBefore != linesNow) {
    std::printf("the two ways gave different rows\n");
    return 1;
  }
  std::sort(before.begin(), before.end());
  std::sort(now.begin(), now.end());
  const double a = before[before.size() / 2], b = now[now.size() / 2];
  std::printf("walk, then read (median): %.0f ms\nwalk and read (median):   %.0f ms\nratio: %.2f\n", a, b, b / a);
  return 0;
}
