#include <csignal>

#include "properties/platform/Process.h"

namespace fendrik::platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

void UseUtf8Terminal() {
  // A pipe whose reader has gone gives a write error the program reports,
  // instead of ending it silently.
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace fendrik::platform
