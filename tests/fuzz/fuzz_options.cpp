// The option parse on an arbitrary argument vector: the arguments left for
// the child are the input minus the options the parse removes, byte for
// byte; then FindOption and GetOptionValue with the input's own pieces as
// option texts.
//
// Input: the arguments, separated by NUL bytes.
//
// Every "/" of the input becomes "\": with no absolute path among the
// arguments, a fuzzed "-templocation" or "-applogloc" can only name places
// inside the scratch working folder, which is emptied after every input.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "common/constants.h"
#include "common/text.h"
#include "config/data_control.h"
#include "fuzz_support.h"
#include "log/log.h"

namespace {

using Args = std::vector<std::string>;

constexpr std::size_t kMaxArguments = 24;

// The first argument equal to `option` (letter case ignored), or -1.
int FirstEqual(const Args& args, const std::string& option) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (kb::EqualsNoCase(args[i], option)) return static_cast<int>(i);
  }
  return -1;
}

// The arguments the parse leaves: each removed option's first occurrence
// goes, with the argument after it for the options that take a value, in
// the parse's order.
Args ExpectedPassThrough(Args args) {
  const struct {
    std::string option;
    bool removed;
    bool takes_value;
  } steps[] = {
      {kb::kOptWait, true, false},        {kb::kOptConsole, true, false},
      {kb::kOptNoConsole, true, false},   {kb::kOptQuiet, false, false},
      {kb::kOptNoMessage, true, false},   {std::string("-") + kb::kKeyAppLogLoc, false, true},
      {kb::kOptJreHome, true, true},      {kb::kOptTempLocation, true, true},
      {kb::kOptNoCleanup, true, false},   {kb::kOptCleanDir, true, true},
      {kb::kOptDataLocation, false, true}, {kb::kOptAutorun, true, false},
  };
  for (const auto& step : steps) {
    if (!step.removed) continue;
    const int at = FirstEqual(args, step.option);
    if (at < 0) continue;
    const auto first = args.begin() + at;
    const bool has_value = step.takes_value && static_cast<std::size_t>(at) + 1 < args.size();
    args.erase(first, first + (has_value ? 2 : 1));
  }
  return args;
}

void CheckOption(const Args& before_args, const std::string& option) {
  kb::DataControl control(kb::JoinArguments(before_args));
  kb::LogFilePath().clear();
  const Args before = control.GetArguments();
  const int expected = FirstEqual(before, option);
  KB_FUZZ_CHECK(control.FindOption(option, 0) == (option.empty() ? -1 : expected));
  if (option.empty()) return;

  int found = -1;
  const std::string value = control.GetOptionValue(option, &found, 0);
  KB_FUZZ_CHECK(found == (expected >= 0 ? 1 : 0));
  KB_FUZZ_CHECK(control.GetArguments() == before);
  if (expected < 0) {
    KB_FUZZ_CHECK(value.empty());
    return;
  }
  const std::size_t value_at = static_cast<std::size_t>(expected) + 1;
  KB_FUZZ_CHECK(value == (value_at < before.size() ? before[value_at] : std::string()));

  found = -1;
  KB_FUZZ_CHECK(control.GetOptionValue(option, &found, 1) == value);
  Args after = before;
  after.erase(after.begin() + expected,
              after.begin() + static_cast<std::ptrdiff_t>(std::min(value_at + 1, before.size())));
  KB_FUZZ_CHECK(control.GetArguments() == after);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kbfuzz::SetUpScratch(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string input = kbfuzz::AsString(data, size);
  std::replace(input.begin(), input.end(), '/', '\\');
  Args args;
  if (!input.empty()) args = kbfuzz::SplitAtNul(input, kMaxArguments);
  // The last piece keeps any NULs beyond the limit; an argv string cannot.
  if (!args.empty()) args.back() = args.back().substr(0, args.back().find('\0'));

  {
    kb::DataControl control(kb::JoinArguments(args));
    // The constructor points the log at the fuzzed or the default place;
    // nothing after it may write there.
    kb::LogFilePath().clear();
    KB_FUZZ_CHECK(control.GetArguments() == ExpectedPassThrough(args));
    KB_FUZZ_CHECK(kb::SplitArguments(control.GetArgLine()) == control.GetArguments());
    // Only options without a value come before "-noconsole", so nothing
    // can take it away first.
    KB_FUZZ_CHECK(control.IsConsole() == (FirstEqual(args, kb::kOptNoConsole) < 0 ? 1 : 0));
    KB_FUZZ_CHECK(control.IsCleanup() == 0 || control.IsCleanup() == 1);
    KB_FUZZ_CHECK(control.autorun == 0 || control.autorun == 1);
  }
  // The input's own pieces as option texts: they hit the arguments often.
  const Args after_parse = ExpectedPassThrough(args);
  for (std::size_t i = 0; i < args.size() && i < 4; ++i) CheckOption(after_parse, args[i]);
  kb::LogFilePath().clear();
  kbfuzz::EmptyFolder(kbfuzz::WorkFolder());
  return 0;
}
