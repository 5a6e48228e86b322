// Sprite built-ins as scripts use them, on the virtual clock (10 ms a
// pass, a frame every pass): positions, waits, fades, cells, rotation and
// hiding, read back through the debug log and the front buffer's pixels.
#include <gtest/gtest.h>

#include "tests/support/script_game.h"

using testing_support::GameRun;
using testing_support::ScriptGame;

namespace {

const char* kEnvironment = "CLIENT_WIDTH 32\nCLIENT_HEIGHT 32\n";

GameRun run_main(const std::string& body, const std::string& functions = "") {
  ScriptGame game(kEnvironment);
  game.script("start", ".function $init@GLOBAL\n    return\nmain:\n" + body +
                           "    syscall system_end, 0\n" + functions);
  return game.run({"--answer=retry"});
}

// Small pieces of assembly. Arguments are pushed last to first.
std::string push(const std::vector<std::string>& args) {
  std::string out;
  for (auto it = args.rbegin(); it != args.rend(); ++it) {
    const std::string& a = *it;
    if (a[0] == '@') out += "    load i " + a + "\n";
    else if (a.find('.') != std::string::npos) out += "    push_f " + a + "\n";
    else out += "    push_i " + a + "\n";
  }
  return out;
}
std::string call(const std::string& name, const std::vector<std::string>& args) {
  return push(args) + "    syscall_discard " + name + ", " + std::to_string(args.size()) + "\n";
}
std::string keep(const std::string& var, const std::string& name, const std::vector<std::string>& args) {
  return push(args) + "    syscall " + name + ", " + std::to_string(args.size()) + "\n    st_i_pop " + var + "\n";
}
std::string log(const std::string& name, const std::vector<std::string>& args) {
  return push(args) + "    syscall " + name + ", " + std::to_string(args.size()) + "\n    syscall debugout, 1\n";
}
std::string wait(int ms) { return call("wait", {std::to_string(ms)}) + "    syscall_discard draw_wait, 0\n"; }
// A page of one colour (0x00BBGGRR).
std::string page(const std::string& var, int w, int h, int colour) {
  return keep(var, "page_create", {std::to_string(w), std::to_string(h)}) +
         call("grp_boxfill", {var, "0", "0", std::to_string(w), std::to_string(h), std::to_string(colour)});
}
std::string screen_pixel(int x, int y) {
  return keep("@fb", "get_frontbuffer", {}) + log("grp_point_get", {"@fb", std::to_string(x), std::to_string(y)});
}

TEST(SpriteScripts, MovementOverTime) {
  GameRun r = run_main(page("@p", 4, 4, 0xFFFFFF) + keep("@s", "sprite_create", {"@p"}) +
                       log("sprite_get_pos_x", {"@s"}) +  // never moved: 0
                       // Two moves in one frame: the timed one starts where the instant one ends.
                       call("sprite_move", {"@s", "50", "60"}) + call("sprite_move", {"@s", "150", "60", "1000"}) +
                       wait(500) + log("sprite_get_pos_x", {"@s"}) + log("sprite_is_move", {"@s"}) +
                       call("sprite_move", {"@s", "0", "0"}) + call("sprite_move", {"@s", "100", "0", "1000"}) +
                       wait(250) + log("sprite_get_pos_x", {"@s"}) +
                       call("sprite_move_wait", {"@s"}) + log("timer", {}) +
                       log("sprite_get_pos_x", {"@s"}) + log("sprite_is_move", {"@s"}) +
                       log("sprite_get_pos_y", {"@s"}) + keep("@t0", "timer", {}) +
                       call("sprite_move", {"@s", "8", "8", "300"}) + call("sprite_move_wait", {"@s"}) +
                       "    syscall timer, 0\n    load i @t0\n    minus_i\n    syscall debugout, 1\n" +
                       screen_pixel(8, 8) + screen_pixel(7, 7));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ASSERT_GE(r.log.size(), 10u) << r.err;
  EXPECT_EQ(r.log[0], "0 ");
  EXPECT_EQ(r.log[1], "100 ");  // 50 + 500 × 100 / 1000
  EXPECT_EQ(r.log[2], "1 ");
  EXPECT_EQ(r.log[3], "25 ");
  EXPECT_EQ(r.log[5], "100 ");
  EXPECT_EQ(r.log[6], "0 ");
  EXPECT_EQ(r.log[7], "0 ");
  EXPECT_EQ(r.log[8], "310 ") << "the wait ends on the pass after the frame that arrived";
  EXPECT_EQ(r.log[9], "16777215 ");
  EXPECT_EQ(r.log[10], "0 ");
}

TEST(SpriteScripts, TransparencySequencesAndTheirWaits) {
  // A white square over black: the screen pixel shows the transparency.
  GameRun r = run_main(page("@bg", 32, 32, 0) + keep("@b", "sprite_create", {"@bg"}) +
                       call("sprite_move", {"@b", "0", "0"}) + page("@p", 4, 4, 0xFFFFFF) +
                       keep("@s", "sprite_create", {"@p"}) + call("sprite_move", {"@s", "0", "0"}) +
                       keep("@t0", "timer", {}) +
                       // Loops: the wait ends after the first pass of 1000 ms.
                       call("sprite_alfa_define", {"@s", "0", "500", "255", "500"}) +
                       call("sprite_alfa_wait", {"@s"}) +
                       "    syscall timer, 0\n    load i @t0\n    minus_i\n    syscall debugout, 1\n" +
                       // A final value stops the sequence there.
                       call("sprite_alfa_define", {"@s", "0", "500", "255", "500", "128"}) +
                       call("sprite_alfa_wait", {"@s"}) + wait(0) + screen_pixel(1, 1) +
                       // A fade from 128 to 0 over 400 ms, seen at 200 ms: 64.
                       call("sprite_alfa_set", {"@s", "0", "400"}) + wait(200) + screen_pixel(1, 1) +
                       call("sprite_alfa_wait", {"@s"}) + wait(0) + screen_pixel(1, 1) +
                       // Set at once; a transparency for a sequence that no longer runs changes nothing.
                       call("sprite_alfa_set", {"@s", "255"}) + call("sprite_tl_set", {"@s", "0"}) + wait(50) +
                       screen_pixel(1, 1));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ASSERT_EQ(r.log.size(), 5u) << r.err;
  EXPECT_EQ(r.log[0], "1010 ");
  auto grey = [](int t) {
    int v = (t + 1) * 0 + (256 - t) * 255;
    v >>= 8;
    return std::to_string(v | v << 8 | v << 16) + " ";
  };
  EXPECT_EQ(r.log[1], grey(128));
  EXPECT_EQ(r.log[2], grey(64));
  EXPECT_EQ(r.log[3], grey(0));
  EXPECT_EQ(r.log[4], "0 ");
}

// A sequence's values beyond full transparency stop at 255: the sprite is
// then wholly transparent, not a shade short of it.
TEST(SpriteScripts, SequenceValuesStopAtFullTransparency) {
  GameRun r = run_main(page("@bg", 32, 32, 0) + keep("@b", "sprite_create", {"@bg"}) +
                       call("sprite_move", {"@b", "0", "0"}) + page("@p", 4, 4, 0xFFFFFF) +
                       keep("@s", "sprite_create", {"@p"}) + call("sprite_move", {"@s", "0", "0"}) +
                       call("sprite_alfa_define", {"@s", "0", "100", "400", "100", "400"}) +
                       call("sprite_alfa_wait", {"@s"}) + wait(0) + screen_pixel(1, 1));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"0 "}));
}

