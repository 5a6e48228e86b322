// Input as scripts see it, end to end: a game assembled with quorel-asm
// runs headless on the virtual clock (10 ms a pass) with an --input file,
// and the script functions that the click regions and the mouse-event
// machine call write what they got to the debug log.
#include <gtest/gtest.h>

#include "tests/support/script_game.h"

using testing_support::GameRun;
using testing_support::ScriptGame;

namespace {

// A callback that logs "NAME a1 a2 ..." (its first `argc` arguments).
std::string logger(const std::string& name, int argc) {
  std::string s = ".function $" + name + "@GLOBAL\n";
  for (int i = 0; i < argc; ++i) s += "    .local _a" + std::to_string(i) + ", " + std::to_string(-2 - i) + "\n";
  for (int i = argc - 1; i >= 0; --i) s += "    load i _a" + std::to_string(i) + "\n";
  s += "    push_s \"" + name + "\"\n    syscall_discard debugout, " + std::to_string(argc + 1) + "\n    return\n";
  return s;
}

// Calls `builtin` once a pass, `passes` times, in the calling function.
std::string every_pass(const std::string& builtin, int passes) {
  static int n = 0;
  std::string label = "loop" + std::to_string(++n);
  return "    push_i " + std::to_string(passes) + "\n    st_i_pop @n\n" + label + ":\n    syscall_discard " +
         builtin + ", 0\n    push_i 10\n    syscall_discard wait, 1\n    load i --@n\n    jmp_true " + label + "\n";
}

std::string push_keys(const std::vector<std::string>& names) {
  std::string s;
  for (auto it = names.rbegin(); it != names.rend(); ++it)
    s += *it == "0" ? "    push_i 0\n" : "    push_i &$" + *it + "@GLOBAL\n";
  return s;
}

std::string trim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

GameRun play(const std::string& main_body, const std::string& functions, const std::string& input,
             std::vector<std::string> extra = {}) {
  ScriptGame game("CLIENT_WIDTH 64\nCLIENT_HEIGHT 48\n");
  game.script("start", ".function $init@GLOBAL\n    return\nmain:\n" + main_body +
                           "    syscall_discard system_end, 0\n" + functions);
  game.file("input.txt", input);
  std::vector<std::string> options = {"--answer=retry", "--input=" + game.dir.path() + "/input.txt"};
  options.insert(options.end(), extra.begin(), extra.end());
  GameRun r = game.run(options);
  for (std::string& line : r.log) line = trim(line);
  return r;
}

TEST(InputScripts, MouseEventMachineClicksDoubleClicksAndDrags) {
  const std::vector<std::string> left = {"press", "click", "double", "drag_start", "drag_move", "drag_end",
                                         "drag_cancel"};
  std::string functions = logger("wheel", 3);
  for (const std::string& name : left) functions += logger(name, 2);
  GameRun r = play(push_keys(left) + "    syscall_discard set_mouse_capture_left, 7\n" +
                       push_keys({"0", "0", "wheel"}) + "    syscall_discard mouse_capture_init, 3\n" +
                       every_pass("mouse_capture_poll", 260) + "    syscall_discard mouse_capture_end, 0\n",
                   functions,
                   "100 mouse click left 10 10\n"
                   "600 mouse double left 30 30\n"
                   "# held still for 300 ms: a drag\n"
                   "1200 mouse down left 20 20\n"
                   "1500 mouse up left 20 20\n"
                   "# moved at once, then the right button: the drag is cancelled\n"
                   "1800 mouse down left 5 5\n"
                   "+50 mouse move 30 5\n"
                   "+100 mouse down right 30 5\n"
                   "+100 mouse up right 30 5\n"
                   "+10 mouse up left 30 5\n"
                   "2300 wheel 3\n"
                   "2400 wheel -120\n");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  // Repeated drag moves say the same each pass.
  std::vector<std::string> log;
  for (const std::string& line : r.log)
    if (log.empty() || line != log.back() || line.rfind("drag_move", 0) != 0) log.push_back(line);
  EXPECT_EQ(log, (std::vector<std::string>{
                     "press 10 10", "click 10 10",                     // reported once 250 ms have passed
                     "press 30 30", "press 30 30", "double 30 30",     // the second press is the double click
                     "press 20 20", "drag_start 20 20", "drag_move 20 20", "drag_end 20 20",
                     "press 5 5", "drag_start 5 5", "drag_move 30 5", "drag_cancel 5 5",
                     "wheel 30 5 1", "wheel 30 5 2"}));
}

TEST(InputScripts, ClickRegionsHoverClickAndDepth) {
  std::string functions = logger("enter", 5) + logger("leave", 5) + logger("click", 5) + logger("decide", 2) +
                          logger("cancel", 2) + logger("keys", 3) +
                          ".function $deeper@GLOBAL\n" + every_pass("region_events", 30) + "    return\n";
  std::string add_regions;
  for (int id : {1, 2})
    add_regions += push_keys({"enter", "leave", "click"}) + "    push_i 20\n    push_i 20\n    push_i 0\n    push_i " +
                   std::to_string(id == 1 ? 0 : 30) + "\n    push_i " + std::to_string(id) +
                   "\n    syscall_discard region_add, 8\n";
  GameRun r = play("    syscall_discard region_clear, 0\n" + add_regions +
                       push_keys({"decide", "cancel", "0", "keys"}) + "    syscall_discard region_handlers, 4\n" +
                       every_pass("region_events", 90) +
                       // Deeper than the regions: they do not react until the call returns.
                       "    push_s \"deeper\"\n    syscall_discard debugout, 1\n"
                       "    call_fn_discard $deeper@GLOBAL, 0\n"
                       "    push_s \"back\"\n    syscall_discard debugout, 1\n" +
                       every_pass("region_events", 20) +
                       // The keys slot outlives region_clear; decide does not.
                       "    syscall_discard region_clear, 0\n" + every_pass("region_events", 30),
                   functions,
                   "100 mouse move 5 5\n"
                   "200 mouse move 35 5\n"
                   "300 mouse click left 35 5\n"
                   "400 mouse click left 60 40\n"
                   "500 mouse click right 60 40\n"
                   "600 key press down\n"
                   "700 wheel 1\n"
                   "950 mouse move 5 5\n"
                   "1250 key press up\n"
                   "1450 key press down\n"
                   "1500 mouse click left 60 40\n");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{
                       "enter 1 0 0 20 20", "leave 1 0 0 20 20", "enter 2 30 0 20 20", "click 2 30 0 20 20",
                       "decide 60 40", "leave 2 30 0 20 20",  // a click outside: decide, and the cursor left
                       "cancel 60 40", "keys 60 40 16", "keys 60 40 1",
                       "deeper", "back", "enter 1 0 0 20 20",
                       "keys 5 5 8", "keys 5 5 16"}));
}

