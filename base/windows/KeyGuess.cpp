#include "base/KeyGuess.h"

namespace tavorin {

// No build of zxcvbn is to be had for Windows here: keys get the length warnings alone.
std::optional<KeyGuess> EstimateKeyGuess(const std::string&) { return std::nullopt; }

}  // namespace tavorin
