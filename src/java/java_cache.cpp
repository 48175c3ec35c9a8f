#include "java/java_cache.h"

#include <algorithm>
#include <cstdint>

#include "common/command_line.h"
#include "common/text.h"
#include "java/java_arg_file.h"
#include "java/java_cache_file.h"
#include "java/java_cache_step.h"
#include "java/java_runtime.h"
#include "java/short_forms.h"
#include "launcher/child_command.h"
#include "log/log.h"
#include "platform/environment.h"
#include "platform/exclusive_file.h"
#include "platform/fs.h"
#include "platform/held_folder.h"
#include "platform/io.h"
#include "platform/java_places.h"
#include "platform/running_program.h"
#include "platform/signal_scope.h"
#include "platform/text.h"

namespace kb {
namespace {

// The archive of an application's classes is kept from Java 13 on; from 25
// the runtime also links them ahead of time, and its messages about the
// file carry the "aot" log tag as well. Runtime 24 has a first form of that
// linking, but under other log tags that 25 refuses as unknown, so it is
// given the plain archive.
constexpr int kFirstArchiveFeature = 13;
constexpr int kFirstAotFeature = 25;
constexpr char kCacheFolder[] = "cache";

const char* ExtensionOf(JavaCacheKind kind) {
  return kind == JavaCacheKind::kAotCache ? ".aot" : ".jsa";
}

// Options with which the user chooses class-data sharing or a cache: the
// launcher's own would fight them, so the user's choice wins. A file of
// runtime options is not looked into, so it counts as a choice too.
constexpr const char* kSharingOptions[] = {
    "-Xshare:",           "-XX:SharedArchiveFile", "-XX:ArchiveClassesAtExit",
    "-XX:+AutoCreateSharedArchive", "-XX:-AutoCreateSharedArchive", "-XX:AOTCache",
    "-XX:AOTMode",        "-XX:AOTConfiguration",  "-XX:SharedClassListFile",
    "-XX:VMOptionsFile"};

// What the runtime reads from its environment besides its command line.
constexpr const char* kOptionVariables[] = {"JDK_JAVA_OPTIONS", "JAVA_TOOL_OPTIONS",
                                            "_JAVA_OPTIONS"};

// Module paths are not part of the key, so their starts are left alone.
constexpr const char* kModulePathOptions[] = {"-p", "--module-path", "--upgrade-module-path",
                                              "--patch-module"};

const char* SharingChoice(const std::string& option) {
  for (const char* prefix : kSharingOptions) {
    if (option.rfind(prefix, 0) == 0) return prefix;
  }
  return nullptr;
}

bool IsModulePathOption(const std::string& option) {
  for (const char* name : kModulePathOptions) {
    if (option == name || option.rfind(std::string(name) + "=", 0) == 0) return true;
  }
  return false;
}

// The class path Java takes from its options: the "-jar" file, else the last
// "-cp" / "-classpath" / "--class-path" value. False when neither is given.
bool ClassPathOf(const JavaLaunch& launch, std::string* class_path) {
  if (launch.start == JavaLaunch::Start::kJar) {
    *class_path = launch.target;
    return true;
  }
  bool found = false;
  for (std::size_t i = 0; i < launch.options.size(); ++i) {
    const std::string& option = launch.options[i];
    if ((option == "-cp" || option == "-classpath" || option == "--class-path") &&
        i + 1 < launch.options.size()) {
      *class_path = launch.options[++i];
      found = true;
    } else if (option.rfind("--class-path=", 0) == 0) {
      *class_path = option.substr(13);
      found = true;
    }
  }
  return found;
}

// Each entry must be an existing JAR file: a folder or a wildcard has no
// size and time that tell its versions apart. "" with *jars filled, or why
// not.
std::string ReadJars(const std::string& class_path, const std::string& working_folder,
                     std::vector<JavaCacheInputs::Jar>* jars) {
  std::string entry;
  const std::string text = class_path + platform::ClassPathSeparator();
  for (char c : text) {
    if (c != platform::ClassPathSeparator()) {
      entry += c;
      continue;
    }
    if (entry.empty()) return "the class path names the current folder";
    if (!EndsWithNoCase(entry, ".jar")) return "the class path entry " + entry + " is no JAR file";
    JavaCacheInputs::Jar jar;
    jar.path = platform::IsAbsolutePath(entry) || working_folder.empty()
                   ? entry
                   : working_folder + platform::PathSeparator() + entry;
    platform::Handle file;
    if (platform::OpenRegularFile(jar.path, &file, &jar.stamp) != 0) {
      return "the JAR file " + jar.path + " does not exist or is no file";
    }
    jars->push_back(jar);
    entry.clear();
  }
  return std::string();
}

// FNV-1a over each field's length and bytes, so that no two different
// input lists give the same stream.
class KeyHash {
 public:
  void Add(const std::string& field) {
    AddNumber(field.size());
    for (unsigned char c : field) Byte(c);
  }
  void AddNumber(std::uint64_t n) {
    for (int i = 0; i < 8; ++i) Byte(static_cast<unsigned char>(n >> (8 * i)));
  }
  std::string Hex() const {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (int shift = 60; shift >= 0; shift -= 4) out += kDigits[(value_ >> shift) & 0xf];
    return out;
  }

