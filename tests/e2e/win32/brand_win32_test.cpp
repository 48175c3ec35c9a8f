// launcher_brand run as a shipper runs it, the branded copy read back
// through the Windows services (version information, string loading, icon
// lookup, manifest activation), then started as a launcher.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "support/e2e_support.h"
// After the helpers: the Windows header turns CopyFile into a macro.
#include "platform/win32/windows_api.h"

// The test helper of that name, not the Windows macro.
#undef CopyFile

namespace kbtest {
namespace {

void Put16(std::string* b, std::uint16_t v) {
  b->push_back(static_cast<char>(v & 0xFF));
  b->push_back(static_cast<char>(v >> 8));
}
void Put32(std::string* b, std::uint32_t v) {
  Put16(b, static_cast<std::uint16_t>(v & 0xFFFF));
  Put16(b, static_cast<std::uint16_t>(v >> 16));
}

// A 32-bit bitmap icon image of one colour, with its mask.
std::string IconImage(int size, std::uint32_t colour) {
  std::string image;
  Put32(&image, 40);
  Put32(&image, static_cast<std::uint32_t>(size));
  Put32(&image, static_cast<std::uint32_t>(2 * size));  // image and mask
  Put16(&image, 1);
  Put16(&image, 32);
  for (int i = 0; i < 6; ++i) Put32(&image, 0);
  for (int i = 0; i < size * size; ++i) Put32(&image, colour);
  image.append(static_cast<std::size_t>(size * ((size + 31) / 32) * 4), '\0');
  return image;
}

std::string IconFile(const std::vector<std::string>& images, const std::vector<int>& sizes) {
  std::string file;
  Put16(&file, 0);
  Put16(&file, 1);
  Put16(&file, static_cast<std::uint16_t>(images.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    file.push_back(static_cast<char>(sizes[i]));
    file.push_back(static_cast<char>(sizes[i]));
    file.append(2, '\0');
    Put16(&file, 1);
    Put16(&file, 32);
    Put32(&file, static_cast<std::uint32_t>(images[i].size()));
    Put32(&file, offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const std::string& image : images) file += image;
  return file;
}

std::string VersionValue(const std::string& file, const std::string& key) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(file.c_str(), &ignored);
  if (size == 0) return "<no version information>";
  std::vector<char> info(size);
  if (!::GetFileVersionInfoA(file.c_str(), 0, size, info.data())) return "<unreadable>";
  void* value = nullptr;
  UINT length = 0;
  const std::string path = "\\StringFileInfo\\040904b0\\" + key;
  if (!::VerQueryValueA(info.data(), path.c_str(), &value, &length) || length == 0)
    return "<absent>";
  return static_cast<const char*>(value);
}

bool FixedVersion(const std::string& file, DWORD* ms, DWORD* ls) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(file.c_str(), &ignored);
  std::vector<char> info(size + 1);
  void* value = nullptr;
  UINT length = 0;
  if (size == 0 || !::GetFileVersionInfoA(file.c_str(), 0, size, info.data()) ||
      !::VerQueryValueA(info.data(), "\\", &value, &length)) {
    return false;
  }
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  *ms = fixed->dwFileVersionMS;
  *ls = fixed->dwFileVersionLS;
  return fixed->dwProductVersionMS == *ms && fixed->dwProductVersionLS == *ls;
}

BOOL CALLBACK CountOne(HMODULE, LPCSTR, LPSTR, LONG_PTR counter) {
  ++*reinterpret_cast<int*>(counter);
  return TRUE;
}

// A file mapped as data, for the resource services.
class DataFile {
 public:
  explicit DataFile(const std::string& path)
      : module_(::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
  ~DataFile() {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }
  HMODULE get() const { return module_; }

  std::string String(int id) const {
    char text[1024];
    const int n = ::LoadStringA(module_, static_cast<UINT>(id), text, sizeof text);
    return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
  }
  std::string Resource(LPCSTR type, WORD id) const {
    HRSRC found = ::FindResourceA(module_, MAKEINTRESOURCEA(id), type);
    if (found == nullptr) return std::string();
    const char* data = static_cast<const char*>(::LockResource(::LoadResource(module_, found)));
    return std::string(data, ::SizeofResource(module_, found));
  }
  int IconImageCount() const {
    int count = 0;
    ::EnumResourceNamesA(module_, RT_ICON, CountOne, reinterpret_cast<LONG_PTR>(&count));
    return count;
  }

 private:
  HMODULE module_;
};

class Brand : public LauncherTest {
 protected:
  RunResult BrandTool(const std::string& args) {
    return kbtest::Run(kb::QuoteArgument(BuiltProgram("launcher_brand")) + " " + args);
  }
  static std::string Q(const std::string& s) { return kb::QuoteArgument(s); }
};

TEST(VersionResources, EachProgramCarriesTheProjectVersionAndItsOwnName) {
  const struct {
    const char* program;
    const char* description;
  } cases[] = {
      {"launcher_console", "Kestrelbay console launcher"},
      {"launcher", "Kestrelbay windowed launcher"},
      {"launcher_brand", "Kestrelbay launcher brand tool"},
  };
  for (const auto& c : cases) {
    const std::string file = BuiltProgram(c.program);
    EXPECT_EQ(VersionValue(file, "FileDescription"), c.description);
    EXPECT_EQ(VersionValue(file, "InternalName"), c.program);
    EXPECT_EQ(VersionValue(file, "OriginalFilename"), std::string(c.program) + ".exe");
    EXPECT_EQ(VersionValue(file, "FileVersion"), KB_PROJECT_VERSION);
    EXPECT_EQ(VersionValue(file, "ProductVersion"), KB_PROJECT_VERSION);
    DWORD ms = 0, ls = 0;
    ASSERT_TRUE(FixedVersion(file, &ms, &ls)) << c.program;
    const std::string numbers = std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
                                std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
    EXPECT_EQ(numbers, KB_PROJECT_VERSION) << c.program;
    const std::string manifest = DataFile(file).Resource(RT_MANIFEST, 1);
    EXPECT_NE(manifest.find("version=\"" KB_PROJECT_VERSION "\""), std::string::npos) << c.program;
  }
}

TEST_F(Brand, BrandedCopyReadsBackThroughWindowsAndStillRuns) {
  const std::string target = Install("myapp", "launcher");
  const std::string small = IconImage(16, 0xFF0000FFu);
  const std::string large = IconImage(32, 0xFF00FF00u);
  const std::string icon = dir_ / "myapp.ico";
  WriteFile(icon, IconFile({small, large}, {16, 32}));

  const RunResult r = BrandTool(Q(target) + " --icon " + Q(icon) +
                                " --name \"My App\" --version 1.2.3.0 --company \"ACME Ltd\"" +
                                " --copyright \"Copyright 2026 ACME Ltd\"");
  ASSERT_EQ(r.exit_code, 0) << r.output;

  DWORD ms = 0, ls = 0;
  EXPECT_TRUE(FixedVersion(target, &ms, &ls));
  EXPECT_EQ(ms, 0x00010002u);
  EXPECT_EQ(ls, 0x00030000u);
  const struct {
    const char* key;
    const char* value;
  } strings[] = {
      {"ProductName", "My App"},         {"FileDescription", "My App"},
      {"CompanyName", "ACME Ltd"},       {"FileVersion", "1.2.3.0"},
      {"ProductVersion", "1.2.3.0"},     {"InternalName", "myapp"},
      {"OriginalFilename", "myapp.exe"}, {"LegalCopyright", "Copyright 2026 ACME Ltd"},
  };
  for (const auto& s : strings) EXPECT_EQ(VersionValue(target, s.key), s.value) << s.key;

  {
    const DataFile branded(target);
    const DataFile original(BuiltProgram("launcher"));
    ASSERT_NE(branded.get(), nullptr);
    for (int id = 1; id <= 11; ++id) {
      EXPECT_FALSE(original.String(id).empty()) << id;
      EXPECT_EQ(branded.String(id), original.String(id)) << "string " << id;
    }
    // The manifest names the brand; from its description on it is the
    // launcher's own.
    const std::string manifest = branded.Resource(RT_MANIFEST, 1);
    const std::string launcher_manifest = original.Resource(RT_MANIFEST, 1);
    EXPECT_NE(manifest.find("name=\"ACMELtd.MyApp\" version=\"1.2.3.0\""), std::string::npos)
        << manifest;
    ASSERT_NE(manifest.find("<description>"), std::string::npos);
    EXPECT_EQ(manifest.substr(manifest.find("</description>")),
              launcher_manifest.substr(launcher_manifest.find("</description>")));

    // The group offers exactly the new images, and Windows builds icons
    // from them; the launcher's eight old images are gone.
    std::string group = branded.Resource(RT_GROUP_ICON, 1);
    ASSERT_FALSE(group.empty());
    auto* directory = reinterpret_cast<PBYTE>(&group[0]);
    for (const auto& expected : {std::make_pair(16, small), std::make_pair(32, large)}) {
      const int id = ::LookupIconIdFromDirectoryEx(directory, TRUE, expected.first, expected.first,
                                                   LR_DEFAULTCOLOR);
      ASSERT_NE(id, 0) << expected.first;
      std::string image = branded.Resource(RT_ICON, static_cast<WORD>(id));
      EXPECT_TRUE(image == expected.second) << expected.first;
      HICON handle = ::CreateIconFromResourceEx(reinterpret_cast<PBYTE>(&image[0]),
                                                static_cast<DWORD>(image.size()), TRUE, 0x00030000,
                                                expected.first, expected.first, LR_DEFAULTCOLOR);
      EXPECT_NE(handle, nullptr) << expected.first;
      if (handle != nullptr) ::DestroyIcon(handle);
    }
    EXPECT_EQ(branded.IconImageCount(), 2);
  }

  // A branded copy is still recognised, so it can be branded again.
  const RunResult again = BrandTool(Q(target) + " --description \"Second\"");
  ASSERT_EQ(again.exit_code, 0) << again.output;
  EXPECT_EQ(VersionValue(target, "FileDescription"), "Second");
  EXPECT_EQ(VersionValue(target, "ProductName"), "My App");
  EXPECT_EQ(VersionValue(target, "FileVersion"), "1.2.3.0");
  EXPECT_EQ(VersionValue(target, "LegalCopyright"), "Copyright 2026 ACME Ltd");
  EXPECT_NE(DataFile(target).Resource(RT_MANIFEST, 1).find("<description>Second</description>"),
            std::string::npos);

  // And it still launches: the windowed kind, its own configuration.
  WriteIni(
      "[wx6]\nlaunchercmd=" + Child() + "\nlauncherargs=--tc-quiet --tc-out=branded --tc-exit=5\n",
      "myapp.ini");
  const RunResult run = Launch("", "myapp");
  EXPECT_EQ(run.exit_code, 5);
  EXPECT_EQ(run.output, "");
  EXPECT_NE(LogContent("myapp").find("Standard output\r\nbranded\r\n"), std::string::npos)
      << LogContent("myapp");
}

// True when the system builds an activation context from the program's
// manifest, as it does before starting it.
bool ManifestActivates(const std::string& program) {
  ACTCTXA context = {};
  context.cbSize = sizeof context;
  context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  context.lpSource = program.c_str();
  context.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
  HANDLE handle = ::CreateActCtxA(&context);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::ReleaseActCtx(handle);
  return true;
}

std::string Between(const std::string& text, const std::string& open, const std::string& close) {
  const std::size_t start = text.find(open);
  if (start == std::string::npos) return "<no " + open + ">";
  const std::size_t end = text.find(close, start + open.size());
  if (end == std::string::npos) return "<no " + close + ">";
  return text.substr(start + open.size(), end - start - open.size());
}

TEST_F(Brand, ManifestNamesTheBrandInAnyTextAndDeclaresTheSystemsAndScaling) {
  const std::string target = Install("tally", "launcher");
  const RunResult r = BrandTool(
      Q(target) + " --company \"Acme\" --name \"My Tool & \xe6\x97\xa5\xe6\x9c\xac\"" +
      " --description \"Tool <beta> \\\"q\\\" 's' & \xe6\x97\xa5\xe6\x9c\xac\" --version 2.0.1.7");
  ASSERT_EQ(r.exit_code, 0) << r.output;
  const std::string manifest = DataFile(target).Resource(RT_MANIFEST, 1);
  const std::string identity = Between(manifest, "<assemblyIdentity", "/>");
  EXPECT_NE(identity.find(" name=\"Acme.MyTool\""), std::string::npos) << identity;
  EXPECT_NE(identity.find(" version=\"2.0.1.7\""), std::string::npos) << identity;
  EXPECT_EQ(Between(manifest, "<description>", "</description>"),
            "Tool &lt;beta&gt; &quot;q&quot; &apos;s&apos; &amp; \xe6\x97\xa5\xe6\x9c\xac");
  const struct {
    const char* system;
    const char* id;
  } systems[] = {
      {"Vista", "{e2011457-1546-43c5-a5fe-008deee3d3f0}"},
      {"7", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"},
      {"8", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"},
      {"8.1", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}"},
      {"10 and 11", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"},
  };
  for (const auto& s : systems) {
    EXPECT_NE(manifest.find("<supportedOS Id=\"" + std::string(s.id) + "\"/>"), std::string::npos)
        << "Windows " << s.system;
  }
  const std::string settings = Between(manifest, "<windowsSettings>", "</windowsSettings>");
  EXPECT_EQ(Between(settings,
                    "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">",
                    "</dpiAware>"),
            "true/PM");
  EXPECT_EQ(
      Between(settings,
              "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">",
              "</dpiAwareness>"),
      "PerMonitorV2, PerMonitor");
  EXPECT_TRUE(ManifestActivates(target));

  WriteIni("[wx6]\nlaunchercmd=" + Child() + "\nlauncherargs=--tc-quiet --tc-exit=7\n",
           "tally.ini");
  EXPECT_EQ(Launch("", "tally").exit_code, 7);
}

TEST_F(Brand, BadInputIsRefusedAndLeavesTheFileUntouched) {
  const std::string launcher = Install("myapp", "launcher");
  const std::string other = Join(app_dir_, "other.exe");
  CopyFile(Child(), other);
  const std::string not_icon = dir_ / "notice.ico";
  WriteFile(not_icon, "This is a text file, not an icon.\r\n");
  const std::string icon = dir_ / "good.ico";
  WriteFile(icon, IconFile({IconImage(16, 0xFFFFFFFFu)}, {16}));

  const struct {
    const char* what;
    std::string target;
    std::string args;
    bool read_only;
    const char* message;
  } cases[] = {
      {"icon that is not one", launcher, "--icon " + Q(not_icon), false, "not an icon"},
      {"not one of our launchers", other, "--icon " + Q(icon), false, "not a copy of the launcher"},
      {"version of three numbers", launcher, "--version 1.2.3", false, "four numbers"},
      {"read-only target", launcher, "--name X --icon " + Q(icon), true, "read-only"},
      {"missing target", Join(app_dir_, "absent.exe"), "--name X", false, "cannot find"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string before = ReadFile(c.target);
    if (c.read_only) ASSERT_TRUE(::SetFileAttributesA(c.target.c_str(), FILE_ATTRIBUTE_READONLY));
    const RunResult r = BrandTool(Q(c.target) + " " + c.args);
    if (c.read_only) ::SetFileAttributesA(c.target.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_NE(r.exit_code, 0);
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
    EXPECT_TRUE(ReadFile(c.target) == before) << "the file was changed";
  }
}

}  // namespace
}  // namespace kbtest
