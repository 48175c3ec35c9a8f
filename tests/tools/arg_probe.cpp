// arg_probe: a child that reports exactly what it received. Every argument,
// the program's own included, is written as one line "ARGX=<hex bytes>", so
// that line ends, quotes and empty arguments survive the trip. Exits with 0.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  static const char kHex[] = "0123456789abcdef";
  for (int i = 0; i < argc; ++i) {
    std::fputs("ARGX=", stdout);
    for (const char* p = argv[i]; *p != '\0'; ++p) {
      const unsigned char c = static_cast<unsigned char>(*p);
      std::fputc(kHex[c >> 4], stdout);
      std::fputc(kHex[c & 15], stdout);
    }
    std::fputc('\n', stdout);
  }
  std::fflush(stdout);
  return 0;
}
