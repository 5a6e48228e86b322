// The real program saves at a save point, ends, starts again and loads: the
// debug log and the screenshot go on exactly as in a run that never
// stopped. Also: a save made before a script edit that keeps its lines
// loads after it, one whose lines are gone is refused by name, and the seen
// table and persistent variables outlive the run, and frames that do not fit
// the saved stack are refused.
#include <gtest/gtest.h>

#include "base/bytes.h"
#include "base/crc32.h"
#include "graphics/png_codec.h"
#include "persistence/save_file.h"
#include "platform/files.h"
#include "script/value.h"
#include "tests/support/script_game.h"

using testing_support::GameRun;
using testing_support::ScriptGame;

namespace {

const char* kEnvironment = "CLIENT_WIDTH 64\nCLIENT_HEIGHT 48\n";

// #phase 0: play to the save point, write slot 1 and end. 1: load slot 1.
// 2 and later: play on after the save point (also what the load resumes).
// `changed` adds text before the save point's line, as a retranslated
// script would.
std::string game_script(const std::string& before_point = "", const std::string& point_line = "line 4") {
  return R"(
.function $init@GLOBAL
    return
main:
    line 1
    syscall_discard save_enable, 0
    load i #phase
    push_i 1
    eq_i
    jmp_false fresh
    push_i 2
    st_i_pop #phase
    push_i 1
    syscall save_load, 1
    push_s "load asked"
    syscall_discard debugout, 2
    push_i -1
    syscall_discard wait, 1
fresh:
    line 2
    push_i 0x30A0F0
    st_i_pop @colour
    push_s "太郎"
    st_ref_s_pop @name
    load s @name
    st_ref_s_pop @same_name
    push_i 3
    syscall string_array, 1
    st_ref_sa_pop @list
    push_s "花子"
    push_i 1
    ast_s_pop @list[1]
    push_i 41
    call_fn $chapter@GLOBAL, 1
    syscall_discard system_end, 0

.function $chapter@GLOBAL
    .local _n, -2
    .local _k, 0
    alloc_locals i
    line 3
    load i _n
    push_i 1
    add_i
    st_i_pop _k
)" + before_point + R"(
    )" + point_line + R"(
    push_i 6
    push_i 8
    syscall_discard capture_thumbnail, 2
    push_s "第一章"
    syscall_discard save_point, 1
    line 5
    load i _k
    push_s "after the save point"
    syscall_discard debugout, 2
    load i #phase
    push_i 0
    eq_i
    jmp_false play_on
    push_i 1
    st_i_pop #phase
    push_i 1
    syscall_discard save_write, 1
    syscall_discard system_end, 0
play_on:
    line 6
    push_i 1
    load_elem s @list[1]
    load s @same_name
    load s @name
    load i @colour
    syscall_discard debugout, 4
    syscall save_title_current, 0
    syscall_discard debugout, 1
    load i @colour
    push_i 30
    push_i 40
    push_i 10
    push_i 10
    syscall get_frontbuffer, 0
    syscall_discard grp_boxfill, 6
    push_i 2
    push_i 2
    syscall get_frontbuffer, 0
    syscall save_thumb_draw_current, 3
    syscall_discard debugout, 1
    return
)";
}

// System data holding #phase, as an earlier play would have left it.
void seed_phase(ScriptGame& game, int32_t phase) {
  rt::Value v = rt::int_value(phase);
  v.key = base::crc32("#phase@GLOBAL");
  v.scope = rt::kPersistent;
  std::array<uint32_t, persist::kSeenEntries> seen{};
  game.dir.write("savedata/quorel_system.mss", persist::write_system(seen, std::span(&v, 1)));
}

TEST(SavesEndToEnd, ALoadInANewProcessGoesOnAsIfNeverStopped) {
  ScriptGame plain(kEnvironment);
  plain.script("start", game_script());
  seed_phase(plain, 2);
  GameRun whole = plain.run({"--screenshot=" + plain.dir / "whole.png"});
  ASSERT_EQ(whole.exit_code, 0) << whole.err;
  const std::vector<std::string> played = {"after the save point 42 ", "3186928 太郎 太郎 花子 ", "第一章 ", "0 "};
  EXPECT_EQ(whole.log, played);

  ScriptGame saved(kEnvironment);
  saved.script("start", game_script());
  GameRun one = saved.run();
  ASSERT_EQ(one.exit_code, 0) << one.err;
  EXPECT_EQ(one.log, (std::vector<std::string>{"after the save point 42 "}));
  ASSERT_TRUE(saved.dir.exists("savedata/quorel_0001.sav"));
  ASSERT_TRUE(saved.dir.exists("savedata/quorel_system.mss"));
  GameRun two = saved.run({"--screenshot=" + saved.dir / "resumed.png"});
  ASSERT_EQ(two.exit_code, 0) << two.err;
  std::vector<std::string> resumed = {"load asked 0 "};
  resumed.insert(resumed.end(), played.begin(), played.end());
  EXPECT_EQ(two.log, resumed);
  EXPECT_EQ(saved.dir.read("resumed.png"), plain.dir.read("whole.png"));
}

