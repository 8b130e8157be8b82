#pragma once
// The engines by display name, in the order the window lists them; the list is
// TAVORIN_ENGINES in CMakeLists.txt.

#include <array>
#include <memory>
#include <string_view>

#include "engines/Engine.h"
#include "engines/EngineList.h"

namespace tavorin {

#define TAVORIN_ENGINE_NAME(name) std::u16string_view(u"" #name),
inline constexpr std::array EngineNames = {TAVORIN_FOR_EACH_ENGINE(TAVORIN_ENGINE_NAME)};
#undef TAVORIN_ENGINE_NAME

// A new engine of that display name (ASCII case ignored), or nullptr when there is none.
std::unique_ptr<Engine> CreateEngine(std::u16string_view name);

}  // namespace tavorin
