// Reads the thirteen properties of many generated documents (hot cache, one
// thread) and compares the time with two baselines measured in the same run:
// Python with olefile reading the same properties, and the floor of opening
// each file and reading its first 64 KiB.
//
// Usage: bench_read [--documents N] [--dir EXISTING_FOLDER] [--only-fendrik PASSES]
// --only-fendrik runs just our reader PASSES times (for profiling it).

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "properties/FileProperties.h"
#include "properties/PropertyReader.h"
#include "properties/cfb/CompoundFile.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::vector<std::string> documentsBelow(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    auto ext = e.path().extension().string();
    for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".par" || ext == ".asm" || ext == ".psm" || ext == ".dft") out.push_back(e.path().string());
  }
  return out;
}

double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Opening each file and reading its first 64 KiB.
size_t readFloor(const std::vector<std::string>& files) {
  std::vector<char> buf(64 * 1024);
  size_t total = 0;
  for (const auto& f : files) {
    int fd = ::open(f.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    ssize_t n = ::pread(fd, buf.data(), buf.size(), 0);
    if (n > 0) total += static_cast<size_t>(n);
    ::close(fd);
  }
  return total;
}

struct OurRun {
  double seconds;
  uint64_t bytesRead;
  size_t nonEmptyTexts;
};

OurRun readProperties(fendrik::FileProperties& server, const std::vector<std::string>& files) {
  OurRun run{0, 0, 0};
  fendrik::PropertyTexts texts;
  auto start = Clock::now();
  for (const auto& f : files) {
    try {
      server.Open(f);
    } catch (const fendrik::StorageError&) {
    }
    fendrik::SEProperty(server, texts);
    if (server.file()) run.bytesRead += server.file()->bytesRead();
    server.Close();
    for (const auto& t : texts) run.nonEmptyTexts += !t.empty();
  }
  run.seconds = seconds(start);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  int documents = 10000;
  int onlyFendrikPasses = 0;
  fs::path dir;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--documents") documents = std::atoi(argv[i + 1]);
    else if (a == "--dir") dir = argv[i + 1];
    else if (a == "--only-fendrik") onlyFendrikPasses = std::atoi(argv[i + 1]);
  }
  bool generated = dir.empty();
  if (generated) {
    char pattern[] = "/tmp/fendrik-bench-read-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    dir = pattern;
    std::string cmd = std::string("/usr/bin/python3 '") + FENDRIK_SAMPLE_GENERATOR + "' --out '" + dir.string() +
                      "' --documents " + std::to_string(documents) + " --seed 1 --version mixed >/dev/null";
    if (std::system(cmd.c_str()) != 0) return 1;
  }
  auto files = documentsBelow(dir);
  std::printf("documents: %zu in %s\n", files.size(), dir.c_str());

  auto server = fendrik::FileProperties::Create();
  if (onlyFendrikPasses > 0) {
    for (int i = 0; i < onlyFendrikPasses; ++i) {
      OurRun run = readProperties(*server, files);
      std::printf("fendrik reader: %.1f us per document\n", 1e6 * run.seconds / files.size());
    }
    return 0;
  }
  readFloor(files);                  // warm the page cache
  readProperties(*server, files);    // and our own first-time costs

  auto floorStart = Clock::now();
  readFloor(files);
  double floorSeconds = seconds(floorStart);

  OurRun ours = readProperties(*server, files);
  for (int i = 0; i < 2; ++i) {  // best of three
    OurRun again = readProperties(*server, files);
    if (again.seconds < ours.seconds) ours = again;
  }

  auto pyStart = Clock::now();
  std::string py = std::string("/usr/bin/python3 '") + FENDRIK_PYTHON_BASELINE + "' '" + dir.string() + "' >/dev/null";
  int pyStatus = std::system(py.c_str());
  double pySeconds = seconds(pyStart);

  std::printf("fendrik reader:         %8.3f s  (%.1f us per document, %zu non-empty texts)\n", ours.seconds,
              1e6 * ours.seconds / files.size(), ours.nonEmptyTexts);
  std::printf("open + read 64 KiB:     %8.3f s\n", floorSeconds);
  std::printf("python3 + olefile:      %8.3f s%s\n", pySeconds, pyStatus == 0 ? "" : "  (FAILED)");
  std::printf("bytes read per document: %.0f (CompoundFile::bytesRead)\n",
              static_cast<double>(ours.bytesRead) / files.size());
  std::printf("ratio python / fendrik:  %.1f x  (target >= 50)\n", pySeconds / ours.seconds);
  std::printf("ratio fendrik / floor:   %.2f x  (target <= 3)\n", ours.seconds / floorSeconds);
  if (generated) fs::remove_all(dir);
  return 0;
}