// A save made before the script was rebuilt with other text loads after it;
// one whose save point's line is gone is refused by name, and the game goes on.
TEST(SavesEndToEnd, AScriptEditThatKeepsTheLinesStillLoads) {
  ScriptGame game(kEnvironment);
  game.script("start", game_script());
  ASSERT_EQ(game.run().exit_code, 0);
  game.script("start", game_script("    push_s \"訳された長い文章がここに入ります\"\n    syscall_discard debugout, 1"));
  GameRun two = game.run();
  EXPECT_EQ(two.exit_code, 0) << two.err;
  EXPECT_EQ(two.log, (std::vector<std::string>{"load asked 0 ", "after the save point 42 ",
                                              "3186928 太郎 太郎 花子 ", "第一章 ", "0 "}));
  EXPECT_EQ(two.boxes, std::vector<std::string>{});
}

TEST(SavesEndToEnd, ASaveWhoseLineIsGoneIsRefusedByName) {
  ScriptGame game(kEnvironment);
  game.script("start", game_script());
  ASSERT_EQ(game.run().exit_code, 0);
  const std::string saved = game.dir.read("savedata/quorel_0001.sav");
  game.script("start", game_script("", "line 14"));
  GameRun two = game.run({"--max-frames=20"});
  EXPECT_EQ(two.exit_code, 0) << two.err;
  ASSERT_EQ(two.boxes.size(), 1u) << two.err;
  EXPECT_NE(two.boxes[0].find("quorel_0001.sav"), std::string::npos) << two.boxes[0];
  EXPECT_NE(two.boxes[0].find("START.MJO"), std::string::npos) << two.boxes[0];
  EXPECT_EQ(two.log.back(), "load asked -1 ");
  EXPECT_EQ(game.dir.read("savedata/quorel_0001.sav"), saved) << "the refused save is left as it was";
}

// Right after a load the quick slot is skipped once; a save that cannot be
// written is reported, and the game goes on.
TEST(SavesEndToEnd, TheQuickSlotAfterALoadAndAFailedWrite) {
  ScriptGame game;
  game.script("start", R"(
.function $init@GLOBAL
    return
main:
    line 1
    syscall_discard save_enable, 0
    load i #phase
    push_i 1
    eq_i
    jmp_false fresh
    push_i 2
    st_i_pop #phase
    push_i 1
    syscall_discard save_load, 1
    push_i -1
    syscall_discard wait, 1
fresh:
    line 2
    push_s "quick"
    syscall_discard save_point, 1
    load i #phase
    push_i 0
    eq_i
    jmp_false resumed
    push_i 1
    st_i_pop #phase
    push_i 1
    syscall_discard save_write, 1
    syscall_discard system_end, 0
resumed:
    push_i -1
    syscall_discard save_write, 1
    push_i -1
    syscall save_title, 1
    push_i -1
    syscall_discard save_write, 1
    push_i -1
    syscall save_title, 1
    syscall is_save_menu_disable, 0
    syscall_discard debugout, 3
    push_i 9
    syscall_discard save_write, 1
    push_s "still here"
    syscall_discard debugout, 1
    syscall_discard system_end, 0
)");
  ASSERT_EQ(game.run().exit_code, 0);
  game.dir.write("savedata/quorel_0009.sav/keep", "a folder where the save would go");
  GameRun two = game.run();
  EXPECT_EQ(two.exit_code, 0) << two.err;
  EXPECT_EQ(two.log, (std::vector<std::string>{"0 quick  ", "still here "}));
  EXPECT_EQ(two.boxes.size(), 1u);
  EXPECT_NE(two.err.find("ファイルの書き込みでエラーが発生しました"), std::string::npos) << two.err;
  EXPECT_TRUE(game.dir.exists("savedata/quorel_last.sav"));
  EXPECT_EQ(game.dir.read("savedata/quorel_0009.sav/keep"), "a folder where the save would go");
}

