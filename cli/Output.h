#pragma once
// What tavorin-cli writes: standard output or a file that appears only when complete, and
// the progress bar on standard error.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/Files.h"

namespace tavorin::cli {

class Writer;

// Standard output, or a file that appears (atomically) only when Commit is called.
class Output {
public:
    // outFd: the descriptor behind out, or -1; a regular file there (not opened for
    // appending) can take pieces out of order.
    // replace: an existing file is replaced (--force); otherwise it is refused.
    Output(Writer& out, const std::string& file, int outFd = -1, bool replace = false);
    // About size bytes are coming (a pipe behind standard output is enlarged for them).
    void Expect(std::uint64_t size) noexcept;
    void Write(const char* data, std::size_t size);
    void Commit();

    // Whether PlaceAt works: an output file, or a regular file behind the writer.
    bool Placeable() const noexcept { return file_ != nullptr || fd_ >= 0; }
    // A piece at an offset from where this output begins; Write then goes on after the
    // furthest end placed. One thread at a time.
    void PlaceAt(const char* data, std::size_t size, std::uint64_t offset);

private:
    Writer& out_;
    std::unique_ptr<AtomicOutputFile> file_;
    int fd_ = -1;             // the regular file behind out_, when it can be placed into
    int pipe_ = -1;           // the pipe behind out_
    std::uint64_t base_ = 0;  // its position when this output began
    std::uint64_t end_ = 0;   // the furthest end placed, from base_
    bool placed_ = false;
};

// A bar on standard error for long work, when it is a terminal.
class ProgressBar {
public:
    ProgressBar(Writer& err, bool enabled, std::string label);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Label(std::string label);
    void Update(std::int32_t percent);
    // Removes the bar from the line.
    void Done();

private:
    Writer& err_;
    bool enabled_;
    bool drawn_ = false;
    std::string label_;
    std::int32_t last_ = -1;
};

// Work at least this large shows the progress bar.
inline constexpr std::uint64_t ProgressThreshold = std::uint64_t{1} << 20;

}  // namespace tavorin::cli
