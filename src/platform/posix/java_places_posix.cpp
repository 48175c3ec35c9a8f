#include <dirent.h>
#include <limits.h>
#include <stdlib.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/java_places.h"

namespace platform {

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()), ::closedir);
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir.get())) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
      continue;
    }
    names.emplace_back(entry->d_name);
  }
  return names;
}

std::string ResolveLinks(const std::string& path) {
  if (path.empty()) return std::string();
  std::unique_ptr<char, void (*)(void*)> real(::realpath(path.c_str(), nullptr), ::free);
  return real ? std::string(real.get()) : std::string();
}

bool SameFileName(const std::string& a, const std::string& b) { return a == b; }

const char* ExecutableSuffix() { return ""; }

const char* JavaProgramName(bool) { return "java"; }

const char* JavaServerFolder() { return "lib/server"; }

std::vector<std::string> SearchPathFolders() {
  std::vector<std::string> folders;
  const std::string path = GetEnvVar("PATH");
  std::string::size_type start = 0;
  while (start <= path.size()) {
    std::string::size_type end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) folders.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return folders;
}

std::vector<std::string> SystemJavaFolders() { return {"/usr/lib/jvm", "/usr/java"}; }

char ClassPathSeparator() { return ':'; }

}  // namespace platform
