// fendrik-cli run as a user runs it: scan on copies of real documents and on
// folders that cannot be read, which it names on standard error; wrong command
// lines; and dump on a generated compound file.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "CompoundFileBuilder.h"
#include "TestCommon.h"
#include "platform/TestSystem.h"
#include "properties/FileProperties.h"
#include "properties/VisibleText.h"
#include "properties/platform/Files.h"
#include "resultlist/TextOrder.h"
#include "search/ListFile.h"

namespace {

namespace fs = std::filesystem;
using fendrik::test::escapedBackslashes;
using fendrik::test::Native;
using fendrik::test::readFile;
using fendrik::test::shellQuote;
using fendrik::test::TempFolder;
using Strings = std::vector<std::string>;

Strings Split(const std::string& text, const std::string& separator) {
  Strings parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + separator.size())
    parts.push_back(text.substr(start, at - start));
  parts.push_back(text.substr(start));
  return parts;
}

struct Result {
  int status = -1;
  std::string out;
  Strings errors;  // the lines of standard error, sorted
  Strings errorsInOrder;  // the same as written
};

// Runs fendrik-cli with `arguments` (quoted already) in the German locale;
// or as an ordinary user in the C locale (the super-user runs it as
// "nobody", who cannot list a folder of mode 0); with openFiles, it may
// hold only that many files open.
Result Cli(const std::string& arguments, bool asOrdinaryUser = false, int openFiles = 0) {
  const TempFolder temp;
  const std::string prefix = (openFiles > 0 ? "ulimit -n " + std::to_string(openFiles) + " && " : std::string()) +
                             (!asOrdinaryUser    ? "env LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 "
                              : fendrik::test::IsSuperUser() ? "env LC_ALL=C setpriv --reuid=65534 --regid=65534 --clear-groups "
                                                 : "env LC_ALL=C ");
  Result result;
  result.status = fendrik::test::runCommand(
      prefix + shellQuote(FENDRIK_CLI) + " " + arguments + " 2>" + shellQuote(fendrik::test::hostPath((temp / "errors").string())),
      &result.out);
  result.errors = Split(fendrik::test::readFile(temp / "errors"), "\n");
  result.errors.pop_back();
  result.errorsInOrder = result.errors;
  std::sort(result.errors.begin(), result.errors.end());
  return result;
}

// The lines of the output, each split into its 25 fields.
std::vector<Strings> Lines(const std::string& out) {
  std::vector<Strings> lines;
  if (out.empty()) return lines;
  EXPECT_TRUE(out.ends_with("\r\n"));
  for (const std::string& line : Split(out.substr(0, out.size() - 2), "\r\n")) {
    EXPECT_EQ(line.find('\n'), std::string::npos);
    lines.push_back(Split(line, "\t"));
    EXPECT_EQ(lines.back().size(), 25U) << line;
  }
  return lines;
}

class RealSampleCmdScan : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& [sample, as] : {std::pair{"Connecting-Rod/body.par", "top/body.par"},
                                     {"Connecting-Rod/Asm1.asm", "top/Asm1.asm"},
                                     {"SEU14/Engine1.dft", "top/Engine1.DFT"},
                                     {"Solid-Edge-Sheet-Metal-Estimating/testing-square.psm", "top/testing-square.psm"},
                                     {"Robotic-arm/Part1.par", "top/Unter Ordner/Part1.par"},
                                     {"Connecting-Rod/Asm1.dft", "top/Unter Ordner/Asm1.dft"},
                                     {"3D-model/Practical work - Part 2-plate 2..dft", "top/x.par/plate 2..dft"}}) {
      fs::create_directories((temp / as).parent_path());
      fs::copy_file(fs::path(FENDRIK_REAL_SAMPLES) / sample, temp / as);
      documents.push_back(Native((temp / as).string()));
    }
    temp.file("top/notes.txt", "text");
  }
  TempFolder temp;
  const std::string top = temp.str() + "/top";
  Strings documents;
};

