#include <cwchar>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/handle.h"
#include "platform/java_places.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// GetFinalPathNameByHandleW answers "\\?\C:\x" or "\\?\UNC\srv\share\x".
std::string WithoutLongPathPrefix(const std::string& path) {
  if (path.compare(0, 8, "\\\\?\\UNC\\") == 0) return "\\\\" + path.substr(8);
  if (path.compare(0, 4, "\\\\?\\") == 0) return path.substr(4);
  return path;
}

}  // namespace

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW data;
  HANDLE find = ::FindFirstFileW(win32::Wide(path + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = win32::Utf8(data.cFileName, wcslen(data.cFileName));
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileW(find, &data) != FALSE);
  ::FindClose(find);
  return names;
}

std::string ResolveLinks(const std::string& path) {
  if (path.empty()) return std::string();
  // FILE_FLAG_BACKUP_SEMANTICS lets a folder be opened as well as a file;
  // no access rights are needed to ask for its name.
  Handle file(win32::FromHandle(
      ::CreateFileW(win32::Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
  if (!file.valid()) return std::string();
  wchar_t buffer[MAX_PATH * 4];
  const DWORD n = ::GetFinalPathNameByHandleW(win32::ToHandle(file.get()), buffer,
                                              MAX_PATH * 4, FILE_NAME_NORMALIZED);
  if (n == 0 || n >= MAX_PATH * 4) {
    wchar_t full[MAX_PATH];
    const DWORD m = ::GetFullPathNameW(win32::Wide(path).c_str(), MAX_PATH, full, nullptr);
    return m == 0 || m >= MAX_PATH ? std::string() : win32::Utf8(full, m);
  }
  return WithoutLongPathPrefix(win32::Utf8(buffer, n));
}

bool SameFileName(const std::string& a, const std::string& b) {
  const std::wstring wide_a = win32::Wide(a);
  const std::wstring wide_b = win32::Wide(b);
  return ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, wide_a.data(),
                          static_cast<int>(wide_a.size()), wide_b.data(),
                          static_cast<int>(wide_b.size())) == CSTR_EQUAL;
}

const char* ExecutableSuffix() { return ".exe"; }

const char* JavaProgramName(bool windowed) { return windowed ? "javaw.exe" : "java.exe"; }

const char* JavaServerFolder() { return "bin\\server"; }

std::vector<std::string> SearchPathFolders() {
  std::vector<std::string> folders;
  const std::string path = GetEnvVar("PATH");
  std::string::size_type start = 0;
  while (start <= path.size()) {
    std::string::size_type end = path.find(';', start);
    if (end == std::string::npos) end = path.size();
    std::string folder = path.substr(start, end - start);
    // A folder may be written in quotes to protect a ';' inside it.
    if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"') {
      folder = folder.substr(1, folder.size() - 2);
    }
    if (!folder.empty()) folders.push_back(folder);
    start = end + 1;
  }
  return folders;
}

std::vector<std::string> SystemJavaFolders() { return {}; }

char ClassPathSeparator() { return ';'; }

}  // namespace platform
