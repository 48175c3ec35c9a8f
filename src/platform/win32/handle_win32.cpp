#include "platform/handle.h"

#include "platform/win32/windows_api.h"

namespace platform {

bool CloseNative(std::intptr_t value) {
  return ::CloseHandle(win32::ToHandle(value)) != FALSE;
}

}  // namespace platform
