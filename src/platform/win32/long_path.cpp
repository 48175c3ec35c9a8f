#include "platform/win32/long_path.h"

#include <vector>

#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace win32 {

std::wstring FullPath(const std::wstring& path) {
  if (path.empty()) return std::wstring();
  std::vector<wchar_t> buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()),
                                            buffer.data(), nullptr);
    if (length == 0) return std::wstring();
    // On overflow the answer is the size needed, terminator included.
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.assign(length, L'\0');
  }
  return std::wstring();
}

bool ExceedsMaxPath(const std::string& path) {
  const std::wstring full = FullPath(Wide(path));
  return full.size() + 1 > MAX_PATH;
}

std::wstring OpenablePath(const std::string& path) {
  const std::wstring wide = Wide(path);
  if (wide.compare(0, 4, L"\\\\?\\") == 0 || wide.compare(0, 4, L"\\\\.\\") == 0) return wide;
  const std::wstring full = FullPath(wide);
  if (full.empty() || full.size() + 1 <= MAX_PATH) return wide;
  // The full form has "\" only and no "." or ".." parts left.
  if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

}  // namespace win32
}  // namespace platform
