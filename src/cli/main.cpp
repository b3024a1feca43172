#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "properties/VisibleText.h"
#include "properties/platform/Process.h"

namespace fendrik::cli {

int usageError(const std::string& message) {
  // The message may quote an argument, which may be a path: made visible.
  if (!message.empty()) std::fprintf(stderr, "fendrik-cli: %s\n", fendrik::VisibleText(message).c_str());
  std::fputs(
      "Aufruf / usage:\n"
      "  fendrik-cli scan FOLDER [--types par,asm,psm,dft] [--no-subfolders] [--sorted] [--jobs N]\n"
      "  fendrik-cli dump FILE\n"
      "  fendrik-cli status CODE FILE...   (CODE 0 to 5)\n",
      stderr);
  return kExitUsage;
}

}  // namespace fendrik::cli

int main(int argc, char** argv) {
  using namespace fendrik::cli;
  fendrik::platform::UseUtf8Terminal();
  std::vector<std::string> args = fendrik::platform::CommandLineArguments(argc, argv);
  if (args.empty()) return usageError("");
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "scan") return runScan(args);
  if (command == "dump") return runDump(args);
  if (command == "status") return runStatus(args);
  return usageError("unknown command: " + command);
}
