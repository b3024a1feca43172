#pragma once

// Real documents for tests: the sample folder, private copies in a temporary
// folder, byte patches inside a copy's streams, and the independent reader.

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "TestCommon.h"

namespace fendrik::test {

using TempDir = TempFolder;

// Overwrites bytes of a stream inside a compound file in place: finds the
// 64-byte piece of the stream that holds `offset` in the file (a mini sector
// or a part of a sector, stored contiguously) and patches it there. The piece
// must occur once in the file.
void patchStream(const std::filesystem::path& file, const std::u16string& stream, uint64_t offset,
                 const std::vector<uint8_t>& bytes);

// The thirteen texts of each file as the independent reader reads them.
std::map<std::string, std::array<std::string, 13>> referenceTexts(const std::vector<std::filesystem::path>& files);


// The number of the StorageError an action throws (0 when it throws none; 1
// when the error comes without a description, which no test expects).
int32_t errorOf(const std::function<void()>& action);

}  // namespace fendrik::test
