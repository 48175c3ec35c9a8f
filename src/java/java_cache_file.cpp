#include "java/java_cache_file.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <thread>
#include <vector>

#include "common/text.h"
#include "platform/environment.h"
#include "platform/error_codes.h"
#include "platform/exclusive_file.h"
#include "platform/io.h"

namespace kb {
namespace {

constexpr char kCacheFolder[] = "cache";
constexpr std::size_t kKeyDigits = 16;
// A part a step has just been handed (the class list between its run's end
// and its step's lock) is not taken away, held or not.
constexpr std::int64_t kUnheldPartSeconds = 60;
constexpr std::int64_t kDigestBlock = 4096;
constexpr std::int64_t kDigestStride = 256 * 1024;

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string BeforeFirst(const std::string& text, char c) { return text.substr(0, text.find(c)); }
std::string AfterFirst(const std::string& text, char c) {
  const std::size_t at = text.find(c);
  return at == std::string::npos ? std::string() : text.substr(at + 1);
}

std::string Hex(std::uint64_t value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (int shift = 60; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xf];
  return out;
}

// The archive a name in the folder belongs to: "<application>-<16 hex
// digits>.jsa" or ".aot", and whatever the launcher puts after it.
std::string ArchiveOf(const std::string& name, const std::string& application) {
  const std::string prefix = application + "-";
  const std::size_t size = prefix.size() + kKeyDigits + 4;
  if (name.size() < size || name.compare(0, prefix.size(), prefix) != 0) return std::string();
  for (std::size_t i = prefix.size(); i < prefix.size() + kKeyDigits; ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::string();
  }
  const std::string extension = name.substr(size - 4, 4);
  if (extension != ".jsa" && extension != ".aot") return std::string();
  if (name.size() > size && name[size] != '.') return std::string();
  return name.substr(0, size);
}

std::string ReadSmall(const platform::HeldFolder& folder, const std::string& name) {
  platform::Handle file;
  if (folder.OpenFile(name, &file, nullptr) != 0) return std::string();
  std::string text;
  char chunk[256];
  std::size_t count = 0;
  while (text.size() < 4096 && platform::ReadSome(file, chunk, sizeof chunk, &count) == 0 &&
         count > 0) {
    text.append(chunk, count);
  }
  return text;
}

// Writes `bytes` as the file `name`, whole or not at all.
int WriteDurably(const platform::HeldFolder& folder, const std::string& name,
                 const std::string& bytes) {
  std::string part;
  int error = platform::CreateExclusiveFile(folder.path(), name + ".", kJavaCachePartSuffix, bytes,
                                            &part);
  if (error != 0) return error;
  part = part.substr(folder.path().size() + 1);
  error = folder.SyncFileIn(part);
  if (error == 0) error = folder.Rename(part, name);
  if (error != 0) (void)folder.Remove(part);
  return error;
}

}  // namespace

std::string OpenJavaCacheFolder(const std::string& data_folder, platform::HeldFolder* cache) {
  platform::HeldFolder data;
  std::string why;
  int error = data.Open(data_folder, &why);
  if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) {
    // The first run of all: made as the log's folder is, private.
    (void)platform::CreateDirectoryTree(data_folder);
    error = data.Open(data_folder, &why);
  }
  if (error != 0) return "the folder " + data_folder + " cannot be opened: " + platform::ErrorText(error);
  if (!why.empty()) return "the folder " + data_folder + " cannot be used: " + why;
  error = data.OpenChild(kCacheFolder, cache, &why);
  const std::string folder = data.PathOf(kCacheFolder);
  if (error != 0) return "the folder " + folder + " cannot be used: " + platform::ErrorText(error);
  if (!why.empty()) return "the folder " + folder + " cannot be used: " + why;
  return std::string();
}

std::string DigestOfFile(const platform::Handle& file, std::int64_t size) {
  // The archive is checked on every start, so the digest must cost little
  // next to the start it saves: it covers the first block (the runtime's
  // header of the file, with its own sizes and checksums), one block in
  // every kDigestStride bytes and the last block, read where they lie.
  std::uint64_t value = 0xcbf29ce484222325ULL;
  std::vector<char> block(static_cast<std::size_t>(kDigestBlock));
  std::vector<std::int64_t> offsets;
  for (std::int64_t at = 0; at < size; at += kDigestStride) offsets.push_back(at);
  if (size > kDigestBlock) offsets.push_back(size - kDigestBlock);
  for (std::int64_t at : offsets) {
    std::size_t count = 0;
    if (platform::ReadAt(file, at, block.data(), block.size(), &count) != 0) return std::string();
    for (std::size_t i = 0; i < count; ++i) {
      value = (value ^ static_cast<unsigned char>(block[i])) * 0x100000001b3ULL;
    }
    value = (value ^ static_cast<std::uint64_t>(count)) * 0x100000001b3ULL;
  }
  value = (value ^ static_cast<std::uint64_t>(size)) * 0x100000001b3ULL;
  return Hex(value);
}

std::string WhyNotWhole(const platform::HeldFolder& folder, const std::string& name) {
  platform::Handle file;
  platform::FileStamp stamp;
  const int error = folder.OpenFile(name, &file, &stamp);
  if (error != 0) return "it cannot be opened: " + platform::ErrorText(error);
  const std::string record = TrimWhitespace(ReadSmall(folder, name + kJavaCacheSumSuffix));
  if (record.empty()) return "it has no record of its size and digest";
  const std::string size = IntToString(stamp.size);
  if (BeforeFirst(record, ' ') != size) {
    return "it has " + size + " bytes, its record says " + BeforeFirst(record, ' ');
  }
  if (DigestOfFile(file, stamp.size) != AfterFirst(record, ' ')) return "its digest is not the recorded one";
  return std::string();
}