// A region holds its left and top edges and ends just before x + w and
// y + h, as the game's pixels are counted.
TEST(InputScripts, ARegionEndsBeforeItsRightAndBottomEdges) {
  GameRun r = play("    syscall_discard region_clear, 0\n" + push_keys({"enter", "leave", "click"}) +
                       "    push_i 20\n    push_i 20\n    push_i 10\n    push_i 10\n    push_i 1\n"
                       "    syscall_discard region_add, 8\n" +
                       every_pass("region_events", 70),
                   logger("enter", 1) + logger("leave", 1) + logger("click", 1),
                   "100 mouse move 29 29\n"
                   "200 mouse move 30 29\n"
                   "300 mouse move 29 29\n"
                   "400 mouse move 29 30\n"
                   "500 mouse move 10 10\n"
                   "600 mouse move 9 10\n");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"enter 1", "leave 1", "enter 1", "leave 1", "enter 1", "leave 1"}));
}

TEST(InputScripts, ClickWaitsKeysAndBlocking) {
  // click_wait returns the event bits; mouse_disable hides everything,
  // keys included; Space decides unless ERASEONSPACE makes it erase.
  const std::string wait_and_log = "    syscall click_wait, 0\n    syscall timer, 0\n    push_s \"bits\"\n"
                                   "    syscall_discard debugout, 3\n";
  const std::string body = wait_and_log + wait_and_log + "    syscall_discard mouse_disable, 0\n" +
                           "    push_i 300\n    syscall_discard wait, 1\n    syscall_discard mouse_enable, 0\n" +
                           wait_and_log + wait_and_log + wait_and_log;
  const std::string input = "100 key press x\n"
                            "200 wheel -1\n"
                            "250 key press return\n"
                            "300 mouse click left 10 10\n"
                            "+100 mouse click right 10 10\n"
                            "430 key press escape\n"
                            "800 key press space\n"
                            "900 mouse click middle 1 1\n";
  GameRun r = play(body, "", input);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"bits 1110 1", "bits 1210 16", "bits 1810 1", "bits 1910 4"}));

  ScriptGame erase("CLIENT_WIDTH 64\nCLIENT_HEIGHT 48\nERASEONSPACE 1\n");
  erase.script("start", ".function $init@GLOBAL\n    return\nmain:\n" + wait_and_log + wait_and_log +
                            "    syscall_discard system_end, 0\n");
  erase.file("input.txt", "100 key press space\n200 key press return\n");
  GameRun e = erase.run({"--input=" + erase.dir.path() + "/input.txt"});
  ASSERT_EQ(e.exit_code, 0) << e.err;
  EXPECT_EQ(e.log, (std::vector<std::string>{"bits 1110 32 ", "bits 1210 1 "}));
}

