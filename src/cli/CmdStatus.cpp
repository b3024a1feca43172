#include "cli/Commands.h"

namespace fendrik::cli {

int runStatus(const std::vector<std::string>& /*args*/) { return usageError("status: not available yet"); }

}  // namespace fendrik::cli
