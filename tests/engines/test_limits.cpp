// The largest frame is 2^31 - 1 bytes. Files past it fail with error 6 before anything is
// written; files up to it are taken. Sparse files stand in for the large ones, so nothing
// of that size is read, written or held in memory.
#include <gtest/gtest.h>

#include <memory>

#include "base/Failure.h"
#include "engines/FramedEngine.h"
#include "engines/Module1.h"
#include "engines/Registry.h"
#include "tests/FrameOracle.h"
#include "tests/TempDir.h"
#include "tests/ToyCipher.h"

using namespace tavorin;
using namespace tavorin::test;
namespace fs = std::filesystem;

namespace {

std::vector<std::unique_ptr<Engine>> AllEngines() {
    std::vector<std::unique_ptr<Engine>> engines;
    for (std::u16string_view name : EngineNames) {
        if (auto e = CreateEngine(name))
            engines.push_back(std::move(e));
    }
    engines.push_back(std::make_unique<ToyCipher<8>>());
    engines.push_back(std::make_unique<ToyCipher<16>>());
    return engines;
}

// A file of `size` bytes that takes no room, starting with `head`.
void Sparse(const fs::path& p, std::uint64_t size, const ByteArray& head = {}) {
    WriteFile(p, head);
    ResizeFile(p, size);
}

// The first blocks of a ciphertext whose frame header stores the length L.
ByteArray HeaderStoring(Engine& e, std::int32_t L) {
    ByteArray c(2 * e.BlockSize(), 0);
    Module1::StoreLE32(c.data() + 8, static_cast<std::uint32_t>(L));
    return CbcEncrypt(c, e.BlockSize(), EngineBlock(e));
}

std::int32_t ErrorOf(const std::function<void()>& f) {
    const auto failure = FailureOf(f);
    return failure ? failure->Number() : 0;
}

constexpr std::u16string_view kKey = u"limits";

}  // namespace

TEST(Limits, SourcesPastTheLargestFrameFailWithOverflowBeforeAnythingIsWritten) {
    TempDir dir;
    for (const auto& e : AllEngines()) {
        const std::uint64_t B = e->BlockSize();
        SCOPED_TRACE(std::string(e->Name().begin(), e->Name().end()) + " " + std::to_string(B));
        const std::uint64_t largestData = frame::MaxFrame / B * B - frame::HeaderSize;
        ASSERT_NE(frame::FrameLength(largestData, B), 0u);
        for (const std::uint64_t size :
             {largestData + 1, frame::MaxFrame, frame::MaxFrame + 1, std::uint64_t{1} << 32, std::uint64_t{1} << 40}) {
            SCOPED_TRACE(size);
            Sparse(dir / "source", size);
            EXPECT_EQ(ErrorOf([&] { e->EncryptFile(dir / "source", dir / "dest", kKey); }), Failure::Overflow);
            // An existing destination keeps what it held.
            WriteFile(dir / "existing", ByteArray{1, 2, 3});
            EXPECT_EQ(ErrorOf([&] { e->EncryptFile(dir / "source", dir / "existing", kKey); }), Failure::Overflow);
            EXPECT_EQ(ReadFile(dir / "existing"), (ByteArray{1, 2, 3}));
            EXPECT_EQ(dir.Names(), (std::set<std::string>{"existing", "source"}));
            fs::remove(dir / "existing");
        }
    }
}

TEST(Limits, CiphertextsPastTheLargestFrameFailBeforeAnythingIsWritten) {
    TempDir dir;
    for (const auto& e : AllEngines()) {
        const std::uint64_t B = e->BlockSize();
        SCOPED_TRACE(std::string(e->Name().begin(), e->Name().end()) + " " + std::to_string(B));
        e->Key(kKey);
        // Whole blocks past the limit: overflow. A partial block: error 9, as for any length.
        for (const std::uint64_t size :
             {(frame::MaxFrame / B + 1) * B, std::uint64_t{1} << 32, std::uint64_t{1} << 40}) {
            Sparse(dir / "source", size, HeaderStoring(*e, 0));
            EXPECT_EQ(ErrorOf([&] { (void)e->DecryptFile(dir / "source", dir / "dest", kKey); }), Failure::Overflow)
                << size;
        }
        Sparse(dir / "source", frame::MaxFrame);
        EXPECT_EQ(ErrorOf([&] { (void)e->DecryptFile(dir / "source", dir / "dest", kKey); }),
                  Failure::SubscriptOutOfRange);
        EXPECT_EQ(dir.Names(), (std::set<std::string>{"source"}));
    }
}

TEST(Limits, TheLargestCiphertextIsTaken) {
    // Its stored length decides: a length that does not fit is the wrong-key report, one that
    // makes T - L overflow is error 6; both before anything is written.
    TempDir dir;
    for (const auto& e : AllEngines()) {
        const std::uint64_t B = e->BlockSize();
        SCOPED_TRACE(std::string(e->Name().begin(), e->Name().end()) + " " + std::to_string(B));
        e->Key(kKey);
        const std::uint64_t T = frame::MaxFrame / B * B;
        int reports = 0;
        e->WrongKey = [&](std::u16string_view) { ++reports; };

        Sparse(dir / "source", T, HeaderStoring(*e, 0));
        EXPECT_FALSE(e->DecryptFile(dir / "source", dir / "dest", kKey));
        EXPECT_EQ(reports, 1);
        // The smallest stored length for which T - L still fits in 32 bits, and one below.
        const auto lowest = static_cast<std::int32_t>(static_cast<std::int64_t>(T) - frame::MaxFrame);
        Sparse(dir / "source", T, HeaderStoring(*e, lowest));
        EXPECT_FALSE(e->DecryptFile(dir / "source", dir / "dest", kKey));
        EXPECT_EQ(reports, 2);
        Sparse(dir / "source", T, HeaderStoring(*e, lowest - 1));
        EXPECT_EQ(ErrorOf([&] { (void)e->DecryptFile(dir / "source", dir / "dest", kKey); }), Failure::Overflow);
        EXPECT_EQ(reports, 2);
        EXPECT_EQ(dir.Names(), (std::set<std::string>{"source"}));
        e->WrongKey = nullptr;
    }
}

TEST(Limits, StoredLengthsNearTheLimitsOfAnArray) {
    // The same window on arrays: the array stays as it was on error 6.
    for (const auto& e : AllEngines()) {
        const std::size_t B = e->BlockSize();
        SCOPED_TRACE(std::string(e->Name().begin(), e->Name().end()));
        e->Key(kKey);
        for (const std::int32_t L : {INT32_MIN, INT32_MIN + 1, -1, INT32_MAX, INT32_MAX - 100}) {
            ByteArray c = HeaderStoring(*e, L);
            const auto T = static_cast<std::int64_t>(c.size());
            const ByteArray before = c;
            const std::int64_t d = T - L;
            if (d > INT32_MAX || d < INT32_MIN) {
                EXPECT_EQ(ErrorOf([&] { (void)e->DecryptByte(c); }), Failure::Overflow) << L;
                EXPECT_EQ(c, before);
            } else {
                bool intact = true;
                EXPECT_EQ(ErrorOf([&] { intact = e->DecryptByte(c); }), 0) << L;
                EXPECT_FALSE(intact);
                EXPECT_EQ(c.size(), 2 * B);
            }
        }
    }
}
