#include "TestCommon.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QVariant>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "properties/platform/Files.h"

namespace fendrik::test {

std::vector<std::filesystem::path> realSamples() {
  std::vector<std::filesystem::path> out;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(FENDRIK_REAL_SAMPLES)) {
    std::string ext = entry.path().extension().string();
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (entry.is_regular_file() && (ext == ".par" || ext == ".asm" || ext == ".psm" || ext == ".dft"))
      out.push_back(entry.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::string readFile(const std::filesystem::path& path) {
  std::stringstream content;
  content << std::ifstream(path, std::ios::binary).rdbuf();
  return content.str();
}

std::string escapedBackslashes(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
  return out;
}

void resizeFile(const std::string& path, uint64_t size) {
  platform::File file;
  platform::SystemError error = file.open(path, platform::File::Mode::readWrite);
  if (!error) error = file.resize(size);
  if (!error) error = file.close();
  if (error) throw std::runtime_error("cannot set the length of " + path + ": " + platform::ErrorText(error));
}

std::vector<std::string> generateDocuments(const std::filesystem::path& folder, int count, int seed,
                                           const std::string& options) {
  const std::string command = "/usr/bin/python3 " + shellQuote(FENDRIK_SAMPLE_GENERATOR) + " --out " +
                              shellQuote(hostPath(folder.string())) + " --documents " + std::to_string(count) + " --seed " +
                              std::to_string(seed) + " " + options + " >/dev/null";
  if (runCommand(command) != 0) throw std::runtime_error("sample generator failed: " + command);
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    if (entry.is_regular_file() && entry.path().filename() != "manifest.json") paths.push_back(platform::Utf8Path(entry.path()));
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::string shellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

int runCommand(const std::string& command, std::string* output) { return runHostCommand(command, output); }

QJsonObject runJson(const std::string& script, const std::vector<std::string>& files) {
  std::string command = "/usr/bin/python3 " + shellQuote(script), json;
  for (const auto& f : files) command += " " + shellQuote(hostPath(f));
  if (runCommand(command, &json) != 0) throw std::runtime_error("failed: " + command);
  const QJsonObject seen = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
  // The script names each file as the host does; the caller knows it by our name.
  QJsonObject view;
  for (const auto& f : files) {
    const QString host = QString::fromStdString(hostPath(f));
    if (seen.contains(host)) view[QString::fromStdString(f)] = seen[host];
  }
  return view;
}

ExportView readExport(const std::string& file) {
  const QJsonObject seen = runJson(FENDRIK_READ_EXPORT, {file})[QString::fromStdString(file)].toObject();
  auto texts = [](const QJsonValue& list) {
    std::vector<std::string> out;
    for (const QJsonValue& item : list.toArray()) out.push_back(item.toString().toStdString());
    return out;
  };
  ExportView view;
  for (const QJsonValue& row : seen["rows"].toArray()) view.rows.push_back(texts(row));
  for (const QJsonValue& row : seen["types"].toArray()) view.types.push_back(texts(row));
  view.sheets = texts(seen["sheets"]);
  for (const QJsonValue& bold : seen["bold"].toArray()) view.bold.push_back(bold.toBool());
  for (const QJsonValue& width : seen["widths"].toArray()) view.widths.push_back(width.toDouble());
  view.frozen = seen["frozen"].toString().toStdString();
  view.filter = seen["filter"].toString().toStdString();
  view.error = seen.contains("error") ? seen["error"].toString().toStdString() : seen.isEmpty() ? "nothing read" : "";
  view.bom = seen["bom"].toBool();
  return view;
}

QJsonObject olefileView(const std::vector<std::string>& files) { return runJson(FENDRIK_OLEFILE_STATUS, files); }

std::string field(const QJsonObject& view, const std::string& file, const char* name) {
  return view[QString::fromStdString(file)].toObject()[name].toVariant().toString().toStdString();
}

std::string statusSeen(const QJsonObject& view, const std::string& file) {
  return field(view, file, "status") + " " + field(view, file, "username") + " " + field(view, file, "security");
}

}  // namespace fendrik::test
