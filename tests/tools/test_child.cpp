// test_child: the child program that process and end-to-end tests start.
//
// It prints every argument after its program name, one per line, as
// "ARG=<value>\n" in argv order, unless "--tc-quiet" is among them. Then it
// performs the actions of the arguments that start with "--tc-", in order;
// every other argument is ignored, so it can stand in for a Java runtime
// (test_child -Xmx512m -cp lib/app.jar app.Main). Standard output is binary
// (no CR LF translation) and flushed after every action.
//
//   --tc-quiet            no ARG= lines
//   --tc-cwd              "CWD=<current folder>\n"
//   --tc-env=NAME         "ENV:NAME=<value>\n", or "ENV:NAME unset\n"
//   --tc-out=TEXT         TEXT and "\n" to standard output
//   --tc-raw=TEXT         TEXT alone to standard output
//   --tc-err=TEXT         TEXT and "\n" to standard error
//   --tc-bytes=N          N bytes of the repeating pattern
//                         "0123456789abcdefghijklmnopqrstuvwxyz"
//   --tc-random=N:SEED    N pseudo-random bytes: state starts as SEED (32-bit
//                         unsigned); for each byte state = state * 1103515245
//                         + 12345 (mod 2^32) and the byte is state >> 24
//   --tc-nul              "a\0b\n"
//   --tc-lines=N:LEN      N lines of LEN-1 pattern characters and "\n", each
//                         flushed on its own
//   --tc-sleep=MS         sleeps MS milliseconds
//   --tc-wait-for=PATH    waits until PATH exists (at most 60 s), so that
//                         a test can hold it up until others have started
//   --tc-grandchild=MS    starts a copy of itself with --tc-quiet
//                         --tc-sleep=MS that inherits standard output and
//                         standard error, and does not wait for it
//   --tc-stdin            reads standard input to its end and prints
//                         "STDIN=<bytes>\n", or "STDIN failed\n" when the
//                         read fails (no input at all)
//   --tc-close-stdout     closes its standard output, then goes on
//   --tc-terminal         "TTY=<i><o><e>" with 1 for each of standard input,
//                         output and error that is a terminal (Windows: a
//                         console handle, GetConsoleMode succeeds), else
//                         0, then " SIZE=<columns>x<rows>\n" (POSIX)
//   --tc-terminal-exit    exits at once with 100 plus 1, 2 and 4 for each of
//                         standard input, output and error that is a
//                         terminal (as --tc-terminal judges), for tests
//                         that cannot read the child's console
//   --tc-resize=MS        "RESIZE-WAIT\n", then waits up to MS milliseconds
//                         for the terminal's window size to change:
//                         "RESIZED=<columns>x<rows>\n" or "RESIZED=none\n"
//                         (POSIX)
//   --tc-exit=N           exits with N at once (decimal, or 0x hex; a value
//                         of 2^31 or more gives the same 32-bit status)
// Without --tc-exit it exits with 0.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "common/command_line.h"
#include "platform/child.h"
#include "platform/fs.h"
#include "platform/running_program.h"

namespace {

constexpr char kPattern[] = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr std::size_t kPatternLength = sizeof kPattern - 1;
constexpr std::size_t kBlock = 64 * 1024;

bool g_stdout_open = true;

void Out(const char* data, std::size_t size) {
  if (g_stdout_open && size > 0) std::fwrite(data, 1, size, stdout);
}
void Out(const std::string& text) { Out(text.data(), text.size()); }

void Flush() {
  if (g_stdout_open) std::fflush(stdout);
  std::fflush(stderr);
}

bool StartsWith(const std::string& text, const char* prefix, std::string* rest) {
  const std::size_t n = std::strlen(prefix);
  if (text.compare(0, n, prefix) != 0) return false;
  *rest = text.substr(n);
  return true;
}

unsigned long long Number(const std::string& text) {
  return std::strtoull(text.c_str(), nullptr, 0);
}

// "A:B" into two numbers.
void Pair(const std::string& text, unsigned long long* a, unsigned long long* b) {
  const std::size_t colon = text.find(':');
  *a = Number(text.substr(0, colon));
  *b = colon == std::string::npos ? 0 : Number(text.substr(colon + 1));
}

void WritePattern(unsigned long long count) {
  std::string block;
  while (block.size() < kBlock + kPatternLength) block += kPattern;
  std::size_t offset = 0;
  while (count > 0) {
    const std::size_t n = count < kBlock ? static_cast<std::size_t>(count) : kBlock;
    Out(block.data() + offset, n);
    offset = (offset + n) % kPatternLength;
    count -= n;
  }
}

void WriteRandom(unsigned long long count, std::uint32_t state) {
  char block[kBlock];
  while (count > 0) {
    const std::size_t n = count < kBlock ? static_cast<std::size_t>(count) : kBlock;
    for (std::size_t i = 0; i < n; ++i) {
      state = state * 1103515245u + 12345u;
      block[i] = static_cast<char>(state >> 24);
    }
    Out(block, n);
    count -= n;
  }
}

void WriteLines(unsigned long long count, unsigned long long length) {
  std::string line;
  for (unsigned long long i = 0; i + 1 < length; ++i) line += kPattern[i % kPatternLength];
  line += '\n';
  for (unsigned long long i = 0; i < count; ++i) {
    Out(line);
    Flush();
  }
}

void StartGrandchild(const std::string& milliseconds) {
  std::string self;
  if (platform::ExecutablePath(&self) != 0) return;
  const std::string line = kb::QuoteArgument(self) +
                           " --tc-quiet --tc-sleep=" + milliseconds;
  platform::StartOptions options;
  options.inherit_handles = true;
  platform::Child grandchild;
  if (platform::StartChild(line, options, &grandchild) != 0) {
    std::fputs("test_child: grandchild not started\n", stderr);
  }
  grandchild.Close();
}

}  // namespace

