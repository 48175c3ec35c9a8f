// The step that makes a class-data archive from a first run's class list.
//
// The first run of a configuration records the classes it loads
// (-XX:DumpLoadedClassList), which changes nothing the application sees.
// Once its child has ended the launcher starts itself again, detached, as
// this step and returns at once: the user never waits for the archive.
// The step runs the runtime once more, alone, to dump a static archive
// (-Xshare:dump, which needs no archive of the runtime's own: a plain
// jlink runtime gets one as well), bounded in time, then puts the archive
// in place whole and leaves a note for the next run's log.
//
// The step's runtime repeats none of the application's options but those
// the archive must match (class path, heap and pointer layout, collector,
// modules, preview); the runtime's option variables are not passed on, so
// nothing the application writes (logs, dumps, recordings, agents) is
// written again.
//
// Before the archive is put in place the step asks the runtime whether it
// starts the same with it: the application's own options and "-version",
// in the application's option variables, once plain and once with the
// options a later run adds. Another exit code or other output leaves no
// archive, and the note says what the runtime answered.
#pragma once

#include <string>
#include <vector>

namespace kb {

// Set in the environment of the launcher started as the step.
inline constexpr char kJavaCacheStepVariable[] = "KESTRELBAY_JAVACACHE_STEP";
// The step ends itself, and its runtime, after this long.
inline constexpr unsigned kJavaCacheStepSeconds = 300;

// Of the options a start gives the runtime (the option variables' first,
// then the line's, the user's argument files expanded), those the step
// repeats, followed by the class path as one "-cp" option.
std::vector<std::string> JavaCacheStepOptions(const std::vector<std::string>& options,
                                              const std::string& class_path);

struct JavaCacheStep {
  std::string data_folder;     // the launcher's data folder
  std::string runtime_folder;  // the cache folder as the runtime can open it
  std::string archive;         // the archive's name in the cache folder
  std::string class_list;      // the recorded list's name there
  bool link_classes = false;   // the runtime links the classes ahead of time (25+)
  std::string runtime;         // the runtime program
  std::vector<std::string> options;  // JavaCacheStepOptions
  // The application's own options before what it starts, as the first run
  // gave them to the runtime, for the probe before the archive is put in
  // place; not probed when JavaCacheProbeAllowed says no.
  bool probe = false;
  std::vector<std::string> probe_options;
};

// Whether the step may ask the runtime with these options (those of the
// line and of the option variables): not when one starts an agent, which
// may wait for a debugger, nor when one has the runtime write a file (a
// log, a recording), which the probe would write again over the
// application's. The rules alone decide then.
bool JavaCacheProbeAllowed(const std::vector<std::string>& options);

// The step's own arguments, and back.
std::vector<std::string> JavaCacheStepArguments(const JavaCacheStep& step);
bool ReadJavaCacheStep(const std::vector<std::string>& arguments, JavaCacheStep* step);

// The runtime's command line that dumps the archive into `part`.
std::string JavaCacheDumpLine(const JavaCacheStep& step, const std::string& part);

// Starts `launcher` as the step, detached. 0, or the system error code.
int StartJavaCacheStep(const std::string& launcher, const JavaCacheStep& step);

// True in a launcher started as the step.
bool IsJavaCacheStep();

// The step itself: the launcher's whole work when IsJavaCacheStep.
// `arguments` are the program's, its own path first. Returns 0 when the
// archive was made or was not needed.
int RunJavaCacheStep(const std::vector<std::string>& arguments);

}  // namespace kb
