// Every assignment opcode, on variables and on array elements, against
// results worked out here with plain arithmetic.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <sstream>

#include "tests/support/script_game.h"

using testing_support::GameRun;
using testing_support::ScriptGame;

namespace {

struct IntCase {
  const char* op;   // the assignment, without _pop
  int32_t (*expected)(int32_t v, int32_t value);
};

int32_t wrap(int64_t x) { return static_cast<int32_t>(static_cast<uint32_t>(x)); }
// Division as the engine does it: by 0 scales by 10000, and -2147483648 / -1
// wraps instead of trapping.
int32_t div(int32_t a, int32_t b) { return b == 0 ? wrap(int64_t(a) * 10000) : wrap(int64_t(a) / b); }
int32_t rem(int32_t a, int32_t b) { return b == -1 ? 0 : a % b; }

const IntCase kIntOps[] = {
    {"mul_st_i", [](int32_t v, int32_t t) { return wrap(int64_t(v) * t); }},
    {"div_st_i", [](int32_t v, int32_t t) { return div(v, t); }},
    {"mod_st_i", [](int32_t v, int32_t t) { return t == 0 ? v : rem(v, t); }},
    {"add_st_i", [](int32_t v, int32_t t) { return wrap(int64_t(v) + t); }},
    {"minus_st_i", [](int32_t v, int32_t t) { return wrap(int64_t(v) - t); }},
    {"shl_st", [](int32_t v, int32_t t) { return wrap(int64_t(uint32_t(v) << (t & 31))); }},
    {"shr_st", [](int32_t v, int32_t t) { return v >> (t & 31); }},
    {"and_st", [](int32_t v, int32_t t) { return v & t; }},
    {"xor_st", [](int32_t v, int32_t t) { return v ^ t; }},
    {"or_st", [](int32_t v, int32_t t) { return v | t; }},
};

const IntCase kIntElementOps[] = {
    {"mul_ast_i", [](int32_t e, int32_t t) { return wrap(int64_t(e) * t); }},
    {"div_ast_i", [](int32_t e, int32_t t) { return div(e, t); }},
    {"mod_ast_i", [](int32_t e, int32_t t) { return t == 0 ? 0 : rem(e, t); }},
    {"add_ast_i", [](int32_t e, int32_t t) { return wrap(int64_t(e) + t); }},
    {"minus_ast_i", [](int32_t e, int32_t t) { return wrap(int64_t(e) - t); }},
    {"shl_ast", [](int32_t e, int32_t t) { return wrap(int64_t(uint32_t(e) << (t & 31))); }},
    {"shr_ast", [](int32_t e, int32_t t) { return e >> (t & 31); }},
    {"and_ast", [](int32_t e, int32_t t) { return e & t; }},
    {"xor_ast", [](int32_t e, int32_t t) { return e ^ t; }},
    {"or_ast", [](int32_t e, int32_t t) { return e | t; }},
};

const std::pair<int32_t, int32_t> kPairs[] = {{3, 0}, {-7, 2}, {7, -2}, {100, 33}, {-1, 31}, {2147483647, 2},
                                              {-2147483648, -1}, {0x0F0F, 0x00FF}};

GameRun run(const std::string& body) {
  ScriptGame game;
  game.script("start", ".function $init@GLOBAL\n    return\nmain:\n" + body + "    syscall_discard system_end, 0\n");
  return game.run({"--answer=retry"});
}

std::string log_var(const std::string& load) { return "    " + load + "\n    syscall_discard debugout, 1\n"; }

TEST(OpcodeTable, IntAssignmentsToVariablesAndElements) {
  std::ostringstream body;
  std::vector<std::string> expected;
  for (const IntCase& c : kIntOps)
    for (auto [v, t] : kPairs) {
      // The pop variant updates the variable; the other one also leaves
      // the new value as the expression's value (mod by 0 leaves 0).
      body << "    push_i " << v << "\n    st_i_pop @v\n    push_i " << t << "\n    " << c.op << "_pop @v\n"
           << log_var("load i @v");
      body << "    push_i " << v << "\n    st_i_pop @v\n    push_i " << t << "\n    " << c.op << " @v\n"
           << "    syscall_discard debugout, 1\n";
      int32_t r = c.expected(v, t);
      expected.push_back(std::to_string(r) + " ");
      bool mod_by_zero = std::string(c.op) == "mod_st_i" && t == 0;
      expected.push_back(std::to_string(mod_by_zero ? 0 : r) + " ");
    }
  body << "    push_i 2\n    syscall int_array, 1\n    st_ref_ia_pop @a\n";
  for (const IntCase& c : kIntElementOps)
    for (auto [e, t] : kPairs) {
      body << "    push_i " << e << "\n    push_i 1\n    ast_i_pop @a[1]\n"
           << "    push_i " << t << "\n    push_i 1\n    " << c.op << "_pop @a[1]\n"
           << "    push_i 1\n" << log_var("load_elem i @a[1]");
      // Without pop the value stays as the expression (mul_ast_i: the new element).
      body << "    push_i " << e << "\n    push_i 1\n    ast_i_pop @a[1]\n"
           << "    push_i " << t << "\n    push_i -1\n    " << c.op << " @a[1]\n"
           << "    syscall_discard debugout, 1\n";
      int32_t r = c.expected(e, t);
      expected.push_back(std::to_string(r) + " ");
      expected.push_back(std::to_string(std::string(c.op) == "mul_ast_i" ? r : t) + " ");
    }
  GameRun r = run(body.str());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, expected);
}

