// The POSIX side of base/Environment.h: the bytes as they are, UTF-8 by convention.
#include "base/Environment.h"

#include <cstdlib>

namespace tavorin {

std::optional<std::string> EnvironmentValue(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) {
        return std::nullopt;
    }
    return std::string(value);
}

}  // namespace tavorin
