#include "check/ini_scan.h"

#include <fstream>
#include <iterator>

#include "common/text.h"

namespace kb {
namespace check {
namespace {

void AppendUtf8(unsigned long code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

}  // namespace

std::string Utf16LeToUtf8(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    unsigned long unit =
        static_cast<unsigned char>(bytes[i]) |
        (static_cast<unsigned long>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < bytes.size()) {
      const unsigned long low =
          static_cast<unsigned char>(bytes[i + 2]) |
          (static_cast<unsigned long>(static_cast<unsigned char>(bytes[i + 3])) << 8);
      if (low >= 0xDC00 && low < 0xE000) {
        AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), &out);
        i += 2;
        continue;
      }
    }
    if (unit >= 0xD800 && unit < 0xE000) unit = 0xFFFD;
    AppendUtf8(unit, &out);
  }
  return out;
}

IniScan::IniScan(const std::string& path) : path_(path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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
    reader_ = platform::ProfileReader(Utf16LeToUtf8(bytes.substr(2)));
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
