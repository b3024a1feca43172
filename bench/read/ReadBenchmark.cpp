// Reads many documents (hot cache, one thread) and compares the time (the
// thread's CPU time, see CpuClock) with
// baselines measured in the same run: the floor of opening each file and
// reading its first 64 KiB, and Python with olefile reading the same
// properties. Two of our passes are timed: the property reader alone (Open,
// the thirteen reads, Close) and the whole row a search makes of a document
// (ReadDocumentRow: file facts, properties and their texts). The system calls
// per document of the row pass and of the floor are counted too.
//
// Usage: bench_read [--documents N] [--dir EXISTING_FOLDER] [--only-fendrik PASSES] [--only-rows PASSES]
// --only-fendrik / --only-rows run just our reader / the row pass PASSES times (for profiling).
// --count-pass rows|floor (internal): one pass between two markers, run under strace.

#include <fcntl.h>
#include <linux/perf_event.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "properties/FileProperties.h"
#include "properties/PropertyReader.h"
#include "properties/cfb/CompoundFile.h"
#include "search/DocumentRow.h"
#include "search/ScanList.h"

namespace fs = std::filesystem;

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

// The time this thread has run, in the kernel and out of it: on a hot cache
// nothing waits for the disk, so this is the time a quiet machine would take,
// also while other programs keep the machine's cores busy.
struct CpuClock {
  using time_point = double;
  static double now() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
  }
};

using Clock = CpuClock;

double childCpuSeconds() {
  rusage use{};
  ::getrusage(RUSAGE_CHILDREN, &use);
  auto secondsOf = [](const timeval& t) { return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec); };
  return secondsOf(use.ru_utime) + secondsOf(use.ru_stime);
}

double seconds(Clock::time_point since) { return Clock::now() - since; }

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

// The rows a search makes of the documents, entries as the folder scan gives
// them; gives the number of non-empty texts.
size_t rowPass(fendrik::FileProperties& server, const std::vector<std::string>& entries) {
  size_t nonEmpty = 0;
  fendrik::ReadResult result;
  const fendrik::FactFormats formats;  // as a reading thread of a search makes them
  for (const auto& entry : entries) {
    fendrik::ReadDocumentRow(entry, server, formats, result);
    for (const auto& t : result.texts) nonEmpty += !t.empty();
  }
  return nonEmpty;
}

OurRun readRows(fendrik::FileProperties& server, const std::vector<std::string>& entries) {
  OurRun run{0, 0, 0};
  auto start = Clock::now();
  run.nonEmptyTexts = rowPass(server, entries);
  run.seconds = seconds(start);
  return run;
}

// System calls of this thread while `pass` runs, through the kernel's
// raw_syscalls:sys_enter tracepoint; nothing (and why) where it cannot be used.
std::optional<uint64_t> countWithTracepoint(const std::function<void()>& pass, std::string& why) {
  std::ifstream idFile("/sys/kernel/tracing/events/raw_syscalls/sys_enter/id");
  if (!idFile) idFile.open("/sys/kernel/debug/tracing/events/raw_syscalls/sys_enter/id");
  uint64_t id = 0;
  if (!(idFile >> id)) {
    why = "tracefs not mounted (no raw_syscalls/sys_enter/id)";
    return std::nullopt;
  }
  perf_event_attr attr{};
  attr.size = sizeof attr;
  attr.type = PERF_TYPE_TRACEPOINT;
  attr.config = id;
  attr.disabled = 1;
  const int fd = static_cast<int>(::syscall(SYS_perf_event_open, &attr, 0, -1, -1, 0));
  if (fd < 0) {
    why = std::string("perf_event_open: ") + std::strerror(errno);
    return std::nullopt;
  }
  ::ioctl(fd, PERF_EVENT_IOC_RESET, 0);
  ::ioctl(fd, PERF_EVENT_IOC_ENABLE, 0);
  pass();
  ::ioctl(fd, PERF_EVENT_IOC_DISABLE, 0);
  uint64_t count = 0;
  const bool ok = ::read(fd, &count, sizeof count) == static_cast<ssize_t>(sizeof count);
  ::close(fd);
  if (!ok) {
    why = "the tracepoint counter could not be read";
    return std::nullopt;
  }
  // The enabling ioctl returns inside the count, the disabling one enters it.
  return count > 0 ? count - 1 : 0;
}

