#include "base/Team.h"

#include <atomic>
#include <exception>
#include <system_error>

#include "base/Types.h"

namespace tavorin {

namespace {
std::atomic<std::size_t> coreLimit{0};
}  // namespace

void LimitCores(std::size_t cores) noexcept { coreLimit.store(cores, std::memory_order_relaxed); }

std::size_t CoreCount() noexcept {
#if defined(TAVORIN_NO_THREADS) || defined(__EMSCRIPTEN__)
    return 1;
#else
    const std::size_t limit = coreLimit.load(std::memory_order_relaxed);
    if (limit != 0)
        return limit;
    std::size_t cores = std::thread::hardware_concurrency();
    // A process pinned to fewer cores (taskset, a container's limit) uses only those.
    const std::size_t allowed = AllowedCores();
    if (allowed != 0 && (cores == 0 || allowed < cores))
        cores = allowed;
    return cores == 0 ? 1 : cores;
#endif
}

namespace {

// A thread's stack keeps what its last calls left there (blocks of plaintext, round keys);
// a thread that ran cipher work clears what lies below it before it ends.
[[gnu::noinline]] void ClearStack() noexcept {
    unsigned char below[32 << 10];
    SecureWipe(below, sizeof below);
    asm volatile("" : : "r"(below) : "memory");
}

}  // namespace

Team::Team(std::size_t size) {
#if !defined(TAVORIN_NO_THREADS) && !defined(__EMSCRIPTEN__)
    for (std::size_t i = 1; i < size; ++i) {
        try {
            threads_.emplace_back([this] { Serve(); });
        } catch (const std::system_error&) {
            break;  // fewer threads: the same work, slower
        }
    }
#else
    (void)size;
#endif
}

Team::~Team() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void Team::Serve() noexcept {
    std::size_t seen = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return closing_ || round_ != seen; });
        if (closing_)
            break;
        seen = round_;
        while (job_ != nullptr && next_ < count_) {
            const std::size_t k = next_++;
            ++running_;
            lock.unlock();
            (*job_)(k);
            lock.lock();
            --running_;
            ++unreported_;
            ended_.notify_one();
        }
    }
    lock.unlock();
    ClearStack();
}

void Team::Run(std::size_t count, const std::function<void(std::size_t)>& job, const std::function<void()>& finished) {
    if (threads_.empty()) {
        for (std::size_t k = 0; k < count; ++k) {
            job(k);
            if (finished)
                finished();
        }
        return;
    }
    {
        std::lock_guard lock(mutex_);
        job_ = &job;
        count_ = count;
        next_ = 0;
        unreported_ = 0;
        ++round_;
    }
    wake_.notify_all();
    // A failing `finished` stops the handing out; the jobs already running end first, since
    // they use what the caller owns.
    std::exception_ptr failure;
    const auto tell = [&](std::unique_lock<std::mutex>& lock) {
        lock.unlock();
        try {
            if (finished && !failure)
                finished();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        if (failure)
            next_ = count_;
    };
    std::unique_lock lock(mutex_);
    for (;;) {
        if (next_ < count_) {
            const std::size_t k = next_++;
            lock.unlock();
            job(k);
            lock.lock();
            tell(lock);
        } else if (unreported_ == 0 && running_ == 0) {
            break;
        }
        // Report what the others finished meanwhile; wait only when nothing is left to take.
        while (unreported_ != 0) {
            --unreported_;
            tell(lock);
        }
        if (next_ == count_ && running_ != 0)
            ended_.wait(lock, [&] { return unreported_ != 0 || running_ == 0; });
    }
    job_ = nullptr;
    lock.unlock();
    if (failure)
        std::rethrow_exception(failure);
}

}  // namespace tavorin
