// The brand tool's data work: its options, icon files, the icon group
// resource, the version resource and the application manifest. Plain
// functions over bytes and strings; the tool's Windows side reads and writes
// the executable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brand {

using Bytes = std::vector<std::uint8_t>;

struct Options {
  std::string target;
  std::string icon;         // .ico file; empty: icon left as it is
  std::string name;         // ProductName, and FileDescription unless description is given
  std::string version;      // four numbers "a.b.c.d"
  std::string company;      // CompanyName
  std::string description;  // FileDescription
  std::string copyright;    // LegalCopyright
};

// Parses the tool's arguments (after the program name). On failure returns
// false and says why in *error.
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error);

// "a.b.c.d", each a decimal number from 0 to 65535 without sign or blanks.
bool ParseVersion(const std::string& text, std::uint16_t out[4]);

// One image of an icon: its directory entry fields and its bytes.
struct IconImage {
  std::uint8_t width = 0;
  std::uint8_t height = 0;
  std::uint8_t colors = 0;
  std::uint16_t planes = 0;
  std::uint16_t bit_count = 0;
  Bytes data;
};

// The images of an .ico file. False, with the reason, when the bytes are not
// an icon: wrong header, no images, an entry outside the file, or image data
// that is neither a PNG nor a device-independent bitmap, or a PNG image
// whose header does not give the entry's size, whose chunks are cut or
// carry a wrong CRC, or that does not end (IEND) within the entry.
bool ParseIconFile(const Bytes& file, std::vector<IconImage>* images, std::string* error);

// The image ids an icon group resource refers to; false when the bytes are
// not an icon group.
bool ParseIconGroup(const Bytes& group, std::vector<std::uint16_t>* ids);
// An icon group resource for the images, image i under ids[i].
Bytes BuildIconGroup(const std::vector<IconImage>& images, const std::vector<std::uint16_t>& ids);

// The image ids for new images: the group's old ids first, in order, then
// the lowest ids that no image of the file uses.
std::vector<std::uint16_t> AssignIconIds(std::size_t count,
                                         const std::vector<std::uint16_t>& old_ids,
                                         const std::vector<std::uint16_t>& used_ids);

// A version resource (VS_VERSIONINFO) as a tree of blocks.
struct VersionBlock {
  std::u16string key;
  std::uint16_t type = 1;  // 1 text value, 0 binary value
  Bytes value;             // text values: UTF-16 with its terminating zero
  std::vector<VersionBlock> children;
};

// False when the bytes are not a well-formed version resource.
bool ParseVersionResource(const Bytes& bytes, VersionBlock* root);
Bytes BuildVersionResource(const VersionBlock& root);

// A new version resource for the executable's own file name: with the
// version numbers in the fixed part and in FileVersion and ProductVersion
// (when version is non-null), the given strings set in every string table
// (an empty value leaves that string alone), and InternalName and
// OriginalFilename naming the file.
struct VersionStrings {
  std::u16string product_name;
  std::u16string company;
  std::u16string description;
  std::u16string copyright;
  std::u16string file_name;  // "myapp.exe"
};
bool RebrandVersion(const Bytes& old_resource, const std::uint16_t* version,
                    const VersionStrings& strings, Bytes* resource);

// A text of the version resource's first string table; empty when absent.
std::u16string VersionString(const VersionBlock& root, const std::u16string& key);

// The application manifest's identity name for a company and a product:
// ASCII letters and digits only, in dot-separated parts, never empty and
// never with an empty part. Accented Latin letters become their plain
// ones; blanks and every other character are dropped. Windows refuses to
// start a program whose manifest breaks this, before any of its code runs.
std::string ManifestIdentityName(const std::u16string& company, const std::u16string& product);

// A text as XML character data in UTF-8, fit for an element or an attribute
// in either quotes: markup characters escaped, characters that XML does not
// allow (most control characters, lone surrogates, U+FFFE and U+FFFF)
// replaced by U+FFFD.
std::string XmlText(const std::u16string& text);

// What the manifest says of the program, taken from its version resource:
// the identity from CompanyName and ProductName, the version from the fixed
// numbers, the description from FileDescription.
struct ManifestBrand {
  std::string identity_name;
  std::string version;  // "a.b.c.d"
  std::u16string description;
};
ManifestBrand ManifestBrandOf(const VersionBlock& version_root);

// The manifest with its assemblyIdentity's name and version and its
// description (added after the identity when absent) set to the brand's;
// everything else is kept byte for byte. False when the manifest has no
// assemblyIdentity element with a name and a version.
bool RebrandManifest(const std::string& manifest, const ManifestBrand& brand, std::string* out);

// An ASCII text as UTF-16 (for keys and numbers).
std::u16string Widen(const std::string& ascii);

// True when the start of an executable file (its headers) names a
// certificate table: the file is signed, and changing it would break the
// signature.
bool HasSignature(const Bytes& headers);

// The launcher's string table by id (1 to 11), as the launchers carry it.
struct LauncherString {
  int id;
  const char* text;
};
const std::vector<LauncherString>& LauncherStrings();

}  // namespace brand
