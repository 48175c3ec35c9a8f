// launcher_brand: puts an application's icon and version information on a
// copy of the launcher, and the same identity in its manifest, through the
// Windows resource-update service, and leaves every other resource as it is.
#include <cstdio>
#include <string>
#include <vector>

#include "brand/brand.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace {

constexpr char kUsage[] =
    "usage: launcher_brand <launcher copy.exe> [--icon app.ico] [--name \"App Name\"]\n"
    "                      [--version 1.2.3.0] [--company \"Company\"] [--description \"Text\"]\n"
    "                      [--copyright \"Text\"]\n"
    "Brand the copy before signing it: branding changes the file.\n";

constexpr int kExitBadInput = 1;
constexpr int kExitUpdateFailed = 2;
// The language our resources are written in when the file has none.
constexpr WORD kDefaultLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

int Fail(const std::string& message, int code = kExitBadInput) {
  (void)platform::WriteStdText(platform::StdStream::kError,
                               "launcher_brand: " + message + "\n");  // nowhere else to tell
  return code;
}

std::string ErrorText(DWORD error) { return "system error " + std::to_string(error); }

// Read without waiting, and only when a regular file: an icon named
// "CON" or "\\.\pipe\x" would otherwise hold the tool.
bool ReadWholeFile(const std::string& path, brand::Bytes* bytes) {
  std::string text;
  if (platform::ReadRegularFile(path, static_cast<std::size_t>(-1), &text) != 0) return false;
  bytes->assign(text.begin(), text.end());
  return true;
}

std::u16string FromUtf8(const std::string& text) {
  const std::wstring wide = platform::win32::Wide(text);
  return std::u16string(wide.begin(), wide.end());
}

// A module mapped as data only: its resources can be read, nothing runs.
class DataModule {
 public:
  explicit DataModule(const std::string& path)
      : module_(::LoadLibraryExW(platform::win32::Wide(path).c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE)) {}
  ~DataModule() {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }
  DataModule(const DataModule&) = delete;
  DataModule& operator=(const DataModule&) = delete;
  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
};

// A resource type or name: a number, or a text.
struct ResourceName {
  WORD id = 0;
  std::string text;  // used when not empty
  LPCSTR get() const { return text.empty() ? MAKEINTRESOURCEA(id) : text.c_str(); }
  bool Is(WORD number) const { return text.empty() && id == number; }
  static ResourceName From(LPCSTR name) {
    ResourceName n;
    if (IS_INTRESOURCE(name)) {
      n.id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    } else {
      n.text = name;
    }
    return n;
  }
};

struct Resource {
  ResourceName type;
  ResourceName name;
  WORD language;
  brand::Bytes data;
};

BOOL CALLBACK CollectType(HMODULE, LPSTR type, LONG_PTR out) {
  reinterpret_cast<std::vector<ResourceName>*>(out)->push_back(ResourceName::From(type));
  return TRUE;
}
BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR out) {
  reinterpret_cast<std::vector<ResourceName>*>(out)->push_back(ResourceName::From(name));
  return TRUE;
}
BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR out) {
  reinterpret_cast<std::vector<WORD>*>(out)->push_back(language);
  return TRUE;
}

// Every resource of the module, in the order the system lists them.
std::vector<Resource> AllResources(HMODULE module) {
  std::vector<Resource> all;
  std::vector<ResourceName> types;
  ::EnumResourceTypesA(module, CollectType, reinterpret_cast<LONG_PTR>(&types));
  for (const ResourceName& type : types) {
    std::vector<ResourceName> names;
    ::EnumResourceNamesA(module, type.get(), CollectName, reinterpret_cast<LONG_PTR>(&names));
    for (const ResourceName& name : names) {
      std::vector<WORD> languages;
      ::EnumResourceLanguagesA(module, type.get(), name.get(), CollectLanguage,
                               reinterpret_cast<LONG_PTR>(&languages));
      for (WORD language : languages) {
        Resource r{type, name, language, {}};
        HRSRC found = ::FindResourceExA(module, type.get(), name.get(), language);
        const auto* data =
            found == nullptr
                ? nullptr
                : static_cast<const std::uint8_t*>(::LockResource(::LoadResource(module, found)));
        if (data != nullptr) r.data.assign(data, data + ::SizeofResource(module, found));
        all.push_back(std::move(r));
      }
    }
  }
  return all;
}

