// Closed loops (translate.h): the body of a counted loop whose locals were
// checked on entry, run without checking them again.
//
// The fast loop holds too much state for the machine's registers; this one
// holds only the instruction pointer, the frame and the watchdog count, so
// a step of the body is a few loads and a store. Its cases compute what
// the fast loop's cases of the same instructions compute for locals of the
// expected kinds. What they cannot do (an index outside the array, a line
// mark someone follows) is handed back at that instruction for the checked
// cases to do or to report.
#include <array>

#include "script/interpreter_exec.h"
#include "script/loop_dispatch.h"

namespace rt::interp {
namespace {

// The operations a closed loop's body holds, densely numbered in the order
// of run_closed_loop's labels; 0 hands back.
constexpr std::array<uint8_t, iop_count> kStep = [] {
  std::array<uint8_t, iop_count> table{};
  table[iop_line] = 1;
  table[iop_local_add_local] = 2;
  table[iop_k_add_local] = 3;
  table[iop_local_local_ast] = 4;
  table[iop_local_elem_add_local] = 5;
  table[iop_k_add_local_loop] = 6;
  return table;
}();

}  // namespace

bool closed_loop_holds(const DecodedCode& code, uint32_t loop, Value* stack, int32_t base, int32_t sp) {
  const ClosedLoop& l = code.closed_loops[loop];
  for (uint32_t k = 0; k < l.count; ++k) {
    const GuardedLocal& g = code.guarded_locals[l.first + k];
    const Value* v = local_at(stack, base, sp, g.hint);
    if (!v || v->kind != g.kind) return false;
    // An element step reads the array's first row; it must have one.
    if (is_array_kind(g.kind) && (!v->a || !v->a->has_elements())) return false;
  }
  return true;
}

Insn* run_closed_loop(Insn* const insns, Insn* ip, Value* const frame, uint32_t& watchdog, Frame& f,
                      bool follow_lines) {
  uint32_t count = watchdog;
  Insn* const body = ip;
  Insn* in = ip;
#define SLOT(hint) frame[static_cast<int16_t>(hint)]

#if QUOREL_COMPUTED_GOTO
  static const void* const kStepLabels[] = {&&hand_back,       &&line,
                                            &&local_add_local, &&k_add_local,
                                            &&local_local_ast, &&local_elem_add_local,
                                            &&k_add_local_loop};
  static const std::array<const void*, iop_count> kLabels = labels_by_operation(kStepLabels, kStep);
#endif
#define STEP(name) QUOREL_CASE(name, iop_##name)
#define NEXT() QUOREL_NEXT(in = ip, kLabels[ip->op])
  QUOREL_LOOP_BEGIN(in = ip, kLabels[ip->op], in->op, goto hand_back)

  STEP(line) {
    if (follow_lines) goto hand_back;
    f.line = in->flags;
    ip = in + 1;
    NEXT();
  }
  STEP(local_add_local) {
    Value& to = SLOT(in[1].arg);
    to.raw = static_cast<uint32_t>(int_update(in[1].op, to.i, SLOT(in->arg).i));
    ip = in + 2;
    NEXT();
  }
  STEP(k_add_local) {
    Value& to = SLOT(in[1].arg);
    to.raw = static_cast<uint32_t>(wrap_add(to.i, in->arg));
    ip = in + 2;
    NEXT();
  }
  STEP(local_local_ast) {
    const int32_t index = SLOT(in[1].arg).i;
    ArrayBlock* a = SLOT(in[2].arg).a;
    if (static_cast<uint32_t>(index) >= static_cast<uint32_t>(a->inner)) goto hand_back;
    a->ints()[index] = SLOT(in->arg).i;  // the payload as it is
    ip = in + 3;
    NEXT();
  }
  STEP(local_elem_add_local) {
    const int32_t index = SLOT(in->arg).i;
    ArrayBlock* a = SLOT(in[1].arg).a;
    if (static_cast<uint32_t>(index) >= static_cast<uint32_t>(a->inner)) goto hand_back;
    Value& sum = SLOT(in[2].arg);
    sum.raw = static_cast<uint32_t>(int_update(in[2].op, sum.i, a->ints()[index]));
    ip = in + 3;
    NEXT();
  }
  // The body is straight: the only loop step it reaches is its own, whose
  // test lies just before the body.
  STEP(k_add_local_loop) {
    Value& counter = SLOT(in[1].arg);
    counter.raw = static_cast<uint32_t>(wrap_add(counter.i, in->arg));
    if (--count == 0) [[unlikely]] {
      // The turn comes first; the loop then goes on from its test, which
      // checks its locals again.
      watchdog = 0;
      return body - 4;
    }
    if (loop_goes_on(in[2].flags, counter.i, static_cast<int32_t>(in[2].key))) {
      ip = body;
      NEXT();
    }
    watchdog = count;
    return insns + body[-1].arg;
  }

  QUOREL_LOOP_END()

hand_back:
  watchdog = count;
  return in;
#undef STEP
#undef NEXT
#undef SLOT
}

}  // namespace rt::interp
