// The mahjong engine's built-in table.
#pragma once

#include <span>

#include "script/builtins.h"

namespace mj {

std::span<const rt::BuiltinEntry> builtins();

}  // namespace mj
