// A class-data cache of a Java application, kept per user ("javacache").
//
// A Java runtime spends most of a short start loading, verifying and
// linking classes. A runtime can map the classes an application used in an
// earlier run from an archive instead. The launcher knows the runtime's
// version, the class path and the options, so it keeps that file for the
// user and names it on every later start (-XX:SharedArchiveFile):
//
//   - the first run of a configuration records the classes it loads
//     (-XX:DumpLoadedClassList) and runs as it would without the cache;
//   - once it has ended, a step started by the launcher, which does not
//     wait for it, dumps a static archive from that list (runtimes 25 and
//     newer also link the classes ahead of time): java_cache_step.h;
//   - runtimes older than 13: nothing.
//
// The file is <data folder>/cache/<application>-<key>.<jsa|aot>. The key is
// a hash of all that makes a file valid: the runtime and its version, each
// JAR of the class path with its size and time, the options before the
// main class, and the runtime's option variables. A change to any of them
// gives another name, so a stale file is never named; the runtime checks
// what it maps as well. The archive is named only once written whole, and
// checked against the size and digest kept beside it before each use
// (java_cache_file.h).
//
// The cache never changes what the application does: the runtime's
// messages about these files are switched off by their log tags, a file
// that cannot be used only costs the time it would have saved, and nothing
// is written into a folder that is not this user's alone.
#pragma once

#include <cstdint>
#include <memory>
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
// about cache files off, then the use of `archive` or, for a first run,
// the recording of the classes it loads into `class_list`. Paths are given
// as the runtime can open them.
std::vector<std::string> JavaCacheOptions(JavaCacheKind kind, bool writing,
                                          const std::string& archive,
                                          const std::string& class_list);

// One launch's use of the cache, between the start and the end of its child
// (the archive itself is made by a step after the launcher has returned:
// see java_cache_step.h).
class JavaCacheRun {
 public:
  JavaCacheRun();
  ~JavaCacheRun();
  JavaCacheRun(const JavaCacheRun&) = delete;
  JavaCacheRun& operator=(const JavaCacheRun&) = delete;
  // Decides, logs the decision and what the last step did, judges the
  // folder, checks the archive, and gives the command line to start (the
  // given one when nothing is done).
  std::string Begin(const JavaCachePlan& plan, const std::string& command_line);
  // After the child has ended with `exit_code`: drops an archive the
  // runtime crashed on, or starts the step that makes the archive from
  // this run's class list. Logs what it did.
  void End(int exit_code);

 private:
  struct State;
  JavaCachePlan plan_;
  std::unique_ptr<State> state_;
};

}  // namespace kb
