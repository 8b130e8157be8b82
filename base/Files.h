#pragma once
// Whole-file access for the engines' file operations: a source read in chunks, and a
// destination written to an unnamed file beside it that is named only when it is complete
// and flushed. Errors are Failures with the file error numbers.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include <string>
#include <string_view>
#include "base/Failure.h"

namespace tavorin {

// A seam for the fault tests: every system call of the file operations first asks the hook,
// which may fail that call with an errno it returns (0 lets it run), change the files
// first, or end the process. The programs never set it.
// Flush is the early flush of a large file's first part, asked for while writing goes on; a
// failure there is reported by Commit.
// CreateTemporary is asked once more for the named temporary file where the unnamed one fails.
enum class FileStep { OpenSource, ReadSource, CreateTemporary, Write, Flush, Sync, Close, Rename, Link };
void SetFileFaultHook(std::function<int(FileStep)> hook);

// A file error that also says which file and, in a few plain words, what is wrong with it
// ("no such file", "permission denied"), for front ends that word their own errors.
class FileFailure : public Failure {
public:
    FileFailure(std::int32_t number, std::string description, std::filesystem::path path, std::string reason)
        : Failure(number, std::move(description)), path_(std::move(path)), reason_(std::move(reason)) {}
    const std::filesystem::path& Path() const noexcept { return path_; }
    const std::string& Reason() const noexcept { return reason_; }

private:
    std::filesystem::path path_;
    std::string reason_;
};

// errno -> FileFailure with a file error number; the description names the path.
[[noreturn]] void ThrowFileError(int err, const char* action, const std::filesystem::path& path);
// A file that is there but cannot serve (not a regular file, shrunk while read).
[[noreturn]] void ThrowFileProblem(const std::filesystem::path& path, const std::string& reason);

class InputFile {
public:
    // Only regular files: a FIFO or a device has no length to frame and could block forever.
    explicit InputFile(const std::filesystem::path& path);
    // A regular file already open (standard input redirected from one), named for errors;
    // read through, never closed.
    InputFile(int fd, std::filesystem::path name);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // The length when the file was opened.
    std::uint64_t Size() const noexcept { return size_; }
    // Reads exactly n bytes; a file that ends early (it shrank) is an error.
    void ReadExact(std::uint8_t* data, std::size_t n);
    // Reads exactly n bytes at offset, leaving the file position alone; safe on several
    // threads at once.
    void ReadAt(std::uint8_t* data, std::size_t n, std::uint64_t offset);

private:
    // All of n bytes, at offset or, without one, at the file position.
    void Read(std::uint8_t* data, std::size_t n, std::optional<std::uint64_t> offset);

    std::filesystem::path path_;
    int fd_ = -1;
    bool owned_ = true;
    std::uint64_t size_ = 0;
};

// Core dumps off for the whole process: a crash must not put keys or plaintext on disk.
void DisableCoreDumps() noexcept;

// How an output meets its destination.
struct OutputPolicy {
    // An existing destination is replaced. When false, it is refused with FileExists, also
    // when it appears while the output is being made: the output is named only where no
    // name is.
    bool replace = true;
    // When >= 0, the output goes straight to this descriptor (standard output) as it is
    // made; there is no file to name.
    int stream = -1;
};

class AtomicOutputFile {
public:
    // Creates an unnamed file in the destination's folder. Where the file system or /proc
    // cannot give one, a named temporary file of mode 0600 that SIGINT, SIGTERM, SIGHUP and
    // SIGPIPE remove before the process ends.
    explicit AtomicOutputFile(const std::filesystem::path& destination, OutputPolicy policy = {});
    // Removes the temporary file unless Commit succeeded.
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    void Write(const std::uint8_t* data, std::size_t n);
    // Writes at an offset, leaving the file position alone; the file may have holes until
    // they are written. Safe on several threads at once while none calls Write.
    void WriteAt(const std::uint8_t* data, std::size_t n, std::uint64_t offset);
    // A part of a file made out of order, written at offset by any of several threads at
    // once (while none calls Write); flushed early as Write's bytes are.
    void WritePart(const std::uint8_t* data, std::size_t n, std::uint64_t offset);
    // Flushes to disk and names the file.
    void Commit();

private:
    // All of data, at offset or, without one, at the file position.
    void Put(const std::uint8_t* data, std::size_t n, std::optional<std::uint64_t> offset);

    // The flush of a large file costs about as much as writing it, all at Commit; a thread
    // of its own flushes each stretch while the rest is still being made.
    class Flusher;
    void StartWriteBack(std::uint64_t offset, std::uint64_t n) noexcept;
    // Asks for a flush each kFlushStep bytes written.
    void FlushEarly();
    void StopFlusher() noexcept;

    // Give the complete file the destination's name, from the unnamed file or from the
    // named temporary one.
    void NameUnnamed();
    void NameTemporary();
    int CloseFile();
    // The hidden name beside the destination with this suffix.
    std::string HiddenName(std::string_view suffix) const;

    std::filesystem::path destination_;
    std::filesystem::path folder_;
    std::filesystem::path temp_;  // the named temporary file, when there is one
    int guard_ = -1;              // its slot for the signal handler
    OutputPolicy policy_;
    bool existed_ = false;
    unsigned mode_ = 0;  // the named file's
    int fd_ = -1;
    static constexpr std::uint64_t kWriteBackStep = std::uint64_t{1} << 20;
    static constexpr std::uint64_t kFlushStep = std::uint64_t{8} << 20;
    std::uint64_t written_ = 0;     // bytes written so far
    std::uint64_t started_ = 0;     // bytes whose write-back has been started
    std::uint64_t flushAsked_ = 0;  // bytes written when the last flush was asked for
    std::unique_ptr<Flusher> flusher_;
    int flushError_ = 0;  // the first error of an early flush, for Commit to report
    bool committed_ = false;
    std::mutex parts_;  // WritePart's accounting
};

}  // namespace tavorin