std::string PutInPlace(const platform::HeldFolder& folder, const std::string& part,
                       const std::string& name) {
  platform::Handle file;
  platform::FileStamp stamp;
  int error = folder.OpenFile(part, &file, &stamp);
  std::string why;
  if (error != 0) {
    why = "the written archive cannot be opened: " + platform::ErrorText(error);
  } else if (stamp.size <= 0) {
    why = "the runtime wrote an empty archive";
  } else if ((error = folder.SyncFileIn(part)) != 0) {
    why = "the archive cannot be written to the disk: " + platform::ErrorText(error);
  } else {
    const std::string digest = DigestOfFile(file, stamp.size);
    (void)file.Close();
    if (digest.empty()) {
      why = "the written archive cannot be read";
    } else if ((error = WriteDurably(folder, name + kJavaCacheSumSuffix,
                                     IntToString(stamp.size) + " " + digest + "\n")) != 0) {
      why = "its record cannot be written: " + platform::ErrorText(error);
    } else if ((error = folder.Rename(part, name)) != 0) {
      why = "it cannot be put in place: " + platform::ErrorText(error);
    }
  }
  (void)file.Close();
  if (!why.empty()) {
    (void)folder.Remove(part);
    return why;
  }
  (void)folder.Sync();
  return std::string();
}

void DropArchive(const platform::HeldFolder& folder, const std::string& name) {
  (void)folder.Remove(name);
  (void)folder.Remove(name + kJavaCacheSumSuffix);
}

int TryLockPatiently(const platform::Handle& file) {
  for (int attempt = 0;; ++attempt) {
    const int error = platform::TryLockFile(file);
    if (error != platform::kErrorBusy || attempt == 5) return error;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool IsHeld(const platform::HeldFolder& folder, const std::string& name) {
  platform::Handle file;
  if (folder.OpenLockFile(name, &file) != 0) return false;
  return TryLockPatiently(file) == platform::kErrorBusy;
}

std::vector<std::string> KeepWithinBound(const platform::HeldFolder& folder,
                                         const std::string& application,
                                         const std::string& current) {
  struct Entry {
    std::string name;
    platform::FileStamp stamp;
  };
  std::vector<Entry> archives;
  std::vector<std::string> others;
  std::int64_t newest = 0;
  for (const std::string& name : folder.List()) {
    const std::string archive = ArchiveOf(name, application);
    if (archive.empty()) continue;
    platform::Handle file;
    Entry entry{name, {}};
    if (folder.OpenFile(name, &file, &entry.stamp) != 0) continue;
    newest = std::max(newest, entry.stamp.written_sec);
    if (name == archive) {
      archives.push_back(entry);
    } else {
      others.push_back(name);
    }
  }
  std::sort(archives.begin(), archives.end(), [&current](const Entry& a, const Entry& b) {
    if ((a.name == current) != (b.name == current)) return a.name == current;
    if (a.stamp.written_sec != b.stamp.written_sec) return a.stamp.written_sec > b.stamp.written_sec;
    return a.stamp.written_nsec > b.stamp.written_nsec;
  });
  std::vector<std::string> removed;
  std::vector<std::string> kept;
  std::int64_t bytes = 0;
  for (std::size_t i = 0; i < archives.size(); ++i) {
    bytes += archives[i].stamp.size;
    if (i == 0 || (i < kJavaCacheKeptFiles && bytes <= kJavaCacheKeptBytes)) {
      kept.push_back(archives[i].name);
      continue;
    }
    DropArchive(folder, archives[i].name);
    removed.push_back("removed the older " + folder.PathOf(archives[i].name));
  }
  for (const std::string& name : others) {
    const std::string archive = ArchiveOf(name, application);
    if (std::find(kept.begin(), kept.end(), archive) != kept.end() && !EndsWith(name, kJavaCachePartSuffix)) {
      continue;  // the record, lock or note of a kept archive
    }
    if (archive == current && !EndsWith(name, kJavaCachePartSuffix)) continue;
    if (EndsWith(name, kJavaCacheLockSuffix) || EndsWith(name, kJavaCachePartSuffix)) {
      // Still written by a run or a step, or just handed to one.
      if (IsHeld(folder, name) || IsHeld(folder, archive + kJavaCacheLockSuffix)) continue;
      platform::Handle file;
      platform::FileStamp stamp;
      if (folder.OpenFile(name, &file, &stamp) != 0) continue;
      if (stamp.written_sec > newest - kUnheldPartSeconds && EndsWith(name, kJavaCachePartSuffix)) {
        continue;
      }
    }
    if (folder.Remove(name) == 0 && EndsWith(name, kJavaCachePartSuffix)) {
      removed.push_back("removed the leftover " + folder.PathOf(name));
    }
  }
  return removed;
}

bool IsRuntimeCrash(int exit_code) {
  const int kCrashCodes[] = {128 + 4, 128 + 6, 128 + 7, 128 + 8, 128 + 11,
                             static_cast<int>(0xC0000005u), static_cast<int>(0xC0000006u),
                             static_cast<int>(0xC000001Du), static_cast<int>(0xC0000409u)};
  return std::find(std::begin(kCrashCodes), std::end(kCrashCodes), exit_code) != std::end(kCrashCodes);
}

bool IsEndedByRequest(int exit_code) {
  const int kRequestCodes[] = {128 + 1, 128 + 2, 128 + 3, 128 + 15, static_cast<int>(0xC000013Au)};
  return std::find(std::begin(kRequestCodes), std::end(kRequestCodes), exit_code) !=
         std::end(kRequestCodes);
}

}  // namespace kb
