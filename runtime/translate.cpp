#include "runtime/translate.h"

#include <algorithm>
#include <array>

#include "runtime/bytes.h"

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
  uint16_t opcode = load_u16(&code[offset]);
  if (opcode >= kTable.iop.size() || kTable.iop[opcode] == iop_unknown) return 2;
  Operands o = kTable.operands[opcode];
  size_t fixed = 2 + fixed_operand_size(o);
  if (offset + fixed > code.size()) return 0;
  size_t extra = 0;
  if (o == Operands::str || o == Operands::kinds) extra = load_u16(&code[offset + 2]);
  if (o == Operands::table) extra = 4u * load_u16(&code[offset + 2]);
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

DecodedCode decode_code(std::span<const uint8_t> code) {
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
    uint16_t opcode = load_u16(&code[pc]);
    in.op = opcode < kTable.iop.size() ? kTable.iop[opcode] : static_cast<uint16_t>(iop_unknown);
    const uint8_t* p = &code[pc + 2];
    Operands o = in.op == iop_unknown ? Operands::none : kTable.operands[opcode];
    uint32_t next = pc + static_cast<uint32_t>(length);
    switch (o) {
      case Operands::none: break;
      case Operands::var:
        in.flags = load_u16(p);
        in.key = load_u32(p + 2);
        in.arg = load_i16(p + 6);
        break;
      case Operands::i32:
      case Operands::f32:
        in.key = load_u32(p);
        break;
      case Operands::str:
      case Operands::kinds:
        in.flags = load_u16(p);
        in.key = pc + 4;  // where the bytes start
        in.arg = load_u16(p);
        break;
      case Operands::call:
        in.key = load_u32(p);
        in.flags = load_u16(p + 8);
        in.arg = static_cast<int32_t>(out.calls.size());
        out.calls.push_back({});
        break;
      case Operands::sys:
        in.key = load_u32(p);
        in.flags = load_u16(p + 4);
        in.arg = -1;  // built-in slot, resolved on first call
        break;
      case Operands::line:
        in.flags = load_u16(p);
        break;
      case Operands::jump:
        // The offset counts from the end of the operand.
        jumps.push_back({out.insns.size(), static_cast<int64_t>(next) + load_i32(p), -1});
        break;
      case Operands::table: {
        uint16_t n = load_u16(p);
        in.flags = n;
        in.key = static_cast<uint32_t>(out.table_targets.size());
        for (uint16_t k = 0; k < n; ++k) {
          // Each entry counts from its own end.
          int64_t entry_end = static_cast<int64_t>(pc) + 4 + 4 * (k + 1);
          jumps.push_back({out.insns.size(), entry_end + load_i32(p + 2 + 4 * k), static_cast<int>(out.table_targets.size())});
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
  for (const PendingJump& j : jumps) {
    int32_t index;
    if (j.target == size) index = out.end_trap;
    else if (j.target < 0 || j.target > size) index = out.jump_trap;
    else index = out.index_at(static_cast<uint32_t>(j.target));
    if (j.table_slot >= 0) out.table_targets[j.table_slot] = index;
    else out.insns[j.insn].arg = index;
  }
  return out;
}

}  // namespace rt
