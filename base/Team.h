#pragma once
// Work split over every core the process may run on: numbered jobs handed out in order to a
// few threads and the calling thread, which also hears of each finished job (to raise
// progress events where the caller's handlers expect them).
//
// Where no thread can be started (TAVORIN_NO_THREADS, WebAssembly, or the system refuses
// one) the calling thread runs every job itself, in order.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "base/Cores.h"

namespace tavorin {

// The cores this process may run on, at least 1; 1 where threads cannot be started.
std::size_t CoreCount() noexcept;
// Tests compare the work of one thread with that of many: at most `cores` from now on (0:
// no limit).
void LimitCores(std::size_t cores) noexcept;

class Team {
public:
    // Up to `size` members: the calling thread and size - 1 started threads.
    explicit Team(std::size_t size = CoreCount());
    ~Team();
    Team(const Team&) = delete;
    Team& operator=(const Team&) = delete;

    // The calling thread and the threads started.
    std::size_t Size() const noexcept { return threads_.size() + 1; }

    // Runs job(0) ... job(count - 1), each once, spread over the members; returns when all
    // have ended. After each job ends, `finished` runs on the calling thread (never two at
    // once). Jobs must not throw.
    void Run(std::size_t count, const std::function<void(std::size_t)>& job,
             const std::function<void()>& finished = {});

private:
    void Serve() noexcept;

    std::mutex mutex_;
    std::condition_variable wake_;   // a new round, or the end
    std::condition_variable ended_;  // a job ended
    const std::function<void(std::size_t)>* job_ = nullptr;
    std::size_t count_ = 0;
    std::size_t next_ = 0;        // the next job to hand out
    std::size_t unreported_ = 0;  // jobs ended on other threads, not yet told to the caller
    std::size_t running_ = 0;     // jobs being run on other threads
    std::size_t round_ = 0;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace tavorin
