// Helpers shared by the unit and end-to-end tests of both builds.
#pragma once

#include <string>
#include <vector>

#include "platform/handle.h"

namespace kbtest {

// True on the Windows build (native separator "\\").
bool IsWindows();

// Folder of the running test executable (where the launcher and the test
// child are built).
std::string ExeDir();
// Path of a program built beside the tests ("test_child", "launcher_console"),
// with ".exe" on Windows.
std::string BuiltProgram(const std::string& name);
// The small child program of the tests (tests/tools/test_child.cpp): its
// path, and a command line that runs it with these arguments.
std::string Child();
std::string ChildLine(const std::string& arguments);
// Native separator as a string.
std::string Sep();
// Joins with the native separator.
std::string Join(const std::string& a, const std::string& b);

// A fresh folder below the system's temporary folder, removed (with its
// contents) when the object ends. path() has no trailing separator.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return Join(path_, name); }

 private:
  std::string path_;
};

// Sets (or with unset, removes) an environment variable until the object ends.
class ScopedEnv {
 public:
  ScopedEnv(const std::string& name, const std::string& value);
  explicit ScopedEnv(const std::string& name);  // unset
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};
void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

// Changes the working directory until the object ends.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string& path);
  ~ScopedCwd();

 private:
  std::string old_;
};

std::string ReadFile(const std::string& path);  // binary; "" when missing
void WriteFile(const std::string& path, const std::string& bytes);  // binary
bool FileExists(const std::string& path);
void MakeDirs(const std::string& path);
void CopyFile(const std::string& from, const std::string& to);  // keeps mode
std::vector<std::string> ListDir(const std::string& path);  // names only
// Puts an entry that is no regular file at the path: a FIFO that nobody
// writes (a plain read of it waits for ever) where the system has them,
// else (Windows) a folder. Any entry of that name is removed first.
void MakeNonRegularFile(const std::string& path);

// Frees whoever waits on the FIFO at `path`: opens it for writing without
// waiting, which ends a wait in open, and closes it again, which gives a
// waiting read its end of file. Nothing when no one has it open for
// reading, and nothing on Windows, which has no FIFOs in folders.
void ReleaseFifoReaders(const std::string& path);

// A user that is not the one running the tests, who owns nothing.
constexpr int kOtherUserId = 65534;
// True on POSIX when the tests run as the superuser, who alone may give a
// file away; always false on Windows, whose files carry no owner that the
// launcher judges.
bool IsSuperuser();
// Gives the entry to kOtherUserId (POSIX, superuser only); Windows: nothing.
void GiveAway(const std::string& path);

struct RunResult {
  int exit_code = -1;       // as the system reports it (POSIX: 0-255, 128+N)
  std::string output;       // standard output and standard error, merged
  bool started = false;
};
// Runs a command line (the program's own rules: MS C runtime splitting on
// both builds) in the current folder and environment, capturing its output.
// With input given, the program reads it as its standard input (else none).
RunResult Run(const std::string& command_line, const platform::Handle* input = nullptr);

// Runs a command line as Run does, with the address space of the program
// bounded to `mebibytes` (POSIX, through the shell's ulimit). Without such
// a bound (Windows, and builds under AddressSanitizer, which reserves far
// more up front) it is an ordinary run.
RunResult RunInBoundedMemory(const std::string& command_line, int mebibytes);

// What the log must hold for relayed bytes, worked out byte by byte: every
// line feed not preceded by a carriage return gets one.
std::string LogForm(const std::string& bytes);

// Runs a command line whose standard output and error take nothing (POSIX
// /dev/full; Windows a pipe whose reading end is closed). Its exit code.
int RunWithUnwritableOutput(const std::string& command_line);

// Splits text at "\n" (a preceding "\r" removed).
std::vector<std::string> Lines(const std::string& text);

}  // namespace kbtest
