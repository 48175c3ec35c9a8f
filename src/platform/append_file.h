// A file opened for appending, written without any buffering.
//
// Windows: CreateFileW with FILE_APPEND_DATA and share read, write and
// delete. POSIX: O_WRONLY|O_APPEND|O_CLOEXEC with mode 0600 for a file it
// creates. Bytes are written exactly as given: no line-end translation here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/handle.h"

namespace platform {

enum class AppendMode {
  // A name the user gave: opened or created as named, links followed.
  kNamed,
  // A name the launcher made: opened or created, but POSIX never writes
  // through a symbolic link planted in its place (O_NOFOLLOW).
  kOwn,
  // As kOwn, and only when no entry of that name exists yet (O_EXCL;
  // CREATE_NEW): fails with 80 (ERROR_FILE_EXISTS) on both builds.
  // Windows: this open does not share deletion (see Hold).
  kNew,
};

class AppendFile {
 public:
  AppendFile() = default;
  // Opens the file into *file. Returns 0 or the system error code.
  [[nodiscard]] static int Open(const std::string& path, AppendMode mode, AppendFile* file);

  bool is_open() const { return handle_.valid(); }
  // Appends all bytes with as many system writes as needed. Returns 0 or
  // the system error code of the write that failed (the rest is then
  // dropped); a file that is not open answers EBADF / ERROR_INVALID_HANDLE.
  [[nodiscard]] int Write(const char* data, std::size_t size);
  [[nodiscard]] int Write(const std::string& bytes) { return Write(bytes.data(), bytes.size()); }
  // Appends two pieces, as one system write where the platform can
  // (POSIX writev; Windows one write per non-empty piece).
  [[nodiscard]] int Write(const char* head, std::size_t head_size, const char* rest,
                          std::size_t rest_size);
  // The file's size now, into *size. Returns 0 or the system error code
  // (a file that is not open answers EBADF / ERROR_INVALID_HANDLE). A FIFO
  // or a device answers 0.
  [[nodiscard]] int Size(std::uint64_t* size) const;
  // Keeps the file from removal by another launch (RemoveUnlessHeld in
  // platform/held_file.h) for as long as *hold lives, also once this
  // AppendFile is closed. For a file just created with kNew. Returns 0, or
  // the system error code: POSIX ENOENT when a remover took the file away
  // between its creation and the hold (create it again).
  [[nodiscard]] int Hold(Handle* hold) const;
  // Closing a file opened only for appending loses nothing that a write
  // did not already report, so there is no answer to examine.
  void Close() { (void)handle_.Close(); }

 private:
  Handle handle_;
};

}  // namespace platform
