// libFuzzer target: opens the input as a compound file and reads every root
// stream (a stream's bytes seen in place must equal the bytes read), then
// reads the thirteen properties through the server. Only StorageError may come
// out of the reader; crashes, hangs and huge allocations are findings. The
// input goes into an in-memory file (memfd) so the reader runs exactly as on
// disk.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "properties/FileProperties.h"
#include "properties/PropertyReader.h"
#include "properties/StorageError.h"
#include "properties/cfb/CompoundFile.h"
#include "properties/platform/Files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int fd = ::memfd_create("fuzz_compound_file", MFD_CLOEXEC);
  if (fd < 0 || ::ftruncate(fd, 0) != 0) return 0;
  if (size > 0 && ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return 0;
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  try {
    auto file = fendrik::cfb::CompoundFile::open(fendrik::platform::FsPath(path));
    for (uint32_t id : file->rootChildren()) {
      const auto& entry = file->entry(id);
      if (entry.type != fendrik::cfb::kTypeStream) continue;
      auto bytes = file->readStream(id, 1u << 24);
      const size_t head = std::min<size_t>(bytes.size(), 4096);
      if (const uint8_t* view = file->streamView(id, head); view && !std::equal(view, view + head, bytes.begin()))
        std::abort();
    }
    file->findRootChild(u"\005SummaryInformation");
  } catch (const fendrik::StorageError&) {
  }
  static auto server = fendrik::FileProperties::Create();
  fendrik::PropertyTexts texts;
  try {
    server->Open(path);
  } catch (const fendrik::StorageError&) {
  }
  fendrik::SEProperty(*server, texts);
  server->Close();
  return 0;
}
