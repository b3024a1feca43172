#include "cli/Commands.h"

namespace fendrik::cli {

int runDump(const std::vector<std::string>& /*args*/) { return usageError("dump: not available yet"); }

}  // namespace fendrik::cli
