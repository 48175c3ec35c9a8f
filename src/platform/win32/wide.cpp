#include "platform/win32/wide.h"

#include <vector>

namespace platform {
namespace win32 {

// UTF-8 is one more page for the conversion: an invalid byte becomes U+FFFD
// there, as MB_ERR_INVALID_CHARS is not passed.
std::wstring Wide(const std::string& utf8) { return FromCodePage(CP_UTF8, utf8); }

std::string Utf8(const wchar_t* text, std::size_t length) {
  if (length == 0) return std::string();
  const int size = static_cast<int>(length);
  const int out_length =
      ::WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
  if (out_length <= 0) return std::string();
  std::string out(static_cast<std::size_t>(out_length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, size, &out[0], out_length, nullptr, nullptr);
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
