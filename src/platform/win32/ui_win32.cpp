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

namespace {

int ShowBox(const std::string& text, const std::string& caption, UINT type) {
  using MessageBox = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
  // Late bound, so that a console launcher that never shows a box never
  // loads user32.
  static const MessageBox show = win32::LateBound<MessageBox>("user32.dll", "MessageBoxW");
  if (show == nullptr) return 0;
  return show(nullptr, win32::Wide(text).c_str(), win32::Wide(caption).c_str(), type);
}

}  // namespace

void ShowMessageBox(const std::string& text, const std::string& caption) {
  (void)ShowBox(text, caption, 0);  // a box with one button answers nothing
}

bool AskYesNo(const std::string& text, const std::string& question, const std::string& caption) {
  return ShowBox(text + "\n\n" + question, caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

int OpenAddress(const std::string& address) {
  using ShellExecute = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
  static const ShellExecute open =
      win32::LateBound<ShellExecute>("shell32.dll", "ShellExecuteW");
  if (open == nullptr) return ERROR_PROC_NOT_FOUND;
  // ShellExecuteW answers a number above 32 for success, and an old-style
  // code at or below it for failure; the thread's last error is the
  // system code for it.
  ::SetLastError(0);
  const HINSTANCE done = open(nullptr, L"open", win32::Wide(address).c_str(), nullptr, nullptr,
                              SW_SHOWNORMAL);
  if (reinterpret_cast<INT_PTR>(done) > 32) return 0;
  const DWORD error = ::GetLastError();
  return error != 0 ? static_cast<int>(error) : ERROR_NO_ASSOCIATION;
}

}  // namespace platform
