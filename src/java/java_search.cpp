#include "java/java_search.h"

#include <algorithm>
#include <utility>

#include "common/text.h"
#include "env/env_calls.h"
#include "platform/environment.h"
#include "platform/fs.h"
#include "platform/java_places.h"
#include "platform/registry.h"

namespace kb {
namespace {

// Where the Windows installers of the common Java distributions register
// their runtimes, below HKEY_LOCAL_MACHINE: the key whose subkeys name the
// versions, what follows each version, and the value naming the home.
struct RegistryPlace {
  const char* key;
  const char* below_version;
  const char* value;
};
constexpr RegistryPlace kRegistryPlaces[] = {
    {"SOFTWARE\\JavaSoft\\JDK", "", "JavaHome"},
    {"SOFTWARE\\JavaSoft\\Java Runtime Environment", "", "JavaHome"},
    {"SOFTWARE\\Eclipse Adoptium\\JDK", "\\hotspot\\MSI", "Path"},
    {"SOFTWARE\\Eclipse Adoptium\\JRE", "\\hotspot\\MSI", "Path"},
    {"SOFTWARE\\Microsoft\\JDK", "\\hotspot\\MSI", "Path"},
    {"SOFTWARE\\Azul Systems\\Zulu", "", "InstallationPath"},
};

std::string Sep() { return std::string(1, platform::PathSeparator()); }

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// A home as written, without the quotes and trailing separators that
// installers and users often add: "C:\jdk\", C:\jdk\ and C:\jdk are one home
// (a variable set with `set JAVA_HOME="C:\Program Files\jdk"` holds quotes).
std::string CleanHome(const std::string& home) {
  std::string out = TrimWhitespace(home);
  if (out.size() >= 2 && out.front() == '"' && out.back() == '"') {
    out = TrimWhitespace(out.substr(1, out.size() - 2));
  }
  out = NormalizeSlashes(out);
  while (out.size() > 1 && out.back() == platform::PathSeparator() && !platform::IsRootPath(out)) {
    out.pop_back();
  }
  return out;
}

// The feature versions accepted; 0 leaves that side open.
struct Bounds {
  int minimum = 0;
  int maximum = 0;
  bool Any() const { return minimum == 0 && maximum == 0; }
};

std::string Wanted(const Bounds& bounds) {
  const std::string low = IntToString(bounds.minimum);
  const std::string high = IntToString(bounds.maximum);
  if (bounds.minimum > 0 && bounds.maximum > 0) return low + " to " + high + " wanted";
  if (bounds.minimum > 0) return low + " or newer wanted";
  if (bounds.maximum > 0) return high + " or older wanted";
  return "any version accepted";
}

class Search {
 public:
  Search(const JavaSearchRequest& request, Bounds bounds) : request_(request), bounds_(bounds) {}

  void Run(const std::string& order) {
    for (std::string entry : SplitEntries(order)) {
      if (result_.found) return;
      if (StartsWithNoCase(entry, "bundled:")) {
        Bundled(entry, entry.substr(8));
      } else if (StartsWithNoCase(entry, "env:")) {
        Environment(entry, entry.substr(4));
      } else if (EqualsNoCase(entry, "registry")) {
        Several(entry, RegistryHomes(), "nothing in the registry");
      } else if (EqualsNoCase(entry, "system")) {
        Several(entry, SystemHomes(), SystemNothing());
      } else if (EqualsNoCase(entry, "path")) {
        SearchPath(entry);
      } else {
        Log("unknown entry \"" + entry + "\" ignored");
      }
    }
  }

  void Log(const std::string& text) { result_.log.push_back(text); }

  JavaSearchResult Finish() {
    if (!result_.found) {
      std::string detail;
      for (const std::string& piece : pieces_) {
        if (!detail.empty()) detail += ", ";
        detail += piece;
      }
      if (detail.empty()) detail = "nothing searched";
      result_.detail = detail + "; " + Wanted(bounds_);
    }
    return std::move(result_);
  }

 private:
  static std::vector<std::string> SplitEntries(const std::string& order) {
    std::vector<std::string> entries;
    std::string::size_type start = 0;
    while (start <= order.size()) {
      std::string::size_type end = order.find(';', start);
      if (end == std::string::npos) end = order.size();
      const std::string entry = TrimWhitespace(order.substr(start, end - start));
      if (!entry.empty()) entries.push_back(entry);
      start = end + 1;
    }
    return entries;
  }

  void Bundled(const std::string& entry, const std::string& folder) {
    const std::string clean = CleanHome(folder);
    if (clean.empty()) {
      Log(entry + ": no folder named");
      return;
    }
    const bool as_written = platform::IsAbsolutePath(clean) || request_.launcher_dir.empty();
    const std::string home = as_written ? clean : request_.launcher_dir + Sep() + clean;
    Report(Try(entry, home));
  }

