#include <string>
#include <vector>

#include "platform/handle.h"
#include "platform/java_places.h"
#include "platform/system.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// Owner of an open registry key.
class RegKey {
 public:
  RegKey(const std::string& path, RegistryView view) {
    const REGSAM wow = view == RegistryView::k64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | wow, &key_) !=
        ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  ~RegKey() {
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// GetFinalPathNameByHandleA answers "\\?\C:\x" or "\\?\UNC\srv\share\x".
std::string WithoutLongPathPrefix(const std::string& path) {
  if (path.compare(0, 8, "\\\\?\\UNC\\") == 0) return "\\\\" + path.substr(8);
  if (path.compare(0, 4, "\\\\?\\") == 0) return path.substr(4);
  return path;
}

}  // namespace

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE find = ::FindFirstFileA((path + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = data.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (::FindNextFileA(find, &data) != FALSE);
  ::FindClose(find);
  return names;
}

std::string ResolveLinks(const std::string& path) {
  if (path.empty()) return std::string();
  // FILE_FLAG_BACKUP_SEMANTICS lets a folder be opened as well as a file;
  // no access rights are needed to ask for its name.
  Handle file(win32::FromHandle(::CreateFileA(
      path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
  if (!file.valid()) return std::string();
  char buffer[MAX_PATH * 4];
  const DWORD n = ::GetFinalPathNameByHandleA(win32::ToHandle(file.get()), buffer,
                                              sizeof buffer, FILE_NAME_NORMALIZED);
  if (n == 0 || n >= sizeof buffer) {
    char full[MAX_PATH];
    const DWORD m = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return m == 0 || m >= sizeof full ? std::string() : std::string(full, m);
  }
  return WithoutLongPathPrefix(std::string(buffer, n));
}

bool SameFileName(const std::string& a, const std::string& b) {
  return ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(),
                          static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}

const char* ExecutableSuffix() { return ".exe"; }

const char* JavaProgramName(bool windowed) { return windowed ? "javaw.exe" : "java.exe"; }

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

bool HasRegistry() { return true; }

std::vector<std::string> RegistrySubkeys(const std::string& path, RegistryView view) {
  std::vector<std::string> names;
  RegKey key(path, view);
  if (key.get() == nullptr) return names;
  for (DWORD index = 0;; ++index) {
    char name[256];  // the longest key name the registry allows is 255
    DWORD size = sizeof name;
    const LONG rc =
        ::RegEnumKeyExA(key.get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(name, size);
  }
  return names;
}

std::string RegistryString(const std::string& path, const std::string& name,
                           RegistryView view) {
  RegKey key(path, view);
  if (key.get() == nullptr) return std::string();
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0) {
    return std::string();
  }
  std::string value(size, '\0');
  if (::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(&value[0]), &size) != ERROR_SUCCESS) {
    return std::string();
  }
  // The stored value need not end in a NUL, and may end in more than one.
  value.resize(size);
  const std::string::size_type nul = value.find('\0');
  if (nul != std::string::npos) value.resize(nul);
  return value;
}

}  // namespace platform
