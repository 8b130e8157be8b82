// The pages of base/Memory.h's locked ranges, counted: the system's lock is not, so a page that
// two ranges share is unlocked only when both have ended.
#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>

#include "base/Memory.h"
#include "base/SystemPages.h"

namespace tavorin {

namespace {

// Message bytes are locked up to this much in all, or the system's limit if lower: the common
// default limit on Linux, and enough for the file commands' buffers and a long message.
constexpr std::size_t kMessageBudget = std::size_t{8} << 20;

struct Page {
    std::size_t ranges = 0;
    bool locked = false;
};

class PageBook {
public:
    static PageBook& Get() noexcept {
        static PageBook* const book = new PageBook;  // never destroyed: ranges may end at the program's end
        return *book;
    }

    // Counts a range over its pages and locks those not locked yet. A message's range is
    // neither counted nor locked when its new pages would pass the budget.
    bool Add(const void* data, std::size_t size, Holds holds, bool& counted) noexcept {
        counted = false;
        if (data == nullptr || size == 0) {
            return false;
        }
        const auto [first, last] = Span(data, size);
        std::lock_guard hold(lock_);
        if (holds == Holds::Message) {
            if (last - first > budget_) {  // decided without a look at each page of a large one
                refusals_.messageBytes += size;
                return false;
            }
            std::size_t fresh = 0;
            for (std::uintptr_t p = first; p < last; p += page_) {
                const auto at = pages_.find(p);
                fresh += at == pages_.end() || !at->second.locked ? page_ : 0;
            }
            if ((lockedPages_ * page_) + fresh > budget_) {
                refusals_.messageBytes += size;
                return false;
            }
        }
        counted = true;
        bool all = true;
        std::uintptr_t run = 0;  // the start of a run of pages to lock, or 0
        const auto lockRun = [&](std::uintptr_t end) {
            if (run == 0) {
                return;
            }
            const bool locked = pages::Lock(reinterpret_cast<void*>(run), end - run);
            for (std::uintptr_t p = run; p < end; p += page_) {
                pages_[p].locked = locked;
            }
            if (locked) {
                lockedPages_ += (end - run) / page_;
            } else {
                (holds == Holds::Key ? refusals_.keyBytes : refusals_.messageBytes) += end - run;
                all = false;
            }
            run = 0;
        };
        for (std::uintptr_t p = first; p < last; p += page_) {
            Page& page = pages_[p];
            ++page.ranges;
            if (page.locked) {
                lockRun(p);
            } else if (run == 0) {
                run = p;
            }
        }
        lockRun(last);
        return all;
    }

    void Remove(const void* data, std::size_t size) noexcept {
        if (data == nullptr || size == 0) {
            return;
        }
        const auto [first, last] = Span(data, size);
        std::lock_guard hold(lock_);
        std::uintptr_t run = 0;
        const auto unlockRun = [&](std::uintptr_t end) {
            if (run != 0) {
                pages::Unlock(reinterpret_cast<void*>(run), end - run);
                lockedPages_ -= (end - run) / page_;
                run = 0;
            }
        };
        for (std::uintptr_t p = first; p < last; p += page_) {
            const auto at = pages_.find(p);
            if (at == pages_.end()) {
                unlockRun(p);
                continue;
            }
            const bool ends = --at->second.ranges == 0;
            const bool locked = at->second.locked;
            if (ends) {
                pages_.erase(at);
            }
            if (ends && locked) {
                run = run == 0 ? p : run;
            } else {
                unlockRun(p);
            }
        }
        unlockRun(last);
    }

    SwapRefusals Refusals() noexcept {
        std::lock_guard hold(lock_);
        return refusals_;
    }

private:
    PageBook() noexcept : page_(pages::Size()) {
        const std::size_t limit = pages::SystemLimit();
        budget_ = std::min(limit, kMessageBudget);
        refusals_.budget = budget_;
    }

    std::pair<std::uintptr_t, std::uintptr_t> Span(const void* data, std::size_t size) const noexcept {
        const auto begin = reinterpret_cast<std::uintptr_t>(data);
        return {begin & ~(page_ - 1), (begin + size + page_ - 1) & ~(page_ - 1)};
    }

    std::mutex lock_;
    std::size_t page_;
    std::size_t budget_ = 0;
    std::size_t lockedPages_ = 0;
    std::map<std::uintptr_t, Page> pages_;
    SwapRefusals refusals_;
};

}  // namespace

LockedMemory::LockedMemory(const void* data, std::size_t size, Holds holds) noexcept : data_(data), size_(size) {
    locked_ = PageBook::Get().Add(data, size, holds, counted_);
}

LockedMemory::~LockedMemory() {
    if (counted_) {
        PageBook::Get().Remove(data_, size_);
    }
}

LockedMemory::LockedMemory(LockedMemory&& other) noexcept
    : data_(other.data_), size_(other.size_), counted_(other.counted_), locked_(other.locked_) {
    other.counted_ = false;
}

LockedMemory& LockedMemory::operator=(LockedMemory&& other) noexcept {
    if (this != &other) {
        if (counted_) {
            PageBook::Get().Remove(data_, size_);
        }
        data_ = other.data_;
        size_ = other.size_;
        counted_ = other.counted_;
        locked_ = other.locked_;
        other.counted_ = false;
    }
    return *this;
}

bool LockKey(const void* data, std::size_t size) noexcept {
    bool counted = false;
    return PageBook::Get().Add(data, size, Holds::Key, counted);
}

void UnlockKey(const void* data, std::size_t size) noexcept { PageBook::Get().Remove(data, size); }

SwapRefusals SwapGuardRefusals() noexcept { return PageBook::Get().Refusals(); }

}  // namespace tavorin
