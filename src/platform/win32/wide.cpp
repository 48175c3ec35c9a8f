#include "platform/win32/wide.h"

#include <vector>

#include "common/text.h"

namespace platform {
namespace win32 {

std::wstring Wide(const std::string& utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t length = kb::Utf8SequenceLength(utf8, i);
    if (length == 0) {
      const unsigned lone = kb::LoneSurrogateAt(utf8, i);
      out += static_cast<wchar_t>(lone != 0 ? lone : 0xFFFD);
      i += lone != 0 ? 3 : 1;
      continue;
    }
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<wchar_t>(0xD800 + (code >> 10));
      out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<wchar_t>(code);
    }
    i += length;
  }
  return out;
}

std::string Utf8(const wchar_t* text, std::size_t length) {
  std::string out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    char32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00);
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      // A lone surrogate takes this form too.
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

namespace {

bool IsUtf8Page(UINT page) {
  return page == CP_UTF8 || (page == CP_ACP && ::GetACP() == CP_UTF8) ||
         (page == CP_OEMCP && ::GetOEMCP() == CP_UTF8);
}

// One character (one or two UTF-16 units) in the page, exactly or not at all.
bool HoldsExactly(UINT page, const wchar_t* unit, int count, std::string* out) {
  char buffer[8];
  BOOL used_default = FALSE;
  const int n = ::WideCharToMultiByte(page, WC_NO_BEST_FIT_CHARS, unit, count, buffer,
                                      sizeof buffer, nullptr, &used_default);
  if (n <= 0 || used_default) return false;
  if (out != nullptr) out->append(buffer, static_cast<std::size_t>(n));
  return true;
}

int UnitsOfCharacter(const std::wstring& text, std::size_t i) {
  const wchar_t c = text[i];
  return c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                 text[i + 1] <= 0xDFFF
             ? 2
             : 1;
}

}  // namespace

std::string ToCodePage(UINT page, const std::wstring& text, bool* exact) {
  if (exact != nullptr) *exact = true;
  if (text.empty()) return std::string();
  if (IsUtf8Page(page)) {
    // Flags and a default character are invalid for UTF-8, which holds
    // every character anyway.
    const int size = static_cast<int>(text.size());
    const int n = ::WideCharToMultiByte(page, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) {
      if (exact != nullptr) *exact = false;
      return std::string();
    }
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(page, 0, text.data(), size, &out[0], n, nullptr, nullptr);
    return out;
  }
  // Character by character, so that a character the page cannot hold is
  // one "?" and never a best-fit look-alike ("Ελλάδα" must not become
  // "????da").
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const int units = UnitsOfCharacter(text, i);
    if (text[i] < 0x80) {
      out += static_cast<char>(text[i]);
    } else if (!HoldsExactly(page, &text[i], units, &out)) {
      out += '?';
      if (exact != nullptr) *exact = false;
    }
    i += static_cast<std::size_t>(units);
  }
  return out;
}

std::wstring FromCodePage(UINT page, const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(page, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(page, 0, text.data(), size, &wide[0], length);
  return wide;
}

char32_t FirstUnholdable(UINT page, const std::wstring& text) {
  if (IsUtf8Page(page)) return 0;
  for (std::size_t i = 0; i < text.size();) {
    const int units = UnitsOfCharacter(text, i);
    if (text[i] >= 0x80 && !HoldsExactly(page, &text[i], units, nullptr)) {
      if (units == 1) return static_cast<char32_t>(text[i]);
      return 0x10000 + ((static_cast<char32_t>(text[i]) - 0xD800) << 10) +
             (static_cast<char32_t>(text[i + 1]) - 0xDC00);
    }
    i += static_cast<std::size_t>(units);
  }
  return 0;
}

int ShortPath(const std::wstring& path, std::wstring* short_path) {
  std::vector<wchar_t> buffer(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD n =
        ::GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return LastError();
    // On overflow the answer is the size needed, terminator included.
    if (n < buffer.size()) {
      short_path->assign(buffer.data(), n);
      return 0;
    }
    buffer.assign(n, L'\0');
  }
  return ERROR_INSUFFICIENT_BUFFER;
}

}  // namespace win32
}  // namespace platform
