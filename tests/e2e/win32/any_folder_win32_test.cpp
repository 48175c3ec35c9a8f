// The launcher installed in folders whose names the ANSI code page cannot
// hold, run by a user whose profile folder is such a folder too: it reads
// its configuration, writes its log, and starts an 8-bit Java runtime (the
// ANSI arg_probe as jre\bin\java.exe) with paths it can open, and a Unicode
// program (wide_probe) with every character.
#include <windows.h>
// The test support's own CopyFile, not the system's macro.
#undef CopyFile

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "platform/text.h"
#include "support/e2e_support.h"

namespace {

using kbtest::Join;

// One file or folder, whatever name reached it (a short form included).
bool SameEntry(const std::string& a, const std::string& b) {
  auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION* info) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, &wide[0], n);
    HANDLE h = ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = ::GetFileInformationByHandle(h, info) != FALSE;
    ::CloseHandle(h);
    return ok;
  };
  BY_HANDLE_FILE_INFORMATION x, y;
  return identify(a, &x) && identify(b, &y) && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber;
}

// The "<label><hex>" lines of a probe's output, decoded.
std::vector<std::string> HexLines(const std::string& output, const std::string& label) {
  std::vector<std::string> out;
  for (const std::string& line : kbtest::Lines(output)) {
    if (line.compare(0, label.size(), label) != 0) continue;
    std::string value;
    for (std::size_t i = label.size(); i + 1 < line.size(); i += 2) {
      value += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
    }
    out.push_back(value);
  }
  return out;
}

// Latin-1 text (one or two UTF-8 bytes per character) in code page 1252.
std::string Latin1(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    out +=
        c < 0x80 ? static_cast<char>(c) : static_cast<char>(((c & 0x1F) << 6) | (utf8[++i] & 0x3F));
  }
  return out;
}

std::string Utf16File(const std::string& utf8) {
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
  std::string out = "\xFF\xFE";
  for (wchar_t c : wide) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

std::string Show(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) out += "[" + item + "] ";
  return out;
}

struct FolderRow {
  const char* folder;
  bool holdable;      // code page 1252 holds every character of it
  const char* first;  // its first character 1252 cannot hold, as a WARNING names it
  const char* ansi;   // the name as the log, in code page 1252, holds it
};

const FolderRow kRows[] = {
    {"\u65e5\u672c", false, "U+65E5", "??"},
    {"\u0395\u03bb\u03bb\u03ac\u03b4\u03b1", false, "U+0395", "??????"},
    {"emoji \U0001F600", false, "U+1F600", "emoji ?"},
    {"Jos\u00e9", true, "", "Jos\xe9"},
    {"plain", true, "", "plain"},
};

class AnyFolder : public kbtest::LauncherTest {};

// cmd reads the cleanup script in the console's code page, and a script not
// yet written has no short name: a launcher named outside that page still
// leaves its script, under the ASCII form of its name.
TEST_F(AnyFolder, LauncherNamedOutsideTheConsolePageWritesItsCleanupScript) {
  const std::string name = "\u65e5\u672c_console";
  Install(name);
  WriteIni(std::string("[default]\r\nlaunchercmd=") + kbtest::Child() +
               "\r\nlauncherargs=--tc-quiet\r\n",
           "\u65e5\u672c.ini");
  const std::string clean = dir_ / "victim";
  kbtest::MakeDirs(clean);
  const kbtest::RunResult r = Launch("-cleandir " + kb::QuoteArgument(clean), name);
  ASSERT_EQ(r.exit_code, 0) << r.output;
  std::vector<std::string> scripts;
  for (const std::string& entry : kbtest::ListDir(dir_.path())) {
    if (entry.rfind("clean_", 0) == 0) scripts.push_back(entry);
  }
  ASSERT_EQ(scripts.size(), 1u) << LogContent(name);
  EXPECT_EQ(scripts[0].rfind("clean_U65E5U672C_console_", 0), 0u) << scripts[0];
  const std::string log = LogContent(name);
  EXPECT_NE(log.find("INFO: Launcher::Run::start::cleanup=" + (dir_ / scripts[0])),
            std::string::npos)
      << log;
  EXPECT_EQ(log.find("WARNING"), std::string::npos) << log;
  EXPECT_TRUE(kbtest::FileExists(clean));  // the launcher never runs the script
}

