// Opcode families run by the real program; results come back through the
// debug log.
#include <gtest/gtest.h>

#include "tests/support/script_game.h"

using testing_support::GameRun;
using testing_support::ScriptGame;

namespace {

// Wraps a body in a start script whose main logs and then ends the program.
std::string program(const std::string& body) {
  return ".function $init@GLOBAL\n    return\nmain:\n" + body + "\n    syscall system_end, 0\n";
}

GameRun run_body(const std::string& body, std::vector<std::string> options = {"--answer=retry"}) {
  ScriptGame game;
  game.script("start", program(body));
  return game.run(options);
}

// Logs the value on top of the stack (and pops it through the call).
std::string log_top() { return "    syscall debugout, 1\n"; }

TEST(Opcodes, IntegerArithmeticEdges) {
  GameRun r = run_body(
      "    push_i 7\n    push_i 0\n    div_i\n" + log_top() +           // 7 / 0 = 70000
      "    push_i 7\n    push_i 0\n    mod_i\n" + log_top() +           // 7 mod 0 = 0
      "    push_i -7\n    push_i 2\n    div_i\n" + log_top() +          // truncation: -3
      "    push_i -7\n    push_i 2\n    mod_i\n" + log_top() +          // sign of a: -1
      "    push_i -2147483648\n    push_i -1\n    div_i\n" + log_top() +  // wraps, no trap
      "    push_i 2147483647\n    push_i 1\n    add_i\n" + log_top() +
      "    push_i -8\n    push_i 33\n    shr\n" + log_top() +            // shift count & 31: -4
      "    push_i 1\n    push_i 31\n    shl\n" + log_top() +
      "    push_i 6\n    push_i 3\n    xor\n" + log_top() +
      "    push_i 5\n    push_i 0\n    land\n" + log_top() +
      "    push_i 5\n    push_i 0\n    lor\n" + log_top() +
      "    push_i 0\n    lnot\n" + log_top() +
      "    push_i 5\n    not\n" + log_top() +
      "    push_i 5\n    neg_i\n" + log_top());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"70000 ", "0 ", "-3 ", "-1 ", "-2147483648 ", "-2147483648 ",
                                             "-4 ", "-2147483648 ", "5 ", "0 ", "1 ", "1 ", "-6 ", "-5 "}));
}

TEST(Opcodes, ComparisonsAndTheirTrueValues) {
  GameRun r = run_body(
      "    push_i 1\n    push_i 2\n    lt_i\n" + log_top() +         // 1
      "    push_f 1.0\n    push_f 2.0\n    lt_f\n" + log_top() +     // -1
      "    push_i 2\n    push_i 2\n    ge_i\n" + log_top() +         // -1
      "    push_f 2.0\n    push_f 2.0\n    ge_f\n" + log_top() +     // -1
      "    push_f 2.0\n    push_f 1.0\n    gt_f\n" + log_top() +     // 1
      "    push_i 3\n    push_f 3.0\n    eq_f\n" + log_top() +       // int converted: 1
      "    push_s \"abc\"\n    push_s \"ABC\"\n    eq_s\n" + log_top() +  // case-insensitive: 1
      "    push_s \"abd\"\n    push_s \"ABC\"\n    gt_s\n" + log_top() +  // 1
      "    push_s \"a\"\n    push_s \"b\"\n    ne_s\n" + log_top() +
      // -1 is true for jmp_true
      "    push_f 1.0\n    push_f 2.0\n    lt_f\n    jmp_true yes\n    push_s \"no\"\n    jmp out\n"
      "yes:\n    push_s \"yes\"\nout:\n" + log_top());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"1 ", "-1 ", "-1 ", "-1 ", "1 ", "1 ", "1 ", "1 ", "1 ", "yes "}));
}

