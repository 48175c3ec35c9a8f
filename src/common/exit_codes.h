// The launcher's exit codes (the entry function's result). On POSIX the
// process exit status is the result modulo 256.
#pragma once

namespace kb {

inline constexpr int kExitFrameworkInit = 7;
inline constexpr int kExitConfigMissing = -100;
inline constexpr int kExitNoPlatform = -101;
inline constexpr int kExitNoProperties = -103;
inline constexpr int kExitAlreadyRunning = 183;  // ERROR_ALREADY_EXISTS
inline constexpr int kExitRunnerFailed = -1;

// Message codes of MessageDisplay that are not exit codes.
inline constexpr int kMsgDiskSpace = -104;
inline constexpr int kMsgNoText = -106;
inline constexpr int kMsgJavaMissing = -108;
inline constexpr int kMsgUsage = -1000;

}  // namespace kb
