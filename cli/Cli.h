#pragma once
// tavorin-cli: the commands, runnable in a process or straight from tests.

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engines/Engine.h"

namespace tavorin::cli {

// Exit codes.
inline constexpr int ExitOk = 0;
inline constexpr int ExitUsage = 1;  // wrong usage, bad input, not an envelope
inline constexpr int ExitAuthentication = 2;
inline constexpr int ExitWrongKey = 3;
inline constexpr int ExitFile = 4;

// What the commands need from around them; tests replace parts of it.
struct System {
    std::function<std::unique_ptr<Engine>(std::u16string_view name)> createEngine;
    // An environment variable's value, or nothing when it is not set.
    std::function<std::optional<std::string>(const std::string& name)> getEnv;
    // A key typed on the terminal without echo (UTF-8, no line ending), or nothing when
    // there is no terminal to ask.
    std::function<std::optional<std::string>(const std::string& prompt)> askKey;
    // Whether standard error is a terminal (then long work shows a progress bar).
    bool errIsTerminal = false;
    // The descriptor behind the output stream, or -1. When it is a regular file, an envelope
    // is written into it piece by piece as the cipher runs instead of after it.
    int outFd = -1;

    // The real process: the engine registry, getenv, /dev/tty, isatty(2). outFd stays -1:
    // only the Run without a System ties standard output's descriptor to std::cout.
    static System Process();
};

// Runs tavorin-cli with args (without the program name). Returns the exit code.
int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err);
int Run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err,
        const System& system);

}  // namespace tavorin::cli
