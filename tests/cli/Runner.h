#pragma once
// The seam between the command-line tests and the system they run on: the built program started
// as a user starts it, with pipes for its standard streams (tests/cli/posix/Runner.cpp through
// posix_spawn, tests/cli/windows/Runner.cpp through CreateProcessW), and a file opened for
// writing as a shell's > or >> opens one.

#include <filesystem>
#include <string>
#include <vector>

namespace tavorin::test {

struct CliResult {
    int code = -1;
    std::string out;
    std::string err;
    long peakKb = 0;  // the program's own peak memory
};

// How a program is ended midway: killed without running any of its code (SIGKILL;
// TerminateProcess, as Task Manager ends one), or interrupted by Ctrl-C (SIGINT; the event of
// the console it was given, which has no window) or by Ctrl-Break (SIGINT off Windows).
enum class Ending { Kill, CtrlC, CtrlBreak };

// Runs the built program with args (UTF-8) and no terminal, input on its standard input (or the
// file stdinFile there), and the NAME=value pairs of env added to a small environment. With
// endAfterMs, the program is ended that long after its start unless it ended before: killed, code
// is then 137; interrupted, code is what it ends with.
CliResult RunCliProgram(const std::vector<std::string>& args, const std::string& input = {},
                        const std::vector<std::string>& env = {}, const std::string& stdinFile = {},
                        int endAfterMs = -1, Ending ending = Ending::Kill);

// A descriptor of the file, opened for writing at its start or, with append, for appending
// only (POSIX O_APPEND; on Windows FILE_APPEND_DATA, as PowerShell's >> opens one); -1 on
// failure. Closed with CloseDescriptor (base/Descriptors.h).
int OpenForWriting(const std::filesystem::path& path, bool append);

}  // namespace tavorin::test
