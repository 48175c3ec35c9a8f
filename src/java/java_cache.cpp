#include "java/java_cache.h"

#include <algorithm>
#include <cstdint>

#include "common/command_line.h"
#include "common/text.h"
#include "java/java_arg_file.h"
#include "java/java_cache_rules.h"
#include "java/java_runtime.h"
#include "java/short_forms.h"
#include "launcher/child_command.h"
#include "log/log.h"
#include "platform/environment.h"
#include "platform/exclusive_file.h"
#include "platform/java_places.h"
#include "platform/text.h"
#include "process/exe_proc.h"

namespace kb {
namespace {

// The dynamic archive arrived with Java 13; the ahead-of-time cache, whose
// messages carry the "aot" log tag, with 25. Runtime 24 has a first form of
// that cache, but under other log tags that 25 refuses as unknown, so it is
// given the archive.
constexpr int kFirstArchiveFeature = 13;
constexpr int kFirstAotFeature = 25;
// A dynamic archive lies on top of the runtime's own archive of its
// classes, and a runtime of 17 that is asked to write one without that base
// refuses to start at all. So the runtime must ship the base: the one file
// from 13, and from 15 on also the one for large heaps without compressed
// pointers, which the runtime picks by itself.
constexpr char kBaseArchive[] = "classes.jsa";
constexpr char kLargeHeapBaseArchive[] = "classes_nocoops.jsa";
constexpr int kFirstLargeHeapBaseFeature = 15;
constexpr std::size_t kKeyDigits = 16;
constexpr std::size_t kKeptFiles = 2;
constexpr char kCacheFolder[] = "cache";
constexpr char kPartSuffix[] = ".part";

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

// True for a name the launcher gives a cache file of `application`:
// "<application>-<16 hex digits>.jsa" or ".aot".
bool IsCacheFileName(const std::string& name, const std::string& application) {
  const std::string prefix = application + "-";
  const std::size_t size = prefix.size() + kKeyDigits + 4;
  if (name.size() != size || !platform::SameFileName(name.substr(0, prefix.size()), prefix)) {
    return false;
  }
  for (std::size_t i = prefix.size(); i < prefix.size() + kKeyDigits; ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  const std::string extension = name.substr(size - 4);
  return extension == ExtensionOf(JavaCacheKind::kAotCache) ||
         extension == ExtensionOf(JavaCacheKind::kDynamicArchive);
}

// The stamp of a plain file (no link); the file is closed again at once, so
// that it can be renamed or removed on Windows.
bool StampOf(const std::string& path, platform::FileStamp* stamp) {
  platform::Handle file;
  return platform::IsPlainFile(path) && platform::OpenRegularFile(path, &file, stamp) == 0;
}

std::int64_t SizeOf(const std::string& path) {
  platform::FileStamp stamp;
  return StampOf(path, &stamp) ? stamp.size : -1;
}

void Remove(const std::string& path) {
  const int error = platform::RemoveFile(path);
  if (error != 0) LogWarning(kTagJavaCache, "cannot remove " + path + ": error " + IntToString(error));
}

// A run that was ended before its child leaves its part-written files;
// they are taken away once they are a day older than the file just made.
constexpr std::int64_t kLeftoverSeconds = 24 * 60 * 60;

bool IsPartName(const std::string& name, const std::string& application) {
  const std::size_t cache_name = application.size() + 1 + kKeyDigits + 4;
  return name.size() > cache_name + 1 && name[cache_name] == '.' &&
         IsCacheFileName(name.substr(0, cache_name), application) &&
         name.compare(name.size() - 5, 5, kPartSuffix) == 0;
}

// Keeps `current` and the newest other cache files of the application, two
// in all, and removes leftover parts. Only plain files under the launcher's
// own names are touched: a link or a file of another application is never
// followed or removed.
void KeepNewestFiles(const std::string& folder, const std::string& application,
                     const std::string& current) {
  struct Entry {
    std::string path;
    platform::FileStamp stamp;
  };
  platform::FileStamp now;
  if (!StampOf(current, &now)) return;
  std::vector<Entry> others;
  for (const std::string& name : platform::ListFolder(folder)) {
    const std::string path = folder + platform::PathSeparator() + name;
    const bool part = IsPartName(name, application);
    if ((!part && !IsCacheFileName(name, application)) || platform::SameFileName(path, current) ||
        !platform::IsPlainFile(path)) {
      continue;
    }
    Entry entry{path, {}};
    if (!StampOf(path, &entry.stamp)) continue;
    if (!part) {
      others.push_back(entry);
    } else if (entry.stamp.written_sec < now.written_sec - kLeftoverSeconds) {
      Remove(path);
    }
  }
  std::sort(others.begin(), others.end(), [](const Entry& a, const Entry& b) {
    if (a.stamp.written_sec != b.stamp.written_sec) return a.stamp.written_sec > b.stamp.written_sec;
    return a.stamp.written_nsec > b.stamp.written_nsec;
  });
  for (std::size_t i = kKeptFiles - 1; i < others.size(); ++i) {
    Remove(others[i].path);
    LogInfo(kTagJavaCache, "removed the older " + others[i].path);
  }
}

void LogLines(const std::string& text) {
  std::string line;
  for (char c : text + "\n") {
    if (c == '\n' || c == '\r') {
      if (!line.empty()) LogInfo(kTagJavaCache, line);
      line.clear();
    } else {
      line += c;
    }
  }
}

// The console text of a runtime's output file (-XX:LogFile): the plain
// lines inside its "<tty>" element, without the markup and the nested
// elements the runtime adds there.
std::string ConsoleTextOf(const std::string& vm_output) {
  std::string out;
  int depth = -1;  // -1: before "<tty>"
  std::size_t at = 0;
  while (at < vm_output.size()) {
    std::size_t end = vm_output.find('\n', at);
    if (end == std::string::npos) end = vm_output.size();
    const std::string line = vm_output.substr(at, end - at);
    at = end + 1;
    if (depth < 0) {
      if (line.rfind("<tty>", 0) == 0) depth = 0;
      continue;
    }
    if (line.rfind("</", 0) == 0) {
      if (depth == 0) break;  // "</tty>"
      --depth;
    } else if (line.rfind("<", 0) == 0) {
      const bool closed = line.find("/>") != std::string::npos || line.find("</") != std::string::npos;
      if (!closed) ++depth;
    } else if (depth == 0) {
      out += line + "\n";
    }
  }
  return out;
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
// recording run, whose files get names of CreateExclusiveFile's length.
std::string LongestLineWithCache(const JavaCachePlan& plan, const std::string& command_line) {
  const std::string random(16, 'x');
  const std::string partial = plan.archive + "." + random + kPartSuffix;
  const std::string vm_output = plan.archive + "." + random + ".vm" + kPartSuffix;
  std::string longest;
  for (const bool writing : {false, true}) {
    const std::string line = InsertAfterProgram(
        command_line, JavaCacheOptions(plan.kind, writing, plan.archive, partial, vm_output));
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
  if (plan.kind == JavaCacheKind::kDynamicArchive) {
    const std::string server = runtime.home + platform::PathSeparator() +
                               platform::JavaServerFolder() + platform::PathSeparator();
    for (const char* base : {kBaseArchive, kLargeHeapBaseArchive}) {
      if (base == kLargeHeapBaseArchive && runtime.version.feature < kFirstLargeHeapBaseFeature) {
        continue;
      }
      if (platform::GetPathKind(server + base) != platform::PathKind::kFile) {
        return refuse("the Java runtime in " + runtime.home + " has no archive of its own classes (" +
                      server + base + ")");
      }
    }
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
                                          const std::string& archive, const std::string& partial,
                                          const std::string& vm_output) {
  // Only the tags of these files are silenced: a file that cannot be used
  // must not reach the application's output, every other message still
  // does, and a user's own -Xlog later on the line overrides this.
  if (kind == JavaCacheKind::kDynamicArchive) {
    if (writing) return {"-Xlog:cds*=off", "-XX:ArchiveClassesAtExit=" + ForRuntime(partial)};
    return {"-Xlog:cds*=off", "-XX:SharedArchiveFile=" + ForRuntime(archive)};
  }
  if (kind == JavaCacheKind::kAotCache) {
    if (!writing) return {"-Xlog:aot*=off,cds*=off", "-XX:AOTCache=" + ForRuntime(archive)};
    // The recording run ends by printing a line of its own onto the
    // console, outside the log tags: the runtime's console output of this
    // one run goes to a file, which the launcher copies into its log.
    return {"-Xlog:aot*=off,cds*=off", "-XX:+UnlockDiagnosticVMOptions",
            "-XX:-DisplayVMOutput",    "-XX:+LogVMOutput",
            "-XX:LogFile=" + ForRuntime(vm_output), "-XX:AOTMode=record",
            "-XX:AOTConfiguration=" + ForRuntime(partial)};
  }
  return {};
}

std::string JavaCacheRun::Begin(const JavaCachePlan& plan, const std::string& command_line) {
  plan_ = plan;
  if (plan.kind == JavaCacheKind::kNone) {
    LogInfo(kTagJavaCache, "no class-data cache: " + plan.why_not);
    return command_line;
  }
  const std::string why = platform::WhyNotPrivateFolder(plan.folder);
  if (!why.empty()) {
    LogInfo(kTagJavaCache,
            "no class-data cache: the folder " + plan.folder + " cannot be used: " + why);
    plan_.kind = JavaCacheKind::kNone;
    return command_line;
  }
  if (platform::IsPlainFile(plan.archive)) {
    LogInfo(kTagJavaCache, "using " + plan.archive);
    return InsertAfterProgram(command_line, JavaCacheOptions(plan.kind, false, plan.archive, "", ""));
  }
  if (platform::PathExists(plan.archive)) {
    LogInfo(kTagJavaCache, "no class-data cache: " + plan.archive + " is not a plain file");
    plan_.kind = JavaCacheKind::kNone;
    return command_line;
  }
  // Names of this run's own, made here so that nobody else holds them.
  const std::string base = plan.name + ".";
  int error = platform::CreateExclusiveFile(plan.folder, base, kPartSuffix, "", &partial_);
  if (error == 0 && plan.kind == JavaCacheKind::kAotCache) {
    error = platform::CreateExclusiveFile(plan.folder, base, ".vm" + std::string(kPartSuffix), "",
                                          &vm_output_);
  }
  if (error != 0) {
    LogInfo(kTagJavaCache, "no class-data cache: nothing can be written in " + plan.folder +
                               " (error " + IntToString(error) + ")");
    if (!partial_.empty()) Remove(partial_);
    plan_.kind = JavaCacheKind::kNone;
    return command_line;
  }
  writing_ = true;
  LogInfo(kTagJavaCache, "recording for " + plan.archive + " during this run");
  return InsertAfterProgram(command_line,
                            JavaCacheOptions(plan.kind, true, plan.archive, partial_, vm_output_));
}

void JavaCacheRun::End() {
  if (!writing_) return;
  std::string made = partial_;
  if (plan_.kind == JavaCacheKind::kAotCache) {
    std::string vm_text;
    if (platform::ReadRegularFile(vm_output_, kCollectLimit, &vm_text) == 0) {
      LogLines(ConsoleTextOf(vm_text));
    }
    Remove(vm_output_);
    made.clear();
    if (SizeOf(partial_) > 0) {
      std::string cache;
      const int error = platform::CreateExclusiveFile(
          plan_.folder, plan_.name + ".", kPartSuffix, "", &cache);
      if (error == 0) {
        std::vector<std::string> step(plan_.arguments.begin(),
                                      plan_.arguments.begin() + 1 + plan_.start_end);
        step.insert(step.begin() + 1, {"-XX:AOTMode=create",
                                       "-XX:AOTConfiguration=" + ForRuntime(partial_),
                                       "-XX:AOTCache=" + ForRuntime(cache)});
        const std::string line = JoinArguments(step);
        std::string output;
        const int code = CommandLineTooLong(line) ? -1 : ExeandCollect(line, kTagJavaCache, &output);
        LogLines(output);
        if (code == 0) {
          made = cache;
        } else {
          LogInfo(kTagJavaCache, "the cache could not be created (exit code " + IntToString(code) + ")");
          Remove(cache);
        }
      }
    }
    Remove(partial_);
  }
  if (!made.empty() && SizeOf(made) > 0) {
    const int error = platform::MoveFileOver(made, plan_.archive);
    if (error == 0) {
      LogInfo(kTagJavaCache, "created " + plan_.archive);
      KeepNewestFiles(plan_.folder, plan_.application, plan_.archive);
      return;
    }
    LogInfo(kTagJavaCache, "cannot put " + made + " in place: error " + IntToString(error));
  } else if (!made.empty()) {
    LogInfo(kTagJavaCache, "the runtime wrote no archive");
  }
  if (!made.empty()) Remove(made);
}

}  // namespace kb
