// User messages: the launcher's failure codes turned into string-table
// texts, logged, and shown to the user.
#pragma once

#include <string>

namespace kb {

// The string-table id for a message code: -100 -> 6, -101 -> 5, -103 -> 11,
// -104 -> 10, -106 -> 12 (not in the table), -108 -> 3, -1000 -> 9,
// anything else -> 8.
int MessageStringId(int code);

// Loads the text for `code`; when the table has it, the message is that text,
// one blank and `detail`. A windowed launcher (kind 100) shows it in a box
// captioned "Error" unless "-nomessage" was given; the console launcher
// (kind 200) writes it as one line to standard error unless "-nomessage" was
// given, so that a failure before the log exists is still seen. The message
// is always logged under "MessageDisplay". An id the table lacks (-106)
// does nothing at all. Never fails towards its caller.
void MessageDisplay(int kind, int code, std::string detail);

// The console launcher's one line on standard error when its log cannot be
// written ("WARNING: the log file <path> cannot be written: <system text>
// (error <code>); the run goes on without it"), unless "-nomessage" was
// given. Made to be the log's LogLossSink, which calls it once per run.
void WarnLostLog(const std::string& path, int error);
std::string LostLogWarning(const std::string& path, int error);

// The message with every run of line feeds, carriage returns and tabs (and
// the blanks around them) folded into one blank and trailing blanks removed.
std::string MessageAsOneLine(const std::string& message);

// Shows a message box (caption, OK button) and waits for it to be closed:
// platform::ShowMessageBox unless a test has put its own function in place.
void ShowUserMessageBox(const std::string& text, const std::string& caption);

// Test seams: replace the box and the standard-error writer. nullptr puts
// the real one back. Each returns the function it replaced.
using MessageSink = void (*)(const std::string& text, const std::string& caption);
MessageSink SetMessageBoxForTesting(MessageSink sink);
using LineSink = void (*)(const std::string& line);
LineSink SetStdErrWriterForTesting(LineSink sink);

}  // namespace kb
