#include "platform/mutex.h"

#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {

int ProbeNamedMutex(const std::string& name, bool* exists) {
  // OpenMutexW only opens: a probe of a free name leaves it free, so a
  // launcher checking at the same moment cannot mistake the probe for a
  // running application.
  HANDLE mutex = ::OpenMutexW(SYNCHRONIZE, FALSE, win32::Wide(name).c_str());
  *exists = mutex != nullptr;
  if (mutex != nullptr) {
    ::CloseHandle(mutex);
    return 0;
  }
  const int error = win32::LastError();
  return error == ERROR_FILE_NOT_FOUND ? 0 : error;
}

int CreateNamedMutex(const std::string& name, bool initially_owned, Handle* mutex,
                     bool* existed) {
  // Success does not promise to clear the last error, and only 183 after a
  // successful call means "existed": start from 0 so a new name reads 0.
  ::SetLastError(ERROR_SUCCESS);
  HANDLE created =
      ::CreateMutexW(nullptr, initially_owned ? TRUE : FALSE, win32::Wide(name).c_str());
  // Read at once: any later call may overwrite it.
  const int error = win32::LastError();
  if (existed != nullptr) *existed = created != nullptr && error == ERROR_ALREADY_EXISTS;
  // CreateMutexW fails with NULL, not INVALID_HANDLE_VALUE.
  *mutex = Handle(win32::FromNullable(created));
  if (created != nullptr) return 0;
  // A failure that left no code behind is still a failure.
  return error != 0 ? error : ERROR_INVALID_HANDLE;
}

int CheckMutexFolder(MutexFolderReport* report) {
  *report = MutexFolderReport();
  return 0;
}

}  // namespace platform
