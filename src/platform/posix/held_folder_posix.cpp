#include "platform/held_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace platform {
namespace {

int OpenFolderAt(int parent, const char* name, Handle* folder) {
  *folder = Handle(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  return folder->valid() ? 0 : errno;
}

std::string Judge(const Handle& folder, int* error) {
  std::string why;
  *error = OthersMayChange(folder, &why);
  return why;
}

int Fd(const Handle& handle) { return static_cast<int>(handle.get()); }

}  // namespace

int HeldFolder::Open(const std::string& path, std::string* why) {
  why->clear();
  if (path.empty() || path[0] != '/') return kErrorBadPathname;
  const int error = OpenFolderAt(AT_FDCWD, path.c_str(), &handle_);
  if (error != 0) return error;
  path_ = path;
  int judged = 0;
  *why = Judge(handle_, &judged);
  return judged;
}

int HeldFolder::OpenChild(const std::string& name, HeldFolder* child, std::string* why) const {
  why->clear();
  if (::mkdirat(Fd(handle_), name.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  const int error = OpenFolderAt(Fd(handle_), name.c_str(), &child->handle_);
  if (error == ELOOP || error == ENOTDIR) {
    // Said in the words the folder checks use everywhere else.
    *why = "it is a symbolic link or not a folder";
    return 0;
  }
  if (error != 0) return error;
  child->path_ = PathOf(name);
  int judged = 0;
  *why = Judge(child->handle_, &judged);
  return judged;
}

std::string HeldFolder::PathOf(const std::string& name) const { return path_ + "/" + name; }

int HeldFolder::CreateNew(const std::string& name, Handle* file) const {
  *file = Handle(::openat(Fd(handle_), name.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  return file->valid() ? 0 : errno;
}

int HeldFolder::OpenFile(const std::string& name, Handle* file, FileStamp* stamp) const {
  *file = Handle(::openat(Fd(handle_), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!file->valid()) return errno;
  struct stat st;
  if (::fstat(Fd(*file), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) {
    (void)file->Close();
    return kErrorNotRegularFile;
  }
  if (stamp != nullptr) {
    stamp->size = st.st_size;
    stamp->written_sec = st.st_mtim.tv_sec;
    stamp->written_nsec = st.st_mtim.tv_nsec;
    stamp->id = st.st_ino;
  }
  return 0;
}

int HeldFolder::OpenLockFile(const std::string& name, Handle* file) const {
  *file = Handle(::openat(Fd(handle_), name.c_str(),
                          O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
  if (!file->valid()) return errno;
  struct stat st;
  if (::fstat(Fd(*file), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) {
    (void)file->Close();
    return kErrorNotRegularFile;
  }
  return 0;
}

int HeldFolder::Rename(const std::string& from, const std::string& to) const {
  return ::renameat(Fd(handle_), from.c_str(), Fd(handle_), to.c_str()) == 0 ? 0 : errno;
}

int HeldFolder::Remove(const std::string& name) const {
  return ::unlinkat(Fd(handle_), name.c_str(), 0) == 0 ? 0 : errno;
}

std::vector<std::string> HeldFolder::List() const {
  std::vector<std::string> names;
  // fdopendir takes its descriptor: it gets a copy of its own.
  const int copy = ::openat(Fd(handle_), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (copy < 0) return names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(copy), ::closedir);
  if (!dir) {
    ::close(copy);
    return names;
  }
  while (const dirent* entry = ::readdir(dir.get())) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    names.emplace_back(entry->d_name);
  }
  return names;
}

int HeldFolder::SyncFileIn(const std::string& name) const {
  Handle file(::openat(Fd(handle_), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!file.valid()) return errno;
  return ::fsync(Fd(file)) == 0 ? 0 : errno;
}

int HeldFolder::Sync() const { return ::fsync(Fd(handle_)) == 0 ? 0 : errno; }

int ReadAt(const Handle& file, std::int64_t offset, char* buffer, std::size_t size,
           std::size_t* count) {
  *count = 0;
  for (;;) {
    const ssize_t n = ::pread(Fd(file), buffer, size, static_cast<off_t>(offset));
    if (n >= 0) {
      *count = static_cast<std::size_t>(n);
      return 0;
    }
    if (errno != EINTR) return errno;
  }
}

int TryLockFile(const Handle& file) {
  if (::flock(Fd(file), LOCK_EX | LOCK_NB) == 0) return 0;
  return errno == EWOULDBLOCK ? kErrorBusy : errno;
}

}  // namespace platform
