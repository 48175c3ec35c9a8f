#include "support/java_homes.h"

#include <filesystem>

#include "platform/java_places.h"
#include "support/test_support.h"

namespace kbtest {

std::string MakeJavaHome(const std::string& home, const char* version,
                         const std::string& program_source) {
  const std::string bin = Join(home, "bin");
  MakeDirs(bin);
  if (version != nullptr) {
    WriteFile(Join(home, "release"),
              "IMPLEMENTOR=\"Test\"\nJAVA_VERSION=\"" + std::string(version) + "\"\n");
  }
  for (bool windowed : {false, true}) {
    const std::string program = Join(bin, platform::JavaProgramName(windowed));
    if (program_source.empty()) {
      // Startable as far as the launcher looks: an image's first bytes, and
      // execute rights for POSIX (Windows ignores them).
      WriteFile(program, "MZ not run by any test");
      namespace fs = std::filesystem;
      fs::permissions(program,
                      fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                      fs::perm_options::add);
    } else {
      CopyFile(program_source, program);
    }
  }
  return home;
}

std::string PathList(std::initializer_list<std::string> folders) {
  const char separator = Sep() == "\\" ? ';' : ':';
  std::string list;
  for (const std::string& folder : folders) {
    if (!list.empty()) list += separator;
    list += folder;
  }
  return list;
}

}  // namespace kbtest