bool IsOurLauncher(HMODULE module) {
  for (const brand::LauncherString& entry : brand::LauncherStrings()) {
    char text[1024];
    const int n = ::LoadStringA(module, static_cast<UINT>(entry.id), text, sizeof text);
    if (n <= 0 || std::string(text, static_cast<std::size_t>(n)) != entry.text) return false;
  }
  return true;
}

bool ReadTarget(const std::string& path, std::vector<Resource>* resources, std::string* error) {
  DataModule module(path);
  if (module.get() == nullptr) {
    *error = path + " is not a Windows executable (" + ErrorText(::GetLastError()) + ")";
    return false;
  }
  if (!IsOurLauncher(module.get())) {
    *error = path + " is not a copy of the launcher: its string table is not the launcher's";
    return false;
  }
  *resources = AllResources(module.get());
  return true;
}

bool Contains(const std::vector<std::uint16_t>& ids, WORD id) {
  for (WORD i : ids) {
    if (i == id) return true;
  }
  return false;
}

const WORD kIconType = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(RT_ICON));
const WORD kGroupIconType = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(RT_GROUP_ICON));
const WORD kVersionType = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(RT_VERSION));
const WORD kManifestType = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(RT_MANIFEST));
const WORD kProcessManifest =
    static_cast<WORD>(reinterpret_cast<ULONG_PTR>(CREATEPROCESS_MANIFEST_RESOURCE_ID));

Resource* FindFirst(std::vector<Resource>* resources, WORD type, WORD name) {
  for (Resource& r : *resources) {
    if (r.type.Is(type) && r.name.Is(name)) return &r;
  }
  return nullptr;
}

// Puts the new images in place of icon group 1's: under the group's old
// ids first, then free ones; images that no group uses any more go.
void ReplaceIcon(const std::vector<brand::IconImage>& images, std::vector<Resource>* resources) {
  Resource* group = FindFirst(resources, kGroupIconType, 1);
  const WORD language = group != nullptr ? group->language : kDefaultLanguage;
  std::vector<std::uint16_t> old_ids;
  if (group != nullptr) brand::ParseIconGroup(group->data, &old_ids);
  std::vector<std::uint16_t> used;
  std::vector<std::uint16_t> other_groups;
  for (const Resource& r : *resources) {
    if (r.type.Is(kIconType) && r.name.text.empty()) used.push_back(r.name.id);
    if (r.type.Is(kGroupIconType) && &r != group) {
      std::vector<std::uint16_t> ids;
      brand::ParseIconGroup(r.data, &ids);
      other_groups.insert(other_groups.end(), ids.begin(), ids.end());
    }
  }
  // An image that another group shares stays as it is, under its id.
  std::vector<std::uint16_t> own_ids;
  for (std::uint16_t id : old_ids) {
    if (!Contains(other_groups, id)) own_ids.push_back(id);
  }
  const std::vector<std::uint16_t> ids = brand::AssignIconIds(images.size(), own_ids, used);
  std::vector<Resource> kept;
  for (Resource& r : *resources) {
    const bool old_image =
        r.type.Is(kIconType) && r.name.text.empty() && Contains(own_ids, r.name.id);
    if (!old_image && !(r.type.Is(kGroupIconType) && &r == group)) kept.push_back(std::move(r));
  }
  for (std::size_t i = 0; i < images.size(); ++i) {
    kept.push_back(Resource{ResourceName::From(RT_ICON),
                            ResourceName::From(MAKEINTRESOURCEA(ids[i])), language,
                            images[i].data});
  }
  kept.push_back(Resource{ResourceName::From(RT_GROUP_ICON),
                          ResourceName::From(MAKEINTRESOURCEA(1)), language,
                          brand::BuildIconGroup(images, ids)});
  *resources = std::move(kept);
}

