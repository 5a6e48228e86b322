// The interpreter's fast loop against its general loop: each program runs
// twice, once as usual and once with --no-fast-loop, and both runs must
// log, report and end alike. The programs sit on the edges where the fast
// loop hands an instruction back: locals of other kinds, indices outside
// an array, frames with exit handlers, calls too deep, missing operands.
#include <gtest/gtest.h>

#include "tests/support/process.h"
#include "tests/support/script_game.h"

using testing_support::GameRun;
using testing_support::ScriptGame;

namespace {

// Runs `source` (after $init, from main:) both ways; returns the usual run.
GameRun run_both(const std::string& source) {
  GameRun runs[2];
  for (int general = 0; general < 2; ++general) {
    ScriptGame game;
    game.script("start", ".function $init@GLOBAL\n    return\n" + source);
    std::vector<std::string> options = {"--answer=retry", "--virtual-clock=10", "--max-frames=50"};
    if (general) options.push_back("--no-fast-loop");
    runs[general] = game.run(options);
  }
  EXPECT_EQ(runs[0].exit_code, runs[1].exit_code) << runs[0].err << runs[1].err;
  EXPECT_EQ(runs[0].log, runs[1].log);
  // Each game has a title of its own: compare the boxes without it.
  for (GameRun& run : runs)
    for (std::string& box : run.boxes) box = box.substr(box.find(" | ") + 3);
  EXPECT_EQ(runs[0].boxes, runs[1].boxes);
  return runs[0];
}

TEST(FastLoop, IntOperatorsOnLocalsWithEdgeValues) {
  // Every int operator the fast loop runs, on locals, with the values where
  // the engine's arithmetic differs from C's.
  std::string body = R"(
main:
    .local _a, 0
    .local _b, 1
    alloc_locals i, i
)";
  const char* ops[] = {"add_i", "minus_i", "mul_i", "div_i", "mod_i", "shl", "shr", "and", "or", "xor",
                       "land", "lor", "lt_i", "le_i", "gt_i", "ge_i", "eq_i", "ne_i"};
  const std::pair<int, int> pairs[] = {{7, 0}, {-2147483647 - 1, -1}, {5, 33}, {-9, 2}, {2147483647, 1}, {0, 0}};
  for (auto [a, b] : pairs) {
    body += "    push_i " + std::to_string(a) + "\n    st_i_pop _a\n    push_i " + std::to_string(b) +
            "\n    st_i_pop _b\n";
    for (const char* op : ops) body += std::string("    load i _a\n    load i _b\n    ") + op + "\n";
    body += "    push_s \"ops\"\n    syscall_discard debugout, " + std::to_string(std::size(ops) + 1) + "\n";
  }
  GameRun r = run_both(body + "    syscall_discard system_end, 0\n");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ASSERT_EQ(r.log.size(), std::size(pairs));
  // 7 and 0: division by zero scales by 10000, the remainder is 0; ge gives -1.
  // (debugout writes the last argument first.)
  EXPECT_EQ(r.log[0], "ops 1 0 -1 1 0 0 1 0 7 7 0 7 7 0 70000 0 7 7 ");
  // INT_MIN and -1: wrapping, not trapping.
  EXPECT_EQ(r.log[1], "ops 1 0 0 0 1 1 1 1 2147483647 -1 -2147483648 -1 0 0 -2147483648 -2147483648 -2147483647 "
                      "2147483647 ");
}

