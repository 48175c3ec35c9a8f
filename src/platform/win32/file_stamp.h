// A file's stamp as the system describes an opened file: one reading of
// BY_HANDLE_FILE_INFORMATION for every place that opens files by handle.
#pragma once

#include "platform/fs.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace win32 {

// Size, last write (in seconds and nanoseconds since 1601, as the system
// counts) and the file index that names the file on its volume.
FileStamp StampOfInfo(const BY_HANDLE_FILE_INFORMATION& info);

}  // namespace win32
}  // namespace platform
