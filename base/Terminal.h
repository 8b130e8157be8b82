#pragma once
// The key prompt. Part of the platform layer: made in base/posix/Terminal.cpp (the controlling
// terminal, /dev/tty, with echo off through termios) and base/windows/Terminal.cpp (CONIN$ and
// CONOUT$, ReadConsoleW with echo off).

#include <optional>
#include <string>
#include <string_view>

namespace tavorin {

// Writes prompt to the terminal and reads one line there without showing it, never from
// standard input (which may carry the message). The line in UTF-8, without its line ending, or
// nothing when there is no terminal to ask or it ended before a line was typed (Ctrl-D; Ctrl-Z
// and Enter on Windows), which sets *endedEarly when given. An interrupt
// (Ctrl-C, a termination request) while the line is read puts the terminal's echo back before
// the process ends. Every copy of the line made on the way is wiped.
std::optional<std::string> AskWithoutEcho(std::string_view prompt, bool* endedEarly = nullptr);

// Ctrl-C and Ctrl-Break end the process at once with the code an interrupted program has: on
// POSIX the default of SIGINT (the files being written see to themselves), on Windows
// STATUS_CONTROL_C_EXIT (0xC000013A; wine 8's default handler gives 0, which reads as success).
// Called once, first thing in main.
void EndOnInterrupt() noexcept;

}  // namespace tavorin
