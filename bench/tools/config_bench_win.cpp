// Self-timed loop of the configuration benchmarks, for the Windows build
// under Wine (Google Benchmark is not built for MinGW). Prints the time per
// call at three sizes and the ratio of each to the smallest, so linear cost
// shows as ratios near 1, 2, 4.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "bench/config_bench_scenarios.h"
#include "config/data_control.h"
#include "env/env_calls.h"
#include "platform/fs.h"

namespace {

double NanosPerCall(const std::function<void()>& call) {
  using Clock = std::chrono::steady_clock;
  int rounds = 1;
  for (;;) {
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) call();
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    if (ns > 5e8 || rounds >= (1 << 20)) return ns / rounds;
    rounds *= 2;
  }
}

void Report(const char* name, const int sizes[3], const double ns[3]) {
  for (int i = 0; i < 3; ++i) {
    std::printf("%-28s %8d %14.0f ns  x%.2f (size x%.2f)\n", name, sizes[i], ns[i],
                ns[i] / ns[0], static_cast<double>(sizes[i]) / sizes[0]);
  }
}

}  // namespace

int main() {
  const std::string temp = kb::GetTemp();
  const std::string sep(1, platform::PathSeparator());
  kb::DataControl options("-templocation " + temp + " -datalocation " + temp + " ");

  const int keys[3] = {500, 1000, 2000};
  double ns[3];
  for (int i = 0; i < 3; ++i) {
    const std::string ini = temp + sep + "kb_config_bench_" + std::to_string(keys[i]) + ".ini";
    std::ofstream(ini, std::ios::binary) << kbbench::NumberedIni(keys[i], 500);
    ns[i] = NanosPerCall([&] { options.JoinNumberedValues("wx6", "JavaArgs_", ini); });
    std::remove(ini.c_str());
  }
  Report("JoinNumberedValues/keys", keys, ns);

  // Exactly `count` properties P0..Pn, read as a launch reads them.
  const auto use_properties = [&](int count) {
    const std::string ini = temp + sep + "kb_config_bench_properties.ini";
    std::ofstream(ini, std::ios::binary) << kbbench::PropertiesIni(count);
    options.FreeProperties();
    options.GetProperties(ini);
    std::remove(ini.c_str());
  };
  const int counts[3] = {125, 250, 500};
  for (int i = 0; i < 3; ++i) {
    use_properties(counts[i]);
    const std::string line = kbbench::CommandLine(counts[i], 32 * 1024);
    ns[i] = NanosPerCall([&] { options.ReplaceProperties(line); });
  }
  Report("ReplaceProperties/count", counts, ns);

  const int bytes[3] = {8 * 1024, 16 * 1024, 32 * 1024};
  use_properties(500);
  for (int i = 0; i < 3; ++i) {
    const std::string line = kbbench::CommandLine(500, static_cast<std::size_t>(bytes[i]));
    ns[i] = NanosPerCall([&] { options.ReplaceProperties(line); });
  }
  Report("ReplaceProperties/bytes", bytes, ns);
  return 0;
}
