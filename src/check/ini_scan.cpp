#include "check/ini_scan.h"

#include "common/text.h"
#include "config/ini_file.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace kb {
namespace check {

IniScan::IniScan(const std::string& path) : path_(path) {
  std::string bytes;
  if (platform::ReadRegularFile(path, static_cast<std::size_t>(-1), &bytes) != 0) return;
  Parse(bytes);
}

std::vector<std::size_t> LinesWithUtf8Sequences(const std::string& bytes) {
  std::vector<std::size_t> lines;
  std::size_t number = 1;
  bool marked = false;
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '\r' || c == '\n') {
      // Counted as the reader counts: CR LF, a lone LF and a lone CR.
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      ++i;
      ++number;
      marked = false;
      continue;
    }
    const std::size_t length = Utf8SequenceLength(bytes, i);
    if (length > 1) {
      if (!marked) lines.push_back(number);
      marked = true;
      i += length;
    } else {
      ++i;
    }
  }
  return lines;
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
  // Without a mark the system reads the file in its code page (Windows:
  // ANSI): the scan reads it the same way, and notes the lines whose bytes
  // form UTF-8 sequences, which that reading turns into other characters.
  const std::string text = utf8_bom_ ? bytes : platform::SystemTextToUtf8(bytes);
  if (text != bytes) utf8_lines_ = LinesWithUtf8Sequences(bytes);
  reader_ = platform::ProfileReader(text);
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
  for (const std::string& section : LookupSections(platform)) {
    const std::size_t line = LineOf(section, key);
    if (line > 0) return line;
  }
  return 0;
}

}  // namespace check
}  // namespace kb
