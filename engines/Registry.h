#pragma once
// The engines by display name, in the order the window lists them; the list is
// TAVORIN_ENGINES in CMakeLists.txt.

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "engines/Engine.h"
#include "engines/EngineList.h"

namespace tavorin {

#define TAVORIN_ENGINE_NAME(name) std::u16string_view(u"" #name),
inline constexpr std::array EngineNames = {TAVORIN_FOR_EACH_ENGINE(TAVORIN_ENGINE_NAME)};
#undef TAVORIN_ENGINE_NAME

// A new engine of that display name (ASCII case ignored), or nullptr when there is none.
std::unique_ptr<Engine> CreateEngine(std::u16string_view name);

// How many characters of a key (after the text gate: one byte each) the engine of that name
// reads; characters past them change nothing. 0 for a name that is no engine.
std::size_t KeyCharactersUsed(std::u16string_view name) noexcept;
// The warning for a key longer than the engine reads, e.g. "DES uses only the first 8
// characters of the key"; empty when every character counts. Every front end words it so.
std::string KeyLengthWarning(std::u16string_view name, std::size_t keyCharacters);

}  // namespace tavorin
