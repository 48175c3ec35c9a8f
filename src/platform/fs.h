// File-system services: folders, paths, existence tests, whole-file reads
// and writes. Paths are UTF-8 strings in the native separator (Windows
// converts them for the wide services).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/error_codes.h"
#include "platform/handle.h"

namespace platform {

// Native path separator ('\\' on Windows, '/' on POSIX) and the other one,
// which NormalizeSlashes turns into the native one.
char PathSeparator();
char ForeignSeparator();

// Creates a folder with all its missing parents (SHCreateDirectoryExW;
// POSIX: mkdir -p with mode 0700 for every folder created).
// Returns 0 when created, 183 when an entry of that name exists, 161 for an
// empty or relative path, another system error code otherwise (Windows: 3
// for a file in the way of a folder; POSIX: the errno met, ENOTDIR there).
[[nodiscard]] int CreateDirectoryTree(const std::string& path);

enum class PathKind { kMissing, kFile, kDirectory };
// What the path names now (GetFileAttributesW; POSIX: stat). A question,
// not a fallible call: a failed query is kMissing.
PathKind GetPathKind(const std::string& path);

// Why the file at `path` cannot be started as a program, or "" when it can
// (an ordinary answer, no failure).
// POSIX: a regular file (links followed) that this user may execute.
// Windows: a regular file that is not empty and begins as an executable
// image does ("MZ"); an empty or foreign file fails with error 193 there.
// The file is only looked at, never opened for writing or run.
std::string WhyNotRunnable(const std::string& path);

// True when some file-system entry of that name exists (_access mode 0).
bool PathExists(const std::string& path);

// True when the entry itself is a regular file: a symbolic link (POSIX
// lstat) or any reparse point such as a junction (Windows attributes) is
// not one, whatever it points at; nor is a folder, a device or a FIFO. A
// question, not a fallible call: a failed query is false.
bool IsPlainFile(const std::string& path);

// The process's current directory into *dir. Returns 0 or the system error
// code (*dir empty).
[[nodiscard]] int GetCurrentDir(std::string* dir);
// Changes the process's working directory. Returns 0 or the system error
// code.
[[nodiscard]] int SetCurrentDir(const std::string& path);

// Absolute form of a path (GetFullPathNameW; POSIX: the same from the text
// alone, relative paths put below the current folder and "." and ".."
// folded away without following links or needing the folders to exist)
// into *full. Returns 0, or the system error code with *full empty (161
// for an empty path on both platforms). Windows: not bound to MAX_PATH.
[[nodiscard]] int FullPathName(const std::string& path, std::string* full);

// True for a character that ends a folder's name in a path: "\" and "/"
// on Windows; only "/" on POSIX, where a backslash is part of a name.
bool IsPathSeparator(char c);

// Length of the root that starts an absolute path, the separator that closes
// it included ("C:\" 3, "\\srv\share\" 12, "/" 1; "\\srv\share" without
// its closing separator answers 11). 0 when the path is not absolute. This
// is the one place that parses roots: the other path tests below use it.
std::size_t RootLength(const std::string& path);

// True for a fully qualified path ("C:\x", "\\server\share"; POSIX "/x").
bool IsAbsolutePath(const std::string& path);

// True for a path that names its own starting point: one with a drive
// ("C:\x", "D:x") or a leading separator ("\x", "\\server\share");
// POSIX "/x". Every other path is relative to some folder.
bool IsRootedPath(const std::string& path);

// Searches for an existing entry by name, as a directory search does
// (CFileFind): the full path of the entry found, or empty when there is
// none (an ordinary answer: the search has no failure of its own). A name
// ending in a separator finds nothing.
std::string FindEntry(const std::string& path);

// Creates a new file (failing if it cannot be created) and writes the bytes
// unchanged. POSIX: mode 0700 when executable is set, else 0600. A file
// that could not be written whole is removed again. Returns 0 or the system
// error code of the step that failed (80 or EEXIST for an existing entry).
[[nodiscard]] int WriteWholeFile(const std::string& path, const std::string& bytes,
                    bool executable);

// The short (8.3) form of an existing path, which a program reading the
// ANSI code page can receive whatever the long names hold. Returns 0 with
// the form in *short_path, or the system error code (2 for a path that does
// not exist). A volume without short names answers a long name back, which
// the caller recognises by asking FirstUnholdable again. POSIX: the path
// itself, always 0.
[[nodiscard]] int ShortPathName(const std::string& path, std::string* short_path);

// What tells one version of a file from another: a rewrite changes the
// size or the time of the last write (to the nanosecond on POSIX, 100 ns on
// Windows), a replacement the file's id (POSIX inode; Windows file index).
struct FileStamp {
  std::int64_t size = -1;
  std::int64_t written_sec = 0;
  std::int64_t written_nsec = 0;
  std::uint64_t id = 0;
  bool operator==(const FileStamp& o) const {
    return size == o.size && written_sec == o.written_sec && written_nsec == o.written_nsec &&
           id == o.id;
  }
};

// Opens a file by name for reading, never waiting on it, and keeps it only
// when it is a regular file; links are followed. What is tested is what was
// opened, so nothing can be swapped in between. POSIX: open with O_NONBLOCK
// (a FIFO without a writer, a terminal or a device answers at once), then
// fstat on the descriptor. Windows: CreateFileW, which never waits for a
// pipe's server, then the handle must be a disk file that is no folder; a
// path whose full form is longer than MAX_PATH is opened by its long-path
// form.
// Returns 0 with *file open (and *stamp filled when not null),
// kErrorNotRegularFile for an entry of any other kind, or the system error
// code (2 or 3 when nothing of that name exists).
[[nodiscard]] int OpenRegularFile(const std::string& path, Handle* file, FileStamp* stamp);

// Whether anyone but this process's user may change an open file, as a
// file of settings that only its user should write must be judged: *why is
// "" when no one else may, else says who may ("it belongs to user 1001",
// "group or others may write to it (mode 664)"). POSIX: the file's owner is
// not the effective user, or its mode lets group or others write; the
// folders above it are not looked at. Windows: *why is always "", its files'
// access lists are not judged. Returns 0, or the system error code of a
// failed query (*why empty).
[[nodiscard]] int OthersMayChange(const Handle& file, std::string* why);

// The bytes of a regular file opened as OpenRegularFile opens it, at most
// max_bytes of them (the rest is left unread). Every file the launcher and
// the check read by name is read here. Returns 0 with *bytes filled, or
// OpenRegularFile's answer, or the error of a failed read (*bytes empty).
[[nodiscard]] int ReadRegularFile(const std::string& path, std::size_t max_bytes,
                                  std::string* bytes, FileStamp* stamp = nullptr);

// The bytes of a file that OpenRegularFile opened, read through that handle
// from where it stands (the start, for a handle not yet read), at most
// max_bytes of them: what was judged on the handle is what is read. Returns
// 0 with *bytes filled, or the error of a failed read (*bytes empty).
[[nodiscard]] int ReadOpenedFile(const Handle& file, std::size_t max_bytes, std::string* bytes);

// Makes `folder` (and its missing parents) exist and says whether files
// written into it are this user's alone: "" when they are, else why not.
// POSIX: the folder itself must be a folder, not a link to one, owned by
// this user and writable by nobody else (no group or other write bit).
// Windows: a folder that is no reparse point; a per-user folder's own
// access list keeps other users out. The folders above are not examined.
std::string WhyNotPrivateFolder(const std::string& folder);
// True when the path is a file-system root ("C:\", "C:", "\\srv\share",
// "/").
bool IsRootPath(const std::string& path);

}  // namespace platform
