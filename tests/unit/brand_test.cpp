// The brand tool's reading of what it is given: versions, icon files,
// version resources and manifests, including malformed ones.
#include "brand/brand.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using brand::Bytes;

void Put16(Bytes* b, std::uint16_t v) {
  b->push_back(static_cast<std::uint8_t>(v));
  b->push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes* b, std::uint32_t v) {
  Put16(b, static_cast<std::uint16_t>(v));
  Put16(b, static_cast<std::uint16_t>(v >> 16));
}

// An .ico file with one image whose data starts with `image`.
Bytes IconFile(const Bytes& image, std::uint16_t type = 1, std::uint16_t count = 1,
               std::uint32_t offset = 22) {
  Bytes file;
  Put16(&file, 0);
  Put16(&file, type);
  Put16(&file, count);
  file.insert(file.end(), {16, 16, 0, 0});
  Put16(&file, 1);
  Put16(&file, 32);
  Put32(&file, static_cast<std::uint32_t>(image.size()));
  Put32(&file, offset);
  file.insert(file.end(), image.begin(), image.end());
  return file;
}

// The icon's directory entry says this width and height (0 for 256).
Bytes WithEntrySize(Bytes file, std::uint8_t width, std::uint8_t height) {
  file[6] = width;
  file[7] = height;
  return file;
}

