#pragma once

// What several test areas share: the real sample documents and running a
// command line (the independent Python readers, the command-line program).
#include <filesystem>
#include <string>
#include <vector>

#include "TempFolder.h"

namespace fendrik::test {

// Every document (PAR, ASM, PSM, DFT) below the real-sample folder, sorted.
std::vector<std::filesystem::path> realSamples();
// The whole content of a file as bytes in a string (empty when it cannot be read).
std::string readFile(const std::filesystem::path& path);
// The text in single quotes for the shell.
std::string shellQuote(const std::string& text);
// Runs a command line through the shell; gives its exit status (-1 when it did
// not exit normally) and, when asked, its standard output.
int runCommand(const std::string& command, std::string* output = nullptr);

}  // namespace fendrik::test
