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

std::size_t KeyCharactersUsed(std::u16string_view name) noexcept {
#define TAVORIN_KEY_CHARACTERS(engine)     \
    if (SameName(name, u"" #engine)) {     \
        return cls##engine::KeyCharacters; \
    }
    TAVORIN_FOR_EACH_ENGINE(TAVORIN_KEY_CHARACTERS)
#undef TAVORIN_KEY_CHARACTERS
    return 0;
}

std::string KeyLengthWarning(std::u16string_view name, std::size_t keyCharacters) {
    const std::size_t used = KeyCharactersUsed(name);
    if (used == 0 || keyCharacters <= used) {
        return {};
    }
    std::string engine;
    for (const auto known : EngineNames) {
        if (SameName(name, known)) {
            engine.assign(known.begin(), known.end());  // as written, whatever case was given; ASCII
        }
    }
    return engine + " uses only the first " + std::to_string(used) + " characters of the key";
}

}  // namespace tavorin