// Equal sides satisfy the non-strict comparisons and fail the strict ones,
// whatever the operand kind; the true values keep their per-opcode sign.
TEST(Opcodes, EqualSidesSatisfyOnlyTheNonStrictComparisons) {
  std::string body;
  for (const char* op : {"lt_i", "le_i", "gt_i", "ge_i", "eq_i", "ne_i"})
    body += std::string("    push_i -4\n    push_i -4\n    ") + op + "\n" + log_top();
  for (const char* op : {"lt_f", "le_f", "gt_f", "ge_f", "eq_f", "ne_f"})
    body += std::string("    push_f 2.5\n    push_f 2.5\n    ") + op + "\n" + log_top();
  for (const char* op : {"lt_s", "gt_s", "eq_s", "ne_s"})
    body += std::string("    push_s \"Ab\"\n    push_s \"aB\"\n    ") + op + "\n" + log_top();
  // A case that equals the switch value matches <= and >=, not < or >.
  for (const char* op : {"case_le", "case_ge", "case_lt", "case_gt"})
    body += std::string("    push_i 6\n    switch s_") + op + "\ns_" + op + ":\n    push_i 6\n    " + op + " no_" +
            op + "\n    pop\n    push_s \"match\"\n" + log_top() + "    jmp done_" + op + "\nno_" + op +
            ":\n    pop\n    push_s \"miss\"\n" + log_top() + "done_" + op + ":\n";
  GameRun r = run_body(body);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"0 ", "1 ", "0 ", "-1 ", "1 ", "0 ",          // ints
                                             "0 ", "1 ", "0 ", "-1 ", "1 ", "0 ",          // floats
                                             "0 ", "0 ", "1 ", "0 ",                       // strings, any case
                                             "match ", "match ", "miss ", "miss "}));
}

// Script truth as jmp_true sees it: any non-zero number, any non-empty
// string (even "0"); zero, 0.0 and the empty string are false.
TEST(Opcodes, TruthOfEachKind) {
  std::string body;
  const char* values[] = {"push_i 0", "push_i -1", "push_f 0.0", "push_f -0.5", "push_f 0.25",
                          "push_s \"\"", "push_s \"0\"", "push_s \" \""};
  int k = 0;
  for (const char* v : values) {
    std::string n = std::to_string(k++);
    body += std::string("    ") + v + "\n    jmp_true yes" + n + "\n    push_s \"false\"\n    jmp out" + n +
            "\nyes" + n + ":\n    push_s \"true\"\nout" + n + ":\n" + log_top();
  }
  GameRun r = run_body(body);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"false ", "true ", "false ", "true ", "true ", "false ", "true ",
                                             "true "}));
}

TEST(Opcodes, FloatsAndStrings) {
  GameRun r = run_body(
      "    push_f 1.5\n    push_i 2\n    mul_f\n" + log_top() +       // 3.000000
      "    push_f 1.0\n    push_f 0.0\n    div_f\n" + log_top() +     // 1 / 0.00001
      "    push_f 2.7\n    ftoi\n" + log_top() +                     // 2
      "    push_f -2.7\n    ftoi\n" + log_top() +                    // -2
      "    push_i 3\n    itof\n" + log_top() +                       // 3.000000
      "    push_f 2.5\n    neg_f\n" + log_top() +
      "    push_s \"ab\"\n    push_s \"cd\"\n    add_s\n" + log_top() +
      "    push_s \"\xe6\x97\xa5\xe6\x9c\xac\"\n    push_s \"!\"\n    add_s\n" + log_top());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"3.000000 ", "100000.000000 ", "2 ", "-2 ", "3.000000 ", "-2.500000 ",
                                             "abcd ", "\xe6\x97\xa5\xe6\x9c\xac! "}));
}

