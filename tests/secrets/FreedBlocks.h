#pragma once
// This test program replaces operator new and delete so that, while a watch is on, every
// block handed back is searched for given byte strings just before it is freed: a key copy
// that was not wiped shows up there. Nothing is read after it is freed.

#include <cstddef>
#include <string>
#include <vector>

namespace tavorin::test {

class FreedBlockWatch {
public:
    // needles: byte strings to look for (at most 8, each 8 to 256 bytes).
    explicit FreedBlockWatch(const std::vector<std::string>& needles);
    ~FreedBlockWatch();
    FreedBlockWatch(const FreedBlockWatch&) = delete;
    FreedBlockWatch& operator=(const FreedBlockWatch&) = delete;

    // Blocks freed so far that held a needle, and blocks freed at all.
    std::size_t Hits() const noexcept;
    std::size_t Freed() const noexcept;
};

}  // namespace tavorin::test
