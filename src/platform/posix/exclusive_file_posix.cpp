#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <string>

#include "platform/exclusive_file.h"
#include "platform/handle.h"
#include "platform/io.h"

namespace platform {
namespace {

constexpr int kAttempts = 16;
constexpr char kNameChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";

// Sixteen characters from the kernel's random source: about 82 bits, so
// nobody can create the name in advance.
bool RandomName(std::string* out) {
  unsigned char bytes[16];
  std::size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    got += static_cast<std::size_t>(n);
  }
  out->clear();
  for (unsigned char b : bytes) out->push_back(kNameChars[b % (sizeof kNameChars - 1)]);
  return true;
}

}  // namespace

int CreateExclusiveFile(const std::string& folder, const std::string& prefix,
                        const std::string& suffix, const std::string& bytes, std::string* path) {
  int error = EEXIST;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::string random;
    if (!RandomName(&random)) return errno;
    const std::string candidate = folder + "/" + prefix + random + suffix;
    Handle file(
        ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file.valid()) {
      error = errno;
      if (error == EEXIST) continue;
      return error;
    }
    const int write_error = WriteAll(file, bytes.data(), bytes.size());
    const int close_error = file.Close();
    if (write_error != 0 || close_error != 0) {
      ::unlink(candidate.c_str());
      return write_error != 0 ? write_error : close_error;
    }
    *path = candidate;
    return 0;
  }
  return error;
}

int RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

int MoveFileOver(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace platform
