#include "TestFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <stdexcept>

#include "properties/FileProperties.h"
#include "properties/PropertyReader.h"
#include "properties/StorageError.h"
#include "properties/cfb/CompoundFile.h"
#include "properties/cfb/Container.h"

namespace fendrik::test {

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
    const uint64_t pos = offset + k;
    const uint32_t u = c.streamChain(id).at(pos / unit);
    const uint64_t at = (mini ? c.miniSectorOffset(u) : c.sectorOffset(u)) + pos % unit;
    if (::pwrite(fd, &bytes[k], 1, static_cast<off_t>(at)) != 1) id = 0;
  }
  ::close(fd);
  if (id == 0) throw std::runtime_error("cannot patch the stream");
}

Section::Section(std::vector<uint8_t> stream, size_t index) : bytes(std::move(stream)) {
  propset::MemorySource source(bytes);
  table = propset::readSectionTable(source, propset::readStreamHeader(source).sections.at(index));
}

static std::vector<uint8_t> rootStream(const std::filesystem::path& file, const std::u16string& stream) {
  auto cf = cfb::CompoundFile::open(file);
  return cf->readStream(*cf->findRootChild(stream), 1 << 20);
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

std::vector<uint8_t> Section::stored(uint32_t id, size_t length) const {
  return propset::MemorySource(bytes).bytes(valueAt(id), length);
}

std::vector<std::string> generate(const std::filesystem::path& folder, int count, int seed, const std::string& options) {
  const std::string command = "/usr/bin/python3 " + shellQuote(FENDRIK_SAMPLE_GENERATOR) + " --out " +
                              shellQuote(folder.string()) + " --documents " + std::to_string(count) + " --seed " +
                              std::to_string(seed) + " " + options + " >/dev/null";
  if (runCommand(command) != 0) throw std::runtime_error("sample generator failed");
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

static QJsonObject runJson(std::string command, const std::vector<std::string>& files) {
  for (const auto& f : files) command += " " + shellQuote(f);
  std::string json;
  if (runCommand(command, &json) != 0) throw std::runtime_error("failed: " + command);
  return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
}

std::map<std::string, std::array<std::string, 13>> referenceTexts(const std::vector<std::filesystem::path>& files) {
  std::vector<std::string> names;
  for (const auto& f : files) names.push_back(f.string());
  const QJsonObject all = runJson("/usr/bin/python3 " + shellQuote(FENDRIK_REFERENCE_READER), names);
  std::map<std::string, std::array<std::string, 13>> out;
  for (auto it = all.begin(); it != all.end(); ++it) {
    std::array<std::string, 13> texts;
    QJsonArray values = it.value().toArray();
    for (int i = 0; i < 13 && i < values.size(); ++i) texts[static_cast<size_t>(i)] = values[i].toString().toStdString();
    out[it.key().toStdString()] = texts;
  }
  return out;
}

QJsonObject olefileView(const std::vector<std::string>& files) {
  return runJson("/usr/bin/python3 " + shellQuote(FENDRIK_OLEFILE_STATUS), files);
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
  std::string seen = text("ExtendedSummaryInformation", "Status") + " " + text("ExtendedSummaryInformation", "Username") +
                     " " + text("SummaryInformation", "Sicherheit");
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
