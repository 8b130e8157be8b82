#pragma once
// Whole-file access for the engines' file operations: a source read in chunks, and a
// destination written to an unnamed file beside it that is named only when it is complete
// and flushed. Errors are FileFailures of the file error kinds.
//
// Part of the platform layer: where files are opened, made and named is the system's own,
// base/posix/Files.cpp (O_TMPFILE and linkat, a named fallback removed on signals) and
// base/windows/Files.cpp (a file marked for deletion while it is written, unmarked and renamed
// when complete); reading and writing them is common, base/Files.cpp, and so is the early
// flush of a large file (base/EarlyFlush.cpp). Paths are std::filesystem::path (UTF-16 on Windows). Errors reach
// ThrowFileError as POSIX error numbers (errno, std::errc), which the Windows units map the
// system's errors to. A descriptor here is the C runtime's number of an open file (on
// Windows, _get_osfhandle gives its HANDLE).

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
// which may fail that call with an error it returns (0 lets it run: an errno, on Windows a
// system error code such as ERROR_DISK_FULL), change the files
// first, or end the process. The programs never set it. The platform's units ask it through
// Step (base/FileSteps.h).
// Flush is the early flush of a large file's first part, asked for while writing goes on; a
// failure there is reported by Commit.
// CreateTemporary is asked once more for the named temporary file where the unnamed one fails.
enum class FileStep { OpenSource, ReadSource, CreateTemporary, Write, Flush, Sync, Close, Rename, Link };
void SetFileFaultHook(std::function<int(FileStep)> hook);

// A file error that also says which file and, in a few plain words, what is wrong with it
// ("no such file", "permission denied"), for front ends that word their own errors.
class FileFailure : public Failure {
public:
    FileFailure(FailureKind kind, std::string description, std::filesystem::path path, std::string reason)
        : Failure(kind, std::move(description)), path_(std::move(path)), reason_(std::move(reason)) {}
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
    // The open file (base/FilesImpl.h).
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::uint64_t size_ = 0;
};

// A path from UTF-8 text (a command line's argument): on Windows its characters, not its bytes
// taken in the ANSI code page; elsewhere the bytes as they are.
inline std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// A path as UTF-8 text, for messages: string() would take it into the ANSI code page on Windows
// (and throw on a character it lacks).
inline std::string PathToUtf8(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
}

// Whether two paths name one file, through links and "..": the same device and inode (on
// Windows, the same volume and file id). False when either cannot be looked at.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) noexcept;

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

class AtomicOutputFile;
class FileBeingMade;

// What a caller puts around the frame that a file operation writes or reads.
struct FrameFileHooks {
    // Bytes in front of the frame: encryption writes them as zeros for `finish` to fill,
    // decryption passes over them.
    std::uint64_t front = 0;
    // Each piece of the frame's ciphertext, in order, as it is written or read (and before
    // it is deciphered); on whichever thread handles the piece, one call at a time.
    std::function<void(const std::uint8_t* data, std::size_t n)> ciphertext;
    // Before the output is named: writes the front (WriteAt), or throws so that nothing is named.
    std::function<void(AtomicOutputFile& out)> finish;
};

// A file with no name, for bytes that must be complete before they go on: nothing of it
// outlives the process, however it ends. Made in folder where it can be, else in the temporary
// folder ($TMPDIR, else /tmp; on Windows the user's), readable by its owner only.
class ScratchFile {
public:
    explicit ScratchFile(const std::filesystem::path& folder = {});  // throws a file error
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    int Descriptor() const noexcept { return fd_; }
    // A name that opens the file again while this object lives (InputFile): on Linux
    // /proc/self/fd/N; on Windows its hidden name, which the system deletes with the last
    // handle.
    std::filesystem::path Path() const;

private:
    int fd_ = -1;
    std::filesystem::path path_;
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
    // The file being made (base/FilesImpl.h).
    std::unique_ptr<FileBeingMade> impl_;
};

}  // namespace tavorin
