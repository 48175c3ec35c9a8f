// The configuration check: what a launcher would do with a configuration
// file and a set of launcher arguments, worked out through the launcher's
// own lookups and command assembly, without any of its side effects: it
// starts nothing, creates no folder, writes no log and holds no lock (the
// guard is only probed, which never creates a name).
#pragma once

#include <string>
#include <vector>

#include "check/ini_scan.h"
#include "check/report.h"

namespace kb {

class DataControl;
class UserIni;

namespace check {

struct Request {
  std::string config_file;  // as given on the command line
  std::string platform;     // "win", "wx6", or "" for this machine's tag
  // The launcher executable; a bare name is taken in the configuration
  // file's folder; "" = the default.
  std::string launcher;
  std::vector<std::string> launcher_args;  // what a user gives the launcher
};

// Fills the report. Returns false, with a message, when the request cannot
// be checked at all: a missing configuration file, a directory, an unknown
// platform tag. Changes the process's application name and launcher folder
// to those of the described launcher (InitApplicationAs), which is what
// makes the log name and LAUNCHERDIR come out as that launcher's.
bool Analyse(const Request& request, Report* report, std::string* error);

// The launcher a configuration file belongs to by default: its name plus
// "_console" in the same folder (".exe" added on Windows).
std::string DefaultLauncherFor(const std::string& config_file);
// 200 for a console launcher ("_console" in its name), else 100.
int KindOfLauncher(const std::string& launcher_path);

// The findings that need only the file and the lookups: structure, keys,
// numbering, values cut, the guard's keys. Needs report->keys as the launch
// reads them: a numbered list stops where they stop (an override or the
// user file fills a gap).
// The sections a launch reads for that platform tag (LookupSections), then
// "properties": where a key or a placeholder of the launch can be written.
std::vector<std::string> LaunchAndPropertySections(const std::string& platform);

void AddFileFindings(const IniScan& scan, const std::string& platform, Report* report);
// The findings on the predicted launch: program, class path, placeholders,
// length, uninstall runs.
void AddLaunchFindings(const IniScan& scan, const std::string& platform,
                       const std::string& launcher_dir, Report* report);

// Warnings for the "<env:NAME>" placeholders of the command-line keys as
// read (report->keys) and of the arguments passed through, whose
// variable's current text would split an argument where it stands: outside
// quotes with white space or a quote, inside them with a quote.
void AddEnvFindings(const std::string& config_file, const UserIni& user,
                    const std::string& pass_through, Report* report);

// The child's command line through the launcher's own assembly; fills
// command_line, argv, show_window, too_long and runner.
void PredictCommand(DataControl* options, const std::string& platform,
                    const std::string& config_file, int kind, Report* report);
// With "javacache=auto": the cache file the start would use or create, or
// why it would keep none, after PredictCommand.
void PredictJavaCache(const DataControl& options, Report* report);

}  // namespace check
}  // namespace kb
