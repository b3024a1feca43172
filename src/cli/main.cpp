#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Version.h"
#include "cli/Commands.h"
#include "cli/Output.h"
#include "properties/StatusRun.h"
#include "properties/VisibleText.h"
#include "properties/platform/Process.h"

namespace fendrik::cli {
namespace {

constexpr char kUsage[] =
    "Aufruf / usage:\n"
    "  fendrik-cli scan FOLDER [--types par,asm,psm,dft] [--no-subfolders] [--sorted] [--jobs N]\n"
    "                          [--format tsv|csv|json]\n"
    "  fendrik-cli dump FILE [--format text|json]\n"
    "  fendrik-cli status CODE FILE... [--jobs N]   (CODE 0 to 5)\n"
    "  fendrik-cli --help | -h           (also after a command)\n"
    "  fendrik-cli --version\n"
    "\n"
    "scan    finds the documents (PAR, ASM, PSM, DFT) below FOLDER and writes one row per document:\n"
    "        tsv   list-file lines (the default): 25 fields separated by TABs, CR LF\n"
    "        csv   RFC 4180, UTF-8 with a byte-order mark, CR LF, a header of the column titles\n"
    "        json  one array of objects keyed by the column titles\n"
    "dump    every property set and property of a document\n"
    "status  writes the document status CODE into every FILE, N at a time (default 16); a file named\n"
    "        twice (also through a link) is written once; failures in the order of the FILEs\n"
    "\n"
    "Exit status: 0 all done, 1 at least one document or the output failed, 2 wrong usage.\n";

static_assert(fendrik::kDefaultStatusWorkers == 16, "the usage text names the default of status --jobs");

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

}  // namespace

int usageError(const std::string& message) {
  // The message may quote an argument, which may be a path: made visible.
  if (!message.empty()) std::fprintf(stderr, "fendrik-cli: %s\n", fendrik::VisibleText(message).c_str());
  std::fputs(kUsage, stderr);
  return kExitUsage;
}

bool ParseJobs(const std::string& text, unsigned& jobs) {
  if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  jobs = static_cast<unsigned>(std::stoul(text));
  return jobs >= 1 && jobs <= kMaxJobs;
}

int printToStandardOutput(const std::string& command, const std::string& text) {
  Output out(command);
  out.text() = text;
  return out.finish() ? kExitOk : kExitFailed;
}

}  // namespace fendrik::cli

int main(int argc, char** argv) {
  using namespace fendrik::cli;
  fendrik::platform::UseUtf8Terminal();
  std::vector<std::string> args = fendrik::platform::CommandLineArguments(argc, argv);
  if (args.empty()) return usageError("");
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "--version")
    return printToStandardOutput("--version", "fendrik-cli " + std::to_string(fendrik::kVersionMajor) + "." +
                                                  std::to_string(fendrik::kVersionMinor) + "." +
                                                  std::to_string(fendrik::kVersionRevision) + "\n");
  const bool known = command == "scan" || command == "dump" || command == "status";
  if (IsHelp(command) || (known && std::any_of(args.begin(), args.end(), IsHelp)))
    return printToStandardOutput(command, kUsage);
  if (command == "scan") return runScan(args);
  if (command == "dump") return runDump(args);
  if (command == "status") return runStatus(args);
  return usageError("unknown command: " + command);
}
