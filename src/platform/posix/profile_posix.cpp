#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/handle.h"
#include "platform/profile.h"
#include "platform/profile_reader.h"

namespace platform {
namespace {

// What identifies one version of a file: a rewrite changes the size or the
// modification time (nanoseconds, so two writes in one second differ).
struct FileStamp {
  std::int64_t size = -1;
  std::int64_t mtime_sec = 0;
  std::int64_t mtime_nsec = 0;
  std::uint64_t inode = 0;
  bool operator==(const FileStamp& o) const {
    return size == o.size && mtime_sec == o.mtime_sec && mtime_nsec == o.mtime_nsec &&
           inode == o.inode;
  }
};

struct CachedFile {
  FileStamp stamp;
  std::shared_ptr<const ProfileReader> reader;
};

bool ReadRegularFile(const std::string& path, FileStamp* stamp, std::string* bytes) {
  const Handle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) return false;
  const int fd = static_cast<int>(file.get());
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  stamp->size = static_cast<std::int64_t>(st.st_size);
  stamp->mtime_sec = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  stamp->mtime_nsec = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
  stamp->inode = static_cast<std::uint64_t>(st.st_ino);
  bytes->clear();
  bytes->reserve(static_cast<std::size_t>(st.st_size));
  char chunk[65536];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    bytes->append(chunk, static_cast<std::size_t>(got));
  }
}

// The parsed file for a path, kept while the file's stamp is unchanged, so
// that repeated lookups (2,000 numbered keys) do not re-read a large file
// yet every lookup still sees the file as it is now. Null: no readable
// regular file. The launcher is single-threaded; the lock only keeps tests
// and tools that share the cache honest.
std::shared_ptr<const ProfileReader> ReaderFor(const std::string& path) {
  static std::mutex lock;
  static std::map<std::string, CachedFile> cache;
  if (path.empty()) return nullptr;

  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  FileStamp now;
  now.size = static_cast<std::int64_t>(st.st_size);
  now.mtime_sec = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  now.mtime_nsec = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
  now.inode = static_cast<std::uint64_t>(st.st_ino);

  std::lock_guard<std::mutex> guard(lock);
  auto it = cache.find(path);
  if (it != cache.end() && it->second.stamp == now) return it->second.reader;

  FileStamp read_stamp;
  std::string bytes;
  if (!ReadRegularFile(path, &read_stamp, &bytes)) return nullptr;
  auto reader = std::make_shared<const ProfileReader>(bytes);
  // A few files per run at most (configuration and master file); keep the
  // cache from growing without bound in long test runs all the same.
  if (cache.size() >= 16) cache.clear();
  cache[path] = CachedFile{read_stamp, reader};
  return reader;
}

}  // namespace

unsigned long ReadProfileString(const std::string& section, const std::string& key,
                                std::size_t size, const std::string& file,
                                std::string* value) {
  value->clear();
  const auto reader = ReaderFor(file);
  return reader ? reader->ReadString(section, key, size, value) : 0;
}

unsigned long ReadProfileKeyNames(const std::string& section, std::size_t size,
                                  const std::string& file, std::string* names) {
  names->clear();
  const auto reader = ReaderFor(file);
  return reader ? reader->ReadKeyNames(section, size, names) : 0;
}

}  // namespace platform
