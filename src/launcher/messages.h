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
// one line on standard error, a box that asks a question and answers true
// for Yes, and the system's opener of an address.
struct MessageOutlets {
  void (*box)(const std::string& text, const std::string& caption);
  void (*stderr_line)(const std::string& line);
  bool (*ask)(const std::string& text, const std::string& question, const std::string& caption);
  int (*open)(const std::string& address);
};
// The system's: platform::ShowMessageBox, platform::WriteStdErrLine,
// platform::AskYesNo and platform::OpenAddress.
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

// The message of a runtime search that found nothing (-108). Without the
// shipper's own text (`own_text` "" or " ": "javamissing" absent or empty)
// it is MessageDisplay's. With it, that text is shown instead (the
// console launcher: one line on standard error; the windowed one: its box,
// which, when the text holds an https:// address, asks whether to open it
// and on Yes hands it to the system's opener), unless "-nomessage" was
// given. The log keeps MessageDisplay's line and adds the shipper's text
// under "MessageDisplay::javamissing", and what became of an address.
void JavaMissingDisplay(int kind, const std::string& detail, const std::string& own_text);
void JavaMissingDisplay(int kind, const std::string& detail, const std::string& own_text,
                        const MessageOutlets& outlets);

// The first "https://" address in `text`: up to the next blank, control
// character or quote, without the punctuation that ends a sentence around
// it ("see https://x.org/get." gives "https://x.org/get"). "" when there is
// none, or nothing follows "https://".
std::string FirstHttpsAddress(const std::string& text);

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
