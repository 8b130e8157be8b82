#include "base/KeyGuess.h"

#ifdef TAVORIN_ZXCVBN
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

}  // namespace
#endif

std::optional<KeyGuess> EstimateKeyGuess(const std::string& utf8Key) {
#ifdef TAVORIN_ZXCVBN
    ZxcMatch_t* info = nullptr;
    KeyGuess guess;
    guess.bits = ZxcvbnMatch(utf8Key.c_str(), nullptr, &info);
    for (const ZxcMatch_t* part = info; part != nullptr; part = part->Next) {
        const char* name = PatternName(part->Type);
        if (name != nullptr && guess.patterns.find(name) == std::string::npos) {
            guess.patterns += (guess.patterns.empty() ? "" : ", ") + std::string(name);
        }
    }
    ZxcvbnFreeInfo(info);
    return guess;
#else
    (void)utf8Key;
    return std::nullopt;
#endif
}

}  // namespace tavorin
