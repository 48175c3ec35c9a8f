#include "config/ini_file.h"

#include "common/constants.h"
#include "platform/profile.h"
#include "platform/system_version.h"

namespace kb {
namespace {

// The buffer the lookups read into: longer values are cut to 4095 bytes.
constexpr std::size_t kIniBufferSize = 4096;
// No key list comes near this; it only bounds the growth.
constexpr std::size_t kLongestKeyList = std::size_t(1) << 30;

}  // namespace

std::vector<std::string> SplitKeyList(const std::string& list) {
  std::vector<std::string> names;
  std::string::size_type pos = 0;
  while (pos < list.size()) {
    std::string::size_type nul = list.find('\0', pos);
    if (nul == std::string::npos) nul = list.size();
    if (nul == pos) break;  // an empty name ends a NUL-terminated walk
    names.push_back(list.substr(pos, nul - pos));
    pos = nul + 1;
  }
  return names;
}

std::vector<std::string> ReadKeyNames(const std::string& section, const std::string& file,
                                      std::size_t initial_size) {
  std::string list;
  for (std::size_t size = initial_size < 2 ? 2 : initial_size;; size *= 2) {
    const unsigned long count = platform::ReadProfileKeyNames(section, size, file, &list);
    // A list that does not fit is cut to size - 2 bytes; one that fits
    // exactly gives the same count, and the next, larger round tells them
    // apart.
    if (count + 2 < size || size >= kLongestKeyList) break;
  }
  return SplitKeyList(list);
}

int IniKeyExists(const std::string& section, const std::string& key,
                 const std::string& file) {
  for (const std::string& name : ReadKeyNames(section, file, kIniBufferSize)) {
    if (name == key) return 1;
  }
  return 0;
}

std::vector<std::string> LookupSections(const std::string& platform_tag) {
  if (platform::GetSystemKind() == platform::SystemKind::kWindows) {
    return {platform_tag, kSectionWindows, kSectionDefault};
  }
  return {kSectionLinux, platform_tag, kSectionDefault};
}

std::string ReadIniValueIn(const std::vector<std::string>& sections, const std::string& key,
                           const std::string& file) {
  for (const std::string& section : sections) {
    std::string value;
    if (platform::ReadProfileString(section, key, kIniBufferSize, file, &value) > 0) {
      return value;
    }
    if (IniKeyExists(section, key, file)) return kPresentButEmpty;
  }
  return std::string();
}

std::string ReadIniValue(const std::string& platform_tag, const std::string& key,
                         const std::string& file) {
  return ReadIniValueIn(LookupSections(platform_tag), key, file);
}

}  // namespace kb
