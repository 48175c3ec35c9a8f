// Shared pieces of the fuzz targets: a failed property check that libFuzzer
// records as a finding, splitting an input at NUL bytes, and the scratch
// folder that every write of the launcher's code is kept inside.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "env/env_calls.h"
#include "log/log.h"

// A broken property aborts, so libFuzzer keeps the input as a crash.
#define KB_FUZZ_CHECK(condition)                                                       \
  do {                                                                                 \
    if (!(condition)) {                                                                \
      std::fprintf(stderr, "property broken: %s (%s:%d)\n", #condition, __FILE__,      \
                   __LINE__);                                                          \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)

namespace kbfuzz {

inline std::string AsString(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// The pieces between NUL bytes; at most `limit` pieces, the last one keeping
// the rest of the input, NULs included.
inline std::vector<std::string> SplitAtNul(const std::string& input, std::size_t limit) {
  std::vector<std::string> pieces;
  std::string::size_type pos = 0;
  for (;;) {
    const std::string::size_type nul = input.find('\0', pos);
    if (nul == std::string::npos || pieces.size() + 1 >= limit) {
      pieces.push_back(input.substr(pos));
      return pieces;
    }
    pieces.push_back(input.substr(pos, nul - pos));
    pos = nul + 1;
  }
}

inline std::string& ScratchRoot() {
  static std::string root;
  return root;
}

// The process's working folder during a run: relative paths that the code
// under test resolves land here, and it is emptied after every input.
inline std::string WorkFolder() { return ScratchRoot() + "/cwd"; }

inline void RemoveScratch() {
  std::error_code ignored;
  if (!ScratchRoot().empty()) std::filesystem::remove_all(ScratchRoot(), ignored);
}

// Removes whatever the last input left in a folder (log files named by a
// fuzzed "-applogloc", for one), keeping the folder itself.
inline void EmptyFolder(const std::string& folder) {
  std::error_code error;
  std::filesystem::directory_iterator it(folder, error);
  if (error) return;
  for (const auto& entry : it) {
    std::error_code ignored;
    std::filesystem::remove_all(entry.path(), ignored);
  }
}

// The fuzzer's own arguments with every relative path made absolute, for
// SetUpScratch moves the working folder before libFuzzer reads them: input
// files and corpus folders, and the flags that name files. Crash inputs go
// to the folder the fuzzer was started in unless -artifact_prefix says
// otherwise (not to the scratch folder, which is emptied).
inline void AbsolutePathArguments(int* argc, char*** argv) {
  const std::string start = std::filesystem::current_path().string() + "/";
  static std::vector<std::string> texts;
  static std::vector<char*> pointers;
  texts.clear();
  bool has_artifact_prefix = false;
  for (int i = 0; i < *argc; ++i) {
    std::string arg = (*argv)[i];
    if (i > 0 && !arg.empty() && arg[0] != '-' && arg[0] != '/') {
      arg = start + arg;
    }
    for (const char* flag : {"-artifact_prefix=", "-exact_artifact_path=", "-dict=",
                             "-merge_control_file=", "-features_dir="}) {
      const std::string prefix = flag;
      if (arg.compare(0, prefix.size(), prefix) != 0) continue;
      if (prefix == "-artifact_prefix=") has_artifact_prefix = true;
      if (arg.size() > prefix.size() && arg[prefix.size()] != '/') {
        arg.insert(prefix.size(), start);
      }
    }
    texts.push_back(arg);
  }
  if (!has_artifact_prefix) texts.push_back("-artifact_prefix=" + start);
  pointers.clear();
  for (std::string& text : texts) pointers.push_back(&text[0]);
  pointers.push_back(nullptr);
  *argc = static_cast<int>(texts.size());
  *argv = pointers.data();
}

// Creates a fresh scratch folder (below $KB_FUZZ_SCRATCH when set, else the
// system's temporary folder) and points everything the launcher's code
// derives a writable place from into it: TMP, TEMP, TMPDIR, HOME,
// XDG_DATA_HOME, XDG_RUNTIME_DIR and the working folder. The log stays off.
// Exits when the folder cannot be made: fuzzing elsewhere is not allowed.
inline void SetUpScratch(int* argc, char*** argv) {
  AbsolutePathArguments(argc, argv);
  const char* base = std::getenv("KB_FUZZ_SCRATCH");
  std::string parent = base != nullptr && base[0] == '/' ? base : "/tmp";
  std::error_code error;
  std::filesystem::create_directories(parent, error);
  std::string pattern = parent + "/kb_fuzz_XXXXXX";
  if (::mkdtemp(&pattern[0]) == nullptr) {
    std::perror("mkdtemp");
    std::exit(2);
  }
  ScratchRoot() = pattern;
  std::atexit(RemoveScratch);
  for (const char* sub : {"tmp", "home", "data", "run", "cwd"}) {
    std::filesystem::create_directories(ScratchRoot() + "/" + sub, error);
    if (error) {
      std::fprintf(stderr, "cannot create the scratch folder %s\n", ScratchRoot().c_str());
      std::exit(2);
    }
  }
  const std::string tmp = ScratchRoot() + "/tmp";
  for (const char* name : {"TMP", "TEMP", "TMPDIR"}) ::setenv(name, tmp.c_str(), 1);
  ::setenv("HOME", (ScratchRoot() + "/home").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (ScratchRoot() + "/data").c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", (ScratchRoot() + "/run").c_str(), 1);
  if (::chdir(WorkFolder().c_str()) != 0) {
    std::perror("chdir");
    std::exit(2);
  }
  kb::LogFilePath().clear();
  kb::SetApplicationNameForTesting("kb_fuzz");
}

}  // namespace kbfuzz
