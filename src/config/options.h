// The launcher's own options, parsed out of its argument line into a value:
// the parse changes nothing outside what it returns.
//
// The argument line is split into arguments once, by the C runtime's
// argument rules, and options are then matched against whole arguments:
// an option or override is an argument equal to the option text, letter
// case ignored. So "x-waitress", "--max-wait-time", "-JavaArgs_10" for the
// override "-JavaArgs_1", and a file name that holds " -launchercmd " are
// never taken for options. Consuming takes out exactly the option's
// arguments; every other argument reaches the child as it was received.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace kb {

// The arguments with a mark on each one that an option or an override has
// consumed. A consumed argument is seen by no later search and is not
// passed on: every answer is the one the list would give had it been taken
// out.
class ArgumentList {
 public:
  ArgumentList() = default;
  explicit ArgumentList(std::vector<std::string> arguments);

  // Index, counted over the arguments not consumed, of the first one equal
  // to `option` (letter case ignored), or -1. With consume set it is marked.
  int Find(const std::string& option, bool consume);
  // The argument not consumed that follows the first `option`, exactly as
  // received, whatever it looks like (even another option); empty when
  // nothing follows. *found is 1 when the option is present, else 0. With
  // consume set the option and its value are marked.
  std::string ValueOf(const std::string& option, int* found, bool consume);
  // The arguments not consumed, in order.
  std::vector<std::string> Left() const;

 private:
  std::size_t Next(std::size_t from) const;
  std::size_t Position(const std::string& option) const;

  std::vector<std::string> arguments_;
  std::vector<bool> consumed_;
};

// What the parse found. Locations are as the launcher uses them: "" for
// absent or blank, "/" written as the native separator, the log and data
// locations fixed against the start folder.
struct OptionState {
  ArgumentList arguments;
  int console = 1;   // 0 with "-noconsole"
  int cleanup = 1;   // 0 with "-nocleanup"
  int autorun = 0;   // 1 with "-autorun"
  bool no_message = false;
  // "-applogloc": a log the user names; "" when the launcher names it.
  std::string log_location;
  // "-templocation"; "" for the environment's candidate.
  std::string temp_location;
  std::string clean_dir;
  // "-datalocation"; "" for the default data folder.
  std::string data_location;
};

// Parses the options out of an argument line (BuildArgLine's form), in
// their fixed order: every consumed option changes what the later searches
// see. Reads only the start folder (to fix relative locations).
OptionState ParseOptions(const std::string& argument_line);

}  // namespace kb
