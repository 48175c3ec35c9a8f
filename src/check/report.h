// What the check found out about one configuration: the launch it
// predicts and the findings, ready for the text and JSON writers.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kb {
namespace check {

enum class Severity { kError, kWarning, kNote };
const char* SeverityName(Severity severity);  // "error", "warning", "note"

struct Finding {
  Severity severity = Severity::kNote;
  std::string code;      // stable identifier, e.g. "numbering-gap"
  std::string file;      // the file the line belongs to; "" for none
  std::size_t line = 0;  // 1-based; 0 when the finding has no line
  std::string message;
};

// One launch key as the launch reads it.
struct KeyValue {
  std::string key;
  std::string value;  // the value the launch uses ("" when absent)
  // "override", "win", "wx6", "default", "present-but-empty", "absent", or
  // "not read" (the Java keys beside "launcherargs").
  std::string source;
  std::string section;   // the section it was found in; "" for none
  std::size_t line = 0;  // where the value was read; 0 for none
  std::string file;      // the user file ("userini") it came from; "" for none
};

struct Property {
  std::string name;
  std::string value;
  std::string origin;  // "file", "master" or "built-in"
  std::size_t line = 0;
  std::vector<std::string> used_by;  // keys whose value names "<name>"
};

struct MasterFile {
  bool named = false;  // "MASTERPROP" present
  std::string value;   // as written, separators made native
  std::string path;    // the path read last
  bool found = false;  // a readable file with properties
  std::vector<std::string> added;
  std::vector<std::string> shadowed;  // defined by both: the file's own wins
};

struct GuardEntry {
  std::string id;       // trimmed and lower-cased, as probed
  std::string display;  // its "norunwith_display_" value
  std::string state;    // "running", "not running" or "unknown"
};

struct Report {
  std::string platform;
  bool platform_given = false;  // from --platform rather than this machine
  std::string config_file;
  std::string launcher;        // the launcher executable described
  int kind = 0;                // 200 console, 100 windowed
  // Where the kind was read: "program" (its own file), or "name" (no
  // program to read, or one that does not say).
  std::string kind_from;
  std::string launcher_version;  // as the program states it; "" when unknown
  std::string launcher_reads;  // the configuration file that launcher reads

  MasterFile master;
  // The user file "userini" names ("" for none) and what became of it:
  // "read", "missing" or "refused".
  std::string user_file;
  std::string user_file_state;
  std::vector<KeyValue> keys;
  std::vector<Property> properties;

  std::string working_folder;
  std::string working_folder_reason;  // "launcher's folder", "current folder", "startdir"
  std::string log_file;
  std::string temp_folder;
  std::string clean_folder;  // "-cleandir" when a script would be written

  std::string guard_id;
  std::vector<GuardEntry> norunwith;

  bool command_known = false;  // false when the launch stops before it
  std::string command_line;
  std::vector<std::string> argv;
  // The same arguments as the bytes the child receives: for a Java runtime
  // on Windows, its split of the line in the ANSI code page; otherwise the
  // text of argv.
  std::vector<std::string> argv_bytes;
  // Paths of a Java runtime's line given in their short (8.3) form, which
  // the runtime can read through the ANSI code page: what each one was.
  struct ShortForm {
    std::string original;
    std::string short_form;
  };
  std::vector<ShortForm> short_forms;
  std::string program;  // the file the system would start; "" if none
  // "relayed", "hidden", "uninstall", "refused" (the line is too long),
  // "no-java" or "no-properties" (placeholders pass their bound: -103)
  std::string runner;
  bool show_window = false;
  bool too_long = false;
  // A too-long line that runs through a Java argument file instead; when it
  // cannot, arg_file_refusal says why.
  bool arg_file = false;
  std::string arg_file_refusal;
  // "javacache=auto": the class-data cache file the start would use or
  // create, or java_cache_refusal saying why it would keep none. Both
  // empty without the key.
  std::string java_cache;
  bool java_cache_exists = false;
  std::string java_cache_refusal;

  // The Java runtime search, when launchercmd is absent and javamin or
  // javasearch is set: the lines the launcher would log, and what it found.
  bool java_searched = false;
  bool java_found = false;
  std::string java_detail;
  bool java_bounds_crossed = false;  // javamax below javamin
  std::vector<std::string> java_homes;  // every runtime home the search tried
  std::vector<std::string> java_log;

  std::vector<Finding> findings;

  std::size_t Count(Severity severity) const;
  // 0: nothing but notes; 1: warnings; 2: errors.
  int ExitCode() const;
};

}  // namespace check
}  // namespace kb
