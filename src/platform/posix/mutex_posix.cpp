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
#include <utility>

#include "common/constants.h"
#include "platform/error_codes.h"
#include "platform/fs.h"
#include "platform/handle.h"
#include "platform/mutex.h"
#include "platform/user_folders.h"

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

std::string RuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    return std::string(runtime) + "/kestrelbay";
  }
  return "/tmp/kestrelbay-" + std::to_string(::geteuid());
}

// Inside the user's own data folder (its default place, whatever a launch
// says with -datalocation, so every launch of the user meets the same
// names): nobody else can create it first.
std::string FallbackFolder() {
  return LocalAppDataRoot(std::string(), 0) + kb::kVendorFolder + "/" + kb::kProductFolder +
         "/locks";
}

// Opens a lock folder, creating it when `create` is set. A folder in /tmp is
// shared with every other user, so it is only trusted when it is a real
// directory (not a link), owned by us and closed to everyone else.
// Returns the open folder, or an invalid handle with *error set (ENOENT: it
// does not exist) and *why telling a person what is wrong with it.
Handle OpenPrivateFolder(const std::string& folder, bool create, int* error, std::string* why) {
  if (create && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = errno;
    *why = ErrorText(*error);
    return Handle();
  }
  Handle dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!dir.valid()) {
    *error = errno;
    // A link in the folder's place gives ELOOP or ENOTDIR.
    *why = *error == ELOOP || *error == ENOTDIR ? "it is a symbolic link or not a folder"
                                                : ErrorText(*error);
    return Handle();
  }
  struct stat info;
  if (::fstat(static_cast<int>(dir.get()), &info) != 0) {
    *error = errno;
    *why = ErrorText(*error);
    return Handle();
  }
  if (!S_ISDIR(info.st_mode)) {
    *error = ENOTDIR;
    *why = "it is not a folder";
    return Handle();
  }
  if (info.st_uid != ::geteuid()) {
    *error = EACCES;
    *why = "it belongs to user " + std::to_string(info.st_uid);
    return Handle();
  }
  if ((info.st_mode & 077) != 0) {
    *error = EACCES;
    *why = "others may use it (mode " + std::to_string((info.st_mode >> 6) & 7) +
           std::to_string((info.st_mode >> 3) & 7) + std::to_string(info.st_mode & 7) + ")";
    return Handle();
  }
  return dir;
}

// The folder names live in: the private folder, or the fallback when the
// private one exists but cannot be trusted. An invalid handle with *error
// ENOENT means that no name can exist yet (nothing was created).
Handle OpenLockFolder(bool create, int* error, MutexFolderReport* report) {
  std::string why;
  const std::string primary = RuntimeFolder();
  Handle dir = OpenPrivateFolder(primary, create, error, &why);
  if (dir.valid() || (*error == ENOENT && !create)) return dir;
  if (report != nullptr) {
    report->refused = primary;
    report->reason = why;
  }
  const std::string fallback = FallbackFolder();
  // Not examined: opening the folder below tells every failure, and an
  // existing parent (183) is no failure at all.
  if (create) (void)CreateDirectoryTree(fallback.substr(0, fallback.rfind('/')));
  std::string fallback_why;
  dir = OpenPrivateFolder(fallback, create, error, &fallback_why);
  if (report != nullptr) {
    report->fallback = fallback;
    if (!dir.valid() && *error != ENOENT) report->fallback_reason = fallback_why;
  }
  return dir;
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

namespace {

// Whether a holder's lock sits on the name's file in one folder: 0 with
// *exists set, or the system error code (*exists false).
int ProbeIn(const Handle& dir, const std::string& name, bool* exists) {
  *exists = false;
  // Never O_CREAT: a probe must not bring a name into being. O_NONBLOCK
  // keeps a planted FIFO from hanging the open.
  Handle file(::openat(static_cast<int>(dir.get()), MutexFileName(name).c_str(),
                       O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (!file.valid()) return errno == ENOENT ? 0 : errno;
  const int fd = static_cast<int>(file.get());
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return EINVAL;
  // Asks whether a write lock could be placed, without placing any lock: a
  // holder's read lock is the only thing that can stand in the way, and no
  // other probe can, so simultaneous probes never see each other.
  struct flock query = {};
  query.l_type = F_WRLCK;
  query.l_whence = SEEK_SET;
  if (::fcntl(fd, kGetLock, &query) != 0) return errno;
  *exists = query.l_type != F_UNLCK;
  return 0;
}

}  // namespace

int ProbeNamedMutex(const std::string& name, bool* exists) {
  *exists = false;
  int error = 0;
  Handle dir = OpenLockFolder(false, &error, nullptr);
  if (dir.valid()) {
    error = ProbeIn(dir, name, exists);
    if (error != 0 || *exists) return error;
  } else if (error != ENOENT) {
    return error;
  }
  // A holder started while the private folder was refused keeps its name in
  // the fallback; it is still running when the private folder is usable
  // again. A fallback that cannot be read holds no name.
  int fallback_error = 0;
  std::string why;
  Handle fallback = OpenPrivateFolder(FallbackFolder(), false, &fallback_error, &why);
  if (fallback.valid()) ProbeIn(fallback, name, exists);
  return 0;
}

// Ownership is never used by the launcher, only existence, so
// initially_owned changes nothing here.
int CreateNamedMutex(const std::string& name, bool initially_owned, Handle* mutex,
                     bool* existed) {
  *mutex = Handle();
  if (existed != nullptr) *existed = false;
  int error = 0;
  Handle dir = OpenLockFolder(true, &error, nullptr);
  if (!dir.valid()) return error;
  Handle file(::openat(static_cast<int>(dir.get()), MutexFileName(name).c_str(),
                       O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600));
  if (!file.valid()) return errno;
  const int fd = static_cast<int>(file.get());
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return EINVAL;
  struct flock hold = {};
  hold.l_type = F_RDLCK;
  hold.l_whence = SEEK_SET;
  if (::fcntl(fd, kSetLock, &hold) != 0) return errno;
  // With our own read lock in place, a write lock is refused only because
  // of another holder's lock: the name existed before us (or another
  // process created it at the same moment).
  struct flock query = {};
  query.l_type = F_WRLCK;
  query.l_whence = SEEK_SET;
  if (existed != nullptr) {
    *existed = ::fcntl(fd, kGetLock, &query) == 0 && query.l_type != F_UNLCK;
  }
  *mutex = std::move(file);
  return 0;
}

int CheckMutexFolder(MutexFolderReport* report) {
  *report = MutexFolderReport();
  int error = 0;
  Handle dir = OpenLockFolder(false, &error, report);
  return dir.valid() || error == ENOENT ? 0 : error;
}

}  // namespace platform
