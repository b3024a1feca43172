// Runs `fendrik-cli scan` on a folder of copied real documents and checks
// every line against the file system and the reference property reader; and on
// folders that cannot be read, which it names on standard error.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "TestCommon.h"
#include "resultlist/TextOrder.h"

namespace {

namespace fs = std::filesystem;
using fendrik::test::shellQuote;
using fendrik::test::TempFolder;

const fs::path kSamples = FENDRIK_REAL_SAMPLES;

struct Result {
  int status = -1;
  std::string out;
};

Result Run(const std::string& command) {
  Result result;
  result.status = fendrik::test::runCommand(command, &result.out);
  return result;
}

Result Scan(const std::string& arguments) {
  return Run("env LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 " + shellQuote(FENDRIK_CLI) + " scan " + arguments +
             " 2>/dev/null");
}

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + separator.size())
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
}

// The lines of the output, each split into its 25 fields.
std::vector<std::vector<std::string>> Lines(const std::string& out) {
  std::vector<std::vector<std::string>> lines;
  if (out.empty()) return lines;
  EXPECT_TRUE(out.ends_with("\r\n"));
  std::vector<std::string> texts = Split(out.substr(0, out.size() - 2), "\r\n");
  for (const std::string& line : texts) {
    EXPECT_EQ(line.find('\n'), std::string::npos);
    lines.push_back(Split(line, "\t"));
    EXPECT_EQ(lines.back().size(), 25U) << line;
  }
  return lines;
}

// The thirteen property texts of each file as the reference reader sees
// them, with TAB, CR and LF made blanks as in the output lines.
std::map<std::string, std::vector<std::string>> ReferenceProperties(const std::vector<std::string>& paths) {
  std::string command = "/usr/bin/python3 " + shellQuote(FENDRIK_REFERENCE_READER);
  for (const std::string& path : paths) command += " " + shellQuote(path);
  command +=
      " | /usr/bin/python3 -c 'import json,sys\n"
      "for p, v in json.load(sys.stdin).items():\n"
      "    print(\"\\x1f\".join([p] + [t.replace(\"\\t\",\" \").replace(\"\\r\",\" \").replace(\"\\n\",\" \") for t in v]))'";
  std::map<std::string, std::vector<std::string>> result;
  for (const std::string& line : Split(Run(command).out, "\n")) {
    if (line.empty()) continue;
    std::vector<std::string> fields = Split(line, "\x1f");
    result[fields[0]] = std::vector<std::string>(fields.begin() + 1, fields.end());
  }
  return result;
}

std::string GermanSize(uintmax_t size) {
  std::string digits = std::to_string(size), grouped;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += '.';
    grouped += digits[i];
  }
  return std::string(15 - std::min<size_t>(15, grouped.size()), ' ') + grouped;
}

std::string LocalModified(const std::string& path) {
  struct stat facts {};
  ::stat(path.c_str(), &facts);
  std::tm t{};
  ::localtime_r(&facts.st_mtim.tv_sec, &t);
  char text[32];
  std::strftime(text, sizeof text, "%Y.%m.%d %H:%M:%S", &t);
  return text;
}

int TypeRank(const std::string& type) {
  const std::vector<std::string> order{"par", "asm", "psm", "dft"};
  return static_cast<int>(std::find(order.begin(), order.end(), type) - order.begin());
}

class RealSampleCmdScan : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(kSamples)) GTEST_SKIP() << "real samples not present";
    copy("Connecting-Rod/body.par", "top/body.par");
    copy("Connecting-Rod/Asm1.asm", "top/Asm1.asm");
    copy("SEU14/Engine1.dft", "top/Engine1.DFT");
    copy("Solid-Edge-Sheet-Metal-Estimating/testing-square.psm", "top/testing-square.psm");
    copy("Robotic-arm/Part1.par", "top/Unter Ordner/Part1.par");
    copy("Connecting-Rod/Asm1.dft", "top/Unter Ordner/Asm1.dft");
    copy("3D-model/Practical work - Part 2-plate 2..dft", "top/x.par/plate 2..dft");
    temp.file("top/notes.txt", "text");
    top = temp.str() + "/top";
  }
  void copy(const std::string& sample, const std::string& as) {
    fs::path target = temp.path() / as;
    fs::create_directories(target.parent_path());
    fs::copy_file(kSamples / sample, target);
    documents.push_back(target.string());
  }

  TempFolder temp;
  std::string top;
  std::vector<std::string> documents;
};

