#include "check/ini_scan.h"

#include "common/text.h"
#include "platform/fs.h"

namespace kb {
namespace check {

IniScan::IniScan(const std::string& path) : path_(path) {
  std::string bytes;
  if (platform::ReadRegularFile(path, static_cast<std::size_t>(-1), &bytes) != 0) return;
  Parse(bytes);
}

IniScan IniScan::FromBytes(const std::string& path, const std::string& bytes) {
  IniScan scan;
  scan.path_ = path;
  scan.Parse(bytes);
  return scan;
}

void IniScan::Parse(const std::string& bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    // Read as Unicode by the service; the names and lines are what matter.
    utf16_ = true;
    reader_ = platform::ProfileReader(platform::Utf16LeToUtf8(bytes.data() + 2, bytes.size() - 2));
    return;
  }
  // Kept: the service does not skip a UTF-8 byte-order mark, which then
  // belongs to the first line.
  utf8_bom_ = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
  reader_ = platform::ProfileReader(bytes);
}

const IniScan::Section* IniScan::FirstSection(const std::string& name) const {
  for (const Section& section : reader_.Sections()) {
    if (section.line > 0 && EqualsNoCase(section.name, name)) return &section;
  }
  return nullptr;
}

const IniScan::Key* IniScan::FirstKey(const std::string& section_name,
                                      const std::string& key) const {
  const Section* section = FirstSection(section_name);
  if (section == nullptr) return nullptr;
  const auto it = section->first_key.find(ToLowerAscii(key));
  return it == section->first_key.end() ? nullptr : &section->keys[it->second];
}

std::size_t IniScan::LineOf(const std::string& section, const std::string& key) const {
  const Key* found = FirstKey(section, key);
  return found == nullptr ? 0 : found->line;
}

std::size_t IniScan::LookupLine(const std::string& platform, const std::string& key) const {
  const std::size_t line = LineOf(platform, key);
  return line > 0 ? line : LineOf("default", key);
}

}  // namespace check
}  // namespace kb
