// Folders compared by what they are, not by how their path is spelled:
// file-system roots, one folder against another, a folder inside another.
// Each answer is a question about existing folders: a path that cannot be
// examined answers false.
#pragma once

#include <string>

namespace platform {

// True when the existing folder is the root of a file system or volume, or
// where one is mounted (Windows: it is its own volume mount point, e.g.
// "C:\", "\\srv\share\"; POSIX: it is its own ".." like "/", or its
// device differs from its parent's, like /dev/shm). A path that cannot be
// examined is not a root.
bool IsFileSystemRoot(const std::string& path);

// True when both paths name the same existing folder, compared by identity,
// not by spelling (POSIX: device and inode; Windows: the file index
// together with the volume of the folder's final path), so a link, a "..",
// a drive alias, "\\.\" or a short name does not hide it.
bool SameFolder(const std::string& a, const std::string& b);

// True when the existing folder is `path` or holds it, found through the
// folders that really hold `path` (POSIX: its ".." chain; Windows: the
// folders of its final path), so a link in the spelling of `path` does not
// hide them. Compared by identity as SameFolder does.
bool HoldsFolder(const std::string& folder, const std::string& path);

}  // namespace platform
