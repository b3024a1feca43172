#pragma once

// What a command-line program needs of its system: its arguments as UTF-8
// (Windows hands main() the ANSI code page, which cannot hold every file
// name) and a terminal that shows the UTF-8 the program writes.

#include <string>
#include <vector>

namespace fendrik::platform {

// The arguments after the program's name, in UTF-8.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Makes a terminal window show UTF-8 output (Windows' console code page);
// standard output and error carry the bytes the program writes, line ends
// included (no text-mode "\r" added on Windows); writing into a pipe whose
// reader has gone is an error the program sees (no signal ends it).
void UseUtf8Terminal();

}  // namespace fendrik::platform