TEST(Opcodes, VariableAssignments) {
  GameRun r = run_body(
      "    push_i 3\n    st_i_pop @v\n"
      "    push_i 0\n    div_st_i_pop @v\n    load i @v\n" + log_top() +     // 30000
      "    push_i 0\n    mod_st_i @v\n" + log_top() +                       // expression 0
      "    load i @v\n" + log_top() +                                        // unchanged 30000
      "    push_i 7\n    mod_st_i_pop @v\n    load i @v\n" + log_top() +      // 30000 mod 7 = 5
      "    push_f 2.9\n    st_i @w\n" + log_top() +                            // truncated 2
      "    push_i 2\n    st_f_pop @f\n    push_f 0.0\n    div_st_f_pop @f\n    load f @f\n" + log_top() +
      "    push_i 1\n    shl_st_pop @w\n    load i @w\n" + log_top() +          // 4
      "    push_s \"x\"\n    st_ref_s_pop @s\n    push_s \"y\"\n    add_st_s @s\n" + log_top() +
      "    load s @s\n" + log_top() +
      "    load i ++@w\n" + log_top() +    // 5
      "    load i @w--\n" + log_top() +    // 5, then 4
      "    load i -@w\n" + log_top() +     // -4
      "    load i ~@w\n" + log_top() +     // -5
      "    load i !@w\n" + log_top());     // 0
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"30000 ", "0 ", "30000 ", "5 ", "2 ", "200000.000000 ", "4 ", "xy ",
                                             "xy ", "5 ", "5 ", "-4 ", "-5 ", "0 "}));
}

TEST(Opcodes, SharedStringsAreCopiedOnlyWhenWritten) {
  GameRun r = run_body(
      "    push_s \"one\"\n    st_ref_s_pop @a\n"
      "    load s @a\n    st_ref_s_pop @b\n"
      "    push_s \"+\"\n    add_st_s_pop @a\n"
      "    load s @a\n    load s @b\n    syscall debugout, 2\n");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // The first argument is the topmost: @b, then @a.
  EXPECT_EQ(r.log, (std::vector<std::string>{"one one+ "})) << "b keeps the old text";
}

TEST(Opcodes, ArrayElementsWrapTheirIndices) {
  GameRun r = run_body(
      "    push_i 5\n    syscall int_array, 1\n    st_ref_ia_pop @a\n"
      "    push_i 44\n    push_i -1\n    ast_i_pop @a[1]\n"          // index -1 -> element 4
      "    push_i 7\n    load_elem i @a[1]\n" + log_top() +             // index 7 -> element 2 (0)
      "    push_i 4\n    load_elem i @a[1]\n" + log_top() +             // 44
      "    push_i 0\n    push_i 4\n    div_ast_i_pop @a[1]\n    push_i 4\n    load_elem i @a[1]\n" + log_top() +
      "    push_i 0\n    push_i 4\n    mod_ast_i_pop @a[1]\n    push_i 4\n    load_elem i @a[1]\n" + log_top() +
      "    push_i 3\n    push_i 1\n    ast_i_pop @a[1]\n"
      "    push_i 5\n    push_i 1\n    mul_ast_i @a[1]\n" + log_top() +  // the new element: 15
      "    push_i 2\n    push_i 3\n    syscall float_array, 2\n    st_ref_fa_pop @m\n"
      "    push_f 2.0\n    push_i 1\n    push_i 2\n    ast_f_pop @m[2]\n"
      "    push_f 0.0\n    push_i 1\n    push_i 2\n    div_ast_f_pop @m[2]\n"   // element x 10000
      "    push_i 1\n    push_i 2\n    load_elem f @m[2]\n" + log_top() +
      "    push_i 3\n    syscall string_array, 1\n    st_ref_sa_pop @t\n"
      "    push_s \"a\"\n    push_i 1\n    ast_s_pop @t[1]\n"
      "    push_s \"b\"\n    push_i 1\n    add_ast_s @t[1]\n" + log_top() +
      "    push_i 1\n    load_elem s @t[1]\n" + log_top() +
      "    push_i 1\n    load_elem i ++@a[1]\n" + log_top());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"0 ", "44 ", "440000 ", "0 ", "15 ", "20000.000000 ", "ab ", "ab ",
                                             "16 "}));
}