// Configuration files deep in a user's folder: their full paths are longer
// than MAX_PATH, which the profile service cannot take. (Wine starts no
// program by such a path from inside, so the launcher itself stays here;
// the master and the user file stand for a configuration that deep.)
TEST_F(AnyFolder, ConfigurationFilesDeeperThanMaxPathAreRead) {
  std::string deep = dir_ / "home";
  while (deep.size() < 300) deep += "\\" + std::string(40, 'd');
  kbtest::MakeDirs(deep);
  kbtest::WriteFile(Join(deep, "master.ini"), "[properties]\r\nHOME=from-master\r\n");
  kbtest::WriteFile(Join(deep, "user.ini"), "[default]\r\nAddtlArgs_2=from-user\r\n");
  Install();
  WriteIni("[properties]\r\nMASTERPROP=" + Join(deep, "master.ini") + "\r\n[default]\r\n" +
           "launchercmd=" + kbtest::Child() + "\r\nuserini=" + Join(deep, "user.ini") +
           "\r\nAddtlArgs_1=<HOME>\r\nAddtlArgs_2=from-file\r\nAddtlArgs_3=--tc-exit=7\r\n");
  const kbtest::RunResult r = Launch("x");
  EXPECT_EQ(r.exit_code, 7) << r.output;
  EXPECT_EQ(ChildArgs(r.output),
            (std::vector<std::string>{"from-master", "from-user", "--tc-exit=7", "x"}))
      << r.output;
  const std::string log = LogContent();
  EXPECT_EQ(log.find("WARNING"), std::string::npos) << log;

  // The check reads them too.
  const kbtest::RunResult checked =
      kbtest::Run(kb::QuoteArgument(kbtest::BuiltProgram("launcher_check")) + " " +
                  kb::QuoteArgument(Join(app_dir_, "tool.ini")) + " -- x");
  EXPECT_EQ(checked.exit_code, 0) << checked.output;
  EXPECT_NE(checked.output.find("from-master"), std::string::npos) << checked.output;
  EXPECT_NE(checked.output.find("from-user"), std::string::npos) << checked.output;
}

// A start folder deeper than MAX_PATH: the child still starts, in that
// folder (entered by its short form, which names the same folder).
TEST_F(AnyFolder, StartFolderDeeperThanMaxPathStartsTheChild) {
  std::string deep = dir_ / "work";
  while (deep.size() < 300) deep += "\\" + std::string(40, 'w');
  kbtest::MakeDirs(deep);
  kbtest::WriteFile(Join(deep, "marker.txt"), "here");
  Install();
  WriteIni("[default]\r\nlaunchercmd=" + kbtest::Child() + "\r\nstartdir=" + deep +
           "\r\nAddtlArgs_1=--tc-cwd\r\nAddtlArgs_2=--tc-exit=5\r\n");
  const kbtest::RunResult r = Launch("");
  ASSERT_EQ(r.exit_code, 5) << r.output << LogContent();
  const std::size_t at = r.output.find("CWD=");
  ASSERT_NE(at, std::string::npos) << r.output;
  const std::string cwd = r.output.substr(at + 4, r.output.find_first_of("\r\n", at) - at - 4);
  EXPECT_TRUE(kbtest::FileExists(Join(cwd, "marker.txt"))) << cwd;
}

