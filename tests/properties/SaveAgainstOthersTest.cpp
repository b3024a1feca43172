// Saving beside other writers and with odd stored values: another program's
// save between Open and Save is never undone, values stored without a type
// get the type documents use, and a set that names one property twice is not
// written. What the file holds afterwards is read with olefile.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>

#include "TestFiles.h"
#include "properties/FileProperties.h"
#include "properties/StatusChange.h"
#include "properties/cfb/CompoundFile.h"
#include "properties/cfb/Container.h"
#include "properties/propset/PropertySetReader.h"

using namespace fendrik;

namespace {

const std::u16string kExtendedStream = u"\005C3teagxwOttdbfkuIaamtae3Ie";
const std::u16string kSummaryStream = u"\005SummaryInformation";
constexpr uint32_t kPidTitle = 2;
constexpr uint32_t kPidAuthor = 4;
constexpr uint32_t kPidStatus = 7;
constexpr uint32_t kPidUsername = 8;
constexpr uint32_t kPidSecurity = 19;

std::filesystem::path realSample() {
  return std::filesystem::path(FENDRIK_REAL_SAMPLES) / "SolidEdgeStorekeeper/Part2.par";
}

std::vector<uint8_t> fileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Type and text of a property of the first section of a root stream, as the
// independent reader (olefile with its own property-set decoder) dumps them:
// "0x0003 'Status' 3", "0x001F 'Neuer Titel'" (type, name from the dictionary
// when there is one, value); empty when it is not there.
std::string olefileValue(const std::filesystem::path& file, const std::string& stream, uint32_t id) {
  std::string dump;
  EXPECT_EQ(test::runCommand("/usr/bin/python3 " + test::shellQuote(FENDRIK_REFERENCE_READER) + " --dump " +
                                 test::shellQuote(file.string()),
                             &dump),
            0);
  const size_t at = dump.find("stream '" + stream + "'");
  if (at == std::string::npos) return {};
  const size_t end = dump.find("\n   stream ", at + 1);
  const std::string part = dump.substr(at, end == std::string::npos ? std::string::npos : end - at);
  char pid[16];
  std::snprintf(pid, sizeof pid, "0x%08X", id);
  std::smatch m;
  const std::regex line(std::string("pid ") + pid + R"( @\d+\s+vt (0x[0-9A-F]{4} .*))");
  if (!std::regex_search(part, m, line)) return {};
  // The dump pads the name column; runs of blanks count as one.
  return std::regex_replace(m[1].str(), std::regex(" +"), " ");
}

// Overwrites bytes of a root stream in the file, wherever its sectors lie.
void patchStreamBytes(const std::filesystem::path& file, const std::u16string& stream, uint64_t offset,
                      const std::vector<uint8_t>& bytes) {
  const int fd = ::open(file.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  {
    cfb::detail::Container c(fd, std::filesystem::file_size(file));
    uint32_t id = 0;
    for (uint32_t child : c.rootChildren())
      if (c.nameEquals(child, stream)) id = child;
    ASSERT_NE(id, 0u);
    const bool mini = c.inMiniStream(id);
    const uint64_t unit = mini ? cfb::detail::kMiniSectorSize : c.sectorSize();
    for (size_t k = 0; k < bytes.size(); ++k) {
      const uint64_t pos = offset + k;
      const uint32_t u = c.streamChain(id)[pos / unit];
      const uint64_t at = (mini ? c.miniSectorOffset(u) : c.sectorOffset(u)) + pos % unit;
      ASSERT_EQ(::pwrite(fd, &bytes[k], 1, static_cast<off_t>(at)), 1);
    }
  }
  ::close(fd);
}

// Offset of a property's value (its type field) in the first section of a
// root stream of the file.
uint64_t valueOffset(const std::filesystem::path& file, const std::u16string& stream, uint32_t id) {
  auto cf = cfb::CompoundFile::open(file);
  auto bytes = cf->readStream(*cf->findRootChild(stream), 1 << 20);
  propset::MemorySource source(bytes);
  auto table = propset::readSectionTable(source, propset::readStreamHeader(source).sections.at(0));
  return uint64_t{table.offset} + table.find(id)->offset;
}

// Offset of a property's entry (id, offset) in the table of that section.
uint64_t tableEntryOffset(const std::filesystem::path& file, const std::u16string& stream, uint32_t id) {
  auto cf = cfb::CompoundFile::open(file);
  auto bytes = cf->readStream(*cf->findRootChild(stream), 1 << 20);
  propset::MemorySource source(bytes);
  auto table = propset::readSectionTable(source, propset::readStreamHeader(source).sections.at(0));
  for (size_t i = 0; i < table.properties.size(); ++i)
    if (table.properties[i].id == id) return uint64_t{table.offset} + 8 + 8 * i;
  throw std::runtime_error("no such property");
}

// Another program's save: the document with a new title, written to a new
// file that is renamed over the old one (as CAD programs and editors save).
void saveByRename(const std::filesystem::path& document, const std::string& title) {
  const auto fresh = document.parent_path() / "saving.tmp";
  std::filesystem::copy_file(document, fresh);
  auto other = FileProperties::Create();
  other->Open(fresh.string());
  other->Item("SummaryInformation").Item("Title").SetValue(title);
  other->Save();
  other->Close();
  std::filesystem::rename(fresh, document);
}

class RealSampleSaveAgainstOthers : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(realSample())) GTEST_SKIP() << "no real samples";
    document = temp.copy(realSample());
    std::filesystem::permissions(document, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    server = FileProperties::Create();
  }
  void setStatus(int16_t code) {
    server->Item("ExtendedSummaryInformation").Item("Status").SetValue(code);
    server->Item("ExtendedSummaryInformation").Item("Username").SetValue("Vodra");
  }
  test::TempDir temp;
  std::filesystem::path document;
  std::unique_ptr<FileProperties> server;
};

