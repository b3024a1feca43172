#pragma once

// Helpers shared by the compound-file tests: file bytes, generated and real
// documents, the root streams of a file as our reader and as olefile read
// them, and a status-change-shaped set of stream replacements.

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "CompoundFileBuilder.h"
#include "TestCommon.h"
#include "properties/cfb/RootStreamWriter.h"

namespace fendrik::cfb::testing {

// Keys are the names as stored (some files spell upper-case names otherwise).
using StreamMap = std::map<std::u16string, std::vector<uint8_t>>;
using TempDir = fendrik::test::TempFolder;
using fendrik::test::realSamples;

inline const std::u16string kExtendedSummary = u"\005C3teagxwOttdbfkuIaamtae3Ie";
inline const std::u16string kSummary = u"\005SummaryInformation";

std::vector<uint8_t> readFileBytes(const std::filesystem::path& path);
// Bytes that differ from stream to stream and from offset to offset.
std::vector<uint8_t> pattern(size_t size, uint32_t seed);
// A generated document with both property streams, `extra` streams beside them.
std::filesystem::path makeDocument(const TempDir& dir, const std::string& name, int version = 3,
                                   std::vector<BuildStream> extra = {});
// The real sample folder/name; a failure and an empty path when it is missing.
std::filesystem::path realSample(const std::string& folder, const std::string& name);

// Root streams read with our reader (throws StorageError) and with olefile
// (nullopt for a file olefile cannot read); olefile reads many files in one run.
StreamMap rootStreams(const std::filesystem::path& path);
std::vector<std::optional<StreamMap>> olefileRootStreams(const std::vector<std::filesystem::path>& paths);

// Like a status change: ExtendedSummaryInformation gets one changed byte near
// its start (Status) and grows at its end (Username); SummaryInformation gets
// one changed byte (Security) and keeps its size.
std::vector<StreamReplacement> statusLikeChange(const StreamMap& before, size_t growBy = 24);
// `before` with `changes` applied (names compared as stored).
StreamMap applied(const StreamMap& before, const std::vector<StreamReplacement>& changes);
// Whether our reader (throws StorageError) and olefile both read `expected`.
bool readsAs(const std::filesystem::path& path, const StreamMap& expected);

// The StorageError `action` throws: its number (0 for none) and text.
struct Failure {
  int32_t number = 0;
  std::string text;
};
Failure failureOf(const std::function<void()>& action);

}  // namespace fendrik::cfb::testing