// The thirteen property texts are compared with the reference reader's for
// every real sample in the property tests; here that they stand in their
// columns: every sample has status 0, body.par the title "body" and the
// author "ARYAN BARI".
TEST_F(RealSampleCmdScan, EveryDocumentGivesOneLineWithFactsAndProperties) {
  Result result = Cli("scan " + shellQuote(top));
  ASSERT_EQ(result.status, 0);
  std::set<std::string> left(documents.begin(), documents.end());
  for (const Strings& f : Lines(result.out)) {
    const fs::path path(f[1]);
    std::string type = path.extension().string().substr(1);
    std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return std::tolower(c); });
    EXPECT_EQ(Strings(f.begin(), f.begin() + 5), (Strings{"", f[1], path.stem().string(), type, path.parent_path().string()}));
    // The time and size texts are checked with the file facts; here that they stand in their places.
    std::string digits;
    std::copy_if(f[6].begin(), f[6].end(), std::back_inserter(digits), [](char c) { return std::isdigit(c); });
    EXPECT_EQ(digits + " " + std::to_string(f[5].size()), std::to_string(fs::file_size(path)) + " 19");
    EXPECT_EQ(f[9], "0") << path;
    EXPECT_TRUE(f[1] != Native(top + "/body.par") || (f[10] == "body" && f[17] == "ARYAN BARI")) << f[10] << " / " << f[17];
    EXPECT_EQ(Strings(f.begin() + 20, f.end()), Strings(5, ""));
    EXPECT_EQ(left.erase(f[1]), 1U) << path;  // each document once
  }
  EXPECT_TRUE(left.empty());
}

TEST_F(RealSampleCmdScan, TypesSubfoldersAndSorting) {
  // The listed order of the types does not matter: PAR rows come first.
  auto some = Lines(Cli("scan " + shellQuote(top) + " --types dft,PAR").out);
  ASSERT_EQ(some.size(), 5U);
  for (size_t k = 0; k < some.size(); ++k) EXPECT_EQ(some[k][3], k < 2 ? "par" : "dft");

  auto flat = Lines(Cli("scan --no-subfolders " + shellQuote(top + "/")).out);
  ASSERT_EQ(flat.size(), 4U);
  for (const auto& f : flat) EXPECT_EQ(f[4], Native(top));

  auto sorted = Lines(Cli("scan " + shellQuote(top) + " --sorted --jobs 3").out);
  ASSERT_EQ(sorted.size(), documents.size());
  // The file names in the list's order: locale collation, letter case ignored.
  fendrik::TextOrder order;
  for (size_t k = 1; k < sorted.size(); ++k) EXPECT_LE(order.compare(sorted[k - 1][2], sorted[k][2]), 0);
}

TEST(Cli, WrongCommandLinesAreUsageErrors) {
  TempFolder temp;
  const std::string folder = shellQuote(temp.str());
  const std::pair<std::string, int> cases[] = {
      {"", 2}, {"find " + folder, 2}, {"scan", 2}, {"scan " + folder + " --types par,doc", 2},
      {"scan " + folder + " --types", 2}, {"scan " + folder + " --recursive", 2}, {"scan " + folder + " " + folder, 2},
      {"scan " + folder + " --jobs 0", 2}, {"scan " + folder + " --jobs", 2}, {"scan --jobs 1024 " + folder, 0},
      {"dump", 2}, {"dump " + folder + "/missing.cfb", 1},
      {"status 3 " + folder + "/a.par --jobs 0", 2}, {"status 3 " + folder + "/a.par --jobs x", 2},
      {"status 3 " + folder + "/a.par --jobs", 2}, {"status --jobs 1025 3 " + folder + "/a.par", 2},
      {"status 3 " + folder + "/a.par --fast", 2}, {"status --jobs 2 3", 2}, {"status 3 -- --jobs", 1}};
  for (const auto& [arguments, status] : cases) EXPECT_EQ(Cli(arguments).status, status) << arguments;
}

