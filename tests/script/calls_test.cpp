// Calls, returns, arguments, frames, escapes and exit handlers.
#include <gtest/gtest.h>

#include "tests/support/script_game.h"

using testing_support::GameRun;
using testing_support::ScriptGame;

namespace {

GameRun run_start(const std::string& source, std::vector<std::string> options = {"--answer=retry"}) {
  ScriptGame game;
  game.script("start", ".function $init@GLOBAL\n    return\n" + source);
  return game.run(options);
}

TEST(Calls, ResultsArgumentsAndRecursion) {
  GameRun r = run_start(R"(
main:
    push_i 3
    push_i 4
    call_fn $add@GLOBAL, 2
    push_s "sum"
    syscall_discard debugout, 2
    push_i 20
    call_fn $fib@GLOBAL, 1
    push_s "fib"
    syscall_discard debugout, 2
    push_i 1
    push_i 2
    call_fn_discard $add@GLOBAL, 2     ; the result is dropped
    push_s "stack"
    syscall_discard debugout, 1        ; nothing of the call is left beneath
    syscall_discard system_end, 0

.function $add@GLOBAL
    .local _a, -2
    .local _b, -3
    check_args i, i
    load i _a
    load i _b
    minus_i                           ; a - b shows which argument is which
    return

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
)");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // The first argument is pushed last: a = 4, b = 3.
  EXPECT_EQ(r.log, (std::vector<std::string>{"sum 1 ", "fib 6765 ", "stack "}));
}

TEST(Calls, ArgumentChecks) {
  GameRun r = run_start(R"(
main:
    line 5
    push_i 9
    call_fn $two@GLOBAL, 1            ; one argument short
    push_s "short"
    syscall_discard debugout, 2
    push_i 1
    push_s "x"
    call_fn $two@GLOBAL, 2            ; the first argument has the wrong kind
    push_s "mismatch"
    syscall_discard debugout, 2
    syscall_discard system_end, 0

.function $two@GLOBAL
    .local _a, -2
    .local _b, -3
    check_args i, i
    load i _a
    load i _b
    add_i
    return
)");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // The mismatched call goes on and then reads a string as an int.
  ASSERT_EQ(r.boxes.size(), 3u) << r.err;
  EXPECT_NE(r.boxes[0].find("START.MJO(5).START.MJO(5) : 関数のパラメータが不足しています。"), std::string::npos);
  EXPECT_NE(r.boxes[1].find("関数のパラメータが(2個中、1番目)間違っています。"), std::string::npos);
  EXPECT_NE(r.boxes[2].find("発見した変数のタイプが違うエラー"), std::string::npos);
  // A short call runs with defaults; the mismatched one goes on with what
  // it got. (The reports are in the log too, each before its line.)
  // (one report spans two lines).
  ASSERT_EQ(r.log.size(), 6u);
  EXPECT_EQ(r.log[1], "short 0 ");
  EXPECT_EQ(r.log[5], "mismatch 1 ") << "the string read as an int gives 0, plus 1";
}

TEST(Calls, WhatACalleePopsOfItsCallersValuesStaysPopped) {
  // Only a malformed function pops past its own frame. Here it moves its
  // caller's string into the switch value; after the return the string must
  // not be on the caller's stack as well, to be freed twice.
  GameRun r = run_start(R"(
main:
    push_s "kept"
    call_fn_discard $eat@GLOBAL, 0
    pop                               ; nothing left to pop
    push_i 1
    switch next                       ; releases the string the switch held
next:
    push_s "after"
    syscall_discard debugout, 1
    syscall_discard system_end, 0
.function $eat@GLOBAL
    pop                               ; the call's argument count
    switch out                        ; the caller's string
out:
    return
)");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ASSERT_EQ(r.boxes.size(), 1u) << r.err;
  EXPECT_NE(r.boxes[0].find("スタックアンダーフロー"), std::string::npos) << r.boxes[0];
  ASSERT_FALSE(r.log.empty());
  EXPECT_EQ(r.log.back(), "after ");
}

TEST(Calls, TooDeepEndsTheProgram) {
  GameRun r = run_start(R"(
main:
    call_fn $deeper@GLOBAL, 0
.function $deeper@GLOBAL
    call_fn $deeper@GLOBAL, 0
    return
)");
  EXPECT_EQ(r.exit_code, 255);
  ASSERT_FALSE(r.boxes.empty());
  EXPECT_NE(r.boxes.back().find("スタックオーバーフロー : ネストが深すぎます | retry/cancel"), std::string::npos);
}

// A thread holds 256 frames: its main function and 255 nested calls.
TEST(Calls, AThreadHoldsTwoHundredAndFiftySixFrames) {
  auto nest = [](int calls) {
    return run_start("main:\n    push_i " + std::to_string(calls - 1) + R"(
    call_fn $down@GLOBAL, 1
    push_s "returned"
    syscall_discard debugout, 2
    syscall_discard system_end, 0
.function $down@GLOBAL
    .local _n, -2
    load i _n
    jmp_false bottom
    load i _n
    push_i 1
    minus_i
    call_fn $down@GLOBAL, 1
    return
bottom:
    push_i 7
    return
)");
  };
  GameRun fits = nest(255);
  EXPECT_EQ(fits.exit_code, 0) << fits.err;
  EXPECT_EQ(fits.log, std::vector<std::string>{"returned 7 "});
  EXPECT_TRUE(fits.boxes.empty());
  GameRun over = nest(256);
  EXPECT_EQ(over.exit_code, 255);
  ASSERT_FALSE(over.boxes.empty());
  EXPECT_NE(over.boxes.back().find("スタックオーバーフロー"), std::string::npos);
}

TEST(Calls, UnknownFunctionEndsTheProgramOnCancel) {
  GameRun r = run_start("main:\n    call_fn $nowhere@GLOBAL, 0\n", {});
  EXPECT_EQ(r.exit_code, 255);
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_NE(r.boxes[0].find("がメモリ上に発見できませんでした。\\n関数が存在する場合には、$load_libraryを忘れていませんか？"),
            std::string::npos);
}

TEST(Calls, EscapeAndExitHandlers) {
  GameRun r = run_start(R"(
main:
    set_escape escaped
    call_fn $inner@GLOBAL, 0
    push_s "not reached"
    syscall_discard debugout, 1
escaped:
    push_s "escaped"
    syscall_discard debugout, 1
    call_fn_discard $with_exit@GLOBAL, 0
    push_s "back"
    syscall_discard debugout, 1
    syscall_discard system_end, 0

.function $inner@GLOBAL
    escape                            ; the caller's frame jumps when this returns
    push_s "inner goes on"
    syscall_discard debugout, 1
    push_i 0
    return

.function $with_exit@GLOBAL
    set_exit handler
    push_s "body"
    syscall_discard debugout, 1
    push_i 0
    return                            ; runs the exit handler first
handler:
    push_s "exit handler"
    syscall_discard debugout, 1
    push_i 0
    return
)");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"inner goes on ", "escaped ", "body ", "exit handler ", "back "}));
}

TEST(Calls, ScriptFilesByName) {
  ScriptGame game;
  game.script("start", R"(
.function $init@GLOBAL
    return
main:
    push_i 5
    push_s "lib"
    syscall call, 2                   ; lib's entry point with one argument
    push_s "call"
    syscall_discard debugout, 2
    push_i 6
    push_i &$double@GLOBAL
    push_s "LIB.mjs"
    syscall call_sub, 3
    push_s "call_sub"
    syscall_discard debugout, 2
    push_i 7
    push_s "$double@GLOBAL"
    push_s "lib"
    syscall call_sub_name, 3
    push_s "call_sub_name"
    syscall_discard debugout, 2
    push_s "exec"
    push_s "lib2"
    syscall exec, 2                   ; the thread starts over in lib2
    push_s "not reached"
    syscall_discard debugout, 1
)");
  game.script("lib", R"(
main:
    .local _x, -2
    load i _x
    push_i 100
    add_i
    return
.function $double@GLOBAL
    .local _x, -2
    load i _x
    push_i 2
    mul_i
    return
)");
  game.script("lib2", R"(
main:
    .local _word, -2
    load s _word
    push_s "in lib2:"
    syscall_discard debugout, 2
    syscall_discard system_end, 0
)");
  GameRun r = game.run({"--answer=retry"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"call 105 ", "call_sub 12 ", "call_sub_name 14 ", "in lib2: exec "}));
}

}  // namespace
