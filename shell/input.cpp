// [SECTION] Key map
// [SECTION] Presses, the snapshot and blocking
// [SECTION] Window events
// [SECTION] Cursor and Caps Lock
// [SECTION] Hooks
#include "shell/input.h"

#include "core/engine.h"
#include "core/trace.h"
#include "core/env_file.h"
#include "script/read_marks.h"
#include "script/scheduler.h"
#include "script/script_machine.h"

namespace shell {
namespace {

InputState& state(rt::Engine& e) { return *e.input; }

uint32_t nonzero(uint32_t t) { return t == 0 ? 1 : t; }

// The time presses are stamped with: the frame clock scripts compare with.
uint32_t now(rt::Engine& e) { return nonzero(e.vm->script_clock); }

bool valid(int index) { return index >= 0 && index < kInputs; }

}  // namespace

// [SECTION] Key map ------------------------------------------------------------------

KeyMap default_key_map() {
  KeyMap m{};
  auto set = [&](std::initializer_list<int> keys, uint16_t flags) {
    for (int k : keys) m[static_cast<size_t>(k)] = flags;
  };
  set({0x05, 0x09, 0x0C, 0x17, 0x2F, 0x40, 0x59, 0x21, 0x22, 0x24, 0x61, 0x63, 0x65, 0x67, 0x69, 0x90, 0x91},
      kOwn);
  for (int k = 0x30; k <= 0x38; ++k) m[static_cast<size_t>(k)] = kOwn;
  for (int k = 0x41; k <= 0x57; ++k) m[static_cast<size_t>(k)] = kOwn;
  for (int k = 0x6A; k <= 0x6F; ++k) m[static_cast<size_t>(k)] = kOwn;
  set({0x0D, 0x20, 0x58}, kOwn | kToDecide);
  set({0x1B, 0x23, 0x2D, 0x2E, 0x5A, 0x60}, kOwn | kToCancel);
  set({0x10, 0x11, 0x14}, kOwn | kToMiddle);
  set({0x26, 0x68}, kOwn | kToUp);
  set({0x28, 0x62}, kOwn | kToDown);
  set({0x27, 0x64}, kOwn | kToShiftTabGroup);
  set({0x25, 0x66}, kOwn | kToTabGroup);
  return m;
}

std::vector<int> mapped_inputs(uint16_t flags, int vk) {
  static constexpr int kTargets[] = {-1, kDecide, kCancel, kUp, kDown, kShiftTabGroup, kTabGroup, kMiddle, kErase};
  std::vector<int> out;
  for (int bit = 0; bit < 9; ++bit)
    if (flags & (1u << bit)) out.push_back(bit == 0 ? vk : kTargets[bit]);
  return out;
}

InputState::InputState() : key_map(default_key_map()) {}

// [SECTION] Presses, the snapshot and blocking -----------------------------------------

namespace {

// True when the press is the second click of a double click that a script
// asked to ignore.
bool swallowed(InputState& s, int bit, uint32_t t) {
  if ((s.swallow_mask & bit) && t - s.last_press < kSwallowMs) {
    s.last_press = t;
    if (--s.swallow_count <= 0) s.swallow_mask = 0;
    return true;
  }
  s.last_press = t;
  s.swallow_mask = 0;
  return false;
}

void press(rt::Engine& e, int index) {
  if (!valid(index)) return;
  InputState& s = state(e);
  const uint32_t t = now(e);
  if (index == kDecide || index == kCancel) rt::set_play_mode_number(e, 0);
  const int bit = index == kDecide ? 1 : index == kCancel ? 2 : index == kMiddle ? 4 : 0;
  if (bit && swallowed(s, bit, t)) return;
  QUOREL_TRACE(e, input, "input %d pressed at %u", index, t);
  s.down[static_cast<size_t>(index)] = 1;
  s.press[static_cast<size_t>(index)] = t;
}

void release(rt::Engine& e, int index) {
  if (valid(index)) state(e).down[static_cast<size_t>(index)] = 0;
}

}  // namespace

uint32_t pressed(rt::Engine& e, int index) {
  InputState& s = state(e);
  if (!valid(index) || s.blocked) return 0;
  const size_t i = static_cast<size_t>(index);
  const uint32_t t = s.snap.press[i];
  s.snap.press[i] = 0;
  // A press newer than the snapshot stays for the next one.
  if (t != 0 && s.press[i] == t) s.press[i] = 0;
  if (t == 0 || e.vm->script_clock - t >= kPressLifeMs) return 0;
  return t;
}

bool held(rt::Engine& e, int index) {
  InputState& s = state(e);
  return valid(index) && !s.blocked && s.snap.down[static_cast<size_t>(index)] != 0;
}

void take_snapshot(rt::Engine& e) {
  InputState& s = state(e);
  if (s.blocked) {
    s.snap = InputSnapshot{};
    return;
  }
  s.snap.down = s.down;
  s.snap.press = s.press;
  s.snap.x = s.mouse_x;
  s.snap.y = s.mouse_y;
  s.snap.mouse_active = s.mouse_active;
  s.snap.caps = s.caps_on;
}

void block_input(rt::Engine& e, bool on) {
  state(e).blocked = on;
  if (on) state(e).snap = InputSnapshot{};
}

void arm_double_click_swallow(rt::Engine& e, int mask) {
  state(e).swallow_mask = mask;
  state(e).swallow_count = 2;
}

void release_middle(rt::Engine& e) {
  press(e, kMiddle);
  release(e, kMiddle);
}

void clear_input(rt::Engine& e) { state(e).down.fill(0); }

// [SECTION] Window events ----------------------------------------------------------------

namespace {

constexpr int kShift = 0x10, kControl = 0x11, kCapsLock = 0x14, kTabKey = 0x09;

// Shift and Ctrl switch skipping on while they are held.
void skip_key(rt::Engine& e, int vk, bool down) {
  InputState& s = state(e);
  rt::PlayModes& p = e.vm->play;
  if (down) {
    s.skip_key_auto = p.auto_mode;
    if (vk == kShift) rt::set_play_mode_number(e, 2);
    else rt::set_play_mode_number(e, rt::env_int(e, "CTRLKEYDEF", 0) == 1 ? 1 : 4);
  } else {
    rt::set_play_mode_number(e, s.skip_key_auto ? 3 : 0);
  }
}

void key_down(rt::Engine& e, const plat::Event& ev) {
  InputState& s = state(e);
  const int vk = ev.vk;
  if (!valid(vk)) return;
  s.mouse_active = false;
  if (vk == kTabKey) {
    if (s.down[kShift]) press(e, kShiftTab), press(e, kShiftTabGroup);
    else press(e, kTab), press(e, kTabGroup);
  }
  for (int index : mapped_inputs(s.key_map[static_cast<size_t>(vk)], vk)) press(e, index);
  if (ev.repeat) return;
  // The engine keeps Caps Lock's state itself: it cannot ask the keyboard.
  if (vk == kCapsLock) s.caps_on = !s.caps_on;
  if (vk == kShift || vk == kControl) skip_key(e, vk, true);
}

void key_up(rt::Engine& e, const plat::Event& ev) {
  InputState& s = state(e);
  const int vk = ev.vk;
  if (!valid(vk)) return;
  if (vk == kTabKey)
    for (int index : {kTab, kShiftTab, kShiftTabGroup, kTabGroup}) release(e, index);
  for (int index : mapped_inputs(s.key_map[static_cast<size_t>(vk)], vk)) release(e, index);
  if (vk == kShift || vk == kControl) skip_key(e, vk, false);
}

bool inside(rt::Engine& e, int x, int y) {
  return x >= 0 && y >= 0 && x < e.client_width && y < e.client_height;
}

void reapply_hidden_cursor(rt::Engine& e) {
  if (state(e).cursor_hidden) e.host->show_cursor(false);
}

// The mouse-event machine's side of button messages (left and right).
void track_button(rt::Engine& e, const plat::Event& ev) {
  MouseMachine& m = state(e).machine;
  if (!m.installed || ev.button > 1) return;
  TrackedButton& b = m.button[ev.button];
  const uint32_t t = now(e);
  if (ev.type == plat::Event::Type::MouseDown) {
    if (!inside(e, ev.x, ev.y)) return;
    e.host->confine_cursor(true);
    b.held = true;
    b.press_time = t;
    b.press_x = ev.x;
    b.press_y = ev.y;
    if (ev.clicks >= 2) {
      b.double_click = t;
      b.state = kDoubleClicked;
    } else {
      b.pending_click = t;
      b.state = kNoDrag;
    }
    if (m.button[0].held && m.button[1].held) {
      e.host->confine_cursor(false);
      m.button[0].held = m.button[1].held = false;
      m.capture_lost = true;
    }
  } else {
    e.host->confine_cursor(false);
    if (b.held) {
      b.held = false;
      if (b.state == kDoubleClicked) {
        b.pending_click = 0;
      } else if (b.state == kDragging) {
        b.drag_end = t;
        b.state = kNoDrag;
      }
    }
  }
  reapply_hidden_cursor(e);
}

void mouse_event(rt::Engine& e, const plat::Event& ev) {
  InputState& s = state(e);
  static constexpr int kButtonInput[3] = {kDecide, kCancel, kMiddle};
  const int button = ev.button >= 0 && ev.button <= 2 ? ev.button : 2;
  switch (ev.type) {
    case plat::Event::Type::MouseDown:
      // The border around the letterboxed picture is not the game.
      if (inside(e, ev.x, ev.y)) press(e, kButtonInput[button]);
      track_button(e, ev);
      break;
    case plat::Event::Type::MouseUp:
      release(e, kButtonInput[button]);
      track_button(e, ev);
      break;
    case plat::Event::Type::MouseWheel:
      // Any number of steps is one step in its direction.
      if (ev.delta > 0) s.press[kWheelUp] = now(e);
      if (ev.delta < 0) s.press[kWheelDown] = now(e);
      s.mouse_active = true;
      return;  // no position
    default: break;
  }
  s.mouse_active = true;
  if (inside(e, ev.x, ev.y)) {
    s.mouse_x = ev.x;
    s.mouse_y = ev.y;
  } else {
    for (int index : {kDecide, kMiddle, kCancel}) release(e, index);
  }
}

}  // namespace

void handle_event(rt::Engine& e, const plat::Event& ev) {
  switch (ev.type) {
    case plat::Event::Type::KeyDown: key_down(e, ev); break;
    case plat::Event::Type::KeyUp: key_up(e, ev); break;
    case plat::Event::Type::MouseMove:
    case plat::Event::Type::MouseDown:
    case plat::Event::Type::MouseUp:
    case plat::Event::Type::MouseWheel: mouse_event(e, ev); break;
    case plat::Event::Type::FocusGained:
    case plat::Event::Type::FocusLost: clear_input(e); break;
    default: break;
  }
}

void set_input_script(rt::Engine& e, std::vector<plat::TimedEvent> events) {
  InputState& s = state(e);
  s.script = std::move(events);
  s.script_next = 0;
  s.script_start = e.clock.now();
}

void take_events(rt::Engine& e, std::vector<plat::Event>& out) {
  InputState& s = state(e);
  e.host->poll_events(out);
  const uint32_t elapsed = e.clock.now() - s.script_start;
  while (s.script_next < s.script.size() && s.script[s.script_next].at <= elapsed) {
    const plat::TimedEvent& t = s.script[s.script_next++];
    // A sized window tells of itself through the host's own events.
    if (t.window_w > 0) e.host->resize_window(t.window_w, t.window_h);
    else out.push_back(t.event);
  }
}

// [SECTION] Cursor and Caps Lock -------------------------------------------------------------

void set_cursor_pos(rt::Engine& e, int x, int y) {
  InputState& s = state(e);
  s.mouse_x = s.snap.x = x;
  s.mouse_y = s.snap.y = y;
  e.host->move_cursor(x, y);
}

void hide_cursor(rt::Engine& e) {
  if (state(e).cursor_hidden) return;
  state(e).cursor_hidden = true;
  e.host->show_cursor(false);
}

void show_cursor(rt::Engine& e) {
  if (!state(e).cursor_hidden) return;
  state(e).cursor_hidden = false;
  e.host->show_cursor(true);
}

bool cursor_hidden(rt::Engine& e) { return state(e).cursor_hidden; }

void sync_caps_lock(rt::Engine& e, bool on) {
  if (e.vm->caps_claim_depth != -1) return;
  state(e).caps_on = on;
}

void claim_caps_lock(rt::Engine& e) {
  rt::ScriptMachine& vm = *e.vm;
  if (vm.caps_claim_depth == -1 && vm.current) vm.caps_claim_depth = vm.current->depth;
}

// [SECTION] Hooks ------------------------------------------------------------------------------

namespace {

// The window's events and the input script's due ones, through the window
// procedure's hooks, then to input; then the menu bar's frame.
void pump(rt::Engine& e) {
  std::vector<plat::Event> events;
  take_events(e, events);
  rt::ScriptMachine& vm = *e.vm;
  for (const plat::Event& ev : events) {
    if (rt::window_event(e, ev)) continue;
    if (ev.type == plat::Event::Type::Quit) vm.quit_requested = true;
    else handle_event(e, ev);
  }
  if (vm.hooks.after_events) vm.hooks.after_events(e);
}

// The input script's next event is due like a timer.
uint32_t next_scripted_event(rt::Engine& e, uint32_t) {
  InputState& s = state(e);
  if (s.script_next >= s.script.size()) return rt::kNoWake;
  const uint32_t elapsed = e.clock.now() - s.script_start;
  const uint32_t at = s.script[s.script_next].at;
  return at <= elapsed ? 0 : at - elapsed;
}

bool take_click(rt::Engine& e, int code, uint32_t* time) {
  *time = pressed(e, code);
  return *time != 0;
}

bool caps_skip(rt::Engine& e) { return state(e).snap.caps; }

void caps_off(rt::Engine& e) { sync_caps_lock(e, false); }

void reset(rt::Engine& e) {
  show_cursor(e);
  state(e).key_map[0x20] = rt::env_int(e, "ERASEONSPACE", 0) != 0 ? (kOwn | kToErase) : (kOwn | kToDecide);
}

}  // namespace

void install_input_hooks(rt::Engine& e) {
  rt::Hooks& h = e.vm->hooks;
  h.pump_messages = pump;
  h.wake_hooks.push_back(next_scripted_event);
  h.input_snapshot = take_snapshot;
  h.take_click = take_click;
  h.button_held = held;
  h.caps_skip = caps_skip;
  h.caps_off = caps_off;
  h.on_reset.push_back(reset);
}

}  // namespace shell