// Every folder that cannot be read is named on standard error with the reason, the
// documents found are listed, and the search fails, since it is incomplete; a missing
// folder or a file is an empty search.
TEST(CmdScanFolders, UnreadableFoldersAreNamedAndTheSearchFails) {
  using fendrik::test::kCodes;
  if (!fendrik::test::kFolderModes || !fendrik::test::CanMakeLinks())
    GTEST_SKIP() << "folders an ordinary user cannot list need POSIX modes, and this test symbolic links";
  TempFolder temp;
  fendrik::test::AllowEveryoneToList(temp.str());
  const std::string file = temp.file("plain.par", "no document"), top = temp.str() + "/top";
  temp.file("top/notes.txt", "text");
  temp.file("top/locked/inside.par");
  const std::string found = temp.file("top/open/body.par", readFile(fs::path(FENDRIK_REAL_SAMPLES) / "Connecting-Rod/body.par"));
  temp.link("top/loop", "loop");
  const char* const locked[] = {"/locked", "/also locked", "/clear\x1b[2J"};
  for (const char* name : locked) fs::create_directory(top + name);
  for (const char* name : locked) fendrik::test::DenyListing(top + name);
  auto line = [](const std::string& folder, int error, const std::string& reason) {
    return "fendrik-cli: scan: " + folder + "/: " + std::to_string(error) + " / " + reason;
  };
  Strings unread{line(top + "/also locked", kCodes.accessDenied, "Zugriff verweigert"),
                 line(top + "/clear\\x1B[2J", kCodes.accessDenied, "Zugriff verweigert"),
                 line(top + "/locked", kCodes.accessDenied, "Zugriff verweigert"),
                 line(top + "/loop", kCodes.linkLoop, "Zu viele symbolische Links (eine Schleife)")};
  std::sort(unread.begin(), unread.end());
  const struct { std::string folder; Strings errors; int status; Strings listed; } cases[] = {
      {temp.str() + "/gibt/es/nicht", {line(temp.str() + "/gibt/es/nicht", kCodes.notFound, "Datei nicht gefunden")}, 0,
       {}},
      // Not found as a folder; the system's number tells that it is a file.
      {file, {line(file, kCodes.notAFolder, "Datei nicht gefunden")}, 0, {}},
      {top, unread, 1, {found}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    Result run = Cli("scan " + shellQuote(c.folder), true);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.errors, c.errors);
    Strings listed;
    for (const Strings& f : Lines(run.out)) listed.push_back(f[1]);
    EXPECT_EQ(listed, c.listed);
  }
  for (const char* name : locked) fendrik::test::AllowListing(top + name);
}

// A tree 3,000 folders deep, far more than the 64 files the program may open: every
// document whose path the system can open is listed, the first folder whose path is
// too long is named as such, and the search fails.
TEST(CmdScanFolders, DeepTreeIsSearchedWithFewOpenFiles) {
  if (fendrik::test::kWindows)
    GTEST_SKIP() << "the tree is made and limited with POSIX means (openat, the longest POSIX path, ulimit)";
  TempFolder temp;
  const std::vector<std::string> documents =
      temp.chain("deep", "d", 3000, {0, 500, 1000, 1500, 2999},
                 readFile(fs::path(FENDRIK_REAL_SAMPLES) / "Connecting-Rod/body.par"));
  std::string tooLong = temp.str() + "/deep/d/";
  while (tooLong.size() < fendrik::test::kMaxPath) tooLong += "d/";
  const Result run = Cli("scan " + shellQuote(temp.str() + "/deep"), false, 64);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.errors, Strings{"fendrik-cli: scan: " + tooLong + ": " +
                                std::to_string(fendrik::test::kCodes.nameTooLong) + " / Dateiname zu lang"});
  Strings listed;
  for (const Strings& f : Lines(run.out)) listed.push_back(f[1]);
  EXPECT_EQ(listed, Strings(documents.begin(), documents.end() - 1));
}

