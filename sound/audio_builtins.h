// The audio built-ins' table and the sound engine's hooks into the script
// machine (reset, shutdown, the per-pass pump).
#pragma once

#include <span>

#include "script/builtins.h"

namespace rt { struct Engine; }

namespace snd {

std::span<const rt::BuiltinEntry> audio_builtins();
void install_sound_hooks(rt::Engine& e);

}  // namespace snd
