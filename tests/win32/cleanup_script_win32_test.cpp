// The cleanup script as cmd runs it: "%" must reach rmdir undoubled, and
// "&" or "^" in a quoted path must stay part of the name.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/cleanup_script.h"
#include "log/log.h"
#include "platform/child.h"
#include "platform/environment.h"
#include "support/test_support.h"

namespace {

TEST(CleanupScriptCmdTest, RemovesExactlyTheCleanDirectoryAndItself) {
  kbtest::ScratchDir dir;
  kbtest::ScratchDir elsewhere;
  const std::string saved_log = kb::LogFilePath();
  kb::LogFilePath().clear();
  kbtest::ScopedEnv variable("KBTEST_VAR", "run 1");
  // "ü" is 0x81 in cmd's OEM code page; "€" and "日本" are in no OEM
  // code page but 65001, and are named by their short forms.
  const std::string names[] = {"run 1%KBTEST_VAR%", "run 1&mkdir pwned", "run^1 & (x)",
                               "\u00fc" "ber", "run\u20ac", "\u65e5\u672c"};
  kbtest::MakeDirs(dir / "run 1");  // what %KBTEST_VAR% would expand to
  kbtest::WriteFile(dir / "keep", "keep");
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    kbtest::MakeDirs(dir / name + "\\inner\\deeper");
    kbtest::WriteFile(dir / name + "\\inner\\file", "x");
    const std::string script = kb::CreateCleanProc(dir / name, "tool_console");
    ASSERT_FALSE(script.empty());
    kbtest::ScopedCwd cwd(elsewhere.path());
    const kbtest::RunResult result = kbtest::Run("cmd /d /c \"" + script + "\"");
    EXPECT_TRUE(result.started);
    EXPECT_FALSE(kbtest::FileExists(dir / name)) << result.output;
    EXPECT_FALSE(kbtest::FileExists(script));
  }
  EXPECT_TRUE(kbtest::FileExists(dir / "run 1"));
  EXPECT_EQ(kbtest::ReadFile(dir / "keep"), "keep");
  EXPECT_FALSE(kbtest::FileExists(dir / "pwned"));
  EXPECT_FALSE(kbtest::FileExists(elsewhere / "pwned"));
  kb::LogFilePath() = saved_log;
}

// A script not yet written has no short form, so an application name with a
// character of no OEM form would reach cmd as a look-alike: the script is
// named after the name's ASCII form instead, and cmd runs it.
TEST(CleanupScriptCmdTest, ApplicationNameOutsideTheConsolePageGetsAnAsciiScriptName) {
  kbtest::ScratchDir dir;
  kbtest::ScratchDir elsewhere;
  kbtest::ScratchDir logs;
  const std::string saved_log = kb::LogFilePath();
  kb::LogFilePath() = logs / "clean.log";
  const struct {
    const char* application;
    const char* ascii;
  } cases[] = {{"\u65e5\u672c_console", "clean_U65E5U672C_console_"},
               {"tool\u20ac", "clean_toolU20AC_"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.application);
    kbtest::MakeDirs(dir / "run\\inner");
    const std::string script = kb::CreateCleanProc(dir / "run", c.application);
    ASSERT_FALSE(script.empty()) << kbtest::ReadFile(logs / "clean.log");
    EXPECT_EQ(script.rfind(dir / c.ascii, 0), 0u) << script;
    kbtest::ScopedCwd cwd(elsewhere.path());
    const kbtest::RunResult result = kbtest::Run("cmd /d /c \"" + script + "\"");
    EXPECT_TRUE(result.started);
    EXPECT_FALSE(kbtest::FileExists(dir / "run")) << result.output;
    EXPECT_FALSE(kbtest::FileExists(script));
  }
  kb::LogFilePath() = saved_log;
  EXPECT_EQ(kbtest::ReadFile(logs / "clean.log").find("WARNING"), std::string::npos)
      << kbtest::ReadFile(logs / "clean.log");
}