// Paths, and texts that hold them, reach the terminal with their control characters
// escaped: a file name cannot colour or clear it.
TEST(Cli, PathsOnStandardErrorCannotSteerTheTerminal) {
  TempFolder temp;
  const std::string name = "\x1b[2J\x1b]0;Titel\x07.par", visible = "\\x1B[2J\\x1B]0;Titel\\x07.par";
  // Windows allows no control characters in a file's name: there the name
  // only comes as an argument, of a file that does not exist.
  const bool namesWithControls = !fendrik::test::kWindows;
  if (namesWithControls) temp.file("junk/" + name, "kein Dokument");
  const struct { std::string arguments, start; bool listed; } cases[] = {
      {"scan " + shellQuote(temp.str() + "/junk"), "fendrik-cli: scan: " + escapedBackslashes(Native(temp.str() + "/junk/")) + visible + ": ", true},
      {"status 1 " + shellQuote(temp.str() + "/junk/" + name), "fendrik-cli: " + escapedBackslashes(temp.str() + "/junk/") + visible + ": ", false},
      {"status 1 " + shellQuote(temp.str() + "/" + name), "fendrik-cli: " + escapedBackslashes(temp.str() + "/") + visible + ": ", false},
      {"scan a " + shellQuote(name), "fendrik-cli: scan: only one folder: " + visible, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    if (c.listed && fendrik::test::SkipHere(!namesWithControls, "Windows allows no control characters in file names")) continue;
    const Result run = Cli(c.arguments);
    EXPECT_EQ(std::count_if(run.errors.begin(), run.errors.end(), [&](const auto& line) { return line.starts_with(c.start); }), 1)
        << testing::PrintToString(run.errors);
    for (const std::string& line : run.errors)
      EXPECT_EQ(std::count_if(line.begin(), line.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; }), 0)
          << line;
  }
}

// status --jobs 4 over many documents: the failures on standard error in the order of the arguments (not of the
// names), each once, exit status 1; every other document written.
TEST(CmdStatus, ManyDocumentsAtOnceReportInArgumentOrder) {
  TempFolder temp;
  Strings documents = fendrik::test::generateDocuments(temp / "cad", 24, 7);
  const std::string junk = temp.file("cad/zz junk.par", "kein Dokument"), missing = temp.str() + "/cad/aa missing.par";
  Strings arguments(documents.rbegin(), documents.rend());
  arguments.insert(arguments.begin() + 5, junk);
  arguments.insert(arguments.begin() + 17, missing);
  std::string line;
  for (const std::string& argument : arguments) line += " " + shellQuote(argument);
  const Result run = Cli("status 3 --jobs 4" + line);
  EXPECT_EQ(run.status, 1);
  ASSERT_EQ(run.errorsInOrder.size(), 2U) << testing::PrintToString(run.errorsInOrder);
  // Paths that need no escapes are named as they are (a Windows path keeps its backslashes).
  EXPECT_TRUE(run.errorsInOrder[0].starts_with("fendrik-cli: " + junk + ": ")) << run.errorsInOrder[0];
  EXPECT_TRUE(run.errorsInOrder[1].starts_with("fendrik-cli: " + missing + ": -2147287038 / "))
      << run.errorsInOrder[1];
  const QJsonObject view = fendrik::test::olefileView(documents);
  for (const std::string& document : documents) EXPECT_EQ(fendrik::test::statusSeen(view, document), "3 Vodra 4") << document;
}

// A file named twice, through a hard link and through a symbolic link is written once, with no writer waiting for
// another's lock: exit status 0, nothing on standard error.
TEST(CmdStatus, OneFileUnderSeveralNamesIsWrittenOnce) {
  TempFolder temp;
  const Strings documents = fendrik::test::generateDocuments(temp / "cad", 2, 8);
  const std::string hard = temp.str() + "/hard.par";
  fs::create_hard_link(fendrik::platform::FsPath(documents[0]), fendrik::platform::FsPath(hard));
  Strings arguments = {documents[0], documents[1], documents[0], hard};
  if (!fendrik::test::SkipHere(!fendrik::test::CanMakeLinks(), "symbolic links cannot be made here")) {
    temp.link("soft.par", documents[0]);
    arguments.push_back(temp.str() + "/soft.par");
  }
  std::string line;
  for (const std::string& argument : arguments) line += " " + shellQuote(argument);
  const Result run = Cli("status 4 --jobs 4" + line);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.errors, Strings{});
  const QJsonObject view = fendrik::test::olefileView(documents);
  for (const std::string& document : documents) EXPECT_EQ(fendrik::test::statusSeen(view, document), "4 Vodra 4") << document;
}

