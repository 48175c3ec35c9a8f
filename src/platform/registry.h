// The system registry's machine-wide keys, read only (Windows; POSIX has
// no registry and every answer there is empty).
#pragma once

#include <string>
#include <vector>

namespace platform {

// True where a system registry exists (Windows).
bool HasRegistry();

// The registry views of HKEY_LOCAL_MACHINE: a 32-bit process on 64-bit
// Windows sees the 32-bit one unless it asks for the other.
enum class RegistryView { k64, k32 };

// Names of the subkeys of HKEY_LOCAL_MACHINE\<path> in that view, in the
// registry's order. Empty when the key is missing or cannot be read (an
// ordinary answer: no runtime is registered there); always empty on POSIX.
std::vector<std::string> RegistrySubkeys(const std::string& path, RegistryView view);

// The string value `name` of HKEY_LOCAL_MACHINE\<path> in that view (an
// expandable string is returned unexpanded). Empty when missing, not a
// string, or on POSIX.
std::string RegistryString(const std::string& path, const std::string& name, RegistryView view);

}  // namespace platform