TEST_F(AnyFolder, LauncherWorksFromAnyFolderAndJavaGetsPathsItCanOpen) {
  if (::GetACP() != 1252) {
    GTEST_SKIP() << "the table is written for ANSI code page 1252; this Wine answers " << ::GetACP()
                 << " (its locale decides)";
  }
  for (const FolderRow& row : kRows) {
    const std::string name = row.folder;
    SCOPED_TRACE(name);
    const std::string root = dir_ / name;
    // The user's own folders below a name outside the code page too.
    kbtest::ScopedEnv profile("USERPROFILE", Join(root, "home"));
    kbtest::ScopedEnv temp("TMP", Join(root, "tmp"));
    kbtest::MakeDirs(Join(root, "home"));
    kbtest::MakeDirs(Join(root, "tmp"));
    app_dir_ = Join(root, "Acme");
    kbtest::MakeDirs(Join(app_dir_, "lib"));
    kbtest::MakeDirs(Join(app_dir_, "jre\\bin"));
    kbtest::WriteFile(Join(app_dir_, "lib\\app.jar"), "jar");
    kbtest::WriteFile(Join(app_dir_, "jre\\release"), "JAVA_VERSION=\"17\"\n");
    kbtest::CopyFile(kbtest::BuiltProgram("arg_probe"), Join(app_dir_, "jre\\bin\\java.exe"));
    kbtest::CopyFile(kbtest::BuiltProgram("wide_probe"), Join(app_dir_, "wide_probe.exe"));
    Install("acme_console");
    WriteIni("[properties]\r\nSHARED=1\r\n", "master.ini");
    const std::string data = Join(root, "data-" + name + ".txt");
    kbtest::WriteFile(data, "data");
    const std::string loose = "file-" + name + ".txt";  // names nothing
    const std::string args = kb::QuoteArgument(data) + " " + kb::QuoteArgument(loose);

    for (const bool java : {true, false}) {
      SCOPED_TRACE(java ? "ANSI probe as a Java runtime" : "Unicode probe");
      const std::string program =
          java ? Join(app_dir_, "jre\\bin\\java.exe") : Join(app_dir_, "wide_probe.exe");
      // The built-in placeholders come with a master file; quoted, since a
      // folder's name may hold a blank.
      // The runtime is found by the search, its version read from release.
      const std::string ini =
          "[properties]\r\nMASTERPROP=master.ini\r\n[default]\r\n" +
          (java ? std::string("javamin=11\r\njavasearch=bundled:jre") : "launchercmd=" + program) +
          "\r\nClasspath=-cp \"<LAUNCHERDIR>\\lib\\app.jar\"\r\n"
          "MainClass=app.Main\r\nAddtlArgs_1=-Dapp.home=\"<LAUNCHERDIR>\"\r\n";
      // An ANSI file where the code page holds the names, else UTF-16LE.
      WriteIni(row.holdable ? Latin1(ini) : Utf16File(ini), "acme.ini");
      RemoveLogs();
      const kbtest::RunResult r = Launch(args, "acme_console");
      ASSERT_EQ(r.exit_code, 0) << r.output;
      const std::string log = LogContent("acme_console");
      ASSERT_FALSE(log.empty()) << "no log below " << DataDir();
      // The log stays in the code page: "?" for what it cannot hold.
      EXPECT_NE(log.find(std::string("\\") + row.ansi + "\\Acme\\acme.ini"), std::string::npos)
          << log;

      if (!java) {
        const std::vector<std::string> argv = HexLines(r.output, "ARGU=");
        EXPECT_EQ(argv,
                  (std::vector<std::string>{program, "-cp", app_dir_ + "\\lib\\app.jar", "app.Main",
                                            "-Dapp.home=" + app_dir_, data, loose}));
        EXPECT_EQ(HexLines(r.output, "CWDU="), std::vector<std::string>{app_dir_});
        std::cout << "unicode probe, " << name << ": " << Show(argv) << "cwd "
                  << Show(HexLines(r.output, "CWDU=")) << "\n";
        continue;
      }
      std::vector<std::string> argv;
      for (const std::string& arg : HexLines(r.output, "ARGX=")) {
        argv.push_back(platform::SystemTextToUtf8(arg));
      }
      const std::vector<std::string> cwd = HexLines(r.output, "CWDX=");
      ASSERT_EQ(argv.size(), 7u) << r.output;
      ASSERT_EQ(cwd.size(), 1u);
      std::cout << "ANSI probe as java.exe, " << name << ": " << Show(argv) << "cwd "
                << platform::SystemTextToUtf8(cwd[0]) << "\n";
      // Every path it received exists, and names what the launcher meant.
      EXPECT_TRUE(SameEntry(argv[0], program)) << argv[0];
      EXPECT_TRUE(SameEntry(argv[2], Join(app_dir_, "lib\\app.jar"))) << argv[2];
      ASSERT_EQ(argv[4].compare(0, 11, "-Dapp.home="), 0);
      EXPECT_TRUE(SameEntry(argv[4].substr(11), app_dir_)) << argv[4];
      EXPECT_TRUE(SameEntry(argv[5], data)) << argv[5];
      EXPECT_TRUE(SameEntry(platform::SystemTextToUtf8(cwd[0]), app_dir_)) << cwd[0];
      if (row.holdable) {
        // Nothing to shorten: the very text, and no warning.
        EXPECT_EQ(argv[5], data);
        EXPECT_EQ(argv[6], loose);
        EXPECT_EQ(log.find("WARNING"), std::string::npos) << log;
      } else {
        // The log shows the line as passed, short forms included.
        EXPECT_NE(log.find("INFO: launch command==\"" + argv[0] + "\""), std::string::npos) << log;
        // The other argument passes as it is, with one warning naming it.
        EXPECT_NE(argv[6], loose);
        EXPECT_NE(log.find("WARNING: Launcher::Run::start::commandline=the argument \""),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find(std::string("holds ") + row.first + ", which the ANSI code page"),
                  std::string::npos)
            << log;
      }
    }

    // A line too long to start goes through an argument file in the user's
    // temporary folder: the runtime receives a name it can open.
    std::string long_ini = "[default]\r\njavamin=11\r\njavasearch=bundled:jre\r\n";
    for (char c = 'a'; c <= 'i'; ++c) {
      long_ini += std::string("AddtlArgs_") + static_cast<char>('1' + (c - 'a')) + "=" +
                  std::string(3700, c) + "\r\n";
    }
    WriteIni(row.holdable ? Latin1(long_ini) : Utf16File(long_ini), "acme.ini");
    const kbtest::RunResult r = Launch(args, "acme_console");
    ASSERT_EQ(r.exit_code, 0) << r.output.substr(0, 2000);
    std::vector<std::string> argv;
    for (const std::string& arg : HexLines(r.output, "ARGX=")) {
      argv.push_back(platform::SystemTextToUtf8(arg));
    }
    ASSERT_EQ(argv.size(), 2u) << r.output.substr(0, 2000);
    EXPECT_EQ(argv[1].compare(0, 1, "@"), 0) << argv[1];
    EXPECT_EQ(argv[1].find('?'), std::string::npos) << argv[1];
    EXPECT_EQ(HexLines(r.output, "ARGFILE=").size(), 1u) << "the runtime cannot open " << argv[1];
    std::cout << "ANSI probe with an argument file, " << name << ": " << Show(argv) << "\n";
  }
}

}  // namespace
