// launcher_check: explains what the launcher would do with a configuration
// file, and finds its mistakes, without starting anything.
//
// Exit code: 0 no errors and no warnings, 1 warnings only, 2 errors, 3 bad
// usage, a file that cannot be checked, a report that could not be written,
// or memory that ran out.
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "check/analysis.h"
#include "check/output.h"
#include "platform/text.h"

namespace {

constexpr int kExitUsage = 3;

const char kUsage[] =
    "usage: launcher_check [--platform win|wx6] [--launcher NAME] [--json] CONFIG.ini\n"
    "                      [-- launcher arguments...]\n"
    "       launcher_check --help | --version\n"
    "\n"
    "Shows what the launcher would do with CONFIG.ini and the launcher arguments given\n"
    "after --, and what in the file is probably a mistake. Nothing is started, created\n"
    "or written.\n"
    "\n"
    "  --platform TAG   the platform section to read first (default: this machine's)\n"
    "  --launcher NAME  the launcher executable that would read the file; it decides\n"
    "                   the log name and LAUNCHERDIR, and its kind and version are\n"
    "                   read from the program itself (a name with _console is the\n"
    "                   console launcher when there is no program yet). A bare name is\n"
    "                   taken in the file's folder. Default: the file's name plus\n"
    "                   _console, in its folder\n"
    "  --json           one JSON document instead of text\n"
    "  --version        this check's version\n"
    "\n"
    "Exit code: 0 no findings but notes, 1 warnings, 2 errors, 3 bad usage or file,\n"
    "or a report that could not be written.\n";

// A message that cannot be written has nowhere else to go.
void Error(const std::string& message) {
  (void)platform::WriteStdText(platform::StdStream::kError, "launcher_check: " + message);
}

int Usage(const std::string& message) {
  Error(message + "\n\n" + kUsage);
  return kExitUsage;
}

// False when the text could not be written whole: a full disk, a closed
// pipe. A lost report must never pass for one without findings. The text
// report: on a console every character shows; elsewhere it is in the
// system's code page, as the launcher's own messages are.
bool Print(const std::string& text) {
  return platform::WriteStdText(platform::StdStream::kOutput, text) == 0;
}

// The JSON document is UTF-8 wherever it goes, which JSON readers expect.
bool PrintBytes(const std::string& text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
  return std::fflush(stdout) == 0 && written && std::ferror(stdout) == 0;
}

int ReportLost() {
  Error("the report could not be written\n");
  return kExitUsage;
}

int Check(int raw_argc, char** raw_argv) {
  const std::vector<std::string> argv = platform::ProgramArguments(raw_argc, raw_argv);
  const int argc = static_cast<int>(argv.size());
  kb::check::Request request;
  bool json = false;
  bool have_config = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") {
      for (++i; i < argc; ++i) request.launcher_args.push_back(argv[i]);
      break;
    }
    if (arg == "--help" || arg == "-h") return Print(kUsage) ? 0 : ReportLost();
    if (arg == "--version") {
      return Print(std::string("launcher_check ") + KB_VERSION + "\n") ? 0 : ReportLost();
    }
    if (arg == "--json") {
      json = true;
    } else if (arg == "--platform" || arg == "--launcher") {
      if (i + 1 >= argc) return Usage(arg + " needs a value");
      (arg == "--platform" ? request.platform : request.launcher) = argv[++i];
      if (arg == "--platform" && request.platform.empty()) {
        return Usage("--platform needs win or wx6");
      }
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      return Usage("unknown option " + arg);
    } else if (have_config) {
      return Usage("one configuration file only (launcher arguments go after --)");
    } else {
      request.config_file = arg;
      have_config = true;
    }
  }
  if (!have_config || request.config_file.empty()) return Usage("no configuration file given");

  kb::check::Report report;
  std::string error;
  if (!kb::check::Analyse(request, &report, &error)) {
    Error(error + "\n");
    return kExitUsage;
  }
  const bool written =
      json ? PrintBytes(kb::check::ToJson(report)) : Print(kb::check::ToText(report));
  if (!written) return ReportLost();
  return report.ExitCode();
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Check(argc, argv);
  } catch (const std::bad_alloc&) {
    // Caught once, here, so that the check never aborts.
    Error("out of memory\n");
    return kExitUsage;
  }
}
