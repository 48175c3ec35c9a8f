#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "platform/handle.h"
#include "platform/profile.h"
#include "platform/profile_reader.h"
#include "platform/text.h"
#include "platform/win32/long_path.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// GetPrivateProfileStringW takes a DWORD size; a caller's size_t beyond it
// cannot be a real buffer.
DWORD ToDword(std::size_t size) {
  return size > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(size);
}

// The service reads whatever the name opens and waits while it reads: a
// pipe or the console would hold the launcher for ever. The file is handed
// to it only once it has been opened, without waiting, as a regular file.
// A relative name is therefore looked for in the current folder, never in
// the Windows folder where the service would look. Opening costs far more
// than the lookup itself (2,000 numbered keys, each read several times), so
// a file once found regular is opened again only when its attributes, size
// or time of last write change; asking for those opens nothing.
bool IsReadableFile(const std::string& file) {
  static std::mutex lock;
  static std::map<std::string, WIN32_FILE_ATTRIBUTE_DATA> regular;
  WIN32_FILE_ATTRIBUTE_DATA now;
  if (!::GetFileAttributesExW(win32::Wide(file).c_str(), GetFileExInfoStandard, &now) ||
      (now.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  std::lock_guard<std::mutex> guard(lock);
  const auto it = regular.find(file);
  if (it != regular.end() && now.dwFileAttributes == it->second.dwFileAttributes &&
      now.nFileSizeHigh == it->second.nFileSizeHigh &&
      now.nFileSizeLow == it->second.nFileSizeLow &&
      ::CompareFileTime(&now.ftLastWriteTime, &it->second.ftLastWriteTime) == 0) {
    return true;
  }
  Handle opened;
  if (OpenRegularFile(file, &opened, nullptr) != 0) return false;
  // A few files per run (configuration and master file); bounded all the
  // same for tools and tests that read many.
  if (regular.size() >= 16) regular.clear();
  regular[file] = now;
  return true;
}

bool SameAttributes(const WIN32_FILE_ATTRIBUTE_DATA& a, const WIN32_FILE_ATTRIBUTE_DATA& b) {
  return a.dwFileAttributes == b.dwFileAttributes && a.nFileSizeHigh == b.nFileSizeHigh &&
         a.nFileSizeLow == b.nFileSizeLow &&
         ::CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime) == 0;
}

// The service takes only a path whose full form fits in MAX_PATH; for a
// longer one every key reads as absent. Such a file is read by its
// long-path form and answered by the project's own reader, which gives the
// ANSI service's answers byte for byte: fed the file's text in UTF-8 (an
// ANSI file converted from the code page as the wide service converts it,
// a UTF-16LE one decoded by the reader) and counting UTF-16 units, it gives
// the wide service's. The parsed file is kept while its attributes, size
// and time of last write stay the same. Null: no readable regular file.
std::shared_ptr<const ProfileReader> LongPathReader(const std::string& file) {
  static std::mutex lock;
  struct Cached {
    WIN32_FILE_ATTRIBUTE_DATA seen;
    std::shared_ptr<const ProfileReader> reader;
  };
  static std::map<std::string, Cached> cache;
  WIN32_FILE_ATTRIBUTE_DATA now;
  if (!::GetFileAttributesExW(win32::OpenablePath(file).c_str(), GetFileExInfoStandard, &now) ||
      (now.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(lock);
  const auto it = cache.find(file);
  if (it != cache.end() && SameAttributes(now, it->second.seen)) return it->second.reader;
  std::string bytes;
  if (ReadRegularFile(file, static_cast<std::size_t>(-1), &bytes) != 0) return nullptr;
  const bool utf16 = bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE';
  auto reader = std::make_shared<const ProfileReader>(utf16 ? bytes : SystemTextToUtf8(bytes),
                                                      ProfileUnits::kUtf16);
  if (cache.size() >= 16) cache.clear();
  cache[file] = Cached{now, reader};
  return reader;
}

}  // namespace

// The wide service reads an ANSI file through the ANSI code page and a
// UTF-16LE file as it is, so both give their characters; sizes and counts
// are in UTF-16 units, and the text handed back is UTF-8.
unsigned long ReadProfileString(const std::string& section, const std::string& key,
                                std::size_t size, const std::string& file,
                                std::string* value) {
  value->clear();
  if (win32::ExceedsMaxPath(file)) {
    const auto reader = LongPathReader(file);
    return reader ? reader->ReadString(section, key, size, value) : 0;
  }
  if (!IsReadableFile(file)) return 0;
  // A one-unit scratch keeps the pointer valid for a zero size.
  std::vector<wchar_t> buffer(size == 0 ? 1 : size, L'\0');
  const DWORD count = ::GetPrivateProfileStringW(
      win32::Wide(section).c_str(), win32::Wide(key).c_str(), nullptr, buffer.data(),
      ToDword(size), win32::Wide(file).c_str());
  if (count > 0 && count < buffer.size()) {
    // A value cut at the buffer's end inside a surrogate pair keeps only
    // whole characters: the lone first half is dropped, never written.
    const wchar_t last = buffer[count - 1];
    const bool cut_pair = count + 1 == buffer.size() && last >= 0xD800 && last <= 0xDBFF;
    *value = win32::Utf8(buffer.data(), cut_pair ? count - 1 : count);
  }
  return count;
}

unsigned long ReadProfileKeyNames(const std::string& section, std::size_t size,
                                  const std::string& file, std::string* names) {
  names->clear();
  if (win32::ExceedsMaxPath(file)) {
    const auto reader = LongPathReader(file);
    return reader ? reader->ReadKeyNames(section, size, names) : 0;
  }
  if (!IsReadableFile(file)) return 0;
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

ProfileReader ProfileOfBytes(const std::string& bytes) {
  // The reader itself turns a UTF-16LE file into UTF-8.
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    return ProfileReader(bytes);
  }
  // The wide service skips a UTF-8 mark and reads the rest as UTF-8, and
  // reads any other file through the ANSI code page.
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return ProfileReader(bytes.substr(3));
  return ProfileReader(SystemTextToUtf8(bytes));
}

}  // namespace platform
