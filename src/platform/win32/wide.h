// Conversions between the launcher's UTF-8 text and the UTF-16 that the
// wide ("W") system services take. Every name and text that crosses the
// Win32 seam passes through here; nothing outside src/platform/win32 sees
// UTF-16 or a code page.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win32/windows_api.h"

namespace platform {
namespace win32 {

// UTF-8 as UTF-16. A surrogate written alone in three bytes (see
// kb::LoneSurrogateAt) becomes that unit again; any other byte that is not
// part of a valid sequence becomes U+FFFD, so a name never silently loses
// its tail.
std::wstring Wide(const std::string& utf8);
// UTF-16 as UTF-8, every unit kept: a lone surrogate is written in three
// bytes, so that Wide gives it back exactly (an NTFS name may hold one).
std::string Utf8(const wchar_t* text, std::size_t length);
inline std::string Utf8(const std::wstring& text) { return Utf8(text.data(), text.size()); }

// The text in code page `page`, without best-fit look-alikes: each
// character the page cannot hold is written as "?". *exact (may be null)
// tells whether every character was held. Code page 65001 (UTF-8) holds
// everything, and takes no flags and no default character (the others are
// refused for it).
std::string ToCodePage(UINT page, const std::wstring& text, bool* exact);

// Text in code page `page` as UTF-16.
std::wstring FromCodePage(UINT page, const std::string& text);

// The first character of `text` that code page `page` cannot hold (a
// surrogate pair counts as one character), or 0 when it holds them all.
char32_t FirstUnholdable(UINT page, const std::wstring& text);

// The short (8.3) form of an existing path (GetShortPathNameW). Returns 0,
// or the system error code; a volume without short names answers the long
// name, which the caller tells apart by checking it again.
int ShortPath(const std::wstring& path, std::wstring* short_path);

}  // namespace win32
}  // namespace platform
