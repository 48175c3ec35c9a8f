// User messages: the launcher's failure codes turned into string-table
// texts, logged, and shown to the user.
#pragma once

#include <string>

namespace kb {

// The string-table id for a message code: -100 -> 6, -101 -> 5, -103 -> 11,
// -104 -> 10, -106 -> 12 (not in the table), -108 -> 3, -1000 -> 9,
// anything else -> 8.
int MessageStringId(int code);

// Where user messages go: a box (text, caption) that waits to be closed,
// and one line on standard error.
struct MessageOutlets {
  void (*box)(const std::string& text, const std::string& caption);
  void (*stderr_line)(const std::string& line);
};
// The system's: platform::ShowMessageBox and platform::WriteStdErrLine.
MessageOutlets SystemOutlets();

// Loads the text for `code`; when the table has it, the message is that text,
// one blank and `detail`. A windowed launcher (kind 100) shows it in a box
// captioned "Error" unless "-nomessage" was given; the console launcher
// (kind 200) writes it as one line to standard error unless "-nomessage" was
// given, so that a failure before the log exists is still seen. The message
// is always logged under "MessageDisplay". An id the table lacks (-106)
// does nothing at all. Never fails towards its caller. Shown through the
// system's outlets, or the ones given.
void MessageDisplay(int kind, int code, std::string detail);
void MessageDisplay(int kind, int code, std::string detail, const MessageOutlets& outlets);

// The console launcher's one line on standard error when its log cannot be
// written ("WARNING: the log file <path> cannot be written: <system text>
// (error <code>); the run goes on without it"), unless "-nomessage" was
// given. Made to be the log's LogLossSink, which calls it once per run;
// written through the system's outlets, or the ones given.
void WarnLostLog(const std::string& path, int error);
void WarnLostLog(const std::string& path, int error, const MessageOutlets& outlets);
std::string LostLogWarning(const std::string& path, int error);

// The message with every run of line feeds, carriage returns and tabs (and
// the blanks around them) folded into one blank and trailing blanks removed.
std::string MessageAsOneLine(const std::string& message);

}  // namespace kb
