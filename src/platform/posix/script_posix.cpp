#include <string>

#include "platform/script.h"

namespace platform {
namespace {

// Single quotes keep every byte literal in the shell; a quote inside is
// closed, written escaped, and reopened.
std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  quoted += "'";
  return quoted;
}

}  // namespace

const char* CleanupScriptExtension() { return ".sh"; }

int CleanupScriptText(const std::string& parent, const std::string& clean_dir,
                      const std::string& script_path, std::string* text) {
  *text = "sleep 2\n";
  *text += "cd " + ShellQuote(parent) + "\n";
  *text += "rm -rf -- " + ShellQuote(clean_dir) + "\n";
  *text += "rm -f -- " + ShellQuote(script_path) + "\n";
  return 0;
}

}  // namespace platform
