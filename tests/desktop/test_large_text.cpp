// The window commands' fast forms against their plain ones.
#include <gtest/gtest.h>

#include "desktop/LargeText.h"

using namespace tavorin;

// A break in every lane of every step and in the tail; a character whose bytes hold CR or LF
// is none.
TEST(LargeText, LineBreakScanFindsWhatThePlainSearchFinds) {
    for (std::size_t size = 0; size <= 100; ++size) {
        std::u16string text(size, u'A');
        EXPECT_FALSE(HasLineBreak(text)) << size;
        for (std::size_t at = 0; at < size; ++at) {
            for (const char16_t c : {u'\r', u'\n', u'\u0D0A', u'\u0A00'}) {
                text[at] = c;
                EXPECT_EQ(HasLineBreak(text), c == u'\r' || c == u'\n') << size << ' ' << at;
            }
            text[at] = u'A';
        }
    }
}
