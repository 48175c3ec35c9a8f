#include "platform/profile_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace platform {
namespace {

// The white space the profile service drops around names and values: the
// ASCII blanks and Ctrl-Z (an old end-of-file mark), nothing above 127.
bool IsProfileSpace(unsigned char c) {
  return c == ' ' || (c >= '\t' && c <= '\r') || c == 0x1A;
}

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The text as the service's C strings see it: cut at the first NUL.
std::string UpToNul(const char* begin, const char* end) {
  const void* nul = std::memchr(begin, '\0', static_cast<std::size_t>(end - begin));
  if (nul != nullptr) end = static_cast<const char*>(nul);
  return std::string(begin, end);
}

void TrimRange(const char** begin, const char** end) {
  while (*begin < *end && IsProfileSpace(static_cast<unsigned char>(**begin))) ++*begin;
  while (*end > *begin && IsProfileSpace(static_cast<unsigned char>((*end)[-1]))) --*end;
}

// Names passed by the caller are trimmed like the file's own.
std::string TrimmedName(const std::string& name) {
  const char* begin = name.data();
  const char* end = begin + name.size();
  TrimRange(&begin, &end);
  return UpToNul(begin, end);
}

bool HasOuterQuotes(const std::string& text) {
  return text.size() >= 2 && (text[0] == '"' || text[0] == '\'') && text.back() == text[0];
}

void AppendUtf8(std::uint32_t code, std::string* out) {
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

std::string Utf16LeToUtf8(const char* p, std::size_t size) {
  std::string out;
  out.reserve(size);
  const auto unit = [p](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(p[i])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(p[i + 1])) << 8;
  };
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const std::uint32_t u = unit(i);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < size) {
      const std::uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        AppendUtf8(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), &out);
        i += 2;
        continue;
      }
    }
    if (u >= 0xD800 && u < 0xE000) {
      out.push_back('?');
    } else {
      AppendUtf8(u, &out);
    }
  }
  return out;
}

std::string ProfileValueOf(const std::string& text) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  TrimRange(&begin, &end);
  std::string value(begin, end);
  if (HasOuterQuotes(value)) value = value.substr(1, value.size() - 2);
  return value;
}

ProfileReader::ProfileReader(const std::string& file_bytes, ProfileUnits units)
    : units_(units) {
  // A UTF-16LE file with a byte-order mark is read as the service reads it;
  // its text reaches the callers in UTF-8 where Windows gives the ANSI code
  // page. Every other file is taken byte for byte: the service honours no
  // other mark (a UTF-8 mark is part of the first line).
  const bool utf16 = file_bytes.size() >= 2 && file_bytes[0] == '\xFF' && file_bytes[1] == '\xFE';
  const std::string decoded =
      utf16 ? Utf16LeToUtf8(file_bytes.data() + 2, file_bytes.size() - 2) : std::string();
  const std::string& bytes = utf16 ? decoded : file_bytes;
  // Lines before the first "[section]" belong to a section without a name,
  // which therefore always comes first.
  sections_.push_back(Section());
  first_section_.emplace(std::string(), 0);

  const char* p = bytes.data();
  const char* const end = p + bytes.size();
  std::size_t number = 1;
  while (p < end) {
    const char* line = p;
    while (p < end && *p != '\r' && *p != '\n') ++p;
    const char* line_end = p;
    AddLine(line, line_end, number);
    // The service treats any run of CR and LF as one break; an editor counts
    // CR LF, a lone LF and a lone CR as one line each.
    while (p < end && (*p == '\r' || *p == '\n')) {
      if (*p == '\r' && p + 1 < end && p[1] == '\n') ++p;
      ++p;
      ++number;
    }
  }
}