// Writes the file's resources anew: the service merges a file's old
// resources back in when the update ends, so a removal only takes effect
// when the update starts from none and every kept resource is written again.
bool Apply(const std::string& path, const std::vector<Resource>& resources, std::string* error) {
  HANDLE update = ::BeginUpdateResourceW(platform::win32::Wide(path).c_str(), TRUE);
  if (update == nullptr) {
    *error = "cannot open " + path + " for the update (" + ErrorText(::GetLastError()) + ")";
    return false;
  }
  for (const Resource& r : resources) {
    if (r.data.empty()) continue;
    if (!::UpdateResourceA(update, r.type.get(), r.name.get(), r.language,
                           const_cast<std::uint8_t*>(r.data.data()),
                           static_cast<DWORD>(r.data.size()))) {
      *error =
          "the update was refused (" + ErrorText(::GetLastError()) + "); " + path + " is unchanged";
      ::EndUpdateResourceA(update, TRUE);
      return false;
    }
  }
  if (!::EndUpdateResourceA(update, FALSE)) {
    *error = "writing " + path + " failed (" + ErrorText(::GetLastError()) + ")";
    return false;
  }
  return true;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args = platform::ProgramArguments(argc, argv);
  if (!args.empty()) args.erase(args.begin());
  if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "/?") {
    std::fputs(kUsage, args.empty() ? stderr : stdout);
    return args.empty() ? kExitBadInput : 0;
  }
  brand::Options options;
  std::string error;
  if (!brand::ParseOptions(args, &options, &error)) {
    return Fail(error + "\n" + kUsage);
  }

  const DWORD attributes = ::GetFileAttributesW(platform::win32::Wide(options.target).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Fail("cannot find " + options.target);
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Fail(options.target + " is a folder");
  // Checked here because an administrator (and root under Wine) could
  // otherwise write a file that its owner marked as not to be changed.
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    return Fail(options.target + " is read-only; clear the attribute to brand it");
  }

  brand::Bytes file;
  if (!ReadWholeFile(options.target, &file)) return Fail("cannot read " + options.target);
  if (brand::HasSignature(file)) {
    return Fail(options.target +
                " is signed, and branding would break the signature: brand the "
                "unsigned copy, then sign it");
  }

  std::vector<brand::IconImage> images;
  if (!options.icon.empty()) {
    brand::Bytes icon_file;
    if (!ReadWholeFile(options.icon, &icon_file)) return Fail("cannot read " + options.icon);
    if (!brand::ParseIconFile(icon_file, &images, &error)) return Fail(options.icon + ": " + error);
  }

  std::vector<Resource> resources;
  if (!ReadTarget(options.target, &resources, &error)) return Fail(error);

  if (!images.empty()) ReplaceIcon(images, &resources);
  const bool version_change = !options.version.empty() || !options.name.empty() ||
                              !options.company.empty() || !options.description.empty() ||
                              !options.copyright.empty();
  if (version_change) {
    Resource* version = FindFirst(&resources, kVersionType, 1);
    std::uint16_t numbers[4];
    const bool has_version = brand::ParseVersion(options.version, numbers);
    brand::VersionStrings strings;
    strings.product_name = FromUtf8(options.name);
    strings.company = FromUtf8(options.company);
    strings.description = FromUtf8(options.description);
    strings.copyright = FromUtf8(options.copyright);
    strings.file_name = FromUtf8(BaseName(options.target));
    brand::Bytes rebranded;
    if (version == nullptr || !brand::RebrandVersion(version->data, has_version ? numbers : nullptr,
                                                     strings, &rebranded)) {
      return Fail(options.target + " has no readable version resource to brand");
    }
    version->data = std::move(rebranded);

    // The manifest names the program as its version information does, so
    // a copy branded in steps ends with both telling the same.
    brand::VersionBlock root;
    Resource* manifest = FindFirst(&resources, kManifestType, kProcessManifest);
    std::string manifest_text;
    if (manifest == nullptr || !brand::ParseVersionResource(version->data, &root) ||
        !brand::RebrandManifest(std::string(manifest->data.begin(), manifest->data.end()),
                                brand::ManifestBrandOf(root), &manifest_text)) {
      return Fail(options.target + " has no readable manifest to brand");
    }
    manifest->data.assign(manifest_text.begin(), manifest_text.end());
  }

  if (!Apply(options.target, resources, &error)) return Fail(error, kExitUpdateFailed);
  std::string report = options.target + ": branded";
  if (!options.name.empty()) report += " as \"" + options.name + "\"";
  if (!options.version.empty()) report += ", version " + options.version;
  if (!images.empty()) report += ", " + std::to_string(images.size()) + " icon images";
  // The branding is done; a report that cannot be shown changes nothing.
  (void)platform::WriteStdText(platform::StdStream::kOutput, report + "\n");
  return 0;
}
