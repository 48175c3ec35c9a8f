#include <algorithm>
#include <cwchar>
#include <vector>

#include "platform/text.h"
#include "platform/win32/console_text.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

// The C runtime's own splitter of the wide command line (msvcrt.dll), the
// twin of the one that made main's 8-bit arguments. Not declared by the
// public headers; its last argument points at the runtime's start-up
// record, whose only field is the new-handler mode.
extern "C" int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env,
                                      int expand_wildcards, int* startup_info);

namespace platform {

namespace win32 {

std::size_t ConsolePiece(const std::wstring& text, std::size_t done, std::size_t most) {
  std::size_t piece = std::min(text.size() - done, most);
  const wchar_t last = piece > 1 ? text[done + piece - 1] : 0;
  if (done + piece < text.size() && last >= 0xD800 && last <= 0xDBFF) --piece;
  return piece;
}

StreamWrite ChooseStreamWrite(bool valid, DWORD file_type, bool console_mode) {
  if (!valid) return StreamWrite::kNone;
  if (file_type == FILE_TYPE_CHAR && console_mode) return StreamWrite::kConsoleWide;
  return StreamWrite::kCodePageBytes;
}

}  // namespace win32

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int wide_argc = 0;
  wchar_t** wide_argv = nullptr;
  wchar_t** wide_env = nullptr;
  int new_mode = 0;
  // No wildcard expansion, as for main's arguments.
  if (__wgetmainargs(&wide_argc, &wide_argv, &wide_env, 0, &new_mode) == 0 &&
      wide_argv != nullptr) {
    std::vector<std::string> arguments;
    for (int i = 0; i < wide_argc; ++i) {
      const wchar_t* arg = wide_argv[i] == nullptr ? L"" : wide_argv[i];
      arguments.push_back(win32::Utf8(arg, wcslen(arg)));
    }
    return arguments;
  }
  // The runtime could not split it: main's own arguments, read from the
  // ANSI code page, are the next best.
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i] == nullptr ? "" : argv[i];
    arguments.push_back(win32::Utf8(win32::FromCodePage(CP_ACP, arg)));
  }
  return arguments;
}

std::string ToSystemText(const std::string& utf8) {
  // ASCII text, nearly every log line, needs no conversion.
  for (char c : utf8) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      return win32::ToCodePage(CP_ACP, win32::Wide(utf8), nullptr);
    }
  }
  return utf8;
}

char32_t FirstUnholdable(const std::string& utf8) {
  for (char c : utf8) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      return win32::FirstUnholdable(CP_ACP, win32::Wide(utf8));
    }
  }
  return 0;
}

kb::LeadBytes AnsiLeadBytes() {
  kb::LeadBytes lead;
  for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
    if (::IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(byte)))
      lead.Add(static_cast<unsigned char>(byte));
  }
  return lead;
}

std::string UnicodeArgumentBytes(const std::string& utf8) {
  std::string out;
  for (const wchar_t unit : win32::Wide(utf8)) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>((unit >> 8) & 0xFF);
  }
  return out;
}

std::size_t NativeLength(const std::string& utf8) { return win32::Wide(utf8).size(); }

const char* NativeLengthUnit() { return "UTF-16 units"; }

int WriteStdText(StdStream stream, const std::string& text) {
  std::string utf8;
  utf8.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) utf8 += '\r';
    utf8 += text[i];
  }
  HANDLE handle =
      ::GetStdHandle(stream == StdStream::kOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  const bool valid = handle != nullptr && handle != INVALID_HANDLE_VALUE;
  DWORD mode = 0;
  const DWORD type = valid ? ::GetFileType(handle) : FILE_TYPE_UNKNOWN;
  const bool console = valid && ::GetConsoleMode(handle, &mode) != FALSE;
  switch (win32::ChooseStreamWrite(valid, type, console)) {
    case win32::StreamWrite::kNone:
      // No stream: GetStdHandle answers null without setting an error.
      return ERROR_INVALID_HANDLE;
    case win32::StreamWrite::kConsoleWide: {
      const std::wstring wide = win32::Wide(utf8);
      std::size_t done = 0;
      while (done < wide.size()) {
        // Large console writes fail before Windows 8; a piece at a time.
        const DWORD piece = static_cast<DWORD>(win32::ConsolePiece(wide, done, 8192));
        DWORD written = 0;
        if (!::WriteConsoleW(handle, wide.data() + done, piece, &written, nullptr)) {
          return win32::LastError();
        }
        if (written == 0) return ERROR_WRITE_FAULT;
        done += written;
      }
      return 0;
    }
    case win32::StreamWrite::kCodePageBytes: {
      const std::string bytes = ToSystemText(utf8);
      std::size_t done = 0;
      while (done < bytes.size()) {
        DWORD written = 0;
        if (!::WriteFile(handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done),
                         &written, nullptr)) {
          return win32::LastError();
        }
        if (written == 0) return ERROR_WRITE_FAULT;
        done += written;
      }
      return 0;
    }
  }
  return ERROR_INVALID_HANDLE;
}

std::string SystemTextToUtf8(const std::string& text) {
  if (text.empty()) return text;
  const int size = static_cast<int>(text.size());
  const int wide_size = ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  if (wide_size <= 0) return text;
  std::vector<wchar_t> wide(static_cast<std::size_t>(wide_size));
  ::MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), wide_size);
  const int out_size =
      ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_size, nullptr, 0, nullptr, nullptr);
  if (out_size <= 0) return text;
  std::string out(static_cast<std::size_t>(out_size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_size, &out[0], out_size, nullptr, nullptr);
  return out;
}

}  // namespace platform
