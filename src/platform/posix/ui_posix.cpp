#include <cerrno>
#include <string>

#include "platform/running_program.h"
#include "platform/ui.h"

namespace platform {
namespace {

struct StringEntry {
  int id;
  const char* text;
};

// The same table that the Windows build carries as its string resources.
#define KB_STRING(id, text) {id, text},
constexpr StringEntry kStringTable[] = {
#include "resources/strings.def"
};
#undef KB_STRING

}  // namespace

std::string LoadResourceString(int id) {
  for (const StringEntry& entry : kStringTable) {
    if (entry.id == id) return entry.text;
  }
  return std::string();
}

// There is no desktop to show a box on; the message goes where a console
// user sees it, and nobody has to acknowledge it.
void ShowMessageBox(const std::string& text, const std::string& caption) {
  WriteStdErrLine(caption + ": " + text);
}

bool AskYesNo(const std::string& text, const std::string& /*question*/,
              const std::string& caption) {
  ShowMessageBox(text, caption);
  return false;
}

int OpenAddress(const std::string& /*address*/) { return ENOSYS; }

}  // namespace platform