// A fade moves in proportion to the time along it, from the value it starts
// at towards its target, not only at its midpoint.
TEST(SpriteScripts, FadesMoveInProportionToTheirTime) {
  GameRun r = run_main(page("@bg", 32, 32, 0) + keep("@b", "sprite_create", {"@bg"}) +
                       call("sprite_move", {"@b", "0", "0"}) + page("@p", 4, 4, 0xFFFFFF) +
                       keep("@s", "sprite_create", {"@p"}) + call("sprite_move", {"@s", "0", "0"}) +
                       call("sprite_alfa_set", {"@s", "128"}) + wait(0) +
                       // 128 to 0 over 400 ms: a quarter of the way at 100 ms.
                       call("sprite_alfa_set", {"@s", "0", "400"}) + wait(100) + screen_pixel(1, 1) +
                       call("sprite_alfa_wait", {"@s"}) + wait(0) +
                       // 0 to 200 over 400 ms: three quarters at 300 ms.
                       call("sprite_alfa_set", {"@s", "200", "400"}) + wait(300) + screen_pixel(1, 1));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ASSERT_EQ(r.log.size(), 2u) << r.err;
  auto grey = [](int t) {
    int v = ((256 - t) * 255) >> 8;
    return std::to_string(v | v << 8 | v << 16) + " ";
  };
  EXPECT_EQ(r.log[0], grey(96));
  EXPECT_EQ(r.log[1], grey(150));
}

