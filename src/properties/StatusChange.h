#pragma once

#include <cstdint>
#include <string>

#include "properties/FileProperties.h"

namespace fendrik {

// The user name the status change writes beside the status.
inline constexpr const char* kStatusUserName = "Vodra";

// Writes a document status into one document: Open, "Status" of
// "ExtendedSummaryInformation" set to the code, "Security" of
// "SummaryInformation" set to match it (released, baselined and obsolete
// documents, codes 3 to 5, are read-only: 4; the others 0), "Username" of the
// extended set (fetched again) set to "Vodra", Save, Close. Returns only when
// the document holds the three values: Save returns only when the file, read
// back through the writer's handle, holds the streams it wrote
// (cfb::replaceRootStreams), and those streams, read with the server's
// reader, must give the three values; otherwise it throws (kCannotSave when
// the file was written but does not read back as asked).
// The server closes the document also when a step fails; the error is passed
// on. Passes on Save's warning (the status is in the file but may not have
// reached the disk).
SaveResult WriteDocumentStatus(FileProperties& server, const std::string& path, int16_t code);

}  // namespace fendrik