  void Environment(const std::string& entry, const std::string& variable) {
    const std::string value = platform::GetEnvVar(TrimWhitespace(variable).c_str());
    if (TrimWhitespace(value).empty()) {
      Log(entry + ": unset");
      pieces_.push_back(TrimWhitespace(variable) + " unset");
      return;
    }
    Report(Try(entry, CleanHome(value)));
  }

  // An entry of several runtimes: every one is looked at, the highest
  // version tried first (unknown versions last, then by home for a fixed
  // order).
  void Several(const std::string& entry, const std::vector<std::string>& homes,
               const std::string& nothing) {
    std::vector<JavaCandidate> found;
    for (const std::string& home : homes) found.push_back(Look(entry, home));
    std::stable_sort(found.begin(), found.end(),
                     [](const JavaCandidate& a, const JavaCandidate& b) {
                       if (a.has_program != b.has_program) return a.has_program;
                       if (a.version.feature != b.version.feature) {
                         return a.version.feature > b.version.feature;
                       }
                       return a.home < b.home;
                     });
    bool any = false;
    for (JavaCandidate& candidate : found) {
      if (!candidate.has_program) continue;  // a folder that holds no runtime
      any = true;
      Judge(&candidate);
      Report(candidate);
      if (result_.found) return;
    }
    if (!any) {
      Log(entry + ": nothing found");
      pieces_.push_back(nothing);
    }
  }

  void SearchPath(const std::string& entry) {
    const std::string name = std::string("java") + platform::ExecutableSuffix();
    for (const std::string& folder : platform::SearchPathFolders()) {
      const std::string program = CleanHome(folder) + Sep() + name;
      if (platform::GetPathKind(program) != platform::PathKind::kFile) continue;
      // The first java on the path is the one a user would get.
      JavaRuntime runtime;
      if (IdentifyJavaRuntime(program, &runtime)) {
        Report(Try(entry, runtime.home));
      } else {
        Log(entry + ": " + program + " is not in a runtime's bin folder");
        pieces_.push_back(program + " outside a Java runtime");
      }
      return;
    }
    Log(entry + ": nothing on PATH");
    pieces_.push_back("nothing on PATH");
  }

  std::vector<std::string> RegistryHomes() const {
    std::vector<std::string> homes;
    if (!platform::HasRegistry()) return homes;
    for (platform::RegistryView view : {platform::RegistryView::k64, platform::RegistryView::k32}) {
      for (const RegistryPlace& place : kRegistryPlaces) {
        for (const std::string& version : platform::RegistrySubkeys(place.key, view)) {
          const std::string key = std::string(place.key) + "\\" + version + place.below_version;
          const std::string home = CleanHome(platform::RegistryString(key, place.value, view));
          if (!home.empty()) AddUnique(&homes, home);
        }
      }
    }
    return homes;
  }

  std::vector<std::string> SystemHomes() const {
    std::vector<std::string> homes;
    for (const std::string& folder : SystemFolders()) {
      for (const std::string& name : platform::ListFolder(folder)) {
        const std::string home = folder + Sep() + name;
        if (platform::GetPathKind(home) == platform::PathKind::kDirectory) AddUnique(&homes, home);
      }
    }
    return homes;
  }

  std::vector<std::string> SystemFolders() const {
    return request_.system_folders != nullptr ? *request_.system_folders
                                              : platform::SystemJavaFolders();
  }

  std::string SystemNothing() const {
    std::string folders;
    for (const std::string& folder : SystemFolders()) {
      folders += (folders.empty() ? "" : ", ") + folder;
    }
    return "nothing in " + (folders.empty() ? std::string("the system folders") : folders);
  }

  // One home, once: the registry lists a runtime under "17" and
  // "17.0.15", and /usr/lib/jvm holds links to its own folders.
  static void AddUnique(std::vector<std::string>* homes, const std::string& home) {
    std::string real = platform::ResolveLinks(home);
    if (real.empty()) real = home;
    for (const std::string& known : *homes) {
      if (platform::SameFileName(known, real)) return;
    }
    homes->push_back(real);
  }

  JavaCandidate Look(const std::string& entry, const std::string& home) const {
    JavaCandidate candidate;
    candidate.entry = entry;
    candidate.home = home;
    const std::string program = JavaProgramIn(home, request_.windowed);
    candidate.has_program = platform::GetPathKind(program) == platform::PathKind::kFile;
    if (candidate.has_program) {
      candidate.version = ReadJavaVersion(home);
      candidate.not_runnable = platform::WhyNotRunnable(program);
    }
    return candidate;
  }

  JavaCandidate Try(const std::string& entry, const std::string& home) {
    JavaCandidate candidate = Look(entry, home);
    Judge(&candidate);
    return candidate;
  }

