#include "script/threads.h"

#include <algorithm>

#include "core/engine.h"
#include "core/error_report.h"
#include "core/trace.h"
#include "res/runtime.h"
#include "script/interpreter.h"
#include "script/script_machine.h"

namespace rt {

namespace {

void init_stack(Thread& t) {
  t.stack.assign(kStackGrowth, Value{});
  t.stack[0] = int_value(0);  // the dummy at the bottom
  t.depth = 0;
  t.frames.fill(Frame{});
  t.frames[0].base = 1;
  t.frames[0].stack_top = 1;
}

}  // namespace

Thread* create_thread(Engine& e, int32_t id) {
  ScriptMachine& vm = *e.vm;
  if (id < 0) {
    // Ids count up from 1; after the counter wraps, ids still in use are skipped.
    for (;;) {
      id = vm.next_thread_id++;
      if (vm.next_thread_id >= 0x7FFFFFFE) {
        vm.next_thread_id = 1;
        vm.thread_ids_wrapped = true;
      }
      if (!vm.thread_ids_wrapped || !find_thread(e, id)) break;
    }
  }
  auto t = std::make_unique<Thread>();
  t->id = id;
  t->vars.reserve(kStackGrowth);
  init_stack(*t);
  vm.threads.push_back(std::move(t));
  QUOREL_TRACE(e, script, "thread %d created", id);
  return vm.threads.back().get();
}

Thread* find_thread(Engine& e, int32_t id) {
  for (auto& t : e.vm->threads)
    if (t->id == id) return t.get();
  return nullptr;
}

bool thread_exists(Engine& e, const Thread* t) {
  if (!t) return false;
  for (auto& x : e.vm->threads)
    if (x.get() == t) return true;
  return false;
}

void make_current(Engine& e, Thread* t) { e.vm->current = t; }

Thread::~Thread() {
  int32_t top = std::max<int32_t>(frames[depth].stack_top, 0);
  top = std::min<int32_t>(top, static_cast<int32_t>(stack.size()));
  for (int32_t i = 0; i < top; ++i) release(stack[i]);
  for (Value& v : vars) release(v);
}

void free_thread(Engine& e, Thread* t) {
  ScriptMachine& vm = *e.vm;
  auto it = std::find_if(vm.threads.begin(), vm.threads.end(), [&](auto& p) { return p.get() == t; });
  if (it == vm.threads.end()) return;
  for (auto& other : vm.threads)
    if (other->linked == t) other->linked = nullptr;
  if (vm.current == t) vm.current = nullptr;
  QUOREL_TRACE(e, script, "thread %d ended", t->id);
  vm.threads.erase(it);
  ++vm.threads_freed;
}

void free_all_threads(Engine& e) {
  ScriptMachine& vm = *e.vm;
  while (!vm.threads.empty()) free_thread(e, vm.threads.back().get());
  vm.current = nullptr;
}

void push_frame(Engine& e, Thread& t) {
  if (t.depth + 1 >= kMaxFrames) {
    error_box_retry(e, msg::kFrameOverflow);
    end_process(e, -1);
  }
  const Frame& prev = t.frames[t.depth];
  ++t.depth;
  Frame& f = t.frames[t.depth];
  f.clear();
  f.stack_top = prev.stack_top;
  f.base = prev.stack_top;
  f.pc = prev.pc;
  f.line = prev.line;
}

void reset_thread(Engine& e, Thread& t) {
  ScriptMachine& vm = *e.vm;
  int32_t top = std::min<int32_t>(t.frames[t.depth].stack_top, static_cast<int32_t>(t.stack.size()));
  for (int32_t i = 0; i < top; ++i) release(t.stack[i]);
  for (auto& x : t.ext) x.reset();  // the font stack and other per-thread state
  std::erase_if(vm.handlers, [&](const EventHandler& h) { return h.owner == t.id && !h.permanent && !vm.initialising; });
  t.state = kRunning;
  t.depth = 0;
  t.frames.fill(Frame{});
  t.stack[0] = int_value(0);
  t.frames[0].base = 1;
  t.frames[0].stack_top = 1;
}

void grow_stack(Engine& e, Thread& t, int extra) {
  const size_t needed = static_cast<size_t>(t.frames[t.depth].stack_top) + static_cast<size_t>(extra);
  if (needed <= t.stack.size()) return;
  if (needed > static_cast<size_t>(kMaxStackValues)) {
    error_box_retry(e, msg::kFrameOverflow);
    end_process(e, -1);
  }
  size_t grown = (needed + kStackGrowth - 1) / kStackGrowth * kStackGrowth;
  t.stack.resize(std::max(grown, t.stack.size() * 2 > static_cast<size_t>(kMaxStackValues) ? grown : t.stack.size() * 2));
}

void push(Engine& e, Thread& t, Value v) {
  reserve_stack(e, t, 1);
  Frame& f = t.frame();
  v.key = 0;
  v.scope = kLocal;
  t.stack[f.stack_top++] = v;
}

void pop(Thread& t) {
  Frame& f = t.frame();
  if (f.stack_top <= 1) return;
  release(t.stack[--f.stack_top]);
}

void drop_to(Thread& t, int32_t from) {
  Frame& f = t.frame();
  from = std::max<int32_t>(from, 1);
  release_range(t.stack.data(), from, f.stack_top);
  if (from < f.stack_top) f.stack_top = from;
}

// --- Events ------------------------------------------------------------------------

void add_handler(Engine& e, uint32_t key, uint32_t function_key, bool at_head) {
  ScriptMachine& vm = *e.vm;
  EventHandler h;
  h.owner = vm.current ? vm.current->id : 0;
  h.key = key;
  h.address = find_function(e, function_key, vm.current ? vm.current->frame().pc : 0);
  if (at_head) vm.handlers.insert(vm.handlers.begin(), h);
  else vm.handlers.push_back(h);
}

void remove_handler(Engine& e, uint32_t key, uint32_t function_key) {
  ScriptMachine& vm = *e.vm;
  if (!vm.current) return;
  CodeAddress address = lookup_function(e, function_key, vm.current->frame().pc);
  const int32_t owner = vm.current->id;
  std::erase_if(vm.handlers,
                [&](const EventHandler& h) { return h.owner == owner && h.key == key && h.address == address; });
}

void raise_event(Engine& e, uint32_t key, int argc, bool push_result, int32_t to_thread) {
  ScriptMachine& vm = *e.vm;
  Thread* cur = vm.current;
  // Copy the arguments off the current stack (the first argument topmost).
  std::vector<Value> args;
  if (cur) {
    Frame& f = cur->frame();
    argc = std::max(0, std::min(argc, f.stack_top - 1));
    args.assign(cur->stack.begin() + (f.stack_top - argc), cur->stack.begin() + f.stack_top);
    f.stack_top -= argc;  // ownership moves to `args`
    if (push_result) push(e, *cur, int_value(0));
  }
  Thread* target_thread = to_thread >= 0 ? find_thread(e, to_thread) : nullptr;
  // Handlers whose owner is gone are dropped; the others get a frame.
  std::vector<EventHandler> list = vm.handlers;
  for (const EventHandler& h : list) {
    if (h.key != key) continue;
    Thread* owner = find_thread(e, h.owner);
    if (!owner) {
      if (!h.permanent && !vm.initialising)
        std::erase_if(vm.handlers, [&](const EventHandler& x) { return x.owner == h.owner && x.key == h.key && x.address == h.address; });
      continue;
    }
    Thread* t = to_thread >= 0 ? target_thread : owner;
    if (!t) continue;
    t->frame().discard = 1;  // the handler's result is dropped
    push_frame(e, *t);
    for (const Value& a : args) {
      Value copy = a;
      retain(copy);
      push(e, *t, copy);
    }
    push(e, *t, int_value(static_cast<int32_t>(args.size())));
    Frame& f = t->frame();
    f.base = f.stack_top;
    f.set_pc(h.address);
  }
  for (Value& a : args) release(a);
}

void make_handlers_permanent(Engine& e) {
  for (EventHandler& h : e.vm->handlers) h.permanent = true;
}

void free_handlers(Engine& e, bool including_permanent) {
  std::erase_if(e.vm->handlers, [&](const EventHandler& h) { return including_permanent || !h.permanent; });
}

}  // namespace rt
