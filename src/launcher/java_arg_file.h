// Command lines past the system's limit, run through a Java argument file.
//
// A Java runtime of version 9 or newer reads its arguments from a file
// named "@file" on its command line. When the finished command line is too
// long and its program is such a runtime, every argument after the program
// goes into a private file in the temporary folder, and the child is
// started as `"<program>" @<file>`; the file is removed once the child has
// ended.
#pragma once

#include <string>
#include <vector>

#include "launcher/child_command.h"

namespace kb {

inline constexpr char kTagCommandLine[] = "Launcher::Run::start::commandline";
inline constexpr char kTagArgFile[] = "Launcher::Run::start::argfile";

// One argument as a Java argument file gives it back unchanged: in double
// quotes, with backslash, double quote, line feed, carriage return, tab and
// form feed written as the escapes \\ \" \n \r \t \f (a backslash escapes
// inside quotes, and white space, '#', a single quote and '@' are plain
// characters there).
std::string QuoteForJavaArgFile(const std::string& argument);
// The file's text: one quoted argument per line.
std::string JavaArgFileText(const std::vector<std::string>& arguments);

struct LongCommandLine {
  std::string command_line;  // the line to start, when no refusal
  std::string arg_file;      // the file to remove after the child has ended
  std::string refusal;       // why no argument file was used, when not empty
  // About the file's own name (no short form where one is needed).
  std::vector<std::string> warnings;
};

// Why a command line longer than kMaxCommandLine cannot run through an
// argument file, or empty when it can (the file is not made here).
std::string WhyNoArgFile(const std::string& command_line, bool uninstall,
                         const std::string& temp_folder);

// For a command line longer than kMaxCommandLine: writes the argument file
// (in the ANSI code page on Windows, where a Java runtime reads it so) and
// gives the short line that reads it, naming the file in its short form
// when the code page cannot hold its name, or says why it cannot (an
// uninstall run, a program that is not a Java runtime, a version unknown or
// older than 9, a temporary folder that cannot be used). The arguments are
// those the child would get from the long line (SplitCommandLine).
LongCommandLine ShortenWithArgFile(const std::string& command_line, bool uninstall,
                                   const std::string& temp_folder);

}  // namespace kb