TEST(CmdDump, StreamNamesBeyondTheBasicPlanePrintAsUtf8) {
  TempFolder temp;  // only the name matters; the stream's bytes are no property set
  const std::string path = (temp / "names.cfb").string();
  namespace cfbt = fendrik::cfb::testing;
  cfbt::writeSparse(cfbt::buildCompoundFile({{u"\005Set \U0001F600\u00E4", std::vector<uint8_t>(28, 0)}}, 3).image, path);
  const Result result = Cli("dump " + shellQuote(path));
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(result.out.starts_with(path + "\nset \"\\005Set \xF0\x9F\x98\x80\xC3\xA4\"  (28 bytes)\n")) << result.out;
}

// Names and texts that would deceive on a terminal: a name with LF beside
// the name it would look like, an escape sequence in a name and in the
// author, a Latin-1 name. Every line is distinct and free of control bytes
// (but its TABs and CR LF), and read back as a list file it names the files
// exactly; dump shows the author's every control byte.
TEST(CmdScanNames, NamesAndTextsThatWouldDeceivePrintWithEscapes) {
  TempFolder temp;
  const std::string original = fendrik::test::generateDocuments(temp / "gen", 1, 3).at(0);
  const std::string folder = temp.folder("cad");
  // Windows allows no control characters in file names, and its names are
  // UTF-16, never bytes that are no UTF-8: there only the texts deceive.
  const bool oddNames = !fendrik::test::kWindows;
  const Strings names = oddNames ? Strings{"a\nb.par", "a b.par", "\x1b]0;Titel\x07.par", "\xe4.par"}
                                 : Strings{"a b.par", "b.par"};
  const Strings shown = oddNames ? Strings{"a\\nb.par", "a b.par", "\\x1B]0;Titel\\x07.par", "\\xE4.par"} : names;
  for (const std::string& name : names) fs::copy_file(original, fendrik::platform::FsPath(folder + "/" + name));
  const std::string author = "\x1b[41mrot\x1b[0m\x7f";
  {
    auto server = fendrik::FileProperties::Create();
    server->Open(folder + "/a b.par");
    server->Item("SummaryInformation").Item("Author").SetValue(author);
    server->Save();
  }
  const Result scan = Cli("scan " + shellQuote(folder));
  ASSERT_EQ(scan.status, 0);
  for (char c : scan.out) {
    const auto byte = static_cast<unsigned char>(c);
    EXPECT_TRUE((byte >= 0x20 && byte != 0x7f) || c == '\t' || c == '\r' || c == '\n') << int(byte);
  }
  const auto lines = Lines(scan.out);
  ASSERT_EQ(lines.size(), names.size());
  // A line with escapes is marked, and its backslashes (Windows' separators)
  // are escaped too; "a b.par" has one for its author.
  const std::string plainFolder = Native(folder + "/"), escapedFolder = escapedBackslashes(plainFolder);
  const std::string marked = escapedFolder + "a b.par";
  std::set<std::string> paths, expectedPaths;
  for (const Strings& fields : lines) paths.insert(fields[1]);
  for (const std::string& name : shown)
    expectedPaths.insert((oddNames || name == "a b.par" ? escapedFolder : plainFolder) + name);
  EXPECT_EQ(paths, expectedPaths);
  for (const Strings& fields : lines) {
    EXPECT_EQ(fields[0], oddNames || fields[1] == marked ? "\\" : "");
    if (fields[1] == marked) { EXPECT_EQ(fields[17], "\\x1B[41mrot\\x1B[0m\\x7F"); }
  }
  fendrik::ResultRows rows;
  ASSERT_TRUE(fendrik::LoadListView(rows, temp.file("scan.lst", scan.out)).done());
  std::set<std::string> files;
  for (size_t row = 0; row < rows.size(); ++row) files.insert(std::string(rows.text(row, 0)));
  std::set<std::string> expected;
  for (const std::string& name : names) expected.insert(plainFolder + name);
  EXPECT_EQ(files, expected);

  const Result dump = Cli("dump " + shellQuote(folder + "/a b.par"));
  EXPECT_EQ(dump.status, 0);
  EXPECT_NE(dump.out.find("\"\\x1B[41mrot\\x1B[0m\\x7F\""), std::string::npos) << dump.out;
  EXPECT_EQ(dump.out.find('\x1b'), std::string::npos);
}

