// The child's command line, assembled from the configuration keys and the
// pass-through arguments. The launcher runs exactly what this unit gives,
// and a tool that checks a configuration calls the same unit to predict it.
//
// BuildChildCommand writes no log, changes no folder and starts nothing. Its
// only effect is on the option state: a command-line override "-<key> value"
// of a key it reads is consumed, so that it does not reach the child as
// well. Which overrides are consumed therefore depends on which keys are
// read, in this order:
//
//   1. "startdir" is not read here: the launch sequence reads it (and
//      consumes its override) before the instance guard, so a caller that
//      wants the launcher's pass-through text reads it first as well;
//   2. "launchercmd", and only when it is absent: "javamin", "javamax",
//      then "javasearch" (a runtime search runs when any is present, and its
//      program stands in for "launchercmd"), and "javamissing" when that
//      search found nothing;
//   3. "launcherargs";
//   4. only when "launcherargs" is empty: "JavaArgs_1", "JavaArgs_2", ... up
//      to the first absent one, then "Classpath", "MainClass", then
//      "AddtlArgs_1", "AddtlArgs_2", ... up to the first absent one;
//   5. what is left of the launcher's arguments is appended (GetArgLine), and
//      the property and "<env:NAME>" placeholders of the whole line are
//      replaced, leaving alone the text that variables put into the values.
//
// An override of a key that is not read (a Java key beside "launcherargs",
// "JavaArgs_3" when "JavaArgs_2" is absent) stays among the pass-through
// arguments.
#pragma once

#include <string>
#include <vector>

#include "java/java_search.h"
#include "java/short_forms.h"

namespace kb {

class DataControl;

// The longest command line that Windows can start: CreateProcess takes at
// most 32,767 characters, and that count includes the terminating NUL, so
// a line of 32,767 characters or more is refused. The POSIX build keeps the
// same limit so that a configuration behaves alike.
constexpr std::string::size_type kMaxCommandLine = 32766;

// The length of a finished line in the units the limit counts. Every
// comparison with kMaxCommandLine goes through these two.
std::string::size_type CommandLineLength(const std::string& command_line);
bool CommandLineTooLong(const std::string& command_line);

struct ChildCommand {
  // One configuration key as it was read: its name ("JavaArgs_" and
  // "AddtlArgs_" for the joined numbered keys) and its value with override
  // and placeholders applied ("" when absent, " " when present but empty).
  struct Key {
    std::string name;
    std::string value;
  };
  // One progress line for the launcher's log, in the launcher's order.
  struct LogLine {
    std::string tag;
    std::string text;
  };

  // The finished command line, placeholders replaced.
  std::string command_line;
  // Set when the launcher command names the windowed Java runtime.
  bool show_window = false;
  // Longer than kMaxCommandLine, counted in the system's units (Windows:
  // UTF-16 code units of the line as passed): the launcher refuses to start
  // it, since a cut line would run the wrong program or arguments.
  bool too_long = false;
  // The program as it stands in the line (rewritten, separators made
  // native); empty when "launchercmd" is absent.
  std::string launcher_command;
  // Every key read, in reading order.
  std::vector<Key> keys;
  // Set when "launchercmd" is absent and "javamin", "javamax" or
  // "javasearch" is present: the runtime search ran (its lines are in `log`), and its
  // outcome is here. When it found nothing the launcher does not start the
  // line but ends with -108 and java_search.detail.
  bool java_searched = false;
  JavaSearchResult java_search;
  // "javamissing" with its placeholders replaced, when the search found
  // nothing: "" absent, " " present but empty.
  std::string java_missing;
  // The pass-through text appended after the configured pieces.
  std::string pass_through;
  // What the launcher logs about the assembly ("launch command=",
  // "Launcher::Run::start::launchercmd", ...).
  std::vector<LogLine> log;
  // What it logs as warnings (paths without a short name, arguments a Java
  // runtime cannot receive).
  std::vector<LogLine> warnings;
  // The paths of a Java runtime's line given in short form, and the rest
  // (see short_forms.h); command_line is the line as passed.
  ShortForms short_forms;
};

// Assembles the command line from the option state, the platform tag (the
// section read first), the configuration file and the launcher kind (200,
// the console launcher, rewrites a windowed "javaw.exe" to "java.exe"; a
// runtime search gives the console launcher "java.exe" and the windowed one
// "javaw.exe"). "bundled:" folders of a search are relative to the
// configuration file's folder, which is the launcher's. Relative paths of
// the line are looked for through `paths`: the launcher, already in the
// child's working folder, asks the system; a tool that predicts the launch
// from elsewhere passes a FolderPathOracle of that folder.
ChildCommand BuildChildCommand(DataControl& options, const std::string& platform_tag,
                               const std::string& ini_file, int kind,
                               const PathOracle& paths = SystemPathOracle());

}  // namespace kb
