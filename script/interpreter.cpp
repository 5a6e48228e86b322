// The bytecode interpreter.
//
// [SECTION] Execution context: stack access, sync with the frame
// [SECTION] Variables: finding and creating them for an instruction
// [SECTION] Slow paths: reports, calls, returns
// [SECTION] The loop: one case per operation
//
// The loop runs over the decoded instructions of a script (translate.h).
// Dispatch is a computed goto where the compiler supports it, else a switch.
// The hottest operations first try the fast loop (interpreter_fast.cpp),
// which runs their common cases with its state in registers; this loop
// holds every operation in full.
#include "script/interpreter.h"

#include <cmath>
#include <cstring>

#include "base/sjis.h"
#include "core/engine.h"
#include "core/error_report.h"
#include "core/game_folders.h"
#include "core/trace.h"
#include "res/runtime.h"
#include "resources/resources.h"
#include "script/debugger.h"
#include "script/dispatch.h"
#include "script/interpreter_exec.h"
#include "script/loop_dispatch.h"
#include "script/read_marks.h"
#include "script/scheduler.h"
#include "script/script_error.h"
#include "script/script_machine.h"

namespace rt {
namespace interp {

// [SECTION] Execution context ---------------------------------------------------

void sync(Exec& x) {
  x.f->stack_top = x.sp;
  if (x.script) {
    x.f->pc = x.script->base + x.ip->offset;
    x.f->ip = x.ip;
    x.f->script = x.script;
    x.f->code_generation = x.vm.files.generation;
  }
}

bool locate(Exec& x) {
  Frame& f = *x.f;
  if (f.ip && f.script && f.code_generation == x.vm.files.generation && f.script->contains(f.pc)) {
    x.script = f.script;
  } else {
    x.script = script_of(x.e, f.pc);
    if (!x.script) return false;
    int32_t index = x.script->decoded.index_at(f.pc - x.script->base);
    if (f.pc - x.script->base == x.script->code.size()) index = x.script->decoded.end_trap;
    f.ip = &x.script->decoded.insns[index];
  }
  x.insns = x.script->decoded.insns.data();
  x.ip = const_cast<Insn*>(f.ip);
  return true;
}

void reload(Exec& x) {
  x.f = &x.t->frame();
  x.sp = x.f->stack_top;
  x.stack = x.t->stack.data();
  x.cap = static_cast<int32_t>(x.t->stack.size());
  x.base = x.f->base;
}

void grow(Exec& x, int extra) {
  x.f->stack_top = x.sp;
  reserve_stack(x.e, *x.t, extra);
  x.stack = x.t->stack.data();
  x.cap = static_cast<int32_t>(x.t->stack.size());
}

void report(Exec& x, const std::string& text) {
  sync(x);
  script_error(x.e, text);
}

// A released game shows no script errors, so their texts are not even made:
// a broken loop there runs at full speed.
template <typename... Args>
void report_format(Exec& x, const char* format, Args... args) {
  if (!is_release_mode(x.e)) report(x, base::format(format, args...));
}

bool ensure_operands(Exec& x, int n) {
  if (x.sp - n >= 1) return true;
  report(x, msg::kStackUnderflow);
  while (x.sp - n < 1) push_value(x, int_value(0));
  return false;
}

void end_thread_here(Exec& x) {
  x.t->state = kEnded;
  x.vm.exit_code = kThreadYield;
}

bool watchdog_turn(Exec& x) {
  x.watchdog = x.vm.watchdog_period;
  sync(x);
  watchdog_check(x.e);
  return x.vm.exit_code == kContinue;
}

}  // namespace interp

namespace {

using namespace interp;

constexpr uint32_t kSwitchValueKey = 0x11F91FD3;

StringBlock* concat(std::string_view a, std::string_view b, size_t reserve = 0) {
  StringBlock* s = new_string_uninit(a.size() + b.size(), reserve);
  if (!a.empty()) std::memcpy(s->text(), a.data(), a.size());
  if (!b.empty()) std::memcpy(s->text() + a.size(), b.data(), b.size());
  return s;
}

int compare_strings(const Value& a, const Value& b) { return base::sjis_compare_nocase(string_of(a), string_of(b)); }

// [SECTION] Variables ----------------------------------------------------------------

// The variable an instruction names, created with the default of
// `create_kind` when absent. nullptr (after a report) for a local slot
// outside the stack.
Value* variable_for(Exec& x, Insn& in, uint8_t create_kind) {
  const uint16_t flags = in.flags;
  switch (var_flags::scope(flags)) {
    case kLocal: {
      int32_t slot = x.base + static_cast<int16_t>(in.arg);
      if (slot < 1 || slot >= x.sp) {
        report_format(x, msg::kBadLocalSlot, static_cast<int16_t>(in.arg));
        return nullptr;
      }
      return &x.stack[slot];
    }
    case kPersistent:
    case kGlobal: {
      VariableStore& store = var_flags::scope(flags) == kPersistent ? x.vm.persistent : x.vm.global;
      int16_t hint = static_cast<int16_t>(in.arg);
      Value* v = store.find(in.key, &hint);
      if (!v) v = store.add(in.key, default_value(x.e, create_kind), &hint);
      in.arg = hint;
      return v;
    }
    default: {  // thread (and scopes the flags cannot name, treated alike)
      Value* v = find_thread_variable(*x.t, in.key);
      if (!v) v = add_thread_variable(*x.t, in.key, default_value(x.e, create_kind));
      return v;
    }
  }
}

inline Value* variable_fast(Exec& x, Insn& in, uint8_t create_kind) {
  if (var_flags::scope(in.flags) == kLocal)
    if (Value* v = local_slot(x, in.arg)) return v;
  return variable_for(x, in, create_kind);
}

// Index of an element; -1 (after a report) when the array has no elements.
int64_t element_index(Exec& x, const ArrayBlock* a, int dims) {
  int32_t idx[3] = {0, 0, 0};
  for (int k = 0; k < dims; ++k) idx[k] = x.stack[x.sp - 1 - k].kind == kFloat ? truncate_float(x.stack[x.sp - 1 - k].f)
                                                                                  : x.stack[x.sp - 1 - k].i;
  for (int k = 0; k < dims; ++k) pop_value(x);
  if (!a->has_elements()) {
    report(x, a->outer == 0 ? msg::kArrayNotInitialised : msg::kArraySizeBelowOne);
    return -1;
  }
  auto m = [](int32_t i, int32_t n) -> int64_t {
    if (i >= 0 && i < n) return i;
    int64_t r = static_cast<int64_t>(i) % n;
    return r < 0 ? r + n : r;
  };
  switch (dims) {
    case 1: return m(idx[0], a->inner);
    case 2: return m(idx[0], a->inner) + m(idx[1], a->middle) * a->inner;
    default: return m(idx[0], a->inner) + (m(idx[1], a->middle) + m(idx[2], a->outer) * a->middle) * a->inner;
  }
}

// The array an element instruction with `indices` index operands names,
// checked against the element kind it expects. nullptr after a report.
ArrayBlock* array_for(Exec& x, Insn& in, int indices) {
  const uint8_t element = static_cast<uint8_t>(var_flags::kind(in.flags));
  const uint8_t kind = static_cast<uint8_t>(element + kIntArray);
  if (element > kString) {
    report(x, msg::kWrongVariableKind);
    return nullptr;
  }
  Value* v = variable_for(x, in, kind);
  if (!v) return nullptr;
  if (v >= x.stack + x.sp - indices && v < x.stack + x.sp) {
    // A local slot among the indices themselves (only a malformed program
    // names one): taking the indices off the stack would free the array
    // while the instruction still uses it.
    report_format(x, msg::kBadLocalSlot, static_cast<int16_t>(in.arg));
    return nullptr;
  }
  if (v->kind != kind || !v->a) {
    report(x, msg::kWrongVariableKind);
    return nullptr;
  }
  return v->a;
}

// The variable an assignment writes, once its operand is there; nullptr
// (after a report) when there is none.
inline Value* assignment_target(Exec& x, Insn& in) {
  if (x.sp < 2) ensure_operands(x, 1);
  return variable_fast(x, in, x.stack[x.sp - 1].kind);
}

// The element an element assignment writes: its array and index, once the
// indices are taken off the stack. `at` is -1 (after a report) when there is
// none. `string_op`: the operation works on string elements.
struct ElementTarget {
  ArrayBlock* array;
  int64_t at;
};
inline ElementTarget element_target(Exec& x, Insn& in, bool string_op) {
  const int dims = std::max(1, std::min(3, var_flags::dimensions(in.flags)));
  if (x.sp - dims < 2) ensure_operands(x, dims + 1);
  ArrayBlock* arr = array_for(x, in, dims);
  if (arr && (arr->element_kind == kString) != string_op) {
    report(x, msg::kWrongVariableKind);
    arr = nullptr;
  }
  if (!arr) {
    for (int k = 0; k < dims; ++k) pop_value(x);
    return {nullptr, -1};
  }
  return {arr, element_index(x, arr, dims)};
}

// A click-target opcode: the target is set; a latched click jumps now.
bool take_click_target(CodeAddress& slot, uint32_t& latch, CodeAddress target) {
  slot = target;
  if (!latch) return false;
  latch = 0;
  return true;
}

// [SECTION] Slow paths -------------------------------------------------------------

void unknown_function(Engine& e, uint32_t key) {
  // The report is shown even in release mode, and until the player cancels.
  rt::set_development_mode(e);
  for (;;) script_error(e, base::format(msg::kFunctionNotFound, key));
}

}  // namespace

CodeAddress find_function(Engine& e, uint32_t key, CodeAddress current) {
  CodeAddress a = lookup_function(e, key, current);
  if (a == 0) unknown_function(e, key);
  return a;
}

bool perform_return(Engine& e, Thread& t) {
  ScriptMachine& vm = *e.vm;
  for (;;) {
    Frame& f = t.frame();
    if (f.exit_target) {
      f.set_pc(f.exit_target);
      f.exit_target = 0;
      return true;
    }
    if (t.depth == 0) {
      switch (t.state) {
        case kRunning: t.state = kAskedToEnd; break;
        case kRunningExitHandlers: t.state = kExitHandlersDone; break;
        case kRunningRestart: t.state = kEnded; break;
        default: break;
      }
      // The return runs again on the next turn; the scheduler decides the rest.
      vm.exit_code = kThreadYield;
      return false;
    }
    if (vm.caps_claim_depth == t.depth) vm.caps_claim_depth = -1;
    Frame& callee = t.frames[t.depth];
    --t.depth;
    Frame& caller = t.frame();
    caller.stack_top = return_result(t.stack.data(), caller.stack_top, callee.stack_top, caller.discard == 0);
    callee.clear();
    if (caller.pc != 0) return true;
  }
}

namespace {

// Opens the callee's frame for a call with `argc` arguments on the stack,
// as call_fn does: the count is pushed, and the arguments and count move
// below the new frame's base.
bool enter_call(Exec& x, uint32_t argc, bool discard, CodeAddress target) {
  if (x.sp - static_cast<int32_t>(argc) < 1) {
    ensure_operands(x, static_cast<int>(argc));
  }
  x.f->discard = discard ? 1 : 0;
  push_value(x, int_value(static_cast<int32_t>(argc)));
  sync(x);
  push_frame(x.e, *x.t);
  Frame& callee = x.t->frame();
  Frame& caller = x.t->frames[x.t->depth - 1];
  caller.stack_top -= static_cast<int32_t>(argc) + 1;
  callee.set_pc(target);
  reload(x);
  return true;
}

}  // namespace

// [SECTION] The loop -----------------------------------------------------------------

void run_thread(Engine& e) {
  ScriptMachine& vm = *e.vm;
  Thread* t = vm.current;
  if (!t || !thread_exists(e, t)) return;
  vm.exit_code = kContinue;
  Exec x(e, t);
  reload(x);
  if (x.f->pc == 0) {
    if (perform_return(e, *t)) reload(x);
  }

  auto enter_code = [&]() -> bool {
    if (locate(x)) return true;
    x.script = nullptr;
    report(x, msg::kStaleCode);
    end_thread_here(x);
    return false;
  };

  if (vm.exit_code == kContinue) enter_code();

#if QUOREL_COMPUTED_GOTO
  static const void* const kLabels[iop_count] = {
#define QUOREL_LABEL(ident, name, code, operands) &&L_##ident,
      QUOREL_OPCODES(QUOREL_LABEL)
#undef QUOREL_LABEL
      &&L_unknown, &&L_trap_end, &&L_trap_jump, &&L_trap_operand,
      &&L_load_local, &&L_local_cmp_k_jf, &&L_local_cmp_local_jf, &&L_k_add_local, &&L_local_add_local,
      &&L_k_add_local_loop, &&L_local_op_k, &&L_local_elem, &&L_local_ast, &&L_local_local_ast,
      &&L_local_elem_add_local};
  static_assert(sizeof(kLabels) / sizeof(kLabels[0]) == iop_count);
#endif
#define CASE(name) QUOREL_CASE(L_##name, iop_##name)
#define NEXT() QUOREL_NEXT(in = x.ip++, kLabels[in->op])
// After anything that may end the thread's turn.
#define NEXT_CHECKED()                          \
  do {                                          \
    if (vm.exit_code != kContinue) goto done;   \
    NEXT();                                     \
  } while (0)

  Insn* in = nullptr;
  // Where the fast loop last handed back; with the fast loop off, nowhere
  // else is tried.
  Insn* refused = nullptr;
  // Tracing the script shows every built-in call: only the general loop does.
  const bool fast = e.options.fast_loop && !(e.trace_mask & (1u << static_cast<unsigned>(Channel::script)));

  // The hot operations try the fast loop first; what it does not take
  // (even its first instruction) runs here.
#define TRY_FAST()                                              \
  if (fast && in != refused) {                                  \
    x.ip = in;                                                  \
    switch (run_fast(x)) {                                      \
      case FastResult::refused: break;                          \
      case FastResult::ran:                                     \
        refused = x.ip;                                         \
        NEXT_CHECKED();                                         \
      case FastResult::moved:                                   \
        reload(x);                                              \
        if (x.t->frame().ip != x.ip || x.f->script != x.script) \
          enter_code();                                         \
        NEXT_CHECKED();                                         \
      case FastResult::freed: goto done_freed;                  \
    }                                                           \
    x.ip = in + 1;                                              \
  }

  // Jumps go through here: a backward jump counts toward the watchdog that
  // lets a window close under a script that never yields.
#define JUMP_TO(index)                                           \
  do {                                                           \
    Insn* target_ = x.insns + (index);                           \
    x.ip = target_;                                              \
    if (target_ <= in && --x.watchdog == 0) {                    \
      x.watchdog = vm.watchdog_period;                           \
      sync(x);                                                   \
      watchdog_check(e);                                         \
      if (vm.exit_code != kContinue) goto done;                  \
    }                                                            \
  } while (0)

  if (vm.exit_code != kContinue) goto done;
  QUOREL_LOOP_BEGIN(in = x.ip++, kLabels[in->op], in->op, break)

  // --- Operators -----------------------------------------------------------------
#define BINARY_INT(name, expr)                        \
  CASE(name) {                                        \
    TRY_FAST()                                        \
    if (x.sp < 3) ensure_operands(x, 2);              \
    Value& a = x.stack[x.sp - 2];                     \
    Value& b = x.stack[x.sp - 1];                     \
    int32_t av = word_of(a), bv = word_of(b);         \
    pop_value(x);                                     \
    set_int(a, (expr));                               \
    NEXT();                                           \
  }
#define BINARY_FLOAT(name, expr)                      \
  CASE(name) {                                        \
    if (x.sp < 3) ensure_operands(x, 2);              \
    Value& a = x.stack[x.sp - 2];                     \
    Value& b = x.stack[x.sp - 1];                     \
    float av = float_of(a), bv = float_of(b);         \
    pop_value(x);                                     \
    set_float(a, (expr));                             \
    NEXT();                                           \
  }
#define COMPARE_FLOAT(name, expr, yes)                \
  CASE(name) {                                        \
    if (x.sp < 3) ensure_operands(x, 2);              \
    Value& a = x.stack[x.sp - 2];                     \
    Value& b = x.stack[x.sp - 1];                     \
    float av = float_of(a), bv = float_of(b);         \
    pop_value(x);                                     \
    set_int(a, (expr) ? (yes) : 0);                   \
    NEXT();                                           \
  }
#define COMPARE_STRING(name, expr)                    \
  CASE(name) {                                        \
    if (x.sp < 3) ensure_operands(x, 2);              \
    int c = compare_strings(x.stack[x.sp - 2], x.stack[x.sp - 1]); \
    pop_value(x);                                     \
    set_int(x.stack[x.sp - 1], (expr) ? 1 : 0);       \
    NEXT();                                           \
  }
#define COMPARE_REF(name, same)                       \
  CASE(name) {                                        \
    if (x.sp < 3) ensure_operands(x, 2);              \
    bool eq = x.stack[x.sp - 2].raw == x.stack[x.sp - 1].raw; \
    pop_value(x);                                     \
    set_int(x.stack[x.sp - 1], eq == (same) ? 1 : 0); \
    NEXT();                                           \
  }

  BINARY_INT(mul_i, wrap_mul(av, bv))
  BINARY_FLOAT(mul_f, av * bv)
  BINARY_INT(div_i, int_div(av, bv))
  BINARY_FLOAT(div_f, av / (bv == 0.0f ? 0.00001f : bv))
  BINARY_INT(mod_i, int_mod(av, bv))
  BINARY_INT(add_i, wrap_add(av, bv))
  BINARY_FLOAT(add_f, av + bv)
  CASE(add_s) {
    if (x.sp < 3) ensure_operands(x, 2);
    Value& a = x.stack[x.sp - 2];
    StringBlock* s = concat(string_of(a), string_of(x.stack[x.sp - 1]));
    pop_value(x);
    release(a);
    a = string_value(s);
    NEXT();
  }
  BINARY_INT(minus_i, wrap_sub(av, bv))
  BINARY_FLOAT(minus_f, av - bv)
  BINARY_INT(shr, shift_right(av, bv))
  BINARY_INT(shl, shift_left(av, bv))
  BINARY_INT(le_i, av <= bv ? 1 : 0)
  COMPARE_FLOAT(le_f, av <= bv, 1)
  BINARY_INT(lt_i, av < bv ? 1 : 0)
  COMPARE_FLOAT(lt_f, av < bv, -1)
  COMPARE_STRING(lt_s, c < 0)
  BINARY_INT(ge_i, av >= bv ? -1 : 0)
  COMPARE_FLOAT(ge_f, av >= bv, -1)
  BINARY_INT(gt_i, av > bv ? 1 : 0)
  COMPARE_FLOAT(gt_f, av > bv, 1)
  COMPARE_STRING(gt_s, c > 0)
  BINARY_INT(eq_i, av == bv ? 1 : 0)
  COMPARE_FLOAT(eq_f, av == bv, 1)
  COMPARE_STRING(eq_s, c == 0)
  COMPARE_REF(eq_ref_ia, true)
  COMPARE_REF(eq_ref_fa, true)
  COMPARE_REF(eq_ref_sa, true)
  BINARY_INT(ne_i, av != bv ? 1 : 0)
  COMPARE_FLOAT(ne_f, av != bv, 1)
  COMPARE_STRING(ne_s, c != 0)
  COMPARE_REF(ne_ref_ia, false)
  COMPARE_REF(ne_ref_fa, false)
  COMPARE_REF(ne_ref_sa, false)
  BINARY_INT(xor_, av ^ bv)
  BINARY_INT(land, (av != 0 && bv != 0) ? 1 : 0)
  BINARY_INT(lor, (av != 0 || bv != 0) ? 1 : 0)
  BINARY_INT(and_, av & bv)
  BINARY_INT(or_, av | bv)
  CASE(lnot) {
    if (x.sp < 2) ensure_operands(x, 1);
    Value& a = x.stack[x.sp - 1];
    set_int(a, word_of(a) == 0 ? 1 : 0);
    NEXT();
  }
  CASE(nop) NEXT();
  CASE(nop_1a8) NEXT();
  CASE(nop_1a9) NEXT();
  CASE(not_) {
    if (x.sp < 2) ensure_operands(x, 1);
    Value& a = x.stack[x.sp - 1];
    set_int(a, ~word_of(a));
    NEXT();
  }
  CASE(neg_i) {
    if (x.sp < 2) ensure_operands(x, 1);
    Value& a = x.stack[x.sp - 1];
    set_int(a, wrap_sub(0, word_of(a)));
    NEXT();
  }
  CASE(neg_f) {
    if (x.sp < 2) ensure_operands(x, 1);
    Value& a = x.stack[x.sp - 1];
    set_float(a, -float_of(a));
    NEXT();
  }

  // --- Assignments to variables ------------------------------------------------
  // After the operation the top holds the variable's new value; the pop
  // variants then drop it.
#define NEXT_AFTER_POP()                                    \
    do {                                                    \
      if ((in->op >= iop_st_i_pop && in->op <= iop_or_st_pop)) pop_value(x); \
      NEXT();                                               \
    } while (0)

#define ASSIGN_INT(name, expr)                              \
  CASE(name) CASE(name##_pop) {                             \
    if (in->op == iop_add_st_i_pop || in->op == iop_minus_st_i_pop) TRY_FAST() \
    Value* v = assignment_target(x, *in);                   \
    if (!v) NEXT_AFTER_POP();                               \
    Value& top = x.stack[x.sp - 1];                         \
    int32_t cur = word_of(*v), val = word_of(top);          \
    int32_t r = (expr);                                     \
    set_int(*v, r);                                      \
    set_int(top, r);                                        \
    NEXT_AFTER_POP();                                       \
  }
#define ASSIGN_FLOAT(name, expr)                            \
  CASE(name) CASE(name##_pop) {                             \
    Value* v = assignment_target(x, *in);                   \
    if (!v) NEXT_AFTER_POP();                               \
    Value& top = x.stack[x.sp - 1];                         \
    float cur = float_of(*v), val = float_of(top);          \
    float r = (expr);                                       \
    set_float(*v, r);                                    \
    set_float(top, r);                                      \
    NEXT_AFTER_POP();                                       \
  }

  CASE(st_i) CASE(st_i_pop) {
    if (in->op == iop_st_i_pop) TRY_FAST()
    Value* v = assignment_target(x, *in);
    if (!v) NEXT_AFTER_POP();
    Value& top = x.stack[x.sp - 1];
    int32_t r = top.kind == kFloat ? truncate_float(top.f) : word_of(top);
    set_int(*v, r);
    set_int(top, r);
    NEXT_AFTER_POP();
  }
  CASE(st_f) CASE(st_f_pop) {
    Value* v = assignment_target(x, *in);
    if (!v) NEXT_AFTER_POP();
    Value& top = x.stack[x.sp - 1];
    float r = top.kind == kInt ? static_cast<float>(top.i) : (top.kind == kFloat ? top.f : 0.0f);
    set_float(*v, r);
    set_float(top, r);
    NEXT_AFTER_POP();
  }
  CASE(st_ref_s) CASE(st_ref_ia) CASE(st_ref_fa) CASE(st_ref_sa)
  CASE(st_ref_s_pop) CASE(st_ref_ia_pop) CASE(st_ref_fa_pop) CASE(st_ref_sa_pop) {
    Value* v = assignment_target(x, *in);
    if (!v) NEXT_AFTER_POP();
    Value& top = x.stack[x.sp - 1];
    Value copy = top;
    if (!is_block_kind(copy.kind)) copy = default_value(e, kString);  // nothing to share: an empty string
    else retain(copy);
    assign(*v, copy);
    NEXT_AFTER_POP();
  }
  ASSIGN_INT(mul_st_i, wrap_mul(cur, val))
  ASSIGN_FLOAT(mul_st_f, cur * val)
  ASSIGN_INT(div_st_i, int_div(cur, val))
  ASSIGN_FLOAT(div_st_f, cur / (val == 0.0f ? 0.00001f : val))
  CASE(mod_st_i) CASE(mod_st_i_pop) {
    Value* v = assignment_target(x, *in);
    if (!v) NEXT_AFTER_POP();
    Value& top = x.stack[x.sp - 1];
    int32_t cur = word_of(*v), val = word_of(top);
    if (val == 0) {
      set_int(top, 0);  // the variable keeps its value
    } else {
      int32_t r = int_mod(cur, val);
      set_int(*v, r);
      set_int(top, r);
    }
    NEXT_AFTER_POP();
  }
  ASSIGN_INT(add_st_i, wrap_add(cur, val))
  ASSIGN_FLOAT(add_st_f, cur + val)
  CASE(add_st_s) CASE(add_st_s_pop) {
    Value* v = assignment_target(x, *in);
    if (!v) NEXT_AFTER_POP();
    Value& top = x.stack[x.sp - 1];
    std::string_view tail = string_of(top);
    if (v->kind == kString && v->s && v->s->refs == 1 && in->op == iop_add_st_s_pop &&
        static_cast<size_t>(v->s->capacity) >= v->s->size + tail.size()) {
      // Sole owner with room: append in place (nobody can see the difference).
      if (!tail.empty()) std::memcpy(v->s->text() + v->s->size - 1, tail.data(), tail.size());
      v->s->size += static_cast<int32_t>(tail.size());
      v->s->text()[v->s->size - 1] = '\0';
    } else {
      std::string_view head = string_of(*v);
      // Strings that keep growing get room to grow, so that building a long
      // text piece by piece is not quadratic.
      StringBlock* s = concat(head, tail, (head.size() + tail.size()) * 2);
      assign(*v, string_value(s));
      if (in->op == iop_add_st_s) {
        retain(*v);
        release(top);
        top = string_value(s);
      }
    }
    NEXT_AFTER_POP();
  }
  ASSIGN_INT(minus_st_i, wrap_sub(cur, val))
  ASSIGN_FLOAT(minus_st_f, cur - val)
  ASSIGN_INT(shl_st, shift_left(cur, val))
  ASSIGN_INT(shr_st, shift_right(cur, val))
  ASSIGN_INT(and_st, cur & val)
  ASSIGN_INT(xor_st, cur ^ val)
  ASSIGN_INT(or_st, cur | val)

  // --- Assignments to array elements ----------------------------------------------
  // The value lies below the indices. It stays on top as the expression's
  // value (mul_ast_i and the string forms replace it); pop variants drop it.
#define NEXT_AFTER_ELEMENT()                                      \
    do {                                                          \
      if (in->op >= iop_ast_i_pop) pop_value(x);                  \
      NEXT();                                                     \
    } while (0)
#define ELEMENT_INT(name, expr)                                   \
  CASE(name) CASE(name##_pop) {                                   \
    const ElementTarget t = element_target(x, *in, false);        \
    if (t.at < 0) NEXT_AFTER_ELEMENT();                           \
    Value& val = x.stack[x.sp - 1];                               \
    int32_t& el = t.array->ints()[t.at];                                \
    int32_t v = word_of(val);                                     \
    el = (expr);                                                  \
    NEXT_AFTER_ELEMENT();                                         \
  }
#define ELEMENT_FLOAT(name, expr)                                 \
  CASE(name) CASE(name##_pop) {                                   \
    const ElementTarget t = element_target(x, *in, false);        \
    if (t.at < 0) NEXT_AFTER_ELEMENT();                           \
    Value& val = x.stack[x.sp - 1];                               \
    float& el = t.array->floats()[t.at];                                \
    float v = float_of(val);                                      \
    el = (expr);                                                  \
    NEXT_AFTER_ELEMENT();                                         \
  }

  CASE(ast_i) CASE(ast_i_pop) CASE(ast_f) CASE(ast_f_pop) {
    TRY_FAST()
    const ElementTarget t = element_target(x, *in, false);
    if (t.at < 0) NEXT_AFTER_ELEMENT();
    Value& val = x.stack[x.sp - 1];
    t.array->ints()[t.at] = word_of(val);  // the payload as it is
    NEXT_AFTER_ELEMENT();
  }
  CASE(ast_s) CASE(ast_s_pop) {
    const ElementTarget t = element_target(x, *in, true);
    if (t.at < 0) NEXT_AFTER_ELEMENT();
    Value& val = x.stack[x.sp - 1];
    StringBlock*& el = t.array->strings()[t.at];
    StringBlock* s = val.kind == kString && val.s ? val.s : nullptr;
    if (s) ++s->refs;
    else s = new_string({});
    if (el) release_string(el);
    el = s;
    NEXT_AFTER_ELEMENT();
  }
  CASE(mul_ast_i) CASE(mul_ast_i_pop) {
    const ElementTarget t = element_target(x, *in, false);
    if (t.at < 0) NEXT_AFTER_ELEMENT();
    Value& val = x.stack[x.sp - 1];
    int32_t& el = t.array->ints()[t.at];
    el = wrap_mul(el, word_of(val));
    set_int(val, el);
    NEXT_AFTER_ELEMENT();
  }
  ELEMENT_FLOAT(mul_ast_f, el * v)
  ELEMENT_INT(div_ast_i, int_div(el, v))
  ELEMENT_FLOAT(div_ast_f, v == 0.0f ? el * 10000.0f : el / v)
  ELEMENT_INT(mod_ast_i, v == 0 ? 0 : int_mod(el, v))
  ELEMENT_INT(add_ast_i, wrap_add(el, v))
  ELEMENT_FLOAT(add_ast_f, el + v)
  CASE(add_ast_s) CASE(add_ast_s_pop) {
    const ElementTarget t = element_target(x, *in, true);
    if (t.at < 0) NEXT_AFTER_ELEMENT();
    Value& val = x.stack[x.sp - 1];
    StringBlock*& el = t.array->strings()[t.at];
    StringBlock* s = concat(el ? el->view() : std::string_view(), string_of(val));
    if (el) release_string(el);
    el = s;
    if (in->op == iop_add_ast_s_pop) {
      pop_value(x);
      NEXT();
    }
    ++s->refs;  // the element and the expression value share it
    release(val);
    val = string_value(s);
    NEXT();
  }
  ELEMENT_INT(minus_ast_i, wrap_sub(el, v))
  ELEMENT_FLOAT(minus_ast_f, el - v)
  ELEMENT_INT(shl_ast, shift_left(el, v))
  ELEMENT_INT(shr_ast, shift_right(el, v))
  ELEMENT_INT(and_ast, el & v)
  ELEMENT_INT(xor_ast, el ^ v)
  ELEMENT_INT(or_ast, el | v)

  // --- Loads and constants -------------------------------------------------------
  CASE(push_i) {
    TRY_FAST()
  push_i_generic:
    push_value(x, int_value(static_cast<int32_t>(in->key)));
    NEXT();
  }
  CASE(push_f) {
    float f;
    std::memcpy(&f, &in->key, 4);
    push_value(x, float_value(f));
    NEXT();
  }
  CASE(push_s) {
    // L bytes: the text and its NUL; the text ends at the first NUL.
    const char* bytes = reinterpret_cast<const char*>(x.script->code.data() + in->key);
    size_t length = strnlen(bytes, static_cast<size_t>(in->arg));
    push_value(x, string_value(new_string({bytes, length})));
    NEXT();
  }
  CASE(load) {
  load_generic:
    const uint16_t flags = in->flags;
    const uint8_t r = static_cast<uint8_t>(var_flags::kind(flags));
    Value* v = variable_fast(x, *in, r <= kStringArray ? r : static_cast<uint8_t>(kInt));
    if (!v) {
      push_value(x, int_value(0));
      NEXT();
    }
    const uint8_t s = v->kind;
    if ((r != kFloat && s != r) || (r == kFloat && s != kInt && s != kFloat)) {
      report(x, msg::kWrongVariableKind);
      v = variable_for(x, *in, r);  // the report may not have moved it, but be sure
      if (!v) {
        push_value(x, int_value(0));
        NEXT();
      }
    }
    Value out;
    if (r <= kFloat) {
      if (s > kFloat) {
        out = r == kInt ? int_value(0) : float_value(0.0f);  // no number to read
      } else {
        const int mod = var_flags::modifier(flags);
        if (mod == 1 || mod == 2) {  // ++x, --x
          if (s == kInt) v->i = wrap_add(v->i, mod == 1 ? 1 : -1);
          else v->f += mod == 1 ? 1.0f : -1.0f;
        }
        out.kind = r;
        out.i = v->i;  // the payload as it is
        if (mod == 3 || mod == 4) {  // x++, x--
          if (s == kInt) v->i = wrap_add(v->i, mod == 3 ? 1 : -1);
          else v->f += mod == 3 ? 1.0f : -1.0f;
        }
        switch (var_flags::unary(flags)) {
          case 1:
            if (r == kInt) out.i = wrap_sub(0, out.i);
            else out.f = -out.f;
            break;
          case 2:
            if (r == kInt) out.i = out.i == 0 ? 1 : 0;
            break;
          case 3:
            if (r == kInt) out.i = ~out.i;
            break;
        }
      }
    } else if (s == r && v->raw) {
      out = *v;  // shared
      retain(out);
    } else {
      out = default_value(e, r);
    }
    out.key = 0;
    out.scope = kLocal;
    push_value(x, out);
    NEXT();
  }
  CASE(load_elem) {
    TRY_FAST()
    const uint16_t flags = in->flags;
    const int dims = std::max(1, std::min(3, var_flags::dimensions(flags)));
    if (x.sp - dims < 1) ensure_operands(x, dims);
    ArrayBlock* arr = array_for(x, *in, dims);
    int64_t at = -1;
    if (arr) at = element_index(x, arr, dims);
    else for (int k = 0; k < dims; ++k) pop_value(x);
    const uint8_t element = static_cast<uint8_t>(std::min(2, var_flags::kind(flags)));
    if (at < 0) {
      push_value(x, default_value(e, element));
      NEXT();
    }
    if (element == kString) {
      StringBlock* s = arr->strings()[at];
      if (!s) s = arr->strings()[at] = new_string({});
      ++s->refs;
      push_value(x, string_value(s));
      NEXT();
    }
    int32_t& cell = arr->ints()[at];
    const int mod = var_flags::modifier(flags);
    auto step = [&](int dir) {
      if (element == kInt) cell = wrap_add(cell, dir);
      else {
        float f;
        std::memcpy(&f, &cell, 4);
        f += static_cast<float>(dir);
        std::memcpy(&cell, &f, 4);
      }
    };
    if (mod == 1) step(1);
    if (mod == 2) step(-1);
    Value out;
    out.kind = element;
    out.i = cell;
    if (mod == 3) step(1);
    if (mod == 4) step(-1);
    switch (var_flags::unary(flags)) {
      case 1:
        if (element == kInt) out.i = wrap_sub(0, out.i);
        else out.f = -out.f;
        break;
      case 2:
        if (element == kInt) out.i = out.i == 0 ? 1 : 0;
        break;
      case 3:
        if (element == kInt) out.i = ~out.i;
        break;
    }
    push_value(x, out);
    NEXT();
  }

  // --- Calls and returns ----------------------------------------------------------------
  CASE(call_fn) CASE(call_fn_discard) {
    TRY_FAST()
    CallCache& cache = x.script->decoded.calls[in->arg];
    const uint32_t argc = in->flags;
    if (cache.address == 0 || cache.generation != vm.files.generation) {
      sync(x);
      CodeAddress target = cache.address;
      if (target == 0 || !script_of(e, target)) target = find_function(e, in->key, x.script->base + in->offset);
      LoadedScript* s = script_of(e, target);
      cache.address = target;
      cache.script = s;
      int32_t index = s ? s->decoded.index_at(target - s->base) : 0;
      cache.target = s ? &s->decoded.insns[index] : nullptr;
      cache.generation = vm.files.generation;
    }
    enter_call(x, argc, in->op == iop_call_fn_discard, cache.address);
    Frame& callee = *x.f;
    callee.ip = cache.target;
    callee.script = cache.script;
    callee.code_generation = vm.files.generation;
    if (--x.watchdog == 0) {
      x.watchdog = vm.watchdog_period;
      watchdog_check(e);
    }
    enter_code();
    NEXT_CHECKED();
  }
  CASE(ret) {
    TRY_FAST()
    sync(x);
    bool go_on = perform_return(e, *t);
    reload(x);
    if (!go_on) {
      // At depth 0 the return runs again on the next turn.
      x.ip = in;
      sync(x);
      NEXT_CHECKED();
    }
    enter_code();
    NEXT_CHECKED();
  }
  CASE(alloc_locals) {
    TRY_FAST()
    const uint8_t* kinds = x.script->code.data() + in->key;
    const int n = in->flags;
    if (x.sp + n >= x.cap) grow(x, n + 1);
    for (int k = 0; k < n; ++k) x.stack[x.sp++] = default_value(e, kinds[k] <= kStringArray ? kinds[k] : static_cast<uint8_t>(kInt));
    NEXT();
  }
  CASE(check_args) {
    TRY_FAST()
    const uint8_t* kinds = x.script->code.data() + in->key;
    const int n = in->flags;
    const int32_t count_slot = x.base - 1;
    int32_t passed = count_slot >= 1 && count_slot < x.sp ? as_int(x.stack[count_slot]) : 0;
    if (passed < n) {
      report(x, msg::kMissingParameters);
      if (x.sp + n + 1 >= x.cap) grow(x, n + 2);
      for (int k = n - 1; k >= 0; --k) x.stack[x.sp++] = default_value(e, kinds[k] <= kStringArray ? kinds[k] : static_cast<uint8_t>(kInt));
      x.stack[x.sp++] = int_value(n);
      x.base = x.f->base = x.sp;
      NEXT();
    }
    for (int k = 0; k < n; ++k) {
      int32_t slot = x.base - 2 - k;
      if (slot < 1 || slot >= x.sp || x.stack[slot].kind != kinds[k]) report_format(x, msg::kWrongParameter, n, k + 1);
    }
    NEXT();
  }

  // --- Jumps ---------------------------------------------------------------------------
  CASE(jmp) {
    TRY_FAST()
    JUMP_TO(in->arg);
    NEXT_CHECKED();
  }
  CASE(jmp_true) CASE(jmp_false) {
    TRY_FAST()
    if (x.sp < 2) ensure_operands(x, 1);
    bool yes = fast_truth(x.stack[x.sp - 1]);
    pop_value(x);
    if (yes == (in->op == iop_jmp_true)) JUMP_TO(in->arg);
    NEXT();
  }
  CASE(pop) {
    TRY_FAST()
    if (x.sp < 2) ensure_operands(x, 1);
    pop_value(x);
    NEXT();
  }
  CASE(switch_) {
    if (x.sp < 2) ensure_operands(x, 1);
    Value moved = x.stack[--x.sp];
    Value* sv = find_thread_variable(*t, kSwitchValueKey);
    if (sv) assign(*sv, moved);
    else add_thread_variable(*t, kSwitchValueKey, moved);
    JUMP_TO(in->arg);
    NEXT();
  }
  CASE(case_eq) CASE(case_gt) CASE(case_lt) CASE(case_le) CASE(case_ge) {
    if (x.sp < 2) ensure_operands(x, 1);
    const Value& top = x.stack[x.sp - 1];
    Value* sv = find_thread_variable(*t, kSwitchValueKey);
    Value zero = int_value(0);
    const Value& sw = sv ? *sv : zero;
    bool match;
    if (top.kind == kString) {
      // Ranges never match strings: the case never jumps.
      match = in->op == iop_case_eq ? compare_strings(top, sw) == 0 : true;
    } else {
      int c;
      if (top.kind == kFloat || sw.kind == kFloat) {
        float a = float_of(top), b = float_of(sw);
        c = a < b ? -1 : (a > b ? 1 : (a == b ? 0 : 2));
      } else {
        int32_t a = word_of(top), b = word_of(sw);
        c = a < b ? -1 : (a > b ? 1 : 0);
      }
      switch (in->op) {
        case iop_case_eq: match = c == 0; break;
        case iop_case_gt: match = c == 1; break;
        case iop_case_lt: match = c == -1; break;
        case iop_case_le: match = c == -1 || c == 0; break;
        default: match = c == 1 || c == 0; break;
      }
    }
    if (!match) JUMP_TO(in->arg);
    NEXT();
  }
  CASE(jump_table) {
    if (x.sp < 2) ensure_operands(x, 1);
    int32_t i = as_int(x.stack[x.sp - 1]);
    pop_value(x);
    const int32_t n = in->flags;
    if (n > 0) {
      if (i < 0 || i >= n) i = n - 1;
      JUMP_TO(x.script->decoded.table_targets[in->key + i]);
    }
    NEXT();
  }

  // --- Built-ins -------------------------------------------------------------------------
  CASE(syscall) CASE(syscall_discard) {
    if (finishes_at_once(vm, *in)) TRY_FAST()
    sync(x);
    DispatchResult r = dispatch_builtin(e, *t, *in, in->op == iop_syscall_discard);
    if (r == DispatchResult::Freed) goto done_freed;
    reload(x);
    if (r == DispatchResult::Again) {
      // Not finished: the same call, with the same arguments, next turn.
      x.ip = in;
      sync(x);
      NEXT_CHECKED();
    }
    if (x.t->frame().ip != x.ip || x.f->script != x.script) {
      // A call built-in opened a frame, or a continuation moved the thread.
      enter_code();
    }
    NEXT_CHECKED();
  }

  // --- Lines, clicks and exits ------------------------------------------------------------
  CASE(line) {
    if (t->id != 0 && !vm.debugger_active) TRY_FAST()  // else the fast loop would refuse it
    x.f->line = in->flags;
    if (t->id == 0 || vm.debugger_active) {
      sync(x);
      mark_line(e, *t, in->flags);
      if (vm.debugger_active) debugger_line(e);
    }
    NEXT();
  }
  CASE(on_left) CASE(on_middle) CASE(on_right) CASE(on_click) {
    const CodeAddress target = x.script->base + x.insns[in->arg].offset;
    Frame& f = *x.f;
    bool jumped = false;
    // Each latched button jumps (once) and its latch is used up.
    switch (in->op) {
      case iop_on_left: jumped = take_click_target(f.left_target, t->latch_left, target); break;
      case iop_on_middle: jumped = take_click_target(f.middle_target, t->latch_middle, target); break;
      case iop_on_right: jumped = take_click_target(f.right_target, t->latch_right, target); break;
      default:
        jumped |= take_click_target(f.left_target, t->latch_left, target);
        jumped |= take_click_target(f.right_target, t->latch_right, target);
        jumped |= take_click_target(f.middle_target, t->latch_middle, target);
        break;
    }
    if (jumped) {
      f.wait_deadline = 0;
      f.wait_frame_count = 0;
      JUMP_TO(in->arg);
    }
    NEXT();
  }
  CASE(clear_click) {
    x.f->clear_click_targets();
    NEXT();
  }
  CASE(set_escape) {
    x.f->escape_target = x.script->base + x.insns[in->arg].offset;
    NEXT();
  }
  CASE(escape) {
    sync(x);
    for (int d = t->depth; d >= 0; --d) {
      Frame& f = t->frames[d];
      if (f.escape_target && f.pc < f.escape_target) {
        f.set_pc(f.escape_target);
        f.escape_target = 0;
        f.wait_deadline = 0;
        f.wait_frame_count = 0;
        if (d == t->depth) {
          reload(x);
          enter_code();
        }
        break;
      }
    }
    NEXT();
  }
  CASE(set_exit) {
    x.f->exit_target = x.script->base + x.insns[in->arg].offset;
    x.f->wait_deadline = 0;
    x.f->wait_frame_count = 0;
    NEXT();
  }
  CASE(ftoi) {
    if (x.sp < 2) ensure_operands(x, 1);
    Value& a = x.stack[x.sp - 1];
    if (a.kind == kFloat) set_int(a, truncate_float(a.f));
    else if (a.kind != kInt) set_int(a, 0);
    NEXT();
  }
  CASE(itof) {
    if (x.sp < 2) ensure_operands(x, 1);
    Value& a = x.stack[x.sp - 1];
    if (a.kind == kInt) set_float(a, static_cast<float>(a.i));
    else if (a.kind != kFloat) set_float(a, 0.0f);
    NEXT();
  }

  // --- Story text --------------------------------------------------------------------------
  CASE(text) {
    if (vm.hooks.text_append) {
      const char* bytes = reinterpret_cast<const char*>(x.script->code.data() + in->key);
      vm.hooks.text_append(e, {bytes, strnlen(bytes, static_cast<size_t>(in->arg))});
    }
    NEXT();
  }
  CASE(text_proc) {
    if (vm.hooks.text_show) {
      sync(x);
      const int32_t depth = t->depth;
      bool again = vm.hooks.text_show(e, *t);
      if (!thread_exists(e, t)) goto done_freed;
      if (again && t->depth >= depth) {
        // The opcode runs again, after any script hook the console called.
        Frame& f = t->frames[depth];
        f.pc = x.script->base + in->offset;
        f.ip = in;
      }
      reload(x);
      if (t->depth != depth) {
        enter_code();
      } else if (again) {
        x.ip = in;
      }
    }
    NEXT_CHECKED();
  }
  CASE(text_ctrl) {
    if (vm.hooks.text_control) {
      sync(x);
      const int32_t depth = t->depth;
      const char* bytes = reinterpret_cast<const char*>(x.script->code.data() + in->key);
      vm.hooks.text_control(e, *t, {bytes, strnlen(bytes, static_cast<size_t>(in->arg))});
      if (!thread_exists(e, t)) goto done_freed;
      reload(x);
      if (t->depth != depth) enter_code();  // a script hook was called
    }
    NEXT_CHECKED();
  }

  // --- Superinstructions ----------------------------------------------------------------
  // Their fast cases live in the fast loop; otherwise each runs as its first
  // instruction, and the rest follow unfused.
  CASE(load_local) CASE(local_cmp_k_jf) CASE(local_cmp_local_jf) CASE(local_add_local) CASE(local_op_k)
  CASE(local_elem) CASE(local_ast) CASE(local_local_ast) CASE(local_elem_add_local) {
    TRY_FAST()
    goto load_generic;
  }
  CASE(k_add_local) CASE(k_add_local_loop) {
    TRY_FAST()
    goto push_i_generic;
  }

  // --- Faults -------------------------------------------------------------------------------
  CASE(unknown) {
    const uint8_t* p = x.script->code.data() + in->offset;
    report_format(x, msg::kUnknownOpcode, p[0] | (p[1] << 8));
    // A long run of garbage between backward jumps still meets the watchdog.
    if (--x.watchdog == 0 && !watchdog_turn(x)) goto done;
    NEXT_CHECKED();
  }
  CASE(trap_end) CASE(trap_operand) {
    x.ip = in;
    report(x, msg::kCodeOverrun);
    end_thread_here(x);
    NEXT_CHECKED();
  }
  CASE(trap_jump) {
    x.ip = in;
    report_format(x, msg::kBadJump, x.script->base + in->offset);
    end_thread_here(x);
    NEXT_CHECKED();
  }

  QUOREL_LOOP_END()

done:
  if (x.script) sync(x);
  else x.f->stack_top = x.sp;
done_freed:
  if (thread_exists(e, t) && t->state == kEnded) {
    bool main = t->id == 0;
    free_thread(e, t);
    if (main) vm.exit_code = kToTitle;
  }
}

}  // namespace rt
