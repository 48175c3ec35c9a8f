#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

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
      if (::mkdir(part.c_str(), kFolderMode) != 0) {
        if (errno != EEXIST) {
          return errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound : errno;
        }
        // An existing file in the middle of the path: Windows answers 3.
        if (pos != std::string::npos && ::stat(part.c_str(), &st) == 0 &&
            !S_ISDIR(st.st_mode)) {
          return kErrorPathNotFound;
        }
      }
    }
    if (pos == std::string::npos) break;
    ++pos;
  }
  return ::stat(path.c_str(), &st) == 0 ? kErrorSuccess : kErrorPathNotFound;
}

PathKind GetPathKind(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0) return PathKind::kMissing;
  return S_ISDIR(st.st_mode) ? PathKind::kDirectory : PathKind::kFile;
}

bool PathExists(const std::string& path) {
  struct stat st;
  return !path.empty() && ::lstat(path.c_str(), &st) == 0;
}

std::string GetCurrentDir() {
  char buffer[PATH_MAX];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return std::string();
  return buffer;
}

bool SetCurrentDir(const std::string& path) { return ::chdir(path.c_str()) == 0; }

std::string FullPathName(const std::string& path) {
  if (path.empty()) return std::string();
  std::string absolute = path;
  if (path[0] != '/') {
    const std::string cwd = GetCurrentDir();
    if (cwd.empty()) return std::string();
    absolute = cwd + (cwd.back() == '/' ? "" : "/") + path;
  }
  // realpath of the folder plus the file name: the file itself need not exist.
  const std::string::size_type slash = absolute.find_last_of('/');
  const std::string folder = slash == 0 ? "/" : absolute.substr(0, slash);
  const std::string name = absolute.substr(slash + 1);
  char resolved[PATH_MAX];
  if (::realpath(folder.c_str(), resolved) == nullptr) return absolute;
  std::string result = resolved;
  if (name.empty() || name == ".") return result;
  if (name == "..") {
    const std::string::size_type up = result.find_last_of('/');
    return up == 0 ? "/" : result.substr(0, up);
  }
  return result + (result.back() == '/' ? "" : "/") + name;
}

bool IsAbsolutePath(const std::string& path) { return !path.empty() && path[0] == '/'; }

std::string FindEntry(const std::string& path) {
  // A directory search matches names, so a name that ends in a separator
  // (or is empty) finds nothing.
  if (path.empty() || path.back() == '/') return std::string();
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return std::string();
  return FullPathName(path);
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, bool executable) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                        executable ? 0700 : 0600);
  if (fd < 0) return false;
  Handle file(fd);
  const bool written = WriteAll(file, bytes.data(), bytes.size());
  return file.Close() && written;
}

bool IsRootPath(const std::string& path) {
  if (path.empty()) return false;
  return path.find_first_not_of('/') == std::string::npos;
}

}  // namespace platform