// A slot's title, time and thumbnail are read back from its file; a slot
// with no file gives empty answers and -1.
TEST(SavesEndToEnd, SlotTitlesTimesAndThumbnailsComeFromTheFiles) {
  ScriptGame game(kEnvironment);
  game.script("start", R"(
.function $init@GLOBAL
    return
main:
    syscall_discard save_enable, 0
    push_i 0x0000FF
    push_i 48
    push_i 64
    push_i 0
    push_i 0
    syscall get_frontbuffer, 0
    syscall_discard grp_boxfill, 6
    push_i 2
    push_i 2
    syscall_discard capture_thumbnail, 2
    push_s "赤い画面"
    syscall_discard save_point, 1
    push_i 3
    syscall_discard save_write, 1
    push_i 0xFF0000
    push_i 48
    push_i 64
    push_i 0
    push_i 0
    syscall get_frontbuffer, 0
    syscall_discard grp_boxfill, 6
    push_i 0
    push_i 0
    syscall get_frontbuffer, 0
    push_i 3
    syscall save_thumb_draw, 4
    push_i 0
    push_i 0
    syscall get_frontbuffer, 0
    push_i 5
    syscall save_thumb_draw, 4
    push_i 5
    syscall save_title, 1
    push_i 3
    syscall save_title, 1
    syscall_discard debugout, 4
    push_i 3
    syscall save_time, 1
    syscall strlen, 1
    push_i 5
    syscall save_time, 1
    syscall strlen, 1
    syscall_discard debugout, 2
    syscall_discard system_end, 0
)");
  GameRun r = game.run({"--screenshot=" + game.dir / "shot.png"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.log, (std::vector<std::string>{"赤い画面  -1 0 ", "0 17 "}));
  auto png = plat::read_whole_file(game.dir / "shot.png");
  ASSERT_TRUE(png);
  gfx::PngImage image;
  ASSERT_EQ(gfx::decode_png(*png, image, nullptr), gfx::PngResult::Ok);
  ASSERT_EQ(image.width, 64);
  auto at = [&](int x, int y) { return &image.bgr[(static_cast<size_t>(y) * image.width + x) * 3]; };
  EXPECT_EQ(at(1, 1)[2], 255) << "the red thumbnail drawn over the blue screen";
  EXPECT_EQ(at(1, 1)[0], 0);
  EXPECT_EQ(at(2, 2)[0], 255) << "only its 2 x 2 pixels";
}

}  // namespace

// A save whose call frames do not fit its stack is refused as damaged before
// anything of it is used: every frame's base and stack top lie within the
// saved stack (slot 0 is nobody's), and the save point's own frame ends
// exactly where the saved stack ends.
TEST(SavesEndToEnd, FramesThatDoNotFitTheSavedStackAreRefused) {
  ScriptGame game(kEnvironment);
  game.script("start", game_script());
  ASSERT_EQ(game.run().exit_code, 0);
  const std::string saved = game.dir.read("savedata/quorel_0001.sav");
  const std::vector<uint8_t> bytes(saved.begin(), saved.end());
  auto file = persist::parse_save(bytes);
  ASSERT_TRUE(file);
  ASSERT_EQ(file->frames.size(), 2u) << "the game's main code and the chapter's function";
  const int32_t locals = static_cast<int32_t>(file->locals.size());
  ASSERT_GE(locals, 2);
  ASSERT_EQ(file->frames[1].stack_top, locals);

  auto field_at = [&](size_t frame, size_t offset) {
    return persist::kSaveHeaderSize + file->thumbnail.size() + frame * persist::kFrameRecordSize + offset;
  };
  const size_t kBase = 132, kStackTop = 136;
  struct Case {
    const char* what;
    size_t at;
    int32_t value;
  };
  const Case cases[] = {
      {"the calling frame's stack top at 0", field_at(0, kStackTop), 0},
      {"the calling frame's stack top beyond the saved stack", field_at(0, kStackTop), locals + 1},
      {"the calling frame's base at 0", field_at(0, kBase), 0},
      {"the calling frame's base beyond the saved stack", field_at(0, kBase), locals + 1},
      {"the save point's frame ending below the saved stack", field_at(1, kStackTop), locals - 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string damaged = saved;
    base::store_u32(reinterpret_cast<uint8_t*>(damaged.data()) + c.at, static_cast<uint32_t>(c.value));
    game.dir.write("savedata/quorel_0001.sav", damaged);
    seed_phase(game, 1);
    GameRun two = game.run({"--max-frames=20"});
    EXPECT_EQ(two.exit_code, 0) << two.err;
    ASSERT_EQ(two.boxes.size(), 1u) << two.err;
    EXPECT_NE(two.boxes[0].find("壊れている"), std::string::npos) << two.boxes[0];
    ASSERT_FALSE(two.log.empty());
    EXPECT_EQ(two.log.back(), "load asked -1 ");
    EXPECT_EQ(game.dir.read("savedata/quorel_0001.sav"), damaged) << "the refused save is left as it was";
  }
}
