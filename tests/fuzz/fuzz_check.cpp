// The configuration check on arbitrary configuration text, for both platform
// tags, with and without launcher arguments, in both output forms.
//
// Properties: the check never fails on a readable file; it creates and
// removes nothing (the scratch tree holds the same entries afterwards); the
// JSON is valid UTF-8 without raw control characters; every text line fits
// an 80-column console but for a word too long for any line, which is never
// broken; the exit code matches the findings.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "check/analysis.h"
#include "check/output.h"
#include "fuzz_support.h"

namespace {

std::vector<std::string> Tree() {
  std::vector<std::string> entries;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(kbfuzz::ScratchRoot(), error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    entries.push_back(it->path().string());
  }
  return entries;
}

bool IsValidUtf8WithoutControls(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if ((c < 0x20 && c != '\n') || c == 0x7F) return false;
      ++i;
      continue;
    }
    std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    if (length == 0 || c > 0xF4 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kbfuzz::SetUpScratch(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string ini = kbfuzz::WorkFolder() + "/tool.ini";
  {
    std::FILE* file = std::fopen(ini.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  }
  const std::vector<std::string> before = Tree();
  for (const char* platform : {"win", "wx6"}) {
    kb::check::Request request;
    request.config_file = ini;
    request.platform = platform;
    if (size % 2 == 1) {
      request.launcher_args = {"-JavaArgs_2", "x y", "-startdir", "", "<A>", "-noconsole"};
    }
    kb::check::Report report;
    std::string error;
    KB_FUZZ_CHECK(kb::check::Analyse(request, &report, &error));
    const std::string json = kb::check::ToJson(report);
    KB_FUZZ_CHECK(IsValidUtf8WithoutControls(json));
    const std::string text = kb::check::ToText(report);
    const std::vector<std::string> whole = kb::check::WholeTexts(report);
    // True when the blank at `at` of the line lies inside a text the report
    // keeps whole (a path or an argument with blanks).
    auto inside_whole = [&whole](const std::string& line, std::size_t at) {
      for (const std::string& w : whole) {
        if (w.empty()) continue;
        for (std::size_t p = line.find(w); p != std::string::npos && p < at; p = line.find(w, p + 1)) {
          if (at < p + w.size()) return true;
        }
      }
      return false;
    };
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      // Past the width only one unbroken word or one whole path or
      // argument may run on.
      const std::string line = text.substr(start, end - start);
      for (std::size_t blank = line.find(' ', 79); blank != std::string::npos;
           blank = line.find(' ', blank + 1)) {
        KB_FUZZ_CHECK(inside_whole(line, blank));
      }
      start = end + 1;
    }
    const int code = report.ExitCode();
    KB_FUZZ_CHECK(code == (report.Count(kb::check::Severity::kError) > 0     ? 2
                           : report.Count(kb::check::Severity::kWarning) > 0 ? 1
                                                                             : 0));
  }
  KB_FUZZ_CHECK(Tree() == before);
  kbfuzz::EmptyFolder(kbfuzz::WorkFolder());
  return 0;
}
