// The user file ("userini"): read once, through the descriptor it was judged
// on, and every lookup answered from those bytes as the file lookups answer.
#include "config/user_ini.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "config/ini_file.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

class UserIniTest : public ::testing::Test {
 protected:
  kbtest::ScratchDir dir_;
};

TEST_F(UserIniTest, AFileSwappedInAfterTheJudgementIsNeverRead) {
  const std::string path = dir_ / "user.ini";
  kbtest::WriteFile(path, "[default]\nJavaArgs_1=judged\n");
  const kb::UserIni user = kb::UserIni::Open(path);
  ASSERT_TRUE(user.IsRead());
  // What another user who may write the folder could do: rename a file of
  // their own into the judged one's place.
  const std::string other = dir_ / "other.ini";
  kbtest::WriteFile(other, "[default]\nJavaArgs_1=swapped\nJavaArgs_2=added\n");
  fs::rename(fs::u8path(other), fs::u8path(path));
  ASSERT_EQ(kb::ReadIniValue("wx6", "JavaArgs_1", path), "swapped") << "the swap took place";
  EXPECT_EQ(user.Lookup("wx6", "JavaArgs_1"), "judged");
  EXPECT_EQ(user.Lookup("wx6", "JavaArgs_2"), "");
  // A copy keeps the bytes it was read with.
  const kb::UserIni copy = user;
  EXPECT_EQ(copy.Lookup("wx6", "JavaArgs_1"), "judged");
}

TEST_F(UserIniTest, LookupsFromTheBytesAnswerAsTheFileLookupsDo) {
  struct Case {
    const char* label;
    std::string bytes;
    const char* key;
  };
  const std::string utf16 = std::string("\xFF\xFE", 2) + std::string(
                                                             "[\0w\0x\0"
                                                             "6\0]\0\n\0k\0=\0\xE9\0\n\0",
                                                             20);
  const Case cases[] = {
      {"platform section first", "[wx6]\nk=p\n[default]\nk=d\n", "k"},
      {"default next", "[default]\nk=d\n", "k"},
      {"present but empty hides default", "[wx6]\nk=\n[default]\nk=d\n", "k"},
      {"outer quotes dropped", "[default]\nk= \"a b\" \n", "k"},
      {"absent", "[default]\nother=1\n", "k"},
      // A byte the system's code page reads as a letter (Windows: ANSI).
      {"code-page byte", "[default]\nk=caf\xE9\n", "k"},
      {"UTF-16LE with its mark", utf16, "k"},
      {"a UTF-8 mark, as each build's service reads it", "\xEF\xBB\xBF[wx6]\nk=p\n[default]\nk=d\n",
       "k"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string path = dir_ / "user.ini";
    kbtest::WriteFile(path, c.bytes);
    const kb::UserIni user = kb::UserIni::Open(path);
    ASSERT_TRUE(user.IsRead());
    EXPECT_EQ(user.Lookup("wx6", c.key), kb::ReadIniValue("wx6", c.key, path));
  }
}

TEST_F(UserIniTest, RefusalLineOnlyForARefusedFile) {
  const std::string path = dir_ / "user.ini";
  kbtest::WriteFile(path, "[default]\nk=v\n");
  EXPECT_EQ(kb::UserIni::Open(path).RefusalLine(), "");
  EXPECT_EQ(kb::UserIni::Open(dir_ / "none.ini").RefusalLine(), "");
  EXPECT_EQ(kb::UserIni::Open("user.ini").RefusalLine(),
            "WARNING: the user file user.ini is not an absolute path: not read; the "
            "configuration file's values are used");
}

}  // namespace
