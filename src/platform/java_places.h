// The places where Java runtimes are installed, and the file-system
// questions a search over them asks: folder listings, link resolution, the
// search path and the Windows registry.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Names of the entries of a folder, "." and ".." left out, in no particular
// order. Empty when the folder cannot be read.
std::vector<std::string> ListFolder(const std::string& path);

// The path with every symbolic link resolved (POSIX realpath; Windows the
// final path of the opened file, without its "\\?\" prefix). Empty when the
// path does not exist.
std::string ResolveLinks(const std::string& path);

// True when two file names name the same file by their spelling: letter
// case ignored on Windows, compared exactly on POSIX.
bool SameFileName(const std::string& a, const std::string& b);

// What an executable's file name ends in: ".exe" on Windows, "" on POSIX.
const char* ExecutableSuffix();

// File name of a Java runtime's program in its "bin" folder: Windows
// "java.exe", or "javaw.exe" for a windowed launcher; POSIX "java" for both.
const char* JavaProgramName(bool windowed);

// The folders of the search path ("PATH", split at ';' on Windows and ':'
// on POSIX), empty entries left out, in order.
std::vector<std::string> SearchPathFolders();

// Folders that hold one system-wide Java installation per entry. POSIX:
// "/usr/lib/jvm" and "/usr/java". Windows: none (the registry names them).
std::vector<std::string> SystemJavaFolders();

// True where a system registry exists (Windows).
bool HasRegistry();

// The registry views of HKEY_LOCAL_MACHINE: a 32-bit process on 64-bit
// Windows sees the 32-bit one unless it asks for the other.
enum class RegistryView { k64, k32 };

// Names of the subkeys of HKEY_LOCAL_MACHINE\<path> in that view, in the
// registry's order. Empty when the key is missing or cannot be read; always
// empty on POSIX.
std::vector<std::string> RegistrySubkeys(const std::string& path, RegistryView view);

// The string value `name` of HKEY_LOCAL_MACHINE\<path> in that view (an
// expandable string is returned unexpanded). Empty when missing, not a
// string, or on POSIX.
std::string RegistryString(const std::string& path, const std::string& name,
                           RegistryView view);

}  // namespace platform
