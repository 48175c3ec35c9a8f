#include "java/java_runtime.h"

#include <cctype>

#include "common/text.h"
#include "platform/fs.h"
#include "platform/java_places.h"

namespace kb {
namespace {

constexpr char kReleaseFile[] = "release";
constexpr char kVersionKey[] = "JAVA_VERSION";
// A release file is a few kilobytes; anything far larger is not one.
constexpr std::size_t kMaxReleaseSize = 1 << 20;
// Feature versions are two digits today; this keeps the number in range.
constexpr int kMaxFeature = 100000;

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// The decimal number at text[*pos]; -1 when there is none or it is too large.
int NumberAt(const std::string& text, std::string::size_type* pos) {
  if (*pos >= text.size() || !IsDigit(text[*pos])) return -1;
  long long value = 0;
  while (*pos < text.size() && IsDigit(text[*pos])) {
    value = value * 10 + (text[*pos] - '0');
    if (value > kMaxFeature) return -1;
    ++*pos;
  }
  return static_cast<int>(value);
}

std::string Sep() { return std::string(1, platform::PathSeparator()); }

// Folder part of a path (before the last separator); empty when none.
std::string FolderOf(const std::string& path) {
  const std::string::size_type at =
      path.find_last_of(std::string(1, platform::PathSeparator()) + platform::ForeignSeparator());
  return at == std::string::npos ? std::string() : path.substr(0, at);
}

std::string FileNameOf(const std::string& path) {
  const std::string::size_type at =
      path.find_last_of(std::string(1, platform::PathSeparator()) + platform::ForeignSeparator());
  return at == std::string::npos ? path : path.substr(at + 1);
}

bool HasJavaName(const std::string& name) {
  const std::string suffix = platform::ExecutableSuffix();
  for (const char* base : {"java", "javaw"}) {
    if (platform::SameFileName(name, base + suffix) || platform::SameFileName(name, base)) {
      return true;
    }
  }
  return false;
}

// The file a program name stands for: as written, or with the executable
// suffix that Windows adds; a bare name is looked up in the search path.
std::string ExistingProgram(const std::string& program) {
  const std::string suffix = platform::ExecutableSuffix();
  auto existing = [&](const std::string& path) -> std::string {
    if (platform::GetPathKind(path) == platform::PathKind::kFile) return path;
    if (!suffix.empty() && platform::GetPathKind(path + suffix) == platform::PathKind::kFile) {
      return path + suffix;
    }
    return std::string();
  };
  if (!FolderOf(program).empty()) return existing(program);
  for (const std::string& folder : platform::SearchPathFolders()) {
    const std::string found = existing(folder + Sep() + program);
    if (!found.empty()) return found;
  }
  return std::string();
}

}  // namespace

int FeatureVersion(const std::string& version) {
  std::string::size_type pos = 0;
  const int first = NumberAt(version, &pos);
  if (first <= 0) return 0;
  if (first == 1 && pos < version.size() && version[pos] == '.') {
    ++pos;
    const int second = NumberAt(version, &pos);
    return second > 0 ? second : 0;
  }
  return first;
}

JavaVersion ParseReleaseText(const std::string& text) {
  JavaVersion version;
  std::string::size_type start = 0;
  while (start < text.size()) {
    std::string::size_type end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const std::string::size_type eq = line.find('=');
    if (eq == std::string::npos || TrimWhitespace(line.substr(0, eq)) != kVersionKey) continue;
    std::string value = TrimWhitespace(line.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    version.text = value;
    version.feature = FeatureVersion(value);
    return version;
  }
  return version;
}

JavaVersion ReadJavaVersion(const std::string& home) {
  std::string text;
  const int error = platform::ReadRegularFile(home + Sep() + kReleaseFile, kMaxReleaseSize, &text);
  if (error == platform::kErrorNotRegularFile) {
    JavaVersion version;
    version.problem = "not a regular file";
    return version;
  }
  return error == 0 ? ParseReleaseText(text) : JavaVersion();
}

bool IdentifyJavaRuntime(const std::string& program, JavaRuntime* runtime) {
  if (!HasJavaName(FileNameOf(program))) return false;
  const std::string file = ExistingProgram(program);
  if (file.empty()) return false;
  // The real file: a link's own folder (/usr/bin) is not the runtime's.
  const std::string real = platform::ResolveLinks(file);
  if (real.empty() || !HasJavaName(FileNameOf(real))) return false;
  const std::string home = FolderOf(FolderOf(real));
  if (home.empty() ||
      platform::GetPathKind(home + Sep() + kReleaseFile) != platform::PathKind::kFile) {
    return false;
  }
  runtime->home = home;
  runtime->version = ReadJavaVersion(home);
  return true;
}

std::string JavaProgramIn(const std::string& home, bool windowed) {
  return home + Sep() + "bin" + Sep() + platform::JavaProgramName(windowed);
}

}  // namespace kb
