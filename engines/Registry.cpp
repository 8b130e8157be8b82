#include "engines/Registry.h"

#include "engines/EngineHeaders.h"

namespace tavorin {

namespace {

bool SameName(std::u16string_view a, std::u16string_view b) {
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
#define TAVORIN_CREATE_ENGINE(engine)           \
    if (SameName(name, u"" #engine)) {          \
        return std::make_unique<cls##engine>(); \
    }
    TAVORIN_FOR_EACH_ENGINE(TAVORIN_CREATE_ENGINE)
#undef TAVORIN_CREATE_ENGINE
    return nullptr;
}

}  // namespace tavorin
