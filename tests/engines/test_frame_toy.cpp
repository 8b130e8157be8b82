// The frame over a toy block cipher, so that framing faults show apart from cipher faults.
#include <gtest/gtest.h>

#include "base/Failure.h"
#include "engines/FramedEngine.h"
#include "tests/ToyCipher.h"

using namespace tavorin;
using tavorin::test::ToyCipher;

namespace {

template <class E>
std::vector<int> ProgressOf(E& e, ByteArray& data, bool decrypt) {
    std::vector<int> seen;
    e.Progress = [&](std::int32_t p) { seen.push_back(p); };
    if (decrypt)
        e.DecryptByte(data);
    else
        e.EncryptByte(data);
    e.Progress = nullptr;
    return seen;
}

}  // namespace

TEST(FrameToy, LengthsAndRoundTrips) {
    ToyCipher<8> e8;
    ToyCipher<16> e16;
    for (std::size_t L = 0; L <= 70; ++L) {
        ByteArray data(L);
        for (std::size_t i = 0; i < L; ++i)
            data[i] = static_cast<std::uint8_t>(i * 7 + 1);
        ByteArray a = data, b = data;
        e8.EncryptByte(a, u"k");
        e16.EncryptByte(b, u"k");
        EXPECT_EQ(a.size(), (L + 12 + 7) / 8 * 8);
        EXPECT_EQ(b.size(), (L + 12 + 15) / 16 * 16);
        EXPECT_TRUE(e8.DecryptByte(a, u"k"));
        EXPECT_TRUE(e16.DecryptByte(b, u"k"));
        EXPECT_EQ(a, data);
        EXPECT_EQ(b, data);
    }
}

TEST(FrameToy, ProgressSequences) {
    ToyCipher<8> e;
    ByteArray four(4);
    EXPECT_EQ(ProgressOf(e, four, false), (std::vector<int>{0, 50, 100}));
    ByteArray twelve(12);
    EXPECT_EQ(ProgressOf(e, twelve, false), (std::vector<int>{0, 33, 66, 100}));
    EXPECT_EQ(ProgressOf(e, twelve, true), (std::vector<int>{0, 33, 66, 100}));
}
