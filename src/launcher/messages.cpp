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
  return MessageOutlets{platform::ShowMessageBox, platform::WriteStdErrLine};
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

}  // namespace kb