// A sprite showing one cell of a larger sheet repaints the area it covers on
// the screen, wherever that cell lies on the sheet: moving it leaves no trail.
TEST(SpriteScripts, ASpriteShowingPartOfASheetLeavesNoTrailWhenItMoves) {
  std::string sheet = keep("@sheet", "page_create", {"32", "16"});
  for (int n = 0; n < 8; ++n)
    sheet += call("grp_boxfill", {"@sheet", std::to_string(8 * (n % 4)), std::to_string(8 * (n / 4)), "8", "8",
                                  std::to_string(n + 1)});
  GameRun r = run_main(page("@bg", 32, 32, 16) + keep("@b", "sprite_create", {"@bg"}) +
                       call("sprite_move", {"@b", "0", "0"}) + sheet +
                       keep("@a", "sprite_create", {"@sheet", "16", "8", "8", "8"}) +  // cell 6
                       call("sprite_move", {"@a", "0", "0"}) + wait(0) + screen_pixel(0, 0) + screen_pixel(7, 7) +
                       call("sprite_move", {"@a", "4", "20"}) + wait(0) + screen_pixel(0, 0) + screen_pixel(7, 7) +
                       screen_pixel(4, 20) + screen_pixel(11, 27));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"7 ", "7 ", "16 ", "16 ", "7 ", "7 "}));
}

TEST(SpriteScripts, CellsSelectTheirPartOfTheSheetAndPhaseLockedSequencesAgree) {
  // A sheet of 4 × 2 cells of 8 × 8, cell n filled with colour n + 1.
  std::string sheet = keep("@sheet", "page_create", {"32", "16"});
  for (int n = 0; n < 8; ++n)
    sheet += call("grp_boxfill", {"@sheet", std::to_string(8 * (n % 4)), std::to_string(8 * (n / 4)), "8", "8",
                                  std::to_string(n + 1)});
  GameRun r = run_main(
      sheet + keep("@a", "sprite_create", {"@sheet", "0", "0", "8", "8"}) + call("sprite_move", {"@a", "0", "0"}) +
      call("sprite_animate_define", {"@a", "5", "100", "2"}) +  // cell 5, then 2 for good
      wait(0) + screen_pixel(0, 0) + call("sprite_animate_wait", {"@a"}) + wait(0) + screen_pixel(0, 0) +
      // Two sprites locked to the same phase although defined 30 ms apart.
      call("sprite_animate_define_abs", {"@a", "1", "100", "3", "100"}) + wait(30) +
      keep("@b", "sprite_create", {"@sheet", "0", "0", "8", "8"}) + call("sprite_move", {"@b", "16", "16"}) +
      call("sprite_animate_define_abs", {"@b", "1", "100", "3", "100"}) + wait(0) + screen_pixel(0, 0) +
      // The next reading is of the frame one step (100 ms) later.
      screen_pixel(16, 16) + wait(90) + screen_pixel(0, 0) + screen_pixel(16, 16) +
      // Cell -2: the origin given at creation.
      call("sprite_animate_define", {"@a", "-2"}) + wait(0) + screen_pixel(0, 0));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ASSERT_EQ(r.log.size(), 7u) << r.err;
  EXPECT_EQ(r.log[0], "6 ") << "cell 5 of a 4-column sheet is (8, 8)";
  EXPECT_EQ(r.log[1], "3 ");
  EXPECT_EQ(r.log[2], r.log[3]);
  EXPECT_EQ(r.log[4], r.log[5]);
  EXPECT_NE(r.log[2], r.log[4]);
  EXPECT_EQ(r.log[6], "1 ");
}

