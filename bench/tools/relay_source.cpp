// relay_source: the child of the relay benchmark ("gen").
//   relay_source bytes N        N bytes of a repeating pattern with no line feed
//   relay_source lines N LEN    N bytes of LEN-byte lines ("\n" included)
// Both write 64 KiB per system write, as a program with buffered output does.
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/handle.h"
#include "platform/io.h"
#include "platform/pipe.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  platform::Handle out;
  int error = 0;
  if (platform::GetStdOutput(&out, &error) != platform::StdOutState::kValid) return 3;
  const unsigned long long count = std::strtoull(argv[2], nullptr, 10);
  std::size_t line = 0;
  if (std::strcmp(argv[1], "lines") == 0 && argc > 3) {
    line = std::strtoul(argv[3], nullptr, 10);
    if (line == 0) return 2;
  } else if (std::strcmp(argv[1], "bytes") != 0) {
    return 2;
  }
  // The pattern repeats every `period` bytes; each write takes 64 KiB of
  // it, starting where the previous write stopped in the pattern.
  const std::size_t period = line > 0 ? line : 26;
  const std::size_t chunk = 64 * 1024;
  std::string block((chunk / period + 2) * period, 'x');
  for (std::size_t i = 0; i < block.size(); ++i) {
    block[i] = line > 0 && i % line == line - 1 ? '\n' : static_cast<char>('a' + i % period % 26);
  }
  std::size_t offset = 0;
  for (unsigned long long left = count; left > 0;) {
    const std::size_t n = chunk < left ? chunk : static_cast<std::size_t>(left);
    if (platform::WriteAll(out, block.data() + offset, n) != 0) return 4;
    offset = (offset + n) % period;
    left -= n;
  }
  return 0;
}
