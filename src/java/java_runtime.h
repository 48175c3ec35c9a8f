// Java runtimes as the launcher sees them: a home folder whose "release"
// file names the version, and a program "bin/java" (Windows "bin\java.exe"
// or "bin\javaw.exe") inside it. The version is read from that file; no
// Java virtual machine is ever started to ask.
#pragma once

#include <string>

namespace kb {

struct JavaVersion {
  std::string text;  // as written in the release file ("17.0.15"), or empty
  int feature = 0;   // the feature version (17; "1.8.0_392" gives 8); 0 = unknown
  // Why the release file was not read although an entry of that name
  // exists: "not a regular file". Empty when it was read or is missing.
  std::string problem;
};

// The feature version of a Java version string: the first number, or the
// second one for the old "1.x" scheme ("1.8.0_392" -> 8, "17.0.15" -> 17,
// "21" -> 21, "17-ea" -> 17). 0 when the text does not start with a
// positive number.
int FeatureVersion(const std::string& version);

// The value of the JAVA_VERSION line of a release file's text (one pair of
// outer quotes removed) and its feature version. Unknown (empty, 0) when
// the file has no such line.
JavaVersion ParseReleaseText(const std::string& text);

// Reads <home>/release, which is opened without waiting and read only when
// it is a regular file. Unknown when the file is missing or unreadable; a
// FIFO, folder or device of that name also gives the problem.
JavaVersion ReadJavaVersion(const std::string& home);

struct JavaRuntime {
  std::string home;     // the folder that holds "release" (links resolved)
  JavaVersion version;  // unknown when "release" cannot be read
};

// Tells whether `program` is a Java runtime: a file named java or javaw
// (".exe" on Windows, where the letter case is ignored and the extension
// may be left out) whose folder's parent holds a "release" file. A name
// without a folder is looked up in the search path. Links are resolved
// first, so /usr/bin/java leads to the runtime it points to. True, with
// *runtime filled, for a Java runtime.
bool IdentifyJavaRuntime(const std::string& program, JavaRuntime* runtime);

// The program of the runtime in `home` that a launcher of this kind starts:
// <home>/bin/java, on Windows <home>\bin\java.exe or, windowed, javaw.exe.
std::string JavaProgramIn(const std::string& home, bool windowed);

}  // namespace kb
