#include "platform/ui.h"

#include <vector>

#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {

namespace {
constexpr int kFirstBufferSize = 256;
// A string-table entry holds at most 65,535 UTF-16 units.
constexpr int kLargestBufferSize = 1 << 17;
}  // namespace

std::string LoadResourceString(int id) {
  using LoadString = int(WINAPI*)(HINSTANCE, UINT, LPWSTR, int);
  static const LoadString load = win32::LateBound<LoadString>("user32.dll", "LoadStringW");
  if (load == nullptr) return std::string();
  HINSTANCE module = ::GetModuleHandleW(nullptr);
  // LoadStringW truncates silently and answers size - 1 then, so a full
  // buffer may hide more text: retry with a larger one.
  for (int size = kFirstBufferSize; size <= kLargestBufferSize; size *= 2) {
    std::vector<wchar_t> buffer(static_cast<std::size_t>(size), L'\0');
    const int length = load(module, static_cast<UINT>(id), buffer.data(), size);
    if (length <= 0) return std::string();  // no such id
    if (length < size - 1) return win32::Utf8(buffer.data(), static_cast<std::size_t>(length));
  }
  return std::string();
}

void ShowMessageBox(const std::string& text, const std::string& caption) {
  using MessageBox = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
  static const MessageBox show = win32::LateBound<MessageBox>("user32.dll", "MessageBoxW");
  if (show != nullptr) show(nullptr, win32::Wide(text).c_str(), win32::Wide(caption).c_str(), 0);
}

}  // namespace platform
