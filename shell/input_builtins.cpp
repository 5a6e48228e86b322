// The input built-ins: the cursor, blocking, click regions and the
// mouse-event machine.
//
// [SECTION] Shared steps
// [SECTION] Cursor and blocking
// [SECTION] Click regions
// [SECTION] Mouse-event machine
// [SECTION] Table
#include <cstdlib>

#include "core/engine.h"
#include "script/read_marks.h"
#include "script/script_hooks.h"
#include "script/script_machine.h"
#include "script/threads.h"
#include "shell/input.h"
#include "text/announce.h"

namespace shell {

RegionList& regions_of(rt::Thread& t) {
  auto* list = static_cast<RegionList*>(t.extension(rt::ThreadSlot::regions));
  if (!list) {
    auto fresh = std::make_unique<RegionList>();
    list = fresh.get();
    t.set_extension(rt::ThreadSlot::regions, std::move(fresh));
  }
  return *list;
}

void set_regions_aside(rt::Thread& t) {
  RegionList& r = regions_of(t);
  r.aside.push_back(std::move(r.regions));
  r.regions.clear();
}

void restore_regions(rt::Thread& t) {
  RegionList& r = regions_of(t);
  r.regions.clear();
  if (r.aside.empty()) return;
  r.regions = std::move(r.aside.back());
  r.aside.pop_back();
}

namespace {

using rt::Call;
using rt::Progress;

// [SECTION] Shared steps ---------------------------------------------------------------

// Group 1: the arguments go, the result 0 takes their place, and the script
// functions to call are opened on top, each as a frame of its own.
void leave_result(Call& c) {
  rt::drop_to(c.thread, c.frame().stack_top - c.argc);
  if (!c.discard) rt::push(c.engine, c.thread, rt::int_value(0));
}

// The script functions one built-in calls. They run in the order they were
// added: the frames are opened last first, so the first one is on top.
class Calls {
 public:
  explicit Calls(Call& c) : c_(c) {}
  // Not in a destructor: an unknown function may end the program by throwing.
  void open() {
    for (auto it = calls_.rbegin(); it != calls_.rend(); ++it) {
      std::vector<rt::Value> values;
      for (int32_t a : it->args) values.push_back(rt::int_value(a));
      rt::call_script_hook(c_.engine, c_.thread, it->key, values);
    }
  }
  void add(uint32_t key, std::initializer_list<int32_t> args) {
    if (key != 0) calls_.push_back({key, args});
  }

