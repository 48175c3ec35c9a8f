// relay_source: the child of the relay benchmark.
//   relay_source bytes N        N bytes of a repeating pattern, 64 KiB per write
//   relay_source lines N LEN    N lines of LEN bytes ("\n" included), one
//                               write (and so one pipe delivery) per line
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/handle.h"
#include "platform/io.h"
#include "platform/process.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  platform::Handle out;
  int error = 0;
  if (platform::GetStdOutput(&out, &error) != platform::StdOutState::kValid) return 3;
  const unsigned long long count = std::strtoull(argv[2], nullptr, 10);
  if (std::strcmp(argv[1], "bytes") == 0) {
    std::string block(64 * 1024, 'x');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('a' + i % 26);
    for (unsigned long long left = count; left > 0;) {
      const std::size_t n = left < block.size() ? static_cast<std::size_t>(left) : block.size();
      if (!platform::WriteAll(out, block.data(), n)) return 4;
      left -= n;
    }
    return 0;
  }
  if (std::strcmp(argv[1], "lines") == 0 && argc > 3) {
    const std::size_t length = std::strtoul(argv[3], nullptr, 10);
    std::string line(length > 0 ? length - 1 : 0, 'l');
    line += '\n';
    for (unsigned long long i = 0; i < count; ++i) {
      if (!platform::WriteAll(out, line.data(), line.size())) return 4;
    }
    return 0;
  }
  return 2;
}