  // Marks a runtime met before under another name (a link, a second entry)
  // by the real path of its program, so that it is judged only once.
  void MarkRepeat(JavaCandidate* candidate) {
    const std::string program = JavaProgramIn(candidate->home, request_.windowed);
    std::string real = platform::ResolveLinks(program);
    if (real.empty()) real = program;
    for (const auto& seen : tried_) {
      if (platform::SameFileName(seen.first, real)) {
        candidate->already_tried = seen.second;
        return;
      }
    }
    tried_.emplace_back(real, candidate->home);
  }

  void Judge(JavaCandidate* candidate) {
    const int feature = candidate->version.feature;
    if (candidate->has_program) MarkRepeat(candidate);
    if (!candidate->has_program) {
      candidate->verdict = "no " + JavaProgramIn(candidate->home, request_.windowed);
    } else if (!candidate->already_tried.empty()) {
      candidate->verdict = "already tried as " + candidate->already_tried;
    } else if (!candidate->version.problem.empty()) {
      // A release that is no file is not a runtime's: never waited on, and
      // never taken on trust.
      candidate->verdict = candidate->version.problem;
    } else if (!candidate->not_runnable.empty()) {
      candidate->verdict = JavaProgramIn(candidate->home, request_.windowed) +
                           " cannot be started: " + candidate->not_runnable;
    } else if (!bounds_.Any() && feature == 0) {
      candidate->verdict = "version unknown, " + Wanted(bounds_);
    } else if (feature < bounds_.minimum) {
      candidate->verdict = "too old, " + Wanted(bounds_);
    } else if (bounds_.maximum > 0 && feature > bounds_.maximum) {
      candidate->verdict = "too new, " + Wanted(bounds_);
    } else {
      candidate->fits = true;
      candidate->verdict = "chosen";
    }
  }

  void Report(const JavaCandidate& candidate) {
    const std::string version =
        candidate.version.text.empty() ? std::string("unknown") : candidate.version.text;
    Log(candidate.entry + ": " + candidate.home + ", version " + version +
                                ": " + candidate.verdict);
    if (!candidate.already_tried.empty()) {
      // The first place already said what this runtime is.
    } else if (!candidate.has_program) {
      pieces_.push_back("nothing in " + candidate.home);
    } else if (!candidate.version.problem.empty()) {
      pieces_.push_back("java in " + candidate.home + " (its release is " + candidate.version.problem +
                        ")");
    } else if (!candidate.not_runnable.empty()) {
      pieces_.push_back("java in " + candidate.home + " that cannot be started");
    } else if (candidate.version.feature > 0) {
      pieces_.push_back("java " + IntToString(candidate.version.feature) + " in " + candidate.home);
    } else {
      pieces_.push_back("java of unknown version in " + candidate.home);
    }
    result_.candidates.push_back(candidate);
    if (candidate.fits) {
      result_.found = true;
      result_.program = JavaProgramIn(candidate.home, request_.windowed);
    }
  }

  const JavaSearchRequest& request_;
  const Bounds bounds_;
  JavaSearchResult result_;
  std::vector<std::string> pieces_;
  // Real path of each program judged so far, with the home it was judged as.
  std::vector<std::pair<std::string, std::string>> tried_;
};

}  // namespace

std::string DefaultJavaSearch() {
  return std::string("bundled:jre;bundled:runtime;env:JAVA_HOME;") +
         (platform::HasRegistry() ? "registry" : "system") + ";path";
}

namespace {

// One bound as written: 0 when absent or empty, else its feature version;
// false for a text that is no version.
bool ReadBound(const std::string& value, int* bound) {
  const std::string written = TrimWhitespace(value);
  *bound = written.empty() ? 0 : FeatureVersion(written);
  return written.empty() || *bound > 0;
}

JavaSearchResult Refused(const std::string& why) {
  JavaSearchResult result;
  result.detail = why;
  result.log.push_back(why);
  return result;
}

}  // namespace

JavaSearchResult FindJavaRuntime(const JavaSearchRequest& request) {
  Bounds bounds;
  if (!ReadBound(request.minimum, &bounds.minimum)) {
    return Refused(std::string(kKeyJavaMin) + "=" + TrimWhitespace(request.minimum) +
                   " is not a Java version");
  }
  if (!ReadBound(request.maximum, &bounds.maximum)) {
    return Refused(std::string(kKeyJavaMax) + "=" + TrimWhitespace(request.maximum) +
                   " is not a Java version");
  }
  if (bounds.maximum > 0 && bounds.maximum < bounds.minimum) {
    JavaSearchResult result = Refused(std::string(kKeyJavaMax) + "=" +
                                      TrimWhitespace(request.maximum) + " is below " +
                                      kKeyJavaMin + "=" + TrimWhitespace(request.minimum) +
                                      ": no runtime can fit both");
    result.bounds_crossed = true;
    return result;
  }
  const std::string order =
      TrimWhitespace(request.search).empty() ? DefaultJavaSearch() : request.search;
  Search search(request, bounds);
  search.Log(order + "; " + Wanted(bounds));
  search.Run(order);
  return search.Finish();
}

}  // namespace kb
