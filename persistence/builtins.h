// The handler table of the saved-game and system-data built-ins.
#pragma once

#include <span>

#include "script/builtins.h"

namespace persist {

std::span<const rt::BuiltinEntry> builtins();

}  // namespace persist
