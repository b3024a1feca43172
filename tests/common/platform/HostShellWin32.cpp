#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "HostShell.h"

namespace fendrik::test {
namespace {

std::wstring Wide(const std::string& utf8) {
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::stringstream content;
  content << std::ifstream(path, std::ios::binary).rdbuf();
  return content.str();
}

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

std::string hostPath(const std::string& path) {
  // Wine's own export: the Linux name of a Windows path. Missing on a real
  // Windows machine, where the host's tools do not exist either.
  using Convert = char*(__cdecl*)(const wchar_t*);
  static const auto convert = reinterpret_cast<Convert>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (convert == nullptr) throw std::runtime_error("no Linux host under this Windows: " + path);
  const std::wstring full = std::filesystem::absolute(std::filesystem::path(std::u8string(path.begin(), path.end())));
  char* unix = convert(full.c_str());
  if (unix == nullptr) throw std::runtime_error("no Linux name for " + path);
  std::string out(unix);
  ::HeapFree(::GetProcessHeap(), 0, unix);
  return out;
}

int runHostCommand(const std::string& command, std::string* output) {
  // Wine starts a Linux program, but loses its exit status and cannot hand
  // it a pipe reliably: the script writes both into files beside itself.
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                       ("fendrik-host-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                        std::to_string(counter++));
  std::filesystem::create_directories(folder);
  const auto file = [&](const char* name) { return (folder / name).string(); };
  {
    std::ofstream script(folder / "run.sh", std::ios::binary);
    // Wine hands a Linux program the Windows form of PATH.
    script << "PATH=/usr/local/bin:/usr/bin:/bin; export PATH\n";
    script << "( " << command << " ) > " << Quoted(hostPath(file("out"))) << "\necho $? > "
           << Quoted(hostPath(file("status"))) << "\n";
  }
  std::wstring line = L"/bin/sh " + Wide("\"" + hostPath(file("run.sh")) + "\"");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  int status = -1;
  if (::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    // The Linux process may still be writing when Wine reports it ended.
    for (int k = 0; k < 600 && ReadAll(folder / "status").empty(); ++k) ::Sleep(50);
    const std::string text = ReadAll(folder / "status");
    if (!text.empty()) status = std::stoi(text);
  }
  if (output) *output = ReadAll(folder / "out");
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return status;
}

}  // namespace fendrik::test
