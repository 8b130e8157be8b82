#include "engines/Registry.h"

#if __has_include("engines/clsBlowfish.h")
#include "engines/clsBlowfish.h"
#define TAVORIN_HAS_BLOWFISH 1
#endif
#if __has_include("engines/clsDES.h")
#include "engines/clsDES.h"
#define TAVORIN_HAS_DES 1
#endif
#if __has_include("engines/clsGost.h")
#include "engines/clsGost.h"
#define TAVORIN_HAS_GOST 1
#endif
#if __has_include("engines/clsSkipjack.h")
#include "engines/clsSkipjack.h"
#define TAVORIN_HAS_SKIPJACK 1
#endif
#if __has_include("engines/clsTwofish.h")
#include "engines/clsTwofish.h"
#define TAVORIN_HAS_TWOFISH 1
#endif

namespace tavorin {

namespace {

[[maybe_unused]] bool SameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::unique_ptr<Engine> CreateEngine(std::u16string_view name) {
    (void)name;
#ifdef TAVORIN_HAS_BLOWFISH
    if (SameName(name, u"Blowfish"))
        return std::make_unique<clsBlowfish>();
#endif
#ifdef TAVORIN_HAS_DES
    if (SameName(name, u"DES"))
        return std::make_unique<clsDES>();
#endif
#ifdef TAVORIN_HAS_GOST
    if (SameName(name, u"Gost"))
        return std::make_unique<clsGost>();
#endif
#ifdef TAVORIN_HAS_SKIPJACK
    if (SameName(name, u"Skipjack"))
        return std::make_unique<clsSkipjack>();
#endif
#ifdef TAVORIN_HAS_TWOFISH
    if (SameName(name, u"Twofish"))
        return std::make_unique<clsTwofish>();
#endif
    return nullptr;
}

bool EngineAvailable(std::u16string_view name) { return CreateEngine(name) != nullptr; }

}  // namespace tavorin
