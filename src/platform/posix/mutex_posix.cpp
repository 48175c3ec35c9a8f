// Named mutexes as lock files. A name exists while some open file
// description holds a read lock on its file. Open-file-description locks are
// used because classic record locks are per process: a probe would not see
// a lock held by its own process, and closing any descriptor of the file
// would drop the holder's lock.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/handle.h"
#include "platform/mutex.h"

namespace platform {
namespace {

#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
constexpr int kGetLock = F_OFD_GETLK;
#else
// Without OFD locks a process cannot see its own locks; other processes'
// locks, which are what a launcher looks for, are still seen.
constexpr int kSetLock = F_SETLK;
constexpr int kGetLock = F_GETLK;
#endif

// Closes a descriptor on every path out of a function.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

std::string RuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    return std::string(runtime) + "/kestrelbay";
  }
  return "/tmp/kestrelbay-" + std::to_string(::geteuid());
}

// Opens the per-user folder, creating it when `create` is set. The folder is
// shared with every other user in /tmp, so it is only trusted when it is a
// real directory (not a link), owned by us and closed to everyone else.
// Returns the descriptor, or -1 with *error set (ENOENT: it does not exist).
int OpenRuntimeFolder(bool create, int* error) {
  const std::string folder = RuntimeFolder();
  if (create && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = errno;
    return -1;
  }
  Fd dir(::open(folder.c_str(),
                O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (dir.get() < 0) {
    // A link in the folder's place gives ELOOP or ENOTDIR.
    *error = errno;
    return -1;
  }
  struct stat info;
  if (::fstat(dir.get(), &info) != 0) {
    *error = errno;
    return -1;
  }
  if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() ||
      (info.st_mode & 077) != 0) {
    *error = EACCES;
    return -1;
  }
  return dir.release();
}

// Any byte may occur in a name, "/" and NUL included, so the file name is
// the name in hexadecimal. Long names are cut to a hexadecimal head plus two
// independent 64-bit hashes of the whole name, to stay below NAME_MAX.
std::string MutexFileName(const std::string& name) {
  static const char kHex[] = "0123456789abcdef";
  constexpr std::size_t kWholeLimit = 100;
  std::string file = name.size() <= kWholeLimit ? "n" : "h";
  const std::size_t head = name.size() <= kWholeLimit ? name.size() : 64;
  for (std::size_t i = 0; i < head; ++i) {
    const unsigned char byte = static_cast<unsigned char>(name[i]);
    file += kHex[byte >> 4];
    file += kHex[byte & 15];
  }
  if (name.size() > kWholeLimit) {
    std::uint64_t fnv = 14695981039346656037ull;  // FNV-1a
    std::uint64_t djb = 5381;                     // djb2, reversed input
    for (std::size_t i = 0; i < name.size(); ++i) {
      fnv = (fnv ^ static_cast<unsigned char>(name[i])) * 1099511628211ull;
      djb = djb * 33 + static_cast<unsigned char>(name[name.size() - 1 - i]);
    }
    file += '-';
    for (std::uint64_t value : {fnv, djb, std::uint64_t{name.size()}}) {
      for (int shift = 60; shift >= 0; shift -= 4) file += kHex[(value >> shift) & 15];
    }
  }
  return file;
}

}  // namespace

ProbeResult ProbeNamedMutex(const std::string& name, int* error) {
  int ignored = 0;
  if (error == nullptr) error = &ignored;
  Fd dir(OpenRuntimeFolder(false, error));
  if (dir.get() < 0) {
    if (*error == ENOENT) return ProbeResult::kAbsent;
    return ProbeResult::kFailed;
  }
  // Never O_CREAT: a probe must not bring a name into being. O_NONBLOCK
  // keeps a planted FIFO from hanging the open.
  Fd file(::openat(dir.get(), MutexFileName(name).c_str(),
                   O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (file.get() < 0) {
    *error = errno;
    return errno == ENOENT ? ProbeResult::kAbsent : ProbeResult::kFailed;
  }
  struct stat info;
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    *error = EINVAL;
    return ProbeResult::kFailed;
  }
  // Asks whether a write lock could be placed, without placing any lock: a
  // holder's read lock is the only thing that can stand in the way, and no
  // other probe can, so simultaneous probes never see each other.
  struct flock query = {};
  query.l_type = F_WRLCK;
  query.l_whence = SEEK_SET;
  if (::fcntl(file.get(), kGetLock, &query) != 0) {
    *error = errno;
    return ProbeResult::kFailed;
  }
  if (query.l_type == F_UNLCK) {
    *error = ENOENT;
    return ProbeResult::kAbsent;
  }
  *error = 0;
  return ProbeResult::kExists;
}

// Ownership is never used by the launcher, only existence, so
// initially_owned changes nothing here.
Handle CreateNamedMutex(const std::string& name, bool initially_owned,
                        int* error) {
  int ignored = 0;
  if (error == nullptr) error = &ignored;
  Fd dir(OpenRuntimeFolder(true, error));
  if (dir.get() < 0) return Handle();
  Fd file(::openat(dir.get(), MutexFileName(name).c_str(),
                   O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                   0600));
  if (file.get() < 0) {
    *error = errno;
    return Handle();
  }
  struct stat info;
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    *error = EINVAL;
    return Handle();
  }
  struct flock hold = {};
  hold.l_type = F_RDLCK;
  hold.l_whence = SEEK_SET;
  if (::fcntl(file.get(), kSetLock, &hold) != 0) {
    *error = errno;
    return Handle();
  }
  // With our own read lock in place, a write lock is refused only because
  // of another holder's lock: the name existed before us (or another
  // process created it at the same moment).
  struct flock query = {};
  query.l_type = F_WRLCK;
  query.l_whence = SEEK_SET;
  if (::fcntl(file.get(), kGetLock, &query) == 0 && query.l_type != F_UNLCK) {
    *error = 183;  // ERROR_ALREADY_EXISTS, as the callers compare it
  } else {
    *error = 0;
  }
  return Handle(file.release());
}

}  // namespace platform
