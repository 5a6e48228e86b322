// Decoding of bytecode into the interpreter's instruction array.
//
// A script's code is decoded once, when it is loaded: every instruction
// becomes one fixed-size `Insn` with its operands unpacked and its jump
// targets resolved to instruction indices. The original byte offsets stay
// the script's addresses (frames, click targets and saved games keep them);
// each Insn remembers its offset. Jumps that do not land on an instruction,
// operands cut off by the end of the code and running off the end all
// become traps that report the fault instead of executing garbage.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "script/opcodes.h"
#include "script/value.h"

namespace rt {

struct LoadedScript;

// Internal operation numbers: the opcodes, densely numbered, then traps.
enum IOp : uint16_t {
#define QUOREL_IOP(ident, name, code, operands) iop_##ident,
  QUOREL_OPCODES(QUOREL_IOP)
#undef QUOREL_IOP
  iop_unknown,       // an undefined opcode: reported, then the next instruction
  iop_trap_end,      // execution ran past the end of the code
  iop_trap_jump,     // a jump into the middle of an instruction or outside the code
  iop_trap_operand,  // an instruction cut off by the end of the code
  // Superinstructions: common sequences executed as one step. The fused
  // instruction keeps its own operands and reads the rest from the
  // instructions that follow it, which stay in place (a jump may still land
  // on them only when nothing was fused over them). When its fast case does
  // not hold (a variable of another kind, say), it runs as its first
  // instruction would.
  iop_load_local,        // load of a local without modifiers
  iop_local_cmp_k_jf,    // load _x; push_i K; <int compare>; jmp_false L
  iop_local_cmp_local_jf,  // load _x; load _y; <int compare>; jmp_false L
  iop_k_add_local,       // push_i K; add_st_i_pop _x   (and minus_st_i_pop)
  iop_local_add_local,   // load _y; add_st_i_pop _x    (and minus_st_i_pop)
  iop_k_add_local_loop,  // push_i K; add_st_i_pop _x; jmp L, where L is a local_cmp_k_jf
  iop_local_op_k,        // load _x; push_i K; add_i | minus_i | mul_i
  iop_local_elem,        // load _i; load_elem _a[1]     (a local array, indexed by a local)
  iop_local_ast,         // load _i; ast_i | ast_f (and _pop) _a[1]
  iop_local_local_ast,   // load _v; load _i; ast_i_pop | ast_f_pop _a[1]   (a[i] = v)
  iop_local_elem_add_local,  // load _i; load_elem i _a[1]; add_st_i_pop | minus_st_i_pop _s   (s += a[i])
  iop_count
};

// An element instruction on a local int or float array with one index and
// no modifiers: the superinstructions' elements, and the fast loop's.
inline bool plain_local_element(uint16_t flags) {
  return var_flags::scope(flags) == kLocal && var_flags::dimensions(flags) <= 1 && var_flags::kind(flags) <= kFloat &&
         (flags & 0x1F) == 0;
}

// In the jump of a k_add_local_loop whose test reads the counter it steps:
// with the test's outcome mask (compare_mask) in the low bits of `flags`.
inline constexpr uint16_t kLoopTestKnown = 0x100;

// A closed loop: a counted loop whose body is made only of fused steps on
// locals (local += local, local += K, a[i] = v, s += a[i]) and line marks,
// with no jumps, calls, built-ins or values left on the stack. Nothing in
// it can change the kind of a local or the array a local holds, so once its
// locals are found in place with the kinds the body expects, they stay so
// until the loop ends, and the fast loop checks them once on entry instead
// of on every step. The loop's test (a local_cmp_k_jf) names the loop in its
// compare's unused `key`: the loop's index + 1.
struct GuardedLocal {
  int32_t hint;  // the local's slot, from the frame's base
  uint8_t kind;  // kInt, kFloat, kIntArray or kFloatArray
};
struct ClosedLoop {
  uint32_t first = 0;  // its locals in DecodedCode::guarded_locals
  uint32_t count = 0;
};

struct Insn {
  uint16_t op;      // IOp
  uint16_t flags;   // var flags; u16 count or line; argc
  uint32_t key;     // variable, function or built-in key; immediate; data offset
  int32_t arg;      // slot hint; jump target index; data length; cache index
  uint32_t offset;  // byte offset of the instruction in the code
};
static_assert(sizeof(Insn) == 16);

// Where a call_fn leads, resolved on first use.
struct CallCache {
  uint32_t address = 0;           // the function's code address (0: not resolved)
  LoadedScript* script = nullptr;
  const Insn* target = nullptr;
  uint32_t generation = 0;
};

struct DecodedCode {
  std::vector<Insn> insns;             // in code order; traps at the end
  std::vector<int32_t> table_targets;  // jump-table entries (instruction indices)
  std::vector<CallCache> calls;        // one per call instruction
  std::vector<ClosedLoop> closed_loops;
  std::vector<GuardedLocal> guarded_locals;
  int32_t end_trap = 0;                // index of iop_trap_end
  int32_t jump_trap = 0;               // index of iop_trap_jump

  // The instruction at a byte offset, or the jump trap when none starts there.
  int32_t index_at(uint32_t offset) const;
};

// `entries` are the offsets the code is entered at from outside (the entry
// point, the function table): nothing is fused across them.
DecodedCode decode_code(std::span<const uint8_t> code, std::span<const uint32_t> entries = {});

// Length in bytes of the instruction at `offset` (0 when cut off).
size_t instruction_length(std::span<const uint8_t> code, size_t offset);

}  // namespace rt
