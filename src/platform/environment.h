// The process's environment variables, which children started later
// inherit.
#pragma once

#include <string>

namespace platform {

// Value of an environment variable; empty when unset (an ordinary answer:
// the launcher treats an empty and an unset variable alike).
std::string GetEnvVar(const char* name);

// Sets or removes an environment variable of this process (children
// started later inherit it). Returns 0 or the system error code (87,
// ERROR_INVALID_PARAMETER / EINVAL, for an empty name or one holding "=").
// Removing a variable that is not set is no failure.
[[nodiscard]] int SetEnvVar(const std::string& name, const std::string& value);
[[nodiscard]] int UnsetEnvVar(const std::string& name);

}  // namespace platform