 private:
  void Byte(unsigned char c) {
    value_ ^= c;
    value_ *= 0x100000001b3ULL;
  }
  std::uint64_t value_ = 0xcbf29ce484222325ULL;
};

// The path as the runtime is to receive it: the cache folder's short form
// where the code page cannot hold it. The file names themselves are held
// (PlanJavaCache refuses an application name that is not).
std::string ForRuntime(const std::string& path) {
  if (platform::FirstUnholdable(path) == 0) return path;
  const std::string folder = BeforeLast(path, platform::PathSeparator());
  ShortForms notes;
  return ShortFormOf(folder, SystemPathOracle(), &notes) + path.substr(folder.size());
}

std::string InsertAfterProgram(const std::string& line, const std::vector<std::string>& options) {
  std::size_t end = line.find_first_not_of(" \t");
  if (end == std::string::npos) return line;
  if (line[end] == '"') {
    end = line.find('"', end + 1);
    end = end == std::string::npos ? line.size() : end + 1;
  } else {
    end = line.find_first_of(" \t", end);
    if (end == std::string::npos) end = line.size();
  }
  std::string inserted;
  for (const std::string& option : options) inserted += " " + QuoteArgument(option);
  return line.substr(0, end) + inserted + line.substr(end);
}

}  // namespace

JavaCacheKind JavaCacheKindFor(int feature) {
  if (feature >= kFirstAotFeature) return JavaCacheKind::kAotCache;
  if (feature >= kFirstArchiveFeature) return JavaCacheKind::kDynamicArchive;
  return JavaCacheKind::kNone;
}

std::string JavaCacheKey(const JavaCacheInputs& inputs) {
  KeyHash hash;
  hash.Add(inputs.runtime);
  hash.Add(inputs.version);
  hash.AddNumber(inputs.class_path.size());
  for (const JavaCacheInputs::Jar& jar : inputs.class_path) {
    hash.Add(jar.path);
    hash.AddNumber(static_cast<std::uint64_t>(jar.stamp.size));
    hash.AddNumber(static_cast<std::uint64_t>(jar.stamp.written_sec));
    hash.AddNumber(static_cast<std::uint64_t>(jar.stamp.written_nsec));
    hash.AddNumber(jar.stamp.id);
  }
  hash.AddNumber(inputs.options.size());
  for (const std::string& option : inputs.options) hash.Add(option);
  hash.AddNumber(inputs.environment.size());
  for (const std::string& variable : inputs.environment) hash.Add(variable);
  return hash.Hex();
}

JavaCachePlan PlanJavaCache(const std::string& command_line, bool uninstall,
                            const std::string& data_folder, const std::string& working_folder,
                            const std::string& application) {
  JavaCachePlan plan;
  auto refuse = [&plan](const std::string& why) {
    plan.kind = JavaCacheKind::kNone;
    plan.why_not = why;
    return plan;
  };
  if (uninstall) return refuse("not for an uninstall run");
  if (!platform::IsAbsolutePath(data_folder)) {
    return refuse("the data folder \"" + data_folder + "\" is not an absolute path");
  }
  plan.arguments = SplitCommandLine(command_line);
  const std::string program = plan.arguments.empty() ? std::string() : plan.arguments.front();
  JavaRuntime runtime;
  if (!IdentifyJavaRuntime(program, &runtime)) {
    return refuse("\"" + program + "\" is not a Java runtime");
  }
  if (runtime.version.feature == 0) {
    return refuse("the version of the Java runtime in " + runtime.home + " is unknown");
  }
  plan.kind = JavaCacheKindFor(runtime.version.feature);
  if (plan.kind == JavaCacheKind::kNone) {
    return refuse("Java " + IntToString(runtime.version.feature) + " in " + runtime.home +
                  " keeps no archive of an application (13 or newer needed)");
  }
  const std::vector<std::string> after_program(plan.arguments.begin() + 1, plan.arguments.end());
  const JavaLaunch launch = ReadJavaLaunch(after_program, working_folder);
  if (!launch.unreadable.empty()) {
    return refuse("the Java argument file " + launch.unreadable + " cannot be read");
  }
  if (launch.start == JavaLaunch::Start::kModule) return refuse("a module is started");
  if (launch.start == JavaLaunch::Start::kNone) return refuse("no main class or -jar is given");
  for (const std::string& option : launch.options) {
    if (const char* choice = SharingChoice(option)) {
      return refuse("the Java options choose class-data sharing themselves (" +
                    std::string(choice) + ")");
    }
    if (IsModulePathOption(option)) return refuse("a module path is given");
  }
  JavaCacheInputs inputs;
  for (const char* name : kOptionVariables) {
    const std::string value = platform::GetEnvVar(name);
    if (value.empty()) continue;
    for (const std::string& option : SplitArguments(value)) {
      if (const char* choice = SharingChoice(option)) {
        return refuse(std::string(name) + " chooses class-data sharing (" + choice + ")");
      }
    }
    inputs.environment.push_back(std::string(name) + "=" + value);
  }
  std::string class_path;
  if (!ClassPathOf(launch, &class_path)) return refuse("no class path is given (-cp or -jar)");
  const std::string jars_problem = ReadJars(class_path, working_folder, &inputs.class_path);
  if (!jars_problem.empty()) return refuse(jars_problem);
  if (platform::FirstUnholdable(application) != 0) {
    return refuse("the application's name cannot be passed to the runtime");
  }
  // The home is found with links resolved, also for a bare "java" taken
  // from the search path, so a runtime is named by where it really is.
  inputs.runtime = runtime.home;
  inputs.version = runtime.version.text;
  inputs.options = launch.options;
  if (launch.start == JavaLaunch::Start::kJar) inputs.options.push_back("-jar");
  plan.application = application;
  plan.folder = data_folder + platform::PathSeparator() + kCacheFolder;
  plan.name = application + "-" + JavaCacheKey(inputs) + ExtensionOf(plan.kind);
  plan.archive = plan.folder + platform::PathSeparator() + plan.name;
  // The arguments given before the application's own: @files are passed
  // on as they are, the runtime expands them again.
  plan.start_end = launch.options_end;
  return plan;
}

std::vector<std::string> JavaCacheOptions(JavaCacheKind kind, bool writing,
                                          const std::string& archive,
                                          const std::string& class_list) {
  if (kind == JavaCacheKind::kNone) return {};
  // Only the tags of these files are silenced: a file that cannot be used
  // must not reach the application's output, every other message still
  // does, and a user's own -Xlog later on the line overrides this.
  const std::string quiet =
      kind == JavaCacheKind::kAotCache ? "-Xlog:aot*=off,cds*=off" : "-Xlog:cds*=off";
  // The list is written as classes load and its failure is silent: a
  // folder removed or a disk full meanwhile leaves the run as it was.
  if (writing) return {quiet, "-XX:DumpLoadedClassList=" + ForRuntime(class_list)};
  return {quiet, "-XX:SharedArchiveFile=" + ForRuntime(archive)};
}

struct JavaCacheRun::State {
  platform::HeldFolder folder;
  bool using_archive = false;
  // The first run's class list, locked while the runtime writes it.
  std::string class_list;
  platform::Handle list_file;
  JavaCacheStep step;
  std::vector<std::string> crash_reports;  // runtime crash files present before the start
};

JavaCacheRun::JavaCacheRun() : state_(new State) {}
JavaCacheRun::~JavaCacheRun() {
  // A start refused after Begin (a line too long) leaves no class list.
  if (!state_->class_list.empty()) {
    (void)state_->list_file.Close();
    (void)state_->folder.Remove(state_->class_list);
  }
}

namespace {

constexpr char kCrashReportPrefix[] = "hs_err_pid";

// The runtime's crash reports in the current folder, where it writes them
// by default.
std::vector<std::string> CrashReports() {
  std::vector<std::string> found;
  for (const std::string& name : platform::ListFolder(GetCurrentDir())) {
    if (name.rfind(kCrashReportPrefix, 0) == 0) found.push_back(name);
  }
  return found;
}

void LogNote(const platform::HeldFolder& folder, const std::string& archive) {
  const std::string name = archive + kJavaCacheNoteSuffix;
  platform::Handle file;
  if (folder.OpenFile(name, &file, nullptr) != 0) return;
  std::string text;
  (void)platform::ReadRegularFile(folder.PathOf(name), 4096, &text);
  (void)file.Close();
  text = TrimWhitespace(text);
  if (!text.empty()) LogInfo(kTagJavaCache, "the last cache step: " + text);
  (void)folder.Remove(name);
}

}  // namespace

std::string JavaCacheRun::Begin(const JavaCachePlan& plan, const std::string& command_line) {
  plan_ = plan;
  if (plan.kind == JavaCacheKind::kNone) {
    LogInfo(kTagJavaCache, "no class-data cache: " + plan.why_not);
    return command_line;
  }
  const std::string why = OpenJavaCacheFolder(BeforeLast(plan.folder, platform::PathSeparator()),
                                              &state_->folder);
  if (!why.empty()) {
    LogInfo(kTagJavaCache, "no class-data cache: " + why);
    plan_.kind = JavaCacheKind::kNone;
    return command_line;
  }
  const platform::HeldFolder& folder = state_->folder;
  LogNote(folder, plan.name);
  if (platform::PathExists(plan.archive)) {
    const std::string broken = WhyNotWhole(folder, plan.name);
    if (broken.empty()) {
      state_->using_archive = true;
      state_->crash_reports = CrashReports();
      LogInfo(kTagJavaCache, "using " + plan.archive);
      return InsertAfterProgram(command_line, JavaCacheOptions(plan.kind, false, plan.archive, ""));
    }
    DropArchive(folder, plan.name);
    LogWarning(kTagJavaCache, "dropped " + plan.archive + ": " + broken);
  }
  if (IsHeld(folder, plan.name + kJavaCacheLockSuffix)) {
    LogInfo(kTagJavaCache, "no class-data cache in this run: a step makes " + plan.archive + " now");
    plan_.kind = JavaCacheKind::kNone;
    return command_line;
  }
  std::string list;
  int error = platform::CreateExclusiveFile(folder.path(), plan.name + ".", kJavaCacheListSuffix,
                                            "", &list);
  if (error == 0) {
    list = list.substr(folder.path().size() + 1);
    error = folder.OpenLockFile(list, &state_->list_file);
    if (error == 0) error = platform::TryLockFile(state_->list_file);
    if (error != 0) (void)folder.Remove(list);
  }
  if (error != 0) {
    LogInfo(kTagJavaCache, "no class-data cache: nothing can be written in " + folder.path() +
                               " (error " + IntToString(error) + ")");
    plan_.kind = JavaCacheKind::kNone;
    return command_line;
  }
  state_->class_list = list;
  // What the step repeats of this start, read now while the variables are
  // those the child gets.
  std::vector<std::string> options;
  for (const char* name : kOptionVariables) {
    for (const std::string& option : SplitArguments(platform::GetEnvVar(name))) {
      options.push_back(option);
    }
  }
  const std::vector<std::string> after_program(plan.arguments.begin() + 1, plan.arguments.end());
  const JavaLaunch launch = ReadJavaLaunch(after_program, GetCurrentDir());
  options.insert(options.end(), launch.options.begin(), launch.options.end());
  std::string class_path;
  (void)ClassPathOf(launch, &class_path);
  JavaCacheStep& step = state_->step;
  step.data_folder = BeforeLast(plan.folder, platform::PathSeparator());
  step.runtime_folder = BeforeLast(ForRuntime(folder.PathOf(plan.name)), platform::PathSeparator());
  step.archive = plan.name;
  step.class_list = list;
  step.link_classes = plan.kind == JavaCacheKind::kAotCache;
  step.runtime = plan.arguments.front();
  step.options = JavaCacheStepOptions(options, class_path);
  LogInfo(kTagJavaCache, "recording the classes for " + plan.archive + " during this run");
  return InsertAfterProgram(command_line,
                            JavaCacheOptions(plan.kind, true, "", folder.PathOf(list)));
}

void JavaCacheRun::End(int exit_code) {
  if (plan_.kind == JavaCacheKind::kNone) return;
  const platform::HeldFolder& folder = state_->folder;
  if (state_->using_archive) {
    std::string report;
    for (const std::string& name : CrashReports()) {
      if (std::find(state_->crash_reports.begin(), state_->crash_reports.end(), name) ==
          state_->crash_reports.end()) {
        report = name;
      }
    }
    if (IsRuntimeCrash(exit_code) || !report.empty()) {
      DropArchive(folder, plan_.name);
      LogWarning(kTagJavaCache, "dropped " + plan_.archive + ": the runtime that mapped it crashed" +
                                    (report.empty() ? " (exit code " + IntToString(exit_code) + ")"
                                                    : " (" + report + ")"));
    }
    return;
  }
  if (state_->class_list.empty()) return;
  platform::FileStamp stamp;
  platform::Handle file;
  const bool recorded = folder.OpenFile(state_->class_list, &file, &stamp) == 0 && stamp.size > 0;
  (void)file.Close();
  std::string outcome;
  if (!recorded) {
    outcome = "no class-data cache: the runtime recorded no classes";
  } else if (platform::HeldRequestExitCode() != 0 || IsEndedByRequest(exit_code)) {
    // The user asked the launcher to end: nothing more is started.
    outcome = "no class-data cache: the launcher was asked to end";
  } else {
    // The list is the step's from now on: this run's hold ends first.
    (void)state_->list_file.Close();
    std::string launcher;
    int error = platform::ExecutablePath(&launcher);
    if (error == 0) error = StartJavaCacheStep(launcher, state_->step);
    if (error == 0) {
      LogInfo(kTagJavaCache, "a step makes " + plan_.archive + " after this launch");
      state_->class_list.clear();
      return;
    }
    outcome = "no class-data cache: the step cannot be started (error " + IntToString(error) + ")";
  }
  LogInfo(kTagJavaCache, outcome);
  (void)state_->list_file.Close();
  (void)folder.Remove(state_->class_list);
  state_->class_list.clear();
}

}  // namespace kb
