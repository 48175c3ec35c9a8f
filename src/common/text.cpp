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

}  // namespace kb