// What a user sees first: help on standard output with exit status 0, also
// after a command, and the version the window shows in its title.
TEST(Cli, HelpAndVersion) {
  for (const std::string arguments : {"--help", "-h", "scan --help", "scan somewhere -h", "dump x.par --help", "status -h"}) {
    SCOPED_TRACE(arguments);
    const Result run = Cli(arguments);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out.starts_with("Aufruf / usage:\n")) << run.out;
    EXPECT_NE(run.out.find("--format tsv|csv|json"), std::string::npos);
    EXPECT_NE(run.out.find("Exit status: 0 all done, 1 at least one document or the output failed, 2 wrong usage."),
              std::string::npos);
    EXPECT_TRUE(run.errors.empty());
  }
  const Result version = Cli("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "fendrik-cli " FENDRIK_VERSION "\n");
  // Usage errors still go to standard error.
  const Result wrong = Cli("scan --format xml .");
  EXPECT_EQ(wrong.status, 2);
  EXPECT_TRUE(wrong.out.empty());
  EXPECT_EQ(std::count(wrong.errors.begin(), wrong.errors.end(), "fendrik-cli: scan: --format needs tsv, csv or json"), 1);
}

// csv and json read back by Python's csv and json modules give the rows of
// tsv (the list file's lines): the same texts, sizes as whole numbers of
// bytes, times in ISO form, and in JSON numbers typed as numbers. Texts a CSV
// must quote, letters beyond ASCII and a name that is no UTF-8 among them.
TEST(CmdScanFormats, CsvAndJsonGiveTheRowsOfTsv) {
  TempFolder temp;
  const Strings documents = fendrik::test::generateDocuments(temp / "cad", 5, 7);
  const std::string quoted = "Zeile 1, \"zitiert\"\r\nZeile 2", letters = "Geh\u00e4use \u00df \u6771\u4eac";
  for (const auto& [document, title] : {std::pair{documents[0], quoted}, {documents[1], letters}}) {
    auto server = fendrik::FileProperties::Create();
    server->Open(document);
    server->Item("SummaryInformation").Item("Title").SetValue(title);
    server->Save();
  }
  if (!fendrik::test::kWindows) fs::copy_file(documents[2], temp / "cad" / "\xe4.par");
  const std::string folder = shellQuote(temp.str() + "/cad");
  const Result tsv = Cli("scan --sorted " + folder), csv = Cli("scan --sorted " + folder + " --format csv"),
               json = Cli("scan --sorted " + folder + " --format json");
  ASSERT_EQ(tsv.status + csv.status + json.status, 0) << testing::PrintToString(tsv.errors);
  fendrik::ResultRows rows;
  ASSERT_TRUE(fendrik::LoadListView(rows, temp.file("scan.lst", tsv.out)).done());
  ASSERT_EQ(rows.size(), documents.size() + (fendrik::test::kWindows ? 0 : 1));

  std::string read;
  ASSERT_EQ(fendrik::test::runCommand("/usr/bin/python3 " + shellQuote(FENDRIK_READ_SCAN_FORMATS) + " " +
                                          shellQuote(fendrik::test::hostPath(temp.file("scan.csv", csv.out))) + " " +
                                          shellQuote(fendrik::test::hostPath(temp.file("scan.json", json.out))),
                                      &read),
            0);
  const QJsonObject seen = QJsonDocument::fromJson(QByteArray::fromStdString(read)).object();
  EXPECT_TRUE(seen["bom"].toBool());
  EXPECT_TRUE(seen["crlf"].toBool());
  const QJsonArray records = seen["csv"].toArray(), objects = seen["json"].toArray();
  const Strings titles{"Objekt",    "Dateiname",      "Typ",  "Pfad",   "Gespeichert", "Gr\u00f6\u00dfe", "Dokumentnummer",
                       "Rev.",      "Status",         "Titel", "Thema", "Kommentar",   "Stichwort",      "Kategorie",
                       "Projekt",   "Firma",          "Autor", "Hauptma\u00dfe", "Material"};
  auto strings = [](const QJsonArray& array) {
    Strings out;
    for (const auto& value : array) out.push_back(value.toString().toStdString());
    return out;
  };
  ASSERT_EQ(records.size(), static_cast<qsizetype>(rows.size() + 1));
  ASSERT_EQ(objects.size(), static_cast<qsizetype>(rows.size()));
  EXPECT_EQ(strings(records[0].toArray()), titles);
  bool sawQuoted = false, sawLetters = false;
  for (size_t row = 0; row < rows.size(); ++row) {
    SCOPED_TRACE(rows.text(row, 0));
    // The values the list shows, with the size's digits and the time in ISO form.
    Strings expected;
    // A text that is no UTF-8 comes in its escaped form; any other as it is.
    for (int column = 0; column < 19; ++column) {
      const std::string text(rows.text(row, column));
      const bool utf8 = QString::fromUtf8(text).toUtf8().toStdString() == text;
      expected.push_back(utf8 ? text : fendrik::Escaped(text));
    }
    std::string digits;
    for (char c : expected[5])
      if (c >= '0' && c <= '9') digits += c;
    expected[5] = digits;
    std::string& saved = expected[4];
    ASSERT_EQ(saved.size(), 19U);
    saved = saved.substr(0, 4) + "-" + saved.substr(5, 2) + "-" + saved.substr(8, 2) + " " + saved.substr(11);
    sawQuoted = sawQuoted || rows.text(row, 9) == quoted;
    sawLetters = sawLetters || rows.text(row, 9) == letters;
    EXPECT_EQ(strings(records[static_cast<qsizetype>(row + 1)].toArray()), expected);

    const QJsonArray object = objects[static_cast<qsizetype>(row)].toArray();
    ASSERT_EQ(object.size(), 19);
    for (int column = 0; column < 19; ++column) {
      const QJsonArray entry = object[column].toArray();
      SCOPED_TRACE(titles[static_cast<size_t>(column)]);
      EXPECT_EQ(entry[0].toString().toStdString(), titles[static_cast<size_t>(column)]);
      const std::string type = entry[2].toString().toStdString();
      if (column == 5) {
        EXPECT_EQ(type, "int");
        EXPECT_EQ(std::to_string(entry[1].toInteger()), expected[5]);
      } else if (column == 8) {
        EXPECT_EQ(type, expected[8].empty() ? "NoneType" : "int");
        if (!expected[8].empty()) { EXPECT_EQ(std::to_string(entry[1].toInteger()), expected[8]); }
      } else {
        EXPECT_EQ(type, "str");
        std::string value = expected[static_cast<size_t>(column)];
        if (column == 4) value[10] = 'T';
        EXPECT_EQ(entry[1].toString().toStdString(), value);
      }
    }
  }
  EXPECT_TRUE(sawQuoted && sawLetters);
}

