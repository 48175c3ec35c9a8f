// The launcher's arguments travel to the child as one line: BuildArgLine
// joins them, the child's C runtime (SplitCommandLine here) splits them.
// Whatever the arguments, the child must get back exactly them; the same
// holds for QuoteArgument on any one argument.
//
// Input: the arguments, separated by NUL bytes (no argument can hold one).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "env/env_calls.h"
#include "fuzz_support.h"

namespace {

constexpr std::size_t kMaxArguments = 64;

void CheckRoundTrip(const std::string& program, const std::string& quoted_program,
                    const std::vector<std::string>& arguments) {
  std::vector<const char*> argv;
  argv.push_back(program.c_str());
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  const std::string line = kb::BuildArgLine(static_cast<int>(argv.size()), argv.data());

  std::vector<std::string> expected;
  expected.push_back(program);
  expected.insert(expected.end(), arguments.begin(), arguments.end());
  KB_FUZZ_CHECK(kb::SplitCommandLine(quoted_program + " " + line) == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = kbfuzz::AsString(data, size);
  std::vector<std::string> arguments;
  if (!input.empty()) arguments = kbfuzz::SplitAtNul(input, kMaxArguments);
  // The last piece keeps any NULs beyond the limit; an argv string cannot.
  if (!arguments.empty()) {
    std::string& last = arguments.back();
    last = last.substr(0, last.find('\0'));
  }

  CheckRoundTrip("prog", "prog", arguments);
  CheckRoundTrip("C:\\Program Files\\app dir\\app.exe",
                 "\"C:\\Program Files\\app dir\\app.exe\"", arguments);

  // QuoteArgument alone, on any bytes, NULs included.
  const std::vector<std::string> one = kb::SplitCommandLine("p " + kb::QuoteArgument(input));
  KB_FUZZ_CHECK(one.size() == 2);
  KB_FUZZ_CHECK(one[1] == input);
  std::string quoted_line = "p";
  std::vector<std::string> expected = {"p"};
  for (const std::string& argument : arguments) {
    quoted_line += "\t" + kb::QuoteArgument(argument);
    expected.push_back(argument);
  }
  KB_FUZZ_CHECK(kb::SplitCommandLine(quoted_line) == expected);
  return 0;
}
