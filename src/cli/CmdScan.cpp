#include "cli/Commands.h"

namespace fendrik::cli {

int runScan(const std::vector<std::string>& /*args*/) { return usageError("scan: not available yet"); }

}  // namespace fendrik::cli
