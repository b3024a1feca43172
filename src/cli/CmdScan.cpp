#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "cli/Commands.h"
#include "cli/Output.h"
#include "properties/platform/Files.h"
#include "properties/VisibleText.h"
#include "resultlist/ExportTable.h"
#include "resultlist/ListFileLine.h"
#include "search/SearchRun.h"

namespace fendrik::cli {
namespace {

// "par,asm" and the like; false on an empty or unknown type name.
bool ParseTypes(std::string_view list, TypeSelection& types) {
  types.reset();
  size_t start = 0;
  while (true) {
    size_t comma = list.find(',', start);
    std::string_view name = list.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
    auto type = ParseDocumentType(name);
    if (!type) return false;
    types.set(static_cast<size_t>(*type));
    if (comma == std::string_view::npos) return true;
    start = comma + 1;
  }
}

enum class Format { tsv, csv, json };

bool ParseFormat(const std::string& text, Format& format) {
  if (text == "tsv") format = Format::tsv;
  else if (text == "csv") format = Format::csv;
  else if (text == "json") format = Format::json;
  else return false;
  return true;
}

void WriteRows(const ResultRows& rows, Format format, Output& out) {
  if (format == Format::csv) AppendCsvHeader(out.text());
  if (format == Format::json) AppendJsonStart(out.text());
  for (size_t row = 0; row < rows.size() && !out.failed(); ++row) {
    switch (format) {
      case Format::tsv:
        AppendListFileLine(out.text(), rows, row);
        break;
      case Format::csv:
        AppendCsvRecord(out.text(), rows, row);
        break;
      case Format::json:
        AppendJsonRow(out.text(), rows, row, row == 0);
        break;
    }
    out.flushIfLarge();
  }
  if (format == Format::json) AppendJsonEnd(out.text());
}

}  // namespace

// fendrik-cli scan FOLDER [--types par,asm,psm,dft] [--no-subfolders] [--sorted] [--jobs N]
//                         [--format tsv|csv|json]
// Does what a search does and writes each row as a list-file line (tsv), a
// CSV record or a JSON object (resultlist/ExportTable.h); each
// folder and each document that could not be read gets a line on standard
// error. A folder below the start folder that could not be read makes the
// search incomplete: the rows found are written and the exit status is
// kExitFailed. A missing start folder is an empty search: its line, no rows,
// exit status 0.
int runScan(const std::vector<std::string>& args) {
  SearchRequest request;
  request.types.set();
  bool haveFolder = false;
  Format format = Format::tsv;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--types") {
      if (i + 1 >= args.size()) return usageError("scan: --types needs a list of types");
      if (!ParseTypes(args[++i], request.types)) return usageError("scan: unknown document type in: " + args[i]);
    } else if (arg == "--no-subfolders") {
      request.includeSubfolders = false;
    } else if (arg == "--sorted") {
      request.sortedByName = true;
    } else if (arg == "--jobs") {
      if (i + 1 >= args.size() || !ParseJobs(args[i + 1], request.jobs))
        return usageError("scan: --jobs needs a number from 1 to " + std::to_string(kMaxJobs));
      ++i;
    } else if (arg == "--format") {
      if (i + 1 >= args.size() || !ParseFormat(args[i + 1], format))
        return usageError("scan: --format needs tsv, csv or json");
      ++i;
    } else if (arg.starts_with("--")) {
      return usageError("scan: unknown option: " + arg);
    } else if (haveFolder) {
      return usageError("scan: only one folder: " + arg);
    } else {
      request.folder = arg;
      haveFolder = true;
    }
  }
  if (!haveFolder) return usageError("scan: the folder is missing");

  bool incomplete = false;
  Output out("scan");
  try {
    ScanList scan;
    ResultRows rows;
    SearchHooks hooks;
    // Paths and the texts that hold them are made visible, so that a file
    // name cannot steer the terminal.
    hooks.failed = [](const DocumentFailure& failure) {
      std::fprintf(stderr, "fendrik-cli: scan: %s: %d / %s\n", VisibleText(failure.path).c_str(), failure.number,
                   VisibleText(failure.description).c_str());
    };
    hooks.folderError = [&](const std::string& folder, platform::SystemError error) {
      std::fprintf(stderr, "fendrik-cli: scan: %s: %d / %s\n", VisibleText(folder).c_str(), error.code,
                   platform::ErrorText(error).c_str());
      incomplete = incomplete || LeavesSearchIncomplete(request, {folder, error});
    };
    RunSearch(request, scan, rows, hooks);
    WriteRows(rows, format, out);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "fendrik-cli: scan: %s\n", VisibleText(error.what()).c_str());
    return kExitFailed;
  }
  return out.finish() && !incomplete ? kExitOk : kExitFailed;
}

}  // namespace fendrik::cli
