#include <string>
#include <vector>

#include "platform/profile.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// GetPrivateProfileStringW takes a DWORD size; a caller's size_t beyond it
// cannot be a real buffer.
DWORD ToDword(std::size_t size) {
  return size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(size);
}

}  // namespace

// The wide service reads an ANSI file through the ANSI code page and a
// UTF-16LE file as it is, so both give their characters; sizes and counts
// are in UTF-16 units, and the text handed back is UTF-8.
unsigned long ReadProfileString(const std::string& section, const std::string& key,
                                std::size_t size, const std::string& file,
                                std::string* value) {
  value->clear();
  // A one-unit scratch keeps the pointer valid for a zero size.
  std::vector<wchar_t> buffer(size == 0 ? 1 : size, L'\0');
  const DWORD count = ::GetPrivateProfileStringW(
      win32::Wide(section).c_str(), win32::Wide(key).c_str(), nullptr, buffer.data(),
      ToDword(size), win32::Wide(file).c_str());
  if (count > 0 && count < buffer.size()) *value = win32::Utf8(buffer.data(), count);
  return count;
}

unsigned long ReadProfileKeyNames(const std::string& section, std::size_t size,
                                  const std::string& file, std::string* names) {
  names->clear();
  std::vector<wchar_t> buffer(size == 0 ? 1 : size, L'\0');
  // A null key asks for the section's key names. Under Wine a cut list
  // leaves the buffer's last unit unwritten, so only `count` units are
  // taken, never a walk to a double NUL. The NULs between names convert
  // to NUL bytes.
  const DWORD count = ::GetPrivateProfileStringW(win32::Wide(section).c_str(), nullptr, nullptr,
                                                 buffer.data(), ToDword(size),
                                                 win32::Wide(file).c_str());
  if (count > 0 && count <= buffer.size()) *names = win32::Utf8(buffer.data(), count);
  return count;
}

}  // namespace platform
