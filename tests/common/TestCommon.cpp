#include "TestCommon.h"

#include <sys/wait.h>

#include <QJsonDocument>
#include <QVariant>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

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

std::vector<std::string> generateDocuments(const std::filesystem::path& folder, int count, int seed,
                                           const std::string& options) {
  const std::string command = "/usr/bin/python3 " + shellQuote(FENDRIK_SAMPLE_GENERATOR) + " --out " +
                              shellQuote(folder.string()) + " --documents " + std::to_string(count) + " --seed " +
                              std::to_string(seed) + " " + options + " >/dev/null";
  if (runCommand(command) != 0) throw std::runtime_error("sample generator failed: " + command);
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    if (entry.is_regular_file() && entry.path().filename() != "manifest.json") paths.push_back(entry.path().string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::string shellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

int runCommand(const std::string& command, std::string* output) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[65536];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  const int status = ::pclose(pipe);
  if (output) *output = std::move(text);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

QJsonObject runJson(const std::string& script, const std::vector<std::string>& files) {
  std::string command = "/usr/bin/python3 " + shellQuote(script), json;
  for (const auto& f : files) command += " " + shellQuote(f);
  if (runCommand(command, &json) != 0) throw std::runtime_error("failed: " + command);
  return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
}

QJsonObject olefileView(const std::vector<std::string>& files) { return runJson(FENDRIK_OLEFILE_STATUS, files); }

std::string field(const QJsonObject& view, const std::string& file, const char* name) {
  return view[QString::fromStdString(file)].toObject()[name].toVariant().toString().toStdString();
}

std::string statusSeen(const QJsonObject& view, const std::string& file) {
  return field(view, file, "status") + " " + field(view, file, "username") + " " + field(view, file, "security");
}

}  // namespace fendrik::test
