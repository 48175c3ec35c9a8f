#include "launcher/messages.h"

#include <utility>

#include "common/constants.h"
#include "common/exit_codes.h"
#include "common/text.h"
#include "config/data_control.h"
#include "log/log.h"
#include "platform/error_codes.h"
#include "platform/running_program.h"
#include "platform/ui.h"

namespace kb {
namespace {

constexpr char kTagMessageDisplay[] = "MessageDisplay";
constexpr char kTagJavaMissing[] = "MessageDisplay::javamissing";
constexpr char kHttps[] = "https://";

bool IsFoldable(char c) { return c == '\n' || c == '\r' || c == '\t'; }

}  // namespace

int MessageStringId(int code) {
  switch (code) {
    case kExitConfigMissing: return 6;
    case kExitNoPlatform: return 5;
    case kExitNoProperties: return 11;
    case kMsgDiskSpace: return 10;
    case kMsgNoText: return 12;
    case kMsgJavaMissing: return 3;
    case kMsgUsage: return 9;
    default: return 8;
  }
}

std::string MessageAsOneLine(const std::string& message) {
  std::string line;
  std::size_t i = 0;
  while (i < message.size()) {
    if (!IsFoldable(message[i])) {
      line += message[i++];
      continue;
    }
    // Drop the blanks written before the break and after it, so that
    // " \n -console" reads " -console", not "   -console".
    while (!line.empty() && line.back() == ' ') line.pop_back();
    while (i < message.size() && (IsFoldable(message[i]) || message[i] == ' ')) ++i;
    if (!line.empty()) line += ' ';
  }
  return TrimRightChars(line, " ");
}

MessageOutlets SystemOutlets() {
  return MessageOutlets{platform::ShowMessageBox, platform::WriteStdErrLine, platform::AskYesNo,
                        platform::OpenAddress};
}

std::string FirstHttpsAddress(const std::string& text) {
  const std::string::size_type start = ToLowerAscii(text).find(kHttps);
  if (start == std::string::npos) return std::string();
  std::string::size_type end = start;
  while (end < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[end]);
    if (c <= ' ' || c == 0x7F || c == '"' || c == '\'' || c == '<' || c == '>') break;
    ++end;
  }
  std::string address = text.substr(start, end - start);
  // A sentence's end or a bracket around the address is no part of it.
  address = TrimRightChars(address, ".,;:!?)]}");
  return address.size() > sizeof kHttps - 1 ? address : std::string();
}

std::string LostLogWarning(const std::string& path, int error) {
  std::string reason = "error " + IntToString(error);
  const std::string text = platform::ErrorText(error);
  if (!text.empty()) reason = text + " (" + reason + ")";
  return "WARNING: the log file " + path + " cannot be written: " + reason +
         "; the run goes on without it";
}

void WarnLostLog(const std::string& path, int error) {
  WarnLostLog(path, error, SystemOutlets());
}

void WarnLostLog(const std::string& path, int error, const MessageOutlets& outlets) {
  if (NoMessage()) return;
  outlets.stderr_line(LostLogWarning(path, error));
}

void MessageDisplay(int kind, int code, std::string detail) {
  MessageDisplay(kind, code, std::move(detail), SystemOutlets());
}

void MessageDisplay(int kind, int code, std::string detail, const MessageOutlets& outlets) {
  const std::string text = platform::LoadResourceString(MessageStringId(code));
  if (text.empty()) return;
  const std::string message = text + " " + detail;
  if (!NoMessage()) {
    if (kind == kKindWindowed) {
      outlets.box(message, kMessageCaption);
    } else if (kind == kKindConsole) {
      // A console user would otherwise learn nothing of a failure that
      // comes before the log folder exists.
      outlets.stderr_line(MessageAsOneLine(message));
    }
  }
  LogInfo(kTagMessageDisplay, message);
}

void JavaMissingDisplay(int kind, const std::string& detail, const std::string& own_text) {
  JavaMissingDisplay(kind, detail, own_text, SystemOutlets());
}

void JavaMissingDisplay(int kind, const std::string& detail, const std::string& own_text,
                        const MessageOutlets& outlets) {
  const std::string text = TrimWhitespace(own_text);
  if (text.empty()) {
    MessageDisplay(kind, kMsgJavaMissing, detail, outlets);
    return;
  }
  // The log keeps the launcher's own account of what was searched, which
  // the shipper's text does not repeat.
  LogInfo(kTagMessageDisplay, platform::LoadResourceString(MessageStringId(kMsgJavaMissing)) +
                                  " " + detail);
  LogInfo(kTagJavaMissing, text);
  if (NoMessage()) return;
  if (kind == kKindConsole) {
    outlets.stderr_line(MessageAsOneLine(text));
    return;
  }
  if (kind != kKindWindowed) return;
  const std::string address = FirstHttpsAddress(text);
  if (address.empty()) {
    outlets.box(text, kMessageCaption);
    return;
  }
  if (!outlets.ask(text, "Open " + address + " now?", kMessageCaption)) return;
  const int error = outlets.open(address);
  if (error == 0) {
    LogInfo(kTagJavaMissing, "opened " + address);
  } else {
    LogWarning(kTagJavaMissing, "cannot open " + address + ": " + platform::ErrorText(error) +
                                    " (error " + IntToString(error) + ")");
  }
}

}  // namespace kb
