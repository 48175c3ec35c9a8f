// arg_probe: a child that reports exactly what it received. Every argument,
// the program's own included, is written as one line "ARGX=<hex bytes>", so
// that line ends, quotes and empty arguments survive the trip. An argument
// "@<file>" that names a readable file (a Java argument file, removed once
// the child has ended) is followed by "ARGFILE=<hex bytes>" of its content.
// Last comes its current folder as "CWDX=<hex bytes>". It is an 8-bit
// program (main): on Windows it receives its arguments and folder in the
// ANSI code page, as a Java runtime does. Exits with 0.
#include <cstdio>
#include <cstring>
#ifdef _WIN32
#include <direct.h>
#define getcwd _getcwd
#else
#include <unistd.h>
#endif

namespace {

const char kHex[] = "0123456789abcdef";

void PutHex(int c) {
  std::fputc(kHex[(c >> 4) & 15], stdout);
  std::fputc(kHex[c & 15], stdout);
}

void PutLine(const char* label, const char* text) {
  std::fputs(label, stdout);
  for (const char* p = text; *p != '\0'; ++p) PutHex(static_cast<unsigned char>(*p));
  std::fputc('\n', stdout);
}

void PrintFile(const char* path) {
  std::FILE* in = std::fopen(path, "rb");
  if (in == nullptr) return;
  std::fputs("ARGFILE=", stdout);
  for (int c = std::fgetc(in); c != EOF; c = std::fgetc(in)) PutHex(c);
  std::fputc('\n', stdout);
  std::fclose(in);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 0; i < argc; ++i) {
    PutLine("ARGX=", argv[i]);
    if (i > 0 && argv[i][0] == '@') PrintFile(argv[i] + 1);
  }
  char folder[4096] = {};
  PutLine("CWDX=", getcwd(folder, sizeof folder) != nullptr ? folder : "");
  std::fflush(stdout);
  return 0;
}
