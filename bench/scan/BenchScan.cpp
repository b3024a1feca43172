// Times the folder scan (one walk for all four document types) against
// `find` with the same four name patterns and against a plain
// std::filesystem::recursive_directory_iterator walk that builds the same
// entries, over the same tree, hot cache, several rounds, and prints the
// medians and their ratios. With --cli it also times the complete
// `fendrik-cli scan`, which opens every found document.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "search/FolderScan.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Options {
  std::string dir;
  std::string cli;
  long entries = 120000;
  int rounds = 7;
};

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// A tree of nested folders holding documents of all four types in mixed case,
// look-alikes and other files; returns the number of entries made.
long BuildTree(const fs::path& root, long wanted) {
  static const char* const kNames[] = {"welle.par", "GEHAEUSE.ASM", "blech.psm", "zeichnung.dft", "notiz.txt",
                                       "teil.PAR.bak", "baugruppe.asm", "deckel.Psm", "x.cfg", "ansicht.DFT",
                                       "hinweis.pdf", "lager.par"};
  long made = 0;
  std::vector<fs::path> folders{root};
  fs::create_directories(root);
  for (size_t next = 0; made < wanted; ++next) {
    const fs::path folder = folders[next % folders.size()];
    // Every folder gets three subfolders (up to a few levels) and 30 files.
    if (folders.size() < static_cast<size_t>(wanted / 30)) {
      for (int k = 0; k < 3; ++k) {
        fs::path sub = folder / ("ordner" + std::to_string(folders.size()));
        fs::create_directory(sub);
        folders.push_back(sub);
        ++made;
      }
    }
    for (int k = 0; k < 30 && made < wanted; ++k) {
      std::ofstream(folder / (std::to_string(next) + "_" + std::to_string(k) + "_" + kNames[k % 12]));
      ++made;
    }
  }
  return made;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double TimeCommand(const std::string& command) {
  auto start = Clock::now();
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The baseline walk: the standard library's recursive iterator, which holds
// one open folder per level, with the same name test and the same entries.
double TimeIterator(const std::string& dir, size_t& found) {
  auto start = Clock::now();
  fendrik::ScanList list;
  std::error_code error;
  for (fs::recursive_directory_iterator it(dir, fs::directory_options::follow_directory_symlink, error), end;
       it != end; it.increment(error)) {
    if (it->is_directory(error)) continue;
    const std::string& path = it->path().native();
    if (path.size() < 3) continue;
    std::string tail = path.substr(path.size() - 3);
    for (char& c : tail) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (int k = 0; k < fendrik::kDocumentTypeCount; ++k)
      if (tail == fendrik::kTypePatterns[k]) list.push_back(fendrik::kFileEntryIndent + path);
  }
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  found = list.size();
  return ms;
}

double TimeScan(const std::string& dir, size_t& found) {
  auto start = Clock::now();
  fendrik::ScanList list;
  fendrik::ScanFolders(dir, fendrik::TypeSelection().set(), true, list);
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  found = list.size();
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--dir" && i + 1 < argc) options.dir = argv[++i];
    else if (arg == "--cli" && i + 1 < argc) options.cli = argv[++i];
    else if (arg == "--entries" && i + 1 < argc) options.entries = std::atol(argv[++i]);
    else if (arg == "--rounds" && i + 1 < argc) options.rounds = std::max(1, std::atoi(argv[++i]));
    else {
      std::fprintf(stderr, "usage: bench_scan [--dir DIR] [--entries N] [--rounds R] [--cli PATH-TO-fendrik-cli]\n");
      return 2;
    }
  }
  bool ownTree = options.dir.empty();
  if (ownTree) {
    std::string pattern = (fs::temp_directory_path() / "fendrik-bench-scan-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return 1;
    options.dir = pattern;
    long made = BuildTree(fs::path(options.dir) / "tree", options.entries);
    options.dir += "/tree";
    std::printf("tree: %s, %ld entries\n", options.dir.c_str(), made);
  }

  std::string find = "find " + Quoted(options.dir) +
                     " -type f \\( -iname '*.par' -o -iname '*.asm' -o -iname '*.psm' -o -iname '*.dft' \\)";
  std::string findCount = find + " | wc -l";
  std::printf("find reports: ");
  std::fflush(stdout);
  (void)std::system(findCount.c_str());

  // One untimed round of each fills the caches.
  size_t found = 0, iterated = 0;
  TimeCommand(find + " > /dev/null");
  TimeScan(options.dir, found);
  TimeIterator(options.dir, iterated);
  std::vector<double> findTimes, scanTimes, iteratorTimes;
  for (int round = 0; round < options.rounds; ++round) {
    findTimes.push_back(TimeCommand(find + " > /dev/null"));
    scanTimes.push_back(TimeScan(options.dir, found));
    iteratorTimes.push_back(TimeIterator(options.dir, iterated));
  }
  double findMs = Median(findTimes), scanMs = Median(scanTimes), iteratorMs = Median(iteratorTimes);
  std::printf("scan entries: %zu   recursive_directory_iterator entries: %zu\n", found, iterated);
  std::printf("find median: %.1f ms   ScanFolders (all four types) median: %.1f ms   "
              "recursive_directory_iterator median: %.1f ms   (%d rounds)\n",
              findMs, scanMs, iteratorMs, options.rounds);
  std::printf("ratio scan/find: %.2f (target <= 1.50) %s\n", scanMs / findMs, scanMs / findMs <= 1.5 ? "OK" : "OVER");
  // The walk holds one folder open and opens each by its full path; the
  // iterator holds one open folder per level. The first must not cost more.
  std::printf("ratio scan/recursive_directory_iterator: %.2f (target <= 1.00) %s\n", scanMs / iteratorMs,
              scanMs / iteratorMs <= 1.0 ? "OK" : "OVER");

  if (!options.cli.empty()) {
    std::string command = Quoted(options.cli) + " scan " + Quoted(options.dir) + " > /dev/null";
    std::vector<double> cliTimes;
    for (int round = 0; round < std::min(options.rounds, 3); ++round) cliTimes.push_back(TimeCommand(command));
    std::printf("fendrik-cli scan (opens every document) median: %.1f ms, %.1f x find\n", Median(cliTimes),
                Median(cliTimes) / findMs);
  }
  if (ownTree) fs::remove_all(fs::path(options.dir).parent_path());
  return 0;
}
