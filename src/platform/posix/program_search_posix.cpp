#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/environment.h"
#include "platform/program_search.h"

namespace platform {
namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string InFolder(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

std::string FindProgram(const std::string& program, const std::string& launcher_dir,
                        const std::string& work_dir) {
  (void)launcher_dir;  // posix_spawnp never looks beside the parent
  if (program.empty()) return std::string();
  if (program.find('/') != std::string::npos) {
    const std::string path = program[0] == '/' ? program : InFolder(work_dir, program);
    return IsExecutableFile(path) ? path : std::string();
  }
  std::string search = GetEnvVar("PATH");
  if (search.empty() && std::getenv("PATH") == nullptr) search = "/bin:/usr/bin";
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type colon = search.find(':', start);
    std::string folder =
        search.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (folder.empty())
      folder = work_dir;
    else if (folder[0] != '/')
      folder = InFolder(work_dir, folder);
    const std::string path = InFolder(folder, program);
    if (IsExecutableFile(path)) return path;
    if (colon == std::string::npos) return std::string();
    start = colon + 1;
  }
}

}  // namespace platform
