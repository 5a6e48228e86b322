// The interpreter's execution context, shared by the general loop
// (interpreter.cpp) and the fast loop (interpreter_fast.cpp), and the small
// value operations both perform.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include "base/wrapping.h"
#include "core/engine.h"
#include "script/script_machine.h"
#include "script/threads.h"
#include "script/translate.h"
#include "script/value.h"

namespace rt::interp {

struct Exec {
  Engine& e;
  ScriptMachine& vm;
  Thread* t;
  Frame* f = nullptr;
  LoadedScript* script = nullptr;
  Insn* insns = nullptr;
  Insn* ip = nullptr;  // the next instruction
  Value* stack = nullptr;
  int32_t sp = 0;
  int32_t cap = 0;
  int32_t base = 0;
  uint32_t watchdog;  // counts down to the next check

  Exec(Engine& engine, Thread* thread) : e(engine), vm(*engine.vm), t(thread), watchdog(vm.watchdog_period) {}
};

// Writes the loop's state back into the frame.
void sync(Exec& x);
// Points the loop at the current frame's code; false when its program
// counter leads nowhere (stale or outside every script).
bool locate(Exec& x);
// Reads the current frame's stack state into the loop.
void reload(Exec& x);
// Makes room for `extra` more values on the stack.
void grow(Exec& x, int extra);
// Reports a fault with the script positions, keeping the loop's state.
void report(Exec& x, const std::string& text);
// Makes sure `n` operands are on the stack; a malformed program that pops
// below the bottom gets int zeros instead.
bool ensure_operands(Exec& x, int n);
// Ends the current thread after a fault that makes going on meaningless.
void end_thread_here(Exec& x);
// When the watchdog count runs out: the window gets its events, and the
// count starts again. False when the thread's turn must end.
bool watchdog_turn(Exec& x);

// A syscall the fast loop runs itself: its built-in is known and finishes
// at once (group 3).
inline bool finishes_at_once(const ScriptMachine& vm, const Insn& in) {
  if (in.arg < 0) return false;
  const BuiltinSlot& slot = vm.builtins[static_cast<size_t>(in.arg)];
  return slot.info->group == 3 && slot.handler;
}

// How the fast loop handed back.
enum class FastResult : uint8_t {
  refused,  // not even the first instruction ran there
  ran,      // x.ip is the first instruction it did not take
  moved,    // a built-in moved the thread to another frame or place, or
            // ended its turn: the frame must be read again
  freed,    // a built-in freed the thread
};

// Runs the common cases of the hottest operations from x.ip on; see
// interpreter_fast.cpp.
FastResult run_fast(Exec& x);

// Whether the locals of closed loop `loop` (its index in code.closed_loops)
// lie in the frame with the kinds its body expects.
bool closed_loop_holds(const DecodedCode& code, uint32_t loop, Value* stack, int32_t base, int32_t sp);
// Runs a closed loop's body from `ip` (after its test) with the frame's
// locals at `frame`, for as long as it loops. Returns where checked
// execution goes on: the loop's exit, an instruction the body could not
// run unchecked, or, with `watchdog` run out to 0, the loop's test.
Insn* run_closed_loop(Insn* insns, Insn* ip, Value* frame, uint32_t& watchdog, Frame& f, bool follow_lines);

inline void push_value(Exec& x, Value v) {
  if (x.sp >= x.cap) grow(x, 1);
  x.stack[x.sp++] = v;
}

inline void pop_value(Exec& x) {
  Value& v = x.stack[--x.sp];
  if (is_block_kind(v.kind)) release(v);
}

// The int view of a payload: blocks count as a non-zero word.
inline int32_t word_of(const Value& v) { return is_block_kind(v.kind) ? 1 : v.i; }
inline float float_of(const Value& v) { return v.kind == kInt ? static_cast<float>(v.i) : (v.kind == kFloat ? v.f : 0.0f); }

// A slot or variable takes a number; its key and scope stay.
inline void set_int(Value& slot, int32_t n) {
  if (is_block_kind(slot.kind)) release(slot);
  slot.kind = kInt;
  slot.raw = 0;
  slot.i = n;
}
inline void set_float(Value& slot, float x) {
  if (is_block_kind(slot.kind)) release(slot);
  slot.kind = kFloat;
  slot.raw = 0;
  slot.f = x;
}
inline bool fast_truth(const Value& v) { return v.kind == kInt ? v.i != 0 : truth(v); }

// A return's stack: the callee's values [from, top) go, and unless the
// caller drops the result, the top one takes the place of the first as a
// fresh value, its reference moving with it. Returns the caller's new top.
// A malformed callee may have popped below `from`, into its caller's values:
// those are released or moved already, and the caller's stack ends where the
// callee's did, or they would be owned twice.
inline int32_t return_result(Value* stack, int32_t from, int32_t top, bool keep) {
  if (top < from) return std::max(top, 1);
  if (!keep || top == from || top < 1) {
    release_range(stack, from, top);
    return from;
  }
  const uint8_t kind = stack[top - 1].kind;
  const uint64_t payload = stack[top - 1].raw;
  release_range(stack, from, top - 1);
  Value result;
  result.kind = kind;
  result.raw = payload;
  stack[from] = result;
  return from + 1;
}

// The slot of a local the instruction names, when it lies on the stack.
inline Value* local_at(Value* stack, int32_t base, int32_t sp, int32_t hint) {
  // One unsigned comparison for 1 <= slot < sp.
  const int32_t slot = base + static_cast<int16_t>(hint);
  return static_cast<uint32_t>(slot - 1) < static_cast<uint32_t>(sp - 1) ? &stack[slot] : nullptr;
}
inline Value* local_slot(Exec& x, int32_t hint) { return local_at(x.stack, x.base, x.sp, hint); }

// The int comparisons as three bits, less / equal / greater, so that a fused
// test needs no branch on the operator: the decoder keeps the mask in the
// compare instruction's `arg`.
enum CompareOutcome : int32_t { kLess = 1, kEqual = 2, kGreater = 4 };
inline bool int_compare(int32_t mask, int32_t a, int32_t b) {
  int32_t outcome = a < b ? kLess : (a == b ? kEqual : kGreater);
  return (mask & outcome) != 0;
}

// Whether a counted loop goes on, by the test its closing jump carries
// (translate.h, kLoopTestKnown). Most loops count up to a bound.
inline bool loop_goes_on(uint16_t known, int32_t counter, int32_t bound) {
  if (known == (kLoopTestKnown | kLess)) [[likely]]
    return counter < bound;
  return int_compare(known & 7, counter, bound);
}

using base::wrap_add;
using base::wrap_mul;
using base::wrap_sub;

// What add_st_i_pop or minus_st_i_pop (`op`) makes of a local's int.
inline int32_t int_update(uint16_t op, int32_t to, int32_t by) {
  return op == iop_add_st_i_pop ? wrap_add(to, by) : wrap_sub(to, by);
}

inline int32_t int_div(int32_t a, int32_t b) {
  if (b == 0) return wrap_mul(a, 10000);
  if (b == -1) return wrap_sub(0, a);
  return a / b;
}
inline int32_t int_mod(int32_t a, int32_t b) { return (b == 0 || b == -1) ? 0 : a % b; }
inline int32_t shift_left(int32_t a, int32_t b) { return static_cast<int32_t>(static_cast<uint32_t>(a) << (b & 31)); }
inline int32_t shift_right(int32_t a, int32_t b) { return a >> (b & 31); }

}  // namespace rt::interp
