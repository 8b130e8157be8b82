#pragma once
// For base/Files.cpp and the platform's file units (base/posix/Files.cpp,
// base/windows/Files.cpp) only: the classes of base/Files.h as every system shares them, and
// the calls each system makes its own way.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "base/EarlyFlush.h"
#include "base/Files.h"

namespace tavorin {

// Up to n bytes at offset or, without one, at the file position: the bytes moved, 0 at the end
// of the file, or -1 with errno.
std::ptrdiff_t ReadSome(int fd, std::uint8_t* data, std::size_t n, std::optional<std::uint64_t> offset) noexcept;
std::ptrdiff_t WriteSome(int fd, const std::uint8_t* data, std::size_t n, std::optional<std::uint64_t> offset) noexcept;

struct InputFile::Impl {
    std::filesystem::path path;
    int fd = -1;
    bool owned = true;

    // All of n bytes, at offset or, without one, at the file position.
    void Read(std::uint8_t* data, std::size_t n, std::optional<std::uint64_t> offset);
};

// The file an AtomicOutputFile makes. Writing it is the same everywhere (base/Files.cpp); where
// it is made, how it is named when complete and what is left when it is not are the platform's,
// in the class its unit derives.
class FileBeingMade {
public:
    // The platform's file beside the destination, or the stream the policy names.
    static std::unique_ptr<FileBeingMade> Open(const std::filesystem::path& destination, OutputPolicy policy);
    // Each platform's stops the early flush before it closes the file.
    virtual ~FileBeingMade() = default;
    FileBeingMade(const FileBeingMade&) = delete;
    FileBeingMade& operator=(const FileBeingMade&) = delete;

    // All of data, at offset or, without one, at the file position.
    void Put(const std::uint8_t* data, std::size_t n, std::optional<std::uint64_t> offset);
    void Write(const std::uint8_t* data, std::size_t n);
    void WritePart(const std::uint8_t* data, std::size_t n, std::uint64_t offset);
    void Commit();

protected:
    FileBeingMade(const std::filesystem::path& destination, OutputPolicy policy)
        : destination_(policy.stream >= 0 ? destination : ThroughLink(destination)),
          policy_(policy),
          fd_(policy.stream) {}

    // Through a symbolic link, the file it names: that file is replaced and the link kept.
    static std::filesystem::path ThroughLink(const std::filesystem::path& destination);

    // The complete file flushed to disk and given the destination's name; committed_ is set
    // once it has it.
    virtual void Name() = 0;
    // Before the file is closed: no flush may run on a closed descriptor.
    void StopFlushing() noexcept { early_.Stop(); }

    std::filesystem::path destination_;
    OutputPolicy policy_;
    int fd_ = -1;
    bool committed_ = false;

private:
    EarlyFlush early_;
};

}  // namespace tavorin