TEST(FastLoop, CountedLoopsWithEveryTest) {
  // A loop's step, jump back and test run as one: each comparison, steps up
  // and down, a step past the 32-bit edge, and a test of another local.
  struct Loop {
    int from, step;
    const char* test;
    int limit;
  };
  const Loop loops[] = {{0, 1, "lt_i", 10},  {0, 3, "le_i", 9},       {10, -1, "gt_i", 0},
                        {10, -2, "ge_i", 1}, {0, 1, "ne_i", 5},       {5, 1, "eq_i", 5},
                        {0, 1, "lt_i", 0},   {2147483645, 1, "gt_i", 0}};
  std::string body = R"(
main:
    .local _i, 0
    .local _s, 1
    .local _n, 2
    alloc_locals i, i, i
)";
  int label = 0;
  for (const Loop& l : loops) {
    const std::string n = std::to_string(label++);
    const std::string step = l.step < 0 ? "minus_st_i_pop" : "add_st_i_pop";
    body += "    push_i " + std::to_string(l.from) + "\n    st_i_pop _i\n    push_i 0\n    st_i_pop _s\n";
    body += "top" + n + ":\n    load i _i\n    push_i " + std::to_string(l.limit) + "\n    " + l.test +
            "\n    jmp_false out" + n + "\n";
    body += "    load i _i\n    add_st_i_pop _s\n    push_i " + std::to_string(l.step < 0 ? -l.step : l.step) +
            "\n    " + step + " _i\n    jmp top" + n + "\n";
    body += "out" + n + ":\n    load i _s\n    load i _i\n    push_s \"loop\"\n    syscall_discard debugout, 3\n";
  }
  // The test reads another local than the step changes.
  body += R"(
    push_i 0
    st_i_pop _i
    push_i 0
    st_i_pop _n
other:
    load i _n
    push_i 4
    lt_i
    jmp_false other_out
    load i _n
    push_i 1
    add_i
    st_i_pop _n
    push_i 1
    add_st_i_pop _i
    jmp other
other_out:
    load i _n
    load i _i
    push_s "other"
    syscall_discard debugout, 3
    syscall_discard system_end, 0
)";
  GameRun r = run_both(body);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ASSERT_EQ(r.log.size(), std::size(loops) + 1);
  EXPECT_EQ(r.log[0], "loop 10 45 ");
  EXPECT_EQ(r.log[2], "loop 0 55 ");
  EXPECT_EQ(r.log[6], "loop 0 0 ");
  // Stepping past 2147483647 wraps to a negative counter, which ends the loop.
  EXPECT_EQ(r.log[7], "loop -2147483648 2147483642 ");
  EXPECT_EQ(r.log[8], "other 4 4 ");
}

TEST(FastLoop, LoopsOverLocalsThatChangeKind) {
  // A counted loop whose accumulator turns into a float and a string on
  // the way: those turns run in the general loop, the rest does not.
  GameRun r = run_both(R"(
main:
    .local _i, 0
    .local _s, 1
    .local _f, 2
    .local _t, 3
    alloc_locals i, i, f, s
loop:
    load i _i
    push_i 10
    lt_i
    jmp_false done
    load i _i
    add_st_i_pop _s
    load i _i
    push_i 4
    eq_i
    jmp_false not_four
    push_f 0.5
    st_f_pop _f
    load i _s
    st_i_pop _f                       ; a float local takes an int
    push_s "x"
    st_ref_s_pop _t
not_four:
    load i _i
    push_i 7
    eq_i
    jmp_false next
    push_i 1
    add_st_i_pop _t                   ; a string local: the general loop decides
    load i _t                         ; and the wrong kind is reported
    pop
next:
    push_i 1
    add_st_i_pop _i
    jmp loop
done:
    load i _s
    load i _f
    load s _t
    push_s "end"
    syscall_discard debugout, 4
    syscall_discard system_end, 0
)");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ASSERT_FALSE(r.log.empty());
  // The string local took an int on the way, so it reads as an empty string.
  EXPECT_EQ(r.log.back(), "end  10 45 ");
}

