#include "java/jar_manifest.h"

#include <zlib.h>

#include <algorithm>

#include "common/text.h"
#include "platform/fs.h"
#include "platform/io.h"

namespace kb {
namespace {

constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint64_t kEndSize = 22;
constexpr std::uint64_t kZip64LocatorSize = 20;
constexpr std::uint64_t kLongestComment = 0xffff;
constexpr std::size_t kCentralSize = 46;
constexpr std::size_t kLocalSize = 30;
constexpr char kManifestName[] = "META-INF/MANIFEST.MF";

std::uint32_t Little(const std::string& bytes, std::size_t at, int count) {
  std::uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  }
  return value;
}

// Whether the name at `at` is the manifest's, in any letter case; looked
// at in place, since a large JAR has tens of thousands of names.
bool IsManifestName(const std::string& bytes, std::size_t at, std::size_t size) {
  constexpr std::size_t kNameSize = sizeof kManifestName - 1;
  if (size != kNameSize) return false;
  for (std::size_t i = 0; i < kNameSize; ++i) {
    char c = bytes[at + i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != kManifestName[i]) return false;
  }
  return true;
}

// Exactly `size` bytes at `offset`, or false.
bool ReadExactly(const platform::Handle& file, std::uint64_t offset, std::size_t size,
                 std::string* bytes) {
  bytes->assign(size, '\0');
  std::size_t got = 0;
  return size == 0 || (platform::ReadAt(file, offset, &(*bytes)[0], size, &got) == 0 && got == size);
}

// Raw deflate data into at most `expected` bytes, which it must fill.
bool Inflate(const std::string& data, std::size_t expected, std::string* out) {
  z_stream stream = {};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
  out->assign(expected, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(expected == 0 ? nullptr : &(*out)[0]);
  stream.avail_out = static_cast<uInt>(expected);
  // A stream that wants to write past `expected` stops at Z_BUF_ERROR or
  // Z_OK with no room left: either way it is not Z_STREAM_END.
  const int result = inflate(&stream, Z_FINISH);
  const bool whole = result == Z_STREAM_END && stream.total_out == expected;
  inflateEnd(&stream);
  return whole;
}

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  return (c | 0x20) - 'a' + 10;
}

// The "." and ".." steps of a path taken out, so that one JAR reached by
// two spellings is one name.
std::string Tidy(const std::string& path) {
  const char sep = platform::PathSeparator();
  const std::size_t root = platform::RootLength(path);
  std::vector<std::string> parts;
  std::string part;
  for (std::size_t i = root; i <= path.size(); ++i) {
    if (i < path.size() && !platform::IsPathSeparator(path[i])) {
      part += path[i];
      continue;
    }
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") {
        parts.pop_back();
      } else if (root == 0) {
        parts.push_back(part);
      }
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    part.clear();
  }
  std::string out = path.substr(0, root);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += sep;
    out += parts[i];
  }
  return out;
}

}  // namespace

std::string ReadJarManifest(const platform::Handle& jar, std::uint64_t size, std::string* manifest) {
  manifest->clear();
  if (size < kEndSize) return std::string();
  const std::uint64_t tail_size = std::min<std::uint64_t>(size, kEndSize + kLongestComment);
  std::string tail;
  if (!ReadExactly(jar, size - tail_size, static_cast<std::size_t>(tail_size), &tail)) {
    return "it cannot be read";
  }
  // The end record is the one whose comment reaches exactly to the end of
  // the file, as the runtime finds it.
  std::size_t end = std::string::npos;
  bool signature_seen = false;
  for (std::size_t at = tail.size() - kEndSize + 1; at-- > 0;) {
    if (Little(tail, at, 4) != kEndSignature) continue;
    signature_seen = true;
    if (at + kEndSize + Little(tail, at + 20, 2) == tail.size()) {
      end = at;
      break;
    }
  }
  if (end == std::string::npos) {
    // No zip archive: the runtime reads no class from it, nor a manifest.
    return signature_seen ? "its zip directory cannot be found" : std::string();
  }
  const std::uint64_t end_offset = size - tail_size + end;
  const std::uint32_t entries = Little(tail, end + 10, 2);
  const std::uint64_t directory_size = Little(tail, end + 12, 4);
  const std::uint64_t directory_offset = Little(tail, end + 16, 4);
  const bool zip64_locator =
      end_offset >= kZip64LocatorSize &&
      (end >= kZip64LocatorSize ? Little(tail, end - kZip64LocatorSize, 4) == kZip64LocatorSignature
                                : false);
  if (entries == 0xffff || directory_size == 0xffffffff || directory_offset == 0xffffffff ||
      zip64_locator) {
    return "it is a zip64 archive";
  }
  if (directory_size > end_offset || directory_size > kMaxCentralDirectory) {
    return "its zip directory is larger than " + IntToString(static_cast<long long>(
                                                     std::min(end_offset, kMaxCentralDirectory))) +
           " bytes";
  }
  // Data put before the archive (a self-extracting stub) moves every
  // offset by the same amount: the directory ends where the end record
  // begins.
  const std::uint64_t directory_start = end_offset - directory_size;
  if (directory_offset > directory_start) return "its zip directory is damaged";
  const std::uint64_t shift = directory_start - directory_offset;
  std::string directory;
  if (!ReadExactly(jar, directory_start, static_cast<std::size_t>(directory_size), &directory)) {
    return "its zip directory cannot be read";
  }
  bool found = false;
  std::uint32_t method = 0;
  std::uint64_t packed = 0;
  std::uint64_t unpacked = 0;
  std::uint64_t local = 0;
  std::size_t at = 0;
  for (std::uint32_t n = 0; n < entries; ++n) {
    if (at + kCentralSize > directory.size() || Little(directory, at, 4) != kCentralSignature) {
      return "its zip directory is damaged";
    }
    const std::size_t name_size = Little(directory, at + 28, 2);
    const std::size_t next = at + kCentralSize + name_size + Little(directory, at + 30, 2) +
                             Little(directory, at + 32, 2);
    if (next > directory.size()) return "its zip directory is damaged";
    if (IsManifestName(directory, at + kCentralSize, name_size)) {
      if (found) return "it holds two manifests";
      found = true;
      if ((Little(directory, at + 8, 2) & 1) != 0) return "its manifest is encrypted";
      method = Little(directory, at + 10, 2);
      packed = Little(directory, at + 20, 4);
      unpacked = Little(directory, at + 24, 4);
      local = Little(directory, at + 42, 4) + shift;
    }
    at = next;
  }
  if (!found) return std::string();
  if (method != 0 && method != 8) {
    return "its manifest is compressed by method " + IntToString(method);
  }
  if (packed > kMaxManifest || unpacked > kMaxManifest) {
    return "its manifest is larger than " + IntToString(static_cast<long long>(kMaxManifest)) +
           " bytes";
  }
  std::string header;
  if (local > directory_start || !ReadExactly(jar, local, kLocalSize, &header) ||
      Little(header, 0, 4) != kLocalSignature) {
    return "its manifest cannot be found";
  }
  const std::uint64_t data_start = local + kLocalSize + Little(header, 26, 2) + Little(header, 28, 2);
  std::string data;
  if (data_start + packed > directory_start ||
      !ReadExactly(jar, data_start, static_cast<std::size_t>(packed), &data)) {
    return "its manifest cannot be read";
  }
  if (method == 0) {
    if (packed != unpacked) return "its manifest is damaged";
    *manifest = std::move(data);
    return std::string();
  }
  if (!Inflate(data, static_cast<std::size_t>(unpacked), manifest)) {
    manifest->clear();
    return "its manifest cannot be inflated";
  }
  return std::string();
}

