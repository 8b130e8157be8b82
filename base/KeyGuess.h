#pragma once
// How easily a key could be guessed, as zxcvbn estimates it; where the build has no estimator
// (the page, Windows) there is no estimate.

#include <optional>
#include <string>

namespace tavorin {

struct KeyGuess {
    double bits = 0;       // log2 of the guesses the key would take
    std::string patterns;  // what made it easier, e.g. "a common word, a date"; may be empty
};

// Keys below this many bits are worth a warning (what password managers call poor).
inline constexpr double GuessableBelowBits = 40;

// The estimate for a key (UTF-8), or nothing where no estimator is to be had.
std::optional<KeyGuess> EstimateKeyGuess(const std::string& utf8Key);

}  // namespace tavorin
