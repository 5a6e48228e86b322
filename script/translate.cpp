#include "script/translate.h"

#include <algorithm>
#include <array>

#include "base/bytes.h"

namespace rt {
namespace {

// Opcode number -> internal operation, for the decoder.
struct OpTable {
  std::array<uint16_t, 0x851> iop;
  std::array<Operands, 0x851> operands;
  constexpr OpTable() : iop(), operands() {
    for (auto& x : iop) x = iop_unknown;
    int n = 0;
    for (const OpcodeInfo& info : kOpcodes) {
      iop[info.code] = static_cast<uint16_t>(n++);
      operands[info.code] = info.operands;
    }
  }
};
constexpr OpTable kTable;

}  // namespace

size_t instruction_length(std::span<const uint8_t> code, size_t offset) {
  if (offset + 2 > code.size()) return 0;
  uint16_t opcode = base::load_u16(&code[offset]);
  if (opcode >= kTable.iop.size() || kTable.iop[opcode] == iop_unknown) return 2;
  Operands o = kTable.operands[opcode];
  size_t fixed = 2 + fixed_operand_size(o);
  if (offset + fixed > code.size()) return 0;
  size_t extra = 0;
  if (o == Operands::str || o == Operands::kinds) extra = base::load_u16(&code[offset + 2]);
  if (o == Operands::table) extra = 4u * base::load_u16(&code[offset + 2]);
  if (offset + fixed + extra > code.size()) return 0;
  return fixed + extra;
}

int32_t DecodedCode::index_at(uint32_t offset) const {
  // Traps sit after the code instructions; search only the latter.
  auto end = insns.begin() + end_trap;
  auto it = std::lower_bound(insns.begin(), end, offset, [](const Insn& i, uint32_t o) { return i.offset < o; });
  if (it != end && it->offset == offset) return static_cast<int32_t>(it - insns.begin());
  return jump_trap;
}

namespace {

bool is_int_compare(uint16_t op) {
  return op == iop_lt_i || op == iop_le_i || op == iop_gt_i || op == iop_ge_i || op == iop_eq_i || op == iop_ne_i;
}

// A load of a local int or float without modifiers or unary operators.
bool plain_local_load(const Insn& in) {
  return in.op == iop_load && var_flags::scope(in.flags) == 3 && var_flags::modifier(in.flags) == 0 &&
         var_flags::unary(in.flags) == 0 && var_flags::kind(in.flags) <= 1;
}

bool int_local_load(const Insn& in) { return plain_local_load(in) && var_flags::kind(in.flags) == 0; }

bool local_int_update(const Insn& in) {
  return (in.op == iop_add_st_i_pop || in.op == iop_minus_st_i_pop) && var_flags::scope(in.flags) == 3;
}

// The outcomes (1 less, 2 equal, 4 greater) for which an int comparison holds.
int32_t compare_mask(uint16_t op) {
  switch (op) {
    case iop_lt_i: return 1;
    case iop_le_i: return 1 | 2;
    case iop_gt_i: return 4;
    case iop_ge_i: return 2 | 4;
    case iop_eq_i: return 2;
    default: return 1 | 4;
  }
}

// Replaces the first instruction of common sequences by a superinstruction.
// `entered[i]` says that control can arrive at instruction i other than by
// falling through from i - 1.
void fuse(DecodedCode& out, const std::vector<bool>& entered) {
  auto& v = out.insns;
  const size_t n = static_cast<size_t>(out.end_trap);
  auto free_run = [&](size_t i, size_t len) {
    if (i + len > n) return false;
    for (size_t k = 1; k < len; ++k)
      if (entered[i + k]) return false;
    return true;
  };
  for (size_t i = 0; i < n; ++i)
    if (is_int_compare(v[i].op)) v[i].arg = compare_mask(v[i].op);  // unused by the compare itself
  for (size_t i = 0; i < n; ++i) {
    Insn& a = v[i];
    if (free_run(i, 4) && int_local_load(a) && v[i + 1].op == iop_push_i && is_int_compare(v[i + 2].op) &&
        v[i + 3].op == iop_jmp_false) {
      a.op = iop_local_cmp_k_jf;
    } else if (free_run(i, 4) && int_local_load(a) && int_local_load(v[i + 1]) && is_int_compare(v[i + 2].op) &&
               v[i + 3].op == iop_jmp_false) {
      a.op = iop_local_cmp_local_jf;
    } else if (free_run(i, 3) && a.op == iop_push_i && local_int_update(v[i + 1]) && v[i + 2].op == iop_jmp) {
      a.op = iop_k_add_local_loop;  // checked below: the jump must lead to a fused compare
    } else if (free_run(i, 2) && a.op == iop_push_i && local_int_update(v[i + 1])) {
      a.op = iop_k_add_local;
    } else if (free_run(i, 2) && int_local_load(a) && local_int_update(v[i + 1])) {
      a.op = iop_local_add_local;
    } else if (free_run(i, 3) && int_local_load(a) && v[i + 1].op == iop_push_i &&
               (v[i + 2].op == iop_add_i || v[i + 2].op == iop_minus_i || v[i + 2].op == iop_mul_i)) {
      a.op = iop_local_op_k;
    } else if (free_run(i, 3) && plain_local_load(a) && int_local_load(v[i + 1]) &&
               (v[i + 2].op == iop_ast_i_pop || v[i + 2].op == iop_ast_f_pop) && plain_local_element(v[i + 2].flags)) {
      a.op = iop_local_local_ast;
    } else if (free_run(i, 3) && int_local_load(a) && v[i + 1].op == iop_load_elem && plain_local_element(v[i + 1].flags) &&
               var_flags::kind(v[i + 1].flags) == 0 && local_int_update(v[i + 2])) {
      a.op = iop_local_elem_add_local;
    } else if (free_run(i, 2) && int_local_load(a) && v[i + 1].op == iop_load_elem && plain_local_element(v[i + 1].flags)) {
      a.op = iop_local_elem;
    } else if (free_run(i, 2) && int_local_load(a) &&
               (v[i + 1].op == iop_ast_i || v[i + 1].op == iop_ast_i_pop || v[i + 1].op == iop_ast_f ||
                v[i + 1].op == iop_ast_f_pop) &&
               plain_local_element(v[i + 1].flags)) {
      a.op = iop_local_ast;
    } else if (plain_local_load(a)) {
      a.op = iop_load_local;
    }
  }
  // A loop's closing increment fuses with its jump only when the jump leads
  // to the loop's fused test.
  for (size_t i = 0; i < n; ++i)
    if (v[i].op == iop_k_add_local_loop && v[v[i + 2].arg].op != iop_local_cmp_k_jf)
      v[i].op = iop_k_add_local;
  // The fused constant additions keep their addend, signed, in the push's
  // unused `arg` (the push itself still reads `key`).
  for (size_t i = 0; i < n; ++i)
    if (v[i].op == iop_k_add_local || v[i].op == iop_k_add_local_loop)
      v[i].arg = v[i + 1].op == iop_add_st_i_pop ? static_cast<int32_t>(v[i].key)
                                                 : static_cast<int32_t>(0u - v[i].key);
  // Most loops step the counter their test reads, and jump back to it: the
  // jump then carries the test's outcomes and constant in its unused
  // `flags` and `key`, so that the step, the jump and the test read one
  // instruction. A zero `flags` means the general case.
  for (size_t i = 0; i < n; ++i) {
    if (v[i].op != iop_k_add_local_loop) continue;
    Insn& jump = v[i + 2];
    const size_t t = static_cast<size_t>(jump.arg);  // the fused test: load, push_i, compare, jmp_false
    if (t <= i && v[t].arg == v[i + 1].arg) {
      jump.flags = static_cast<uint16_t>(kLoopTestKnown | v[t + 2].arg);
      jump.key = v[t + 1].key;
    }
  }
}

// How many instructions a step of a closed loop's body spans; 0 for what
// a closed loop may not hold.
int body_step(const Insn& in) {
  switch (in.op) {
    case iop_line: return 1;
    case iop_local_add_local:
    case iop_k_add_local: return 2;
    case iop_local_local_ast:
    case iop_local_elem_add_local: return 3;
    default: return 0;
  }
}

// The locals a closed loop's body reads without checking them, with the
// kinds it expects. The body stores only ints, and only into locals that
// hold ints already, so no store changes a kind the body relies on.
void guard_locals(const Insn* in, std::vector<GuardedLocal>& out) {
  auto array_of = [](const Insn& e) { return static_cast<uint8_t>(kIntArray + var_flags::kind(e.flags)); };
  switch (in->op) {
    case iop_local_add_local:
      out.push_back({in->arg, kInt});
      out.push_back({in[1].arg, kInt});
      break;
    case iop_k_add_local:
    case iop_k_add_local_loop: out.push_back({in[1].arg, kInt}); break;
    case iop_local_local_ast:
      out.push_back({in->arg, static_cast<uint8_t>(var_flags::kind(in->flags))});
      out.push_back({in[1].arg, kInt});
      out.push_back({in[2].arg, array_of(in[2])});
      break;
    case iop_local_elem_add_local:
      out.push_back({in->arg, kInt});
      out.push_back({in[1].arg, array_of(in[1])});
      out.push_back({in[2].arg, kInt});
      break;
    default: break;
  }
}

// Finds the closed loops (translate.h) among the counted loops whose closing
// jump knows their test.
void find_closed_loops(DecodedCode& out) {
  auto& v = out.insns;
  const size_t n = static_cast<size_t>(out.end_trap);
  for (size_t i = 0; i < n; ++i) {
    if (v[i].op != iop_k_add_local_loop || !(v[i + 2].flags & kLoopTestKnown)) continue;
    const size_t test = static_cast<size_t>(v[i + 2].arg);
    if (test + 4 > i || v[test + 2].key != 0) continue;  // not after its test, or named already
    std::vector<GuardedLocal> locals;
    size_t k = test + 4;
    for (int length; k < i && (length = body_step(v[k])) != 0; k += static_cast<size_t>(length))
      guard_locals(&v[k], locals);
    if (k != i) continue;
    guard_locals(&v[i], locals);
    out.closed_loops.push_back({static_cast<uint32_t>(out.guarded_locals.size()), static_cast<uint32_t>(locals.size())});
    out.guarded_locals.insert(out.guarded_locals.end(), locals.begin(), locals.end());
    v[test + 2].key = static_cast<uint32_t>(out.closed_loops.size());
  }
}

}  // namespace

DecodedCode decode_code(std::span<const uint8_t> code, std::span<const uint32_t> entries) {
  DecodedCode out;
  out.insns.reserve(code.size() / 4 + 4);
  // Jump operands as byte targets, resolved to indices once every
  // instruction is known.
  struct PendingJump {
    size_t insn;
    int64_t target;
    int table_slot;  // -1 for the instruction's own target
  };
  std::vector<PendingJump> jumps;
  const uint32_t size = static_cast<uint32_t>(code.size());
  uint32_t pc = 0;
  while (pc < size) {
    Insn in{};
    in.offset = pc;
    size_t length = instruction_length(code, pc);
    if (length == 0) {
      in.op = iop_trap_operand;
      out.insns.push_back(in);
      break;
    }
    uint16_t opcode = base::load_u16(&code[pc]);
    in.op = opcode < kTable.iop.size() ? kTable.iop[opcode] : static_cast<uint16_t>(iop_unknown);
    const uint8_t* p = &code[pc + 2];
    Operands o = in.op == iop_unknown ? Operands::none : kTable.operands[opcode];
    uint32_t next = pc + static_cast<uint32_t>(length);
    switch (o) {
      case Operands::none: break;
      case Operands::var:
        in.flags = base::load_u16(p);
        in.key = base::load_u32(p + 2);
        in.arg = base::load_i16(p + 6);
        break;
      case Operands::i32:
      case Operands::f32:
        in.key = base::load_u32(p);
        break;
      case Operands::str:
      case Operands::kinds:
        in.flags = base::load_u16(p);
        in.key = pc + 4;  // where the bytes start
        in.arg = base::load_u16(p);
        break;
      case Operands::call:
        in.key = base::load_u32(p);
        in.flags = base::load_u16(p + 8);
        in.arg = static_cast<int32_t>(out.calls.size());
        out.calls.push_back({});
        break;
      case Operands::sys:
        in.key = base::load_u32(p);
        in.flags = base::load_u16(p + 4);
        in.arg = -1;  // built-in slot, resolved on first call
        break;
      case Operands::line:
        in.flags = base::load_u16(p);
        break;
      case Operands::jump:
        // The offset counts from the end of the operand.
        jumps.push_back({out.insns.size(), static_cast<int64_t>(next) + base::load_i32(p), -1});
        break;
      case Operands::table: {
        uint16_t n = base::load_u16(p);
        in.flags = n;
        in.key = static_cast<uint32_t>(out.table_targets.size());
        for (uint16_t k = 0; k < n; ++k) {
          // Each entry counts from its own end.
          int64_t entry_end = static_cast<int64_t>(pc) + 4 + 4 * (k + 1);
          jumps.push_back({out.insns.size(), entry_end + base::load_i32(p + 2 + 4 * k), static_cast<int>(out.table_targets.size())});
          out.table_targets.push_back(0);
        }
        break;
      }
    }
    out.insns.push_back(in);
    pc = next;
  }
  out.end_trap = static_cast<int32_t>(out.insns.size());
  out.insns.push_back({iop_trap_end, 0, 0, 0, size});
  out.jump_trap = static_cast<int32_t>(out.insns.size());
  out.insns.push_back({iop_trap_jump, 0, 0, 0, size});
  std::vector<bool> entered(out.insns.size(), false);
  for (const PendingJump& j : jumps) {
    int32_t index;
    if (j.target == size) index = out.end_trap;
    else if (j.target < 0 || j.target > size) index = out.jump_trap;
    else index = out.index_at(static_cast<uint32_t>(j.target));
    if (j.table_slot >= 0) out.table_targets[j.table_slot] = index;
    else out.insns[j.insn].arg = index;
    entered[index] = true;
  }
  for (uint32_t offset : entries)
    if (offset < size) entered[out.index_at(offset)] = true;
  fuse(out, entered);
  find_closed_loops(out);
  return out;
}

}  // namespace rt