TEST(SpriteScripts, PushAndPopHideEverySprite) {
  // While hidden, the sprite no longer covers what is drawn on the screen page.
  auto paint = [](int colour) {
    return keep("@fb", "get_frontbuffer", {}) + call("grp_boxfill", {"@fb", "0", "0", "4", "4", std::to_string(colour)});
  };
  GameRun r = run_main(page("@p", 4, 4, 0x0000FF) + keep("@s", "sprite_create", {"@p"}) +
                       call("sprite_move", {"@s", "0", "0"}) + wait(0) + screen_pixel(0, 0) +
                       "    syscall_discard sprite_push, 0\n    syscall_discard sprite_push, 0\n" + paint(0x00FF00) +
                       wait(0) + screen_pixel(0, 0) + "    syscall_discard sprite_pop, 0\n" + paint(0x000080) +
                       wait(0) + screen_pixel(0, 0) + "    syscall_discard sprite_pop, 0\n" + wait(0) +
                       screen_pixel(0, 0));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"255 ", "65280 ", "128 ", "255 "}));
}

TEST(SpriteScripts, RotationSpritesTurnAboutTheirCentre) {
  // Left half red, right half blue, 8 × 4, turning about (16, 16) over grey.
  std::string setup = page("@bg", 32, 32, 0x808080) + keep("@b", "sprite_create", {"@bg"}) +
                      call("sprite_move", {"@b", "0", "0"}) + page("@p", 8, 4, 0xFF0000) +
                      call("grp_boxfill", {"@p", "0", "0", "4", "4", "255"}) +
                      keep("@s", "sprite_create_ext", {"@p"}) + call("sprite_move", {"@s", "16", "16"});
  GameRun r = run_main(setup + wait(0) + screen_pixel(13, 16) + screen_pixel(18, 16) +
                       // Endless: 90 degrees a second, still turning at 2000 ms.
                       call("sprite_rotate", {"@s", "90.0", "1000", "1"}) + wait(2000) + screen_pixel(13, 16) +
                       screen_pixel(18, 16) +
                       // Once: a quarter turn further, then it stays.
                       call("sprite_rotate", {"@s", "270.0", "1000"}) + wait(2000) + screen_pixel(16, 13) +
                       screen_pixel(16, 18) +
                       // No alpha page: the corners of the square the turned picture leaves are black.
                       screen_pixel(11, 11) + screen_pixel(10, 10));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"255 ", "16711680 ", "16711680 ", "255 ", "16711680 ", "255 ", "0 ",
                                             "8421504 "}));
}

TEST(SpriteScripts, PasteDrawsOnceIntoAPage) {
  auto at = [](int x, int y) { return log("grp_point_get", {"@q", std::to_string(x), std::to_string(y)}); };
  GameRun r = run_main(page("@p", 4, 4, 0x0000FF) + keep("@s", "sprite_create", {"@p"}) + page("@q", 8, 8, 0) +
                       call("sprite_paste", {"@s", "@q", "2", "2"}) + at(2, 2) + at(1, 1) +
                       // Without a position: where the sprite stands, its move advanced first.
                       call("sprite_move", {"@s", "4", "4"}) + call("sprite_paste", {"@s", "@q"}) + at(7, 7) +
                       call("sprite_alfa_set", {"@s", "128"}) + call("sprite_paste", {"@s", "@q", "-2", "-2"}) +
                       at(0, 0) + at(1, 1) + at(2, 2) + call("sprite_alfa_set", {"@s", "255"}) +
                       call("grp_boxfill", {"@q", "0", "0", "1", "1", "0"}) + call("sprite_paste", {"@s", "@q", "0", "0"}) +
                       at(0, 0));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string half = std::to_string((128 * 255) >> 8) + " ";
  EXPECT_EQ(r.log, (std::vector<std::string>{"255 ", "0 ", "255 ", half, half, "255 ", "0 "}));
}