constexpr char kBeginMark[] = "fendrik-count-begin";
constexpr char kEndMark[] = "fendrik-count-end";

// Runs this program once more under strace for one pass of `what`, and counts
// the system calls between the two marks it writes around the pass.
std::optional<uint64_t> countWithStrace(const std::string& what, const fs::path& dir, std::string& why) {
  if (std::system("strace -V >/dev/null 2>&1") != 0) {
    why += "; strace not found";
    return std::nullopt;
  }
  char pattern[] = "/tmp/fendrik-bench-strace-XXXXXX";
  const int fd = ::mkstemp(pattern);
  if (fd < 0) return std::nullopt;
  ::close(fd);
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const std::string cmd = "strace -f -qq -o '" + std::string(pattern) + "' '" + self + "' --count-pass " + what +
                          " --dir '" + dir.string() + "' >/dev/null 2>&1";
  const int status = std::system(cmd.c_str());
  std::ifstream in(pattern);
  std::string line;
  bool inside = false, ended = false;
  uint64_t count = 0;
  while (std::getline(in, line)) {
    if (line.find(kBeginMark) != std::string::npos) {
      inside = true;
    } else if (line.find(kEndMark) != std::string::npos) {
      ended = inside;
      break;
    } else if (inside && line.find("+++") == std::string::npos && line.find("---") == std::string::npos &&
               line.find("resumed>") == std::string::npos) {
      ++count;
    }
  }
  fs::remove(pattern);
  if (status != 0 || !ended) {
    why += "; the pass under strace failed";
    return std::nullopt;
  }
  return count;
}

std::string perDocument(const std::optional<uint64_t>& count, size_t documents, const std::string& why) {
  if (!count) return "n/a (" + why + ")";
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", static_cast<double>(*count) / static_cast<double>(documents));
  return text;
}

std::vector<std::string> entriesOf(const std::vector<std::string>& files) {
  std::vector<std::string> entries;
  for (const auto& f : files) entries.push_back(fendrik::kFileEntryIndent + f);
  return entries;
}

}  // namespace

