#include "platform/keymap.h"

#include <SDL.h>

#include <algorithm>

namespace plat {

int virtual_key_from_sdl(int key, int scancode) {
  if (key >= 'a' && key <= 'z') return 'A' + (key - 'a');
  if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z) return 'A' + (scancode - SDL_SCANCODE_A);
  if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9) return '1' + (scancode - SDL_SCANCODE_1);
  if (scancode == SDL_SCANCODE_0) return '0';
  if (key >= SDLK_F1 && key <= SDLK_F12) return 0x70 + (key - SDLK_F1);
  if (key >= SDLK_F13 && key <= SDLK_F24) return 0x7C + (key - SDLK_F13);
  switch (key) {
    case SDLK_CANCEL: return 0x03;
    case SDLK_BACKSPACE: return 0x08;
    case SDLK_TAB: return 0x09;
    case SDLK_CLEAR: return 0x0C;
    case SDLK_RETURN: case SDLK_RETURN2: case SDLK_KP_ENTER: return 0x0D;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return 0x10;
    case SDLK_LCTRL: case SDLK_RCTRL: return 0x11;
    case SDLK_LALT: case SDLK_RALT: return 0x12;
    case SDLK_PAUSE: return 0x13;
    case SDLK_CAPSLOCK: return 0x14;
    case SDLK_ESCAPE: return 0x1B;
    case SDLK_SPACE: return 0x20;
    case SDLK_PAGEUP: return 0x21;
    case SDLK_PAGEDOWN: return 0x22;
    case SDLK_END: return 0x23;
    case SDLK_HOME: return 0x24;
    case SDLK_LEFT: return 0x25;
    case SDLK_UP: return 0x26;
    case SDLK_RIGHT: return 0x27;
    case SDLK_DOWN: return 0x28;
    case SDLK_SELECT: return 0x29;
    case SDLK_EXECUTE: return 0x2B;
    case SDLK_PRINTSCREEN: return 0x2C;
    case SDLK_INSERT: return 0x2D;
    case SDLK_DELETE: return 0x2E;
    case SDLK_HELP: return 0x2F;
    case SDLK_LGUI: return 0x5B;
    case SDLK_RGUI: return 0x5C;
    case SDLK_APPLICATION: return 0x5D;
    case SDLK_SLEEP: return 0x5F;
    case SDLK_KP_0: return 0x60;
    case SDLK_KP_1: return 0x61;
    case SDLK_KP_2: return 0x62;
    case SDLK_KP_3: return 0x63;
    case SDLK_KP_4: return 0x64;
    case SDLK_KP_5: return 0x65;
    case SDLK_KP_6: return 0x66;
    case SDLK_KP_7: return 0x67;
    case SDLK_KP_8: return 0x68;
    case SDLK_KP_9: return 0x69;
    case SDLK_KP_MULTIPLY: return 0x6A;
    case SDLK_KP_PLUS: return 0x6B;
    case SDLK_SEPARATOR: case SDLK_KP_COMMA: return 0x6C;
    case SDLK_KP_MINUS: return 0x6D;
    case SDLK_KP_PERIOD: case SDLK_KP_DECIMAL: return 0x6E;
    case SDLK_KP_DIVIDE: return 0x6F;
    case SDLK_NUMLOCKCLEAR: return 0x90;
    case SDLK_SCROLLLOCK: return 0x91;
    default: break;
  }
  // Punctuation by position, as a US keyboard names it.
  switch (scancode) {
    case SDL_SCANCODE_SEMICOLON: return 0xBA;
    case SDL_SCANCODE_EQUALS: return 0xBB;
    case SDL_SCANCODE_COMMA: return 0xBC;
    case SDL_SCANCODE_MINUS: return 0xBD;
    case SDL_SCANCODE_PERIOD: return 0xBE;
    case SDL_SCANCODE_SLASH: return 0xBF;
    case SDL_SCANCODE_GRAVE: return 0xC0;
    case SDL_SCANCODE_LEFTBRACKET: return 0xDB;
    case SDL_SCANCODE_BACKSLASH: return 0xDC;
    case SDL_SCANCODE_RIGHTBRACKET: return 0xDD;
    case SDL_SCANCODE_APOSTROPHE: return 0xDE;
    case SDL_SCANCODE_NONUSBACKSLASH: return 0xE2;
    default: return 0;
  }
}

int virtual_key_from_pad(int button) {
  switch (button) {
    case SDL_CONTROLLER_BUTTON_A: return 0x0D;
    case SDL_CONTROLLER_BUTTON_B: return 0x1B;
    case SDL_CONTROLLER_BUTTON_DPAD_UP: return 0x26;
    case SDL_CONTROLLER_BUTTON_DPAD_DOWN: return 0x28;
    case SDL_CONTROLLER_BUTTON_DPAD_LEFT: return 0x25;
    case SDL_CONTROLLER_BUTTON_DPAD_RIGHT: return 0x27;
    case SDL_CONTROLLER_BUTTON_LEFTSHOULDER: return 0x21;
    case SDL_CONTROLLER_BUTTON_RIGHTSHOULDER: return 0x22;
    case SDL_CONTROLLER_BUTTON_START: return 0x79;
    default: return 0;
  }
}

Viewport fit_game(int area_w, int area_h, int game_w, int game_h) {
  Viewport v;
  if (area_w <= 0 || area_h <= 0 || game_w <= 0 || game_h <= 0) return v;
  // The larger dimension that keeps the proportions, in integers so that
  // the picture and the mouse agree to the pixel.
  if (static_cast<long long>(area_w) * game_h <= static_cast<long long>(area_h) * game_w) {
    v.w = area_w;
    v.h = static_cast<int>(static_cast<long long>(area_w) * game_h / game_w);
  } else {
    v.h = area_h;
    v.w = static_cast<int>(static_cast<long long>(area_h) * game_w / game_h);
  }
  v.w = std::max(v.w, 1);
  v.h = std::max(v.h, 1);
  v.x = (area_w - v.w) / 2;
  v.y = (area_h - v.h) / 2;
  return v;
}

bool window_to_game(int wx, int wy, int window_w, int window_h, int game_w, int game_h, int* gx, int* gy) {
  Viewport v = fit_game(window_w, window_h, game_w, game_h);
  *gx = *gy = -1;
  if (v.w <= 0 || wx < v.x || wy < v.y || wx >= v.x + v.w || wy >= v.y + v.h) return false;
  *gx = static_cast<int>(static_cast<long long>(wx - v.x) * game_w / v.w);
  *gy = static_cast<int>(static_cast<long long>(wy - v.y) * game_h / v.h);
  return true;
}

void game_to_window(int gx, int gy, int window_w, int window_h, int game_w, int game_h, int* wx, int* wy) {
  Viewport v = fit_game(window_w, window_h, game_w, game_h);
  if (game_w <= 0 || game_h <= 0) {
    *wx = gx, *wy = gy;
    return;
  }
  *wx = v.x + static_cast<int>((static_cast<long long>(gx) * 2 + 1) * v.w / (2LL * game_w));
  *wy = v.y + static_cast<int>((static_cast<long long>(gy) * 2 + 1) * v.h / (2LL * game_h));
}

}  // namespace plat
