// Fake Java runtime homes for the tests: a "release" file and a program in
// "bin" (a file that looks startable but is never run, or a copy of a real
// program when a test starts it).
#pragma once

#include <initializer_list>
#include <string>

namespace kbtest {

// Creates <home>/release with the line JAVA_VERSION="<version>" (no release
// file when version is null) and <home>/bin/<the launcher's java program>
// (java, java.exe and javaw.exe on Windows). program_source, when not
// empty, is copied as the program. Returns home.
std::string MakeJavaHome(const std::string& home, const char* version,
                         const std::string& program_source = "");

// Folders joined into a search path value (';' on Windows, ':' on POSIX).
std::string PathList(std::initializer_list<std::string> folders);

}  // namespace kbtest
