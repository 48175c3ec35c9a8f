#include "common/text.h"

#include <cstdio>

namespace kb {
namespace {

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string ToLowerAscii(std::string text) {
  for (char& c : text) c = LowerAscii(c);
  return text;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  return ToLowerAscii(a) == ToLowerAscii(b);
}

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
  if (suffix.size() > text.size()) return false;
  return EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

bool ContainsNoCase(const std::string& text, const std::string& needle) {
  return ToLowerAscii(text).find(ToLowerAscii(needle)) != std::string::npos;
}

std::string TrimWhitespace(const std::string& text) {
  return TrimChars(text, " \t\n\v\f\r");
}

std::string TrimChars(const std::string& text, const char* chars) {
  const std::string::size_type first = text.find_first_not_of(chars);
  if (first == std::string::npos) return std::string();
  const std::string::size_type last = text.find_last_not_of(chars);
  return text.substr(first, last - first + 1);
}

std::string TrimRightChars(const std::string& text, const char* chars) {
  const std::string::size_type last = text.find_last_not_of(chars);
  if (last == std::string::npos) return std::string();
  return text.substr(0, last + 1);
}

std::string ReplaceAll(std::string text, const std::string& from,
                       const std::string& to) {
  if (from.empty()) return text;
  std::string out;
  out.reserve(text.size());
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type hit = text.find(from, start);
    if (hit == std::string::npos) break;
    out.append(text, start, hit - start);
    out += to;
    start = hit + from.size();
  }
  out.append(text, start, std::string::npos);
  return out;
}

std::string RemoveAll(std::string text, const std::string& piece) {
  return ReplaceAll(std::move(text), piece, std::string());
}

std::string BeforeLast(const std::string& text, char c) {
  const std::string::size_type pos = text.rfind(c);
  if (pos == std::string::npos) return std::string();
  return text.substr(0, pos);
}

std::string IntToString(long long value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%lld", value);
  return buffer;
}

std::size_t Utf8SequenceLength(const std::string& text, std::size_t i) {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  std::size_t length;
  unsigned long code;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const unsigned char c = static_cast<unsigned char>(text[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    code = (code << 6) | (c & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not valid.
  if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10FFFF ||
      (code >= 0xD800 && code <= 0xDFFF)) {
    return 0;
  }
  return length;
}

unsigned LoneSurrogateAt(const std::string& text, std::size_t i) {
  if (i + 3 > text.size()) return 0;
  const unsigned char b0 = static_cast<unsigned char>(text[i]);
  const unsigned char b1 = static_cast<unsigned char>(text[i + 1]);
  const unsigned char b2 = static_cast<unsigned char>(text[i + 2]);
  if (b0 != 0xED || b1 < 0xA0 || b1 > 0xBF || (b2 & 0xC0) != 0x80) return 0;
  return 0xD000u | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu);
}

}  // namespace kb
