#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "platform/fs.h"
#include "platform/handle.h"
#include "platform/io.h"

namespace platform {
namespace {

// Folders the launcher creates hold logs and per-user state: private.
constexpr mode_t kFolderMode = 0700;

}  // namespace

int CreateDirectoryTree(const std::string& path) {
  if (path.empty() || path[0] != '/') return kErrorBadPathname;
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return kErrorAlreadyExists;
  // Walk the components and create the missing ones, like mkdir -p.
  std::string::size_type pos = 1;
  for (;;) {
    pos = path.find('/', pos);
    const std::string part = path.substr(0, pos);
    if (!part.empty() && part.back() != '/') {
      // Windows answers 3 for each of these failures; here the errno met
      // is kept, so that its words say what stood in the way.
      if (::mkdir(part.c_str(), kFolderMode) != 0) {
        if (errno != EEXIST) return errno;
        // An existing file in the middle of the path.
        if (pos != std::string::npos && ::stat(part.c_str(), &st) == 0 &&
            !S_ISDIR(st.st_mode)) {
          return ENOTDIR;
        }
      }
    }
    if (pos == std::string::npos) break;
    ++pos;
  }
  return ::stat(path.c_str(), &st) == 0 ? kErrorSuccess : errno;
}

PathKind GetPathKind(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return PathKind::kMissing;
  return S_ISDIR(st.st_mode) ? PathKind::kDirectory : PathKind::kFile;
}

std::string WhyNotRunnable(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return "it does not exist";
  if (!S_ISREG(st.st_mode)) return "it is not a regular file";
  // access() asks with the real user's rights, as the start will; it also
  // holds for a superuser, who may run a file only when some x bit is set.
  if (::access(path.c_str(), X_OK) != 0) return "this user may not execute it";
  return std::string();
}

bool PathExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

bool IsPlainFile(const std::string& path) {
  struct stat st;
  return !path.empty() && ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int GetCurrentDir(std::string* dir) {
  dir->clear();
  char buffer[PATH_MAX];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return errno;
  *dir = buffer;
  return 0;
}

int SetCurrentDir(const std::string& path) { return ::chdir(path.c_str()) == 0 ? 0 : errno; }

int FullPathName(const std::string& path, std::string* full) {
  full->clear();
  if (path.empty()) return kErrorBadPathname;
  std::string absolute = path;
  if (path[0] != '/') {
    std::string cwd;
    if (const int error = GetCurrentDir(&cwd)) return error;
    absolute = cwd + "/" + path;
  }
  // Resolved from the text alone, as GetFullPathNameA does: "." and ".."
  // are folded away without asking the file system, so "sub/../m.ini"
  // needs no folder "sub", and ".." of the root is the root.
  std::vector<std::string> parts;
  std::string::size_type i = 0;
  while (i < absolute.size()) {
    std::string::size_type end = absolute.find('/', i);
    if (end == std::string::npos) end = absolute.size();
    const std::string part = absolute.substr(i, end - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = end + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  // A trailing separator stays, as it does on Windows.
  if (result.empty()) {
    result = "/";
  } else if (absolute.back() == '/') {
    result += '/';
  }
  *full = result;
  return 0;
}

bool IsPathSeparator(char c) { return c == '/'; }

std::size_t RootLength(const std::string& path) { return !path.empty() && path[0] == '/' ? 1 : 0; }

bool IsRootedPath(const std::string& path) { return RootLength(path) != 0; }

bool IsAbsolutePath(const std::string& path) { return RootLength(path) != 0; }

std::string FindEntry(const std::string& path) {
  // A directory search matches names, so a name that ends in a separator
  // (or is empty) finds nothing.
  if (path.empty() || path.back() == '/') return std::string();
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return std::string();
  std::string full;
  // A path that names an entry has a full form; a failure finds nothing.
  return FullPathName(path, &full) == 0 ? full : std::string();
}

int WriteWholeFile(const std::string& path, const std::string& bytes, bool executable) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                        executable ? 0700 : 0600);
  if (fd < 0) return errno;
  Handle file(fd);
  int error = WriteAll(file, bytes.data(), bytes.size());
  // close(2) may report a write that the file system took late.
  const int close_error = file.Close();
  if (error == 0) error = close_error;
  if (error == 0) return 0;
  // A cut-off file must not stay behind: a script that ends inside a path
  // could name a folder above the one meant.
  ::unlink(path.c_str());
  return error;
}

int OpenRegularFile(const std::string& path, Handle* file, FileStamp* stamp) {
  // O_NONBLOCK: opening a FIFO that has no writer would otherwise wait for
  // one for ever, and so would a terminal or some devices.
  Handle opened(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!opened.valid()) return errno == ENOENT || errno == ENOTDIR ? kErrorFileNotFound : errno;
  struct stat st;
  if (::fstat(static_cast<int>(opened.get()), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return kErrorNotRegularFile;
  if (stamp != nullptr) {
    stamp->size = static_cast<std::int64_t>(st.st_size);
    stamp->written_sec = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    stamp->written_nsec = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    stamp->id = static_cast<std::uint64_t>(st.st_ino);
  }
  *file = std::move(opened);
  return 0;
}

int OthersMayChange(const Handle& file, std::string* why) {
  why->clear();
  struct stat st;
  if (::fstat(static_cast<int>(file.get()), &st) != 0) return errno;
  if (st.st_uid != ::geteuid()) {
    *why = "it belongs to user " + std::to_string(st.st_uid);
  } else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    *why = "group or others may write to it (mode " + std::to_string((st.st_mode >> 6) & 7) +
           std::to_string((st.st_mode >> 3) & 7) + std::to_string(st.st_mode & 7) + ")";
  }
  return 0;
}

bool IsRootPath(const std::string& path) {
  if (path.empty()) return false;
  return path.find_first_not_of('/') == std::string::npos;
}

std::string WhyNotPrivateFolder(const std::string& folder) {
  const int created = CreateDirectoryTree(folder);
  if (created != 0 && created != kErrorAlreadyExists) return ErrorText(created);
  // What is examined is what was opened: a link put in the folder's place
  // is not followed (ELOOP, or ENOTDIR for a link to a file).
  Handle dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!dir.valid()) {
    const int error = errno;
    return error == ELOOP || error == ENOTDIR ? "it is a symbolic link or not a folder"
                                              : ErrorText(error);
  }
  std::string why;
  const int error = OthersMayChange(dir, &why);
  return error != 0 ? ErrorText(error) : why;
}

int ShortPathName(const std::string& path, std::string* short_path) {
  *short_path = path;
  return 0;
}

char PathSeparator() { return '/'; }
char ForeignSeparator() { return '\\'; }

}  // namespace platform
