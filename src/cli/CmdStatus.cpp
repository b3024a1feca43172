// fendrik-cli status CODE FILE...: writes a document status into each file.

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "properties/FileProperties.h"
#include "properties/StatusChange.h"
#include "properties/VisibleText.h"

namespace fendrik::cli {

int runStatus(const std::vector<std::string>& args) {
  if (args.size() < 2) return usageError("status: CODE and at least one FILE expected");
  const std::string& codeText = args[0];
  if (codeText.size() != 1 || codeText[0] < '0' || codeText[0] > '5')
    return usageError("status: CODE must be a whole number from 0 to 5: " + codeText);
  const auto code = static_cast<int16_t>(codeText[0] - '0');

  std::unique_ptr<FileProperties> server;
  try {
    server = FileProperties::Create();
  } catch (const StorageError& e) {
    std::fprintf(stderr, "fendrik-cli: %d / %s\n", e.number(), VisibleText(e.description()).c_str());
    return kExitFailed;
  }
  // Paths and the texts that may hold them are made visible, so that a file
  // name cannot steer the terminal.
  bool anyFailed = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string path = VisibleText(args[i]);
    try {
      const SaveResult result = WriteDocumentStatus(*server, args[i], code);
      if (!result.warning.empty())
        std::fprintf(stderr, "fendrik-cli: %s: Warnung: %s\n", path.c_str(), VisibleText(result.warning).c_str());
    } catch (const StorageError& e) {
      std::fprintf(stderr, "fendrik-cli: %s: %d / %s\n", path.c_str(), e.number(),
                   VisibleText(e.description()).c_str());
      anyFailed = true;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "fendrik-cli: %s: %s\n", path.c_str(), VisibleText(e.what()).c_str());
      anyFailed = true;
    }
  }
  return anyFailed ? kExitFailed : kExitOk;
}

}  // namespace fendrik::cli
