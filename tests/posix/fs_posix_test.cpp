// File-system services of the POSIX layer against the real system: the
// codes and words of its failures, and who else may change a file or folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/error_codes.h"
#include "platform/fs.h"
#include "platform/handle.h"
#include "support/test_support.h"

namespace {

class FsPosix : public ::testing::Test {
 protected:
  kbtest::ScratchDir dir_;
};

TEST_F(FsPosix, CreateDirectoryTreeAnswersTheErrorMet) {
  kbtest::WriteFile(dir_ / "plain.txt", "x");
  const std::string nested = dir_ / "a/b/c";
  struct Case {
    std::string path;
    int expected;
  };
  // In order: each row may rely on the rows before it.
  const Case cases[] = {
      {nested, platform::kErrorSuccess},
      {nested, platform::kErrorAlreadyExists},
      {dir_ / "plain.txt", platform::kErrorAlreadyExists},
      // Windows answers 3 here; its words would read "No such process".
      {dir_ / "plain.txt/below", ENOTDIR},
      {dir_ / "plain.txt/below/deeper", ENOTDIR},
      {"relative/dir", platform::kErrorBadPathname},
      {"", platform::kErrorBadPathname},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::CreateDirectoryTree(c.path), c.expected) << c.path;
  }
}

TEST_F(FsPosix, ErrorTextGivesTheWordsOfTheOutcome) {
  struct Case {
    int error;
    const char* words;
  };
  const Case cases[] = {
      {0, ""},
      {platform::kErrorFileNotFound, "No such file or directory"},
      {platform::kErrorFileExists, "File exists"},  // errno 80 is ELIBBAD
      {platform::kErrorAlreadyExists, "File exists"},
      {platform::kErrorBadPathname, "Not an absolute path"},
      {platform::kErrorNotRegularFile, "Not a regular file"},
      {ENOTDIR, "Not a directory"},
      {ENOSPC, "No space left on device"},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::ErrorText(c.error), c.words) << c.error;
}

// OthersMayChange judges the user file, and WhyNotPrivateFolder (the Java
// cache's folder, the lock folder) asks it of the folder.
TEST_F(FsPosix, OthersMayChangeNamesTheOwnerOrTheMode) {
  struct Case {
    const char* label;
    mode_t mode;       // the file's; the folder's has its search bit too
    bool other_owner;  // needs root to give them away
    std::string why;
    std::string folder_why;
  };
  const std::string other = "it belongs to user " + std::to_string(kbtest::kOtherUserId);
  const std::string writable = "group or others may write to it (mode ";
  const Case cases[] = {
      {"own, private", 0600, false, "", ""},
      {"own, group may read", 0640, false, "", ""},
      {"group may write", 0664, false, writable + "664)", writable + "764)"},
      {"others may write", 0602, false, writable + "602)", writable + "702)"},
      {"owned by another user", 0600, true, other, other},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    if (c.other_owner && !kbtest::IsSuperuser()) continue;
    const std::string file = dir_ / "file.ini";
    const std::string folder = dir_ / "folder";
    kbtest::WriteFile(file, "[default]\n");
    kbtest::MakeDirs(folder);
    // The folder's mode keeps its search bits.
    ASSERT_EQ(::chmod(file.c_str(), c.mode), 0);
    ASSERT_EQ(::chmod(folder.c_str(), c.mode | 0100), 0);
    if (c.other_owner) {
      kbtest::GiveAway(file);
      kbtest::GiveAway(folder);
    }
    platform::Handle opened;
    ASSERT_EQ(platform::OpenRegularFile(file, &opened, nullptr), 0);
    std::string why;
    EXPECT_EQ(platform::OthersMayChange(opened, &why), 0);
    EXPECT_EQ(why, c.why);
    EXPECT_EQ(platform::WhyNotPrivateFolder(folder), c.folder_why);
    (void)opened.Close();
    ASSERT_EQ(::unlink(file.c_str()), 0);
    ASSERT_EQ(::rmdir(folder.c_str()), 0);
  }
}

}  // namespace
