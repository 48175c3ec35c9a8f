#include <fcntl.h>
#include <unistd.h>

#include "platform/append_file.h"
#include "platform/io.h"

namespace platform {

AppendFile AppendFile::Open(const std::string& path) {
  AppendFile file;
  if (path.empty()) return file;
  // O_NOFOLLOW: a symbolic link planted where the log is to be created is
  // never written through. Mode 0600: logs may hold command lines.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                        0600);
  if (fd >= 0) file.handle_ = Handle(fd);
  return file;
}

bool AppendFile::Write(const char* data, std::size_t size) {
  return handle_.valid() && WriteAll(handle_, data, size);
}

}  // namespace platform
