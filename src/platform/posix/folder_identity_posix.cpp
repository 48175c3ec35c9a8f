#include <limits.h>
#include <sys/stat.h>

#include <string>

#include "platform/folder_identity.h"

namespace platform {
namespace {

bool StatDir(const std::string& path, struct stat* info) {
  return !path.empty() && ::stat(path.c_str(), info) == 0 &&
         S_ISDIR(info->st_mode);
}

bool SameEntry(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool IsFileSystemRoot(const std::string& path) {
  struct stat self;
  struct stat up;
  if (!StatDir(path, &self) || !StatDir(path + "/..", &up)) return false;
  return self.st_dev != up.st_dev || self.st_ino == up.st_ino;
}

bool SameFolder(const std::string& a, const std::string& b) {
  struct stat first;
  struct stat second;
  if (!StatDir(a, &first) || !StatDir(b, &second)) return false;
  return SameEntry(first, second);
}

// ".." is the folder that really holds a folder, whatever links its
// spelling went through.
bool HoldsFolder(const std::string& folder, const std::string& path) {
  struct stat target;
  struct stat here;
  if (!StatDir(folder, &target) || !StatDir(path, &here)) return false;
  std::string up = path;
  for (;;) {
    if (SameEntry(here, target)) return true;
    up += "/..";
    struct stat parent;
    if (up.size() > PATH_MAX || !StatDir(up, &parent) || SameEntry(parent, here)) return false;
    here = parent;
  }
}

}  // namespace platform
