// The window: where it opens, full screen and back, and what is kept of it
// in the settings.
//
// The picture has a fixed size (the client size). In window mode the
// window opens where the player left it; full screen is the desktop's full
// screen with the picture scaled and letterboxed. F4 and Alt+Enter toggle
// at most once per 1500 ms; losing the focus in full screen returns to the
// window, except during the 3000 ms after a switch and while a movie plays;
// minimising the window or a change of displays always does.
#pragma once

#include <cstdint>

#include "platform/host.h"

namespace rt { struct Engine; }

namespace gfx {

constexpr uint32_t kToggleGuardMs = 1500;
constexpr uint32_t kFocusGuardMs = 3000;
// The saved position when there is none.
constexpr int kNoWindowPosition = -9999;

struct WindowMode {
  bool start_full_screen = false;  // the saved state, applied after the initialisation run
  bool switched = false;           // a switch or toggle request happened
  uint32_t last_switch = 0;        // its time (the engine's clock)
  int32_t full_screen_bits = 0;    // kept for the settings dialog; no mode switch needs them
  int32_t full_screen_frequency = 0;
};

// Start-up: the window's place and the full-screen wish from the settings
// ("WinStat" is written back as 0 at once, so that a crash in full screen
// starts windowed). A place that would put the window off the screens
// gives the system's placement and no full screen.
void read_window_settings(rt::Engine& e, plat::WindowConfig& config);
// After the initialisation run: full screen when it was saved so.
void apply_saved_window_state(rt::Engine& e);
// Shutdown: the full-screen state and, when windowed, the position.
void write_window_settings(rt::Engine& e);

// Switches the mode; nothing when already in it. False when full screen
// could not be entered (the window stays as it was).
bool set_full_screen(rt::Engine& e, bool on);
bool is_full_screen(rt::Engine& e);
// F4, Alt+Enter: toggles unless the previous request is less than 1500 ms
// old. True when it toggled.
bool toggle_request(rt::Engine& e);

// The window procedure's hook for the mode: keys, focus, minimising,
// display changes.
bool window_mode_event(rt::Engine& e, const plat::Event& event);

}  // namespace gfx
