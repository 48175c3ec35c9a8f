// Checks a relay of test_child's --tc-random=N:SEED stream without holding
// it in memory: the console copy must equal the stream byte for byte, and
// the log must hold it after its "Standard output" entry with every bare
// line feed stored as CR LF (a CR LF of the stream kept as it is).
// Usage: verify_relay N SEED CONSOLE_FILE LOG_FILE. Exit 0 when both match.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

class Stream {
 public:
  explicit Stream(std::uint32_t seed) : state_(seed) {}
  unsigned char Next() {
    state_ = state_ * 1103515245u + 12345u;
    return static_cast<unsigned char>(state_ >> 24);
  }

 private:
  std::uint32_t state_;
};

bool SkipPast(std::FILE* f, const std::string& marker) {
  std::size_t matched = 0;
  int c;
  while ((c = std::fgetc(f)) != EOF) {
    if (static_cast<char>(c) == marker[matched]) {
      if (++matched == marker.size()) return true;
    } else {
      matched = static_cast<char>(c) == marker[0] ? 1 : 0;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: verify_relay N SEED CONSOLE LOG\n");
    return 2;
  }
  const unsigned long long n = std::strtoull(argv[1], nullptr, 10);
  const auto seed = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
  std::FILE* console = std::fopen(argv[3], "rb");
  std::FILE* log = std::fopen(argv[4], "rb");
  if (!console || !log) return 2;

  Stream expected(seed);
  for (unsigned long long i = 0; i < n; ++i) {
    const int c = std::fgetc(console);
    if (c == EOF || static_cast<unsigned char>(c) != expected.Next()) {
      std::printf("console differs at byte %llu\n", i);
      return 1;
    }
  }
  if (std::fgetc(console) != EOF) {
    std::printf("console has more than %llu bytes\n", n);
    return 1;
  }

  if (!SkipPast(log, "INFO: ExeProc::ReadFromPipe=Standard output\r\n")) {
    std::printf("log has no relay\n");
    return 1;
  }
  Stream again(seed);
  unsigned char previous = 0;
  for (unsigned long long i = 0; i < n; ++i) {
    const unsigned char b = again.Next();
    if (b == '\n' && previous != '\r' && std::fgetc(log) != '\r') {
      std::printf("log lacks the CR before the line feed at byte %llu\n", i);
      return 1;
    }
    if (std::fgetc(log) != b) {
      std::printf("log differs at stream byte %llu\n", i);
      return 1;
    }
    previous = b;
  }
  std::printf("console and log hold all %llu bytes\n", n);
  return 0;
}
