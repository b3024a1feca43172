#pragma once

// What several test areas share: the real sample documents and running a
// command line (the independent Python readers, the command-line program).
#include <QJsonObject>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "platform/HostShell.h"

namespace fendrik::test {

// Every document (PAR, ASM, PSM, DFT) below the real-sample folder, sorted.
std::vector<std::filesystem::path> realSamples();
// The whole content of a file as bytes in a string (empty when it cannot be read).
std::string readFile(const std::filesystem::path& path);
// Sets a file's length, sparse where the file system can; throws when the
// system refuses (MinGW's std::filesystem::resize_file stops at 2 GiB).
void resizeFile(const std::string& path, uint64_t size);
// `count` documents made by the sample generator in `folder` (with its options),
// sorted by path; its manifest.json stays beside them. Throws when the
// generator fails.
std::vector<std::string> generateDocuments(const std::filesystem::path& folder, int count, int seed,
                                           const std::string& options = {});

// A text as it shows inside a message or line with escapes: its backslashes
// (Windows' separators) escaped too.
std::string escapedBackslashes(const std::string& text);

// The text in single quotes for the shell.
std::string shellQuote(const std::string& text);
// Runs a command line through the shell; gives its exit status (-1 when it did
// not exit normally) and, when asked, its standard output.
int runCommand(const std::string& command, std::string* output = nullptr);

// The JSON a Python script prints for the files: the independent reader
// ({file: [13 texts]}) or olefile_status.py ({file: {field: value}}). Throws
// when the script fails.
QJsonObject runJson(const std::string& script, const std::vector<std::string>& files);
// What other programs read in an exported list (read_export.py): its rows,
// the header first, each cell as a text ("" when empty, a date as
// "YYYY-MM-DD HH:MM:SS") with its Python type ("str", "int", "datetime",
// "NoneType"); for a workbook also its sheets, the boldness of each header
// cell, the frozen cell, the filter's range and the column widths; for CSV
// whether it starts with a byte-order mark. `error` when it could not be read.
struct ExportView {
  std::vector<std::vector<std::string>> rows, types;
  std::vector<std::string> sheets;
  std::vector<bool> bold;
  std::string frozen, filter, error;
  std::vector<double> widths;
  bool bom = false;
};
ExportView readExport(const std::string& file);

// What olefile reads of the files (olefile_status.py), and one field of it.
QJsonObject olefileView(const std::vector<std::string>& files);
std::string field(const QJsonObject& view, const std::string& file, const char* name);
// "status username security" of a file as olefile reads it.
std::string statusSeen(const QJsonObject& view, const std::string& file);

}  // namespace fendrik::test
