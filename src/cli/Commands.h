#pragma once

#include <string>
#include <vector>

namespace fendrik::cli {

// Exit statuses shared by every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Each subcommand gets the arguments after its own name.
int runScan(const std::vector<std::string>& args);
int runDump(const std::vector<std::string>& args);
int runStatus(const std::vector<std::string>& args);

// The number of --jobs N: a whole number from 1 to kMaxJobs, in digits
// only; false for anything else (the caller's usage error).
inline constexpr unsigned kMaxJobs = 1024;
bool ParseJobs(const std::string& text, unsigned& jobs);

// Prints the usage text to standard error and gives kExitUsage.
int usageError(const std::string& message);

}  // namespace fendrik::cli
