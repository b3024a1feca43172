#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "properties/FileProperties.h"
#include "resultlist/FileFacts.h"
#include "search/ListFilling.h"

namespace fendrik {

// The row of one document, or what kept it from being opened.
struct ReadResult {
  std::vector<std::string> texts;
  std::optional<DocumentFailure> failure;
};

// Reads the row of the document of one file entry through `server`, which
// is closed again afterwards; the texts of its time and size in `formats`
// (made once per reading thread).
void ReadDocumentRow(const std::string& entry, FileProperties& server, const FactFormats& formats, ReadResult& out);

// Appends a row that was read to `rows`, telling `failed` first when the
// document could not be opened; `result` is left empty.
void TakeDocumentRow(ReadResult& result, const std::function<void(const DocumentFailure&)>& failed, ResultRows& rows);

}  // namespace fendrik
