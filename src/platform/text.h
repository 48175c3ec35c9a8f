// Text at the edges of the process: its own arguments, what it writes on
// its standard streams and into its log, and what a child that reads the
// system's 8-bit code page can receive.
//
// Inside, text is UTF-8 on both builds. POSIX passes bytes through as they
// are. Windows takes its arguments as UTF-16 and converts; streams that are
// not a console, and the log, are written in the ANSI code page, so that
// existing logs and the tools that read them stay as they were.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/command_line.h"

namespace platform {

// The process's arguments, its program first, as main received them.
// Windows: the wide command line, split by the C runtime's own rules (the
// rules that split main's 8-bit arguments), converted to UTF-8. POSIX: argv.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Text as it is written to a log file or a stream that is not a console.
// Windows: the ANSI code page, each character it cannot hold written as
// "?" (never a best-fit look-alike). POSIX: unchanged.
std::string ToSystemText(const std::string& utf8);

// The first character (as its Unicode code point) that a program reading
// the ANSI code page cannot receive, or 0 when it can receive all of them.
// POSIX: always 0.
char32_t FirstUnholdable(const std::string& utf8);

// The lead bytes of the ANSI code page: a double-byte page (932, 936, 949,
// 950) has them, so that a program splitting its ANSI command line takes a
// lead byte and the byte after it as one character. POSIX: none.
kb::LeadBytes AnsiLeadBytes();

// The bytes of an argument as a program that reads its command line as
// Unicode receives it: Windows its UTF-16LE units (a lone surrogate
// included); POSIX the bytes unchanged.
std::string UnicodeArgumentBytes(const std::string& utf8);

// "U+65E5": how messages name a character.
std::string CodePointName(char32_t code_point);

// The length of a command line in the units the system counts: Windows
// UTF-16 code units, POSIX bytes.
std::size_t NativeLength(const std::string& utf8);
// What NativeLength counts, as messages name it: "UTF-16 units" or "bytes".
// The configuration lookups count in the same units.
const char* NativeLengthUnit();

// Writes text to standard output or standard error. Windows: on a console
// through the console's wide service, so every character shows; otherwise
// the bytes ToSystemText gives; each line feed as CR LF either way, as the
// C runtime's text mode writes it. POSIX: the bytes unchanged. Returns 0
// or the system error code of the failed write.
enum class StdStream { kOutput, kError };
[[nodiscard]] int WriteStdText(StdStream stream, const std::string& utf8);

// The text in UTF-8. Windows: converted from the ANSI code page. POSIX:
// unchanged (the system's text already is UTF-8 where it is text at all).
std::string SystemTextToUtf8(const std::string& text);

}  // namespace platform