TEST(FastLoop, ElementsInsideAndOutsideTheArray) {
  // One-index elements of local int and float arrays run fast; indices past
  // the end or below zero wrap, floats are truncated, and two-index, string
  // and modified elements take the general loop.
  GameRun r = run_both(R"(
main:
    .local _a, 0
    .local _f, 1
    .local _m, 2
    .local _s, 3
    .local _i, 4
    .local _sum, 5
    .local _c, 6
    alloc_locals ia, fa, ia, sa, i, i, ia
    push_i 4
    syscall int_array, 1
    st_ref_ia_pop _a
    push_i 3
    syscall float_array, 1
    st_ref_fa_pop _f
    push_i 3
    push_i 2
    syscall int_array, 2
    st_ref_ia_pop _m
    push_i 2
    syscall string_array, 1
    st_ref_sa_pop _s
fill:
    load i _i
    push_i 7
    lt_i
    jmp_false filled
    load i _i
    push_i 10
    mul_i
    load i _i
    ast_i_pop i _a[1]                 ; 4..6 land on 0..2 again
    push_i 1
    add_st_i_pop _i
    jmp fill
filled:
    push_i 99
    push_i -1
    ast_i i _a[1]                     ; -1 is the last element; the value stays
    push_f 1.5
    push_i 5
    ast_f_pop f _f[1]
    push_i 8
    push_i 1
    push_i 2
    ast_i_pop i _m[2]
    push_s "str"
    push_i 3
    ast_s_pop s _s[1]
    push_i 0
    load_elem i _a[1]
    push_i 1
    load_elem i _a[1]
    push_i 2
    load_elem i _a[1]
    push_i 3
    load_elem i _a[1]
    push_f 2.9
    load_elem i _a[1]
    push_i 1
    load_elem i ++_a[1]
    push_i 2
    load_elem f _f[1]
    push_i 1
    push_i 2
    load_elem i _m[2]
    push_i 1
    load_elem s _s[1]
    push_s "elements"
    syscall_discard debugout, 11
    push_i -2
    st_i_pop _i
sum:                                  ; a local index, -2 to 5: wrapping at both ends
    load i _i
    push_i 6
    lt_i
    jmp_false summed
    load i _i
    load_elem i _a[1]
    add_st_i_pop _sum
    push_i 1
    add_st_i_pop _i
    jmp sum
summed:
    load i _sum
    push_s "sum"
    syscall_discard debugout, 2
    push_i 3
    syscall int_array, 1
    st_ref_ia_pop _c
    push_i 0
    st_i_pop _i
copy:                                 ; c[i] = i for 0..4: 3 and 4 wrap
    load i _i
    push_i 5
    lt_i
    jmp_false copied
    load i _i
    load i _i
    ast_i_pop i _c[1]
    push_i 1
    add_st_i_pop _i
    jmp copy
copied:
    push_i 2
    load_elem i _c[1]
    push_i 1
    load_elem i _c[1]
    push_i 0
    load_elem i _c[1]
    push_s "copy"
    syscall_discard debugout, 4
    push_i 0
    load_elem f _a[1]                 ; the wrong element kind is reported
    pop
    syscall_discard system_end, 0
)");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ASSERT_FALSE(r.log.empty());
  // Last pushed first; the final 99 is the value ast_i left on the stack.
  EXPECT_EQ(r.log[0], "elements str 8 1.500000 51 60 99 60 50 40 99 ");
  ASSERT_GE(r.log.size(), 2u);
  EXPECT_EQ(r.log[1], "sum 500 ") << "a[-2] .. a[5] of {40, 51, 60, 99}";
  ASSERT_GE(r.log.size(), 3u);
  EXPECT_EQ(r.log[2], "copy 3 4 2 ");
}

