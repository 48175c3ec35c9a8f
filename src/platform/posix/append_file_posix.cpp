#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/append_file.h"
#include "platform/error_codes.h"
#include "platform/io.h"

namespace platform {

int AppendFile::Open(const std::string& path, AppendMode mode, AppendFile* file) {
  *file = AppendFile();
  if (path.empty()) return ENOENT;
  int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC;
  // O_NOFOLLOW: a symbolic link planted where the launcher's own file is to
  // be created is never written through.
  if (mode != AppendMode::kNamed) flags |= O_NOFOLLOW;
  if (mode == AppendMode::kNew) flags |= O_EXCL;
  // Mode 0600: logs may hold command lines.
  const int fd = ::open(path.c_str(), flags, 0600);
  if (fd < 0) return mode == AppendMode::kNew && errno == EEXIST ? kErrorFileExists : errno;
  file->handle_ = Handle(fd);
  return 0;
}

int AppendFile::Write(const char* data, std::size_t size) {
  return handle_.valid() ? WriteAll(handle_, data, size) : EBADF;
}

int AppendFile::Write(const char* head, std::size_t head_size, const char* rest,
                      std::size_t rest_size) {
  return handle_.valid() ? WriteAll(handle_, head, head_size, rest, rest_size) : EBADF;
}

int AppendFile::Size(std::uint64_t* size) const {
  *size = 0;
  if (!handle_.valid()) return EBADF;
  struct stat info;
  if (::fstat(static_cast<int>(handle_.get()), &info) != 0) return errno;
  if (S_ISREG(info.st_mode)) *size = static_cast<std::uint64_t>(info.st_size);
  return 0;
}

}  // namespace platform
