// Where the system would find the program of a child's command line: a
// question a tool asks to describe a launch without starting it.
#pragma once

#include <string>

namespace platform {

// The file that starting `program` (the first token of a command line)
// would run, or "" when there is none (an ordinary answer, which the tool
// reports). Nothing is started or created.
// `launcher_dir` is the folder of the launcher that would start it,
// `work_dir` the absolute folder the child would start in.
//
// Windows (CreateProcessW with a null application name): ".exe" is added
// to a file name without an extension; a name with a folder part is taken
// against `work_dir`; a bare name is searched in the launcher's folder,
// `work_dir`, the system folder, the 16-bit system folder, the Windows
// folder and then PATH. POSIX (posix_spawnp): a name with "/" is taken
// against `work_dir`; a bare name is searched in PATH ("/bin:/usr/bin" when
// unset; an empty entry is `work_dir`). Only an executable regular file
// counts.
std::string FindProgram(const std::string& program, const std::string& launcher_dir,
                        const std::string& work_dir);

}  // namespace platform
