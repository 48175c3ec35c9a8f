#include "instance/mutex_obj.h"

#include <utility>

#include "common/constants.h"
#include "common/exit_codes.h"
#include "common/text.h"
#include "config/ini_file.h"
#include "env/env_calls.h"
#include "log/log.h"
#include "platform/error_codes.h"
#include "platform/mutex.h"
#include "platform/ui.h"

namespace kb {
namespace {

constexpr char kTagIsRunning[] = "MutexObj::IsRunning";
constexpr char kTagLockFolder[] = "MutexObj::IsRunning::lockfolder";
constexpr int kConflictStringId = 4;

std::string MutexName(const std::string& identifier) {
  return std::string(kMutexNamePrefix) + identifier;
}

// Where the names cannot be kept as usual, the log says so: a guard that
// lets everything run must never look like one that found nothing.
void ReportLockFolder() {
  platform::MutexFolderReport report;
  const int error = platform::CheckMutexFolder(&report);
  if (error != 0) {
    std::string text = "no lock folder can be used, so running applications are not detected";
    if (!report.refused.empty()) text += "; " + report.refused + ": " + report.reason;
    if (!report.fallback.empty()) text += "; " + report.fallback + ": " + report.fallback_reason;
    LogWarning(kTagLockFolder, text + " (error " + IntToString(error) + ")");
  } else if (!report.refused.empty()) {
    LogWarning(kTagLockFolder, "the lock folder " + report.refused + " was refused because " +
                                   report.reason + "; using " + report.fallback);
  }
}

// An absent key reads as "", one written without a value as " ".
bool IsBlank(const std::string& value) { return TrimChars(value, " ").empty(); }

// A configured display name as it is; without one the message names the
// application by what identifies it, never by a hole.
std::string DisplayName(const std::string& configured, const std::string& fallback) {
  return IsBlank(configured) ? fallback : configured;
}

}  // namespace

std::vector<std::string> NoRunWithEntries(const std::string& list) {
  std::vector<std::string> entries = NoRunWithEntriesAsWritten(list);
  for (std::string& entry : entries) entry = ToLowerAscii(entry);
  return entries;
}

std::vector<std::string> NoRunWithEntriesAsWritten(const std::string& list) {
  std::vector<std::string> entries;
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type comma = list.find(',', start);
    const std::string raw = list.substr(
        start, comma == std::string::npos ? std::string::npos : comma - start);
    // Only the end is trimmed: a leading blank is part of the identifier,
    // and mutex names compare exactly.
    const std::string entry = TrimRightChars(raw, " ");
    if (!entry.empty()) entries.push_back(entry);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return entries;
}

MutexObj::MutexObj(std::string section_name, std::string ini_file, ConflictBox show_box)
    : section(std::move(section_name)), iniFile(std::move(ini_file)), showBox(show_box) {}

MutexObj::~MutexObj() { CloseOwnMutex(); }

std::string MutexObj::ReadValue(const std::string& key) const {
  return ReadIniValue(section, key, iniFile);
}

int MutexObj::IsRunning(int silent) {
  ReportLockFolder();
  for (const std::string& written : NoRunWithEntriesAsWritten(ReadValue(kKeyNoRunWith))) {
    const std::string entry = ToLowerAscii(written);
    bool exists = false;
    const int error = platform::ProbeNamedMutex(MutexName(entry), &exists);
    if (exists) {
      lastError = kExitAlreadyRunning;
      ReportConflict(written, silent);
      return kExitAlreadyRunning;
    }
    // A name that cannot be examined (access denied, an insecure folder)
    // does not stop the launch, as a failed probe never did. A free name
    // reads as the system reports it: "not found".
    lastError = error != 0 ? error : platform::kErrorFileNotFound;
  }
  CreateOwnMutex();
  return 0;
}

void MutexObj::ReportConflict(const std::string& written, int silent) const {
  std::string message = platform::LoadResourceString(kConflictStringId);
  message = ReplaceAll(message, "#1",
                       DisplayName(ReadValue(kKeyNoRunWithDisplayPrefix + ToLowerAscii(written)),
                                   written));
  // The own display name is looked up with "id" exactly as written.
  const std::string own_id = ReadValue(kKeyId);
  const std::string own_name = IsBlank(own_id) ? ApplicationName() : own_id;
  message = ReplaceAll(message, "#2",
                       DisplayName(ReadValue(kKeyNoRunWithDisplayPrefix + own_id), own_name));
  LogWarning(kTagIsRunning, message);
  if (silent != 1 && showBox != nullptr) showBox(message, kMessageCaption);
}

void MutexObj::CreateOwnMutex() {
  const std::string own_id = TrimRightChars(ReadValue(kKeyId), " ");
  if (own_id.empty()) return;
  ownMutexName = MutexName(ToLowerAscii(own_id));
  // Neither the handle nor "existed already" is examined: launches of one
  // application may run side by side and share the name.
  const int error = platform::CreateNamedMutex(ownMutexName, true, &ownMutex, nullptr);
  if (error != 0) {
    LogWarning(kTagLockFolder, "the name of this application cannot be held, so other "
                               "launches do not see it (error " + IntToString(error) + ")");
  }
}

// The name goes with the process in any case, so a failed close has no
// consequence worth a word.
void MutexObj::CloseOwnMutex() { (void)ownMutex.Close(); }

}  // namespace kb
