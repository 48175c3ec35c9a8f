// relay_peer: the bare peer of the relay benchmark under Wine. Starts
// COMMAND_LINE with its output on a pipe and copies each 64 KiB read to
// standard output and to LOG_PATH, with nothing else in between: a plain
// CreatePipe / ReadFile / WriteFile loop (no line-end translation).
//   relay_peer LOG_PATH COMMAND_LINE
// Windows only: on Linux the benchmark's peer is `gen | tee log`.
#ifdef _WIN32
#include <windows.h>

#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &attributes, 0)) return 3;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION info = {};
  std::string line = argv[2];
  std::vector<char> writable(line.begin(), line.end());
  writable.push_back('\0');
  if (!CreateProcessA(nullptr, writable.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return 4;
  }
  CloseHandle(write_end);
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE log = CreateFileA(argv[1], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  std::vector<char> buffer(64 * 1024);
  DWORD got = 0;
  while (ReadFile(read_end, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) &&
         got > 0) {
    DWORD written = 0;
    WriteFile(out, buffer.data(), got, &written, nullptr);
    WriteFile(log, buffer.data(), got, &written, nullptr);
  }
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  return static_cast<int>(code);
}
#else
#include <cstdio>

int main() {
  std::fputs("relay_peer: the Linux peer is `gen | tee log`\n", stderr);
  return 2;
}
#endif
