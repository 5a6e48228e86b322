// The opcode set, described once. The interpreter, the translator, the
// assembler and the disassembler all read this table.
//
// Operand layouts:
//   none   -
//   var    u16 flags, u32 key, i16 slot hint
//   i32    signed 32-bit value
//   f32    IEEE single
//   str    u16 length L, L bytes (for push_s: text and its NUL)
//   call   u32 function key, u32 address cache, u16 argument count
//   sys    u32 built-in key, u16 argument count
//   kinds  u16 n, n bytes of value kinds
//   line   u16 source line
//   jump   i32 offset, relative to the end of the operand
//   table  u16 n, n x i32 offsets, each relative to the end of its entry
#pragma once

#include <cstdint>
#include <string_view>

namespace rt {

enum class Operands : uint8_t { none, var, i32, f32, str, call, sys, kinds, line, jump, table };

// X(identifier, assembler name, code, operands). Assignments have a pop variant at
// code + 0x60, listed here with the suffix "_pop".
#define QUOREL_OPCODES(X)                                              \
  X(mul_i, "mul_i", 0x100, none) X(mul_f, "mul_f", 0x101, none)                          \
  X(div_i, "div_i", 0x108, none) X(div_f, "div_f", 0x109, none)                          \
  X(mod_i, "mod_i", 0x110, none)                                                \
  X(add_i, "add_i", 0x118, none) X(add_f, "add_f", 0x119, none) X(add_s, "add_s", 0x11A, none)    \
  X(minus_i, "minus_i", 0x120, none) X(minus_f, "minus_f", 0x121, none)                      \
  X(shr, "shr", 0x128, none) X(shl, "shl", 0x130, none)                              \
  X(le_i, "le_i", 0x138, none) X(le_f, "le_f", 0x139, none)                            \
  X(lt_i, "lt_i", 0x140, none) X(lt_f, "lt_f", 0x141, none) X(lt_s, "lt_s", 0x142, none)      \
  X(ge_i, "ge_i", 0x148, none) X(ge_f, "ge_f", 0x149, none)                            \
  X(gt_i, "gt_i", 0x150, none) X(gt_f, "gt_f", 0x151, none) X(gt_s, "gt_s", 0x152, none)      \
  X(eq_i, "eq_i", 0x158, none) X(eq_f, "eq_f", 0x159, none) X(eq_s, "eq_s", 0x15A, none)      \
  X(eq_ref_ia, "eq_ref_ia", 0x15B, none) X(eq_ref_fa, "eq_ref_fa", 0x15C, none)                  \
  X(eq_ref_sa, "eq_ref_sa", 0x15D, none)                                            \
  X(ne_i, "ne_i", 0x160, none) X(ne_f, "ne_f", 0x161, none) X(ne_s, "ne_s", 0x162, none)      \
  X(ne_ref_ia, "ne_ref_ia", 0x163, none) X(ne_ref_fa, "ne_ref_fa", 0x164, none)                  \
  X(ne_ref_sa, "ne_ref_sa", 0x165, none)                                            \
  X(xor_, "xor", 0x168, none) X(land, "land", 0x170, none) X(lor, "lor", 0x178, none)         \
  X(and_, "and", 0x180, none) X(or_, "or", 0x188, none)                               \
  X(lnot, "lnot", 0x190, none) X(nop, "nop", 0x191, none) X(not_, "not", 0x198, none)         \
  X(neg_i, "neg_i", 0x1A0, none) X(neg_f, "neg_f", 0x1A1, none)                          \
  X(nop_1a8, "nop_1a8", 0x1A8, none) X(nop_1a9, "nop_1a9", 0x1A9, none)                      \
  X(st_i, "st_i", 0x1B0, var) X(st_f, "st_f", 0x1B1, var)                              \
  X(st_ref_s, "st_ref_s", 0x1B2, var) X(st_ref_ia, "st_ref_ia", 0x1B3, var)                     \
  X(st_ref_fa, "st_ref_fa", 0x1B4, var) X(st_ref_sa, "st_ref_sa", 0x1B5, var)                    \
  X(mul_st_i, "mul_st_i", 0x1B8, var) X(mul_st_f, "mul_st_f", 0x1B9, var)                      \
  X(div_st_i, "div_st_i", 0x1C0, var) X(div_st_f, "div_st_f", 0x1C1, var)                      \
  X(mod_st_i, "mod_st_i", 0x1C8, var)                                              \
  X(add_st_i, "add_st_i", 0x1D0, var) X(add_st_f, "add_st_f", 0x1D1, var) X(add_st_s, "add_st_s", 0x1D2, var) \
  X(minus_st_i, "minus_st_i", 0x1D8, var) X(minus_st_f, "minus_st_f", 0x1D9, var)                  \
  X(shl_st, "shl_st", 0x1E0, var) X(shr_st, "shr_st", 0x1E8, var)                          \
  X(and_st, "and_st", 0x1F0, var) X(xor_st, "xor_st", 0x1F8, var) X(or_st, "or_st", 0x200, var)     \
  X(st_i_pop, "st_i_pop", 0x210, var) X(st_f_pop, "st_f_pop", 0x211, var)                      \
  X(st_ref_s_pop, "st_ref_s_pop", 0x212, var) X(st_ref_ia_pop, "st_ref_ia_pop", 0x213, var)             \
  X(st_ref_fa_pop, "st_ref_fa_pop", 0x214, var) X(st_ref_sa_pop, "st_ref_sa_pop", 0x215, var)            \
  X(mul_st_i_pop, "mul_st_i_pop", 0x218, var) X(mul_st_f_pop, "mul_st_f_pop", 0x219, var)              \
  X(div_st_i_pop, "div_st_i_pop", 0x220, var) X(div_st_f_pop, "div_st_f_pop", 0x221, var)              \
  X(mod_st_i_pop, "mod_st_i_pop", 0x228, var)                                          \
  X(add_st_i_pop, "add_st_i_pop", 0x230, var) X(add_st_f_pop, "add_st_f_pop", 0x231, var)              \
  X(add_st_s_pop, "add_st_s_pop", 0x232, var)                                          \
  X(minus_st_i_pop, "minus_st_i_pop", 0x238, var) X(minus_st_f_pop, "minus_st_f_pop", 0x239, var)          \
  X(shl_st_pop, "shl_st_pop", 0x240, var) X(shr_st_pop, "shr_st_pop", 0x248, var)                  \
  X(and_st_pop, "and_st_pop", 0x250, var) X(xor_st_pop, "xor_st_pop", 0x258, var)                  \
  X(or_st_pop, "or_st_pop", 0x260, var)                                             \
  X(ast_i, "ast_i", 0x270, var) X(ast_f, "ast_f", 0x271, var) X(ast_s, "ast_s", 0x272, var)       \
  X(mul_ast_i, "mul_ast_i", 0x278, var) X(mul_ast_f, "mul_ast_f", 0x279, var)                    \
  X(div_ast_i, "div_ast_i", 0x280, var) X(div_ast_f, "div_ast_f", 0x281, var)                    \
  X(mod_ast_i, "mod_ast_i", 0x288, var)                                             \
  X(add_ast_i, "add_ast_i", 0x290, var) X(add_ast_f, "add_ast_f", 0x291, var) X(add_ast_s, "add_ast_s", 0x292, var) \
  X(minus_ast_i, "minus_ast_i", 0x298, var) X(minus_ast_f, "minus_ast_f", 0x299, var)                \
  X(shl_ast, "shl_ast", 0x2A0, var) X(shr_ast, "shr_ast", 0x2A8, var)                        \
  X(and_ast, "and_ast", 0x2B0, var) X(xor_ast, "xor_ast", 0x2B8, var) X(or_ast, "or_ast", 0x2C0, var)  \
  X(ast_i_pop, "ast_i_pop", 0x2D0, var) X(ast_f_pop, "ast_f_pop", 0x2D1, var) X(ast_s_pop, "ast_s_pop", 0x2D2, var) \
  X(mul_ast_i_pop, "mul_ast_i_pop", 0x2D8, var) X(mul_ast_f_pop, "mul_ast_f_pop", 0x2D9, var)            \
  X(div_ast_i_pop, "div_ast_i_pop", 0x2E0, var) X(div_ast_f_pop, "div_ast_f_pop", 0x2E1, var)            \
  X(mod_ast_i_pop, "mod_ast_i_pop", 0x2E8, var)                                         \
  X(add_ast_i_pop, "add_ast_i_pop", 0x2F0, var) X(add_ast_f_pop, "add_ast_f_pop", 0x2F1, var)            \
  X(add_ast_s_pop, "add_ast_s_pop", 0x2F2, var)                                         \
  X(minus_ast_i_pop, "minus_ast_i_pop", 0x2F8, var) X(minus_ast_f_pop, "minus_ast_f_pop", 0x2F9, var)        \
  X(shl_ast_pop, "shl_ast_pop", 0x300, var) X(shr_ast_pop, "shr_ast_pop", 0x308, var)                \
  X(and_ast_pop, "and_ast_pop", 0x310, var) X(xor_ast_pop, "xor_ast_pop", 0x318, var)                \
  X(or_ast_pop, "or_ast_pop", 0x320, var)                                            \
  X(push_i, "push_i", 0x800, i32) X(push_s, "push_s", 0x801, str) X(load, "load", 0x802, var)      \
  X(push_f, "push_f", 0x803, f32)                                                \
  X(call_fn, "call_fn", 0x80F, call) X(call_fn_discard, "call_fn_discard", 0x810, call)              \
  X(alloc_locals, "alloc_locals", 0x829, kinds) X(ret, "return", 0x82B, none)                    \
  X(jmp, "jmp", 0x82C, jump) X(jmp_true, "jmp_true", 0x82D, jump) X(jmp_false, "jmp_false", 0x82E, jump) \
  X(pop, "pop", 0x82F, none) X(switch_, "switch", 0x830, jump)                          \
  X(case_eq, "case_eq", 0x831, jump) X(case_gt, "case_gt", 0x832, jump) X(case_lt, "case_lt", 0x833, jump) \
  X(syscall, "syscall", 0x834, sys) X(syscall_discard, "syscall_discard", 0x835, sys)                \
  X(check_args, "check_args", 0x836, kinds) X(load_elem, "load_elem", 0x837, var)                 \
  X(case_le, "case_le", 0x838, jump) X(case_ge, "case_ge", 0x839, jump)                      \
  X(line, "line", 0x83A, line)                                                 \
  X(on_left, "on_left", 0x83B, jump) X(on_middle, "on_middle", 0x83C, jump) X(on_right, "on_right", 0x83D, jump) \
  X(ftoi, "ftoi", 0x83E, none) X(itof, "itof", 0x83F, none)                            \
  X(text, "text", 0x840, str) X(text_proc, "text_proc", 0x841, none) X(text_ctrl, "text_ctrl", 0x842, str) \
  X(on_click, "on_click", 0x843, jump) X(clear_click, "clear_click", 0x844, none)                 \
  X(set_escape, "set_escape", 0x845, jump) X(escape, "escape", 0x846, none)                    \
  X(set_exit, "set_exit", 0x847, jump) X(jump_table, "jump_table", 0x850, table)

enum class Op : uint16_t {
#define QUOREL_OP_ENUM(ident, name, code, operands) ident = code,
  QUOREL_OPCODES(QUOREL_OP_ENUM)
#undef QUOREL_OP_ENUM
};

struct OpcodeInfo {
  std::string_view name;  // as the assembler spells it
  uint16_t code;
  Operands operands;
};

inline constexpr OpcodeInfo kOpcodes[] = {
#define QUOREL_OP_INFO(ident, name, code, operands) {name, code, Operands::operands},
    QUOREL_OPCODES(QUOREL_OP_INFO)
#undef QUOREL_OP_INFO
};
inline constexpr int kOpcodeCount = sizeof(kOpcodes) / sizeof(kOpcodes[0]);
static_assert(kOpcodeCount == 161, "opcode table and interpreter must be kept in step");

const OpcodeInfo* find_opcode(uint16_t code);
const OpcodeInfo* find_opcode(std::string_view name);

// Size of the fixed part of an operand layout (variable parts: str, kinds
// and table add their counted bytes).
constexpr int fixed_operand_size(Operands o) {
  switch (o) {
    case Operands::none: return 0;
    case Operands::var: return 8;
    case Operands::i32: case Operands::f32: case Operands::jump: return 4;
    case Operands::str: case Operands::kinds: case Operands::table: case Operands::line: return 2;
    case Operands::call: return 10;
    case Operands::sys: return 6;
  }
  return 0;
}

// Flags word of variable operands.
namespace var_flags {
constexpr int modifier(uint16_t f) { return f & 7; }          // 1 ++x, 2 --x, 3 x++, 4 x--
constexpr int unary(uint16_t f) { return (f >> 3) & 3; }      // 1 negate, 2 logical not, 3 bitwise not
constexpr int scope(uint16_t f) { return (f >> 5) & 7; }
constexpr int kind(uint16_t f) { return (f >> 8) & 7; }
constexpr int dimensions(uint16_t f) { return (f >> 11) & 7; }
}  // namespace var_flags

}  // namespace rt
