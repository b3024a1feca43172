// fendrik-cli status CODE FILE... [--jobs N]: writes a document status into each file.

#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "cli/Commands.h"
#include "properties/StatusRun.h"
#include "properties/StorageError.h"
#include "properties/VisibleText.h"

namespace fendrik::cli {

// Options may stand anywhere after the command; "--" ends them, so that a
// file whose name begins with "--" can be named.
int runStatus(const std::vector<std::string>& args) {
  unsigned jobs = kDefaultStatusWorkers;
  std::vector<std::string> operands;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      operands.insert(operands.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      break;
    }
    if (arg == "--jobs") {
      if (i + 1 >= args.size() || !ParseJobs(args[i + 1], jobs))
        return usageError("status: --jobs needs a number from 1 to " + std::to_string(kMaxJobs));
      ++i;
    } else if (arg.starts_with("--")) {
      return usageError("status: unknown option: " + arg);
    } else {
      operands.push_back(arg);
    }
  }
  if (operands.size() < 2) return usageError("status: CODE and at least one FILE expected");
  const std::string& codeText = operands[0];
  if (codeText.size() != 1 || codeText[0] < '0' || codeText[0] > '5')
    return usageError("status: CODE must be a whole number from 0 to 5: " + codeText);
  const auto code = static_cast<int16_t>(codeText[0] - '0');

  const std::vector<std::string> files(operands.begin() + 1, operands.end());
  // Up to `jobs` documents at a time, each reported in the order of the
  // arguments as soon as it and every one before it are done; a failure
  // says whether the document is as it was or may have been changed. A file
  // named twice is written once; each of its arguments reports that write.
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
    const StatusRunSummary summary = WriteStatusOfDocuments(files, code, jobs, {}, report);
    return summary.written == files.size() ? kExitOk : kExitFailed;
  } catch (const StorageError& e) {
    std::fprintf(stderr, "fendrik-cli: %d / %s\n", e.number(), VisibleText(e.description()).c_str());
    return kExitFailed;
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "fendrik-cli: %s\n", VisibleText(e.what()).c_str());
    return kExitFailed;
  }
}

}  // namespace fendrik::cli
