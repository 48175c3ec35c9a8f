// arg_probe: a child that reports exactly what it received. Every argument,
// the program's own included, is written as one line "ARGX=<hex bytes>", so
// that line ends, quotes and empty arguments survive the trip; then its
// current folder as "CWDX=<hex bytes>". It is an 8-bit program (main): on
// Windows it receives its arguments and folder in the ANSI code page, as a
// Java runtime does. Exits with 0.
#include <cstdio>
#include <cstring>
#ifdef _WIN32
#include <direct.h>
#define getcwd _getcwd
#else
#include <unistd.h>
#endif

namespace {

void PutHex(const char* label, const char* text) {
  static const char kHex[] = "0123456789abcdef";
  std::fputs(label, stdout);
  for (const char* p = text; *p != '\0'; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    std::fputc(kHex[c >> 4], stdout);
    std::fputc(kHex[c & 15], stdout);
  }
  std::fputc('\n', stdout);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 0; i < argc; ++i) PutHex("ARGX=", argv[i]);
  char folder[4096] = {};
  PutHex("CWDX=", getcwd(folder, sizeof folder) != nullptr ? folder : "");
  std::fflush(stdout);
  return 0;
}
