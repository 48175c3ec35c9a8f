#include "java/java_cache_step.h"

#include <chrono>

#include "common/command_line.h"
#include "common/text.h"
#include "java/java_cache.h"
#include "java/java_cache_file.h"
#include "java/java_cache_rules.h"
#include "platform/child.h"
#include "platform/environment.h"
#include "platform/error_codes.h"
#include "platform/exclusive_file.h"
#include "platform/io.h"
#include "platform/pipe.h"
#include "platform/signal_scope.h"
#include "platform/worker.h"

namespace kb {
namespace {

// Options an archive must be dumped with to be mapped by the start: the
// layout of the heap and of class pointers (-Xmx decides whether object
// pointers are compressed), the collector, the modules resolved, preview
// features, and the unlocking that some of these need.
constexpr const char* kKeptPrefixes[] = {
    "-Xmx",
    "-XX:MaxHeapSize=",
    "-XX:+UseCompressedOops",
    "-XX:-UseCompressedOops",
    "-XX:+UseCompressedClassPointers",
    "-XX:-UseCompressedClassPointers",
    "-XX:ObjectAlignmentInBytes=",
    "-XX:+UseSerialGC",
    "-XX:+UseParallelGC",
    "-XX:+UseG1GC",
    "-XX:+UseZGC",
    "-XX:+UseShenandoahGC",
    "-XX:+UseEpsilonGC",
    "-XX:+UnlockExperimentalVMOptions",
    "-XX:+UnlockDiagnosticVMOptions",
    "--enable-preview",
    "--add-modules=",
};

bool Kept(const std::string& option) {
  for (const char* prefix : kKeptPrefixes) {
    if (option.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

std::string NoteText(const std::string& text) { return text + "\n"; }

void WriteNote(const platform::HeldFolder& folder, const std::string& archive,
               const std::string& text) {
  const std::string name = archive + kJavaCacheNoteSuffix;
  (void)folder.Remove(name);
  std::string part;
  if (platform::CreateExclusiveFile(folder.path(), name + ".", kJavaCachePartSuffix, NoteText(text),
                                    &part) == 0) {
    (void)folder.Rename(part.substr(folder.path().size() + 1), name);
  }
}

// What a runtime answered: its exit code (-1 when it could not be started
// or waited for) and the start of its output, both streams together.
struct Answer {
  std::int32_t code = -1;
  std::string output;
  bool in_time = true;
};

constexpr std::size_t kAnswerLimit = 64 * 1024;

struct Watch {
  platform::Child* child;
  bool in_time = true;
};

// Waits for the probe's runtime on its own thread, so that the step reads
// its output meanwhile, and ends it after the step's limit.
int WatchProbe(void* argument) {
  Watch* watch = static_cast<Watch*>(argument);
  bool ended = false;
  if (watch->child->WaitFor(kJavaCacheStepSeconds * 1000u, &ended) == 0 && !ended) {
    watch->in_time = false;
    (void)watch->child->Kill();
  }
  return watch->child->Wait();
}

Answer Ask(const std::string& line, platform::ChildSignalScope* signals) {
  Answer answer;
  platform::Pipe pipe;
  if (platform::CreateChildPipe(&pipe) != 0 || platform::MakeNotInheritable(pipe.read) != 0) {
    return answer;
  }
  platform::StartOptions options;
  options.inherit_handles = true;
  options.std_output = &pipe.write;
  platform::Child child;
  const int error = platform::StartChild(line, options, &child);
  (void)pipe.write.Close();  // the child's copy alone keeps the pipe open
  if (error != 0) return answer;
  signals->Watch(child);
  Watch watch{&child};
  platform::Worker worker;
  if (platform::Worker::Start(WatchProbe, &watch, &worker) != 0) {
    (void)child.Kill();
    (void)child.Wait();
    return answer;
  }
  char chunk[4096];
  for (;;) {
    std::size_t count = 0;
    if (platform::ReadSome(pipe.read, chunk, sizeof chunk, &count) != 0 || count == 0) break;
    if (answer.output.size() < kAnswerLimit) answer.output.append(chunk, count);
  }
  const int waited = worker.Join();
  answer.in_time = watch.in_time;
  if (waited != 0 || child.ExitCode(&answer.code) != 0) answer.code = -1;
  return answer;
}

// Asks the runtime, with the application's options and option variables,
// whether it starts the same with the archive in `part` as without it.
// "" when it does, else the note's text.
std::string Probe(const JavaCacheStep& step, const std::string& part,
                  const std::vector<std::string>& variables) {
  std::vector<std::string> plain = {step.runtime};
  plain.insert(plain.end(), step.probe_options.begin(), step.probe_options.end());
  plain.push_back("-version");
  std::vector<std::string> cached = {step.runtime};
  const std::vector<std::string> cache = JavaCacheOptions(
      step.link_classes ? JavaCacheKind::kAotCache : JavaCacheKind::kDynamicArchive, false,
      step.runtime_folder + platform::PathSeparator() + part, "");
  cached.insert(cached.end(), cache.begin(), cache.end());
  cached.insert(cached.end(), plain.begin() + 1, plain.end());
  std::size_t i = 0;
  for (const char* name : kJavaOptionVariables) {
    if (!variables[i].empty()) (void)platform::SetEnvVar(name, variables[i]);
    ++i;
  }
  platform::ChildSignalScope signals;
  const Answer alone = Ask(JoinArguments(plain), &signals);
  const Answer with = alone.in_time ? Ask(JoinArguments(cached), &signals) : Answer();
  for (const char* name : kJavaOptionVariables) (void)platform::UnsetEnvVar(name);
  if (signals.StopExitCode() != 0 || platform::HeldRequestExitCode() != 0) {
    return "no archive: the step was asked to end";
  }
  if (!alone.in_time || !with.in_time) {
    return "no archive: the runtime took more than " + IntToString(kJavaCacheStepSeconds) +
           " seconds to answer -version";
  }
  if (alone.code == with.code && alone.output == with.output) return std::string();
  std::string said = TrimWhitespace(with.output);
  for (char& c : said) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return "no archive: the runtime answers otherwise with it (exit code " + IntToString(with.code) +
         " for " + IntToString(alone.code) + "): " + said.substr(0, 300);
}

}  // namespace

namespace {

// True for an option that makes the runtime write a file even for
// "-version": the probe would write it again over the application's.
bool WritesAFile(const std::string& option) {
  if (option.rfind("-Xlog:", 0) == 0) {
    // -Xlog:<what>:<output>:...; an output that is not a stream is a file.
    const std::size_t from = option.find(':', 6);
    if (from == std::string::npos) return false;
    const std::string output = option.substr(from + 1, option.find(':', from + 1) - from - 1);
    return !output.empty() && output != "stdout" && output != "stderr";
  }
  for (const char* prefix : {"-Xloggc:", "-XX:LogFile=", "-XX:+LogVMOutput", "-XX:+LogCompilation",
                             "-XX:StartFlightRecording", "-XX:+PerfDataSaveToFile",
                             "-XX:PerfDataSaveFile="}) {
    if (option.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

}  // namespace

bool JavaCacheProbeAllowed(const std::vector<std::string>& options) {
  for (const std::string& option : options) {
    if (option.rfind("-javaagent:", 0) == 0 || option.rfind("-agentlib:", 0) == 0 ||
        option.rfind("-agentpath:", 0) == 0 || option.rfind("-Xrun", 0) == 0 ||
        option == "-Xdebug" || WritesAFile(option)) {
      return false;
    }
  }
  return true;
}

std::vector<std::string> JavaCacheStepOptions(const std::vector<std::string>& options,
                                              const std::string& class_path) {
  std::vector<std::string> kept;
  for (std::size_t i = 0; i < options.size(); ++i) {
    const std::string& option = options[i];
    if (option == "--add-modules" && i + 1 < options.size()) {
      kept.push_back(option + "=" + options[++i]);
    } else if (Kept(option)) {
      kept.push_back(option);
    } else if ((option == "-cp" || option == "-classpath" || option == "--class-path" ||
                option == "-p" || option == "--module-path" || option == "--add-opens" ||
                option == "--add-exports" || option == "--add-reads" || option == "--limit-modules" ||
                option == "--patch-module" || option == "--upgrade-module-path") &&
               i + 1 < options.size()) {
      ++i;  // the value goes with it
    }
  }
  kept.push_back("-cp");
  kept.push_back(class_path);
  return kept;
}

std::vector<std::string> JavaCacheStepArguments(const JavaCacheStep& step) {
  std::vector<std::string> arguments = {step.data_folder, step.runtime_folder, step.archive,
                                        step.class_list, step.link_classes ? "link" : "-",
                                        step.runtime};
  // The probe's options first, behind their count ("-": no probe), then
  // the dump's: each one a whole argument, whatever it holds.
  arguments.push_back(step.probe ? IntToString(static_cast<long long>(step.probe_options.size()))
                                 : "-");
  if (step.probe) {
    arguments.insert(arguments.end(), step.probe_options.begin(), step.probe_options.end());
  }
  arguments.insert(arguments.end(), step.options.begin(), step.options.end());
  return arguments;
}

bool ReadJavaCacheStep(const std::vector<std::string>& arguments, JavaCacheStep* step) {
  if (arguments.size() < 7) return false;
  step->data_folder = arguments[0];
  step->runtime_folder = arguments[1];
  step->archive = arguments[2];
  step->class_list = arguments[3];
  step->link_classes = arguments[4] == "link";
  step->runtime = arguments[5];
  std::size_t next = 7;
  step->probe = arguments[6] != "-";
  step->probe_options.clear();
  if (step->probe) {
    const std::string& count = arguments[6];
    if (count.empty() || count.size() > 6) return false;
    std::size_t size = 0;
    for (char c : count) {
      if (c < '0' || c > '9') return false;
      size = size * 10 + static_cast<std::size_t>(c - '0');
    }
    if (size > arguments.size() - next) return false;
    step->probe_options.assign(arguments.begin() + next, arguments.begin() + next + size);
    next += size;
  }
  step->options.assign(arguments.begin() + next, arguments.end());
  return !step->archive.empty() && !step->class_list.empty() && !step->runtime.empty();
}

std::string JavaCacheDumpLine(const JavaCacheStep& step, const std::string& part) {
  std::vector<std::string> line = {step.runtime};
  line.insert(line.end(), step.options.begin(), step.options.end());
  line.push_back("-Xshare:dump");
  if (step.link_classes) line.push_back("-XX:+AOTClassLinking");
  const std::string folder = step.runtime_folder + platform::PathSeparator();
  line.push_back("-XX:SharedClassListFile=" + folder + step.class_list);
  line.push_back("-XX:SharedArchiveFile=" + folder + part);
  return JoinArguments(line);
}

int StartJavaCacheStep(const std::string& launcher, const JavaCacheStep& step) {
  std::vector<std::string> line = {launcher};
  const std::vector<std::string> arguments = JavaCacheStepArguments(step);
  line.insert(line.end(), arguments.begin(), arguments.end());
  int error = platform::SetEnvVar(kJavaCacheStepVariable, "1");
  if (error != 0) return error;
  platform::StartOptions options;
  options.detached = true;
  platform::Child child;
  error = platform::StartChild(JoinArguments(line), options, &child);
  (void)platform::UnsetEnvVar(kJavaCacheStepVariable);
  child.Close();  // it runs on by itself
  return error;
}

bool IsJavaCacheStep() { return !platform::GetEnvVar(kJavaCacheStepVariable).empty(); }

int RunJavaCacheStep(const std::vector<std::string>& arguments) {
  (void)platform::UnsetEnvVar(kJavaCacheStepVariable);
  JavaCacheStep step;
  if (arguments.empty() ||
      !ReadJavaCacheStep(std::vector<std::string>(arguments.begin() + 1, arguments.end()), &step)) {
    return 2;
  }
  platform::HeldFolder folder;
  if (!OpenJavaCacheFolder(step.data_folder, &folder).empty()) return 1;
  // One step per archive: a second one for the same key leaves at once.
  platform::Handle lock;
  if (folder.OpenLockFile(step.archive + kJavaCacheLockSuffix, &lock) != 0 ||
      TryLockPatiently(lock) != 0) {
    (void)folder.Remove(step.class_list);  // handed to this step alone
    return 0;
  }
  if (WhyNotWhole(folder, step.archive).empty()) {
    (void)folder.Remove(step.class_list);
    return 0;
  }
  // The step's runtime gets no option variable of the application's: what
  // the archive needs of them is on its line already. The probe gets them
  // back, since it asks about the application's start.
  std::vector<std::string> variables;
  for (const char* name : kJavaOptionVariables) variables.push_back(platform::GetEnvVar(name));
  for (const char* name : kJavaOptionVariables) (void)platform::UnsetEnvVar(name);
  std::string part;
  int error = platform::CreateExclusiveFile(folder.path(), step.archive + ".", kJavaCachePartSuffix,
                                            "", &part);
  if (error != 0) {
    WriteNote(folder, step.archive, "no archive: nothing can be written in " + folder.path() +
                                        " (error " + IntToString(error) + ")");
    (void)folder.Remove(step.class_list);
    return 1;
  }
  part = part.substr(folder.path().size() + 1);
  const auto started = std::chrono::steady_clock::now();
  std::string outcome;
  {
    platform::ChildSignalScope signals;
    platform::StartOptions options;
    options.detached = true;
    platform::Child child;
    const int held = platform::HeldRequestExitCode();
    error = held != 0 ? 0 : platform::StartChild(JavaCacheDumpLine(step, part), options, &child);
    if (held != 0) {
      outcome = "no archive: the step was asked to end";
    } else if (error != 0) {
      outcome = "no archive: the runtime cannot be started (error " + IntToString(error) + ")";
    } else {
      signals.Watch(child);
      bool ended = false;
      error = child.WaitFor(kJavaCacheStepSeconds * 1000u, &ended);
      if (error == 0 && !ended) {
        (void)child.Kill();
        (void)child.Wait();
        outcome = "no archive: the runtime took more than " + IntToString(kJavaCacheStepSeconds) +
                  " seconds";
      } else {
        std::int32_t code = -1;
        if (error != 0 || child.ExitCode(&code) != 0) code = -1;
        if (signals.StopExitCode() != 0) {
          outcome = "no archive: the step was asked to end";
        } else if (code != 0) {
          outcome = "no archive: the runtime ended with exit code " + IntToString(code);
        }
      }
    }
  }
  if (outcome.empty() && step.probe) outcome = Probe(step, part, variables);
  if (outcome.empty()) {
    const std::string why = PutInPlace(folder, part, step.archive);
    if (why.empty()) {
      const long long seconds = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now() - started).count();
      outcome = "created " + folder.PathOf(step.archive) + " in " + IntToString(seconds) + " ms";
      const std::string application = step.archive.substr(0, step.archive.size() - 21);
      for (const std::string& text : KeepWithinBound(folder, application, step.archive)) {
        outcome += "; " + text;
      }
    } else {
      outcome = "no archive: " + why;
    }
  } else {
    (void)folder.Remove(part);
  }
  WriteNote(folder, step.archive, outcome);
  // Last of all: a class list in the folder says that its step is not done.
  (void)folder.Remove(step.class_list);
  return outcome.rfind("created", 0) == 0 ? 0 : 1;
}

}  // namespace kb
