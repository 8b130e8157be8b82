#pragma once
// The bytes this process holds locked in memory as Linux counts them (VmLck), also under wine,
// whose VirtualLock is mlock: wine-run (cmake/Windows.cmake) names the process, whose /proc
// entry the drive Z: shows (Z:\proc\self would be wine's server, which opens files). Nothing
// where there is no such count.
#include <cstddef>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

namespace tavorin::test {

inline std::optional<std::size_t> LockedBytes() {
#ifdef _WIN32
    const char* pid = std::getenv("TAVORIN_UNIX_PID");
    std::ifstream in(std::string("Z:\\proc\\") + (pid != nullptr ? pid : "none") + "\\status");
#else
    std::ifstream in("/proc/self/status");
#endif
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmLck:", 0) == 0) {
            return static_cast<std::size_t>(std::stoull(line.substr(6))) * 1024;
        }
    }
    return std::nullopt;
}

}  // namespace tavorin::test
