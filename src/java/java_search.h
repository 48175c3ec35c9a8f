// Finding a Java runtime for a configuration that names none: the places
// of "javasearch" are searched in order, and the first runtime that fits
// "javamin" wins.
//
// Entries of "javasearch", separated by ';' (letter case of the entry words
// ignored):
//   bundled:<folder>  a runtime in that folder, relative to the launcher's
//   env:<VARIABLE>    the runtime in the folder the variable names
//   registry          Windows: the runtimes the installers registered under
//                     HKEY_LOCAL_MACHINE\SOFTWARE, in both registry views
//   system            POSIX: each folder in /usr/lib/jvm and /usr/java
//   path              the runtime of the first java on the search path
// Within an entry that holds several runtimes the highest version is tried
// first. Every runtime tried gets a line for the log (tag
// "Launcher::Run::start::javasearch") with its home, version and verdict.
// A runtime whose program cannot be started (not a regular file the user
// may execute; on Windows also an empty file or one that is no executable
// image) is skipped with the reason, and the search goes on. A runtime is
// judged once, however many entries or links lead to it: the later places
// are logged as "already tried as <home>".
#pragma once

#include <string>
#include <vector>

#include "java/java_runtime.h"

namespace kb {

inline constexpr char kKeyJavaMin[] = "javamin";
inline constexpr char kKeyJavaMax[] = "javamax";
inline constexpr char kKeyJavaSearch[] = "javasearch";
// The shipper's own text for a user whose machine has no fitting runtime.
inline constexpr char kKeyJavaMissing[] = "javamissing";
inline constexpr char kTagJavaSearch[] = "Launcher::Run::start::javasearch";

// The order searched when "javasearch" is absent or empty:
// "bundled:jre;bundled:runtime;env:JAVA_HOME;registry;path" on Windows,
// with "system" in place of "registry" on POSIX.
std::string DefaultJavaSearch();

struct JavaSearchRequest {
  // The configuration values: "" absent, " " present but empty, else the
  // value. An absent or empty search means the default order; an absent or
  // empty minimum and maximum accept any runtime, even one of unknown
  // version. A maximum bounds the feature version: "21" accepts 21.0.7.
  std::string search;
  std::string minimum;
  std::string maximum;
  std::string launcher_dir;
  bool windowed = false;  // the windowed launcher starts javaw.exe
  // Tests: folders searched by "system" instead of the platform's.
  const std::vector<std::string>* system_folders = nullptr;
};

struct JavaCandidate {
  std::string entry;  // the javasearch entry that named it
  std::string home;
  JavaVersion version;
  bool has_program = false;  // the launcher's java program exists in it
  // Why that program cannot be started (platform::WhyNotRunnable), or "".
  std::string not_runnable;
  // The place of this search where the same program (links resolved) was
  // judged first, or "" for a runtime met for the first time.
  std::string already_tried;
  bool fits = false;
  std::string verdict;  // "chosen", "too old, 17 or newer wanted", "too new, 17 to 21 wanted", ...
};

struct JavaSearchResult {
  bool found = false;
  std::string program;                    // the chosen runtime's program, used as launchercmd
  std::vector<JavaCandidate> candidates;  // every runtime tried, in order
  // What was searched and found, for the user: "java 11 in C:\app\jre,
  // JAVA_HOME unset, nothing on PATH; 17 or newer wanted".
  std::string detail;
  // "javamax" is below "javamin": nothing was searched.
  bool bounds_crossed = false;
  // The lines for the log, in order: the order searched, every candidate
  // with its verdict, entries that held nothing or were not understood.
  std::vector<std::string> log;
};

// Searches. Writes no log and starts nothing. Never fails towards its
// caller: found is false when no runtime fits, and detail then says why.
// A bound that is not a version, or a maximum below the minimum, searches
// nothing: no runtime could be right, and guessing could start one the
// application cannot run on.
JavaSearchResult FindJavaRuntime(const JavaSearchRequest& request);

}  // namespace kb
