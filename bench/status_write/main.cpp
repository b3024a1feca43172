// Status-change writing: documents per second and bytes written per document
// for replaceRootStreams, against copying each whole file, in one run; with
// "memory", the peak memory of a status write on a document extended sparse
// to 100 GB against the same document as it is.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "CompoundFileBuilder.h"
#include "properties/FileProperties.h"
#include "properties/StatusChange.h"
#include "properties/cfb/Container.h"
#include "properties/cfb/RootStreamWriter.h"
#include "properties/cfb/StructureProof.h"
#include "properties/cfb/WriteHooksForTests.h"
#include "properties/platform/Files.h"

namespace {

using namespace fendrik::cfb;
using Clock = std::chrono::steady_clock;

struct CountingHooks : WriteHooks {
  uint64_t bytes = 0;
  uint64_t syncs = 0;
  fendrik::platform::SystemError beforeWrite(uint64_t, std::span<const uint8_t> written) override {
    bytes += written.size();
    return {};
  }
  fendrik::platform::SystemError aroundSync(const std::function<fendrik::platform::SystemError()>& flush) override {
    ++syncs;
    return flush();
  }
};

std::vector<uint8_t> filled(size_t size, uint8_t seed) {
  std::vector<uint8_t> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>(i * 7 + seed);
  return v;
}

// Whole-file copy with fsync: what rewriting the document would cost.
uint64_t copyWhole(const std::filesystem::path& from, const std::filesystem::path& to) {
  int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  std::vector<char> buffer(1 << 20);
  uint64_t total = 0;
  for (ssize_t n; (n = ::read(in, buffer.data(), buffer.size())) > 0;) {
    if (::write(out, buffer.data(), static_cast<size_t>(n)) != n) std::abort();
    total += static_cast<uint64_t>(n);
  }
  ::fsync(out);
  ::close(in);
  ::close(out);
  return total;
}

// Peak resident memory (KiB) of a child process that runs `action`; -1 when
// the action failed.
long peakOfChild(const std::function<void()>& action) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    try {
      action();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      ::_exit(1);
    }
    ::_exit(0);
  }
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss : -1;
}

