#include "TestFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonDocument>

#include <algorithm>
#include <stdexcept>

#include "properties/PropertyReader.h"
#include "properties/cfb/CompoundFile.h"
#include "properties/cfb/Container.h"

namespace fendrik::test {

std::vector<uint8_t> buildStream(const std::vector<SectionPlan>& plans) {
  propset::StreamHeader header;
  header.osVersion = 0x00020106;
  header.clsid = plans.at(0).fmtid;
  std::vector<propset::StoredSection> sections;
  for (const auto& plan : plans) {
    propset::StoredSection& section = sections.emplace_back();
    section.fmtid = plan.fmtid;
    if (!plan.dictionary.empty())
      section.properties.push_back({0, propset::encodeDictionary(plan.dictionary, plan.codepage)});
    section.properties.push_back({1, propset::encodeValue(vt::kI2, static_cast<int16_t>(plan.codepage), plan.codepage)});
    section.properties.insert(section.properties.end(), plan.values.begin(), plan.values.end());
    for (size_t i = 0; i < section.properties.size(); ++i) section.table.push_back(i);
    header.sections.push_back({plan.fmtid, 0});
  }
  return propset::layoutStream(header, sections);
}

static std::vector<uint8_t> rootStream(const std::filesystem::path& file, const std::u16string& stream) {
  auto cf = cfb::CompoundFile::open(file);
  return cf->readStream(*cf->findRootChild(stream), 1 << 20);
}

Section::Section(std::vector<uint8_t> stream, size_t index) : bytes(std::move(stream)) {
  propset::MemorySource source(bytes);
  table = propset::readSectionTable(source, propset::readStreamHeader(source).sections.at(index));
}
Section::Section(const std::filesystem::path& file, const std::u16string& stream, size_t index)
    : Section(rootStream(file, stream), index) {}
uint64_t Section::valueAt(uint32_t id) const { return uint64_t{table.offset} + table.find(id)->offset; }
uint64_t Section::entryAt(uint32_t id) const {
  return uint64_t{table.offset} + 8 + 8 * static_cast<uint64_t>(table.find(id) - table.properties.data());
}
PropertyValue Section::value(uint32_t id) const {
  return propset::readValue(propset::MemorySource(bytes), table, *table.find(id));
}

void patchStream(const std::filesystem::path& file, const std::u16string& stream, uint64_t offset,
                 const std::vector<uint8_t>& bytes) {
  const int fd = ::open(file.c_str(), O_RDWR);
  if (fd < 0) throw std::runtime_error("cannot open " + file.string());
  cfb::detail::Container c(fd, std::filesystem::file_size(file));
  uint32_t id = 0;
  for (uint32_t child : c.rootChildren())
    if (c.nameEquals(child, stream)) id = child;
  const bool mini = c.inMiniStream(id);
  const uint64_t unit = mini ? cfb::detail::kMiniSectorSize : c.sectorSize();
  for (size_t k = 0; id != 0 && k < bytes.size(); ++k) {
    const uint32_t u = c.streamChain(id).at((offset + k) / unit);
    const uint64_t at = (mini ? c.miniSectorOffset(u) : c.sectorOffset(u)) + (offset + k) % unit;
    if (::pwrite(fd, &bytes[k], 1, static_cast<off_t>(at)) != 1) id = 0;
  }
  ::close(fd);
  if (id == 0) throw std::runtime_error("cannot patch the stream");
}

std::vector<std::string> generate(const std::filesystem::path& folder, int count, int seed, const std::string& options) {
  if (runCommand("/usr/bin/python3 " + shellQuote(FENDRIK_SAMPLE_GENERATOR) + " --out " + shellQuote(folder.string()) +
                 " --documents " + std::to_string(count) + " --seed " + std::to_string(seed) + " " + options +
                 " >/dev/null") != 0)
    throw std::runtime_error("sample generator failed");
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.path().extension() != ".json") paths.push_back(entry.path().string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::array<std::string, 13> readTexts(const std::filesystem::path& file) {
  auto server = FileProperties::Create();
  PropertyTexts texts;
  texts.fill("stale");
  try {
    server->Open(file.string());
  } catch (const StorageError&) {
  }
  SEProperty(*server, texts);
  server->Close();
  return texts;
}

std::array<std::string, 13> textsOf(const QJsonArray& texts) {
  std::array<std::string, 13> out;
  for (int i = 0; i < 13 && i < texts.size(); ++i) out[static_cast<size_t>(i)] = texts[i].toString().toStdString();
  return out;
}

QJsonObject runJson(const std::string& script, const std::vector<std::string>& files) {
  std::string command = "/usr/bin/python3 " + shellQuote(script), json;
  for (const auto& f : files) command += " " + shellQuote(f);
  if (runCommand(command, &json) != 0) throw std::runtime_error("failed: " + command);
  return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
}

std::string field(const QJsonObject& view, const std::string& file, const char* name) {
  return view.value(QString::fromStdString(file)).toObject().value(name).toVariant().toString().toStdString();
}

std::string statusSeen(const QJsonObject& view, const std::string& file) {
  return field(view, file, "status") + " " + field(view, file, "username") + " " + field(view, file, "security");
}

std::string statusSeen(const std::string& file) {
  auto server = FileProperties::Create();
  server->Open(file);
  auto text = [&](std::string_view set, std::string_view name) {
    return valueToText(server->Item(set).Item(name).Value()).value_or("?");
  };
  std::string seen = text("ExtendedSummaryInformation", "Status") + " " +
                     text("ExtendedSummaryInformation", "Username") + " " + text("SummaryInformation", "Sicherheit");
  server->Close();
  return seen;
}

int32_t errorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const StorageError& e) {
    return e.description().empty() ? 1 : e.number();
  }
  return 0;
}

}  // namespace fendrik::test
