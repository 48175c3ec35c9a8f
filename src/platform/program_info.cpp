// The self-description line, the same on both platforms: the launchers
// carry it on both, and the POSIX reader and the tests parse it.
#include "common/constants.h"
#include "platform/program_info.h"

namespace platform {

bool ParseProgramMarker(const std::string& bytes, ProgramInfo* out) {
  const std::string marker = kb::kProgramMarker;
  const std::string kind_field = " kind=";
  for (std::string::size_type at = bytes.find(marker); at != std::string::npos;
       at = bytes.find(marker, at + 1)) {
    // The reader's own copy of the marker text ends at its NUL; only the
    // whole line, ended by ';', describes the program.
    const std::string::size_type end = bytes.find(';', at);
    const std::string::size_type nul = bytes.find('\0', at);
    if (end == std::string::npos || (nul != std::string::npos && nul < end)) continue;
    const std::string fields = bytes.substr(at + marker.size(), end - at - marker.size());
    const std::string::size_type kind_at = fields.find(kind_field);
    if (kind_at == std::string::npos || kind_at == 0) continue;
    const std::string kind = fields.substr(kind_at + kind_field.size());
    ProgramInfo info;
    info.version = fields.substr(0, kind_at);
    if (kind == kb::kProgramKindConsole) {
      info.kind = ProgramKind::kConsole;
    } else if (kind == kb::kProgramKindWindowed) {
      info.kind = ProgramKind::kWindowed;
    } else {
      continue;
    }
    *out = info;
    return true;
  }
  return false;
}

}  // namespace platform
