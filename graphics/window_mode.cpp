#include "graphics/window_mode.h"

#include <algorithm>

#include "core/engine.h"
#include "graphics/display.h"
#include "graphics/state.h"
#include "script/script_machine.h"

namespace gfx {

namespace {

constexpr int kVkF4 = 0x73;
constexpr int kVkReturn = 0x0D;

WindowMode& mode_of(rt::Engine& e) { return e.gfx->window; }

bool within(rt::Engine& e, uint32_t guard) {
  WindowMode& m = mode_of(e);
  return m.switched && e.clock.now() - m.last_switch < guard;
}

void note_switch(rt::Engine& e) {
  WindowMode& m = mode_of(e);
  m.switched = true;
  m.last_switch = e.clock.now();
}

}  // namespace

void read_window_settings(rt::Engine& e, plat::WindowConfig& config) {
  WindowMode& m = mode_of(e);
  plat::SettingsStore& settings = e.settings;
  bool full = settings.get_int("WinStat").value_or(0) == 1;
  settings.set_int("WinStat", 0);
  settings.save();
  m.full_screen_frequency = settings.get_int("FullScFreq").value_or(0);
  m.full_screen_bits = settings.get_int("FullScBits").value_or(0);

  const int64_t x = settings.get_int("WinPosX").value_or(kNoWindowPosition);
  int64_t y = settings.get_int("WinPosY").value_or(kNoWindowPosition);
  const plat::ScreenRect all = e.host->virtual_screen();
  const plat::ScreenRect primary = e.host->primary_screen();
  const int64_t cw = e.client_width, ch = e.client_height;
  if (x < all.x - cw * 4 / 5 || x > std::max(all.w, primary.w) + int64_t{all.x} - cw / 5) {
    // Off every screen (or never saved): the system places the window.
    full = false;
    config.x.reset();
    config.y.reset();
  } else {
    y = std::max<int64_t>(y, all.y);
    const int64_t lowest = all.y + std::max<int64_t>(all.h, primary.h) - ch / 3;
    if (y >= lowest) y = lowest;
    config.x = static_cast<int>(x);
    config.y = static_cast<int>(y);
  }
  if (e.options.fullscreen) full = *e.options.fullscreen;
  m.start_full_screen = full;
  config.fullscreen = false;  // switched after the initialisation run
}

void apply_saved_window_state(rt::Engine& e) {
  if (mode_of(e).start_full_screen) set_full_screen(e, true);
}

void write_window_settings(rt::Engine& e) {
  WindowMode& m = mode_of(e);
  plat::SettingsStore& settings = e.settings;
  const bool full = e.host->fullscreen();
  settings.set_int("WinStat", full ? 1 : 0);
  settings.set_int("FullScFreq", m.full_screen_frequency);
  settings.set_int("FullScBits", m.full_screen_bits);
  if (!full)
    if (auto r = e.host->window_rect()) {
      settings.set_int("WinPosX", r->x);
      settings.set_int("WinPosY", r->y);
    }
}

bool is_full_screen(rt::Engine& e) { return e.host->fullscreen(); }

bool set_full_screen(rt::Engine& e, bool on) {
  if (e.host->fullscreen() == on) return true;
  if (!e.host->set_fullscreen(on)) return false;
  note_switch(e);
  e.gfx->display.present_all = true;
  return true;
}

bool toggle_request(rt::Engine& e) {
  if (within(e, kToggleGuardMs)) return false;
  note_switch(e);
  set_full_screen(e, !e.host->fullscreen());
  return true;
}

bool window_mode_event(rt::Engine& e, const plat::Event& event) {
  using Type = plat::Event::Type;
  switch (event.type) {
    case Type::KeyDown:
      if (event.vk == kVkF4 && !event.alt) {
        toggle_request(e);
        return false;  // F4 is also a key the game may read
      }
      if (event.vk == kVkReturn && event.alt) {
        toggle_request(e);
        return true;
      }
      return false;
    case Type::FocusLost: {
      if (!e.host->fullscreen()) return false;
      const bool movie = e.vm->hooks.movie_playing && e.vm->hooks.movie_playing(e);
      if (movie || within(e, kFocusGuardMs) || e.host->has_focus()) return false;
      set_full_screen(e, false);
      return false;
    }
    case Type::Minimized:
    case Type::DisplayChanged:
      if (e.host->fullscreen()) set_full_screen(e, false);
      return false;
    default:
      return false;
  }
}

}  // namespace gfx
