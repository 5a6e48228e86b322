// SDL key codes to the Windows virtual-key numbers the engine's input
// tables are written in.
#pragma once

namespace plat {

// 0 when the key has no virtual-key number.
int virtual_key_from_sdl(int sdl_keycode, int sdl_scancode);

}  // namespace plat