TEST_F(RealSampleSaveAgainstOthers, ReplaceByRenameBetweenOpenAndSaveIsKept) {
  server->Open(document.string());
  setStatus(3);
  saveByRename(document, "Von einem anderen Programm");
  server->Save();
  server->Close();
  EXPECT_EQ(olefileValue(document, "\\x05SummaryInformation", kPidTitle), "0x001F 'Von einem anderen Programm'");
  EXPECT_EQ(olefileValue(document, "\\x05C3teagxwOttdbfkuIaamtae3Ie", kPidStatus), "0x0003 'Status' 3");
  EXPECT_EQ(olefileValue(document, "\\x05C3teagxwOttdbfkuIaamtae3Ie", kPidUsername), "0x001F 'Username' 'Vodra'");
}

TEST_F(RealSampleSaveAgainstOthers, SaveInPlaceByAnotherProgramBetweenOpenAndSaveIsKept) {
  server->Open(document.string());
  setStatus(4);
  server->Item("SummaryInformation").Item("Security").SetValue(int16_t{4});
  // A program that ignores our locks rewrites the author in place, in the
  // very set this save changes: same file, same size, same directory.
  const uint64_t author = valueOffset(document, kSummaryStream, kPidAuthor);
  std::vector<uint8_t> fremde;
  for (char c : std::string("Fremde")) fremde.insert(fremde.end(), {static_cast<uint8_t>(c), 0});
  patchStreamBytes(document, kSummaryStream, author + 8, fremde);
  server->Save();
  // The values stay readable through the open server after the save.
  EXPECT_EQ(valueToText(server->Item("SummaryInformation").Item("Author").Value()), "Fremde");
  server->Close();
  EXPECT_EQ(olefileValue(document, "\\x05SummaryInformation", kPidAuthor), "0x001F 'Fremde'");
  EXPECT_EQ(olefileValue(document, "\\x05SummaryInformation", kPidSecurity), "0x0003 4");
  EXPECT_EQ(olefileValue(document, "\\x05C3teagxwOttdbfkuIaamtae3Ie", kPidStatus), "0x0003 'Status' 4");
  EXPECT_EQ(olefileValue(document, "\\x05C3teagxwOttdbfkuIaamtae3Ie", kPidUsername), "0x001F 'Username' 'Vodra'");
}

