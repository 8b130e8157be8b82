#include "base/EarlyFlush.h"

#include <cerrno>
#include <condition_variable>
#include <system_error>
#include <thread>

#include "base/FileSteps.h"
#include "base/Types.h"

namespace tavorin {

// Flushes the file each time it is asked, on its own thread, and keeps the first error.
class EarlyFlush::Flusher {
public:
    explicit Flusher(int fd) : fd_(fd), thread_([this] { Loop(); }) {}
    ~Flusher() { Finish(); }

    void Ask() {
        {
            std::lock_guard lock(mutex_);
            ++asked_;
        }
        wake_.notify_one();
    }

    // Waits for a flush under way, and returns the first error.
    int Finish() noexcept {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) {
            thread_.join();
        }
        return error_;
    }

private:
    void Loop() {
        std::uint64_t served = 0;
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stop_ || asked_ > served; });
            if (stop_) {
                return;
            }
            served = asked_;
            lock.unlock();
            const int err = FlushData(fd_);
            lock.lock();
            if (err != 0 && error_ == 0) {
                error_ = err;
            }
        }
    }

    int fd_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::uint64_t asked_ = 0;
    bool stop_ = false;
    int error_ = 0;
    std::thread thread_;  // last: it starts once the rest is ready
};

EarlyFlush::EarlyFlush() noexcept = default;

EarlyFlush::~EarlyFlush() { Stop(); }

void EarlyFlush::WroteInOrder(int fd, std::uint64_t n) {
    written_ += n;
    if (written_ - started_ >= kWriteBackStep) {
        StartWriteBack(fd, started_, written_ - started_);
        started_ = written_;
    }
    FlushIfDue(fd);
}

void EarlyFlush::WrotePart(int fd, std::uint64_t offset, std::uint64_t n) {
    std::lock_guard lock(parts_);
    StartWriteBack(fd, offset, n);
    written_ += n;
    FlushIfDue(fd);
}

void EarlyFlush::FlushIfDue(int fd) {
    if (written_ - flushAsked_ < kFlushStep) {
        return;
    }
    flushAsked_ = written_;
    if (Step(FileStep::Flush, [] { return 0; }) != 0) {
        if (error_ == 0) {
            error_ = errno;
        }
    } else if (ThreadsAvailable) {  // else Commit's flush does all of it
        try {
            if (!flusher_) {
                flusher_ = std::make_unique<Flusher>(fd);
            }
            flusher_->Ask();
        } catch (const std::system_error&) {
            // No thread to be had: Commit's flush does all of it.
        }
    }
}

int EarlyFlush::Stop() noexcept {
    if (flusher_) {
        const int err = flusher_->Finish();
        if (error_ == 0) {
            error_ = err;
        }
        flusher_.reset();
    }
    return error_;
}

}  // namespace tavorin
