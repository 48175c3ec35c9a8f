// A file opened for appending, written without any buffering.
//
// Windows: CreateFileA with FILE_APPEND_DATA and share read, write and
// delete, opened or created. POSIX: O_WRONLY|O_APPEND|O_CREAT|O_CLOEXEC|
// O_NOFOLLOW with mode 0600, so a planted symbolic link is never written
// through. Bytes are written exactly as given: no line-end translation here.
#pragma once

#include <cstddef>
#include <string>

#include "platform/handle.h"

namespace platform {

class AppendFile {
 public:
  AppendFile() = default;
  // Opens or creates the file; check is_open().
  static AppendFile Open(const std::string& path);

  bool is_open() const { return handle_.valid(); }
  // Appends all bytes with as many system writes as needed. False when any
  // write fails (the rest is then dropped).
  bool Write(const char* data, std::size_t size);
  bool Write(const std::string& bytes) { return Write(bytes.data(), bytes.size()); }
  // Appends two pieces, as one system write where the platform can
  // (POSIX writev; Windows one write per non-empty piece).
  bool Write(const char* head, std::size_t head_size, const char* rest, std::size_t rest_size);
  void Close() { handle_.Close(); }

 private:
  Handle handle_;
};

}  // namespace platform
