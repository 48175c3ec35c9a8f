#include "platform/fs.h"
#include "platform/program_info.h"

namespace platform {
namespace {

// Far above any launcher (under 1 MB); bounds what a wrong path can cost.
constexpr std::size_t kLargestProgram = std::size_t(64) << 20;

}  // namespace

int ReadProgramInfo(const std::string& path, ProgramInfo* out) {
  *out = ProgramInfo();
  std::string bytes;
  const int error = ReadRegularFile(path, kLargestProgram, &bytes, nullptr);
  if (error != 0) return error;
  (void)ParseProgramMarker(bytes, out);  // a program without one is unknown
  return 0;
}

}  // namespace platform