std::vector<std::string> ManifestClassPath(const std::string& manifest) {
  // Lines end with CR LF, LF or CR; a line that begins with a space goes
  // on the line before; the main section ends at the first empty line.
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < manifest.size()) {
    std::size_t end = manifest.find_first_of("\r\n", at);
    if (end == std::string::npos) end = manifest.size();
    const std::string line = manifest.substr(at, end - at);
    at = end;
    if (at < manifest.size() && manifest[at] == '\r') ++at;
    if (at < manifest.size() && manifest[at] == '\n') ++at;
    if (line.empty()) break;
    if (line[0] == ' ' && !lines.empty()) {
      lines.back() += line.substr(1);
    } else {
      lines.push_back(line);
    }
  }
  std::string value;
  for (const std::string& line : lines) {
    const std::size_t colon = line.find(": ");
    // The last of two attributes of one name is the one that counts.
    if (colon != std::string::npos && EqualsNoCase(line.substr(0, colon), "Class-Path")) {
      value = line.substr(colon + 2);
    }
  }
  std::vector<std::string> entries;
  std::string entry;
  for (char c : value + " ") {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
      if (!entry.empty()) entries.push_back(entry);
      entry.clear();
    } else {
      entry += c;
    }
  }
  return entries;
}

std::string ClassPathEntryFile(const std::string& jar_folder, const std::string& entry,
                               std::string* path) {
  std::string text = entry;
  // A scheme: letters, digits, "+", "-", "." before a ":" that comes
  // before any "/".
  const std::size_t colon = text.find(':');
  if (colon != std::string::npos && colon < text.find('/') && colon > 0) {
    if (!EqualsNoCase(text.substr(0, colon), "file")) return "it is a URL that names no file";
    text = text.substr(colon + 1);
    if (text.rfind("//", 0) == 0) {
      // "file://host/..." names another machine; "file:///..." this one.
      const std::size_t slash = text.find('/', 2);
      if (slash != 2) return "it names a file on another machine";
      text = text.substr(2);
    }
  }
  if (text.empty() || text.back() == '/') return "it names a folder";
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded += text[i];
      continue;
    }
    if (i + 2 >= text.size() || !IsHex(text[i + 1]) || !IsHex(text[i + 2])) {
      return "it holds a \"%\" that is no escape";
    }
    decoded += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
    i += 2;
  }
  if (decoded.find('\\') != std::string::npos || decoded.find('\0') != std::string::npos) {
    return "it is no URL path";
  }
  for (char& c : decoded) {
    if (c == '/') c = platform::PathSeparator();
  }
  const char sep = platform::PathSeparator();
  if (decoded[0] == sep) {
    // "/C:/lib/x.jar" on Windows; "/lib/x.jar" on POSIX.
    const std::string rest = decoded.substr(1);
    if (platform::IsAbsolutePath(rest)) {
      decoded = rest;
    } else if (!platform::IsAbsolutePath(decoded)) {
      return "it names a path without a drive";
    }
  } else if (platform::IsAbsolutePath(decoded) || platform::RootLength(decoded) > 0) {
    return "it is no URL path";
  } else {
    decoded = jar_folder + sep + decoded;
  }
  *path = Tidy(decoded);
  return std::string();
}

}  // namespace kb
