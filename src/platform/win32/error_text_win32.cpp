#include "platform/error_codes.h"

#include <string>

#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {

std::string ErrorText(int error) {
  if (error == 0) return std::string();
  // Wide: the system's text may be in a language the code page cannot hold.
  wchar_t buffer[512];
  const DWORD size = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, static_cast<DWORD>(error), 0, buffer, 512, nullptr);
  std::string text = win32::Utf8(buffer, size);
  // The system's text ends in a period and CR LF.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                           text.back() == '.')) {
    text.pop_back();
  }
  return text;
}

}  // namespace platform
