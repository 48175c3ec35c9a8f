#include "config/ini_file.h"

#include <functional>

#include "common/constants.h"
#include "platform/profile.h"
#include "platform/profile_reader.h"
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

namespace {

// The two questions every lookup asks, of a file by its name or of a file's
// bytes read once (ProfileReader): the same answers either way.
struct IniSource {
  std::function<unsigned long(const std::string&, const std::string&, std::size_t, std::string*)>
      read_string;
  std::function<unsigned long(const std::string&, std::size_t, std::string*)> read_names;
};

IniSource SourceOf(const std::string& file) {
  return IniSource{[&file](const std::string& section, const std::string& key, std::size_t size,
                           std::string* value) {
                     return platform::ReadProfileString(section, key, size, file, value);
                   },
                   [&file](const std::string& section, std::size_t size, std::string* names) {
                     return platform::ReadProfileKeyNames(section, size, file, names);
                   }};
}

IniSource SourceOf(const platform::ProfileReader& reader) {
  return IniSource{
      [&reader](const std::string& section, const std::string& key, std::size_t size,
                std::string* value) { return reader.ReadString(section, key, size, value); },
      [&reader](const std::string& section, std::size_t size, std::string* names) {
        return reader.ReadKeyNames(section, size, names);
      }};
}

std::vector<std::string> KeyNamesOf(const IniSource& source, const std::string& section,
                                    std::size_t initial_size) {
  std::string list;
  for (std::size_t size = initial_size < 2 ? 2 : initial_size;; size *= 2) {
    const unsigned long count = source.read_names(section, size, &list);
    // A list that does not fit is cut to size - 2 bytes; one that fits
    // exactly gives the same count, and the next, larger round tells them
    // apart.
    if (count + 2 < size || size >= kLongestKeyList) break;
  }
  return SplitKeyList(list);
}

std::string SectionValueOf(const IniSource& source, const std::string& section,
                           const std::string& key) {
  std::string value;
  if (source.read_string(section, key, kIniBufferSize, &value) > 0) return value;
  for (const std::string& name : KeyNamesOf(source, section, kIniBufferSize)) {
    if (name == key) return kPresentButEmpty;
  }
  return std::string();
}

std::string ValueInOf(const IniSource& source, const std::vector<std::string>& sections,
                      const std::string& key) {
  for (const std::string& section : sections) {
    std::string value = SectionValueOf(source, section, key);
    if (!value.empty()) return value;
  }
  return std::string();
}

}  // namespace

std::vector<std::string> ReadKeyNames(const std::string& section, const std::string& file,
                                      std::size_t initial_size) {
  return KeyNamesOf(SourceOf(file), section, initial_size);
}

int IniKeyExists(const std::string& section, const std::string& key,
                 const std::string& file) {
  for (const std::string& name : ReadKeyNames(section, file, kIniBufferSize)) {
    if (name == key) return 1;
  }
  return 0;
}

std::string ReadSectionValue(const std::string& section, const std::string& key,
                             const std::string& file) {
  return SectionValueOf(SourceOf(file), section, key);
}

std::string ReadSectionValue(const std::string& section, const std::string& key,
                             const platform::ProfileReader& reader) {
  return SectionValueOf(SourceOf(reader), section, key);
}

std::vector<std::string> LookupSections(const std::string& platform_tag) {
  if (platform::GetSystemKind() == platform::SystemKind::kWindows) {
    return {platform_tag, kSectionWindows, kSectionDefault};
  }
  return {kSectionLinux, platform_tag, kSectionDefault};
}

std::string ReadIniValueIn(const std::vector<std::string>& sections, const std::string& key,
                           const std::string& file) {
  return ValueInOf(SourceOf(file), sections, key);
}

std::string ReadIniValueIn(const std::vector<std::string>& sections, const std::string& key,
                           const platform::ProfileReader& reader) {
  return ValueInOf(SourceOf(reader), sections, key);
}

std::string ReadIniValue(const std::string& platform_tag, const std::string& key,
                         const std::string& file) {
  return ReadIniValueIn(LookupSections(platform_tag), key, file);
}

std::string ReadIniValue(const std::string& platform_tag, const std::string& key,
                         const platform::ProfileReader& reader) {
  return ReadIniValueIn(LookupSections(platform_tag), key, reader);
}

}  // namespace kb
