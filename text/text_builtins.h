// The text subsystem's built-in tables and its hooks into the script machine.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "script/builtins.h"

namespace rt { struct Engine; }

namespace txt {

std::span<const rt::BuiltinEntry> font_builtins();
std::span<const rt::BuiltinEntry> console_builtins();

// The text opcodes, the console's reset and the shutdown steps (the glyph
// cache written back, private fonts released).
void install_text_hooks(rt::Engine& e);

// The font-selection dialog over the installed families; returns the face
// chosen, or `initial` when cancelled (or when no dialog can be shown).
std::string run_font_dialog(rt::Engine& e, std::string_view initial, bool proportional);
// The face and flag set_font_name stored, for the menu's font command.
std::string run_font_dialog(rt::Engine& e);

}  // namespace txt
