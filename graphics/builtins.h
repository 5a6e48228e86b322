// The graphics built-in tables and the hooks graphics gives the script
// machine (reset, end of initialisation, shutdown).
#pragma once

#include <span>

#include "script/builtins.h"

namespace rt { struct Engine; }

namespace gfx {

std::span<const rt::BuiltinEntry> page_builtins();
std::span<const rt::BuiltinEntry> draw_builtins();

void install_hooks(rt::Engine& e);

}  // namespace gfx
