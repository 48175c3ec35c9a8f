// The launcher's log file: one process-wide path, timestamped entries, a
// start banner and raw relayed text.
//
// Layout (byte for byte on both builds): every line feed is stored as
// carriage return plus line feed. An entry is the asctime time stamp line
// followed by "<level> <tag>=<text>". Each call opens the file, appends and
// closes it; nothing is buffered, nothing returns an error: a line that
// cannot be written is dropped.
#pragma once

#include <cstdint>
#include <string>

namespace kb {

// The one process-wide log path. Empty means logging is off.
std::string& LogFilePath();

// Resolves the log path if it is empty or one blank, creates its folder and
// writes the four-line banner ("<text> started.... ", "path= ", "logfile= ").
void LogOpen(const std::string& text);
void LogWrite(const std::string& level, const std::string& tag,
              const std::string& text);
// The child's relayed output is raw text: see RelayLog (log/relay_log.h).
void LogWarning(const std::string& tag, const std::string& text);
void LogInfo(const std::string& tag, const std::string& text);
void LogInfo(const std::string& tag, const char* text);
void LogInfo(const std::string& tag, int value);
void LogInfoLong(const std::string& tag, std::int32_t value);  // "%ld" form
void LogError(const std::string& tag, const std::string& text);
void LogError(const std::string& tag, const char* text);
void LogError(const std::string& tag, int value);

// Text-mode translation: every "\n" becomes "\r\n".
std::string ToTextMode(const std::string& text);

}  // namespace kb