// A full disk or a pipe whose reader has gone: a message on standard error
// and exit status 1, never a cut list that claims success.
TEST(Cli, OutputThatCannotBeWrittenFails) {
  if (fendrik::test::kWindows) GTEST_SKIP() << "/dev/full and a closed pipe are made with POSIX means";
  TempFolder temp;
  const Strings documents = fendrik::test::generateDocuments(temp / "cad", 3, 2);
  const std::string cli = shellQuote(FENDRIK_CLI), folder = shellQuote(temp.str() + "/cad");
  // Python's subprocess gives the program the default SIGPIPE action, as a shell does.
  const std::string closedPipe =
      "/usr/bin/python3 -c 'import os, subprocess, sys; r, w = os.pipe(); os.close(r); "
      "sys.exit(subprocess.call(sys.argv[1:], stdout=w))' ";
  const struct { std::string command, reason; } cases[] = {
      {cli + " scan " + folder + " >/dev/full", "Der Datentr\u00e4ger ist voll"},
      {cli + " scan " + folder + " --format json >/dev/full", "Der Datentr\u00e4ger ist voll"},
      {cli + " dump " + shellQuote(documents[0]) + " >/dev/full", "Der Datentr\u00e4ger ist voll"},
      {cli + " dump " + shellQuote(documents[0]) + " --format json >/dev/full", "Der Datentr\u00e4ger ist voll"},
      {cli + " --version >/dev/full", "Der Datentr\u00e4ger ist voll"},
      {closedPipe + cli + " scan " + folder, "Broken pipe"},
      {closedPipe + cli + " dump " + shellQuote(documents[0]), "Broken pipe"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    EXPECT_EQ(fendrik::test::runCommand("env LC_ALL=de_DE.UTF-8 " + c.command + " 2>" + shellQuote(temp.str() + "/errors")), 1);
    const std::string errors = readFile(temp / "errors");
    EXPECT_NE(errors.find("Ausgabe nicht geschrieben: "), std::string::npos) << errors;
    EXPECT_NE(errors.find(c.reason), std::string::npos) << errors;
  }
}

// dump --format json: every property of every set with its set, id, name,
// type and value, read back by Python; texts exactly as written, numbers as
// numbers.
TEST(CmdDump, JsonListsEveryPropertyWithItsTypeAndValue) {
  TempFolder temp;
  const std::string document = fendrik::test::generateDocuments(temp / "cad", 1, 4).at(0);
  const std::string author = "J\u00f6rg \"der Zeichner\"\n\x1b[0m";
  {
    auto server = fendrik::FileProperties::Create();
    server->Open(document);
    server->Item("SummaryInformation").Item("Author").SetValue(author);
    server->Save();
  }
  const Result run = Cli("dump " + shellQuote(document) + " --format json");
  ASSERT_EQ(run.status, 0);
  std::string read;
  ASSERT_EQ(fendrik::test::runCommand("/usr/bin/python3 -c 'import json, sys; d = json.load(open(sys.argv[1], encoding=\"utf-8\")); "
                                      "print(json.dumps(d))' " +
                                          shellQuote(fendrik::test::hostPath(temp.file("dump.json", run.out))),
                                      &read),
            0);
  const QJsonObject seen = QJsonDocument::fromJson(QByteArray::fromStdString(read)).object();
  EXPECT_EQ(seen["file"].toString().toStdString(), document);
  EXPECT_TRUE(seen["errors"].toArray().isEmpty());
  // The text listing names as many properties (and dictionaries) as the JSON.
  const Result text = Cli("dump " + shellQuote(document));
  size_t listed = 0;
  for (size_t at = 0; (at = text.out.find("\n    id 0x", at)) != std::string::npos; ++at) ++listed;
  const QJsonArray properties = seen["properties"].toArray();
  EXPECT_EQ(static_cast<size_t>(properties.size()), listed);
  std::map<std::string, QJsonObject> summary;
  for (const auto& value : properties) {
    const QJsonObject property = value.toObject();
    for (const char* key : {"set", "fmtid", "id", "name", "type", "value"}) EXPECT_TRUE(property.contains(key)) << key;
    if (property["set"].toString() == "\\005SummaryInformation") summary[property["name"].toString().toStdString()] = property;
  }
  EXPECT_EQ(summary["Author"]["value"].toString().toStdString(), author);
  EXPECT_EQ(summary["Author"]["id"].toInt(), 4);
  EXPECT_TRUE(summary["(codepage)"]["value"].isDouble()) << summary["(codepage)"]["type"].toString().toStdString();
}

}  // namespace
