#pragma once
// The five engines by display name, in the order the window lists them.

#include <array>
#include <memory>
#include <string_view>

#include "engines/Engine.h"

namespace tavorin {

inline constexpr std::array<std::u16string_view, 5> EngineNames = {u"Blowfish", u"DES", u"Gost", u"Skipjack",
                                                                   u"Twofish"};

// A new engine of that display name (ASCII case ignored), or nullptr when there is none.
std::unique_ptr<Engine> CreateEngine(std::u16string_view name);

// Whether an engine of that name is built into this program.
bool EngineAvailable(std::u16string_view name);

}  // namespace tavorin
