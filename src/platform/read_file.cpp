// Whole-file reads, the same on both platforms once OpenRegularFile has
// opened the file.
#include <algorithm>
#include <utility>

#include "platform/fs.h"
#include "platform/io.h"

namespace platform {

int ReadOpenedFile(const Handle& file, std::size_t max_bytes, std::string* bytes) {
  bytes->clear();
  char chunk[65536];
  while (bytes->size() < max_bytes) {
    std::size_t got = 0;
    const int read_error =
        ReadSome(file, chunk, std::min(sizeof chunk, max_bytes - bytes->size()), &got);
    if (read_error != 0) {
      bytes->clear();
      return read_error;
    }
    if (got == 0) break;
    bytes->append(chunk, got);
  }
  return 0;
}

int ReadRegularFile(const std::string& path, std::size_t max_bytes, std::string* bytes,
                    FileStamp* stamp) {
  bytes->clear();
  FileStamp opened;
  Handle file;
  const int error = OpenRegularFile(path, &file, &opened);
  if (error != 0) return error;
  std::string read;
  if (opened.size > 0) read.reserve(std::min(max_bytes, static_cast<std::size_t>(opened.size)));
  if (const int read_error = ReadOpenedFile(file, max_bytes, &read)) return read_error;
  *bytes = std::move(read);
  if (stamp != nullptr) *stamp = opened;
  return 0;
}

}  // namespace platform
