// The status change over a folder of documents, as the window runs it
// (WriteStatusOfDocuments): documents per second with the default number of
// workers against one document at a time, measured in the same run on the
// same folder (on a slow share: see run.sh).
//
// Usage: bench_status_share FOLDER [one-at-a-time documents] [workers]
// Every document below FOLDER is written with the default; the first N
// (default 200) once more one at a time, with another status.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "properties/StatusRun.h"

using namespace fendrik;
using Clock = std::chrono::steady_clock;

namespace {
struct Run {
  double seconds = 0;
  size_t written = 0;
  size_t tried = 0;
};

Run Write(const std::vector<std::string>& paths, int16_t code, unsigned workers) {
  const auto start = Clock::now();
  StatusRunSummary summary = WriteStatusOfDocuments(paths, code, workers, {}, {});
  return {std::chrono::duration<double>(Clock::now() - start).count(), summary.written, summary.tried};
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FOLDER [one-at-a-time documents]\n", argv[0]);
    return 2;
  }
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[1])) {
    std::string ext = entry.path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (entry.is_regular_file() && (ext == ".par" || ext == ".asm" || ext == ".psm" || ext == ".dft"))
      paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  const size_t baselineCount = std::min<size_t>(paths.size(), argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 200);
  const std::vector<std::string> baselinePaths(paths.begin(), paths.begin() + static_cast<std::ptrdiff_t>(baselineCount));

  const unsigned workers = argc > 3 ? static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)) : kDefaultStatusWorkers;
  const Run many = Write(paths, 3, workers);
  const Run one = Write(baselinePaths, 1, 1);
  const double manyRate = static_cast<double>(many.tried) / many.seconds;
  const double oneRate = static_cast<double>(one.tried) / one.seconds;
  std::printf("%s (%u workers): %zu documents (%zu written) in %.2f s = %.0f documents/s\n",
              workers == kDefaultStatusWorkers ? "default" : "chosen", workers, many.tried, many.written, many.seconds, manyRate);
  std::printf("one at a time:        %zu documents (%zu written) in %.2f s = %.1f documents/s\n", one.tried,
              one.written, one.seconds, oneRate);
  std::printf("speed-up %.1fx; target at least 300 documents/s: %s\n", manyRate / oneRate,
              manyRate >= 300 ? "met" : "MISSED");
  return many.written == many.tried && one.written == one.tried ? 0 : 1;
}
