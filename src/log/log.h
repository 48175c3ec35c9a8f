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

#include "platform/append_file.h"

namespace kb {

// The one process-wide log path. Empty means logging is off.
std::string& LogFilePath();

// Where a launch logs. A file the user names ("-applogloc") is used as
// named, links followed, and shared with every launch that names it.
// Without one the launcher makes the name, "<data folder>/<application>_
// <date-time stamp>.log"; such a file is never written through a symbolic
// link planted in its place, and each launch has one of its own: the first
// write creates it exclusively, and when another launch made the same name
// in the same second this one goes on in "<name>_2.log" (then _3, ...),
// which LogFilePath() then names. The file so claimed is held for the rest
// of the process (AppendFile::Hold), so that another launch's "logkeep"
// never removes it while it is written.
struct LogPlace {
  std::string path;
  bool launcher_made = false;
};
// The place for a user-named path (empty: none) and, without one, the
// launcher-made name in data_folder for the application.
LogPlace ChooseLogPlace(const std::string& named, const std::string& data_folder,
                        const std::string& application);
// "<application>_<date-time stamp>.log".
std::string LauncherLogName(const std::string& application);
// Makes the place the process's log; an empty path turns logging off.
void UseLog(const LogPlace& place);
// The launcher-made file this launch has created for itself, or "" while
// it has none (a user-named log, logging off, or not written yet).
const std::string& OwnLogFile();

// Opens the current log for appending as the rules above say; not open when
// logging is off or the file cannot be opened.
platform::AppendFile OpenLogFile();

// Keeps every line logged from now until LogOpen in memory, for a launch
// that learns where its log goes only from its configuration; LogOpen then
// writes them after its banner. Lines kept while logging is off are
// dropped by LogOpen.
void DeferLogLines();

// Creates the log's folder and writes the four-line banner ("<text> started.... ", "path= ", "logfile= ").
// Nothing while logging is off.
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

// Hears, once per run, of the first log line that cannot be written once
// LogOpen has run: the log's path and the system error code (0 when the
// system gave none). The console launcher warns on standard error.
using LogLossSink = void (*)(const std::string& path, int error);
// Sets the listener (nullptr: none) and starts a new run's count.
void SetLogLossSink(LogLossSink sink);
// For writers of the log other than this file's (the relay): a write failed.
void ReportLogLoss(int error);

// Text-mode translation: every "\n" becomes "\r\n".
std::string ToTextMode(const std::string& text);

}  // namespace kb
