// Cost of the configuration lookups at launcher scale: joining 2,000
// numbered keys from a 1 MB file, and placeholder replacement over a 32 KB
// command line with 500 properties. Each family runs at three sizes with
// complexity fitting, so a quadratic slip shows as a failed O(N) fit.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "bench/config_bench_scenarios.h"
#include "config/data_control.h"
#include "env/env_calls.h"
#include "log/log.h"

namespace {

std::string WriteTemp(const std::string& name, const std::string& bytes) {
  const std::string path = "/tmp/" + name;
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

kb::DataControl& Options() {
  static kb::DataControl options("-templocation /tmp -datalocation /tmp ");
  return options;
}

void BM_JoinNumberedValues(benchmark::State& state) {
  const int keys = static_cast<int>(state.range(0));
  const std::string ini = WriteTemp("kb_config_bench_" + std::to_string(keys) + ".ini",
                                    kbbench::NumberedIni(keys, 500));
  kb::DataControl& options = Options();
  for (auto _ : state) {
    benchmark::DoNotOptimize(options.JoinNumberedValues("wx6", "JavaArgs_", ini));
  }
  state.SetComplexityN(keys);
  std::remove(ini.c_str());
}
BENCHMARK(BM_JoinNumberedValues)->Arg(500)->Arg(1000)->Arg(2000)->Complexity(benchmark::oN);

// The options with exactly `count` properties P0..Pn.
kb::DataControl& OptionsWithProperties(int count) {
  const std::string ini =
      WriteTemp("kb_config_bench_properties.ini", kbbench::PropertiesIni(count));
  kb::DataControl& options = Options();
  options.FreeProperties();
  options.GetProperties(ini);
  std::remove(ini.c_str());
  return options;
}

void BM_ReplacePropertiesByCount(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  kb::DataControl& options = OptionsWithProperties(count);
  const std::string line = kbbench::CommandLine(count, 32 * 1024);
  for (auto _ : state) benchmark::DoNotOptimize(options.ReplaceProperties(line));
  state.SetComplexityN(count);
}
BENCHMARK(BM_ReplacePropertiesByCount)->Arg(125)->Arg(250)->Arg(500)->Complexity(benchmark::oN);

void BM_ReplacePropertiesByText(benchmark::State& state) {
  const std::size_t bytes = static_cast<std::size_t>(state.range(0));
  kb::DataControl& options = OptionsWithProperties(500);
  const std::string line = kbbench::CommandLine(500, bytes);
  for (auto _ : state) benchmark::DoNotOptimize(options.ReplaceProperties(line));
  state.SetComplexityN(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_ReplacePropertiesByText)
    ->Arg(8 * 1024)->Arg(16 * 1024)->Arg(32 * 1024)->Complexity(benchmark::oN);

}  // namespace
