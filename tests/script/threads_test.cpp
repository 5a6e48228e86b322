// Threads, the scheduler's order, waits on the virtual clock, events.
// The virtual clock starts at 1000 and moves 10 ms per scheduler pass; the
// initialisation run takes the first pass, so the main thread starts at 1010.
#include <gtest/gtest.h>

#include "tests/support/script_game.h"

using testing_support::GameRun;
using testing_support::ScriptGame;

namespace {

GameRun run_start(const std::string& source, std::vector<std::string> options = {"--answer=retry"}) {
  ScriptGame game;
  game.script("start", source);
  return game.run(options);
}

// Logs "<label> <timer>".
std::string log_time(const std::string& label) {
  return "    syscall timer, 0\n    push_s \"" + label + "\"\n    syscall_discard debugout, 2\n";
}

TEST(Threads, TurnsAndWaitsOnTheVirtualClock) {
  GameRun r = run_start(".function $init@GLOBAL\n    return\nmain:\n" + log_time("main") +
                        "    push_i &$a@GLOBAL\n    syscall thread_create, 1\n"
                        "    push_i &$b@GLOBAL\n    syscall thread_create, 1\n"
                        "    push_s \"ids\"\n    syscall_discard debugout, 3\n"
                        "    push_i 25\n    syscall_discard wait, 1\n" +
                        log_time("main") +
                        "    syscall_discard system_end, 0\n"
                        ".function $a@GLOBAL\n" +
                        log_time("A") + "    push_i 10\n    syscall_discard wait, 1\n" + log_time("A") +
                        "    return\n"
                        ".function $b@GLOBAL\n" +
                        log_time("B") + "    push_i 0\n    syscall_discard wait, 1\n" + log_time("B") +
                        "    return\n");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // Threads made during a pass run from the next one, in the order made.
  EXPECT_EQ(r.log, (std::vector<std::string>{"main 1010 ", "ids 2 1 ", "A 1020 ", "B 1020 ", "A 1030 ", "B 1030 ",
                                             "main 1040 "}));
}

// When the main thread ends, every other running thread is asked to end:
// exit handlers run, loops stop, and the game starts again from its title.
TEST(Threads, TheEndOfTheMainThreadEndsTheOthers) {
  GameRun r = run_start(R"(
.function $init@GLOBAL
    return
main:
    push_s "main"
    syscall_discard debugout, 1
    push_i &$ticker@GLOBAL
    syscall_discard thread_create, 1
    push_i 25
    syscall_discard wait, 1
    return
.function $ticker@GLOBAL
    set_exit cleanup
again:
    push_s "tick"
    syscall_discard debugout, 1
    push_i 10
    syscall_discard wait, 1
    jmp again
cleanup:
    push_s "ticker cleanup"
    syscall_discard debugout, 1
    push_i 0
    return
)", {"--answer=retry", "--max-frames=12"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  ASSERT_GE(r.log.size(), 7u) << r.err;
  // The ticker logs on every pass until the end of the main thread is taken.
  EXPECT_EQ(std::vector<std::string>(r.log.begin(), r.log.begin() + 7),
            (std::vector<std::string>{"main ", "tick ", "tick ", "tick ", "tick ", "ticker cleanup ", "main "}));
}

TEST(Threads, EndingExitHandlersRestartsAndChildren) {
  GameRun r = run_start(R"(
.function $init@GLOBAL
    return
main:
    push_i &$worker@GLOBAL
    syscall thread_create, 1
    st_i_pop @worker
    push_i &$parent@GLOBAL
    syscall_discard thread_create, 1
    push_i 30
    syscall_discard wait, 1
    load i @worker
    syscall_discard thread_end, 1          ; the worker runs its exit handler
    push_i 30
    syscall_discard wait, 1
    load i @worker
    syscall thread_is_exist, 1
    push_s "worker exists"
    syscall_discard debugout, 2
    push_i 0
    syscall_discard thread_end, 1          ; thread 0 is refused
    syscall_discard system_end, 0

.function $worker@GLOBAL
    set_exit cleanup
    push_i -1
    syscall_discard wait, 1                ; until asked to end
    push_s "worker woke"
    syscall_discard debugout, 1
    return
cleanup:
    push_s "worker cleanup"
    syscall_discard debugout, 1
    push_i 0
    return

; The parent makes a child and ends; the child is asked to end with it and
; restarts once at its restart entry.
.function $parent@GLOBAL
    push_i &$child@GLOBAL
    syscall_discard thread_create_child, 1
    push_i 15
    syscall_discard wait, 1
    push_s "parent ends"
    syscall_discard debugout, 1
    return

.function $child@GLOBAL
    push_i &$again@GLOBAL
    syscall_discard thread_restart_entry, 1
    push_i -1
    syscall_discard wait, 1
    push_s "child ends"
    syscall_discard debugout, 1
    return

.function $again@GLOBAL
    push_s "child restarted"
    syscall_discard debugout, 1
    return
)");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // At 1040 the worker (made first) wakes, runs its exit handler and goes;
  // the parent ends; its child is asked to end with it, and without exit
  // handlers it restarts at once at its restart entry (its wait never returns).
  ASSERT_EQ(r.log.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(r.log.begin(), r.log.begin() + 5),
            (std::vector<std::string>{"worker woke ", "worker cleanup ", "parent ends ", "child restarted ",
                                      "worker exists 0 "}));
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_NE(r.boxes[0].find("thread(0)の終了には$system_end()を使用してください"), std::string::npos);
}

// A child ends with its parent however the parent ends: here the parent is
// ended from outside while both wait without limit.
TEST(Threads, AChildEndsWhenItsParentIsEndedFromOutside) {
  GameRun r = run_start(R"(
.function $init@GLOBAL
    return
main:
    push_i &$parent@GLOBAL
    syscall thread_create, 1
    st_i_pop @parent
    push_i 30
    syscall_discard wait, 1
    load i @parent
    syscall_discard thread_end, 1
    push_i 40
    syscall_discard wait, 1
    load i @parent
    syscall thread_is_exist, 1
    load i @child
    syscall thread_is_exist, 1
    push_s "parent and child exist"
    syscall_discard debugout, 3
    syscall_discard system_end, 0

.function $parent@GLOBAL
    push_i &$child@GLOBAL
    syscall thread_create_child, 1
    st_i_pop @child
    push_i -1
    syscall_discard wait, 1
    push_s "parent woke"
    syscall_discard debugout, 1
    return

.function $child@GLOBAL
    set_exit cleanup
    push_i -1
    syscall_discard wait, 1
    push_s "child woke"
    syscall_discard debugout, 1
    return
cleanup:
    push_s "child cleanup"
    syscall_discard debugout, 1
    push_i 0
    return
)");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // The child is asked to end at the close of the pass in which its parent
  // was: it leaves its wait for its exit handler.
  EXPECT_EQ(r.log, (std::vector<std::string>{"parent woke ", "child cleanup ", "parent and child exist 0 0 "}));
}

// Handlers of one event are kept in a list: event_add appends, event_add_first
// puts the handler ahead of those already there. Raising injects one frame per
// handler in list order, so in one thread the last in the list runs first.
TEST(Threads, HandlersOfOneEventFollowTheirListOrder) {
  GameRun r = run_start(R"(
.function $init@GLOBAL
    return
main:
    push_i &$one@GLOBAL
    push_s "e"
    syscall_discard event_add, 2
    push_i &$two@GLOBAL
    push_s "e"
    syscall_discard event_add_first, 2
    push_i &$three@GLOBAL
    push_s "e"
    syscall_discard event_add, 2
    push_s "e"
    syscall_discard event_raise, 1
    push_s "raised"
    syscall_discard debugout, 1
    syscall_discard system_end, 0

.function $one@GLOBAL
    push_s "one"
    syscall_discard debugout, 1
    push_i 0
    return
.function $two@GLOBAL
    push_s "two"
    syscall_discard debugout, 1
    push_i 0
    return
.function $three@GLOBAL
    push_s "three"
    syscall_discard debugout, 1
    push_i 0
    return
)");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // The list is two, one, three.
  EXPECT_EQ(r.log, (std::vector<std::string>{"three ", "one ", "two ", "raised "}));
}

TEST(Threads, EventsRunInTheirThreads) {
  GameRun r = run_start(R"(
.function $init@GLOBAL
    push_i &$on_ping@GLOBAL
    push_s "ping"
    syscall_discard event_add, 2           ; permanent: added while initialising
    return

main:
    push_i &$listener@GLOBAL
    syscall thread_create, 1
    st_i_pop @listener
    push_i 20                              ; the listener adds its handler meanwhile
    syscall_discard wait, 1
    push_i 7
    push_s "pong"
    syscall event_raise, 2                 ; to the listener's handler, in its thread
    push_s "raise gives"
    syscall_discard debugout, 2
    push_i 3
    push_s "ping"
    syscall_discard event_raise, 2         ; to the permanent handler
    push_i 20
    syscall_discard wait, 1
    push_i 9
    push_s "pong"
    load i @listener
    syscall_discard event_raise_to, 3      ; into this thread instead
    push_i 20
    syscall_discard wait, 1
    syscall_discard system_end, 0

.function $on_ping@GLOBAL
    .local _n, -2
    load i _n
    push_s "ping in thread 0 with"
    syscall_discard debugout, 2
    push_i 0
    return

.function $listener@GLOBAL
    push_i &$on_pong@GLOBAL
    push_s "pong"
    syscall_discard event_add, 2
    push_i -1
    syscall_discard wait, 1
    return

.function $on_pong@GLOBAL
    .local _n, -2
    load i _n
    push_s "pong with"
    syscall_discard debugout, 2
    push_i 0
    return
)");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"raise gives 0 ", "ping in thread 0 with 3 ", "pong with 7 ",
                                             "pong with 9 "}));
}

TEST(Threads, TimedBuiltins) {
  GameRun r = run_start(R"(
.function $init@GLOBAL
    return
main:
    push_i 40
    push_i 990                     ; a base in the past, within 10 x 40 ms
    syscall wait_from, 2
    push_s "wait_from"
    syscall_discard debugout, 2
    push_i 100
    push_i 200
    syscall timer, 0
    push_i 50
    minus_i
    syscall timer_ratio, 3         ; 100 x 50 / 200
    push_s "ratio"
    syscall_discard debugout, 2
    syscall draw_wait, 0
    pop
    syscall timer, 0
    push_s "after draw_wait"
    syscall_discard debugout, 2
    syscall_discard system_end, 0
)");
  EXPECT_EQ(r.exit_code, 0) << r.err;
  // draw_wait ends on the next pass: time moved and a frame was counted.
  EXPECT_EQ(r.log, (std::vector<std::string>{"wait_from 1030 ", "ratio 25 ", "after draw_wait 1040 "}));
}

}  // namespace
