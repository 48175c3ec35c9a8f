// What a launcher program says about itself, read from its file without
// starting it: its version and whether it is the console or the windowed
// launcher. A copy keeps both whatever it is renamed to.
#pragma once

#include <string>

namespace platform {

enum class ProgramKind { kUnknown, kConsole, kWindowed };

struct ProgramInfo {
  std::string version;  // "1.0.0.0"; "" when the program carries none
  ProgramKind kind = ProgramKind::kUnknown;
};

// Windows: the version resource's fixed file version (four numbers) and
// the subsystem field of the PE header (console or GUI). POSIX: the
// self-description line the launchers carry ("kestrelbay-launcher:
// version=<v> kind=<console|windowed>;", kProgramMarker). Returns 0, or the
// system error code when the file cannot be read; a readable file that
// carries neither answers 0 with the fields left empty and unknown.
[[nodiscard]] int ReadProgramInfo(const std::string& path, ProgramInfo* out);

// Parses the self-description line out of a program's bytes: the first
// well-formed one counts. False when there is none.
bool ParseProgramMarker(const std::string& bytes, ProgramInfo* out);

}  // namespace platform
