#pragma once

// Shared pieces of the writer tests: a status-change-shaped set of stream
// replacements and a check that a file reads entirely old or entirely new.

#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "properties/cfb/RootStreamWriter.h"

namespace fendrik::cfb::testing {

inline const std::u16string kExtendedSummary = u"\005C3teagxwOttdbfkuIaamtae3Ie";
inline const std::u16string kSummary = u"\005SummaryInformation";

// Like a status change: ExtendedSummaryInformation gets one changed byte near
// its start (Status) and grows at its end (Username); SummaryInformation gets
// one changed byte (Security) and keeps its size.
std::vector<StreamReplacement> statusLikeChange(const StreamMap& before, size_t growBy = 24);

// Which state the file shows: "old", "new", or a description of the fault.
// Streams not named in `changes` must equal `before`. Reads with our reader
// and with olefile.
std::string fileState(const std::filesystem::path& path, const StreamMap& before,
                      const std::vector<StreamReplacement>& changes);

// `before` with `changes` applied (names compared as stored).
StreamMap applied(const StreamMap& before, const std::vector<StreamReplacement>& changes);

}  // namespace fendrik::cfb::testing
