// A folder of this user's own, held open while the launcher works in it.
//
// Judged on what was opened, and used through that handle afterwards, so
// that no one can put another folder or a link in its place between the
// judgement and the use. POSIX: every step is relative to the descriptor
// (mkdirat, openat, renameat, unlinkat). Windows: the folder is held open
// without sharing its deletion, so it can be neither removed nor renamed
// while held, and the steps name files inside it by path.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "platform/handle.h"

namespace platform {

constexpr int kErrorBusy = 33;  // ERROR_LOCK_VIOLATION: another holder has it

class HeldFolder {
 public:
  HeldFolder() = default;
  HeldFolder(HeldFolder&&) noexcept = default;
  HeldFolder& operator=(HeldFolder&&) noexcept = default;

  // Opens the existing folder at the absolute `path` (no link followed)
  // and judges it: "" in *why when only this user may change it. Returns
  // 0 (then *why may still name a reason to refuse it), or the system
  // error code.
  [[nodiscard]] int Open(const std::string& path, std::string* why);
  // Opens the folder `name` inside this one, making it (mode 0700) when
  // missing, and judges it as Open does.
  [[nodiscard]] int OpenChild(const std::string& name, HeldFolder* child, std::string* why) const;

  bool valid() const { return handle_.valid(); }
  const std::string& path() const { return path_; }
  std::string PathOf(const std::string& name) const;

  // Creates the new file `name` (never an existing entry or a link; POSIX
  // mode 0600) open for writing into *file.
  [[nodiscard]] int CreateNew(const std::string& name, Handle* file) const;
  // Opens the plain file `name` (no link) for reading into *file.
  [[nodiscard]] int OpenFile(const std::string& name, Handle* file, FileStamp* stamp) const;
  // Opens the plain file `name` for writing, making it when missing, and
  // leaves what it holds alone: a lock file, whose lock is what matters.
  [[nodiscard]] int OpenLockFile(const std::string& name, Handle* file) const;
  // Gives `from` the name `to`, replacing a file of that name.
  [[nodiscard]] int Rename(const std::string& from, const std::string& to) const;
  [[nodiscard]] int Remove(const std::string& name) const;
  // The names of its entries ("." and ".." left out).
  std::vector<std::string> List() const;
  // Writes what the system holds of the file `name` to the disk (POSIX
  // fsync; Windows FlushFileBuffers, the read-only attribute a runtime
  // gives its archive taken away first, since only a writer may flush).
  [[nodiscard]] int SyncFileIn(const std::string& name) const;
  // Makes what was renamed or removed inside it durable. Windows: 0, the
  // file system does this with the file's own flush.
  [[nodiscard]] int Sync() const;

 private:
  Handle handle_;
  std::string path_;
};

// Reads at most `size` bytes of an open file from `offset` on, without
// moving its position (pread; ReadFile at an offset). Returns 0 with the
// count in *count (0 past the end), or the system error code.
[[nodiscard]] int ReadAt(const Handle& file, std::int64_t offset, char* buffer, std::size_t size,
                         std::size_t* count);

// Takes the lock on an open file without waiting: 0 when taken (held until
// the handle closes or the process ends), kErrorBusy when someone else
// holds it, or the system error code. POSIX flock; Windows LockFileEx.
[[nodiscard]] int TryLockFile(const Handle& file);

}  // namespace platform