TEST_F(RealSampleSaveAgainstOthers, ReplacementThatCannotTakeTheChangeIsLeftAsItIs) {
  server->Open(document.string());
  setStatus(3);
  // Another program replaced the document with something that is no longer
  // a compound file: the save is refused and its bytes stay.
  const auto fresh = temp.path() / "other.tmp";
  std::ofstream(fresh, std::ios::binary) << std::string(3000, 'x');
  std::filesystem::rename(fresh, document);
  const auto before = fileBytes(document);
  EXPECT_EQ(test::errorOf([&] { server->Save(); }), hresult::kInvalidHeader);
  server->Close();
  EXPECT_EQ(fileBytes(document), before);
}

// Status, Security and Username stored as VT_EMPTY or VT_NULL: the status
// write gives them the types documents use, and olefile reads the values.
TEST_F(RealSampleSaveAgainstOthers, TypelessValuesGetTheTypesDocumentsUse) {
  struct Case {
    const char* what;
    uint16_t statusType, securityType, usernameType;
  };
  for (const Case& c : {Case{"Security empty", 3, 0, 0x1F}, Case{"Status null", 1, 3, 0x1F},
                        Case{"Username empty", 3, 3, 0}, Case{"all null", 1, 1, 1}}) {
    SCOPED_TRACE(c.what);
    const auto copy = temp.copy(realSample(), std::string(c.what) + ".par");
    std::filesystem::permissions(copy, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
    auto setType = [&](const std::u16string& stream, uint32_t id, uint16_t type) {
      patchStreamBytes(copy, stream, valueOffset(copy, stream, id),
                       {static_cast<uint8_t>(type), static_cast<uint8_t>(type >> 8)});
    };
    setType(kExtendedStream, kPidStatus, c.statusType);
    setType(kSummaryStream, kPidSecurity, c.securityType);
    setType(kExtendedStream, kPidUsername, c.usernameType);

    WriteDocumentStatus(*server, copy.string(), 3);
    EXPECT_EQ(olefileValue(copy, "\\x05C3teagxwOttdbfkuIaamtae3Ie", kPidStatus), "0x0003 'Status' 3");
    EXPECT_EQ(olefileValue(copy, "\\x05SummaryInformation", kPidSecurity), "0x0003 4");
    EXPECT_EQ(olefileValue(copy, "\\x05C3teagxwOttdbfkuIaamtae3Ie", kPidUsername), "0x001F 'Username' 'Vodra'");
  }
}

TEST_F(RealSampleSaveAgainstOthers, SetNamingOnePropertyTwiceIsNotWritten) {
  // The Username entry of the table renamed to the Status id: two entries for 7.
  patchStreamBytes(document, kExtendedStream, tableEntryOffset(document, kExtendedStream, kPidUsername),
                   {kPidStatus, 0, 0, 0});
  const auto before = fileBytes(document);
  EXPECT_EQ(test::errorOf([&] { WriteDocumentStatus(*server, document.string(), 3); }), hresult::kDocfileCorrupt);
  EXPECT_EQ(fileBytes(document), before);
  std::string errors;
  EXPECT_EQ(test::runCommand(std::string(FENDRIK_CLI) + " status 3 " + test::shellQuote(document.string()) +
                                 " 2>&1 >/dev/null",
                             &errors),
            1);
  EXPECT_NE(errors.find("Eigenschaft 7 steht zweimal in der Tabelle"), std::string::npos) << errors;
  EXPECT_EQ(fileBytes(document), before);
}

}  // namespace
