// The executable's string table and the message box.
#pragma once

#include <string>

namespace platform {

// A text of the launcher's string table by id (Windows: the executable's own
// RT_STRING resources; POSIX: the same table compiled in). Empty for an id
// that the table does not hold (an ordinary answer: callers fall back to
// their own text).
std::string LoadResourceString(int id);

// Shows a message and waits for the user to close it (MessageBoxW with no
// owner, type 0). POSIX: the caption and message on standard error, without
// waiting.
void ShowMessageBox(const std::string& text, const std::string& caption);

}  // namespace platform