TEST(FastLoop, BuiltInsThatFinishAtOnce) {
  // Built-ins taking and giving strings, a result dropped, a float result,
  // a call with fewer values on the stack than it names, and one that ends
  // the game from inside the loop.
  GameRun r = run_both(R"(
main:
    .local _i, 0
    .local _s, 1
    alloc_locals i, s
loop:
    load i _i
    push_i 4
    lt_i
    jmp_false done
    push_i 2
    load i _i
    push_s "abcdef"
    syscall mid, 3
    add_st_s_pop _s
    load i _i
    syscall itoa, 1
    syscall_discard strlen, 1
    load i _i
    push_f 1.5
    syscall max, 2
    push_s "max"
    syscall_discard debugout, 2
    push_i 1
    add_st_i_pop _i
    jmp loop
done:
    load s _s
    push_s "pieces"
    syscall_discard debugout, 2
    syscall strlen, 9
    push_s "short"
    syscall_discard debugout, 2
    syscall_discard system_end, 0
    push_s "not reached"
    syscall_discard debugout, 1
)");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ASSERT_GE(r.log.size(), 6u);
  EXPECT_EQ(r.log[0], "max 1.500000 ");
  EXPECT_EQ(r.log[3], "max 3.000000 ") << "a float argument makes a float result";
  EXPECT_EQ(r.log[4], "pieces abbccdde ");
  EXPECT_EQ(r.log.back().find("not reached"), std::string::npos);
}

TEST(FastLoop, CallsReturnsAndTheirEdges) {
  // Recursion, discarded results, a frame with an exit handler deep in a
  // recursion, arguments of the wrong kind, and a function that returns
  // from the bottom of another thread.
  GameRun r = run_both(R"(
main:
    push_i 15
    call_fn $fib@GLOBAL, 1
    push_i 3
    call_fn_discard $fib@GLOBAL, 1
    push_i 4
    call_fn $count_down@GLOBAL, 1
    push_s "x"
    call_fn $fib@GLOBAL, 1
    push_s "calls"
    syscall_discard debugout, 4
    push_i &$worker@GLOBAL
    syscall_discard thread_create, 1
    push_i 30
    syscall_discard wait, 1
    syscall_discard system_end, 0

.function $fib@GLOBAL
    .local _n, -2
    check_args i
    load i _n
    push_i 2
    lt_i
    jmp_false recurse
    load i _n
    return
recurse:
    load i _n
    push_i 1
    minus_i
    call_fn $fib@GLOBAL, 1
    load i _n
    push_i 2
    minus_i
    call_fn $fib@GLOBAL, 1
    add_i
    return

.function $count_down@GLOBAL
    .local _n, -2
    .local _r, 0
    alloc_locals i
    set_exit handler
    load i _n
    push_i 0
    gt_i
    jmp_false bottom
    load i _n
    push_i 1
    minus_i
    call_fn $count_down@GLOBAL, 1
    st_i_pop _r
bottom:
    load i _r
    push_i 1
    add_i
    return
handler:
    load i _n
    push_s "exit"
    syscall_discard debugout, 2
    push_i 100
    return

.function $worker@GLOBAL
    line 3
    push_i 6
    call_fn $fib@GLOBAL, 1
    push_s "worker"
    syscall_discard debugout, 2
    return
)");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // The reports are in the log as well; the rest, in order:
  std::vector<std::string> lines;
  for (const std::string& line : r.log)
    if (line.find("START.MJO") == std::string::npos && line.find("スタック") == std::string::npos) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"exit 0 ", "exit 1 ", "exit 2 ", "exit 3 ", "exit 4 ",
                                             "calls 0 100 610 ", "worker 8 "}))
      << "the string argument is reported, then read as 0";
  EXPECT_EQ(r.boxes.size(), 3u) << "the argument, and the two reads of it";
}

TEST(FastLoop, MissingOperandsAndTooDeepCalls) {
  GameRun under = run_both(R"(
main:
    .local _a, 0
    alloc_locals i
    push_i 5
    add_i                             ; one operand short
    jmp_false skip
skip:
    pop
    pop
    push_s "underflow"
    syscall_discard debugout, 1
    syscall_discard system_end, 0
)");
  EXPECT_EQ(under.exit_code, 0) << under.err;
  EXPECT_FALSE(under.boxes.empty());

  GameRun deep = run_both(R"(
main:
    push_i 0
    call_fn $deeper@GLOBAL, 1
.function $deeper@GLOBAL
    .local _n, -2
    load i _n
    push_i 1
    add_i
    call_fn $deeper@GLOBAL, 1
    return
)");
  EXPECT_EQ(deep.exit_code, 255);
  ASSERT_FALSE(deep.boxes.empty());
  EXPECT_NE(deep.boxes.back().find("スタックオーバーフロー"), std::string::npos);
}

