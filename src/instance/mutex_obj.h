// MutexObj: the single-instance guard. Probes the named mutexes of the
// applications listed under "norunwith" and, when none of them runs, holds
// the launch's own mutex (made from "id") until CloseOwnMutex.
//
// A mutex name is kMutexNamePrefix followed by the identifier lower-cased
// (ASCII letters only). Probes only look: they never create a name, so two
// launchers probing at the same moment cannot refuse each other.
#pragma once

#include <string>
#include <vector>

#include "platform/handle.h"

namespace kb {

// Shows the conflict message in a box (text, caption) and waits for it to be
// closed; the launcher hands in its user-message box.
using ConflictBox = void (*)(const std::string& text, const std::string& caption);

class MutexObj {
 public:
  // Copies the configuration section and file and the box that shows a
  // conflict; no own mutex, lastError 0.
  MutexObj(std::string section, std::string ini_file, ConflictBox show_box);
  virtual ~MutexObj();
  MutexObj(const MutexObj&) = delete;
  MutexObj& operator=(const MutexObj&) = delete;

  // Walks "norunwith" in list order (entries cut at ","; trailing blanks
  // removed, leading blanks kept; empty entries skipped). The first entry
  // whose mutex exists is a conflict: its message (string 4 with "#1" and
  // "#2" replaced by the display names: "norunwith_display_<entry>" and
  // "norunwith_display_<id>"; where one is absent or empty, "#1" is the
  // entry as written and "#2" the "id" as read, or the application name
  // without an "id") is logged as a warning under
  // "MutexObj::IsRunning", shown through the box captioned "Error" unless
  // silent is exactly 1, and 183 is returned without creating the own mutex.
  // Otherwise the own mutex is created (when "id" is set) and held, and the
  // result is 0.
  int IsRunning(int silent);

  // Closes the own mutex if it is held; the name disappears once no process
  // holds it.
  void CloseOwnMutex();

  const std::string& OwnMutexName() const { return ownMutexName; }
  bool HoldsOwnMutex() const { return ownMutex.valid(); }
  // System error code of the most recent probe (183 after a conflict).
  int LastError() const { return lastError; }

 private:
  std::string ReadValue(const std::string& key) const;
  void ReportConflict(const std::string& written, int silent) const;
  void CreateOwnMutex();

  std::string section;
  std::string iniFile;
  ConflictBox showBox;
  std::string ownMutexName;
  platform::Handle ownMutex;
  int lastError = 0;
};

// The list walk of "norunwith": the identifiers to probe, in order, each
// with trailing blanks removed and lower-cased; empty entries are left out.
std::vector<std::string> NoRunWithEntries(const std::string& list);
// The same entries as written in the list (trailing blanks removed, letter
// case kept): what the conflict message names without a display name.
std::vector<std::string> NoRunWithEntriesAsWritten(const std::string& list);

}  // namespace kb
