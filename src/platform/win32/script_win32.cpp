#include <string>
#include <vector>

#include "platform/script.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// cmd expands "%name%" even inside double quotes; "%%" in a batch file is
// one literal "%". Other special characters are literal inside quotes, and
// a double quote cannot occur in a Windows path.
std::string BatchQuote(const std::string& path) {
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '%') quoted += '%';
    quoted += c;
  }
  quoted += "\"";
  return quoted;
}

// The path in the OEM code page, in which cmd reads a batch file. A path
// with a character the page cannot hold is named by its short (8.3) form,
// which every page holds; a best-fit look-alike ("u" for "ü") would name
// another folder, so without a short form there is no exact one: false.
// A path that does not exist yet (the script itself) gets the short form
// of its folder and keeps its own name.
bool ToOemExactly(const std::string& path, std::string* oem) {
  std::wstring wide = win32::Wide(path);
  if (win32::FirstUnholdable(CP_OEMCP, wide) != 0) {
    std::wstring short_form;
    if (win32::ShortPath(wide, &short_form) != 0) {
      const std::wstring::size_type cut = wide.find_last_of(L'\\');
      if (cut == std::wstring::npos ||
          win32::ShortPath(wide.substr(0, cut), &short_form) != 0) {
        return false;
      }
      short_form += wide.substr(cut);
    }
    wide = short_form;
  }
  bool exact = false;
  *oem = win32::ToCodePage(CP_OEMCP, wide, &exact);
  return exact;
}

}  // namespace

const char* CleanupScriptExtension() { return ".bat"; }

int CleanupScriptText(const std::string& parent, const std::string& clean_dir,
                      const std::string& script_path, std::string* text) {
  std::string oem_parent;
  std::string oem_clean;
  std::string oem_script;
  if (!ToOemExactly(parent, &oem_parent) || !ToOemExactly(clean_dir, &oem_clean) ||
      !ToOemExactly(script_path, &oem_script)) {
    return ERROR_NO_UNICODE_TRANSLATION;
  }
  // The file is written as bytes, so the CR LF line ends are spelled out.
  *text = "sleep 2\r\n";
  *text += "cd /d " + BatchQuote(oem_parent) + "\r\n";
  *text += "rmdir /S /Q " + BatchQuote(oem_clean) + "\r\n";
  *text += "del " + BatchQuote(oem_script) + "\r\n";
  return 0;
}

}  // namespace platform
