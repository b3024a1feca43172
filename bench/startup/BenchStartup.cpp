// Time from process start to the first painted window, for the program and
// for a bare Qt window (the baseline), several rounds each, median. Each
// round starts with a fresh home folder, so the program sees a first start.
// Usage: bench_startup [rounds]   (QT_QPA_PLATFORM=offscreen unless DISPLAY is set)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

double ShownAfterMs(const std::string& program) {
  const fs::path home = fs::temp_directory_path() / ("fendrik-startup-" + std::to_string(std::rand()));
  fs::create_directories(home / "runtime");
  fs::permissions(home / "runtime", fs::perms::owner_all);
  const std::string command = "env HOME='" + home.string() + "' XDG_CONFIG_HOME='" + home.string() +
                              "/config' XDG_RUNTIME_DIR='" + home.string() +
                              "/runtime' FENDRIK_BENCH_STARTUP=1 '" + program + "' 2>/dev/null";
  double ms = -1;
  if (std::FILE* out = popen(command.c_str(), "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, out))
      if (std::sscanf(line, "shown-after-ms %lf", &ms) == 1) break;
    pclose(out);
  }
  fs::remove_all(home);
  return ms;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  if (std::getenv("DISPLAY") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::vector<double> program, baseline;
  for (int i = 0; i < rounds; ++i) {
    baseline.push_back(ShownAfterMs(BASELINE_PROGRAM));
    program.push_back(ShownAfterMs(FENDRIK_PROGRAM));
  }
  if (std::min(*std::min_element(program.begin(), program.end()),
               *std::min_element(baseline.begin(), baseline.end())) < 0) {
    std::fprintf(stderr, "a start did not report its first paint\n");
    return 1;
  }
  const double p = Median(program), b = Median(baseline);
  std::printf("platform               %s\n", std::getenv("DISPLAY") ? "X11" : "offscreen");
  std::printf("bare window (baseline) %.1f ms (median of %d)\n", b, rounds);
  std::printf("fendrik                %.1f ms (median of %d)\n", p, rounds);
  std::printf("ratio                  %.2f\n", p / b);
  std::printf("target                 under 500 ms: %s\n", p < 500 ? "met" : "MISSED");
  return 0;
}
