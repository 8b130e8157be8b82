#pragma once
// For base's file units only: a large file's written part flushed while the rest is still being
// made. The flush at Commit costs about as much as writing the file, all at the end; instead
// the system is asked to start writing back each stretch as it is written, and a thread of its
// own flushes every few megabytes. Hints only: Commit's own flush still reports any error, and
// the first error of an early one is kept for Commit to report (the kernel reports a write-back
// error to one flush only). Without threads, Commit's flush does all of it.

#include <cstdint>
#include <memory>
#include <mutex>

namespace tavorin {

// Flushes the file's data to disk: 0, or an errno (fdatasync; FlushFileBuffers).
int FlushData(int fd) noexcept;
// Asks the system to start writing back a stretch of the file; nothing where it has no such call.
void StartWriteBack(int fd, std::uint64_t offset, std::uint64_t n) noexcept;

class EarlyFlush {
public:
    EarlyFlush() noexcept;
    ~EarlyFlush();
    EarlyFlush(const EarlyFlush&) = delete;
    EarlyFlush& operator=(const EarlyFlush&) = delete;

    // After n bytes written at the file position of fd.
    void WroteInOrder(int fd, std::uint64_t n);
    // After n bytes written at offset, by any of several threads at once.
    void WrotePart(int fd, std::uint64_t offset, std::uint64_t n);
    // Waits for a flush under way (one asked for but not begun is left to Commit's own) and
    // returns the first error of any early flush, 0 when there was none.
    int Stop() noexcept;

private:
    class Flusher;
    // Asks for a flush each kFlushStep bytes written.
    void FlushIfDue(int fd);

    static constexpr std::uint64_t kWriteBackStep = std::uint64_t{1} << 20;
    static constexpr std::uint64_t kFlushStep = std::uint64_t{8} << 20;
    std::uint64_t written_ = 0;     // bytes written so far
    std::uint64_t started_ = 0;     // bytes in order whose write-back has been started
    std::uint64_t flushAsked_ = 0;  // bytes written when the last flush was asked for
    std::unique_ptr<Flusher> flusher_;
    int error_ = 0;
    std::mutex parts_;  // WrotePart's accounting
};

}  // namespace tavorin
