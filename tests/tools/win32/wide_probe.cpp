// wide_probe: a Unicode program (wmain) that reports exactly what it
// received, as the ANSI arg_probe does: every argument, its own included,
// as "ARGU=<hex of its UTF-8 bytes>", then "CWDU=<hex>" for its current
// folder. Each argument is also written as "ARGW=<hex of its UTF-16LE
// bytes>", which keeps a unit UTF-8 cannot (an unpaired surrogate). Exits
// with 0.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

void PutHex(const char* label, const wchar_t* text) {
  static const char kHex[] = "0123456789abcdef";
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], size, nullptr, nullptr);
  std::fputs(label, stdout);
  for (const char* p = utf8.c_str(); *p != '\0'; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    std::fputc(kHex[c >> 4], stdout);
    std::fputc(kHex[c & 15], stdout);
  }
  std::fputc('\n', stdout);
}

void PutUnits(const wchar_t* text) {
  std::fputs("ARGW=", stdout);
  for (const wchar_t* p = text; *p != L'\0'; ++p) {
    std::printf("%02x%02x", static_cast<unsigned>(*p & 0xFF), static_cast<unsigned>(*p >> 8));
  }
  std::fputc('\n', stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  for (int i = 0; i < argc; ++i) PutHex("ARGU=", argv[i]);
  for (int i = 0; i < argc; ++i) PutUnits(argv[i]);
  wchar_t folder[32768] = {};
  ::GetCurrentDirectoryW(32768, folder);
  PutHex("CWDU=", folder);
  std::fflush(stdout);
  return 0;
}
