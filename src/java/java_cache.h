// A class-data cache of a Java application, kept per user ("javacache").
//
// A Java runtime spends most of a short start loading, verifying and
// linking classes. Recent runtimes can map the classes an application used
// in an earlier run from a file instead. The launcher knows the runtime's
// version, the class path and the options, so it keeps that file for the
// user and names it on every later start:
//
//   - runtimes 25 and newer: an ahead-of-time cache. The first run records
//     a configuration (-XX:AOTMode=record); once that child has ended the
//     launcher creates the cache from it (-XX:AOTMode=create), with that
//     step's output in the log. Later runs name it with -XX:AOTCache.
//   - runtimes 13 to 24: a dynamic archive, written when the first run exits
//     (-XX:ArchiveClassesAtExit) and named by later runs with
//     -XX:SharedArchiveFile.
//   - older runtimes: nothing.
//
// The file is <data folder>/cache/<application>-<key>.<jsa|aot>. The key is
// a hash of all that makes a file valid: the runtime and its version, each
// JAR of the class path with its size and time, the options before the
// main class, and the runtime's option variables. A change to any of them
// gives another name, so a stale file is never named; the runtime checks
// what it maps as well. What a run writes goes to names of its own and is
// renamed into place after the child has ended, so two launches at once
// never read each other's part-written file. At most two such files of an
// application are kept.
//
// The cache never changes what the application does: the runtime's
// messages about these files are switched off by their log tags, a file
// that cannot be used only costs the time it would have saved, and nothing
// is written into a folder that is not this user's alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "env/env_calls.h"
#include "platform/fs.h"

namespace kb {

inline constexpr char kTagJavaCache[] = "Launcher::Run::start::javacache";
inline constexpr char kJavaCacheAuto[] = "auto";

enum class JavaCacheKind { kNone, kDynamicArchive, kAotCache };

// The mechanism a runtime of this feature version gets (0, unknown: none).
JavaCacheKind JavaCacheKindFor(int feature);

// What makes a cache file valid for a start; its hash names the file.
struct JavaCacheInputs {
  std::string runtime;  // the runtime's home, links resolved
  std::string version;  // as its release file gives it
  struct Jar {
    std::string path;
    platform::FileStamp stamp;
  };
  std::vector<Jar> class_path;
  // Every argument before the main class or "-jar", in order, the user's
  // argument files expanded; none of the launcher's own cache options.
  std::vector<std::string> options;
  // The runtime's option variables, "NAME=value" when set.
  std::vector<std::string> environment;
};

// Sixteen lowercase hexadecimal digits; any change to an input changes them.
std::string JavaCacheKey(const JavaCacheInputs& inputs);

// The decision for one finished command line, made without writing
// anything. When kind is kNone, why_not says why (one INFO line).
struct JavaCachePlan {
  JavaCacheKind kind = JavaCacheKind::kNone;
  std::string why_not;
  std::string application;
  std::string folder;   // <data folder>/cache
  std::string name;     // the file of this configuration: <application>-<key>.<ext>
  std::string archive;  // that file in `folder`
  // The line split: the runtime program, then its arguments; the first
  // `start_end` of the arguments are the options and what is started,
  // which the cache creation step repeats.
  std::vector<std::string> arguments;
  std::size_t start_end = 0;
};

// `working_folder` is the child's (relative class-path entries and
// argument files are read from it); `data_folder` the launcher's per-user
// data folder.
// `temp` is the run's temporary folder, for the argument file that a
// line made too long by the cache's options would need.
JavaCachePlan PlanJavaCache(const std::string& command_line, bool uninstall,
                            const std::string& data_folder, const std::string& working_folder,
                            const std::string& application, const TempFolder& temp);

// The options the launcher puts after the program: the runtime's messages
// about cache files off, then the use of `archive` or, when writing, the
// recording into `partial` (and, for the cache's recording run, the
// runtime's own console output into `vm_output`, since that run prints a
// line of its own there). Paths are given as the runtime can open them.
std::vector<std::string> JavaCacheOptions(JavaCacheKind kind, bool writing,
                                          const std::string& archive, const std::string& partial,
                                          const std::string& vm_output);

// One launch's use of the cache, between the start and the end of its child.
class JavaCacheRun {
 public:
  // Decides, logs the decision, prepares the folder and the names, and
  // gives the command line to start (the given one when nothing is done).
  std::string Begin(const JavaCachePlan& plan, const std::string& command_line);
  // After the child has ended: creates the cache from the recording, puts
  // what was written into place, removes what is left over and the oldest
  // files beyond two. Logs what it did.
  void End();

 private:
  JavaCachePlan plan_;
  bool writing_ = false;
  std::string partial_;    // what the run records into
  std::string vm_output_;  // the recording run's console output
};

}  // namespace kb
