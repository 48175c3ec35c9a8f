#include <cstdint>
#include <vector>

#include "platform/fs.h"
#include "platform/program_info.h"
#include "platform/win32/wide.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

// Far above any launcher (under 1 MB); bounds what a wrong path can cost.
constexpr std::size_t kLargestProgram = std::size_t(64) << 20;
// Where the PE header's offset is written in the DOS header, and where the
// subsystem field sits in the optional header (the same offset in PE32 and
// PE32+).
constexpr std::size_t kPeOffsetAt = 0x3C;
constexpr std::size_t kOptionalHeaderAt = 24;
constexpr std::size_t kSubsystemAt = 68;

unsigned ReadLittle(const std::string& bytes, std::size_t at, std::size_t size) {
  unsigned value = 0;
  for (std::size_t i = size; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

ProgramKind KindOf(const std::string& bytes) {
  if (bytes.size() < kPeOffsetAt + 4 || bytes.compare(0, 2, "MZ") != 0) return ProgramKind::kUnknown;
  const std::size_t pe = ReadLittle(bytes, kPeOffsetAt, 4);
  const std::size_t field = pe + kOptionalHeaderAt + kSubsystemAt;
  if (pe > bytes.size() || field + 2 > bytes.size() || bytes.compare(pe, 4, std::string("PE\0\0", 4)) != 0) {
    return ProgramKind::kUnknown;
  }
  switch (ReadLittle(bytes, field, 2)) {
    case IMAGE_SUBSYSTEM_WINDOWS_CUI: return ProgramKind::kConsole;
    case IMAGE_SUBSYSTEM_WINDOWS_GUI: return ProgramKind::kWindowed;
    default: return ProgramKind::kUnknown;
  }
}

// The fixed file version of the version resource, "a.b.c.d"; "" without
// one. version.dll is late bound: only the check asks.
std::string VersionOf(const std::string& path) {
  using Size = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
  using Info = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
  using Query = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
  static const Size size_of = win32::LateBound<Size>("version.dll", "GetFileVersionInfoSizeW");
  static const Info info_of = win32::LateBound<Info>("version.dll", "GetFileVersionInfoW");
  static const Query query = win32::LateBound<Query>("version.dll", "VerQueryValueW");
  if (size_of == nullptr || info_of == nullptr || query == nullptr) return std::string();
  const std::wstring wide = win32::Wide(path);
  DWORD ignored = 0;
  const DWORD size = size_of(wide.c_str(), &ignored);
  if (size == 0) return std::string();
  std::vector<unsigned char> block(size);
  if (!info_of(wide.c_str(), 0, size, block.data())) return std::string();
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!query(block.data(), L"\\", reinterpret_cast<LPVOID*>(&fixed), &length) || fixed == nullptr ||
      length < sizeof *fixed || fixed->dwSignature != 0xFEEF04BD) {
    return std::string();
  }
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionLS));
}

}  // namespace

int ReadProgramInfo(const std::string& path, ProgramInfo* out) {
  *out = ProgramInfo();
  std::string bytes;
  const int error = ReadRegularFile(path, kLargestProgram, &bytes, nullptr);
  if (error != 0) return error;
  out->kind = KindOf(bytes);
  if (out->kind != ProgramKind::kUnknown) out->version = VersionOf(path);
  return 0;
}

}  // namespace platform