// Sound PNG images, their CRCs worked out by zlib: 16x16 with pixels, and
// 256x256 with its header and end chunk only.
Bytes Png16() {
  return {0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
          0x44, 0x52, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x10, 0x08, 0x06, 0x00, 0x00,
          0x00, 0x1f, 0xf3, 0xff, 0x61, 0x00, 0x00, 0x00, 0x16, 0x49, 0x44, 0x41, 0x54, 0x78,
          0xda, 0x63, 0xa8, 0xa7, 0x10, 0x30, 0x8c, 0x1a, 0x30, 0x6a, 0xc0, 0xa8, 0x01, 0xc3,
          0xc5, 0x00, 0x00, 0x20, 0x88, 0xfc, 0x10, 0x13, 0xa9, 0xbc, 0x3b, 0x00, 0x00, 0x00,
          0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
}
Bytes Png256() {
  return {0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49,
          0x48, 0x44, 0x52, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x08, 0x06,
          0x00, 0x00, 0x00, 0x5c, 0x72, 0xa8, 0x66, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45,
          0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
}

Bytes BitmapImage() {
  Bytes image;
  Put32(&image, 40);  // BITMAPINFOHEADER size
  image.resize(40 + 16 * 16 * 4 + 16 * 4, 0x7F);
  return image;
}

TEST(BrandTest, VersionMustBeFourNumbers) {
  const struct {
    const char* text;
    bool valid;
  } cases[] = {
      {"1.2.3.0", true},       {"0.0.0.0", true},    {"65535.0.0.65535", true},
      {"1.2.3", false},        {"1.2.3.4.5", false}, {"1.2.3.65536", false},
      {"1.2..3", false},       {"1.2.3.", false},    {".1.2.3", false},
      {"1.2.3.-1", false},     {"1.2.3.+1", false},  {" 1.2.3.4", false},
      {"1.2.3.4 ", false},     {"1.2.3.x", false},   {"", false},
      {"000001.2.3.4", false},
  };
  for (const auto& c : cases) {
    std::uint16_t numbers[4];
    EXPECT_EQ(brand::ParseVersion(c.text, numbers), c.valid) << c.text;
  }
  std::uint16_t numbers[4];
  ASSERT_TRUE(brand::ParseVersion("65535.2.30.400", numbers));
  EXPECT_EQ(numbers[0], 65535);
  EXPECT_EQ(numbers[3], 400);
}

TEST(BrandTest, OptionsNeedATargetAndSomethingToChange) {
  const struct {
    std::vector<std::string> args;
    bool valid;
  } cases[] = {
      {{"app.exe", "--icon", "a.ico", "--name", "My App", "--version", "1.2.3.0"}, true},
      {{"--company", "ACME", "app.exe"}, true},
      {{"app.exe", "--description", "Text"}, true},
      {{"app.exe", "--copyright", "(c) 2026 ACME"}, true},
      {{"app.exe", "--copyright"}, false},
      {{"app.exe"}, false},      // nothing to change
      {{"--name", "X"}, false},  // no target
      {{"app.exe", "other.exe", "--name", "X"}, false},
      {{"app.exe", "--name"}, false},  // option without value
      {{"app.exe", "--name", ""}, false},
      {{"app.exe", "--colour", "red"}, false},  // unknown option
      {{"app.exe", "--version", "1.2.3"}, false},
  };
  for (const auto& c : cases) {
    brand::Options options;
    std::string error;
    EXPECT_EQ(brand::ParseOptions(c.args, &options, &error), c.valid)
        << c.args[0] << " " << (c.args.size() > 1 ? c.args[1] : "");
    if (!c.valid) EXPECT_FALSE(error.empty());
  }
}

TEST(BrandTest, IconFilesThatAreNotIconsAreRefused) {
  const Bytes png_junk = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 1, 2, 3, 4, 5, 6, 7};
  Bytes png_bad_crc = Png16();
  png_bad_crc[45] ^= 0x01;  // a byte of the pixel data
  Bytes png_cut = Png16();
  png_cut.resize(png_cut.size() - 12);  // no end chunk
  const struct {
    const char* what;
    Bytes file;
    bool valid;
  } cases[] = {
      {"bitmap image", IconFile(BitmapImage()), true},
      {"png image", IconFile(Png16()), true},
      {"png image of 256 pixels, 0 in the directory", WithEntrySize(IconFile(Png256()), 0, 0),
       true},
      {"png signature followed by junk", IconFile(png_junk), false},
      {"png image of another size than its entry", WithEntrySize(IconFile(Png16()), 32, 32),
       false},
      {"png image with a wrong CRC", IconFile(png_bad_crc), false},
      {"png image without its end chunk", IconFile(png_cut), false},
      {"text", Bytes{'h', 'e', 'l', 'l', 'o', ',', ' ', 'n', 'o'}, false},
      {"empty", Bytes{}, false},
      {"cursor file", IconFile(BitmapImage(), 2), false},
      {"no images", IconFile(Bytes{}, 1, 0), false},
      {"directory cut short", IconFile(BitmapImage(), 1, 40), false},
      {"image past the end", IconFile(BitmapImage(), 1, 1, 4000), false},
      {"image inside the directory", IconFile(BitmapImage(), 1, 1, 6), false},
      {"image offset wrapping around", IconFile(BitmapImage(), 1, 1, 0xFFFFFFF0u), false},
      {"image that is no image", IconFile(Bytes{'M', 'Z', 0, 0, 0, 0}), false},
  };
  for (const auto& c : cases) {
    std::vector<brand::IconImage> images;
    std::string error;
    EXPECT_EQ(brand::ParseIconFile(c.file, &images, &error), c.valid) << c.what << ": " << error;
  }
}

TEST(BrandTest, NewImagesTakeTheGroupsOldIdsThenFreeOnes) {
  // Group 1 used 3 and 5; images 1 to 6 exist in the file.
  EXPECT_EQ(brand::AssignIconIds(1, {3, 5}, {1, 2, 3, 4, 5, 6}), (std::vector<std::uint16_t>{3}));
  EXPECT_EQ(brand::AssignIconIds(4, {3, 5}, {1, 2, 3, 4, 5, 6}),
            (std::vector<std::uint16_t>{3, 5, 7, 8}));
  EXPECT_EQ(brand::AssignIconIds(2, {}, {2}), (std::vector<std::uint16_t>{1, 3}));
}

// A version resource as the resource compiler writes one.
Bytes LauncherVersionResource() {
  brand::VersionBlock root{u"VS_VERSION_INFO", 0, {}, {}};
  Put32(&root.value, 0xFEEF04BD);
  root.value.resize(52, 0);
  auto text = [](const std::u16string& s) {
    Bytes v;
    for (char16_t c : s) Put16(&v, static_cast<std::uint16_t>(c));
    Put16(&v, 0);
    return v;
  };
  brand::VersionBlock table{u"040904b0", 1, {}, {}};
  table.children.push_back({u"CompanyName", 1, text(u"Orlan"), {}});
  table.children.push_back({u"FileDescription", 1, text(u"Kestrelbay windowed launcher"), {}});
  table.children.push_back({u"LegalCopyright", 1, text(u"kept as it is"), {}});
  brand::VersionBlock strings{u"StringFileInfo", 1, {}, {table}};
  brand::VersionBlock var{u"Translation", 0, {}, {}};
  Put32(&var.value, 0x04B00409);
  brand::VersionBlock var_info{u"VarFileInfo", 1, {}, {var}};
  root.children = {strings, var_info};
  return brand::BuildVersionResource(root);
}

TEST(BrandTest, RebrandedVersionKeepsWhatItDoesNotSet) {
  const std::uint16_t version[4] = {1, 2, 3, 0};
  brand::VersionStrings strings;
  strings.product_name = u"My App";
  strings.file_name = u"myapp.exe";
  Bytes rebranded;
  ASSERT_TRUE(brand::RebrandVersion(LauncherVersionResource(), version, strings, &rebranded));
  brand::VersionBlock root;
  ASSERT_TRUE(brand::ParseVersionResource(rebranded, &root));
  EXPECT_EQ(brand::VersionString(root, u"ProductName"), u"My App");
  EXPECT_EQ(brand::VersionString(root, u"FileDescription"), u"My App");
  EXPECT_EQ(brand::VersionString(root, u"FileVersion"), u"1.2.3.0");
  EXPECT_EQ(brand::VersionString(root, u"InternalName"), u"myapp");
  EXPECT_EQ(brand::VersionString(root, u"OriginalFilename"), u"myapp.exe");
  EXPECT_EQ(brand::VersionString(root, u"CompanyName"), u"Orlan");
  EXPECT_EQ(brand::VersionString(root, u"LegalCopyright"), u"kept as it is");
  // Branding again starts from the branded copy.
  strings = brand::VersionStrings();
  strings.description = u"Second";
  strings.copyright = u"\u00a9 2026 ACME";
  strings.file_name = u"myapp.exe";
  Bytes again;
  ASSERT_TRUE(brand::RebrandVersion(rebranded, nullptr, strings, &again));
  ASSERT_TRUE(brand::ParseVersionResource(again, &root));
  EXPECT_EQ(brand::VersionString(root, u"FileDescription"), u"Second");
  EXPECT_EQ(brand::VersionString(root, u"ProductName"), u"My App");
  EXPECT_EQ(brand::VersionString(root, u"FileVersion"), u"1.2.3.0");
  EXPECT_EQ(brand::VersionString(root, u"LegalCopyright"), u"\u00a9 2026 ACME");
}

bool IsIdentityName(const std::string& name) {
  if (name.empty() || name.front() == '.' || name.back() == '.') return false;
  if (name.find("..") != std::string::npos) return false;
  for (char c : name) {
    const bool ok =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.';
    if (!ok) return false;
  }
  return true;
}

TEST(BrandTest, ManifestIdentityNameIsAsciiPartsJoinedByDots) {
  const struct {
    std::u16string company;
    std::u16string product;
    const char* name;
  } cases[] = {
      {u"Acme", u"MyTool", "Acme.MyTool"},
      {u"Acme", u"My Tool", "Acme.MyTool"},
      {u"ACME Ltd", u"My App & \u65e5\u672c", "ACMELtd.MyApp"},
      {u"Orlan", u"Kestrelbay", "Orlan.Kestrelbay"},
      {u"Acme Inc.", u"Tool", "AcmeInc.Tool"},       // trailing dot
      {u".Acme", u"..Tool..Pro.", "Acme.Tool.Pro"},  // leading and double dots
      {u"", u"Tool", "Tool"},                        // no company
      {u"Acme", u"", "Acme"},                        // no product
      {u"Caf\u00e9 M\u00fcller", u"Stra\u00dfe \u00c6on", "CafeMuller.StrasseAEon"},
      {u"\u00d7\u00f7", u"Tool", "Tool"},                 // signs among the accents
      {u"\u65e5\u672c", u"\u65e5\u672c", "Application"},  // nothing ASCII at all
      {u"", u"", "Application"},
      {u"...", u" . ", "Application"},
      {std::u16string(u"A\0B", 3), u"C\tD\r\n<E>\"F\"", "AB.CDEF"},  // controls and markup
      {u"\U0001F600Smile", u"1.0", "Smile.1.0"},                     // a surrogate pair dropped
      {u"Acme-Tools_Ltd", u"My/Tool\\X:Y", "AcmeToolsLtd.MyToolXY"},
      {u"\uff21cme", u"T\u00f6\u00f6l", "cme.Tool"},  // full-width letters dropped
  };
  for (const auto& c : cases) {
    const std::string name = brand::ManifestIdentityName(c.company, c.product);
    EXPECT_EQ(name, c.name);
    EXPECT_TRUE(IsIdentityName(name)) << name;
  }
  // Every single character, alone and between letters, yields a valid name.
  for (std::uint32_t unit = 0; unit <= 0xFFFF; ++unit) {
    const std::u16string c(1, static_cast<char16_t>(unit));
    ASSERT_TRUE(IsIdentityName(brand::ManifestIdentityName(c, c))) << unit;
    ASSERT_TRUE(IsIdentityName(brand::ManifestIdentityName(u"A" + c + u"B", c + u"C" + c))) << unit;
  }
}

TEST(BrandTest, XmlTextEscapesMarkupAndReplacesWhatXmlForbids) {
  const struct {
    std::u16string text;
    std::string xml;
  } cases[] = {
      {u"My App", "My App"},
      {u"&", "&amp;"},
      {u"<", "&lt;"},
      {u">", "&gt;"},
      {u"\"", "&quot;"},
      {u"'", "&apos;"},
      {u"Tom & Jerry's <\"best\">", "Tom &amp; Jerry&apos;s &lt;&quot;best&quot;&gt;"},
      {u"&amp;", "&amp;amp;"},  // an entity given is text, escaped again
      {u"\u65e5\u672c", "\xe6\x97\xa5\xe6\x9c\xac"},
      {u"\u00a9 2026", "\xc2\xa9 2026"},
      {u"\U0001F600", "\xf0\x9f\x98\x80"},
      {u"a\tb\nc\rd", "a\tb\nc\rd"},  // the blanks XML allows
      {std::u16string(u"a\0b", 3),
       "a\xef\xbf\xbd"
       "b"},
      {u"\x01\x1f\x7f", "\xef\xbf\xbd\xef\xbf\xbd\x7f"},
      {u"\xd800x", "\xef\xbf\xbdx"},  // lone high surrogate
      {u"\xdc00", "\xef\xbf\xbd"},    // lone low surrogate
      {u"x\xd800", "x\xef\xbf\xbd"},  // high surrogate at the end
      {u"\xfffe\xffff", "\xef\xbf\xbd\xef\xbf\xbd"},
      {u"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(brand::XmlText(c.text), c.xml) << c.xml;
}

// The launcher's manifest, shortened.
const char kManifest[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
    "  <assemblyIdentity type=\"win32\" name=\"Orlan.Kestrelbay.Launcher\" version=\"1.0.0.0\" "
    "processorArchitecture=\"x86\"/>\n"
    "  <description>Kestrelbay Launcher</description>\n"
    "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"/>\n"
    "</assembly>\n";

TEST(BrandTest, ManifestTakesTheBrandsIdentityAndKeepsTheRest) {
  brand::ManifestBrand values;
  values.identity_name = "Acme.MyTool";
  values.version = "2.0.1.7";
  values.description = u"Tool & <\u65e5\u672c>";
  const std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n";
  const std::string tail =
      "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"/>\n"
      "</assembly>\n";
  const struct {
    const char* what;
    std::string manifest;
    bool valid;
    std::string expected;
  } cases[] = {
      {"the launcher's", kManifest, true,
       head +
           "  <assemblyIdentity type=\"win32\" name=\"Acme.MyTool\" version=\"2.0.1.7\" "
           "processorArchitecture=\"x86\"/>\n"
           "  <description>Tool &amp; &lt;\xe6\x97\xa5\xe6\x9c\xac&gt;</description>\n" +
           tail},
      {"version before name, single quotes, blanks around =",
       head + "  <assemblyIdentity version = '1.0.0.0'\n    name='Old'/>\n" + tail, true,
       head + "  <assemblyIdentity version = '2.0.1.7'\n    name='Acme.MyTool'/>" +
           "\n  <description>Tool &amp; &lt;\xe6\x97\xa5\xe6\x9c\xac&gt;</description>\n" + tail},
      {"no identity", head + "  <description>x</description>\n" + tail, false, ""},
      {"identity without a version",
       head + "  <assemblyIdentity type=\"win32\" name=\"Old\"/>\n" + tail, false, ""},
      {"identity without a name",
       head + "  <assemblyIdentity type=\"win32\" version=\"1.0.0.0\"/>\n" + tail, false, ""},
      {"identity never closed", head + "  <assemblyIdentity name=\"Old\" version=\"1.0.0.0\"",
       false, ""},
  };
  for (const auto& c : cases) {
    std::string out;
    ASSERT_EQ(brand::RebrandManifest(c.manifest, values, &out), c.valid) << c.what;
    if (c.valid) EXPECT_EQ(out, c.expected) << c.what;
  }
}

TEST(BrandTest, ManifestValuesFollowTheVersionResource) {
  const std::uint16_t version[4] = {65535, 2, 30, 400};
  brand::VersionStrings strings;
  strings.product_name = u"My App & \u65e5\u672c";
  strings.company = u"ACME Ltd";
  strings.description = u"Tool <beta>";
  strings.file_name = u"myapp.exe";
  Bytes rebranded;
  ASSERT_TRUE(brand::RebrandVersion(LauncherVersionResource(), version, strings, &rebranded));
  brand::VersionBlock root;
  ASSERT_TRUE(brand::ParseVersionResource(rebranded, &root));
  const brand::ManifestBrand values = brand::ManifestBrandOf(root);
  EXPECT_EQ(values.identity_name, "ACMELtd.MyApp");
  EXPECT_EQ(values.version, "65535.2.30.400");
  EXPECT_EQ(values.description, u"Tool <beta>");
}

TEST(BrandTest, CutOrCorruptVersionResourcesAreRefusedWithoutReadingPastThem) {
  const Bytes whole = LauncherVersionResource();
  brand::VersionBlock root;
  ASSERT_TRUE(brand::ParseVersionResource(whole, &root));
  // Every shorter copy keeps the full length in its header, so each one
  // claims more bytes than it has.
  for (std::size_t size = 0; size < whole.size(); ++size) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_FALSE(brand::ParseVersionResource(cut, &root)) << size;
  }
  // A child claiming a length below its own header.
  Bytes bad = whole;
  const std::size_t first_child = 40 + 52;  // header and key with padding, fixed part
  bad[first_child] = 2;
  bad[first_child + 1] = 0;
  EXPECT_FALSE(brand::ParseVersionResource(bad, &root));
}

// Executable headers whose certificate table entry has the given size.
Bytes Headers(std::uint16_t magic, std::uint32_t certificate_size, std::uint32_t directories = 16) {
  Bytes h(0x40, 0);
  h[0] = 'M';
  h[1] = 'Z';
  h[0x3C] = 0x40;
  h.insert(h.end(), {'P', 'E', 0, 0});
  h.resize(h.size() + 20, 0);  // file header
  const std::size_t optional = h.size();
  Put16(&h, magic);
  const std::size_t count_at = optional + (magic == 0x20B ? 108 : 92);
  h.resize(count_at, 0);
  Put32(&h, directories);
  h.resize(h.size() + 4 * 8, 0);
  Put32(&h, certificate_size == 0 ? 0 : 0x5000);
  Put32(&h, certificate_size);
  h.resize(h.size() + 11 * 8, 0);
  return h;
}

Bytes Cut(Bytes bytes, std::size_t size) {
  bytes.resize(size);
  return bytes;
}

TEST(BrandTest, SignedFilesAreRecognisedFromTheirHeaders) {
  const struct {
    const char* what;
    Bytes headers;
    bool signed_file;
  } cases[] = {
      {"32-bit, unsigned", Headers(0x10B, 0), false},
      {"32-bit, signed", Headers(0x10B, 0x2000), true},
      {"64-bit, signed", Headers(0x20B, 0x2000), true},
      {"too few directories to hold one", Headers(0x10B, 0x2000, 4), false},
      {"cut before the directories", Cut(Headers(0x10B, 0x2000), 0x80), false},
      {"not an executable", Bytes(200, 'x'), false},
      {"empty", Bytes{}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(brand::HasSignature(c.headers), c.signed_file) << c.what;
  // A new-header offset pointing past the end is not followed.
  Bytes far = Headers(0x10B, 0x2000);
  far[0x3E] = 0x7F;
  EXPECT_FALSE(brand::HasSignature(far));
}

}  // namespace
