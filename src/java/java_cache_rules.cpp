#include "java/java_cache_rules.h"

#include <set>

#include "common/command_line.h"
#include "common/text.h"
#include "java/jar_manifest.h"
#include "platform/environment.h"
#include "platform/fs.h"
#include "platform/java_places.h"
#include "process/exe_proc.h"

namespace kb {
namespace {

// The dynamic archive lies on top of the runtime's archive of its own
// classes; runtimes of 13 to 24 refuse to start when asked to write one
// while they cannot map that base.
constexpr int kFirstAotFeature = 25;

// The name of a "-XX:" option, without its "+" / "-" and value ("" for
// any other option); *sign gets '+', '-' or '='.
std::string XxName(const std::string& option, char* sign) {
  if (option.rfind("-XX:", 0) != 0) return std::string();
  std::string name = option.substr(4);
  *sign = '=';
  if (!name.empty() && (name[0] == '+' || name[0] == '-')) {
    *sign = name[0];
    name.erase(0, 1);
  }
  return name.substr(0, name.find('='));
}

std::string XxValue(const std::string& option) {
  const std::size_t equals = option.find('=');
  return equals == std::string::npos ? std::string() : option.substr(equals + 1);
}

// The user's own choice of sharing, or "".
std::string SharingChoice(const std::string& option) {
  if (option.rfind("-Xshare:", 0) == 0) return "-Xshare:";
  char sign = 0;
  const std::string name = XxName(option, &sign);
  for (const char* choice : kSharingOptionNames) {
    if (name == choice) return "-XX:" + std::string(sign == '=' ? "" : std::string(1, sign)) + name;
  }
  return std::string();
}

bool IsAgent(const std::string& option) {
  return option.rfind("-javaagent:", 0) == 0 || option.rfind("-agentlib:", 0) == 0 ||
         option.rfind("-agentpath:", 0) == 0;
}

// True for an option that puts the runtime's messages about loaded classes
// or about class-data sharing onto the console: with a cache they say
// other things ("source: shared objects file"), so the output would not
// be that of a start without it. Logging into a file is left alone, as is
// a selection switched off.
bool ShowsSharingMessages(const std::string& option) {
  if (option == "-verbose:class" || option == "-Xlog") return true;
  if (option.rfind("-Xlog:", 0) != 0) return false;
  const std::string rest = option.substr(6);
  if (rest == "disable" || rest.rfind("help", 0) == 0 || rest.rfind("async", 0) == 0) return false;
  const std::size_t colon = rest.find(':');
  const std::string what = rest.substr(0, colon);
  if (colon != std::string::npos) {
    const std::string output = rest.substr(colon + 1, rest.find(':', colon + 1) - colon - 1);
    if (!output.empty() && output != "stdout" && output != "stderr") return false;
  }
  if (what.empty()) return true;  // every tag, at its default level
  std::string selection;
  for (char c : what + ",") {
    if (c != ',') {
      selection += c;
      continue;
    }
    const std::size_t equals = selection.find('=');
    const std::string level = equals == std::string::npos ? "info" : selection.substr(equals + 1);
    std::string tags = selection.substr(0, equals) + "+";
    selection.clear();
    if (level == "off") continue;
    std::string tag;
    for (char t : tags) {
      if (t != '+') {
        if (t != '*') tag += t;
        continue;
      }
      if (tag == "all" || tag == "cds" || tag == "aot" || tag == "class") return true;
      tag.clear();
    }
  }
  return false;
}

std::string Where(const JavaOptionSource& source) {
  return source.name.empty() ? "the Java options" : source.name;
}

std::string Verb(const JavaOptionSource& source, const char* plural, const char* singular) {
  return source.name.empty() ? plural : singular;
}

}  // namespace

std::string ReadJavaOptionVariables(const std::string& working_folder,
                                    std::vector<JavaOptionSource>* sources) {
  for (const char* name : kJavaOptionVariables) {
    JavaOptionSource source;
    source.name = name;
    source.value = platform::GetEnvVar(name);
    if (source.value.empty()) continue;
    source.options = SplitArguments(source.value);
    // Only the program that starts the runtime reads JDK_JAVA_OPTIONS, and
    // it expands argument files there as on its command line; the runtime
    // itself reads the other two and expands nothing.
    if (source.name == "JDK_JAVA_OPTIONS") {
      const JavaLaunch launch = ReadJavaLaunch(source.options, working_folder);
      if (!launch.unreadable.empty()) {
        return "the Java argument file " + launch.unreadable + " of " + source.name +
               " cannot be read";
      }
      if (launch.start != JavaLaunch::Start::kNone) {
        return source.name + " names what to start (" + launch.target + ")";
      }
      source.options = launch.options;
    }
    sources->push_back(source);
  }
  return std::string();
}

std::string WhyNoCacheForOptions(const std::vector<JavaOptionSource>& sources, int feature) {
  const bool dynamic_archive = feature < kFirstAotFeature;
  const std::string java = "Java " + IntToString(feature);
  // A later setting of a flag overrides an earlier one, wherever each is.
  struct Last {
    const JavaOptionSource* source = nullptr;
    std::string option;
  };
  Last alignment;
  Last class_pointers;
  for (const JavaOptionSource& source : sources) {
    for (std::size_t i = 0; i < source.options.size(); ++i) {
      const std::string& option = source.options[i];
      const std::string choice = SharingChoice(option);
      if (!choice.empty()) {
        return Where(source) + Verb(source, " choose", " chooses") +
               " class-data sharing themselves (" + choice + ")";
      }
      if (option == "--limit-modules" || option.rfind("--limit-modules=", 0) == 0) {
        return Where(source) + Verb(source, " hold", " holds") +
               " --limit-modules, with which the runtime refuses to record a cache";
      }
      if (dynamic_archive && IsAgent(option)) {
        return Where(source) + Verb(source, " start", " starts") + " an agent (" +
               option.substr(0, option.find(':') + 1) + "), with which " + java +
               " refuses to write an archive";
      }
      if (ShowsSharingMessages(option)) {
        return Where(source) + Verb(source, " show", " shows") +
               " the runtime's messages about classes or class-data sharing on the console (" +
               option + "), which a cache would change";
      }
      char sign = 0;
      const std::string name = XxName(option, &sign);
      if (name == "ObjectAlignmentInBytes") alignment = {&source, option};
      if (name == "UseCompressedClassPointers") class_pointers = {&source, option};
    }
  }
  if (!dynamic_archive) return std::string();
  // Without the runtime's own archive, which is made for the default
  // layout of objects and class pointers, there is nothing to put an
  // archive of the application on.
  const std::string base = ", with which " + java +
                           " maps no archive of its own classes and refuses to write one of the "
                           "application's";
  if (alignment.source != nullptr && XxValue(alignment.option) != "8") {
    return Where(*alignment.source) + Verb(*alignment.source, " hold", " holds") + " " +
           alignment.option + base;
  }
  if (class_pointers.source != nullptr && class_pointers.option == "-XX:-UseCompressedClassPointers") {
    return Where(*class_pointers.source) + Verb(*class_pointers.source, " hold", " holds") + " " +
           class_pointers.option + base;
  }
  return std::string();
}

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

std::string ReadClassPathJars(const std::string& class_path, const std::string& working_folder,
                              std::vector<JavaCacheInputs::Jar>* jars) {
  // Each entry of the class path must be an existing JAR file: a folder or
  // a wildcard has no size and time that tell its versions apart.
  std::vector<std::string> given;
  std::string entry;
  for (char c : class_path + platform::ClassPathSeparator()) {
    if (c != platform::ClassPathSeparator()) {
      entry += c;
      continue;
    }
    if (entry.empty()) return "the class path names the current folder";
    if (!EndsWithNoCase(entry, ".jar")) return "the class path entry " + entry + " is no JAR file";
    given.push_back(platform::IsAbsolutePath(entry) || working_folder.empty()
                        ? entry
                        : working_folder + platform::PathSeparator() + entry);
    entry.clear();
  }
  // Depth first, as the runtime searches: a JAR, then what its manifest
  // names, then the next. Each file once, which also ends a cycle.
  std::set<std::string> seen;
  struct Pending {
    std::string path;
    std::string named_by;  // the JAR whose manifest names it, "" for the class path
  };
  std::vector<Pending> stack;
  // Names are counted as they are met, so that manifests that name the
  // same files over and over end too.
  std::size_t met = given.size();
  for (auto at = given.rbegin(); at != given.rend(); ++at) stack.push_back({*at, std::string()});
  while (!stack.empty()) {
    const Pending next = stack.back();
    stack.pop_back();
    if (!seen.insert(next.path).second) continue;
    if (jars->size() == kMaxClassPathJars) {
      return "the class path brings in more than " +
             IntToString(static_cast<long long>(kMaxClassPathJars)) + " JAR files";
    }
    JavaCacheInputs::Jar jar;
    jar.path = next.path;
    platform::Handle file;
    if (platform::OpenRegularFile(jar.path, &file, &jar.stamp) != 0) {
      if (next.named_by.empty()) return "the JAR file " + jar.path + " does not exist or is no file";
      // The runtime passes over it until it appears; then the stamp
      // changes, and so does the key.
      jar.stamp = platform::FileStamp();
      jars->push_back(jar);
      continue;
    }
    jars->push_back(jar);
    std::string manifest;
    const std::string unreadable =
        ReadJarManifest(file, static_cast<std::uint64_t>(jar.stamp.size), &manifest);
    if (!unreadable.empty()) return "the manifest of " + jar.path + " cannot be read: " + unreadable;
    const std::string folder = BeforeLast(jar.path, platform::PathSeparator());
    const std::vector<std::string> named = ManifestClassPath(manifest);
    met += named.size();
    if (met > kMaxNamedJars) {
      return "the manifests of the class path name more than " +
             IntToString(static_cast<long long>(kMaxNamedJars)) + " JAR files";
    }
    for (auto at = named.rbegin(); at != named.rend(); ++at) {
      std::string path;
      const std::string why = ClassPathEntryFile(folder, *at, &path);
      if (!why.empty()) {
        return "the manifest of " + jar.path + " names " + *at + " in its Class-Path: " + why;
      }
      stack.push_back({path, jar.path});
    }
  }
  return std::string();
}

std::string PredictJavaCacheFolder(const std::string& folder) {
  // An existing entry makes the launch's judgement create nothing.
  if (platform::PathExists(folder)) return platform::WhyNotPrivateFolder(folder);
  std::string below = folder;
  for (;;) {
    const std::string above = BeforeLast(below, platform::PathSeparator());
    if (above.empty() || above.size() < platform::RootLength(folder)) return std::string();
    if (platform::PathExists(above)) {
      return platform::GetPathKind(above) == platform::PathKind::kDirectory
                 ? std::string()
                 : "it cannot be made: " + above + " is not a folder";
    }
    below = above;
  }
}

}  // namespace kb
