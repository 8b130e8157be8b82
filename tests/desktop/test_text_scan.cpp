// The scans over the window's texts: each vector form against its plain one.
#include <gtest/gtest.h>

#include "desktop/TextScan.h"

using namespace tavorin;

TEST(TextScan, TheVectorScanStopsWhereThePlainLoopStops) {
    // The edges of printable ASCII around one character outside it, at every place and
    // alignment: the saturating arithmetic must let neither neighbour of the range through.
    std::u16string text;
    for (int i = 0; i < 160; ++i) {
        text += i % 3 == 0 ? u' ' : (i % 3 == 1 ? u'~' : u'a');
    }
    EXPECT_EQ(FindSpecial(text, 0), text.size());
    for (const char16_t special : {u'\x1f', u'\x7f', u'\x80', u'\u8020', u'\uffff'}) {
        for (std::size_t at = 0; at < text.size(); ++at) {
            std::u16string line = text;
            line[at] = special;
            for (const std::size_t from : {std::size_t{0}, std::size_t{3}, at}) {
                ASSERT_EQ(FindSpecial(line, from), FindSpecialPlain(line, from)) << at;
            }
        }
    }
}

// A break in every lane of every step and in the tail; a character whose bytes hold CR or LF
// is none.
TEST(TextScan, TheVectorLineBreakScanFindsWhatThePlainSearchFinds) {
    for (std::size_t size = 0; size <= 100; ++size) {
        std::u16string text(size, u'A');
        EXPECT_FALSE(HasLineBreak(text)) << size;
        for (std::size_t at = 0; at < size; ++at) {
            for (const char16_t c : {u'\r', u'\n', u'\u0D0A', u'\u0A00'}) {
                text[at] = c;
                ASSERT_EQ(HasLineBreak(text), HasLineBreakPlain(text)) << size << ' ' << at;
            }
            text[at] = u'A';
        }
    }
}
