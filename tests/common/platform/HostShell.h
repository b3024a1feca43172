#pragma once

// Commands of the machine the tests run on: the independent Python readers,
// the sample generator, the command-line program. On Linux that is the
// system's own shell. Under Wine the tests are Windows programs, but the
// shell, Python and the tools are the Linux host's: a command runs through
// the host's /bin/sh (Wine starts Linux programs), and paths of ours are
// handed to it in the host's form.
#include <string>

namespace fendrik::test {

// Runs `command` with the host's POSIX shell; its exit status (-1 when it did
// not exit normally) and, when asked, its standard output.
int runHostCommand(const std::string& command, std::string* output = nullptr);

// A path of this program as the host's programs name it: the same on Linux;
// under Wine the Linux path of a Windows path.
std::string hostPath(const std::string& path);

}  // namespace fendrik::test
