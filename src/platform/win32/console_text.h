// How text reaches a standard stream: the console's wide service when the
// stream is a console, so that every character shows; bytes in the ANSI
// code page otherwise, so that a file or a pipe gets what it always got.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win32/windows_api.h"

namespace platform {
namespace win32 {

enum class StreamWrite { kNone, kConsoleWide, kCodePageBytes };

// The decision from what the stream answered: whether it is a valid
// handle, its GetFileType, and whether GetConsoleMode succeeded on it. Only
// a character device in console mode is a console: the NUL device is a
// character device too, but takes no console calls.
StreamWrite ChooseStreamWrite(bool valid, DWORD file_type, bool console_mode);

// How many units of text, from `done` on, the next console write takes: at
// most `most`, and never ending between the two units of a surrogate pair,
// which would show as two replacement characters.
std::size_t ConsolePiece(const std::wstring& text, std::size_t done, std::size_t most);

}  // namespace win32
}  // namespace platform
