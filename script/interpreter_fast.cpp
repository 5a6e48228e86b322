// The fast loop: the common cases of the hottest operations.
//
// Loops over int locals, calls of functions already resolved, and one-index
// array elements make up most of the time a script spends computing. This
// loop runs exactly those cases, with its state in local variables that the
// compiler can keep in machine registers (the general loop is too large for
// that). Whatever it does not handle, an instruction or merely a case of
// one (a string where an int was expected, a frame with an exit handler),
// it leaves where it is and hands back to the general loop, which holds
// every operation in full. Both loops therefore agree by construction: the
// fast cases here are the general loop's results for the same inputs.
#include <array>
#include <cassert>

#include "script/dispatch.h"
#include "script/interpreter.h"
#include "script/interpreter_exec.h"
#include "script/loop_dispatch.h"

namespace rt::interp {
namespace {

// The operations this loop knows, densely numbered; 0 hands back.
#define QUOREL_FAST_OPS(X)                                                                            \
  X(push_i) X(load_local) X(local_cmp_k_jf) X(local_cmp_local_jf) X(k_add_local) X(k_add_local_loop) \
  X(local_add_local) X(local_op_k) X(add_i) X(minus_i) X(mul_i) X(div_i) X(mod_i) X(shl) X(shr)       \
  X(and_) X(or_) X(xor_) X(land) X(lor) X(lt_i) X(le_i) X(gt_i) X(ge_i) X(eq_i) X(ne_i) X(jmp)       \
  X(jmp_true) X(jmp_false) X(pop) X(st_i_pop) X(add_st_i_pop) X(minus_st_i_pop) X(load_elem)          \
  X(ast_i) X(ast_i_pop) X(ast_f) X(ast_f_pop) X(call_fn) X(call_fn_discard) X(ret) X(alloc_locals)    \
  X(check_args) X(line) X(syscall) X(syscall_discard) X(local_elem) X(local_ast) X(local_local_ast) \
  X(local_elem_add_local)

enum FastOp : uint8_t {
  fast_leave,
#define QUOREL_FAST_ENUM(ident) fast_##ident,
  QUOREL_FAST_OPS(QUOREL_FAST_ENUM)
#undef QUOREL_FAST_ENUM
  fast_count
};

constexpr std::array<uint8_t, iop_count> kFastOp = [] {
  std::array<uint8_t, iop_count> table{};
#define QUOREL_FAST_ENTRY(ident) table[iop_##ident] = fast_##ident;
  QUOREL_FAST_OPS(QUOREL_FAST_ENTRY)
#undef QUOREL_FAST_ENTRY
  return table;
}();

// A fresh int or float value with the given payload bits.
inline Value number_value(uint8_t kind, int32_t payload) {
  Value v;
  v.kind = kind;
  v.raw = static_cast<uint32_t>(payload);
  return v;
}

inline void put_int(Value& v, int32_t n) {
  v.kind = kInt;
  v.raw = static_cast<uint32_t>(n);
}

// The element such an instruction names, when the local holds an array of
// the kind it expects and the index lies inside; nullptr otherwise.
inline int32_t* fast_element(Value* stack, int32_t base, int32_t sp, const Insn& in, const Value& index) {
  Value* v = local_at(stack, base, sp, in.arg);
  if (!v || v->kind != var_flags::kind(in.flags) + kIntArray || !v->a || index.kind != kInt) return nullptr;
  ArrayBlock* a = v->a;
  if (!a->has_elements() || static_cast<uint32_t>(index.i) >= static_cast<uint32_t>(a->inner)) return nullptr;
  return &a->ints()[index.i];
}

}  // namespace

FastResult run_fast(Exec& x) {
  ScriptMachine& vm = x.vm;
  Thread* const t = x.t;
  Insn* const start = x.ip;
  Insn* ip = x.ip;
  Insn* insns = x.insns;
  Value* stack = x.stack;
  int32_t sp = x.sp;
  int32_t cap = x.cap;
  int32_t base = x.base;
  Frame* f = x.f;
  LoadedScript* script = x.script;
  uint32_t watchdog = x.watchdog;
  int32_t depth = t->depth;  // read here, written through to the thread
  Insn* in = ip;
  assert(f == &t->frames[static_cast<size_t>(depth)]);

#define SPILL()                                                                                       \
  (x.ip = ip, x.insns = insns, x.stack = stack, x.sp = sp, x.cap = cap, x.base = base, x.f = f, x.script = script, \
   x.watchdog = watchdog)
#define LOCAL(hint) local_at(stack, base, sp, (hint))

#if QUOREL_COMPUTED_GOTO
  static const void* const kFastLabels[fast_count] = {
      &&L_leave,
#define QUOREL_FAST_LABEL(ident) &&L_##ident,
      QUOREL_FAST_OPS(QUOREL_FAST_LABEL)
#undef QUOREL_FAST_LABEL
  };
  static const std::array<const void*, iop_count> kLabels = labels_by_operation(kFastLabels, kFastOp);
#endif
#define CASE(name) QUOREL_CASE(L_##name, fast_##name)
#define NEXT() QUOREL_NEXT(in = ip, kLabels[ip->op])
  QUOREL_LOOP_BEGIN(in = ip, kLabels[ip->op], kFastOp[ip->op], goto L_leave)

// Hands the instruction back to the general loop.
#define LEAVE() goto L_leave
// A jump; backward ones count toward the watchdog.
#define JUMP_TO(index)                                      \
  do {                                                      \
    Insn* target_ = insns + (index);                        \
    if (target_ <= in && --watchdog == 0) {                 \
      ip = target_;                                         \
      SPILL();                                              \
      if (!watchdog_turn(x)) return FastResult::ran;                   \
      watchdog = x.watchdog;                                \
    }                                                       \
    ip = target_;                                           \
  } while (0)

#define BINARY_INT(name, expr)                              \
  CASE(name) {                                              \
    if (sp < 3) LEAVE();                                    \
    Value& a = stack[sp - 2];                               \
    Value& b = stack[sp - 1];                               \
    if (a.kind != kInt || b.kind != kInt) LEAVE();          \
    const int32_t av = a.i, bv = b.i;                       \
    --sp;                                                   \
    put_int(a, (expr));                                     \
    ++ip;                                                   \
    NEXT();                                                 \
  }
  BINARY_INT(add_i, wrap_add(av, bv))
  BINARY_INT(minus_i, wrap_sub(av, bv))
  BINARY_INT(mul_i, wrap_mul(av, bv))
  BINARY_INT(div_i, int_div(av, bv))
  BINARY_INT(mod_i, int_mod(av, bv))
  BINARY_INT(shl, shift_left(av, bv))
  BINARY_INT(shr, shift_right(av, bv))
  BINARY_INT(and_, av & bv)
  BINARY_INT(or_, av | bv)
  BINARY_INT(xor_, av ^ bv)
  BINARY_INT(land, (av != 0 && bv != 0) ? 1 : 0)
  BINARY_INT(lor, (av != 0 || bv != 0) ? 1 : 0)
  BINARY_INT(lt_i, av < bv ? 1 : 0)
  BINARY_INT(le_i, av <= bv ? 1 : 0)
  BINARY_INT(gt_i, av > bv ? 1 : 0)
  BINARY_INT(ge_i, av >= bv ? -1 : 0)
  BINARY_INT(eq_i, av == bv ? 1 : 0)
  BINARY_INT(ne_i, av != bv ? 1 : 0)
#undef BINARY_INT

  CASE(push_i) {
    if (sp >= cap) LEAVE();
    stack[sp++] = int_value(static_cast<int32_t>(in->key));
    ++ip;
    NEXT();
  }
  CASE(load_local) {
    Value* v = LOCAL(in->arg);
    if (!v || v->kind != var_flags::kind(in->flags) || sp >= cap) LEAVE();
    stack[sp++] = number_value(v->kind, v->i);
    ++ip;
    NEXT();
  }
  CASE(pop) {
    if (sp < 2 || is_block_kind(stack[sp - 1].kind)) LEAVE();
    --sp;
    ++ip;
    NEXT();
  }

  // Assignments of an int to an int or float local, the value dropped.
  CASE(st_i_pop) {
    if (sp < 2) LEAVE();
    Value* v = var_flags::scope(in->flags) == kLocal ? LOCAL(in->arg) : nullptr;
    const Value& top = stack[sp - 1];
    if (!v || v->kind > kFloat || top.kind != kInt) LEAVE();
    put_int(*v, top.i);
    --sp;
    ++ip;
    NEXT();
  }
  CASE(add_st_i_pop) CASE(minus_st_i_pop) {
    if (sp < 2) LEAVE();
    Value* v = var_flags::scope(in->flags) == kLocal ? LOCAL(in->arg) : nullptr;
    const Value& top = stack[sp - 1];
    if (!v || v->kind != kInt || top.kind != kInt) LEAVE();
    v->raw = static_cast<uint32_t>(int_update(in->op, v->i, top.i));
    --sp;
    ++ip;
    NEXT();
  }

  // Elements of int and float arrays held in locals, by one index.
  CASE(load_elem) {
    if (sp < 2 || !plain_local_element(in->flags)) LEAVE();
    int32_t* cell = fast_element(stack, base, sp, *in, stack[sp - 1]);
    if (!cell) LEAVE();
    stack[sp - 1] = number_value(static_cast<uint8_t>(var_flags::kind(in->flags)), *cell);
    ++ip;
    NEXT();
  }
  CASE(ast_i) CASE(ast_i_pop) CASE(ast_f) CASE(ast_f_pop) {
    if (sp < 3) LEAVE();
    const Value& val = stack[sp - 2];
    if (val.kind > kFloat || !plain_local_element(in->flags)) LEAVE();
    int32_t* cell = fast_element(stack, base, sp, *in, stack[sp - 1]);
    if (!cell) LEAVE();
    *cell = val.i;  // the payload as it is
    sp -= in->op >= iop_ast_i_pop ? 2 : 1;
    ++ip;
    NEXT();
  }

  // --- Jumps ---------------------------------------------------------------------
  CASE(jmp) {
    JUMP_TO(in->arg);
    NEXT();
  }
  CASE(jmp_true) CASE(jmp_false) {
    if (sp < 2 || stack[sp - 1].kind != kInt) LEAVE();
    const bool yes = stack[sp - 1].i != 0;
    --sp;
    if (yes == (in->op == iop_jmp_true)) JUMP_TO(in->arg);
    else ++ip;
    NEXT();
  }

  // --- Superinstructions (translate.h) ----------------------------------------------
  CASE(local_cmp_k_jf) {
    Value* v = LOCAL(in->arg);
    if (!v || v->kind != kInt) LEAVE();
    if (!int_compare(in[2].arg, v->i, static_cast<int32_t>(in[1].key))) {
      JUMP_TO(in[3].arg);
      NEXT();
    }
    ip = in + 4;
    // The test of a closed loop (translate.h) names it.
    if (const uint32_t loop = in[2].key; loop && closed_loop_holds(script->decoded, loop - 1, stack, base, sp)) {
      ip = run_closed_loop(insns, ip, stack + base, watchdog, *f, t->id == 0 || vm.debugger_active);
      if (watchdog == 0) {
        SPILL();
        if (!watchdog_turn(x)) return FastResult::ran;
        watchdog = x.watchdog;
      }
    }
    NEXT();
  }
  CASE(local_cmp_local_jf) {
    Value* a = LOCAL(in->arg);
    Value* b = LOCAL(in[1].arg);
    if (!a || !b || a->kind != kInt || b->kind != kInt) LEAVE();
    if (int_compare(in[2].arg, a->i, b->i)) ip = in + 4;
    else JUMP_TO(in[3].arg);
    NEXT();
  }
  // The decoder keeps the signed addend in `arg`.
  CASE(k_add_local) {
    Value* v = LOCAL(in[1].arg);
    if (!v || v->kind != kInt) LEAVE();
    v->raw = static_cast<uint32_t>(wrap_add(v->i, in->arg));
    ip = in + 2;
    NEXT();
  }
  CASE(k_add_local_loop) {
    Value* v = LOCAL(in[1].arg);
    if (!v || v->kind != kInt) LEAVE();
    const int32_t counter = wrap_add(v->i, in->arg);
    v->raw = static_cast<uint32_t>(counter);
    if (const uint16_t known = in[2].flags) {
      // A jump back to a test of this counter (translate.cpp): the test's
      // outcomes and constant are in the jump.
      Insn* test = insns + in[2].arg;
      if (--watchdog == 0) {
        ip = test;
        SPILL();
        if (!watchdog_turn(x)) return FastResult::ran;
        watchdog = x.watchdog;
      }
      ip = loop_goes_on(known, counter, static_cast<int32_t>(in[2].key)) ? test + 4 : insns + test[3].arg;
      NEXT();
    }
    // The jump back and the loop's test in one step; the test mostly reads
    // the counter just stepped.
    Insn* test = insns + in[2].arg;
    JUMP_TO(in[2].arg);
    if (test->arg == in[1].arg) {
      ip = int_compare(test[2].arg, counter, static_cast<int32_t>(test[1].key)) ? test + 4 : insns + test[3].arg;
    } else if (Value* c = LOCAL(test->arg); c && c->kind == kInt) {
      ip = int_compare(test[2].arg, c->i, static_cast<int32_t>(test[1].key)) ? test + 4 : insns + test[3].arg;
    }
    NEXT();
  }
  CASE(local_add_local) {
    Value* from = LOCAL(in->arg);
    Value* to = LOCAL(in[1].arg);
    if (!from || !to || from->kind != kInt || to->kind != kInt) LEAVE();
    to->raw = static_cast<uint32_t>(int_update(in[1].op, to->i, from->i));
    ip = in + 2;
    NEXT();
  }
  CASE(local_op_k) {
    Value* v = LOCAL(in->arg);
    if (!v || v->kind != kInt || sp >= cap) LEAVE();
    const int32_t k = static_cast<int32_t>(in[1].key);
    const uint16_t op = in[2].op;
    stack[sp++] = int_value(op == iop_add_i ? wrap_add(v->i, k) : op == iop_minus_i ? wrap_sub(v->i, k) : wrap_mul(v->i, k));
    ip = in + 3;
    NEXT();
  }

  CASE(local_elem) {
    Value* index = LOCAL(in->arg);
    if (!index || index->kind != kInt || sp >= cap) LEAVE();
    int32_t* cell = fast_element(stack, base, sp, in[1], *index);
    if (!cell) LEAVE();
    stack[sp++] = number_value(static_cast<uint8_t>(var_flags::kind(in[1].flags)), *cell);
    ip = in + 2;
    NEXT();
  }
  CASE(local_ast) {
    Value* index = LOCAL(in->arg);
    if (!index || index->kind != kInt || sp < 2 || stack[sp - 1].kind > kFloat) LEAVE();
    int32_t* cell = fast_element(stack, base, sp, in[1], *index);
    if (!cell) LEAVE();
    *cell = stack[sp - 1].i;  // the payload as it is
    if (in[1].op == iop_ast_i_pop || in[1].op == iop_ast_f_pop) --sp;
    ip = in + 2;
    NEXT();
  }

  CASE(local_local_ast) {
    Value* value = LOCAL(in->arg);
    Value* index = LOCAL(in[1].arg);
    if (!value || value->kind != var_flags::kind(in->flags) || !index) LEAVE();
    int32_t* cell = fast_element(stack, base, sp, in[2], *index);
    if (!cell) LEAVE();
    *cell = value->i;  // the payload as it is
    ip = in + 3;
    NEXT();
  }
  CASE(local_elem_add_local) {
    Value* index = LOCAL(in->arg);
    Value* sum = LOCAL(in[2].arg);
    if (!index || !sum || sum->kind != kInt) LEAVE();
    int32_t* cell = fast_element(stack, base, sp, in[1], *index);
    if (!cell) LEAVE();
    sum->raw = static_cast<uint32_t>(int_update(in[2].op, sum->i, *cell));
    ip = in + 3;
    NEXT();
  }

  // --- Calls and returns ---------------------------------------------------------------
  // A call of a function whose address the call cache holds: the count is
  // pushed, and the arguments and count move below the new frame's base.
  CASE(call_fn) CASE(call_fn_discard) {
    const CallCache& cache = script->decoded.calls[in->arg];
    const int32_t argc = in->flags;
    if (!cache.target || cache.generation != vm.files.generation || sp - argc < 1 || sp >= cap ||
        depth + 1 >= kMaxFrames)
      LEAVE();
    f->discard = in->op == iop_call_fn_discard ? 1 : 0;
    stack[sp++] = int_value(argc);
    ip = in + 1;
    f->pc = script->base + ip->offset;
    f->ip = ip;
    f->script = script;
    f->code_generation = vm.files.generation;
    f->stack_top = sp - argc - 1;
    const int32_t line = f->line;
    t->depth = ++depth;
    ++f;  // the frames lie in one array: f is always &t->frames[depth]
    // Every return clears the frame it leaves, and a thread starts with all
    // its frames clear: the frame above the top needs no clearing here.
    assert(f->pc == 0 && f->ip == nullptr && f->exit_target == 0 && f->wait_deadline == 0);
    f->base = f->stack_top = sp;
    f->line = line;
    f->pc = cache.address;
    f->ip = cache.target;
    f->script = script = cache.script;
    f->code_generation = cache.generation;
    base = sp;
    insns = script->decoded.insns.data();
    ip = const_cast<Insn*>(cache.target);
    if (--watchdog == 0) {
      SPILL();
      if (!watchdog_turn(x)) return FastResult::ran;
      watchdog = x.watchdog;
    }
    NEXT();
  }
  // A return to a caller whose place is known, without exit handler.
  CASE(ret) {
    if (f->exit_target || depth == 0) LEAVE();
    Frame& caller = f[-1];
    if (caller.pc == 0 || !caller.ip || !caller.script || caller.code_generation != vm.files.generation) LEAVE();
    const int32_t from = caller.stack_top;
    if (from < 0) LEAVE();
    if (vm.caps_claim_depth == depth) vm.caps_claim_depth = -1;
    sp = return_result(stack, from, sp, caller.discard == 0);
    f->clear();
    t->depth = --depth;
    f = &caller;
    f->stack_top = sp;
    base = f->base;
    script = f->script;
    insns = script->decoded.insns.data();
    ip = const_cast<Insn*>(f->ip);
    NEXT();
  }
  CASE(alloc_locals) {
    const uint8_t* kinds = script->code.data() + in->key;
    const int n = in->flags;
    if (sp + n >= cap) LEAVE();
    for (int k = 0; k < n; ++k)
      if (kinds[k] > kFloat) LEAVE();
    for (int k = 0; k < n; ++k) stack[sp++] = kinds[k] == kInt ? int_value(0) : float_value(0.0f);
    ++ip;
    NEXT();
  }
  CASE(check_args) {
    const uint8_t* kinds = script->code.data() + in->key;
    const int n = in->flags;
    const int32_t count_slot = base - 1;
    if (count_slot < 1 || count_slot >= sp || stack[count_slot].kind != kInt || stack[count_slot].i < n) LEAVE();
    for (int k = 0; k < n; ++k) {
      int32_t slot = base - 2 - k;
      if (slot < 1 || stack[slot].kind != kinds[k]) LEAVE();
    }
    ++ip;
    NEXT();
  }
  CASE(line) {
    // Thread 0 marks read lines, and the debugger follows lines.
    if (t->id == 0 || vm.debugger_active) LEAVE();
    f->line = in->flags;
    ++ip;
    NEXT();
  }

  // --- Built-ins ---------------------------------------------------------------------
  // Those that finish at once, once the instruction knows its slot.
  CASE(syscall) CASE(syscall_discard) {
    if (!finishes_at_once(vm, *in)) LEAVE();
    ip = in + 1;
    // The frame as the built-in may read it: its place, for reports and
    // jumps, and its stack.
    f->stack_top = sp;
    f->pc = script->base + ip->offset;
    f->ip = ip;
    f->script = script;
    f->code_generation = vm.files.generation;
    if (call_at_once(x.e, *t, *in, sp, in->op == iop_syscall_discard) == DispatchResult::Freed)
      return FastResult::freed;
    if (t->depth != depth || vm.exit_code != kContinue || f->ip != ip || f->script != script) {
      SPILL();
      return FastResult::moved;  // the general loop reads the frame again
    }
    sp = f->stack_top;
    base = f->base;
    stack = t->stack.data();
    cap = static_cast<int32_t>(t->stack.size());
    NEXT();
  }

  QUOREL_LOOP_END()

L_leave:
  SPILL();
  return ip != start ? FastResult::ran : FastResult::refused;

#undef CASE
#undef NEXT
#undef LEAVE
#undef JUMP_TO
#undef SPILL
#undef LOCAL
}

}  // namespace rt::interp
