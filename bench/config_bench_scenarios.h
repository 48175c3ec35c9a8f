// Inputs shared by the configuration benchmarks (Google Benchmark on Linux,
// the self-timed loop for the Windows build under Wine).
#pragma once

#include <string>
#include <vector>

#include "config/data_control.h"

namespace kbbench {

// A configuration file with `keys` numbered "JavaArgs_" keys in section
// "wx6", each value `value_bytes` long: 2,000 keys of 500 bytes make 1 MB.
inline std::string NumberedIni(int keys, int value_bytes) {
  std::string text = "[wx6]\r\nlaunchercmd=java\r\n";
  for (int i = 1; i <= keys; ++i) {
    text += "JavaArgs_" + std::to_string(i) + "=-D" + std::to_string(i) + "=" +
            std::string(static_cast<std::size_t>(value_bytes), 'v') + "\r\n";
  }
  text += "[default]\r\nid=bench\r\n";
  return text;
}

// A configuration file with `count` properties P0..Pn, read as a launch
// reads them, and a command line of about `text_bytes` bytes in which every
// property's placeholder occurs.
inline std::string PropertiesIni(int count) {
  std::string text = "[properties]\r\n";
  for (int i = 0; i < count; ++i) {
    text += "P" + std::to_string(i) + "=value_" + std::to_string(i) + "\r\n";
  }
  return text;
}
inline std::string CommandLine(int count, std::size_t text_bytes) {
  std::string text;
  int i = 0;
  while (text.size() < text_bytes) {
    text += "-Dx=<P" + std::to_string(i % count) + "> plain text ";
    ++i;
  }
  return text;
}

}  // namespace kbbench