TEST(FastLoop, ClosedLoopsAgreeWithTheGeneralLoop) {
  // Counted loops made only of steps on locals run their bodies with the
  // locals checked once per entry: long loops across watchdog turns, both
  // add and subtract steps, counting down, float elements, line marks (the
  // main thread's hand them back: they are followed), an index that leaves
  // the array mid-loop, and locals that fail the check (an array whose size
  // was below 1 among them).
  GameRun r = run_both(R"(
main:
    .local _i, 0
    .local _s, 1
    .local _d, 2
    .local _a, 3
    .local _f, 4
    .local _v, 5
    .local _x, 6
    .local _g, 7
    .local _e, 8
    alloc_locals i, i, i, ia, fa, f, i, f, ia
    push_i 300000
    syscall int_array, 1
    st_ref_ia_pop _a
    push_i 8
    syscall float_array, 1
    st_ref_fa_pop _f
fill:                                 ; a[i] = i, over several watchdog turns
    load i _i
    push_i 300000
    lt_i
    jmp_false filled
    load i _i
    load i _i
    ast_i_pop i _a[1]
    push_i 1
    add_st_i_pop _i
    jmp fill
filled:
    push_i 0
    st_i_pop _i
sum:
    load i _i
    push_i 300000
    lt_i
    jmp_false summed
    load i _i
    load_elem i _a[1]
    add_st_i_pop _s
    load i _i
    load_elem i _a[1]
    minus_st_i_pop _d
    push_i 3
    add_st_i_pop _x
    load i _x
    minus_st_i_pop _d
    push_i 1
    add_st_i_pop _i
    jmp sum
summed:
    load i _x
    load i _d
    load i _s
    push_s "sum"
    syscall_discard debugout, 4
    push_f 1.5
    st_f_pop _v
    push_i 7
    st_i_pop _i
down:                                 ; f[i] = 1.5 for i = 7 down to 0
    load i _i
    push_i 0
    ge_i
    jmp_false downed
    load f _v
    load i _i
    ast_f_pop f _f[1]
    push_i 1
    minus_st_i_pop _i
    jmp down
downed:
    push_i 7
    load_elem f _f[1]
    push_i 0
    load_elem f _f[1]
    load i _i
    push_s "down"
    syscall_discard debugout, 4
    push_i 299990
    st_i_pop _i
past:                                 ; leaves the array at 300000: wraps to 0
    load i _i
    push_i 300005
    lt_i
    jmp_false passed
    load i _i
    load_elem i _a[1]
    add_st_i_pop _x
    push_i 1
    add_st_i_pop _i
    jmp past
passed:
    load i _x
    push_s "past"
    syscall_discard debugout, 2
    push_i 0
    st_i_pop _i
float_sum:                            ; the accumulator holds a float
    load i _i
    push_i 3
    lt_i
    jmp_false float_summed
    load i _i
    add_st_i_pop _g
    push_i 1
    add_st_i_pop _i
    jmp float_sum
float_summed:
    load f _g
    push_s "float"
    syscall_discard debugout, 2
    push_i 0
    st_i_pop _i
no_array:                             ; the array local holds no array
    load i _i
    push_i 2
    lt_i
    jmp_false no_arrayed
    load i _i
    load_elem i _e[1]
    add_st_i_pop _s
    push_i 1
    add_st_i_pop _i
    jmp no_array
no_arrayed:
    load i _s
    push_s "none"
    syscall_discard debugout, 2
    push_i -5
    syscall int_array, 1              ; an array of no elements, whose size says -5
    st_ref_ia_pop _e
    push_i 0
    st_i_pop _i
negative:                             ; every element refused, inside a loop and out
    load i _i
    push_i 3
    lt_i
    jmp_false negatived
    load i _i
    load i _i
    ast_i_pop i _e[1]
    push_i 1
    add_st_i_pop _i
    jmp negative
negatived:
    push_i 9
    load i _i
    ast_i_pop i _e[1]
    push_i 0
    st_i_pop _i
    load i _i
    load_elem i _e[1]
    push_s "negative"
    syscall_discard debugout, 2
    push_i &$worker@GLOBAL
    syscall_discard thread_create, 1
    push_i 30
    syscall_discard wait, 1
    line 8
    .u16 0x0999                       ; reported at the main thread's line 8
    syscall_discard system_end, 0

.function $worker@GLOBAL
    .local _i, 0
    .local _s, 1
    .local _d, 2
    alloc_locals i, i, i
loop:                                 ; a thread that follows no lines
    load i _i
    push_i 1000
    lt_i
    jmp_false done
    line 21
    load i _i
    add_st_i_pop _s
    load i _i
    minus_st_i_pop _d
    push_i 1
    add_st_i_pop _i
    jmp loop
done:
    load i _d
    load i _s
    push_s "worker"
    syscall_discard debugout, 3
    .u16 0x0999                       ; reported at line 21
    return
)");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // The script's own lines, without the error reports between them.
  std::vector<std::string> lines;
  for (const std::string& line : r.log)
    if (line.rfind("START.MJO", 0) != 0) lines.push_back(line);
  ASSERT_EQ(lines.size(), 7u) << r.err;
  // s = 0 + ... + 299999 = 44999850000 and d = -(s + 3 + 6 + ... + 900000)
  // = -180000300000, both wrapped to 32 bits.
  EXPECT_EQ(lines[0], "sum 2050177040 388326432 900000 ");
  EXPECT_EQ(lines[1], "down -1 1.500000 1.500000 ");
  // 900000 + a[299990] + ... + a[299999], then a[0] + ... + a[4].
  EXPECT_EQ(lines[2], "past 3899955 ");
  EXPECT_EQ(lines[5], "negative 0 ");
  EXPECT_EQ(lines[6], "worker 499500 -499500 ");
  ASSERT_GE(r.boxes.size(), 2u);
  EXPECT_NE(r.boxes[r.boxes.size() - 2].find("START.MJO(21)"), std::string::npos) << r.boxes[r.boxes.size() - 2];
  EXPECT_NE(r.boxes.back().find("START.MJO(8)"), std::string::npos) << r.boxes.back();
}

