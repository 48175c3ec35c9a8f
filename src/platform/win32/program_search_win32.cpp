#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/fs.h"
#include "platform/program_search.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

std::string InFolder(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  return last == '\\' || last == '/' ? folder + name : folder + "\\" + name;
}

bool IsFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(win32::Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string SystemFolder(UINT(WINAPI* query)(LPWSTR, UINT)) {
  wchar_t buffer[MAX_PATH + 1] = {};
  const UINT n = query(buffer, MAX_PATH);
  return n > 0 && n <= MAX_PATH ? win32::Utf8(buffer, n) : std::string();
}

}  // namespace

std::string FindProgram(const std::string& program, const std::string& launcher_dir,
                        const std::string& work_dir) {
  if (program.empty()) return std::string();
  std::string name = program;
  // The system adds ".exe" to a file name that has no extension.
  const std::string::size_type file_start = name.find_last_of("\\/:");
  const std::string file = file_start == std::string::npos ? name : name.substr(file_start + 1);
  if (file.find('.') == std::string::npos) name += ".exe";

  if (name.find_first_of("\\/:") != std::string::npos) {
    const std::string path = IsRootedPath(name) ? name : InFolder(work_dir, name);
    return IsFile(path) ? path : std::string();
  }
  std::vector<std::string> folders = {launcher_dir, work_dir, SystemFolder(&::GetSystemDirectoryW)};
  const std::string windows = SystemFolder(&::GetWindowsDirectoryW);
  if (!windows.empty()) {
    folders.push_back(InFolder(windows, "System"));
    folders.push_back(windows);
  }
  const std::string search = GetEnvVar("PATH");
  std::string::size_type start = 0;
  while (start <= search.size()) {
    const std::string::size_type semicolon = search.find(';', start);
    std::string folder = search.substr(
        start, semicolon == std::string::npos ? std::string::npos : semicolon - start);
    if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"') {
      folder = folder.substr(1, folder.size() - 2);
    }
    if (!folder.empty()) folders.push_back(folder);
    if (semicolon == std::string::npos) break;
    start = semicolon + 1;
  }
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    const std::string path = InFolder(folder, name);
    if (IsFile(path)) return path;
  }
  return std::string();
}

}  // namespace platform