TEST(OpcodeTable, FloatAssignments) {
  // v = 6.0, value = 1.5 (and 0.0 for the divisions).
  GameRun r = run(
      "    push_f 6.0\n    st_f_pop @f\n    push_f 1.5\n    mul_st_f_pop @f\n" + log_var("load f @f") +
      "    push_f 6.0\n    st_f_pop @f\n    push_i 2\n    minus_st_f @f\n    syscall_discard debugout, 1\n" +
      "    push_f 6.0\n    st_f_pop @f\n    push_f 1.5\n    add_st_f_pop @f\n" + log_var("load f @f") +
      "    push_f 6.0\n    st_f_pop @f\n    push_f 1.5\n    div_st_f_pop @f\n" + log_var("load f @f") +
      "    push_i 1\n    syscall float_array, 1\n    st_ref_fa_pop @g\n"
      "    push_f 6.0\n    push_i 0\n    ast_f_pop @g[1]\n"
      "    push_f 1.5\n    push_i 0\n    mul_ast_f_pop @g[1]\n    push_i 0\n" + log_var("load_elem f @g[1]") +
      "    push_f 1.0\n    push_i 0\n    add_ast_f_pop @g[1]\n    push_i 0\n" + log_var("load_elem f @g[1]") +
      "    push_f 2.5\n    push_i 0\n    minus_ast_f_pop @g[1]\n    push_i 0\n" + log_var("load_elem f @g[1]") +
      "    push_f 2.0\n    push_i 0\n    div_ast_f_pop @g[1]\n    push_i 0\n" + log_var("load_elem f @g[1]") +
      "    push_f 1.5\n    push_i 0\n    add_ast_f @g[1]\n    syscall_discard debugout, 1\n" +
      "    push_f -2.5\n    push_i 0\n    load_elem f -@g[1]\n    syscall_discard debugout, 1\n    pop\n");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"9.000000 ", "4.000000 ", "7.500000 ", "4.000000 ", "9.000000 ",
                                             "10.000000 ", "7.500000 ", "3.750000 ", "1.500000 ", "-5.250000 "}));
}

TEST(OpcodeTable, ReferencesAndStringElements) {
  GameRun r = run(
      "    push_i 1\n    syscall int_array, 1\n    st_ref_ia_pop @a\n"
      "    load ia @a\n    st_ref_ia_pop @b\n"
      "    load ia @a\n    load ia @b\n    eq_ref_ia\n    syscall_discard debugout, 1\n"   // one block: 1
      "    push_i 1\n    syscall int_array, 1\n    load ia @a\n    ne_ref_ia\n"          // two blocks: 1
      "    syscall_discard debugout, 1\n"
      "    push_i 1\n    syscall float_array, 1\n    st_ref_fa @fa\n    load fa @fa\n    eq_ref_fa\n"
      "    syscall_discard debugout, 1\n"
      "    push_i 2\n    syscall string_array, 1\n    st_ref_sa_pop @sa\n"
      "    load sa @sa\n    st_ref_sa_pop @sb\n    load sa @sa\n    load sa @sb\n    ne_ref_sa\n"
      "    syscall_discard debugout, 1\n"                                                // shared: 0
      "    push_s \"x\"\n    push_i 0\n    ast_s_pop @sa[1]\n"
      "    push_s \"y\"\n    push_i 0\n    add_ast_s_pop @sa[1]\n"
      "    push_i 0\n    load_elem s @sb[1]\n    syscall_discard debugout, 1\n"       // the shared array: xy
      "    push_i 1\n    load_elem s @sa[1]\n    push_s \"<\"\n    add_s\n    syscall_discard debugout, 1\n"
      "    push_i 3\n    push_s \"\"\n    lnot\n    push_s \"a\"\n    push_s \"B\"\n    lt_s\n"
      "    syscall_discard debugout, 3\n"
      "    nop\n    nop_1a8\n    nop_1a9\n");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // lnot of a string looks at its payload (a reference is never zero).
  EXPECT_EQ(r.log, (std::vector<std::string>{"1 ", "1 ", "1 ", "0 ", "xy ", "< ", "1 0 3 "}));
}

}  // namespace
