#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/append_file.h"
#include "platform/held_file.h"

namespace platform {

int AppendFile::Hold(Handle* hold) const {
  if (!handle_.valid()) return EBADF;
  // A duplicate shares the open file description, and with it the lock,
  // once the file itself is closed after the write.
  const int fd = ::fcntl(static_cast<int>(handle_.get()), F_DUPFD_CLOEXEC, 3);
  if (fd < 0) return errno;
  Handle own(fd);
  // Waits: a remover holds the lock only for its one unlink.
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) return errno;
  }
  // A remover that took the lock between our create and our lock has
  // removed the name: the file is no longer anybody's log.
  struct stat info;
  if (::fstat(fd, &info) != 0) return errno;
  if (info.st_nlink == 0) return ENOENT;
  *hold = std::move(own);
  return 0;
}

int RemoveUnlessHeld(const std::string& path, bool* held) {
  *held = false;
  // O_NONBLOCK: a FIFO swapped in after the listing is never waited on.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  Handle file(fd);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) return errno;
    *held = true;
    return 0;
  }
  // The name must still be the file locked: one put in its place after
  // the open may be another launch's new log, not yet held.
  struct stat locked;
  struct stat named;
  if (::fstat(fd, &locked) != 0) return errno;
  if (::lstat(path.c_str(), &named) != 0) return errno;
  if (!S_ISREG(named.st_mode) || locked.st_dev != named.st_dev || locked.st_ino != named.st_ino) {
    *held = true;
    return 0;
  }
  return ::unlink(path.c_str()) == 0 ? 0 : errno;
}

int LastWriteTime(const std::string& path, std::int64_t* time) {
  *time = 0;
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return errno;
  *time = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  return 0;
}

}  // namespace platform
