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

#include "env/env_calls.h"
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

// The text of the launcher's argument file for the arguments after the
// program. Java reads an "@file" only on its command line, never inside
// another argument file, so each "@file" among the Java options (before
// the main class, a "-jar" file or a "-m" module; not after
// "--disable-@files") gets that file's own text in its place: both are in
// Java's argument-file syntax. A relative name is read from
// `working_folder`, the child's, as Java would read it. An "@file" after
// the main class is an argument of the application and stays as it is.
// False, with *refusal saying which file, when a user's file cannot be read.
bool JavaArgFileBody(const std::vector<std::string>& arguments, const std::string& working_folder,
                     std::string* text, std::string* refusal);

// How a Java runtime reads the arguments after its program: its own
// options, with the user's argument files among them expanded in place,
// then what it starts.
struct JavaLaunch {
  enum class Start { kNone, kClass, kJar, kModule };
  // The options before what is started ("-jar" and "-m" not included).
  std::vector<std::string> options;
  // The index in the given arguments just past the options and what is
  // started (the application's own arguments begin there).
  std::size_t options_end = 0;
  Start start = Start::kNone;
  // The main class, the "-jar" file or the module ("--module=" form as
  // given).
  std::string target;
  // A user's argument file that cannot be read; nothing else is filled.
  std::string unreadable;
};
JavaLaunch ReadJavaLaunch(const std::vector<std::string>& arguments,
                          const std::string& working_folder);

struct LongCommandLine {
  std::string command_line;  // the line to start, when no refusal
  std::string arg_file;      // the file to remove after the child has ended
  std::string refusal;       // why no argument file was used, when not empty
  // About the file's own name (no short form where one is needed).
  std::vector<std::string> warnings;
};

// Why a command line too long to start (CommandLineTooLong) cannot run
// through an argument file, or empty when it can (the file is not made
// here). `temp` is the run's temporary folder as DecideTempFolder judged
// it; `working_folder` is the child's.
std::string WhyNoArgFile(const std::string& command_line, bool uninstall, const TempFolder& temp,
                         const std::string& working_folder);

// For a command line too long to start: writes the argument file and gives
// the short line that reads it, or says why it cannot (an uninstall run, a
// program that is not a Java runtime, a version unknown or older than 9, a
// temporary folder that cannot be used, a user's argument file that cannot
// be read). The arguments are those the child would get from the long line
// (SplitCommandLine), with the user's argument files among the Java options
// written in. Windows: the launcher's own arguments are written in the ANSI
// code page, through which a Java runtime reads the file, and the file is
// named by its short form when the code page cannot hold its name.
LongCommandLine ShortenWithArgFile(const std::string& command_line, bool uninstall,
                                   const TempFolder& temp, const std::string& working_folder);

}  // namespace kb
