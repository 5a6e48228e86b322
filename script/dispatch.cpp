#include "script/dispatch.h"

#include <stdexcept>

#include "core/engine.h"
#include "core/error_report.h"
#include "core/trace.h"
#include "res/runtime.h"
#include "script/script_error.h"
#include "script/script_machine.h"

namespace rt {

void register_builtins(Engine& e, std::span<const BuiltinEntry> table) {
  ScriptMachine& vm = *e.vm;
  auto catalogue = builtin_catalogue();
  for (const BuiltinEntry& entry : table) {
    const BuiltinInfo* info = find_builtin_info(entry.key);
    if (!info) throw std::logic_error(base::format("built-in %08X is not in the catalogue", entry.key));
    BuiltinSlot& slot = vm.builtins[static_cast<size_t>(info - catalogue.data())];
    if (slot.handler) throw std::logic_error(base::format("built-in %s registered twice", info->name));
    slot.handler = entry.handler;
  }
}

void build_dispatch_table(Engine& e, std::span<const std::span<const BuiltinEntry>> tables) {
  ScriptMachine& vm = *e.vm;
  auto catalogue = builtin_catalogue();
  vm.builtins.assign(catalogue.size(), BuiltinSlot{});
  for (size_t i = 0; i < catalogue.size(); ++i) vm.builtins[i].info = &catalogue[i];
  for (auto table : tables) register_builtins(e, table);
}

namespace {

// Cleans up from the deepest argument to the top, leaving the result for
// syscall or nothing for syscall_discard.
inline void finish(Thread& t, Frame& f, int32_t deepest, Call& call, bool discard) {
  Value result = call.take_result();
  release_range(t.stack.data(), deepest, f.stack_top);
  f.stack_top = deepest;
  if (discard) {
    release(result);
  } else {
    t.stack[f.stack_top++] = result;  // room: at least the arguments' slots, or reserved below
  }
}

// Arguments that are not there (a malformed call) are not read.
int present_arguments(int32_t top, int argc) { return std::max(0, std::min(argc, top - 1)); }

// Runs a registered built-in on the `argc` values below `top`, the top of
// the current frame's stack. A built-in that finishes at once (group 3)
// needs none of the other groups' cases.
template <bool kAtOnce>
#if defined(__GNUC__)
[[gnu::always_inline]]  // a built-in call is a handful of steps
#endif
inline DispatchResult invoke(Engine& e, Thread& t, const BuiltinSlot& slot, uint32_t key, int argc, int32_t top,
                             bool discard) {
  ScriptMachine& vm = *e.vm;
  const int32_t deepest = top - argc;
  Call call(e, t, key, argc, discard, top);
  const uint32_t freed_before = vm.threads_freed;
  [[maybe_unused]] Progress p = slot.handler(call);
  if (vm.threads_freed != freed_before && !thread_exists(e, &t)) {
    Value unused = call.take_result();
    release(unused);
    return DispatchResult::Freed;
  }
  if constexpr (!kAtOnce) {
    const uint8_t group = slot.info->group;
    if (group == 2 && p == Progress::NotFinished) {
      Value unused = call.take_result();
      release(unused);
      vm.exit_code = kYield;
      return DispatchResult::Again;
    }
    if (group == 1 && !call.has_result()) return DispatchResult::Done;  // the handler arranged the stack
  }
  // The result takes the deepest argument's slot, which is there unless
  // there were none (or a handler took them off).
  Frame& f = t.frame();
  const int32_t at = std::min(deepest, f.stack_top);
  if (!discard && static_cast<size_t>(at) >= t.stack.size()) grow_stack(e, t, 1);
  finish(t, f, at, call, discard);
  return DispatchResult::Done;
}

DispatchResult run(Engine& e, Thread& t, uint32_t key, int argc, bool discard, int32_t* slot_cache) {
  ScriptMachine& vm = *e.vm;
  const int32_t top = t.frame().stack_top;
  argc = present_arguments(top, argc);
  const BuiltinSlot* slot = nullptr;
  if (slot_cache && *slot_cache >= 0) {
    slot = &vm.builtins[*slot_cache];
  } else if (const BuiltinInfo* info = find_builtin_info(key)) {
    int32_t index = static_cast<int32_t>(info - builtin_catalogue().data());
    slot = &vm.builtins[index];
    if (slot_cache) *slot_cache = index;
  }
  QUOREL_TRACE(e, script, "thread %d calls %s with %d argument%s", t.id,
               slot ? slot->info->name : base::format("%08X", key).c_str(), argc, argc == 1 ? "" : "s");
  if (!slot || !slot->handler) {
    const int32_t deepest = top - argc;
    script_error(e, base::format(msg::kUnknownBuiltin, key));
    // No result was made: an int 0 stands in, so the caller's stack stays whole.
    Call call(e, t, key, argc, discard, top);
    if (!discard) reserve_stack(e, t, 1);
    finish(t, t.frame(), deepest, call, discard);
    return DispatchResult::Done;
  }
  return invoke<false>(e, t, *slot, key, argc, top, discard);
}

}  // namespace

DispatchResult dispatch_builtin(Engine& e, Thread& t, Insn& in, bool discard) {
  return run(e, t, in.key, in.flags, discard, &in.arg);
}

DispatchResult call_at_once(Engine& e, Thread& t, const Insn& in, int32_t top, bool discard) {
  return invoke<true>(e, t, e.vm->builtins[static_cast<size_t>(in.arg)], in.key, present_arguments(top, in.flags), top,
                      discard);
}

DispatchResult call_builtin(Engine& e, uint32_t key, int argc, bool discard) {
  Thread* t = e.vm->current;
  if (!t) return DispatchResult::Done;
  return run(e, *t, key, argc, discard, nullptr);
}

}  // namespace rt
