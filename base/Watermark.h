#pragma once
// A count that one thread raises and another waits on: raising it is a store, and a system
// call only when the waiting thread sleeps and wants what was reached.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace tavorin {

class Watermark {
public:
    std::size_t Value() const noexcept { return value_.load(); }
    bool Closed() const noexcept { return closed_.load(); }

    void Raise(std::size_t to) {
        value_.store(to);
        const std::size_t wanted = wanted_.load();
        if (wanted != 0 && to >= wanted) {
            Wake();
        }
    }

    // No more is coming; a waiting thread returns with what there is.
    void Close() {
        closed_.store(true);
        Wake();
    }

    // Waits until the count reaches `want` (at least 1) or the mark is closed; returns the count.
    std::size_t WaitFor(std::size_t want) {
        if (value_.load() >= want || closed_.load()) {
            return value_.load();
        }
        // Said before the count is looked at again: a raise after this sees it and wakes us.
        wanted_.store(want);
        if (value_.load() < want && !closed_.load()) {
            std::unique_lock guard(lock_);
            changed_.wait(guard, [&] { return value_.load() >= want || closed_.load(); });
        }
        wanted_.store(0);
        return value_.load();
    }

private:
    void Wake() {
        { const std::lock_guard guard(lock_); }  // a waiter is either before its check or asleep
        changed_.notify_one();
    }

    std::atomic<std::size_t> value_{0};
    std::atomic<std::size_t> wanted_{0};  // what the sleeping thread waits for; 0: none sleeps
    std::atomic<bool> closed_{false};
    std::mutex lock_;
    std::condition_variable changed_;
};

}  // namespace tavorin
