#include "platform/handle.h"

#include "platform/win32/windows_api.h"

namespace platform {

int CloseNative(std::intptr_t value) {
  return ::CloseHandle(win32::ToHandle(value)) ? 0 : win32::LastError();
}

}  // namespace platform