void ProfileReader::AddLine(const char* begin, const char* end, std::size_t line) {
  TrimRange(&begin, &end);
  if (begin == end) return;

  if (*begin == '[') {
    const char* close = end;
    while (close > begin && close[-1] != ']') --close;
    if (close > begin) {
      const char* name_begin = begin + 1;
      const char* name_end = close - 1;
      TrimRange(&name_begin, &name_end);
      Section section;
      section.name = UpToNul(name_begin, name_end);
      section.line = line;
      // Only the first section of a name is ever searched.
      first_section_.emplace(LowerAscii(section.name), sections_.size());
      sections_.push_back(std::move(section));
      return;
    }
    // No "]": an ordinary key line of the current section.
  }

  Key key;
  key.line = line;
  bool raw_name_empty = false;
  const char* eq = static_cast<const char*>(
      std::memchr(begin, '=', static_cast<std::size_t>(end - begin)));
  if (eq != nullptr) {
    const char* name_end = eq;
    const char* value_begin = eq + 1;
    const char* value_end = end;
    TrimRange(&begin, &name_end);
    TrimRange(&value_begin, &value_end);
    raw_name_empty = begin == name_end;
    key.name = UpToNul(begin, name_end);
    key.value = UpToNul(value_begin, value_end);
    key.has_value = true;
  } else {
    key.name = UpToNul(begin, end);
  }
  Section& section = sections_.back();
  // A key without a name right after another nameless key is dropped, as
  // the service does: it is neither found nor listed.
  if (raw_name_empty && !section.keys.empty() && section.keys.back().name.empty()) return;
  section.first_key.emplace(LowerAscii(key.name), section.keys.size());
  section.keys.push_back(std::move(key));
}

const ProfileReader::Section* ProfileReader::FindSection(const std::string& name,
                                                        bool trim) const {
  const std::string wanted = trim ? TrimmedName(name) : name.substr(0, name.find('\0'));
  const auto it = first_section_.find(LowerAscii(wanted));
  return it == first_section_.end() ? nullptr : &sections_[it->second];
}

unsigned long ProfileReader::ReadString(const std::string& section_name,
                                        const std::string& key_name, std::size_t size,
                                        std::string* value) const {
  value->clear();
  if (size == 0) return 0;
  const Section* section = FindSection(section_name, true);
  if (section == nullptr) return 0;
  const auto it = section->first_key.find(LowerAscii(TrimmedName(key_name)));
  if (it == section->first_key.end()) return 0;
  const Key& key = section->keys[it->second];
  if (!key.has_value) return 0;

  // One matching pair of quotes is dropped. The closing quote is dropped
  // from what was copied only when the buffer held the whole text after the
  // opening quote: so a buffer one byte too small loses the last real byte
  // instead, as the service does.
  std::string text = key.value;
  bool quoted = false;
  if (HasOuterQuotes(text)) {
    text.erase(0, 1);
    quoted = true;
  }
  const std::size_t length = Length(text);
  std::size_t count = std::min(length, size - 1);
  if (quoted && size >= length && count > 0) --count;
  *value = Prefix(text, count);
  return static_cast<unsigned long>(count);
}

std::size_t ProfileReader::Length(const std::string& text) const {
  if (units_ == ProfileUnits::kBytes) return text.size();
  std::size_t units = 0;
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    // Every byte but a continuation byte starts a character; a four-byte
    // one is a surrogate pair.
    if ((byte & 0xC0) != 0x80) units += byte >= 0xF0 ? 2 : 1;
  }
  return units;
}

std::string ProfileReader::Prefix(const std::string& text, std::size_t count) const {
  if (units_ == ProfileUnits::kBytes) return text.substr(0, count);
  std::size_t units = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    const std::size_t width = byte >= 0xF0 ? 2 : 1;
    if (units + width > count) break;
    units += width;
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
  }
  return text.substr(0, i);
}

unsigned long ProfileReader::ReadKeyNames(const std::string& section_name, std::size_t size,
                                          std::string* names) const {
  names->clear();
  // The key listing takes the caller's section name as it is, blanks and all.
  const Section* section = FindSection(section_name, false);
  if (section == nullptr) return 0;
  std::string list;
  for (const Key& key : section->keys) {
    // Value-less lines and comment lines are not listed.
    if (!key.has_value || (!key.name.empty() && key.name[0] == ';')) continue;
    list += key.name;
    list += '\0';
  }
  // A list that starts with a nameless key reads as an empty answer.
  if (!list.empty() && list[0] == '\0') return 0;
  // The service wants room for the list and two more bytes, although it
  // writes only one final NUL; a list that does not fit is cut to size - 2
  // bytes.
  const std::size_t length = Length(list);
  if (length + 2 <= size) {
    *names = std::move(list);
    return static_cast<unsigned long>(length);
  }
  const std::size_t count = size >= 2 ? size - 2 : 0;
  *names = Prefix(list, count);
  return static_cast<unsigned long>(count);
}

}  // namespace platform
