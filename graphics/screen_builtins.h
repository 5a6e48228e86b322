// The screen's built-in tables and the hooks it gives the script machine
// and the page list.
#pragma once

#include <span>

#include "script/builtins.h"

namespace rt { struct Engine; }

namespace gfx {

std::span<const rt::BuiltinEntry> sprite_builtins();
std::span<const rt::BuiltinEntry> screen_builtins();

// Composition, pacing, presentation, the reset and shutdown steps, the
// window-mode hook, and the page list's change and release hooks.
void install_screen_hooks(rt::Engine& e);

}  // namespace gfx