TEST(Opcodes, JumpTablesSwitchesAndCases) {
  GameRun r = run_body(
      "    push_i 7\n    jump_table t0, t1, t2\n"
      "t0:\n    push_s \"zero\"\n    jmp after\n"
      "t1:\n    push_s \"one\"\n    jmp after\n"
      "t2:\n    push_s \"two\"\n"
      "after:\n" + log_top() +
      "    push_i -1\n    jump_table u0, u1, u2\n"
      "u0:\nu1:\n    push_s \"early\"\n    jmp after2\n"
      "u2:\n    push_s \"last\"\n"
      "after2:\n" + log_top() +
      "    push_s \"HeLLo\"\n    switch cases\n"
      "cases:\n    push_s \"hello\"\n    case_eq next\n    pop\n    push_s \"matched\"\n" + log_top() +
      "    jmp end\n"
      "next:\n    pop\n    push_s \"nomatch\"\n" + log_top() +
      "end:\n"
      "    push_i 10\n    switch range\n"
      "range:\n    push_i 5\n    case_gt big\n    pop\n    push_s \"5 > 10\"\n" + log_top() + "    jmp fin\n"
      "big:\n    pop\n    push_s \"not 5 > 10\"\n" + log_top() +
      "fin:\n"
      // An index equal to the entry count is past the end too: the last entry.
      "    push_i 3\n    jump_table v0, v1, v2\n"
      "v0:\nv1:\n    push_s \"inside\"\n    jmp after3\n"
      "v2:\n    push_s \"last again\"\n"
      "after3:\n" + log_top());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"two ", "last ", "matched ", "not 5 > 10 ", "last again "}));
}

TEST(Opcodes, ReportsAndGoesOn) {
  GameRun r = run_body(
      "    line 9\n"
      "    .u16 0x0999\n"                    // an opcode that does not exist
      "    push_i 1\n    st_i_pop @n\n"
      "    load s @n\n" + log_top() +         // wrong kind: reported, then the default
      "    push_i 0\n    syscall rand, 1\n" + log_top() +
      "    syscall 0x12345678, 0\n" + log_top() +  // undefined built-in: int 0 stands in
      "    push_s \"after\"\n" + log_top());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ASSERT_GE(r.boxes.size(), 4u) << r.err;
  EXPECT_NE(r.boxes[0].find("START.MJO(9) : コード[0999]は定義されていません"), std::string::npos) << r.boxes[0];
  EXPECT_NE(r.boxes[1].find("発見した変数のタイプが違うエラー\\nスタックに積まれて居ないのに参照したんではないか？"),
            std::string::npos);
  EXPECT_NE(r.boxes[2].find("乱数の種に０が指定されました。"), std::string::npos);
  EXPECT_NE(r.boxes[3].find("組み込み関数[12345678]は定義されていません"), std::string::npos);
  EXPECT_EQ(r.log.back(), "after ");
}

TEST(Opcodes, AnArrayNamedAsItsOwnIndexIsRefused) {
  // The local slot of the array is the index operand itself: taking the
  // index off the stack would free the array the instruction reads.
  GameRun r = run_body(R"(
    push_i 0
    call_fn $f@GLOBAL, 0
    push_s "after"
    syscall_discard debugout, 2
    syscall_discard system_end, 0
.function $f@GLOBAL
    .local _a, 0
    push_i 2
    syscall int_array, 1              ; the array lands in _a's slot, on top
    load_elem i _a[1]
    return
)");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ASSERT_EQ(r.boxes.size(), 1u) << r.err;
  EXPECT_NE(r.boxes[0].find("ローカル変数[0]がスタックの範囲外です"), std::string::npos) << r.boxes[0];
  ASSERT_FALSE(r.log.empty());
  EXPECT_EQ(r.log.back(), "after 0 ") << "the element reads as the default";
}

TEST(Opcodes, ArraysTooLargeToHoldEndTheProgramAsMemoryRunningOut) {
  // 2^21 cubed elements: more than 64 bits can count. The program ends with
  // the out-of-memory box instead of writing past a block of no elements.
  for (const char* sizes : {"2097152\n    push_i 2097152\n    push_i 2097152", "65536\n    push_i 32768"}) {
    GameRun r = run_body("    .local _a, 0\n    alloc_locals ia\n    push_i " + std::string(sizes) +
                         "\n    syscall int_array, " +
                         (std::string(sizes).find("32768") != std::string::npos ? "2" : "3") +
                         "\n    st_ref_ia_pop _a\n    push_i 5\n    push_i 0\n    ast_i_pop i _a[1]\n");
    EXPECT_EQ(r.exit_code, 255) << sizes << r.err;
    ASSERT_EQ(r.boxes.size(), 1u) << sizes << r.err;
    EXPECT_NE(r.boxes[0].find("メモリ容量が不足しています。"), std::string::npos) << r.boxes[0];
  }
}

