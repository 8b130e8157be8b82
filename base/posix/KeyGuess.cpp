// zxcvbn's estimate; a build without it (TAVORIN_ZXCVBN unset: the page) gives none.
#include "base/KeyGuess.h"

#ifdef TAVORIN_ZXCVBN
#include <dlfcn.h>
#include <zxcvbn.h>
#endif

namespace tavorin {

#ifdef TAVORIN_ZXCVBN
namespace {

const char* PatternName(int type) noexcept {
    switch (type & ~MULTIPLE_MATCH) {
    case DICTIONARY_MATCH:
    case USER_MATCH:
        return "a common word or name";
    case DICT_LEET_MATCH:
    case USER_LEET_MATCH:
        return "a common word with letters swapped for digits";
    case REPEATS_MATCH:
        return "repeated characters";
    case SEQUENCE_MATCH:
        return "a sequence like abc or 123";
    case SPATIAL_MATCH:
        return "a keyboard pattern";
    case DATE_MATCH:
    case YEAR_MATCH:
        return "a date or year";
    default:
        return nullptr;
    }
}

// The library (1.4 MB, mostly its dictionary) is loaded the first time a key is judged, so
// that every other run starts without mapping and relocating it; the package depends on it.
struct Zxcvbn {
    decltype(&ZxcvbnMatch) match = nullptr;
    decltype(&ZxcvbnFreeInfo) freeInfo = nullptr;
};

const Zxcvbn* LoadZxcvbn() {
    static const Zxcvbn zxcvbn = [] {
        Zxcvbn found;
        if (void* library = dlopen("libzxcvbn.so.0", RTLD_NOW | RTLD_LOCAL)) {
            found.match = reinterpret_cast<decltype(found.match)>(dlsym(library, "ZxcvbnMatch"));
            found.freeInfo = reinterpret_cast<decltype(found.freeInfo)>(dlsym(library, "ZxcvbnFreeInfo"));
        }
        return found;
    }();
    return zxcvbn.match != nullptr && zxcvbn.freeInfo != nullptr ? &zxcvbn : nullptr;
}

}  // namespace
#endif

std::optional<KeyGuess> EstimateKeyGuess(const std::string& utf8Key) {
#ifdef TAVORIN_ZXCVBN
    const Zxcvbn* zxcvbn = LoadZxcvbn();
    if (zxcvbn == nullptr) {
        return std::nullopt;  // not installed: the length warnings stand alone
    }
    ZxcMatch_t* info = nullptr;
    KeyGuess guess;
    guess.bits = zxcvbn->match(utf8Key.c_str(), nullptr, &info);
    for (const ZxcMatch_t* part = info; part != nullptr; part = part->Next) {
        const char* name = PatternName(part->Type);
        if (name != nullptr && guess.patterns.find(name) == std::string::npos) {
            guess.patterns += (guess.patterns.empty() ? "" : ", ") + std::string(name);
        }
    }
    zxcvbn->freeInfo(info);
    return guess;
#else
    (void)utf8Key;
    return std::nullopt;
#endif
}

}  // namespace tavorin
