// What a class-data cache may be kept for: the options and variables a
// Java runtime reads, the JAR files it loads, and the options with which a
// runtime would refuse to record or use a cache.
//
// The cache must never make the application not start. The runtime reads
// options from its command line and from three variables, and with some of
// them it refuses to start at all once it is asked to record (a limited
// module graph; on 13 to 24, anything that keeps it from mapping its own
// archive, or an agent). Each such option means no cache. The key must
// cover every JAR whose classes the runtime loads, so that a replaced
// library is never served from a file made with the old one: the class
// path, and the JAR files that the manifests of those JAR files name, in
// turn.
#pragma once

#include <string>
#include <vector>

#include "java/java_arg_file.h"
#include "java/java_cache.h"

namespace kb {

// The variables from which the runtime reads options, in the order in
// which it reads them around its command line: JAVA_TOOL_OPTIONS before,
// JDK_JAVA_OPTIONS just before the line's own options, _JAVA_OPTIONS after.
inline constexpr const char* kJavaOptionVariables[] = {"JAVA_TOOL_OPTIONS", "JDK_JAVA_OPTIONS",
                                                       "_JAVA_OPTIONS"};

// Options with which the user chooses class-data sharing or a cache, or
// which name a file of options that is not looked into. The name is what
// follows "-XX:" and a "+" or "-"; "-Xshare:" is matched as a start.
inline constexpr const char* kSharingOptionNames[] = {
    "SharedArchiveFile",      "ArchiveClassesAtExit", "AutoCreateSharedArchive",
    "AOTCache",               "AOTCacheOutput",       "AOTMode",
    "AOTConfiguration",       "SharedClassListFile",  "VMOptionsFile",
    "Flags",                  "UseSharedSpaces",      "RequireSharedSpaces",
    "DumpLoadedClassList",    "RecordDynamicDumpInfo", "DumpSharedSpaces",
    "DynamicDumpSharedSpaces", "SharedArchiveConfigFile"};

// One place the runtime reads options from.
struct JavaOptionSource {
  std::string name;  // "" for the command line, else the variable's name
  std::string value;  // the variable's value as set
  // Its options in order, argument files expanded where the runtime
  // expands them (the line, JDK_JAVA_OPTIONS).
  std::vector<std::string> options;
};

// The option variables that are set, read as the runtime reads them; a
// relative argument file of JDK_JAVA_OPTIONS is read from
// `working_folder`. "" with *sources filled, or why they cannot be read.
std::string ReadJavaOptionVariables(const std::string& working_folder,
                                    std::vector<JavaOptionSource>* sources);

// Why a runtime of `feature` must get no cache with these sources of
// options (given in the runtime's reading order), or "". Says which source
// holds which option.
std::string WhyNoCacheForOptions(const std::vector<JavaOptionSource>& sources, int feature);

// The class path Java takes from its options: the "-jar" file, else the
// last "-cp" / "-classpath" / "--class-path" value. False when neither is
// given.
bool ClassPathOf(const JavaLaunch& launch, std::string* class_path);

// Most JAR files one class path may bring in through manifests.
inline constexpr std::size_t kMaxClassPathJars = 1024;
// Most names of JAR files the manifests of one class path may hold, each
// file counted as often as it is named.
inline constexpr std::size_t kMaxNamedJars = 8 * kMaxClassPathJars;

// Every JAR file the runtime reads for `class_path` (relative entries
// from `working_folder`), each followed by those its manifest names, in
// turn, each once: "" with *jars filled, or why not (an entry that is no
// JAR file, a manifest that cannot be read with certainty, more than
// kMaxClassPathJars files). A JAR that a manifest names but that does not
// exist is kept with no stamp, since the runtime skips it until it exists.
std::string ReadClassPathJars(const std::string& class_path, const std::string& working_folder,
                              std::vector<JavaCacheInputs::Jar>* jars);

// What the launcher's judgement of the cache folder would say, found
// without making anything: "" when the folder can be used (or made), else
// why not, as the launch says it. An existing entry is judged as the
// launch judges it; for a missing folder, the nearest entry above it must
// be a folder, since the launch makes the missing ones.
std::string PredictJavaCacheFolder(const std::string& folder);

}  // namespace kb
