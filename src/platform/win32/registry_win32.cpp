#include "platform/registry.h"

#include <string>
#include <vector>

#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// Owner of an open registry key.
class RegKey {
 public:
  RegKey(const std::string& path, RegistryView view) {
    const REGSAM wow = view == RegistryView::k64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, win32::Wide(path).c_str(), 0, KEY_READ | wow, &key_) !=
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

}  // namespace

bool HasRegistry() { return true; }

std::vector<std::string> RegistrySubkeys(const std::string& path, RegistryView view) {
  std::vector<std::string> names;
  RegKey key(path, view);
  if (key.get() == nullptr) return names;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];  // the longest key name the registry allows is 255
    DWORD size = 256;
    const LONG rc =
        ::RegEnumKeyExW(key.get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    names.push_back(win32::Utf8(name, size));
  }
  return names;
}

std::string RegistryString(const std::string& path, const std::string& name, RegistryView view) {
  RegKey key(path, view);
  if (key.get() == nullptr) return std::string();
  const std::wstring wide_name = win32::Wide(name);
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExW(key.get(), wide_name.c_str(), nullptr, &type, nullptr, &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0) {
    return std::string();
  }
  // The size is in bytes; an odd one is rounded up so nothing is cut.
  std::wstring value((size + 1) / sizeof(wchar_t), L'\0');
  if (::RegQueryValueExW(key.get(), wide_name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(&value[0]), &size) != ERROR_SUCCESS) {
    return std::string();
  }
  // The stored value need not end in a NUL, and may end in more than one.
  value.resize(size / sizeof(wchar_t));
  const std::wstring::size_type nul = value.find(L'\0');
  if (nul != std::wstring::npos) value.resize(nul);
  return win32::Utf8(value);
}

}  // namespace platform
