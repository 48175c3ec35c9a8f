// A small program for cross-process tests of the named mutexes.
//
//   mutex_holder hold <name> <release-file> [abort]
//     Creates the named mutex, prints "HELD <error>" and keeps it until the
//     release file appears (at most 60 s), then exits 0, or with "abort"
//     ends abnormally without closing anything.
//   mutex_holder probe <name> <go-file> <repeat>
//     Prints "READY", waits until the go file appears (at most 60 s), then
//     probes the name <repeat> times as fast as it can and prints "ABSENT",
//     or "EXISTS" / "FAILED <error>" on the first probe that says so.
//     Exit code 0 for ABSENT, 1 for EXISTS, 2 for FAILED.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/error_codes.h"
#include "platform/fs.h"
#include "platform/handle.h"
#include "platform/mutex.h"

namespace {

// Waits for a file to appear; false after the time limit.
bool WaitForFile(const std::string& path, int poll_ms) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!platform::PathExists(path)) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(poll_ms));
  }
  return true;
}

int Hold(const std::string& name, const std::string& release_file, bool crash) {
  platform::Handle mutex;
  bool existed = false;
  const int error = platform::CreateNamedMutex(name, true, &mutex, &existed);
  if (error != 0) {
    std::printf("FAILED %d\n", error);
    std::fflush(stdout);
    return 2;
  }
  std::printf("HELD %d\n", existed ? platform::kErrorAlreadyExists : 0);
  std::fflush(stdout);
  WaitForFile(release_file, 5);
  if (crash) std::abort();  // the system, not this program, must let go
  return 0;
}

int Probe(const std::string& name, const std::string& go_file, int repeat) {
  std::printf("READY\n");
  std::fflush(stdout);
  if (!WaitForFile(go_file, 1)) return 3;
  for (int i = 0; i < repeat; ++i) {
    bool exists = false;
    const int error = platform::ProbeNamedMutex(name, &exists);
    if (error != 0) {
      std::printf("FAILED %d\n", error);
      return 2;
    }
    if (exists) {
      std::printf("EXISTS\n");
      return 1;
    }
  }
  std::printf("ABSENT\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "hold" && (argc == 4 || argc == 5)) {
    return Hold(argv[2], argv[3], argc == 5 && std::string(argv[4]) == "abort");
  }
  if (mode == "probe" && argc == 5) {
    return Probe(argv[2], argv[3], std::atoi(argv[4]));
  }
  std::fprintf(stderr, "usage: mutex_holder hold <name> <release-file> [abort] | "
                       "probe <name> <go-file> <repeat>\n");
  return 64;
}
