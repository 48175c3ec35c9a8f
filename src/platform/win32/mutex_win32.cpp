#include "platform/mutex.h"

#include "platform/win32/windows_api.h"

namespace platform {

ProbeResult ProbeNamedMutex(const std::string& name, int* error) {
  // OpenMutexA only opens: a probe of a free name leaves it free, so a
  // launcher checking at the same moment cannot mistake the probe for a
  // running application.
  HANDLE mutex = ::OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
  if (mutex != nullptr) {
    ::CloseHandle(mutex);
    *error = 0;
    return ProbeResult::kExists;
  }
  *error = win32::LastError();
  return *error == ERROR_FILE_NOT_FOUND ? ProbeResult::kAbsent
                                        : ProbeResult::kFailed;
}

Handle CreateNamedMutex(const std::string& name, bool initially_owned,
                        int* error) {
  // Success does not promise to clear the last error, and only 183 after a
  // successful call means "existed": start from 0 so a new name reads 0.
  ::SetLastError(ERROR_SUCCESS);
  HANDLE mutex =
      ::CreateMutexA(nullptr, initially_owned ? TRUE : FALSE, name.c_str());
  // Read at once: any later call may overwrite it.
  *error = win32::LastError();
  // CreateMutexA fails with NULL, not INVALID_HANDLE_VALUE.
  return Handle(win32::FromNullable(mutex));
}

int CheckMutexFolder(MutexFolderReport* report) {
  *report = MutexFolderReport();
  return 0;
}

}  // namespace platform