int main(int argc, char** argv) {
  int documents = 10000;
  int onlyFendrikPasses = 0;
  int onlyRowPasses = 0;
  std::string countPass;
  fs::path dir;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--documents") documents = std::atoi(argv[i + 1]);
    else if (a == "--dir") dir = argv[i + 1];
    else if (a == "--only-fendrik") onlyFendrikPasses = std::atoi(argv[i + 1]);
    else if (a == "--only-rows") onlyRowPasses = std::atoi(argv[i + 1]);
    else if (a == "--count-pass") countPass = argv[i + 1];
  }
  // The window searches below an absolute folder; with a relative one each
  // row would also make its folder absolute (the search itself does not).
  if (!dir.empty()) dir = fs::absolute(dir).lexically_normal();
  if (!countPass.empty()) {
    // One warm pass, then the counted one between the marks strace sees.
    auto files = documentsBelow(dir);
    auto entries = entriesOf(files);
    auto server = fendrik::FileProperties::Create();
    auto pass = [&] {
      if (countPass == "floor") readFloor(files);
      else rowPass(*server, entries);
    };
    pass();
    [[maybe_unused]] auto begin = ::write(-1, kBeginMark, sizeof kBeginMark - 1);
    pass();
    [[maybe_unused]] auto end = ::write(-1, kEndMark, sizeof kEndMark - 1);
    return 0;
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
  auto entries = entriesOf(files);
  std::printf("documents: %zu in %s\n", files.size(), dir.c_str());

  auto server = fendrik::FileProperties::Create();
  if (onlyFendrikPasses > 0 || onlyRowPasses > 0) {
    for (int i = 0; i < onlyFendrikPasses; ++i) {
      OurRun run = readProperties(*server, files);
      std::printf("fendrik reader: %.1f us per document\n", 1e6 * run.seconds / files.size());
    }
    for (int i = 0; i < onlyRowPasses; ++i) {
      OurRun run = readRows(*server, entries);
      std::printf("rows: %.1f us per document\n", 1e6 * run.seconds / files.size());
    }
    return 0;
  }
  readFloor(files);                  // warm the page cache
  readProperties(*server, files);    // and our own first-time costs
  readRows(*server, entries);

  // Each figure is the best of fifteen rounds, the passes taking turns so
  // that a busy moment of the machine does not hit one of them only; a small
  // folder is read several times per round, so that a round takes a while.
  const int repeats = std::max<int>(1, static_cast<int>(1000 / std::max<size_t>(files.size(), 1)));
  double floorSeconds = 1e99;
  OurRun ours{1e99, 0, 0}, rows{1e99, 0, 0};
  auto repeated = [&](auto pass) {
    OurRun total = pass();
    for (int k = 1; k < repeats; ++k) total.seconds += pass().seconds;
    total.seconds /= repeats;
    return total;
  };
  for (int i = 0; i < 15; ++i) {
    OurRun floorRun = repeated([&] {
      auto floorStart = Clock::now();
      readFloor(files);
      return OurRun{seconds(floorStart), 0, 0};
    });
    floorSeconds = std::min(floorSeconds, floorRun.seconds);
    OurRun again = repeated([&] { return readProperties(*server, files); });
    if (again.seconds < ours.seconds) ours = again;
    again = repeated([&] { return readRows(*server, entries); });
    if (again.seconds < rows.seconds) rows = again;
  }

  std::string rowWhy, floorWhy;
  std::optional<uint64_t> rowCalls = countWithTracepoint([&] { rowPass(*server, entries); }, rowWhy);
  std::optional<uint64_t> floorCalls = countWithTracepoint([&] { readFloor(files); }, floorWhy);
  std::string how = "perf tracepoint raw_syscalls:sys_enter";
  if (!rowCalls) {
    rowCalls = countWithStrace("rows", dir, rowWhy);
    floorCalls = countWithStrace("floor", dir, floorWhy);
    how = "strace, second run";
  }

  // Python's CPU time: that of the finished child processes.
  const double pyStart = childCpuSeconds();
  std::string py = std::string("/usr/bin/python3 '") + FENDRIK_PYTHON_BASELINE + "' '" + dir.string() + "' >/dev/null";
  int pyStatus = std::system(py.c_str());
  double pySeconds = childCpuSeconds() - pyStart;

  const double n = static_cast<double>(files.size());
  std::printf("fendrik reader:         %8.3f s  (%.1f us per document, %zu non-empty texts)\n", ours.seconds,
              1e6 * ours.seconds / n, ours.nonEmptyTexts);
  std::printf("whole rows:             %8.3f s  (%.1f us per document, %zu non-empty texts)\n", rows.seconds,
              1e6 * rows.seconds / n, rows.nonEmptyTexts);
  std::printf("open + read 64 KiB:     %8.3f s  (%.1f us per document)\n", floorSeconds, 1e6 * floorSeconds / n);
  std::printf("python3 + olefile:      %8.3f s%s\n", pySeconds, pyStatus == 0 ? "" : "  (FAILED)");
  std::printf("bytes read per document: %.0f (CompoundFile::bytesRead)\n", static_cast<double>(ours.bytesRead) / n);
  std::printf("system calls per document (%s): rows %s, floor %s\n", how.c_str(),
              perDocument(rowCalls, files.size(), rowWhy).c_str(),
              perDocument(floorCalls, files.size(), floorWhy).c_str());
  std::printf("ratio python / fendrik:  %.1f x  (target >= 50)\n", pySeconds / ours.seconds);
  std::printf("ratio fendrik / floor:   %.2f x  (target <= 3)\n", ours.seconds / floorSeconds);
  std::printf("ratio rows / floor:      %.2f x  (target <= 3)\n", rows.seconds / floorSeconds);
  if (generated) fs::remove_all(dir);
  return 0;
}
