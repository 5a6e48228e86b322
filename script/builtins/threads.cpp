// Built-ins of threads, waits, events and calls of script files.
#include <algorithm>

#include "base/crc32.h"
#include "base/sjis.h"
#include "core/engine.h"
#include "core/error_report.h"
#include "res/runtime.h"
#include "script/builtins/tables.h"
#include "script/interpreter.h"
#include "script/read_marks.h"
#include "script/scheduler.h"
#include "script/script_error.h"
#include "script/script_machine.h"

namespace rt {
namespace {

constexpr uint32_t kForever = 0xFFFFFFFFu;

// --- Threads -------------------------------------------------------------------------

Progress start_thread(Call& c, bool child) {
  Engine& e = c.engine;
  CodeAddress entry = find_function(e, static_cast<uint32_t>(c.int_arg(1)), c.frame().pc);
  Thread* creator = &c.thread;
  Thread* t = create_thread(e, -1);
  if (child) t->linked = creator;
  // The other arguments in stack order, then their count.
  for (int n = c.argc; n >= 2; --n) {
    Value v = *c.arg(n);
    retain(v);
    push(e, *t, v);
  }
  push(e, *t, int_value(std::max(0, c.argc - 1)));
  Frame& f = t->frame();
  f.base = f.stack_top;
  f.set_pc(entry);
  c.ret_int(t->state == kRunning ? t->id : 0);
  return Progress::Done;
}

Progress thread_create(Call& c) { return start_thread(c, false); }
Progress thread_create_child(Call& c) { return start_thread(c, true); }

Progress thread_end(Call& c) {
  Engine& e = c.engine;
  Thread* target = c.has(1) ? find_thread(e, c.int_arg(1)) : &c.thread;
  if (c.has(1) && c.int_arg(1) == 0) {
    script_error(e, msg::kThreadZeroEnd);
    c.ret_int(0);
    return Progress::Done;
  }
  if (target == &c.thread) e.vm->exit_code = kThreadYield;
  if (target) {
    if (target->state == kRunning) target->state = kAskedToEnd;
    else if (target == &c.thread) target->state = kEnded;
  }
  c.ret_int(0);
  return Progress::Done;
}

Progress thread_is_exist(Call& c) {
  c.ret_int(find_thread(c.engine, c.int_arg(1)) ? 1 : 0);
  return Progress::Done;
}

Progress thread_restart_entry(Call& c) {
  c.thread.restart_entry = find_function(c.engine, static_cast<uint32_t>(c.int_arg(1)), c.frame().pc);
  c.ret_int(0);
  return Progress::Done;
}

// --- Waits ---------------------------------------------------------------------------------

// A wait that has begun ends like `wait`: at once while thread 0 skips,
// when asked to end for an endless wait, else at its deadline.
bool wait_over(Call& c) {
  Frame& f = c.frame();
  if (c.thread.id == 0 && is_skipping(c.engine)) return true;
  if (f.wait_deadline == kForever) return c.thread.state != kRunning;
  return !deadline_ahead(c.now(), f.wait_deadline);
}

void end_wait(Call& c) {
  c.frame().wait_deadline = 0;
  c.engine.vm->no_draw_wait = false;
}

uint32_t nonzero(uint32_t t) { return t == 0 ? 1 : t; }

Progress wait(Call& c) {
  Frame& f = c.frame();
  ScriptMachine& vm = *c.engine.vm;
  if (f.wait_deadline == 0) {
    int32_t ms = c.int_arg(1);
    if (ms >= 0) {
      f.wait_deadline = nonzero(c.now() + static_cast<uint32_t>(ms));
      if (ms == 0 && env_int(c.engine, "NOUPDATEONWAIT0", 0) != 0) vm.no_draw_wait = true;
    } else if (ms == -2) {
      f.wait_deadline = nonzero(c.now() - 2);
      vm.no_draw_wait = true;
    } else {
      f.wait_deadline = kForever;
    }
    return Progress::NotFinished;
  }
  if (!wait_over(c)) return Progress::NotFinished;
  end_wait(c);
  c.ret_int(0);
  return Progress::Done;
}

Progress wait_from(Call& c) {
  Frame& f = c.frame();
  const uint32_t now = c.now();
  if (f.wait_deadline == 0) {
    uint32_t base = static_cast<uint32_t>(c.int_arg(1));
    int32_t ms = c.int_arg(2);
    int64_t distance = static_cast<int32_t>(now - base);
    if (std::abs(distance) >= 10LL * ms) base = now;
    f.wait_deadline = nonzero(base + static_cast<uint32_t>(ms));
    return Progress::NotFinished;
  }
  if (!wait_over(c)) return Progress::NotFinished;
  uint32_t deadline = f.wait_deadline;
  end_wait(c);
  // A deadline long past would make the next wait start in the past.
  c.ret_int(static_cast<int32_t>(static_cast<int32_t>(now - deadline) > 10 ? now - 10 : deadline));
  return Progress::Done;
}

Progress draw_wait(Call& c) {
  Frame& f = c.frame();
  ScriptMachine& vm = *c.engine.vm;
  if (f.wait_deadline == 0) {
    f.wait_deadline = nonzero(c.now());
    f.wait_frame_count = vm.frame_counter;
    if (c.int_arg(1, 0) == 0) vm.force_frame = true;
    c.thread.polls = Thread::Poll::Frame;
    return Progress::NotFinished;
  }
  bool suspended = vm.hooks.drawing_suspended && vm.hooks.drawing_suspended(c.engine);
  if (!suspended && (c.now() == f.wait_deadline || vm.frame_counter == f.wait_frame_count)) {
    c.thread.polls = Thread::Poll::Frame;
    return Progress::NotFinished;
  }
  f.wait_deadline = 0;
  f.wait_frame_count = 0;
  c.ret_int(0);
  return Progress::Done;
}

int32_t click_bits(Call& c) {
  Engine& e = c.engine;
  ScriptMachine& vm = *e.vm;
  Thread& t = c.thread;
  int32_t bits = (t.latch_left ? 1 : 0) | (t.latch_right ? 2 : 0) | (t.latch_middle ? 4 : 0);
  uint32_t time;
  if (vm.hooks.take_click) {
    if (vm.hooks.take_click(e, 33, &time)) bits |= 8;
    if (vm.hooks.take_click(e, 34, &time)) bits |= 16;
    if (vm.hooks.take_click(e, 147, &time)) bits |= 32;
  }
  return bits;
}

Progress click_wait(Call& c) {
  Frame& f = c.frame();
  ScriptMachine& vm = *c.engine.vm;
  if (f.wait_deadline == 0) {
    uint32_t time;
    if (vm.hooks.take_click)
      for (int code : {33, 34, 147}) vm.hooks.take_click(c.engine, code, &time);
  }
  int32_t bits = click_bits(c);
  if (bits == 0) {
    f.wait_deadline = nonzero(c.now() + 1);
    c.thread.polls = Thread::Poll::Input;
    return Progress::NotFinished;
  }
  c.thread.latch_left = c.thread.latch_right = c.thread.latch_middle = 0;
  f.wait_deadline = 0;

  c.ret_int(bits);
  return Progress::Done;
}

Progress click_state(Call& c) {
  c.ret_int(click_bits(c));
  return Progress::Done;
}

Progress release_wait(Call& c) {
  ScriptMachine& vm = *c.engine.vm;
  if (vm.hooks.button_held)
    for (int code : {130, 131, 136, 147})
      if (vm.hooks.button_held(c.engine, code)) {
        c.frame().wait_deadline = nonzero(c.now() + 1);
        c.thread.polls = Thread::Poll::Input;
        return Progress::NotFinished;
      }
  c.thread.latch_left = c.thread.latch_right = c.thread.latch_middle = 0;
  c.frame().wait_deadline = 0;

  c.ret_int(0);
  return Progress::Done;
}

// --- Events -----------------------------------------------------------------------------------

Progress event_add(Call& c) {
  add_handler(c.engine, base::crc32(c.str_arg(1)), static_cast<uint32_t>(c.int_arg(2)), false);
  c.ret_int(0);
  return Progress::Done;
}

Progress event_add_first(Call& c) {
  add_handler(c.engine, base::crc32(c.str_arg(1)), static_cast<uint32_t>(c.int_arg(2)), true);
  c.ret_int(0);
  return Progress::Done;
}

Progress event_release(Call& c) {
  remove_handler(c.engine, base::crc32(c.str_arg(1)), static_cast<uint32_t>(c.int_arg(2)));
  c.ret_int(0);
  return Progress::Done;
}

// Removes the first `n` arguments (the topmost values) from the stack.
void drop_leading_arguments(Call& c, int n) {
  Frame& f = c.frame();
  for (int k = 0; k < n && f.stack_top > 1; ++k) release(c.thread.stack[--f.stack_top]);
}

Progress event_raise(Call& c) {
  uint32_t key = base::crc32(c.str_arg(1));
  int rest = std::max(0, c.argc - 1);
  drop_leading_arguments(c, std::min(c.argc, 1));
  raise_event(c.engine, key, rest, !c.discard);
  return Progress::Done;
}

Progress event_raise_to(Call& c) {
  int32_t id = c.int_arg(1);
  uint32_t key = base::crc32(c.str_arg(2));
  if (id < 0) id = c.thread.id;
  int rest = std::max(0, c.argc - 2);
  drop_leading_arguments(c, std::min(c.argc, 2));
  raise_event(c.engine, key, rest, !c.discard, id);
  return Progress::Done;
}

// --- Calls of script files ------------------------------------------------------------------

CodeAddress entry_of(Engine& e, LoadedScript& s) {
  if (s.entry_point < 0) {
    script_error(e, base::format(msg::kNoEntryPoint, s.name.c_str()));
    return s.base;  // the code base
  }
  return s.address_of(static_cast<uint32_t>(s.entry_point));
}

// call, load_library, call_sub, call_sub_name: `taken` leading arguments
// name the file (and the function); the rest are the callee's.
Progress call_file(Call& c, int taken, bool by_key, bool by_name) {
  Engine& e = c.engine;
  Thread& t = c.thread;
  std::string file(c.str_arg(1));
  uint32_t function = by_key ? static_cast<uint32_t>(c.int_arg(2)) : by_name ? base::crc32(c.str_arg(2)) : 0;
  int rest = std::max(0, c.argc - taken);
  drop_leading_arguments(c, std::min(c.argc, taken));
  t.frame().discard = c.discard ? 1 : 0;
  push(e, t, int_value(rest));
  push_frame(e, t);
  Frame& caller = t.frames[t.depth - 1];
  caller.stack_top -= rest + 1;
  LoadedScript& s = load_script(e, file);
  CodeAddress target = (by_key || by_name) ? find_function(e, function, s.base) : entry_of(e, s);
  t.frame().set_pc(target);
  return Progress::Done;
}

Progress call(Call& c) { return call_file(c, 1, false, false); }
Progress call_sub(Call& c) { return call_file(c, 2, true, false); }
Progress call_sub_name(Call& c) { return call_file(c, 2, false, true); }

// exec, exec_function: the thread starts over at the file or function.
Progress continue_at(Call& c, bool function) {
  Engine& e = c.engine;
  Thread& t = c.thread;
  std::string file(function ? "" : c.str_arg(1));
  uint32_t key = function ? static_cast<uint32_t>(c.int_arg(1)) : 0;
  std::vector<Value> args;
  for (int n = c.argc; n >= 2; --n) {
    Value v = *c.arg(n);
    retain(v);
    args.push_back(v);
  }
  CodeAddress target;
  if (function) {
    target = find_function(e, key, c.frame().pc);
  } else {
    target = entry_of(e, load_script(e, file));
  }
  reset_thread(e, t);
  for (Value& v : args) push(e, t, v);
  push(e, t, int_value(static_cast<int32_t>(args.size())));
  Frame& f = t.frame();
  f.base = f.stack_top;
  f.set_pc(target);
  e.vm->exit_code = kYield;
  return Progress::Done;
}

Progress exec(Call& c) { return continue_at(c, false); }
Progress exec_function(Call& c) { return continue_at(c, true); }

// --- Ending ------------------------------------------------------------------------------------

void ask_threads_to_end(Engine& e) {
  for (auto& t : e.vm->threads)
    if (t->state == kRunning) t->state = kAskedToEnd;
}

Progress exit_(Call& c) {
  Engine& e = c.engine;
  int32_t a = c.int_arg(1, 0);
  if (a != 0) e.vm->keep_console = true;
  if (a >= 0) ask_threads_to_end(e);
  e.vm->exit_code = kThreadYield;
  c.ret_int(0);
  return Progress::Done;
}

Progress reset_exec(Call& c) {
  Engine& e = c.engine;
  e.vm->start_scenario = std::string(base::sjis_clip(c.str_arg(1), 260));
  ask_threads_to_end(e);
  e.vm->exit_code = kThreadYield;
  c.ret_int(0);
  return Progress::Done;
}

constexpr auto kTable = handler_table<Subsystem::script>({
    {"thread_create", thread_create},
    {"thread_create_child", thread_create_child},
    {"thread_end", thread_end},
    {"thread_is_exist", thread_is_exist},
    {"thread_restart_entry", thread_restart_entry},
    {"wait", wait},
    {"wait_from", wait_from},
    {"draw_wait", draw_wait},
    {"click_wait", click_wait},
    {"click_state", click_state},
    {"release_wait", release_wait},
    {"event_add", event_add},
    {"event_add_first", event_add_first},
    {"event_release", event_release},
    {"event_raise", event_raise},
    {"event_raise_to", event_raise_to},
    {"call", call},
    {"load_library", call},
    {"call_sub", call_sub},
    {"call_sub_name", call_sub_name},
    {"exec", exec},
    {"exec_function", exec_function},
    {"exit", exit_},
    {"reset_exec", reset_exec},
});

}  // namespace

std::span<const BuiltinEntry> thread_builtins() { return kTable; }

}  // namespace rt
