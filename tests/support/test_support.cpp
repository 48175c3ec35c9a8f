#include "support/test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

#include "common/command_line.h"
#include "common/text.h"
#include "platform/child.h"
#include "platform/environment.h"
#include "platform/fs.h"
#include "platform/io.h"
#include "platform/pipe.h"
#include "platform/running_program.h"

namespace fs = std::filesystem;

namespace kbtest {

bool IsWindows() { return platform::PathSeparator() == '\\'; }

std::string ExeDir() {
  std::string exe;
  EXPECT_EQ(platform::ExecutablePath(&exe), 0);
  return exe.substr(0, exe.find_last_of("\\/"));
}

std::string BuiltProgram(const std::string& name) {
  std::string path = Join(ExeDir(), name);
  if (IsWindows()) path += ".exe";
  return path;
}

std::string Child() { return BuiltProgram("test_child"); }

std::string ChildLine(const std::string& arguments) {
  return kb::QuoteArgument(Child()) + " " + arguments;
}

std::string Sep() { return std::string(1, platform::PathSeparator()); }

std::string Join(const std::string& a, const std::string& b) {
  if (a.empty()) return b;
  if (a.back() == '/' || a.back() == '\\') return a + b;
  return a + Sep() + b;
}

ScratchDir::ScratchDir() {
  static std::atomic<int> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path base = fs::temp_directory_path();
  fs::path dir = base / ("kbtest_" + std::to_string(stamp % 1000000007) + "_" +
                         std::to_string(counter++));
  fs::create_directories(dir);
  // Resolve links (/tmp may be one) so that paths compare equal to what the
  // launcher reports.
  path_ = fs::canonical(dir).u8string();
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  // Make everything writable again so that permission tests clean up.
  for (auto it = fs::recursive_directory_iterator(fs::u8path(path_), ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(fs::u8path(path_), ec);
}

void SetEnv(const std::string& name, const std::string& value) {
  EXPECT_EQ(platform::SetEnvVar(name, value), 0) << name;
}
void UnsetEnv(const std::string& name) { EXPECT_EQ(platform::UnsetEnvVar(name), 0) << name; }

// An empty value cannot be kept on Windows (setting it removes the
// variable), so empty and unset are one state here.
ScopedEnv::ScopedEnv(const std::string& name, const std::string& value)
    : name_(name), old_(platform::GetEnvVar(name.c_str())) {
  had_ = !old_.empty();
  SetEnv(name, value);
}

ScopedEnv::ScopedEnv(const std::string& name)
    : name_(name), old_(platform::GetEnvVar(name.c_str())) {
  had_ = !old_.empty();
  UnsetEnv(name);
}

ScopedEnv::~ScopedEnv() {
  if (had_) {
    SetEnv(name_, old_);
  } else {
    UnsetEnv(name_);
  }
}

ScopedCwd::ScopedCwd(const std::string& path) {
  EXPECT_EQ(platform::GetCurrentDir(&old_), 0);
  EXPECT_EQ(platform::SetCurrentDir(path), 0) << path;
}
ScopedCwd::~ScopedCwd() { EXPECT_EQ(platform::SetCurrentDir(old_), 0) << old_; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  if (!in) return std::string();
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(fs::u8path(path), ec));
}

void MakeDirs(const std::string& path) {
  std::error_code ec;
  fs::create_directories(fs::u8path(path), ec);
}

void CopyFile(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::copy_file(fs::u8path(from), fs::u8path(to), fs::copy_options::overwrite_existing, ec);
}

void MakeNonRegularFile(const std::string& path) {
  std::error_code ec;
  fs::remove_all(path, ec);
#ifdef _WIN32
  fs::create_directory(path, ec);
#else
  ::mkfifo(path.c_str(), 0600);
#endif
}

void ReleaseFifoReaders(const std::string& path) {
#ifndef _WIN32
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) ::close(fd);
#else
  (void)path;
#endif
}

// Whether this program (and so the launcher, built alike) runs under
// AddressSanitizer.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

RunResult RunInBoundedMemory(const std::string& command_line, int mebibytes) {
  if (IsWindows() || kAddressSanitizer) return Run(command_line);
  // The shell reads the line by its own rules: the launcher's path is
  // given to it single-quoted.
  const std::vector<std::string> argv = kb::SplitCommandLine(command_line);
  std::string script = "ulimit -v " + std::to_string(mebibytes * 1024) + " && exec";
  for (const std::string& arg : argv) script += " '" + kb::ReplaceAll(arg, "'", "'\\''") + "'";
  return Run("/bin/sh -c " + kb::QuoteArgument(script));
}

bool IsSuperuser() {
#ifdef _WIN32
  return false;
#else
  return ::geteuid() == 0;
#endif
}

void GiveAway(const std::string& path) {
#ifndef _WIN32
  EXPECT_EQ(::chown(path.c_str(), static_cast<uid_t>(kOtherUserId), static_cast<gid_t>(-1)), 0)
      << path;
#else
  (void)path;
#endif
}

std::vector<std::string> ListDir(const std::string& path) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::u8path(path), ec)) {
    names.push_back(entry.path().filename().u8string());
  }
  return names;
}

RunResult Run(const std::string& command_line, const platform::Handle* input) {
  RunResult result;
  platform::Pipe pipe;
  if (platform::CreateChildPipe(&pipe) != 0) return result;
  if (platform::MakeNotInheritable(pipe.read) != 0) return result;
  platform::StartOptions options;
  options.inherit_handles = true;
  options.std_output = &pipe.write;
  options.std_input = input;
  platform::Child child;
  if (platform::StartChild(command_line, options, &child) != 0) return result;
  result.started = true;
  EXPECT_EQ(pipe.write.Close(), 0);
  char buffer[65536];
  for (;;) {
    std::size_t n = 0;
    if (platform::ReadSome(pipe.read, buffer, sizeof buffer, &n) != 0 || n == 0) break;
    result.output.append(buffer, n);
  }
  // Not examined: a Unix program that Wine starts (Z:\bin\...) leaves no
  // process to wait for, and the exit code then stays -1 for the caller.
  (void)child.Wait();
  std::int32_t code = -1;
  (void)child.ExitCode(&code);
  result.exit_code = code;
  return result;
}

std::string LogForm(const std::string& bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) out += '\r';
    out += bytes[i];
  }
  return out;
}

int RunWithUnwritableOutput(const std::string& command_line) {
#ifdef _WIN32
  platform::Pipe pipe;
  if (platform::CreateChildPipe(&pipe) != 0) return -1;
  EXPECT_EQ(pipe.read.Close(), 0);
  platform::Handle output = std::move(pipe.write);
#else
  // A pipe without reader would end the program by SIGPIPE instead.
  platform::Handle output(::open("/dev/full", O_WRONLY | O_CLOEXEC));
#endif
  platform::StartOptions options;
  options.inherit_handles = true;
  options.std_output = &output;
  platform::Child child;
  if (platform::StartChild(command_line, options, &child) != 0) return -1;
  EXPECT_EQ(output.Close(), 0);
  EXPECT_EQ(child.Wait(), 0);
  std::int32_t code = -1;
  EXPECT_EQ(child.ExitCode(&code), 0);
  return code;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace kbtest