 private:
  struct One {
    uint32_t key;
    std::vector<int32_t> args;
  };
  Call& c_;
  std::vector<One> calls_;
};

uint32_t key_arg(Call& c, int n) { return static_cast<uint32_t>(c.int_arg(n, 0)); }

// [SECTION] Cursor and blocking ----------------------------------------------------------

Progress mouse_x(Call& c) { return done(c, c.engine.input->snap.x); }
Progress mouse_y(Call& c) { return done(c, c.engine.input->snap.y); }

Progress mouse_buttons(Call& c) {
  rt::Engine& e = c.engine;
  return done(c, (held(e, kDecide) ? 1 : 0) + (held(e, kCancel) ? 2 : 0) + (held(e, kMiddle) ? 4 : 0));
}

Progress mouse_disable(Call& c) {
  block_input(c.engine, true);
  return done(c);
}

Progress mouse_enable(Call& c) {
  block_input(c.engine, false);
  return done(c);
}

Progress mouse_move(Call& c) {
  set_cursor_pos(c.engine, c.int_arg(1), c.int_arg(2));
  return done(c);
}

Progress cursor_show(Call& c) {
  const bool was_shown = !cursor_hidden(c.engine);
  if (c.int_arg(1) != 0) show_cursor(c.engine);
  else hide_cursor(c.engine);
  return done(c, was_shown ? 1 : 0);
}

Progress input_mode(Call& c) {
  arm_double_click_swallow(c.engine, c.int_arg(2, 1));
  return done(c);
}

// [SECTION] Click regions ---------------------------------------------------------------------

Progress region_clear(Call& c) {
  rt::Engine& e = c.engine;
  regions_of(c.thread).regions.clear();
  rt::Frame& f = c.frame();
  f.region_handlers[0] = f.region_handlers[1] = f.region_handlers[2] = 0;
  rt::set_play_mode_number(e, 0);
  InputState& s = *e.input;
  for (int index : {kWheelUp, kWheelDown}) s.press[index] = s.snap.press[index] = 0;
  claim_caps_lock(e);
  return done(c);
}

Progress region_add(Call& c) {
  Region r;
  r.id = c.int_arg(1);
  r.x = c.int_arg(2);
  r.y = c.int_arg(3);
  r.w = c.int_arg(4);
  r.h = c.int_arg(5);
  r.enter = key_arg(c, 6);
  r.leave = key_arg(c, 7);
  r.click = key_arg(c, 8);
  r.depth = c.thread.depth;
  auto& list = regions_of(c.thread).regions;
  list.insert(list.begin(), r);
  txt::announce_region_added(c.engine);
  return done(c);
}

Progress region_handlers(Call& c) {
  rt::Frame& f = c.frame();
  for (int i = 0; i < 4; ++i) f.region_handlers[i] = key_arg(c, i + 1);
  return done(c);
}

Progress region_events(Call& c) {
  rt::Engine& e = c.engine;
  rt::Thread& t = c.thread;
  // The slots belong to the frame that calls; read them before frames open.
  const uint32_t decide = c.frame().region_handlers[0], cancel = c.frame().region_handlers[1],
                 middle = c.frame().region_handlers[2], keys = c.frame().region_handlers[3];
  const int x = e.input->snap.x, y = e.input->snap.y;
  const int32_t d = t.depth;
  const bool left = t.latch_left != 0, right = t.latch_right != 0, mid = t.latch_middle != 0;
  t.latch_left = t.latch_right = t.latch_middle = 0;
  leave_result(c);
  txt::announce_region_events(e, regions_of(t).regions.size());
  Calls calls(c);

  if (keys) {
    int mask = 0;
    if (pressed(e, kWheelUp)) mask |= 1;
    if (pressed(e, kWheelDown)) mask |= 2;
    if (pressed(e, kErase)) mask |= 4;
    if (pressed(e, kUp)) mask |= 8;
    if (pressed(e, kDown)) mask |= 16;
    if (mask) calls.add(keys, {x, y, mask});
  }
  // Handlers only run after this built-in, so the list holds still here.
  std::vector<Region>& list = regions_of(t).regions;
  if (left) {
    bool taken = false;
    std::vector<Region> hits;
    for (Region& r : list)
      if (r.hover == 1 && r.depth >= d) {
        r.hover = 2;
        hits.push_back(r);
        taken = true;
      }
    for (const Region& r : hits) calls.add(r.click, {r.id, r.x, r.y, r.w, r.h});
    if (!taken) calls.add(decide, {x, y});
  }
  if (right) calls.add(cancel, {x, y});
  if (mid) calls.add(middle, {x, y});

  Region* leaving = nullptr;
  bool any_active = false;
  for (Region& r : list)
    if (r.hover > 0) {
      any_active = true;
      if (!r.contains(x, y)) {
        leaving = &r;
        break;
      }
    }
  if (leaving) {
    leaving->hover = 0;
    Region r = *leaving;
    calls.add(r.leave, {r.id, r.x, r.y, r.w, r.h});
  } else if (!any_active) {
    for (Region& r : list)
      if (r.depth >= d && r.contains(x, y)) {
        r.hover = 1;
        Region copy = r;
        calls.add(copy.enter, {copy.id, copy.x, copy.y, copy.w, copy.h});
        break;
      }
  }
  calls.open();
  return Progress::Done;
}

// [SECTION] Mouse-event machine -------------------------------------------------------------------

Progress mouse_capture_init(Call& c) {
  InputState& s = *c.engine.input;
  MouseMachine& m = s.machine;
  // The button slots stay: scripts may set them before or after.
  for (int b = 0; b < 2; ++b) m.button[b] = m.previous[b] = TrackedButton{};
  m.capture_lost = false;
  m.every_poll = key_arg(c, 1);
  m.moved = key_arg(c, 2);
  m.wheel = key_arg(c, 3);
  // The first poll reports a move.
  m.prev_x = s.mouse_x - 999;
  m.prev_y = s.mouse_y - 999;
  m.installed = true;
  return done(c);
}

Progress mouse_capture_end(Call& c) {
  c.engine.input->machine.installed = false;
  c.engine.host->confine_cursor(false);
  return done(c);
}

Progress set_mouse_capture(Call& c, int button) {
  uint32_t* slots = c.engine.input->machine.slots[button];
  for (int i = 0; i < kMouseSlots; ++i) slots[i] = key_arg(c, i + 1);
  return done(c);
}

Progress set_mouse_capture_left(Call& c) { return set_mouse_capture(c, 0); }
Progress set_mouse_capture_right(Call& c) { return set_mouse_capture(c, 1); }
Progress mouse_capture_reserved(Call& c) { return done(c); }

Progress mouse_capture_poll(Call& c) {
  rt::Engine& e = c.engine;
  InputState& s = *e.input;
  MouseMachine& m = s.machine;
  const int x = s.mouse_x, y = s.mouse_y;
  const uint32_t t = e.vm->script_clock;
  leave_result(c);
  Calls calls(c);

  if (m.wheel) {
    int mask = 0;
    if (pressed(e, kWheelUp)) mask |= 1;
    if (pressed(e, kWheelDown)) mask |= 2;
    if (pressed(e, kErase)) mask |= 4;
    if (mask) calls.add(m.wheel, {x, y, mask});
  }
  if (m.capture_lost) {
    for (int b = 0; b < 2; ++b)
      if (m.previous[b].state == kDragging)
        calls.add(m.slots[b][kOnDragCancel], {m.previous[b].press_x, m.previous[b].press_y});
    for (int b = 0; b < 2; ++b) m.button[b] = m.previous[b] = TrackedButton{};
    m.capture_lost = false;
  } else {
    for (int b = 0; b < 2; ++b) {
      TrackedButton& k = m.button[b];
      const uint32_t* slot = m.slots[b];
      if (k.held && !m.previous[b].held) calls.add(slot[kOnPress], {x, y});
      if (k.double_click) {
        calls.add(slot[kOnDouble], {x, y});
        k.press_time = k.pending_click = k.double_click = 0;
      } else if (k.pending_click &&
                 (std::abs(x - k.press_x) > kClickSlack || std::abs(y - k.press_y) > kClickSlack ||
                  t - k.press_time > kClickMs)) {
        if (k.held) k.state = kDragging;
        else calls.add(slot[kOnClick], {k.press_x, k.press_y});
        k.pending_click = 0;
      }
      if (k.state == kDragging) {
        if (m.previous[b].state == kDragging) calls.add(slot[kOnDragMove], {x, y});
        else calls.add(slot[kOnDragStart], {k.press_x, k.press_y});
      }
      if (k.drag_end) {
        calls.add(slot[kOnDragEnd], {x, y});
        k.press_time = k.drag_end = 0;
        k.state = kNoDrag;
      }
    }
  }
  const int left = m.button[0].held ? 1 : 0, right = m.button[1].held ? 1 : 0;
  if (x != m.prev_x || y != m.prev_y) calls.add(m.moved, {x, y, left, right});
  calls.add(m.every_poll, {x, y, left, right});
  m.previous[0] = m.button[0];
  m.previous[1] = m.button[1];
  m.prev_x = x;
  m.prev_y = y;
  calls.open();
  return Progress::Done;
}

// [SECTION] Table ---------------------------------------------------------------------------------

constexpr auto kTable = rt::handler_table<rt::Subsystem::shell>({
    {"mouse_x", mouse_x},
    {"mouse_y", mouse_y},
    {"mouse_buttons", mouse_buttons},
    {"mouse_disable", mouse_disable},
    {"mouse_enable", mouse_enable},
    {"mouse_move", mouse_move},
    {"cursor_show", cursor_show},
    {"input_mode", input_mode},
    {"region_clear", region_clear},
    {"region_add", region_add},
    {"region_handlers", region_handlers},
    {"region_events", region_events},
    {"mouse_capture_init", mouse_capture_init},
    {"mouse_capture_end", mouse_capture_end},
    {"mouse_capture_poll", mouse_capture_poll},
    {"set_mouse_capture_left", set_mouse_capture_left},
    {"set_mouse_capture_right", set_mouse_capture_right},
    {"mouse_capture_reserved", mouse_capture_reserved},
});

}  // namespace

std::span<const rt::BuiltinEntry> input_builtins() { return kTable; }

}  // namespace shell
