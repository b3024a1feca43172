// fendrik-cli status CODE FILE...: writes a document status into each file.

#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "properties/StatusRun.h"
#include "properties/StorageError.h"
#include "properties/VisibleText.h"

namespace fendrik::cli {

int runStatus(const std::vector<std::string>& args) {
  if (args.size() < 2) return usageError("status: CODE and at least one FILE expected");
  const std::string& codeText = args[0];
  if (codeText.size() != 1 || codeText[0] < '0' || codeText[0] > '5')
    return usageError("status: CODE must be a whole number from 0 to 5: " + codeText);
  const auto code = static_cast<int16_t>(codeText[0] - '0');

  const std::vector<std::string> files(args.begin() + 1, args.end());
  // One document after another, each reported as it is done; a failure says
  // whether the document is as it was or may have been changed.
  // Paths and the texts that may hold them are made visible, so that a file
  // name cannot steer the terminal.
  auto report = [&](size_t index, const StatusOutcome& outcome) {
    const std::string file = VisibleText(files[index]);
    if (outcome.written && !outcome.warning.empty())
      std::fprintf(stderr, "fendrik-cli: %s: Warnung: %s\n", file.c_str(), VisibleText(outcome.warning).c_str());
    if (!outcome.written)
      std::fprintf(stderr, "fendrik-cli: %s: %d / %s (%s)\n", file.c_str(), outcome.number,
                   VisibleText(outcome.description).c_str(),
                   outcome.unchanged ? "unverändert" : "möglicherweise verändert");
  };
  try {
    const StatusRunSummary summary = WriteStatusOfDocuments(files, code, 1, {}, report);
    return summary.written == files.size() ? kExitOk : kExitFailed;
  } catch (const StorageError& e) {
    std::fprintf(stderr, "fendrik-cli: %d / %s\n", e.number(), VisibleText(e.description()).c_str());
    return kExitFailed;
  }
}

}  // namespace fendrik::cli
