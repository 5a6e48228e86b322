// Keyboard keys, gamepad buttons and mouse positions in the engine's terms:
// Windows virtual-key numbers and game pixels.
#pragma once

namespace plat {

// 0 when the key has no virtual-key number. Letters follow the layout
// (the key labelled A is 'A'); keys that do not give a Latin letter, and
// the digit row, go by their position.
int virtual_key_from_sdl(int sdl_keycode, int sdl_scancode);

// The key a game-controller button stands for (SDL_GameControllerButton):
// A Return (decide), B Escape (cancel), the d-pad the arrow keys (up, down
// and the two Tab groups), the shoulders Page Up and Page Down, Start F10
// (the menu). 0 for buttons without a key.
int virtual_key_from_pad(int sdl_controller_button);

// The letterbox: where a game of game_w x game_h pixels lies, scaled to fit
// and centred, in an area of area_w x area_h pixels.
struct Viewport {
  int x = 0, y = 0, w = 0, h = 0;
};
Viewport fit_game(int area_w, int area_h, int game_w, int game_h);

// A window point (window_w x window_h) to game pixels; false on the border
// around the picture and outside the window.
bool window_to_game(int wx, int wy, int window_w, int window_h, int game_w, int game_h, int* gx, int* gy);
// The other way: the window point at the centre of a game pixel.
void game_to_window(int gx, int gy, int window_w, int window_h, int game_w, int game_h, int* wx, int* wy);

}  // namespace plat
