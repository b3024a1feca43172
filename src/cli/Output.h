#pragma once

#include <string>
#include <string_view>

namespace fendrik::cli {

// Standard output of a subcommand, gathered in pieces and written through
// the system, so that a write that fails (a full disk, a pipe whose reader
// has gone) is seen: the first failure is told once on standard error, and
// nothing more is written.
class Output {
 public:
  explicit Output(std::string command) : command_(std::move(command)) {}

  // Where the caller appends; written out by flush() once it is large.
  std::string& text() { return text_; }
  // Appends a printf-formatted piece (the C locale's numbers).
  void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void flushIfLarge();
  // Writes what is left. False when any write failed.
  bool finish();
  bool failed() const { return failed_; }

 private:
  void write();

  std::string command_;
  std::string text_;
  bool failed_ = false;
};

}  // namespace fendrik::cli
