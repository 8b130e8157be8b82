#pragma once
// Whole-file access for the engines' file operations: a source read in chunks, and a
// destination written to a temporary file beside it and renamed into place only when it
// is complete and flushed. Errors are Failures with the file error numbers.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace tavorin {

// A seam for the fault tests: every system call of the file operations first asks the hook,
// which may fail that call with an errno it returns (0 lets it run), change the files
// first, or end the process. The programs never set it.
// Flush is the early flush of a large file's first part, asked for while writing goes on; a
// failure there is reported by Commit.
enum class FileStep { OpenSource, ReadSource, CreateTemporary, Write, Flush, Sync, Close, Rename };
void SetFileFaultHook(std::function<int(FileStep)> hook);

// errno -> Failure with a file error number; the description names the path.
[[noreturn]] void ThrowFileError(int err, const char* action, const std::filesystem::path& path);

class InputFile {
public:
    // Only regular files: a FIFO or a device has no length to frame and could block forever.
    explicit InputFile(const std::filesystem::path& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // The length when the file was opened.
    std::uint64_t Size() const noexcept { return size_; }
    // Reads exactly n bytes; a file that ends early (it shrank) is an error.
    void ReadExact(std::uint8_t* data, std::size_t n);

private:
    std::filesystem::path path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

class AtomicOutputFile {
public:
    // Creates a temporary file in the destination's folder.
    explicit AtomicOutputFile(const std::filesystem::path& destination);
    // Removes the temporary file unless Commit succeeded.
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    void Write(const std::uint8_t* data, std::size_t n);
    // Writes at an offset, leaving the file position alone; the file may have holes until
    // they are written. Safe to call from one other thread while this one does not write.
    void WriteAt(const std::uint8_t* data, std::size_t n, std::uint64_t offset);
    // Flushes to disk and renames over the destination.
    void Commit();

    const std::filesystem::path& TemporaryPath() const noexcept { return temp_; }

private:
    // All of data, at offset or, without one, at the file position.
    void Put(const std::uint8_t* data, std::size_t n, std::optional<std::uint64_t> offset);

    // The flush of a large file costs about as much as writing it, all at Commit; a thread
    // of its own flushes each stretch while the rest is still being made.
    class Flusher;
    void StopFlusher() noexcept;

    std::filesystem::path destination_;
    std::filesystem::path temp_;
    int fd_ = -1;
    static constexpr std::uint64_t kWriteBackStep = std::uint64_t{1} << 20;
    static constexpr std::uint64_t kFlushStep = std::uint64_t{8} << 20;
    std::uint64_t written_ = 0;     // bytes written so far
    std::uint64_t started_ = 0;     // bytes whose write-back has been started
    std::uint64_t flushAsked_ = 0;  // bytes written when the last flush was asked for
    std::unique_ptr<Flusher> flusher_;
    int flushError_ = 0;  // the first error of an early flush, for Commit to report
    bool committed_ = false;
};

}  // namespace tavorin
