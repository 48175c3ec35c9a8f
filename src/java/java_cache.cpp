#include "java/java_cache.h"

#include <algorithm>
#include <cstdint>

#include "common/command_line.h"
#include "common/text.h"
#include "java/java_arg_file.h"
#include "java/java_cache_file.h"
#include "java/java_cache_rules.h"
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

// Module paths are not part of the key, so their starts are left alone.
constexpr const char* kModulePathOptions[] = {"-p", "--module-path", "--upgrade-module-path",
                                              "--patch-module"};

bool IsModulePathOption(const std::string& option) {
  for (const char* name : kModulePathOptions) {
    if (option == name || option.rfind(std::string(name) + "=", 0) == 0) return true;
  }
  return false;
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

// The line as the start with the longest cache options would run it: a
// first run, whose class list gets a name of CreateExclusiveFile's length.
std::string LongestLineWithCache(const JavaCachePlan& plan, const std::string& command_line) {
  const std::string list = plan.archive + "." + std::string(16, 'x') + kJavaCacheListSuffix;
  std::string longest;
  for (const bool writing : {false, true}) {
    const std::string line = InsertAfterProgram(
        command_line, JavaCacheOptions(plan.kind, writing, plan.archive, list));
    if (CommandLineLength(line) > CommandLineLength(longest)) longest = line;
  }
  return longest;
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
                            const std::string& application, const TempFolder& temp) {
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
  // Every option the runtime reads, in its order: the variables around
  // the line's own options.
  std::vector<JavaOptionSource> variables;
  const std::string unreadable_variable = ReadJavaOptionVariables(working_folder, &variables);
  if (!unreadable_variable.empty()) return refuse(unreadable_variable);
  std::vector<JavaOptionSource> sources;
  for (const JavaOptionSource& variable : variables) {
    if (variable.name != "_JAVA_OPTIONS") sources.push_back(variable);
  }
  sources.push_back({std::string(), std::string(), launch.options});
  for (const JavaOptionSource& variable : variables) {
    if (variable.name == "_JAVA_OPTIONS") sources.push_back(variable);
  }
  for (const JavaOptionSource& source : sources) {
    for (const std::string& option : source.options) {
      if (IsModulePathOption(option)) {
        return refuse(source.name.empty() ? "a module path is given"
                                          : source.name + " gives a module path");
      }
    }
  }
  const std::string barred = WhyNoCacheForOptions(sources, runtime.version.feature);
  if (!barred.empty()) return refuse(barred);
  JavaCacheInputs inputs;
  for (const JavaOptionSource& variable : variables) {
    inputs.environment.push_back(variable.name + "=" + variable.value);
    // What an argument file of the variable holds counts, not only its name.
    for (const std::string& option : variable.options) {
      inputs.environment.push_back(variable.name + " " + option);
    }
  }
  std::string class_path;
  if (!ClassPathOf(launch, &class_path)) return refuse("no class path is given (-cp or -jar)");
  const std::string jars_problem = ReadClassPathJars(class_path, working_folder, &inputs.class_path);
  if (!jars_problem.empty()) return refuse(jars_problem);
  if (platform::FirstUnholdable(application) != 0) {
    return refuse("the application's name cannot be passed to the runtime");
  }
  // The runtime reads each of its file options as a list of files split
  // at this character: on 25 it refuses to record into such a "list", on
  // 13 to 24 it takes the parts as two archives.
  const char list = platform::ClassPathSeparator();
  if (application.find(list) != std::string::npos) {
    return refuse("the application's name " + application + " holds \"" + std::string(1, list) +
                  "\", which the runtime takes as a list of files");
  }
  if (data_folder.find(list) != std::string::npos) {
    return refuse("the data folder " + data_folder + " holds \"" + std::string(1, list) +
                  "\", which the runtime takes as a list of files");
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
  // The cache's options count in the limit of the line: a cache is
  // dropped rather than a start refused.
  const std::string longest = LongestLineWithCache(plan, command_line);
  if (CommandLineTooLong(longest)) {
    const std::string no_file = WhyNoArgFile(longest, uninstall, temp, working_folder);
    if (!no_file.empty()) {
      return refuse("with the cache's options the command line would have " +
                    IntToString(static_cast<long long>(CommandLineLength(longest))) +
                    " characters, more than the limit of " +
                    IntToString(static_cast<long long>(kMaxCommandLine)) + ", and " + no_file);
    }
  }
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
  // The runtime reads its command line in the code page: a cache path it
  // cannot hold, even in its short form, would reach it as another path
  // (or, converted with look-alikes, as other arguments).
  if (platform::FirstUnholdable(ForRuntime(plan.archive)) != 0) {
    LogInfo(kTagJavaCache, "no class-data cache: the code page cannot hold " + plan.folder +
                               ", and it has no short name");
    plan_.kind = JavaCacheKind::kNone;
    return command_line;
  }
  const platform::HeldFolder& folder = state_->folder;
  LogNote(folder, plan.name);
  // Something else under the file's name (a folder, a link) is no damaged
  // archive to drop and make again: it is not the launcher's to remove.
  if (platform::PathExists(plan.archive) && !platform::IsPlainFile(plan.archive)) {
    LogInfo(kTagJavaCache, "no class-data cache: " + plan.archive + " is not a plain file");
    plan_.kind = JavaCacheKind::kNone;
    return command_line;
  }
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
    if (error == 0) error = TryLockPatiently(state_->list_file);
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
  for (const char* name : kJavaOptionVariables) {
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
  step.probe = JavaCacheProbeAllowed(options);
  step.probe_options = launch.options;
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
