// Key-dependent tables: zero once an engine is destroyed, and after re-keying exactly those
// of a fresh engine given the new key, with nothing of the old key left over. A key that
// is refused leaves them as they were.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <vector>

#include "base/Failure.h"
#include "engines/clsBlowfish.h"
#include "engines/clsDES.h"
#include "engines/clsGost.h"
#include "engines/clsSkipjack.h"
#include "engines/clsTwofish.h"

namespace tavorin {

// The engines name this struct a friend; it exists only in the tests.
struct KeyMaterialView {
    struct Span {
        const void* at;
        std::size_t size;
    };

    static std::vector<Span> Tables(const clsBlowfish& e) { return {{&e.tables_, sizeof e.tables_}}; }
    static std::vector<Span> Tables(const clsDES& e) { return {{e.SubKeys.data(), sizeof e.SubKeys}}; }
    static std::vector<Span> Tables(const clsGost& e) { return {{e.SubKey.data(), sizeof e.SubKey}}; }
    static std::vector<Span> Tables(const clsSkipjack& e) {
        return {{e.KeyBytes.data(), sizeof e.KeyBytes},
                {e.keyedF_.data(), sizeof e.keyedF_},
                {e.tables_.data(), sizeof e.tables_}};
    }
    static std::vector<Span> Tables(const clsTwofish& e) {
        return {{e.ExpandedKey.data(), sizeof e.ExpandedKey}, {e.KeyedSBox.data(), sizeof e.KeyedSBox}};
    }

    // The tables as bytes that two instances holding the same key must share: Skipjack's
    // table pointers point into the instance itself, so they count as offsets.
    template <class E>
    static std::vector<std::uint8_t> Comparable(const E& e) {
        std::vector<std::uint8_t> bytes;
        for (const Span& s : Tables(e)) {
            const auto* p = static_cast<const std::uint8_t*>(s.at);
            bytes.insert(bytes.end(), p, p + s.size);
        }
        if constexpr (std::is_same_v<E, clsSkipjack>) {
            bytes.clear();
            bytes.insert(bytes.end(), e.KeyBytes.begin(), e.KeyBytes.end());
            for (const std::uint8_t* table : e.keyedF_) {
                const auto offset = static_cast<std::uint32_t>(table - e.tables_.data());
                for (int i = 0; i < 4; ++i)
                    bytes.push_back(static_cast<std::uint8_t>(offset >> (8 * i)));
            }
            bytes.insert(bytes.end(), e.tables_.begin(), e.tables_.end());
        }
        return bytes;
    }
};

}  // namespace tavorin

using namespace tavorin;
using View = KeyMaterialView;

namespace {

template <class E>
class KeyTables : public ::testing::Test {};

using Engines = ::testing::Types<clsBlowfish, clsDES, clsGost, clsSkipjack, clsTwofish>;
TYPED_TEST_SUITE(KeyTables, Engines);

const std::u16string_view kKeys[] = {
    u"a", u"correct horse battery staple", u"\u00C6r\u00F8 \u20AC", u"12345678", u"0123456789abcdef0123456789abcdef!",
};

bool AllZero(const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] != 0)
            return false;
    }
    return true;
}

}  // namespace

TYPED_TEST(KeyTables, ZeroOnceTheEngineIsDestroyed) {
    for (std::u16string_view key : kKeys) {
        SCOPED_TRACE(std::string(key.begin(), key.end()));
        // Storage of our own, so that its bytes can be read after the engine in it is gone.
        constexpr auto align = std::align_val_t{alignof(TypeParam)};
        auto* storage = static_cast<std::uint8_t*>(::operator new(sizeof(TypeParam), align));
        auto* engine = new (storage) TypeParam();
        engine->Key(key);
        ByteArray data(100, 0x41);
        engine->EncryptByte(data);

        std::vector<std::pair<std::size_t, std::size_t>> spans;  // offset, size
        for (const View::Span& s : View::Tables(*engine)) {
            spans.emplace_back(static_cast<const std::uint8_t*>(s.at) - storage, s.size);
            EXPECT_FALSE(AllZero(static_cast<const std::uint8_t*>(s.at), s.size)) << "a keyed table is empty";
        }
        engine->~TypeParam();
        for (const auto& [offset, size] : spans) {
            std::vector<std::uint8_t> left(size);
            std::memcpy(left.data(), storage + offset, size);
            EXPECT_TRUE(AllZero(left.data(), size)) << "key material left at offset " << offset;
        }
        ::operator delete(storage, align);
    }
}

TYPED_TEST(KeyTables, RekeyingLeavesNothingOfTheOldKey) {
    for (std::u16string_view first : kKeys) {
        for (std::u16string_view second : kKeys) {
            if (first == second)
                continue;
            TypeParam rekeyed;
            rekeyed.Key(first);
            ByteArray data(40, 7);
            rekeyed.EncryptByte(data);
            rekeyed.Key(second);
            TypeParam fresh;
            fresh.Key(second);
            EXPECT_EQ(View::Comparable(rekeyed), View::Comparable(fresh))
                << "tables after re-keying differ from a fresh schedule of the same key";
        }
    }
}

TYPED_TEST(KeyTables, RefusedKeyChangesNothing) {
    TypeParam engine;
    engine.Key(u"the current key");
    const std::vector<std::uint8_t> before = View::Comparable(engine);
    // A character the code page cannot hold is refused, never replaced.
    EXPECT_THROW(engine.Key(u"the current key \u0141"), Failure);
    EXPECT_EQ(View::Comparable(engine), before);
    // The empty key: refused by some engines, a documented reset by others.
    try {
        engine.Key(u"");
        TypeParam fresh;
        try {
            fresh.Key(u"");
        } catch (const Failure&) {
        }
        if (View::Comparable(engine) != before) {
            EXPECT_EQ(View::Comparable(engine), View::Comparable(fresh)) << "the empty key left a half schedule";
        }
    } catch (const Failure&) {
        EXPECT_EQ(View::Comparable(engine), before) << "a refused empty key changed the tables";
    }
}
