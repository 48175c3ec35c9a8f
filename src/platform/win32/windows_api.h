// The one header of the launcher that includes <windows.h>. Every file of
// src/platform/win32/ includes this instead, so the trimming macros are set
// the same way everywhere (CMake sets _WIN32_WINNT and WINVER for the core
// library; the fallbacks below only cover a file compiled on its own).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif

#include <windows.h>

#include <cstdint>
#include <string>

namespace platform {
namespace win32 {

// platform::Handle stores a HANDLE as an intptr_t. Its "no handle" value -1
// is INVALID_HANDLE_VALUE; a service that fails with NULL (CreateMutexA,
// CreateThread, CreateProcessA's handles) must be mapped with FromNullable.
inline HANDLE ToHandle(std::intptr_t value) {
  return reinterpret_cast<HANDLE>(value);
}
inline std::intptr_t FromHandle(HANDLE handle) {
  return reinterpret_cast<std::intptr_t>(handle);
}
inline std::intptr_t FromNullable(HANDLE handle) {
  return handle == nullptr ? static_cast<std::intptr_t>(-1) : FromHandle(handle);
}

// The calling thread's last error as the int that the seam headers use.
inline int LastError() { return static_cast<int>(::GetLastError()); }

// A function of a system library that most runs never call (shell32's
// folder creation, user32's message box and string table). Loading those
// libraries costs a short run a noticeable share of its start-up, so they
// are loaded at first use instead of with the program, and always from the
// system folder, never from the search path. Null when the library or the
// function cannot be had; the library stays loaded for the process's life.
template <typename Function>
Function LateBound(const char* library, const char* name) {
  HMODULE module = ::GetModuleHandleA(library);
  if (module == nullptr) {
    // Wide calls: the system folder's name need not be in the code page.
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length > MAX_PATH) return nullptr;
    std::wstring path(folder, length);
    path += L'\\';
    for (const char* p = library; *p != '\0'; ++p) path += static_cast<wchar_t>(*p);  // ASCII
    module = ::LoadLibraryW(path.c_str());
    if (module == nullptr) return nullptr;
  }
  // Through void*: GetProcAddress answers one generic function type.
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace win32
}  // namespace platform
