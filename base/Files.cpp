// What the classes of base/Files.h do the same way on every system: reading and writing
// through the platform's calls (base/FilesImpl.h), and the order of a commit.
#include "base/Files.h"

#include <cerrno>

#include "base/FileSteps.h"
#include "base/FilesImpl.h"

namespace tavorin {

void InputFile::ReadExact(std::uint8_t* data, std::size_t n) { impl_->Read(data, n, std::nullopt); }

void InputFile::ReadAt(std::uint8_t* data, std::size_t n, std::uint64_t offset) { impl_->Read(data, n, offset); }

void InputFile::Impl::Read(std::uint8_t* data, std::size_t n, std::optional<std::uint64_t> offset) {
    while (n > 0) {
        const std::ptrdiff_t got = Step(FileStep::ReadSource, [&] { return ReadSome(fd, data, n, offset); });
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            ThrowFileError(errno, "reading", path);
        }
        if (got == 0) {
            ThrowFileProblem(path, "became shorter while it was read");
        }
        data += got;
        n -= static_cast<std::size_t>(got);
        if (offset) {
            *offset += static_cast<std::uint64_t>(got);
        }
    }
}

AtomicOutputFile::AtomicOutputFile(const std::filesystem::path& destination, OutputPolicy policy)
    : impl_(FileBeingMade::Open(destination, policy)) {}

AtomicOutputFile::~AtomicOutputFile() = default;

void AtomicOutputFile::Write(const std::uint8_t* data, std::size_t n) { impl_->Write(data, n); }

void AtomicOutputFile::WriteAt(const std::uint8_t* data, std::size_t n, std::uint64_t offset) {
    impl_->Put(data, n, offset);
}

void AtomicOutputFile::WritePart(const std::uint8_t* data, std::size_t n, std::uint64_t offset) {
    impl_->WritePart(data, n, offset);
}

void AtomicOutputFile::Commit() { impl_->Commit(); }

void FileBeingMade::Put(const std::uint8_t* data, std::size_t n, std::optional<std::uint64_t> offset) {
    while (n > 0) {
        std::ptrdiff_t put = Step(FileStep::Write, [&] { return WriteSome(fd_, data, n, offset); });
        if (put == 0) {
            errno = EIO, put = -1;  // nothing taken: no progress to wait for
        }
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            ThrowFileError(errno, "writing", destination_);
        }
        data += put;
        n -= static_cast<std::size_t>(put);
        if (offset) {
            *offset += static_cast<std::uint64_t>(put);
        }
    }
}

void FileBeingMade::Write(const std::uint8_t* data, std::size_t n) {
    Put(data, n, std::nullopt);
    if (policy_.stream >= 0) {
        return;  // a stream is not flushed to disk
    }
    early_.WroteInOrder(fd_, n);
}

void FileBeingMade::WritePart(const std::uint8_t* data, std::size_t n, std::uint64_t offset) {
    Put(data, n, offset);
    early_.WrotePart(fd_, offset, n);
}

void FileBeingMade::Commit() {
    if (const int err = early_.Stop(); err != 0) {
        ThrowFileError(err, "writing", destination_);
    }
    if (policy_.stream >= 0) {
        committed_ = true;
        return;
    }
    Name();
}

std::filesystem::path FileBeingMade::ThroughLink(const std::filesystem::path& destination) {
    std::error_code ec;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(destination, ec))) {
        std::filesystem::path target = std::filesystem::weakly_canonical(destination, ec);
        if (!ec) {
            return target;
        }
    }
    return destination;
}

}  // namespace tavorin