// The status write (WriteDocumentStatus) on `document` and on a copy extended
// sparse to 100 GB, each in a child of its own (the baseline: a child that
// only starts).
int memoryBenchmark(const std::filesystem::path& dir, const std::filesystem::path& document) {
  const auto normal = dir / "normal.par", extended = dir / "extended.par";
  std::filesystem::copy_file(document, normal);
  std::filesystem::copy_file(document, extended);
  for (const auto& p : {normal, extended})
    std::filesystem::permissions(p, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
  if (::truncate(extended.c_str(), off_t{100} << 30) != 0) {
    std::printf("the temporary folder takes no file of 100 GB\n");
    return 1;
  }
  auto statusWrite = [](const std::filesystem::path& path) {
    return peakOfChild([&] {
      auto server = fendrik::FileProperties::Create();
      fendrik::WriteDocumentStatus(*server, path.string(), 3);
    });
  };
  const long idle = peakOfChild([] {});
  const long normalPeak = statusWrite(normal);
  const long extendedPeak = statusWrite(extended);
  if (normalPeak < 0 || extendedPeak < 0) {
    std::printf("a status write failed\n");
    return 1;
  }
  std::printf("document: %s (%ju bytes)\n", document.c_str(),
              static_cast<uintmax_t>(std::filesystem::file_size(document)));
  std::printf("peak memory of a status write: %ld KiB as it is, %ld KiB extended to 100 GB "
              "(a child that only starts: %ld KiB)\n",
              normalPeak, extendedPeak, idle);
  std::printf("ratio: %.2fx the memory when extended to 100 GB\n", double(extendedPeak) / double(normalPeak));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "memory") {
    std::string pattern = (std::filesystem::temp_directory_path() / "fendrik-bench-memory-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return 1;
    const int rc = memoryBenchmark(pattern, argv[2]);
    std::filesystem::remove_all(pattern);
    return rc;
  }
  const int documents = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int baselineDocuments = std::min(documents, argc > 2 ? std::atoi(argv[2]) : 100);
  std::string pattern = (std::filesystem::temp_directory_path() / "fendrik-bench-status-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return 1;
  const std::filesystem::path dir = pattern;

  const std::u16string esiName = u"\005C3teagxwOttdbfkuIaamtae3Ie";
  const std::u16string siName = u"\005SummaryInformation";
  auto esi = filled(45300, 1);
  auto si = filled(420, 2);
  auto built = testing::buildCompoundFile({{siName, si},
                                           {u"\005DocumentSummaryInformation", filled(352, 3)},
                                           {u"\005Rfunnyd1AvtdbfkuIaamtae3Ie", filled(264, 4)},
                                           {esiName, esi},
                                           {u"JVisibleData", filled(512, 5)},
                                           {u"PSMcluster0", std::vector<uint8_t>(5u << 20, 0)}},
                                          3);
  std::vector<std::filesystem::path> paths;
  for (int i = 0; i < documents; ++i) {
    paths.push_back(dir / ("doc" + std::to_string(i) + ".par"));
    testing::writeSparse(built.image, paths.back());
  }

  // The change a status change produces: Status byte, Username appended, Security.
  auto newEsi = esi;
  newEsi[48] = 3;
  const char16_t username[] = u"Vodra";
  for (char16_t c : username) {
    newEsi.push_back(static_cast<uint8_t>(c));
    newEsi.push_back(static_cast<uint8_t>(c >> 8));
  }
  newEsi.resize(newEsi.size() + 12, 0);
  auto newSi = si;
  newSi[200] = 4;
  std::vector<StreamReplacement> changes = {{esiName, newEsi}, {siName, newSi}};

  CountingHooks hooks;
  ScopedWriteHooks installed(hooks);
  auto start = Clock::now();
  for (const auto& p : paths) replaceRootStreams(p, changes);
  const double writerSeconds = std::chrono::duration<double>(Clock::now() - start).count();

  uint64_t copied = 0;
  start = Clock::now();
  for (int i = 0; i < baselineDocuments; ++i) {
    copied += copyWhole(paths[static_cast<size_t>(i)], dir / "copy.tmp");
    std::filesystem::remove(dir / "copy.tmp");
  }
  const double copySeconds = std::chrono::duration<double>(Clock::now() - start).count();

  const double writerRate = documents / writerSeconds;
  const double copyRate = baselineDocuments / copySeconds;
  std::printf("documents: %d of %zu bytes (sparse), baseline on %d\n", documents, built.image.size(), baselineDocuments);
  std::printf("status write: %.1f documents/s, %.0f bytes written and %.1f fsyncs per document\n", writerRate,
              double(hooks.bytes) / documents, double(hooks.syncs) / documents);
  std::printf("whole-file copy (baseline): %.1f documents/s, %.0f bytes written per document\n", copyRate,
              double(copied) / baselineDocuments);
  std::printf("ratio: %.1fx documents/s, %.0fx fewer bytes written\n", writerRate / copyRate,
              (double(copied) / baselineDocuments) / (double(hooks.bytes) / documents));

  // One large document (version 3, 512-byte sectors: 1.6 MB of FAT): the
  // writer's structure proof against the whole status write.
  if (argc > 3 && std::atoi(argv[3]) > 0) {
    const uint64_t megabytes = static_cast<uint64_t>(std::atoi(argv[3]));
    auto large = testing::buildCompoundFile(
        {{siName, si}, {esiName, esi}, {u"PSMcluster0", std::vector<uint8_t>(megabytes << 20, 0)}}, 3);
    const auto path = dir / "large.par";
    testing::writeSparse(large.image, path);
    large.image = {};
    double proofSeconds = 0;
    {
      fendrik::platform::File file;
      if (file.open(path.string(), fendrik::platform::File::Mode::read)) std::abort();
      fendrik::cfb::detail::Container container(file, std::filesystem::file_size(path));
      start = Clock::now();
      fendrik::cfb::detail::proveStructure(container);
      proofSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    }
    start = Clock::now();
    replaceRootStreams(path, changes);
    const double writeSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("large document of %llu MiB: structure proof %.1f ms, whole status write %.1f ms (proof %.0f%%)\n",
                static_cast<unsigned long long>(megabytes), proofSeconds * 1e3, writeSeconds * 1e3,
                100 * proofSeconds / writeSeconds);
  }
  std::filesystem::remove_all(dir);
  return 0;
}
