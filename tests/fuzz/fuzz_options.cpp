// The option parse: DataControl on an arbitrary argument line, then
// FindOption and GetOptionValue with arbitrary option texts.
//
// Input: the argument line, then option texts, separated by NUL bytes.
//
// Every "/" of the input becomes "\": with no absolute path in the line, a
// fuzzed "-templocation" or "-applogloc" can only name places inside the
// scratch working folder, which is emptied after every input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/text.h"
#include "config/data_control.h"
#include "fuzz_support.h"
#include "log/log.h"

namespace {

bool IsArgBlank(char c) { return c == ' ' || c == '\t'; }

// The first whole-argument occurrence of `option` in `line`, letter case
// ignored, found by brute force.
int FirstWholeArgument(const std::string& line, const std::string& option) {
  if (option.empty() || option.size() > line.size()) return -1;
  const std::string lower_line = kb::ToLowerAscii(line);
  const std::string lower_option = kb::ToLowerAscii(option);
  for (std::size_t pos = 0; pos + option.size() <= line.size(); ++pos) {
    if (lower_line.compare(pos, option.size(), lower_option) != 0) continue;
    const std::size_t after = pos + option.size();
    if ((pos == 0 || IsArgBlank(line[pos - 1])) &&
        (after == line.size() || IsArgBlank(line[after]))) {
      return static_cast<int>(pos);
    }
  }
  return -1;
}

bool HasOtherWhiteSpace(const std::string& text) {
  return text.find_first_of("\t\n\v\f\r") != std::string::npos;
}

// What every returned value satisfies: no quote or blank at either end, and
// it was part of the line after the option.
void CheckValue(const std::string& value, const std::string& line, int pos,
                const std::string& option) {
  if (value.empty()) return;
  KB_FUZZ_CHECK(value.front() != '"' && value.front() != ' ');
  KB_FUZZ_CHECK(value.back() != '"' && value.back() != ' ');
  KB_FUZZ_CHECK(line.find(value, static_cast<std::size_t>(pos) + option.size()) !=
                std::string::npos);
}

void CheckOption(kb::DataControl& control, const std::string& option, bool remove_with_value) {
  const std::string before = control.GetArgLine();
  const int expected = FirstWholeArgument(before, option);

  KB_FUZZ_CHECK(control.FindOption(option, 0) == expected);
  KB_FUZZ_CHECK(control.GetArgLine() == before);

  int found = -1;
  const std::string value = control.GetOptionValue(option, &found, 0);
  KB_FUZZ_CHECK(found == (expected >= 0 ? 1 : 0));
  KB_FUZZ_CHECK(control.GetArgLine() == before);
  if (expected < 0) {
    KB_FUZZ_CHECK(value.empty());
    return;
  }
  CheckValue(value, before, expected, option);

  if (remove_with_value) {
    found = -1;
    const std::string removed = control.GetOptionValue(option, &found, 1);
    KB_FUZZ_CHECK(found == 1);
    const std::string after = control.GetArgLine();
    // Other white space right after the option is trimmed away by the
    // removal but kept by the plain lookup; the launcher's own lines (blank
    // separated, anything else quoted) never have it outside quotes.
    if (!HasOtherWhiteSpace(before)) KB_FUZZ_CHECK(removed == value);
    // The option and at least the value's own bytes left the line.
    KB_FUZZ_CHECK(after.size() + option.size() + removed.size() <= before.size());
  } else {
    KB_FUZZ_CHECK(control.FindOption(option, 1) == expected);
    std::string expected_line = before;
    expected_line.erase(static_cast<std::size_t>(expected), option.size());
    KB_FUZZ_CHECK(control.GetArgLine() == kb::TrimWhitespace(expected_line));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kbfuzz::SetUpScratch(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string input = kbfuzz::AsString(data, size);
  std::replace(input.begin(), input.end(), '/', '\\');
  const std::vector<std::string> pieces = kbfuzz::SplitAtNul(input, 9);

  {
    kb::DataControl control(pieces[0]);
    // The constructor points the log at the fuzzed or the default place;
    // nothing after it may write there.
    kb::LogFilePath().clear();
    KB_FUZZ_CHECK(control.GetArgLine().size() <= pieces[0].size());
    KB_FUZZ_CHECK(control.IsConsole() == 0 || control.IsConsole() == 1);
    KB_FUZZ_CHECK(control.IsCleanup() == 0 || control.IsCleanup() == 1);
    KB_FUZZ_CHECK(control.autorun == 0 || control.autorun == 1);
    for (std::size_t i = 1; i < pieces.size(); ++i) {
      CheckOption(control, pieces[i], i % 2 == 1);
    }
  }
  kb::LogFilePath().clear();
  kbfuzz::EmptyFolder(kbfuzz::WorkFolder());
  return 0;
}