TEST(Opcodes, MalformedCodeEndsTheThreadNotTheProgram) {
  // Falling off the end, a jump into an operand and a cut-off operand: each
  // is reported and ends the thread; the program goes back to the title and
  // stops at the frame limit.
  for (std::string body : {std::string("    push_i 1\n    pop\n"),                 // runs off the end
                           std::string("    jmp +2\n    push_i 5\n"),              // into push_i's operand
                           std::string("    .u16 0x0800\n    .bytes 1, 2\n")}) {  // push_i cut off
    ScriptGame game;
    game.script("start", ".function $init@GLOBAL\n    return\nmain:\n" + body);
    GameRun r = game.run({"--answer=retry", "--max-frames=20"});
    EXPECT_EQ(r.exit_code, 0) << body << r.err;
    EXPECT_FALSE(r.boxes.empty()) << body;
  }
}

}  // namespace

namespace {

// The interpreter runs common sequences as one step; these programs have
// the same result whether a sequence is run fused or one by one.
TEST(Opcodes, FusedSequencesBehaveLikeTheirParts) {
  std::string body;
  // Every comparison as a loop test, counting down or up.
  const char* compares[] = {"lt_i", "le_i", "gt_i", "ge_i", "eq_i", "ne_i"};
  for (const char* cmp : compares) {
    std::string c = cmp;
    bool up = c == "lt_i" || c == "le_i" || c == "ne_i" || c == "eq_i";
    std::string start = c == "eq_i" ? "5" : (up ? "0" : "10");
    std::string limit = c == "eq_i" ? "5" : (up ? "5" : "3");
    std::string step = up ? "add_st_i_pop" : "minus_st_i_pop";
    body += "    push_i " + start + "\n    st_i_pop _i\n    push_i 0\n    st_i_pop _n\n"
            "l_" + c + ":\n    load i _i\n    push_i " + limit + "\n    " + c + "\n    jmp_false e_" + c + "\n"
            "    push_i 1\n    add_st_i_pop _n\n"
            "    push_i 1\n    " + step + " _i\n    jmp l_" + c + "\n"
            "e_" + c + ":\n    load i _n\n    push_s \"" + c + "\"\n    syscall_discard debugout, 2\n";
  }
  // A local that turns into a float midway leaves the fast path.
  body += "    push_i 0\n    st_i_pop _i\nlf:\n    load i _i\n    push_i 3\n    lt_i\n    jmp_false ef\n"
          "    push_f 1.5\n    st_f_pop _i\n    jmp lf\nef:\n    push_s \"float ends the loop\"\n"
          "    syscall_discard debugout, 1\n";
  // A jump into the middle of a would-be sequence keeps it unfused.
  body += "    push_i 7\n    st_i_pop _i\n    jmp mid\n    load i _i\nmid:\n    push_i 2\n    add_st_i_pop _i\n"
          "    load i _i\n    push_s \"mid\"\n    syscall_discard debugout, 2\n";
  ScriptGame game;
  game.script("start", ".function $init@GLOBAL\n    return\nmain:\n    .local _i, 0\n    .local _n, 1\n"
                       "    alloc_locals i, i\n" + body + "    syscall_discard system_end, 0\n");
  GameRun r = game.run({"--answer=retry"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // Reading the float as an int is reported (two log lines), and its bits
  // end the loop.
  EXPECT_EQ(r.log, (std::vector<std::string>{"lt_i 5 ", "le_i 6 ", "gt_i 7 ", "ge_i 8 ", "eq_i 1 ", "ne_i 5 ",
                                             "START.MJO(0) : 発見した変数のタイプが違うエラー",
                                             "スタックに積まれて居ないのに参照したんではないか？",
                                             "float ends the loop ", "mid 9 "}));
}

}  // namespace
