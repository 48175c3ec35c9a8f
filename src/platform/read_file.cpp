// Whole-file reads, the same on both platforms once OpenRegularFile has
// opened the file.
#include <algorithm>

#include "platform/fs.h"
#include "platform/io.h"

namespace platform {

int ReadRegularFile(const std::string& path, std::size_t max_bytes, std::string* bytes,
                    FileStamp* stamp) {
  bytes->clear();
  FileStamp opened;
  Handle file;
  const int error = OpenRegularFile(path, &file, &opened);
  if (error != 0) return error;
  if (opened.size > 0) {
    bytes->reserve(std::min(max_bytes, static_cast<std::size_t>(opened.size)));
  }
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
  if (stamp != nullptr) *stamp = opened;
  return 0;
}

}  // namespace platform
