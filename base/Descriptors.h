#pragma once
// Reading and writing open descriptors: standard input and output, a key file or pipe, a
// regular file behind standard output. Part of the platform layer: made in
// base/posix/Descriptors.cpp and base/windows/Descriptors.cpp.
//
// A descriptor is the C runtime's number of an open file (POSIX's file descriptor; on Windows
// the CRT's, in binary mode, whose HANDLE _get_osfhandle gives), borrowed unless said
// otherwise. A call that fails returns -1 (or nothing) with errno set to a POSIX error number,
// which the Windows units map the system's errors to: ThrowFileError words them all.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace tavorin {

inline constexpr int StandardInput = 0;
inline constexpr int StandardOutput = 1;
inline constexpr int StandardError = 2;

// Up to size bytes, fewer as a pipe hands them over; 0 only at the end; -1 on failure. An
// interrupted call is made again.
std::ptrdiff_t ReadSome(int fd, void* into, std::size_t size) noexcept;
// Up to size bytes, at least one unless it fails (-1); an interrupted call is made again.
std::ptrdiff_t WriteSome(int fd, const void* data, std::size_t size) noexcept;
// As WriteSome, at an offset of a regular file, leaving its position alone.
std::ptrdiff_t WriteSomeAt(int fd, const void* data, std::size_t size, std::uint64_t offset) noexcept;

enum class DescriptorKind { Unknown, RegularFile, Pipe, Directory, Other };
struct DescriptorInfo {
    DescriptorKind kind = DescriptorKind::Unknown;  // Unknown: the system would not say (errno)
    std::uint64_t size = 0;                         // a regular file's length
    bool othersMayRead = false;                     // a file that users besides its owner may read
};
DescriptorInfo Describe(int fd) noexcept;
// Whether every write lands at the end of the file whatever its offset (opened for appending);
// true also when the system will not say.
bool IsAppending(int fd) noexcept;
bool IsTerminal(int fd) noexcept;

// The position of a regular file, or nothing when it has none (a pipe, a terminal).
std::optional<std::uint64_t> Position(int fd) noexcept;
bool SetPosition(int fd, std::uint64_t position) noexcept;

// A file or pipe opened for reading, owned by the caller (CloseDescriptor), or -1. Never waits
// for a pipe's writer to appear, never becomes the controlling terminal, is not inherited by
// programs started later; reads then wait as usual.
int OpenForReading(const std::filesystem::path& path) noexcept;
// A name that opens the regular file behind the descriptor again, from its start (Linux
// /proc/self/fd/N; Windows the file's own path), or nothing where the system will not tell.
std::optional<std::filesystem::path> PathOf(int fd);
void CloseDescriptor(int fd) noexcept;

// Asks that a pipe hold about size bytes, so that a large text goes out in fewer turns between
// this process and its reader; a hint.
void EnlargePipe(int fd, std::size_t size) noexcept;

}  // namespace tavorin
