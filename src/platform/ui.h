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

// Shows a message with a question below it and waits for Yes or No
// (MessageBoxW, MB_YESNO); true for Yes. POSIX: the caption and message on
// standard error, without the question, and false: nobody could answer
// without the launcher waiting on its input.
bool AskYesNo(const std::string& text, const std::string& question, const std::string& caption);

// Hands an address ("https://...") to the system's default handler, as a
// user's click on it would (ShellExecuteW, "open"). Returns 0, or the
// system error code. POSIX: opens nothing and answers ENOSYS: the launchers
// there write to standard error and never ask to open.
[[nodiscard]] int OpenAddress(const std::string& address);

}  // namespace platform
