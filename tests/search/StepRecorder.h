#pragma once

#include <optional>
#include <vector>

#include "search/ListFileHooksForTests.h"

namespace fendrik::test {

// Records the steps of a writer that replaces a file (the list file, an
// export) in the order they run, and makes the step `failAt` fail with
// `error`.
struct StepRecorder : ListFileHooks {
  std::vector<ListFileStep> steps;
  std::optional<ListFileStep> failAt;
  platform::SystemError error = platform::Simulated(platform::Fault::ioError);
  platform::SystemError after(ListFileStep step, platform::SystemError result) override {
    steps.push_back(step);
    return step == failAt ? error : result;
  }
};

}  // namespace fendrik::test