// The terminal's window size as "<columns>x<rows>" ("" where there is none).
std::string WindowSize() {
#ifdef _WIN32
  return std::string();
#else
  struct winsize size;
  if (::ioctl(1, TIOCGWINSZ, &size) != 0) return std::string();
  return std::to_string(size.ws_col) + "x" + std::to_string(size.ws_row);
#endif
}

std::string TerminalFlags() {
  std::string flags;
#ifdef _WIN32
  for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    DWORD mode = 0;
    flags += ::GetConsoleMode(::GetStdHandle(which), &mode) ? '1' : '0';
  }
#else
  for (int fd = 0; fd <= 2; ++fd) flags += ::isatty(fd) ? '1' : '0';
#endif
  return flags;
}

int main(int argc, char** argv) {
#ifdef _WIN32
  // The C runtime would turn every "\n" into "\r\n".
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  bool quiet = false;
  for (int i = 1; i < argc; ++i) quiet = quiet || std::strcmp(argv[i], "--tc-quiet") == 0;
  if (!quiet) {
    for (int i = 1; i < argc; ++i) Out(std::string("ARG=") + argv[i] + "\n");
    Flush();
  }
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    std::string value;
    unsigned long long a = 0;
    unsigned long long b = 0;
    if (argument == "--tc-cwd") {
      std::string dir;
      // A folder that cannot be read prints as empty; the test reading it
      // then fails on the value.
      (void)platform::GetCurrentDir(&dir);
      Out("CWD=" + dir + "\n");
    } else if (StartsWith(argument, "--tc-env=", &value)) {
      const char* found = std::getenv(value.c_str());
      Out("ENV:" + value + (found != nullptr ? "=" + std::string(found) : " unset") + "\n");
    } else if (StartsWith(argument, "--tc-out=", &value)) {
      Out(value + "\n");
    } else if (StartsWith(argument, "--tc-raw=", &value)) {
      Out(value);
    } else if (StartsWith(argument, "--tc-err=", &value)) {
      std::fputs((value + "\n").c_str(), stderr);
    } else if (StartsWith(argument, "--tc-bytes=", &value)) {
      WritePattern(Number(value));
    } else if (StartsWith(argument, "--tc-random=", &value)) {
      Pair(value, &a, &b);
      WriteRandom(a, static_cast<std::uint32_t>(b));
    } else if (argument == "--tc-nul") {
      Out("a\0b\n", 4);
    } else if (StartsWith(argument, "--tc-lines=", &value)) {
      Pair(value, &a, &b);
      WriteLines(a, b);
    } else if (StartsWith(argument, "--tc-sleep=", &value)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(Number(value)));
    } else if (StartsWith(argument, "--tc-wait-for=", &value)) {
      Flush();
      for (int waited = 0; waited < 6000 && !platform::PathExists(value); ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    } else if (StartsWith(argument, "--tc-grandchild=", &value)) {
      StartGrandchild(value);
    } else if (argument == "--tc-stdin") {
      std::string input;
      char chunk[4096];
      std::size_t n = 0;
      while ((n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) input.append(chunk, n);
      Out(std::ferror(stdin) ? std::string("STDIN failed\n") : "STDIN=" + input + "\n");
    } else if (argument == "--tc-terminal") {
      Out("TTY=" + TerminalFlags() + " SIZE=" + WindowSize() + "\n");
    } else if (argument == "--tc-terminal-exit") {
      const std::string flags = TerminalFlags();
      Flush();
      std::exit(100 + (flags[0] == '1' ? 1 : 0) + (flags[1] == '1' ? 2 : 0) +
                (flags[2] == '1' ? 4 : 0));
    } else if (StartsWith(argument, "--tc-resize=", &value)) {
      const std::string before = WindowSize();
      Out("RESIZE-WAIT\n");
      Flush();
      std::string now = before;
      for (unsigned long long waited = 0; now == before && waited < Number(value); waited += 20) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        now = WindowSize();
      }
      Out("RESIZED=" + (now == before ? std::string("none") : now) + "\n");
    } else if (argument == "--tc-close-stdout") {
      Flush();
      std::fclose(stdout);
      g_stdout_open = false;
    } else if (StartsWith(argument, "--tc-exit=", &value)) {
      Flush();
      std::exit(static_cast<int>(std::strtoll(value.c_str(), nullptr, 0)));
    }
    Flush();
  }
  return 0;
}
