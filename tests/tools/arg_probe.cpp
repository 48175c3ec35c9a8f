// arg_probe: a child that reports exactly what it received. Every argument,
// the program's own included, is written as one line "ARGX=<hex bytes>", so
// that line ends, quotes and empty arguments survive the trip. An argument
// "@<file>" that names a readable file (a Java argument file, removed once
// the child has ended) is followed by "ARGFILE=<hex bytes>" of its content.
// Last comes its current folder as "CWDX=<hex bytes>". It is an 8-bit
// program (main): on Windows it receives its arguments and folder in the
// ANSI code page, as a Java runtime does.
//
// On Windows it also splits the ANSI command line (GetCommandLineA) itself,
// as a Java runtime does, since the C runtime under Wine builds main's
// arguments from the wide line instead: each argument as "ARGA=<hex
// bytes>", and for each one holding a '*' or '?' outside quotes (which a
// Java runtime expands against its folder) "WILD=<index>". Exits with 0.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#ifdef _WIN32
#include <direct.h>
#include <windows.h>
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

#ifdef _WIN32
// The Microsoft C runtime's rules over the bytes of the ANSI line, written
// here apart from the launcher's own splitter so that the two check each
// other: the program token ends at a blank or tab outside quotes and knows
// no escapes; in an argument, 2n backslashes before '"' give n and toggle
// quoting, 2n+1 give n and a literal '"', other backslashes are literal; a
// lead byte of a double-byte page takes the next byte with it.
void PrintAnsiSplit() {
  const std::string line = GetCommandLineA();
  std::vector<std::string> args(1);
  std::vector<bool> wild(1, false);
  std::size_t i = 0;
  bool quoted = false;
  for (; i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t')); ++i) {
    if (line[i] == '"') {
      quoted = !quoted;
    } else {
      args[0] += line[i];
    }
  }
  for (;;) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    std::string arg;
    bool bare = false;
    quoted = false;
    while (i < line.size()) {
      const char c = line[i];
      if (IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < line.size()) {
        arg.append(line, i, 2);
        i += 2;
        continue;
      }
      if (!quoted && (c == ' ' || c == '\t')) break;
      if (c == '\\') {
        std::size_t n = 0;
        while (i < line.size() && line[i] == '\\') ++n, ++i;
        if (i < line.size() && line[i] == '"') {
          arg.append(n / 2, '\\');
          if (n % 2 == 1) arg += '"', ++i;
        } else {
          arg.append(n, '\\');
        }
        continue;
      }
      if (c == '"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          arg += '"';
          i += 2;
          continue;
        }
        quoted = !quoted;
      } else {
        if (!quoted && (c == '*' || c == '?')) bare = true;
        arg += c;
      }
      ++i;
    }
    args.push_back(arg);
    wild.push_back(bare);
  }
  for (std::size_t k = 0; k < args.size(); ++k) {
    PutLine("ARGA=", args[k].c_str());
    if (wild[k]) std::printf("WILD=%u\n", static_cast<unsigned>(k));
  }
}
#endif

}  // namespace

int main(int argc, char** argv) {
  for (int i = 0; i < argc; ++i) {
    PutLine("ARGX=", argv[i]);
    if (i > 0 && argv[i][0] == '@') PrintFile(argv[i] + 1);
  }
  char folder[4096] = {};
  PutLine("CWDX=", getcwd(folder, sizeof folder) != nullptr ? folder : "");
#ifdef _WIN32
  PrintAnsiSplit();
#endif
  std::fflush(stdout);
  return 0;
}
