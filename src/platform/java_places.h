// The places where Java runtimes are installed, and the file-system
// questions a search over them asks: folder listings, link resolution, the
// search path. The Windows registry, which names installations too, is in
// registry.h.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Names of the entries of a folder, "." and ".." left out, in no particular
// order. Empty when the folder cannot be read: a search over places where
// a runtime may be installed takes a missing or closed folder as one that
// holds none, so absence is an ordinary answer here.
std::vector<std::string> ListFolder(const std::string& path);

// The path with every symbolic link resolved (POSIX realpath; Windows the
// final path of the opened file, without its "\\?\" prefix). Empty when the
// path does not exist (an ordinary answer for a candidate runtime).
std::string ResolveLinks(const std::string& path);

// True when two file names name the same file by their spelling: letter
// case ignored on Windows, compared exactly on POSIX.
bool SameFileName(const std::string& a, const std::string& b);

// What an executable's file name ends in: ".exe" on Windows, "" on POSIX.
const char* ExecutableSuffix();

// File name of a Java runtime's program in its "bin" folder: Windows
// "java.exe", or "javaw.exe" for a windowed launcher; POSIX "java" for both.
const char* JavaProgramName(bool windowed);

// The folder of a Java runtime's home that holds its server virtual machine
// and the class-data archive of the runtime's own classes: Windows
// "bin\server", POSIX "lib/server".
const char* JavaServerFolder();

// The folders of the search path ("PATH", split at ';' on Windows and ':'
// on POSIX), empty entries left out, in order.
std::vector<std::string> SearchPathFolders();

// Folders that hold one system-wide Java installation per entry. POSIX:
// "/usr/lib/jvm" and "/usr/java". Windows: none (the registry names them).
std::vector<std::string> SystemJavaFolders();

// The separator between class-path entries that the Java runtime expects:
// ';' on Windows, ':' on POSIX.
char ClassPathSeparator();

}  // namespace platform
