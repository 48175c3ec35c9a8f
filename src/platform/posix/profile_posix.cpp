#include <sys/stat.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/fs.h"
#include "platform/profile.h"
#include "platform/profile_reader.h"

namespace platform {
namespace {

struct CachedFile {
  FileStamp stamp;
  std::shared_ptr<const ProfileReader> reader;
};

// The parsed file for a path, kept while the file's stamp is unchanged, so
// that repeated lookups (2,000 numbered keys) do not re-read a large file
// yet every lookup still sees the file as it is now. Null: no readable
// regular file. The launcher is single-threaded; the lock only keeps tests
// and tools that share the cache honest.
std::shared_ptr<const ProfileReader> ReaderFor(const std::string& path) {
  static std::mutex lock;
  static std::map<std::string, CachedFile> cache;
  if (path.empty()) return nullptr;

  // A look at the entry, which never opens it, decides whether the cached
  // reader still holds; the read itself never waits on what it opens.
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  FileStamp now;
  now.size = static_cast<std::int64_t>(st.st_size);
  now.written_sec = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  now.written_nsec = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
  now.id = static_cast<std::uint64_t>(st.st_ino);

  std::lock_guard<std::mutex> guard(lock);
  auto it = cache.find(path);
  if (it != cache.end() && it->second.stamp == now) return it->second.reader;

  FileStamp read_stamp;
  std::string bytes;
  if (ReadRegularFile(path, static_cast<std::size_t>(-1), &bytes, &read_stamp) != 0) {
    return nullptr;
  }
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

ProfileReader ProfileOfBytes(const std::string& bytes) { return ProfileReader(bytes); }

}  // namespace platform
