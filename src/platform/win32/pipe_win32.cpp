#include "platform/pipe.h"

#include "platform/win32/windows_api.h"

namespace platform {

int CreateChildPipe(Pipe* pipe) {
  SECURITY_ATTRIBUTES attributes;
  attributes.nLength = sizeof attributes;  // 12
  attributes.lpSecurityDescriptor = nullptr;
  attributes.bInheritHandle = TRUE;
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!::CreatePipe(&read_end, &write_end, &attributes, 0)) {
    return win32::LastError();
  }
  pipe->read = Handle(win32::FromHandle(read_end));
  pipe->write = Handle(win32::FromHandle(write_end));
  return 0;
}

int MakeNotInheritable(const Handle& handle) {
  if (!::SetHandleInformation(win32::ToHandle(handle.get()),
                              HANDLE_FLAG_INHERIT, 0)) {
    return win32::LastError();
  }
  return 0;
}


}  // namespace platform
