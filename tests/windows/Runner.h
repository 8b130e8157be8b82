#pragma once
// tavorin-cli.exe started as a user starts it, through CreateProcessW, with pipes for its
// standard streams (on Linux, tests/cli/test_cli.cpp starts it through posix_spawn).

#include <string>
#include <vector>

namespace tavorin::test {

struct CliResult {
    int code = -1;
    std::string out;
    std::string err;
    long peakKb = 0;  // the program's peak memory
};

// Runs the built program with args (UTF-8) and no console, input on its standard input (or the
// file stdinFile there), and the NAME=value pairs of env as its environment. With endAfterMs,
// the program is ended that long after its start as Task Manager ends one (TerminateProcess:
// none of its code runs), unless it ended before.
CliResult RunCliProgram(const std::vector<std::string>& args, const std::string& input = {},
                        const std::vector<std::string>& env = {}, const std::string& stdinFile = {},
                        int endAfterMs = -1);

}  // namespace tavorin::test
