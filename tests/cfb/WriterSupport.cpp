#include "WriterSupport.h"

#include "properties/StorageError.h"
#include "properties/cfb/Names.h"

namespace fendrik::cfb::testing {
namespace {

const std::u16string* storedName(const StreamMap& map, const std::u16string& name) {
  for (const auto& [key, value] : map)
    if (compareNames(key, name) == 0) return &key;
  return nullptr;
}

}  // namespace

std::vector<StreamReplacement> statusLikeChange(const StreamMap& before, size_t growBy) {
  std::vector<StreamReplacement> changes;
  auto esi = before.at(*storedName(before, kExtendedSummary));
  esi[48] ^= 0x03;
  for (size_t i = 0; i < growBy; ++i) esi.push_back(static_cast<uint8_t>('V' + i % 5));
  auto si = before.at(*storedName(before, kSummary));
  si[si.size() / 2] ^= 0x04;
  changes.push_back({kExtendedSummary, esi});
  changes.push_back({kSummary, si});
  return changes;
}

StreamMap applied(const StreamMap& before, const std::vector<StreamReplacement>& changes) {
  StreamMap after = before;
  for (const auto& c : changes) after[*storedName(before, c.name)] = c.content;
  return after;
}

std::string fileState(const std::filesystem::path& path, const StreamMap& before,
                      const std::vector<StreamReplacement>& changes) {
  StreamMap ours;
  try {
    ours = rootStreams(path);
  } catch (const StorageError& e) {
    return std::string("our reader fails: ") + e.what();
  }
  auto reference = olefileRootStreams(path);
  if (!reference) return "olefile fails";
  if (ours != *reference) return "our reader and olefile disagree";
  if (ours == before) return "old";
  if (ours == applied(before, changes)) return "new";
  return "mixed contents";
}

}  // namespace fendrik::cfb::testing