TEST(FastLoop, LoopsThatNeverYieldStillEnd) {
  // Only locals, only fast operations: the watchdog still lets the quit
  // through, also from a closed loop whose step never reaches its bound.
  // (On the real clock: the virtual one stands still while a script spins.)
  const char* loops[] = {R"(
spin:
    push_i 1
    add_st_i_pop _i
    jmp spin
)",
                         R"(
spin:
    load i _i
    push_i 10
    lt_i
    jmp_false out
    load i _i
    add_st_i_pop _s
    push_i 0
    add_st_i_pop _i
    jmp spin
out:
    syscall_discard system_end, 0
)"};
  for (const char* loop : loops) {
    ScriptGame game;
    game.script("start", std::string(".function $init@GLOBAL\n    return\nmain:\n    .local _i, 0\n"
                                     "    .local _s, 1\n    alloc_locals i, i\n") +
                             loop);
    game.file("quit.txt", "200 quit\n");
    testing_support::RunResult r = testing_support::run_program(
        {"quorel", "--headless", "--answer=yes", "--settings=" + (game.dir / "settings.ini"),
         "--input=" + (game.dir / "quit.txt"),
         game.dir.path()},
        {}, 30);
    EXPECT_FALSE(r.timed_out) << loop;
    EXPECT_EQ(r.exit_code, 0) << r.err;
  }
}

}  // namespace
