#pragma once
// What the commands of tavorin-cli share: errors with their exit codes, the key sources,
// the choice of engine, reading input, writing output, the progress bar and the conversions
// between the terminal's UTF-8 and Windows-1252.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/Files.h"
#include "base/Types.h"
#include "cli/Cli.h"
#include "engines/FrameFormat.h"
#include "envelope/Envelope.h"

namespace tavorin {
class Failure;
}

namespace tavorin::cli {

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
void PrintError(std::ostream& err, std::string_view message, std::string_view hint = {});

// A Failure of the core as the command line reports it; returns the exit code.
int ReportFailure(std::ostream& err, const Failure& failure);

// The engine of that name (any case), or a CliError when there is none or it is not built.
std::unique_ptr<Engine> SelectEngine(const System& system, const std::string& name);

struct KeySource {
    std::string file;  // --key-file
    std::string env;   // --key-env
};

// The key from the file's first line, the environment or the terminal, as the engines get
// it (normalisation form C, Windows-1252 characters only). Throws CliError.
std::u16string ObtainKey(const System& system, const KeySource& source);

// The most the commands read. A message past MaxMessageInput makes no frame; an envelope text
// past MaxEnvelopeInput is more than the envelope of the largest frame with a line break beside
// every pair. Larger input is refused before it is read, or, from a pipe, once it grows past.
inline constexpr std::uint64_t MaxMessageInput = frame::MaxFrame - frame::HeaderSize;
inline constexpr std::uint64_t MaxEnvelopeInput = 4 * (envelope::DigestLength + frame::MaxFrame);

// The whole of a stream or file, with room for `slack` more bytes so that the frame can
// grow in place. A file that cannot be read throws Failure (a file error); more than `limit`
// bytes throws Failure 6 (overflow).
ByteArray ReadAll(std::istream& in, std::uint64_t limit, std::size_t slack = 0);
ByteArray ReadFile(const std::filesystem::path& path, std::uint64_t limit, std::size_t slack = 0);

// UTF-8 text to Windows-1252 bytes in place (never longer). Characters that need it are
// brought to normalisation form C first. Throws CliError for text that is not UTF-8 and for a
// character Windows-1252 cannot hold.
void Utf8ToWindows1252(ByteArray& text);

// Throws CliError when text is not UTF-8.
void CheckUtf8(const ByteArray& text, std::string_view what);

// Standard output, or a file that appears (atomically) only when Commit is called.
class Output {
public:
    // outFd: the descriptor behind out, or -1; a regular file there (not opened for
    // appending) can take pieces out of order.
    Output(std::ostream& out, const std::string& file, int outFd = -1);
    void Write(const char* data, std::size_t size);
    // Bytes as UTF-8 text, each through its Windows-1252 character.
    void WriteWindows1252AsUtf8(const std::uint8_t* data, std::size_t size);
    void Commit();

    // Whether PlaceAt works: an output file, or a regular file behind the stream.
    bool Placeable() const noexcept { return file_ != nullptr || fd_ >= 0; }
    // A piece at an offset from where this output begins; Write then goes on after the
    // furthest end placed. One thread at a time.
    void PlaceAt(const char* data, std::size_t size, std::uint64_t offset);

private:
    std::ostream& out_;
    std::unique_ptr<AtomicOutputFile> file_;
    int fd_ = -1;             // the regular file behind out_, when it can be placed into
    std::uint64_t base_ = 0;  // its position when this output began
    std::uint64_t end_ = 0;   // the furthest end placed, from base_
    bool placed_ = false;
};

// A bar on standard error for long work, when it is a terminal.
class ProgressBar {
public:
    ProgressBar(std::ostream& err, bool enabled, std::string label);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Label(std::string label);
    void Update(std::int32_t percent);
    // Removes the bar from the line.
    void Done();

private:
    std::ostream& err_;
    bool enabled_;
    bool drawn_ = false;
    std::string label_;
    std::int32_t last_ = -1;
};

// Work at least this large shows the progress bar.
inline constexpr std::uint64_t ProgressThreshold = std::uint64_t{1} << 20;

}  // namespace tavorin::cli