TEST_F(RealSampleCmdScan, EveryDocumentGivesOneLineWithFactsAndProperties) {
  Result result = Scan(shellQuote(top));
  ASSERT_EQ(result.status, 0);
  auto lines = Lines(result.out);
  ASSERT_EQ(lines.size(), documents.size());
  auto reference = ReferenceProperties(documents);
  ASSERT_EQ(reference.size(), documents.size());

  int previousRank = 0;
  std::vector<std::string> seen;
  for (const auto& f : lines) {
    const std::string& path = f[1];
    seen.push_back(path);
    fs::path p(path);
    EXPECT_EQ(f[0], "");
    EXPECT_EQ(f[2], p.stem().string());
    std::string type = p.extension().string().substr(1);
    std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return std::tolower(c); });
    EXPECT_EQ(f[3], type);
    EXPECT_GE(TypeRank(type), previousRank) << path;
    previousRank = TypeRank(type);
    EXPECT_EQ(f[4], p.parent_path().string());
    EXPECT_EQ(f[5], LocalModified(path));
    EXPECT_EQ(f[6], GermanSize(fs::file_size(p)));
    ASSERT_EQ(reference.count(path), 1U) << path;
    EXPECT_EQ(std::vector<std::string>(f.begin() + 7, f.begin() + 20), reference[path]) << path;
    for (size_t k = 20; k < f.size(); ++k) EXPECT_EQ(f[k], "");
  }
  std::sort(seen.begin(), seen.end());
  std::sort(documents.begin(), documents.end());
  EXPECT_EQ(seen, documents);
}

TEST_F(RealSampleCmdScan, TypesSubfoldersAndSorting) {
  // The listed order of the types does not matter: PAR rows come first.
  auto some = Lines(Scan(shellQuote(top) + " --types dft,PAR").out);
  ASSERT_EQ(some.size(), 5U);
  for (size_t k = 0; k < some.size(); ++k) EXPECT_EQ(some[k][3], k < 2 ? "par" : "dft");

  auto flat = Lines(Scan("--no-subfolders " + shellQuote(top + "/")).out);
  ASSERT_EQ(flat.size(), 4U);
  for (const auto& f : flat) EXPECT_EQ(f[4], top);

  auto sorted = Lines(Scan(shellQuote(top) + " --sorted").out);
  ASSERT_EQ(sorted.size(), documents.size());
  // The file names in the list's order: locale collation, letter case ignored.
  fendrik::TextOrder order;
  for (size_t k = 1; k < sorted.size(); ++k) EXPECT_LE(order.compare(sorted[k - 1][2], sorted[k][2]), 0);
}

TEST_F(RealSampleCmdScan, UsageErrorsAndAMissingFolder) {
  EXPECT_EQ(Scan("").status, 2);
  EXPECT_EQ(Scan(shellQuote(top) + " --types par,doc").status, 2);
  EXPECT_EQ(Scan(shellQuote(top) + " --types").status, 2);
  EXPECT_EQ(Scan(shellQuote(top) + " --recursive").status, 2);
  EXPECT_EQ(Scan(shellQuote(top) + " " + shellQuote(top)).status, 2);
  Result missing = Scan(shellQuote(top + "/nowhere"));
  EXPECT_EQ(missing.status, 0);
  EXPECT_EQ(missing.out, "");
}

}  // namespace

namespace {

// Runs `fendrik-cli scan` in the C locale as an ordinary user (root runs it as
// "nobody", who cannot list a folder of mode 0); gives status, output and the
// lines of standard error, sorted.
struct ScanRun {
  int status = -1;
  std::string out;
  std::vector<std::string> errors;
};

ScanRun ScanAsUser(const TempFolder& temp, const std::string& folder) {
  const std::string errors = temp.str() + "/errors.txt";
  const std::string user = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  ScanRun run;
  run.status = fendrik::test::runCommand("env LC_ALL=C " + user + shellQuote(FENDRIK_CLI) + " scan " +
                                             shellQuote(folder) + " 2>" + shellQuote(errors),
                                         &run.out);
  std::ifstream in(errors);
  for (std::string line; std::getline(in, line);) run.errors.push_back(line);
  std::sort(run.errors.begin(), run.errors.end());
  return run;
}

std::string ErrorLine(const std::string& folder, int error) {
  return "fendrik-cli: scan: " + folder + ": " + std::to_string(error) + " / " + std::strerror(error);
}

TEST(CmdScanFolders, AMissingFolderOrAFileIsAnEmptySearchNamedOnStandardError) {
  TempFolder temp;
  ::chmod(temp.str().c_str(), 0755);
  const std::string file = temp.file("plain.par", "no document");
  for (const auto& [folder, error] : {std::pair{temp.str() + "/gibt/es/nicht", ENOENT}, std::pair{file, ENOTDIR}}) {
    ScanRun run = ScanAsUser(temp, folder);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.errors, std::vector<std::string>{ErrorLine(folder + "/", error)});
  }
}

TEST(CmdScanFolders, EachUnreadableSubfolderGivesOneLine) {
  TempFolder temp;
  ::chmod(temp.str().c_str(), 0755);
  temp.file("top/notes.txt", "text");
  temp.file("top/locked/inside.par");
  temp.folder("top/also locked");
  temp.folder("top/open");
  ::chmod((temp.str() + "/top/locked").c_str(), 0);
  ::chmod((temp.str() + "/top/also locked").c_str(), 0);
  ScanRun run = ScanAsUser(temp, temp.str() + "/top");
  ::chmod((temp.str() + "/top/locked").c_str(), 0700);
  ::chmod((temp.str() + "/top/also locked").c_str(), 0700);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.errors, (std::vector<std::string>{ErrorLine(temp.str() + "/top/also locked/", EACCES),
                                                  ErrorLine(temp.str() + "/top/locked/", EACCES)}));
}

}  // namespace
