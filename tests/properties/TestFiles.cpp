#include "TestFiles.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "properties/StorageError.h"
#include "properties/cfb/CompoundFile.h"

namespace fendrik::test {

void patchStream(const std::filesystem::path& file, const std::u16string& stream, uint64_t offset,
                 const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> piece(64);
  uint64_t pieceStart = offset / 64 * 64;
  {
    auto cf = cfb::CompoundFile::open(file);
    auto id = cf->findRootChild(stream);
    if (!id) throw std::runtime_error("stream missing");
    piece.resize(static_cast<size_t>(std::min<uint64_t>(64, cf->entry(*id).size - pieceStart)));
    cf->readStream(*id, pieceStart, piece);
  }
  std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
  std::vector<uint8_t> all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  auto hit = std::search(all.begin(), all.end(), piece.begin(), piece.end());
  if (hit == all.end() || std::search(hit + 1, all.end(), piece.begin(), piece.end()) != all.end())
    throw std::runtime_error("stream piece not found once");
  auto at = static_cast<std::streamoff>(hit - all.begin()) + static_cast<std::streamoff>(offset - pieceStart);
  f.clear();
  f.seekp(at);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int32_t errorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const StorageError& e) {
    return e.description().empty() ? 1 : e.number();
  }
  return 0;
}

std::map<std::string, std::array<std::string, 13>> referenceTexts(const std::vector<std::filesystem::path>& files) {
  std::string command = "/usr/bin/python3 " + shellQuote(FENDRIK_REFERENCE_READER);
  for (const auto& f : files) command += " " + shellQuote(f.string());
  std::string json;
  if (runCommand(command, &json) != 0) throw std::runtime_error("reference reader failed");
  std::map<std::string, std::array<std::string, 13>> out;
  QJsonObject all = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
  for (auto it = all.begin(); it != all.end(); ++it) {
    std::array<std::string, 13> texts;
    QJsonArray values = it.value().toArray();
    for (int i = 0; i < 13 && i < values.size(); ++i) texts[static_cast<size_t>(i)] = values[i].toString().toStdString();
    out[it.key().toStdString()] = texts;
  }
  return out;
}

}  // namespace fendrik::test