TEST(InputScripts, MalformedInputFilesNameTheLine) {
  for (auto [text, expected] : std::vector<std::pair<std::string, std::string>>{
           {"100 mouse click left 1 1\n\n# fine so far\n250 mouse hop left 1 1\n", "line 4: unknown mouse action 'hop'"},
           {"abc key press x\n", "line 1: bad time 'abc'"},
           {"10 key press nosuchkey\n", "line 1: unknown key 'nosuchkey'"},
           {"10 pad press z\n", "line 1: unknown gamepad button 'z'"},
           {"10 wheel\n", "line 1: expected: TIME wheel STEPS"},
           {"10 mouse move 1\n", "line 1: expected: TIME mouse move X Y"},
           {"10 jump\n", "line 1: unknown event 'jump'"},
       }) {
    GameRun r = play("", "", text);
    EXPECT_EQ(r.exit_code, 2) << text;
    EXPECT_NE(r.err.find("input.txt, " + expected), std::string::npos) << r.err;
  }
}

TEST(InputScripts, BadInputDoesNotHurt) {
  // Keys past 147, coordinates outside the window, huge wheel steps, focus
  // changes and a callback that does not exist: the script goes on, and the
  // missing function is reported as every unknown function is.
  GameRun r = play("    syscall_discard region_clear, 0\n" + push_keys({"0", "0", "0", "0"}) +
                       "    push_i 0x7777\n    syscall_discard region_handlers, 1\n" +
                       every_pass("region_events", 40) + "    syscall mouse_x, 0\n    syscall mouse_y, 0\n"
                       "    push_s \"pos\"\n    syscall_discard debugout, 3\n",
                   "",
                   "50 key press 200\n"
                   "60 key down 255\n"
                   "70 mouse move -5 9999\n"
                   "80 wheel 2147483647\n"
                   "90 wheel -2147483648\n"
                   "95 focus off\n"
                   "100 mouse move 7 8\n"
                   "110 mouse click left 99999 -3\n"
                   "200 mouse click left 7 8\n",
                   {"--answer=cancel"});
  // The click calls decide = 0x7777, which no script defines: the error box
  // is answered with Cancel, which ends the program.
  EXPECT_EQ(r.exit_code, 255) << r.err;
  ASSERT_EQ(r.boxes.size(), 1u) << r.err;
  EXPECT_NE(r.boxes[0].find("7777"), std::string::npos) << r.boxes[0];
}

}  // namespace
