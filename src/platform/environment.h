// The process's environment variables, which children started later
// inherit.
#pragma once

#include <string>

namespace platform {

// Value of an environment variable; empty when unset.
std::string GetEnvVar(const char* name);

// Sets or removes an environment variable of this process (children
// started later inherit it). False on failure.
bool SetEnvVar(const std::string& name, const std::string& value);
bool UnsetEnvVar(const std::string& name);

}  // namespace platform