bool UnderWine() {
  return ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// A drive letter that reaches `target`, as subst makes one; under Wine a
// link in the prefix's dosdevices folder. Removed when the object ends.
class DriveAlias {
 public:
  explicit DriveAlias(const std::string& target) {
    for (char letter = 'R'; letter <= 'Y'; ++letter) {
      const std::string root = std::string(1, letter) + ":\\";
      if (::GetDriveTypeA(root.c_str()) == DRIVE_NO_ROOT_DIR) {
        drive_ = std::string(1, letter) + ":";
        break;
      }
    }
    if (drive_.empty()) return;
    if (!UnderWine()) {
      if (!::DefineDosDeviceA(0, drive_.c_str(), target.c_str())) drive_.clear();
      return;
    }
    // Wine keeps drive letters as links to Unix folders; the Unix path of a
    // C: folder is below the prefix's drive_c.
    std::string prefix = platform::GetEnvVar("WINEPREFIX");
    if (prefix.empty()) {
      // Wine's default prefix, ~/.wine; Wine names the Unix home as
      // "\??\Z:\root".
      const std::string home = platform::GetEnvVar("WINEHOMEDIR");
      if (home.compare(0, 6, "\\??\\Z:") == 0) {
        prefix = home.substr(6) + "/.wine";
        for (char& c : prefix) {
          if (c == '\\') c = '/';
        }
      }
    }
    if (prefix.empty() || target.compare(0, 3, "C:\\") != 0) {
      drive_.clear();
      return;
    }
    std::string unix_target = prefix + "/drive_c/" + target.substr(3);
    for (char& c : unix_target) {
      if (c == '\\') c = '/';
    }
    link_ = prefix + "/dosdevices/" + static_cast<char>(drive_[0] - 'A' + 'a') + ":";
    kbtest::Run("Z:\\bin\\ln -s \"" + unix_target + "\" \"" + link_ + "\"");
    // Wine may take a moment to see a new drive link.
    for (int tries = 0; tries < 30; ++tries) {
      if (::GetDriveTypeA((drive_ + "\\").c_str()) != DRIVE_NO_ROOT_DIR) return;
      ::Sleep(100);
    }
    drive_.clear();
  }
  ~DriveAlias() {
    if (!link_.empty()) kbtest::Run("Z:\\bin\\rm -f \"" + link_ + "\"");
    if (!UnderWine() && !drive_.empty()) {
      ::DefineDosDeviceA(DDD_REMOVE_DEFINITION, drive_.c_str(), nullptr);
    }
  }
  const std::string& drive() const { return drive_; }

 private:
  std::string drive_;
  std::string link_;
};

// The home folder reached by other spellings is still the home folder. UNC
// admin shares (\\host\C$\...) go through the same comparison; they cannot
// be reached here.
TEST(CleanRefusalWin32Test, HomeIsRecognisedWhateverItsSpelling) {
  kbtest::ScratchDir dir;
  const std::string home = dir / "home-of-a-long-name";
  const std::string me = home + "\\me";
  kbtest::MakeDirs(me);
  kbtest::ScopedEnv profile("USERPROFILE", me);
  char final_path[MAX_PATH * 4];
  HANDLE handle = ::CreateFileA(dir.path().c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  ASSERT_GT(::GetFinalPathNameByHandleA(handle, final_path, sizeof final_path, 0), 4u);
  ::CloseHandle(handle);
  const std::string real = std::string(final_path).substr(4);  // without "\\?\"
  char short_name[MAX_PATH * 4];
  ASSERT_GT(::GetShortPathNameA(me.c_str(), short_name, sizeof short_name), 0u);
  DriveAlias alias(real);
  ASSERT_FALSE(alias.drive().empty()) << "no drive alias could be made for " << real;

  const std::string is_home = "the clean directory is the user's home folder: ";
  const std::string holds = "the clean directory holds the user's home folder: ";
  const struct {
    std::string given;
    std::string reason;
  } table[] = {
      {"\\\\.\\" + real + "\\home-of-a-long-name\\me", is_home},
      {"\\\\.\\" + real + "\\home-of-a-long-name", holds},
      {short_name, is_home},
      {alias.drive() + "\\home-of-a-long-name\\me", is_home},
      {alias.drive() + "\\home-of-a-long-name", holds},
  };
  for (const auto& row : table) {
    const std::string folder = kb::NormalizeAbsolutePath(row.given);
    EXPECT_EQ(kb::CleanRefusalReason(folder), row.reason + folder) << row.given;
  }
  kbtest::MakeDirs(me + "\\inner");
  EXPECT_EQ(kb::CleanRefusalReason(alias.drive() + "\\home-of-a-long-name\\me\\inner"), "");
}

}  // namespace
