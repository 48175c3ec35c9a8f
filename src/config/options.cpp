#include "config/options.h"

#include <utility>

#include "common/command_line.h"
#include "common/constants.h"
#include "common/text.h"
#include "platform/fs.h"

namespace kb {
namespace {

// A relative location fixed against the start folder once, while the
// options are parsed, so that a later change of working directory cannot
// split one run's log (or data) over two places.
std::string FixedLocation(const std::string& path) {
  if (path.empty() || platform::IsAbsolutePath(path)) return path;
  std::string full;
  return platform::FullPathName(path, &full) == 0 ? full : path;
}

// The value of one of the launcher's own location options as the launcher
// uses it. A value of blanks names no place: it means the default, as an
// empty one does (made absolute, it would name a file or folder " " in the
// start folder). "/" is written as the native separator, since the folder
// of a log path is found by it (on Windows "/" becomes "\"; on POSIX "/"
// already is the separator, and a backslash is an ordinary character).
std::string OwnLocation(std::string value) {
  if (TrimChars(value, " ").empty()) return std::string();
  for (char& c : value) {
    if (c == '/') c = platform::PathSeparator();
  }
  return value;
}

}  // namespace

ArgumentList::ArgumentList(std::vector<std::string> arguments)
    : arguments_(std::move(arguments)), consumed_(arguments_.size(), false) {}

std::size_t ArgumentList::Next(std::size_t from) const {
  while (from < arguments_.size() && consumed_[from]) ++from;
  return from;
}

std::size_t ArgumentList::Position(const std::string& option) const {
  if (option.empty()) return arguments_.size();
  for (std::size_t i = Next(0); i < arguments_.size(); i = Next(i + 1)) {
    if (EqualsNoCase(arguments_[i], option)) return i;
  }
  return arguments_.size();
}

int ArgumentList::Find(const std::string& option, bool consume) {
  const std::size_t at = Position(option);
  if (at == arguments_.size()) return -1;
  int index = 0;
  for (std::size_t i = Next(0); i < at; i = Next(i + 1)) ++index;
  if (consume) consumed_[at] = true;
  return index;
}

std::string ArgumentList::ValueOf(const std::string& option, int* found, bool consume) {
  const std::size_t at = Position(option);
  if (found != nullptr) *found = at < arguments_.size() ? 1 : 0;
  if (at == arguments_.size()) return std::string();
  const std::size_t value_at = Next(at + 1);
  if (consume) consumed_[at] = true;
  if (value_at == arguments_.size()) return std::string();
  if (consume) consumed_[value_at] = true;
  return arguments_[value_at];
}

std::vector<std::string> ArgumentList::Left() const {
  std::vector<std::string> left;
  for (std::size_t i = Next(0); i < arguments_.size(); i = Next(i + 1)) {
    left.push_back(arguments_[i]);
  }
  return left;
}

OptionState ParseOptions(const std::string& argument_line) {
  OptionState out;
  ArgumentList& args = out.arguments;
  args = ArgumentList(SplitArguments(argument_line));
  int found = 0;
  args.Find(kOptWait, true);
  args.Find(kOptConsole, true);
  out.console = args.Find(kOptNoConsole, true) >= 0 ? 0 : 1;
  args.Find(kOptQuiet, false);
  out.no_message = args.Find(kOptNoMessage, true) >= 0;
  // The log path and the data location are the launcher's own copies: the
  // options stay in the pass-through arguments as they were given.
  out.log_location =
      FixedLocation(OwnLocation(args.ValueOf(std::string("-") + kKeyAppLogLoc, &found, false)));
  args.ValueOf(kOptJreHome, &found, true);
  out.temp_location = OwnLocation(args.ValueOf(kOptTempLocation, &found, true));
  out.cleanup = args.Find(kOptNoCleanup, true) >= 0 ? 0 : 1;
  out.clean_dir = OwnLocation(args.ValueOf(kOptCleanDir, &found, true));
  out.data_location = FixedLocation(OwnLocation(args.ValueOf(kOptDataLocation, &found, false)));
  out.autorun = args.Find(kOptAutorun, true) >= 0 ? 1 : 0;
  return out;
}

}  // namespace kb
