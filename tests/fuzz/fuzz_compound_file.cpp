// libFuzzer target: opens the input as a compound file and reads every root
// stream. Only StorageError may come out; crashes, hangs and huge allocations
// are findings. The input goes into an in-memory file (memfd) so the reader
// runs exactly as on disk.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "properties/StorageError.h"
#include "properties/cfb/CompoundFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int fd = ::memfd_create("fuzz_compound_file", MFD_CLOEXEC);
  if (fd < 0 || ::ftruncate(fd, 0) != 0) return 0;
  if (size > 0 && ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  try {
    auto file = fendrik::cfb::CompoundFile::open("/proc/self/fd/" + std::to_string(fd));
    for (uint32_t id : file->rootChildren()) {
      const auto& entry = file->entry(id);
      if (entry.type == fendrik::cfb::kTypeStream) file->readStream(id, 1u << 24);
    }
    file->findRootChild(u"\005SummaryInformation");
  } catch (const fendrik::StorageError&) {
  }
  return 0;
}
