#include <cstdlib>
#include <string>

#include "platform/script.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// cmd expands "%name%" even inside double quotes; "%%" in a batch file is
// one literal "%". Other special characters are literal inside quotes, and
// a double quote cannot occur in a Windows path.
std::string BatchQuote(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += "\"";
  return quoted;
}

std::string FullPath(const std::string& path) {
  if (path.empty()) return std::string();
  char buffer[MAX_PATH * 4];
  const DWORD length =
      ::GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  if (length == 0 || length >= sizeof buffer) return std::string();
  std::string full(buffer, length);
  // "C:\" keeps its separator; "C:\dir\" loses it so that both spellings of
  // one folder compare equal.
  while (full.size() > 3 && (full.back() == '\\' || full.back() == '/')) {
    full.pop_back();
  }
  return full;
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  // INVALID_FILE_ATTRIBUTES has every bit set, the directory bit included.
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

const char* CleanupScriptExtension() { return ".bat"; }

std::string CleanupScriptText(const std::string& parent,
                              const std::string& clean_dir,
                              const std::string& script_path) {
  // The file is written as bytes, so the CR LF line ends are spelled out.
  std::string text = "sleep 2\r\n";
  text += "cd /d " + BatchQuote(parent) + "\r\n";
  text += "rmdir /S /Q " + BatchQuote(clean_dir) + "\r\n";
  text += "del " + BatchQuote(script_path) + "\r\n";
  return text;
}

bool IsFileSystemRoot(const std::string& path) {
  const std::string full = FullPath(path);
  if (full.empty() || !IsDirectory(full)) return false;
  char volume[MAX_PATH * 4];
  if (!::GetVolumePathNameA(full.c_str(), volume, sizeof volume)) {
    return false;
  }
  // The volume path always ends in a separator; a root is its own volume.
  return lstrcmpiA(FullPath(volume).c_str(), full.c_str()) == 0;
}

bool SameFolder(const std::string& a, const std::string& b) {
  const std::string first = FullPath(a);
  const std::string second = FullPath(b);
  if (first.empty() || second.empty()) return false;
  if (!IsDirectory(first) || !IsDirectory(second)) return false;
  return lstrcmpiA(first.c_str(), second.c_str()) == 0;
}

}  // namespace platform
