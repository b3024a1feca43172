#pragma once

#include <cstdint>
#include <string>

namespace fendrik {

class FileProperties;

// The user name the status change writes beside the status.
inline constexpr const char* kStatusUserName = "Vodra";

// Writes a document status into one document: Open, "Status" of
// "ExtendedSummaryInformation" set to the code, "Username" of the same set
// (fetched again) set to "Vodra", Save, Close. The server closes the document
// also when a step fails; the error is passed on.
void WriteDocumentStatus(FileProperties& server, const std::string& path, int16_t code);

}  // namespace fendrik
