// Keyboard, mouse and gamepad input in the scripts' terms.
//
// Scripts never see window events. Keys and buttons press *logical inputs*
// (0-147): each key its own virtual-key number, plus decide, cancel,
// middle, up, down, the Tab groups and erase, as the key map says. A press
// is latched with the script clock's time and counts for 60 ms; once per
// frame the scheduler takes a snapshot, which is what scripts read. On top
// of that: the cursor, click regions per script thread, and a mouse-event
// machine that calls script functions for clicks, double clicks and drags.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/host.h"
#include "platform/input_script.h"
#include "script/builtins.h"
#include "script/threads.h"

namespace rt { struct Engine; }

namespace shell {

inline constexpr int kInputs = 148;  // logical inputs 0-147; keys above are ignored

enum Input : int {
  kWheelUp = 33,   // also the Page Up key
  kWheelDown = 34, // also the Page Down key
  kTab = 128,
  kShiftTab = 129,
  kDecide = 130,
  kCancel = 131,
  kUp = 132,
  kDown = 133,
  kShiftTabGroup = 134,
  kTabGroup = 135,
  kMiddle = 136,
  kErase = 147,
};

inline constexpr uint32_t kPressLifeMs = 60;    // a press counts this long
inline constexpr uint32_t kSwallowMs = 350;     // second click of a double click
inline constexpr uint32_t kClickMs = 250;       // longer held: a drag, not a click
inline constexpr int kClickSlack = 8;           // pixels the mouse may move in a click

// Key map: per virtual key, one bit per logical input the key presses.
enum KeyFlag : uint16_t {
  kOwn = 0x001,         // the key's own index
  kToDecide = 0x002,
  kToCancel = 0x004,
  kToUp = 0x008,
  kToDown = 0x010,
  kToShiftTabGroup = 0x020,
  kToTabGroup = 0x040,
  kToMiddle = 0x080,
  kToErase = 0x100,
};
using KeyMap = std::array<uint16_t, kInputs>;
KeyMap default_key_map();
// The logical inputs a flag word of key `vk` presses, in bit order.
std::vector<int> mapped_inputs(uint16_t flags, int vk);

// What scripts see during one frame.
struct InputSnapshot {
  std::array<uint8_t, kInputs> down{};
  std::array<uint32_t, kInputs> press{};
  int x = 0, y = 0;
  bool mouse_active = false;
  bool caps = false;  // Caps Lock on and input not blocked
};

// The mouse-event machine: per button (left, right) what the last messages
// left behind and what the previous poll saw.
enum MouseSlot { kOnPress, kOnClick, kOnDouble, kOnDragStart, kOnDragMove, kOnDragEnd, kOnDragCancel, kMouseSlots };
enum DragState { kNoDrag = 0, kDoubleClicked = 1, kDragging = 2 };

struct TrackedButton {
  bool held = false;
  uint32_t press_time = 0;
  int press_x = 0, press_y = 0;
  uint32_t pending_click = 0;
  uint32_t double_click = 0;
  uint32_t drag_end = 0;
  int state = kNoDrag;
};

struct MouseMachine {
  bool installed = false;          // mouse_capture_init .. mouse_capture_end
  TrackedButton button[2];         // left, right
  TrackedButton previous[2];       // as the previous poll left them
  bool capture_lost = false;       // both buttons went down at once
  int prev_x = 0, prev_y = 0;
  uint32_t every_poll = 0, moved = 0, wheel = 0;  // script function keys; 0 = none
  uint32_t slots[2][kMouseSlots] = {};
};

struct InputState {
  InputState();

  KeyMap key_map;
  std::array<uint8_t, kInputs> down{};
  std::array<uint32_t, kInputs> press{};
  int mouse_x = 0, mouse_y = 0;  // last position inside the game
  bool mouse_active = false;     // the mouse was used after the last key
  bool blocked = false;          // mouse_disable
  int swallow_mask = 0, swallow_count = 0;
  uint32_t last_press = 0;
  bool caps_on = false;          // Caps Lock's toggle, as far as the engine knows
  bool skip_key_auto = false;    // auto mode was on when Shift or Ctrl went down
  InputSnapshot snap;
  MouseMachine machine;
  bool cursor_hidden = false;

  // The input script: events due at `script_start` + their time.
  std::vector<plat::TimedEvent> script;
  size_t script_next = 0;
  uint32_t script_start = 0;
};

// --- For other subsystems ---------------------------------------------------------------

// The snapshot's press time when it is younger than 60 ms, else 0; the
// press is consumed either way. 0 while input is blocked.
uint32_t pressed(rt::Engine& e, int index);
bool held(rt::Engine& e, int index);
void take_snapshot(rt::Engine& e);
void block_input(rt::Engine& e, bool on);
void arm_double_click_swallow(rt::Engine& e, int mask);
void set_cursor_pos(rt::Engine& e, int x, int y);
void hide_cursor(rt::Engine& e);
void show_cursor(rt::Engine& e);
bool cursor_hidden(rt::Engine& e);
// Sets Caps Lock's state unless a script frame has claimed it.
void sync_caps_lock(rt::Engine& e, bool on);
void claim_caps_lock(rt::Engine& e);
// A press and release of the middle input (the menu's skip commands).
void release_middle(rt::Engine& e);
// All inputs up (focus changes, after modal dialogs).
void clear_input(rt::Engine& e);
// The input layer's share of a window event.
void handle_event(rt::Engine& e, const plat::Event& event);

// The window's events and the input script's events that are due.
void take_events(rt::Engine& e, std::vector<plat::Event>& out);

// Events of an input script, played on the engine's clock from now on.
void set_input_script(rt::Engine& e, std::vector<plat::TimedEvent> events);

// --- Click regions ---------------------------------------------------------------------

struct Region {
  int32_t id = 0;
  int32_t x = 0, y = 0, w = 0, h = 0;
  uint32_t enter = 0, leave = 0, click = 0;  // script function keys
  int hover = 0;                             // 0 outside, 1 inside, 2 clicked
  int32_t depth = 0;                         // the call depth that added it

  bool contains(int px, int py) const { return px >= x && px < x + w && py >= y && py < y + h; }
};

struct RegionList : rt::ThreadExtension {
  std::vector<Region> regions;  // the newest first
  std::vector<std::vector<Region>> aside;  // set aside by the menu mode
};

RegionList& regions_of(rt::Thread& t);
// Menu mode: the thread's regions go aside and come back afterwards.
void set_regions_aside(rt::Thread& t);
void restore_regions(rt::Thread& t);

// --- Wiring ------------------------------------------------------------------------------

std::span<const rt::BuiltinEntry> input_builtins();
// The settings built-ins (settings_builtins.cpp).
std::span<const rt::BuiltinEntry> settings_builtins();
void install_input_hooks(rt::Engine& e);

}  // namespace shell
