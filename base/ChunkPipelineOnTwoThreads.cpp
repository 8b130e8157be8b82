// The chunks' stages on two threads: this one transforms, a second reads ahead and writes
// behind, in the order RunHere (ChunkPipeline.cpp) makes the same calls on one.
#include "base/ChunkPipeline.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "base/Types.h"

namespace tavorin {

namespace {

// What the two threads tell each other.
struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t read = 0;        // chunks read so far
    std::size_t worked = 0;      // chunks transformed so far
    bool stop = false;           // set by either side on failure
    std::exception_ptr failure;  // the second thread's, for the caller to throw

    // Waits until done(), or until the other side stopped; false then.
    template <class Done>
    bool Await(Done done) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stop || done(); });
        return !stop;
    }

    template <class Change>
    void Publish(Change change) {
        {
            std::lock_guard lock(mutex);
            change();
        }
        changed.notify_all();
    }
};

}  // namespace

void ChunkPipeline::Run(std::size_t n, const Stage& read, const Stage& work, const Stage& write) {
    if (n <= 1 || !ThreadsAvailable) {
        RunHere(n, read, work, write);
        return;
    }

    Shared shared;
    auto readOne = [&](std::size_t k) {
        read(k, Slot(k));
        shared.Publish([&] { shared.read = k + 1; });
    };
    auto ioLoop = [&] {
        try {
            readOne(0);
            readOne(1);
            for (std::size_t k = 0; k < n; ++k) {
                if (!shared.Await([&] { return shared.worked > k; })) {
                    return;
                }
                write(k, Slot(k));
                if (k + 2 < n) {
                    readOne(k + 2);
                }
            }
        } catch (...) {
            shared.Publish([&] {
                shared.failure = std::current_exception();
                shared.stop = true;
            });
        }
    };
    std::thread io;
    try {
        io = std::thread(ioLoop);
    } catch (const std::system_error&) {
        RunHere(n, read, work, write);  // no thread to be had: slower, but the same
        return;
    }

    try {
        for (std::size_t k = 0; k < n; ++k) {
            if (!shared.Await([&] { return shared.read > k; })) {
                break;
            }
            work(k, Slot(k));
            shared.Publish([&] { shared.worked = k + 1; });
        }
    } catch (...) {
        shared.Publish([&] { shared.stop = true; });
        io.join();
        throw;
    }
    io.join();
    if (shared.failure) {
        std::rethrow_exception(shared.failure);
    }
}

}  // namespace tavorin
