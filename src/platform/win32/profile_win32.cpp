#include <string>
#include <vector>

#include "platform/fs.h"
#include "platform/handle.h"
#include "platform/profile.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// GetPrivateProfileStringA takes a DWORD size; a caller's size_t beyond it
// cannot be a real buffer.
DWORD ToDword(std::size_t size) {
  return size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(size);
}

// The service reads whatever the name opens and waits while it reads: a
// pipe or the console would hold the launcher for ever. The file is handed
// to it only once it has been opened, without waiting, as a regular file.
// A relative name is therefore looked for in the current folder, never in
// the Windows folder where the service would look.
bool IsReadableFile(const std::string& file) {
  Handle opened;
  return OpenRegularFile(file, &opened, nullptr) == 0;
}

}  // namespace

unsigned long ReadProfileString(const std::string& section, const std::string& key,
                                std::size_t size, const std::string& file,
                                std::string* value) {
  value->clear();
  if (!IsReadableFile(file)) return 0;
  // A one-byte scratch keeps the pointer valid for a zero size.
  std::vector<char> buffer(size == 0 ? 1 : size, '\0');
  const DWORD count = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), nullptr,
                                                 buffer.data(), ToDword(size), file.c_str());
  if (count > 0 && count < buffer.size()) value->assign(buffer.data(), count);
  return count;
}

unsigned long ReadProfileKeyNames(const std::string& section, std::size_t size,
                                  const std::string& file, std::string* names) {
  names->clear();
  if (!IsReadableFile(file)) return 0;
  std::vector<char> buffer(size == 0 ? 1 : size, '\0');
  // A null key asks for the section's key names. Under Wine a cut list
  // leaves the buffer's last byte unwritten, so only `count` bytes are
  // taken, never a walk to a double NUL.
  const DWORD count = ::GetPrivateProfileStringA(section.c_str(), nullptr, nullptr,
                                                 buffer.data(), ToDword(size), file.c_str());
  if (count > 0 && count <= buffer.size()) names->assign(buffer.data(), count);
  return count;
}

}  // namespace platform
