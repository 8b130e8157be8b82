#pragma once
// The process's environment variables. Part of the platform layer: made in
// base/posix/Environment.cpp and base/windows/Environment.cpp.

#include <optional>
#include <string>

namespace tavorin {

// The value of the variable named (ASCII), as UTF-8, or nothing when it is not set. On Windows
// the value is read in UTF-16: the C runtime's getenv gives it in the ANSI code page, where a
// key's letters outside that page would become "?". Copies made on the way are wiped.
std::optional<std::string> EnvironmentValue(const std::string& name);

}  // namespace tavorin