TEST(SpriteScripts, TheInvalidateLockHoldsTheScreenStill) {
  GameRun r = run_main(page("@p", 4, 8, 0x0000FF) + keep("@s", "sprite_create", {"@p"}) +
                       call("sprite_move", {"@s", "0", "0"}) + wait(0) + screen_pixel(0, 0) +
                       "    syscall_discard invalidate_disable, 0\n" + call("grp_boxfill", {"@p", "0", "0", "4", "8", "65280"}) +
                       wait(100) + screen_pixel(0, 0) +
                       "    syscall_discard invalidate_enable, 0\n    syscall_discard invalidate_enable, 0\n" +
                       wait(50) + screen_pixel(0, 0) + call("invalidate_rect", {"@p", "0", "0", "1", "1"}) + wait(0) +
                       screen_pixel(0, 0) + screen_pixel(0, 3) + screen_pixel(0, 4));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  // Changes under the lock are not recorded: only the explicit mark shows
  // them, and only in its band (rows 0-3).
  EXPECT_EQ(r.log, (std::vector<std::string>{"255 ", "255 ", "255 ", "65280 ", "65280 ", "255 "}));
}

TEST(SpriteScripts, BadHandlesAndArgumentsAreReportedAndSurvived) {
  GameRun r = run_main(call("sprite_release", {"12345"}) + call("sprite_move", {"0", "1", "2"}) +
                       log("sprite_get_page", {"77"}) + log("sprite_get_pos_x", {"77"}) +
                       log("sprite_is_exist", {"77"}) + call("sprite_priority_high", {"77"}) +
                       page("@p", 4, 4, 1) + page("@q", 4, 4, 1) + keep("@s", "sprite_create", {"@p"}) +
                       call("sprite_priority_low", {"@s", "77"}) + call("sprite_create", {"@q", "0", "0"}) +
                       log("sprite_create", {"@q", "0", "0", "0", "-3"}) + call("sprite_create", {"123"}) +
                       call("sprite_create", {"@q", "0", "0", "4", "4", "999"}) + call("sprite_paste", {"@s", "999"}) +
                       // Far off the screen, huge scales, a released page under a sprite.
                       call("sprite_move", {"@s", "2147483647", "-2147483647", "5"}) +
                       call("sprite_xmodify_set", {"@s", "100000000.0"}) + wait(20) + call("page_release", {"@p"}) +
                       call("sprite_release", {"@s"}) + call("page_release", {"@p"}) + log("page_is_exist", {"@p"}));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  std::vector<std::string> texts;
  for (const std::string& box : r.boxes) {
    // "<caption> | <positions> : <text> | retry/cancel -> retry"
    size_t first = box.find(" | "), last = box.rfind(" | ");
    std::string text = box.substr(first + 3, last - first - 3);
    size_t colon = text.find(") : ");
    texts.push_back(colon == std::string::npos ? text : text.substr(colon + 4));
  }
  std::vector<std::string> expected = {
      "sprite_release : スプライトが存在しません",
      "sprite_move : スプライトが存在しません",
      "ps_sprite_get_page: スプライトが存在しません",
      "sprite_tl_set : スプライトが存在しません",
      "sprite_priority_high : 第１パラメータのスプライトが存在しません",
      "sprite_priority_low : 第２パラメータのスプライトが存在しません",
      "sprite_create : パラメータは１個か５個(_no, _x, _y, _xl, _y)のどちらかにして下さい",
      "sprite_create : 大きさが０以下のスプライトは作成できません",
      "sprite_create : ページが存在しません",
      "sprite_create : 転送先ページが存在しません",
      "sprite_paste : 出力先ページが存在しません",
  };
  ASSERT_EQ(texts.size(), expected.size() + 1) << r.err;
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(texts[i], expected[i]) << i;
  EXPECT_EQ(texts.back(), "page_release : 指定されたページはスプライトに参照されています\\n先にスプライトを解放してください");
  std::vector<std::string> values;  // the logged results, not the error lines
  for (const std::string& line : r.log)
    if (!line.empty() && line.find_first_not_of("-0123456789 ") == std::string::npos) values.push_back(line);
  ASSERT_EQ(values.size(), 5u) << r.err;
  EXPECT_EQ(values[0], "0 ");
  EXPECT_EQ(values[1], "0 ");
  EXPECT_EQ(values[2], "0 ");
  EXPECT_NE(values[3], "0 ") << "a sprite of size 1 × 1 is made";
  EXPECT_EQ(values[4], "0 ") << "released once no sprite shows it";
}

}  // namespace
