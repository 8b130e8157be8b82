#pragma once
// What the commands of tavorin-cli get from around them (tests replace parts of it), the exit
// codes, and the failures the commands end with.

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engines/Engine.h"
#include "envelope/Exit.h"

namespace tavorin {
class Failure;
}

namespace tavorin::cli {

class Writer;

// The core's exit codes, and their meanings as --help and README show them (a test holds the
// two to each other).
inline constexpr int ExitOk = static_cast<int>(envelope::ExitCode::Ok);
inline constexpr int ExitUsage = static_cast<int>(envelope::ExitCode::Usage);
inline constexpr int ExitDamaged = static_cast<int>(envelope::ExitCode::Damaged);
inline constexpr int ExitWrongKey = static_cast<int>(envelope::ExitCode::WrongKey);
inline constexpr int ExitFile = static_cast<int>(envelope::ExitCode::File);
inline constexpr int ExitTooLarge = static_cast<int>(envelope::ExitCode::TooLarge);

struct ExitCodeMeaning {
    int code;
    std::string_view meaning;
};
inline constexpr std::array<ExitCodeMeaning, 6> ExitCodes{{
    {ExitOk, "success"},
    {ExitUsage,
     "wrong usage (also keys typed twice that differ), input that is not an envelope, or a result "
     "that is not in the chosen encoding"},
    {ExitDamaged,
     "a damaged envelope or frame (its digest does not match, or it is not a whole number of "
     "blocks)"},
    {ExitWrongKey, "wrong key, cipher or passes (nothing is written)"},
    {ExitFile, "a file that cannot be read or written, or that exists already (see --force)"},
    {ExitTooLarge, "input past the size limits"},
}};

// The table as --help shows it, each meaning folded to fit 80 columns.
std::string ExitCodeTable();

// The errors the commands share, in the command line's words.
inline constexpr std::string_view WrongKeyError = "wrong key, cipher or passes";
inline constexpr std::string_view FileWrongKeyError = "wrong key, or the file is damaged or cut";
inline constexpr std::string_view DamagedError = "the envelope is damaged (its digest does not match)";

// What the commands need from around them; tests replace parts of it.
struct System {
    std::function<std::unique_ptr<Engine>(std::u16string_view name)> createEngine;
    // An environment variable's value, or nothing when it is not set.
    std::function<std::optional<std::string>(const std::string& name)> getEnv;
    // A key typed on the terminal without echo (UTF-8, no line ending), or nothing when
    // there is no terminal to ask; a CliError when the terminal's input ends (Ctrl-D) before
    // a line was typed.
    std::function<std::optional<std::string>(const std::string& prompt)> askKey;
    // Whether standard error is a terminal (then long work shows a progress bar).
    bool errIsTerminal = false;
    // The descriptor behind the output writer, or -1. When it is a regular file, an envelope
    // is written into it piece by piece as the cipher runs instead of after it.
    int outFd = -1;
    // The descriptor behind the input reader, or -1. A regular file there is read on a second
    // thread while the message is encrypted.
    int inFd = -1;
    // Whether that descriptor is a terminal: a message typed there needs to be told how to end.
    bool inIsTerminal = false;

    // The real process: the engine registry, getenv, /dev/tty, isatty(2). outFd and inFd stay
    // -1: only the Run without a System takes them from its reader and writer.
    static System Process();
};

// A failure the command reports on standard error and ends with.
class CliError : public std::runtime_error {
public:
    CliError(int exitCode, std::string message, std::string hint = {})
        : std::runtime_error(std::move(message)), exitCode_(exitCode), hint_(std::move(hint)) {}
    int ExitCode() const noexcept { return exitCode_; }
    const std::string& Hint() const noexcept { return hint_; }

private:
    int exitCode_;
    std::string hint_;
};

// One error line, and a hint line when there is one.
void PrintError(Writer& err, std::string_view message, std::string_view hint = {});

// A Failure of the core as the command line reports it, by its kind and in its own words (never
// the core's description); returns the exit code.
int ReportFailure(Writer& err, const Failure& failure);

// The engine of that name (any case), or a CliError when there is none.
std::unique_ptr<Engine> SelectEngine(const System& system, const std::string& name);

}  // namespace tavorin::cli
