// Movies in the real program, headless on the virtual clock: how long a
// wait lasts, a click that ends it, the sound in --audio-out, the crash
// guard in the settings store, and files that cannot be played.
#include <gtest/gtest.h>

#include <array>
#include <span>

#include "base/bytes.h"
#include "graphics/png_codec.h"
#include "tests/support/movie_files.h"
#include "tests/support/script_game.h"

using testing_support::GameRun;
using testing_support::MovieSpec;
using testing_support::ScriptGame;

namespace {

const char* kEnvironment = "CLIENT_WIDTH 64\nCLIENT_HEIGHT 48\nMAX_FPS 100\n";

// Plays `call` (the pushes and the movie_play), waits with `wait_arg` and
// logs how long the wait took in ms, then whether the movie still plays.
std::string program(const std::string& play, const std::string& wait_arg = "push_i 0\n    syscall_discard movie_wait, 1") {
  return ".function $init@GLOBAL\n    return\nmain:\n    line 1\n" + play +
         "\n    syscall timer, 0\n    st_i_pop @t0\n    " + wait_arg +
         "\n    syscall timer, 0\n    load i @t0\n    minus_i\n    push_s \"waited\"\n    syscall_discard debugout, 2\n"
         "    syscall movie_is_playing, 0\n    push_s \"playing\"\n    syscall_discard debugout, 2\n"
         "    syscall_discard movie_stop, 0\n    syscall system_end, 0\n";
}

std::string play(const std::string& name) { return "    push_s \"" + name + "\"\n    syscall_discard movie_play, 1"; }

// The number logged after `word`, or -1.
int logged(const GameRun& r, const std::string& word) {
  for (const std::string& line : r.log)
    if (line.rfind(word + " ", 0) == 0) return std::atoi(line.c_str() + word.size() + 1);
  return -1;
}

MovieSpec clip() {
  MovieSpec spec;
  spec.colours = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};  // 100 ms each
  spec.sound_ms = 400;
  spec.tone_hz = 441;
  return spec;
}

std::vector<int16_t> left_channel(const std::string& wav) {
  std::vector<int16_t> out;
  for (size_t i = 44; i + 4 <= wav.size(); i += 4) out.push_back(base::load_i16(reinterpret_cast<const uint8_t*>(wav.data() + i)));
  return out;
}

TEST(MovieEndToEnd, WaitLastsTheMovieAndItsSoundGoesToTheOutput) {
  ScriptGame game(kEnvironment);
  ASSERT_TRUE(write_movie(game.dir / "clip.avi", clip()));
  game.file("fastdata/input.txt", "100 mouse click left 10 10\n");
  game.script("start", program(play("clip.avi")));
  GameRun r = game.run({"--audio-out=" + (game.dir / "out.wav"), "--input=" + (game.dir / "fastdata/input.txt")});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(r.boxes.empty()) << r.err;
  // Not skippable: the click does not end it.
  EXPECT_NEAR(logged(r, "waited"), 400, 20);
  EXPECT_EQ(logged(r, "playing"), 0);

  // The tone's length and level: 441 Hz at half scale for 0.4 s.
  std::vector<int16_t> left = left_channel(game.dir.read("out.wav"));
  size_t first = 0, last = 0;
  int peak = 0;
  for (size_t i = 0; i < left.size(); ++i)
    if (std::abs(left[i]) > 1000) {
      if (!first) first = i;
      last = i;
      peak = std::max(peak, std::abs(static_cast<int>(left[i])));
    }
  EXPECT_NEAR(static_cast<double>(last - first) / 44.1, 400.0, 30.0);
  EXPECT_NEAR(peak, 16384, 1200);
}

TEST(MovieEndToEnd, AClickEndsASkippableWaitAndTheMovieVolumeApplies) {
  ScriptGame game(kEnvironment);
  game.dir.make_dir("movie");
  ASSERT_TRUE(write_movie(game.dir / "movie/clip.avi", clip()));
  game.file("fastdata/input.txt", "150 mouse click left 10 10\n");
  // Found under "movie"; a volume of 100 is 20 dB down.
  game.script("start", program("    push_i 100\n    syscall_discard movie_volume, 1\n" + play("clip.avi"),
                               "syscall_discard movie_wait, 0"));
  GameRun r = game.run({"--audio-out=" + (game.dir / "out.wav"), "--input=" + (game.dir / "fastdata/input.txt")});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(r.boxes.empty()) << r.err;
  const int waited = logged(r, "waited");
  EXPECT_GE(waited, 100);
  EXPECT_LE(waited, 200);
  EXPECT_EQ(logged(r, "playing"), 1);
  std::vector<int16_t> left = left_channel(game.dir.read("out.wav"));
  int peak = 0;
  for (int16_t v : left) peak = std::max(peak, std::abs(static_cast<int>(v)));
  EXPECT_NEAR(peak, 1638, 200);
}

// Blue, green, red at (x, y) of a PNG the program wrote.
std::array<int, 3> pixel(const std::string& png, int x, int y) {
  gfx::PngImage image;
  std::string why;
  if (gfx::decode_png(std::span(reinterpret_cast<const uint8_t*>(png.data()), png.size()), image, &why) !=
      gfx::PngResult::Ok)
    return {-1, -1, -1};
  const uint8_t* p = &image.bgr[(static_cast<size_t>(y) * image.width + x) * 3];
  return {p[0], p[1], p[2]};
}

bool near(std::array<int, 3> bgr, uint32_t rgb) {
  return std::abs(bgr[2] - static_cast<int>(rgb >> 16)) <= 8 && std::abs(bgr[1] - static_cast<int>((rgb >> 8) & 255)) <= 8 &&
         std::abs(bgr[0] - static_cast<int>(rgb & 255)) <= 8;
}

TEST(MovieEndToEnd, ThePictureDueIsShownOverTheGameAtTheMovieRectangle) {
  ScriptGame game(kEnvironment);
  ASSERT_TRUE(write_movie(game.dir / "clip.avi", clip()));
  const std::pair<int, uint32_t> cases[] = {{50, 0xFF0000}, {250, 0x0000FF}, {1000, 0xFFFFFF}};
  for (auto [ms, colour] : cases) {
    // At (8, 4), 32 x 24; the game's own picture stays black.
    game.script("start", ".function $init@GLOBAL\n    return\nmain:\n    line 1\n    push_i 24\n    push_i 32\n"
                         "    push_i 4\n    push_i 8\n    push_i 1\n    push_s \"clip.avi\"\n"
                         "    syscall_discard movie_play, 6\n    push_i " + std::to_string(ms) +
                         "\n    syscall_discard wait, 1\n    syscall system_end, 0\n");
    // Full screen: no menu bar above the picture.
    GameRun r = game.run({"--screenshot-presented=" + (game.dir / "seen.png"), "--screenshot=" + (game.dir / "front.png"),
                          "--fullscreen"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string seen = game.dir.read("seen.png"), front = game.dir.read("front.png");
    EXPECT_TRUE(near(pixel(seen, 24, 16), colour)) << ms << " ms";
    EXPECT_TRUE(near(pixel(seen, 8, 4), colour)) << ms << " ms";
    EXPECT_TRUE(near(pixel(seen, 39, 27), colour)) << ms << " ms";
    EXPECT_TRUE(near(pixel(seen, 7, 16), 0)) << "left of the rectangle";
    EXPECT_TRUE(near(pixel(seen, 40, 16), 0)) << "right of the rectangle";
    EXPECT_TRUE(near(pixel(front, 24, 16), 0)) << "the front buffer never gets the movie";
  }
}

TEST(MovieEndToEnd, MissingFileAndTheCrashGuard) {
  ScriptGame game(kEnvironment);
  game.script("start", program(play("nothing.avi")));
  GameRun r = game.run({"--answer=retry"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ASSERT_EQ(r.boxes.size(), 1u) << r.err;
  EXPECT_NE(r.boxes[0].find("movie_play : ムービーファイル[nothing.avi]が存在しません"), std::string::npos) << r.boxes[0];
  EXPECT_EQ(logged(r, "waited"), 0);
  EXPECT_NE(game.dir.read("settings.ini").find("AbnormalMovieTerminateFlg=0"), std::string::npos);

  // A run that ended inside a play call: movies are skipped without a word,
  // and the guard stays.
  game.file("settings.ini", "AbnormalMovieTerminateFlg=1\n");
  GameRun guarded = game.run();
  ASSERT_EQ(guarded.exit_code, 0) << guarded.err;
  EXPECT_TRUE(guarded.boxes.empty()) << guarded.err;
  EXPECT_NE(game.dir.read("settings.ini").find("AbnormalMovieTerminateFlg=1"), std::string::npos);
}

// Skipping with a place to skip to: movies are passed over, found or not.
TEST(MovieEndToEnd, SkippingPassesMoviesOver) {
  ScriptGame game(kEnvironment);
  ASSERT_TRUE(write_movie(game.dir / "clip.avi", clip()));
  game.script("start", ".function $init@GLOBAL\n    return\nmain:\n    line 1\n    on_left after\n"
                       "    push_i 1\n    syscall_discard set_play_mode, 1\n" + play("nothing.avi") + "\n" +
                       play("clip.avi") + "\n    syscall movie_is_playing, 0\n    push_s \"playing\"\n"
                       "    syscall_discard debugout, 2\nafter:\n    syscall system_end, 0\n");
  GameRun r = game.run({"--answer=retry"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(r.boxes.empty()) << r.err;
  EXPECT_EQ(logged(r, "playing"), 0);
}

TEST(MovieEndToEnd, FilesThatCannotBePlayedAreReportedAndTheScriptGoesOn) {
  ScriptGame game(kEnvironment);
  ASSERT_TRUE(write_movie(game.dir / "good.avi", clip()));
  const std::string good = game.dir.read("good.avi");
  game.file("empty.avi", "");
  game.file("words.avi", "nothing but words, and not a movie\n");
  game.file("cut.avi", good.substr(0, good.size() / 3));
  for (const char* name : {"empty.avi", "words.avi"}) {
    game.script("start", program(play(name)));
    GameRun r = game.run({"--answer=retry"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    ASSERT_EQ(r.boxes.size(), 1u) << name << r.err;
    EXPECT_NE(r.boxes[0].find(std::string("ムービーファイル[") + name + "]を再生できません"), std::string::npos) << r.boxes[0];
    EXPECT_NE(r.err.find(std::string("quorel: movie ") + name), std::string::npos) << r.err;
    EXPECT_EQ(logged(r, "waited"), 0);
  }
  // Cut short: plays what is there and ends.
  game.script("start", program(play("cut.avi")));
  GameRun cut = game.run({}, 30);
  ASSERT_EQ(cut.exit_code, 0) << cut.err;
  EXPECT_LT(logged(cut, "waited"), 400);
  // Outside the game: never looked for.
  game.script("start", program(play("../good.avi")));
  GameRun up = game.run({"--answer=retry"});
  ASSERT_EQ(up.boxes.size(), 1u) << up.err;
  EXPECT_NE(up.boxes[0].find("が存在しません"), std::string::npos);
}

// A movie file that is a playlist or a manifest names other files and
// addresses: they are never opened, so a game cannot show what lies
// outside its folder or reach the network through a movie.
TEST(MovieEndToEnd, PlaylistsCannotReachOtherFiles) {
  testing_support::TempDir outside;
  ASSERT_TRUE(write_movie(outside / "clip.avi", clip()));
  ScriptGame game(kEnvironment);
  game.file("hls.avi", "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1.0,\n" + (outside / "clip.avi") +
                           "\n#EXT-X-ENDLIST\n");
  game.file("concat.avi", "ffconcat version 1.0\nfile clip.avi\n");
  game.file("dash.avi", "<?xml version=\"1.0\"?>\n<MPD xmlns=\"urn:mpeg:dash:schema:mpd:2011\" type=\"static\" "
                        "mediaPresentationDuration=\"PT0.4S\" profiles=\"urn:mpeg:dash:profile:isoff-on-demand:2011\">\n"
                        "<Period><AdaptationSet><Representation id=\"1\" bandwidth=\"1000\" mimeType=\"video/avi\">\n"
                        "<BaseURL>file://" + (outside / "clip.avi") + "</BaseURL>\n"
                        "</Representation></AdaptationSet></Period></MPD>\n");
  for (const char* name : {"hls.avi", "concat.avi", "dash.avi"}) {
    game.script("start", program(play(name)));
    // Started where the outside movie lies, as a relative name would find it.
    std::vector<std::string> argv = {"quorel", "--headless", "--virtual-clock=10", "--max-frames=2000", "--answer=retry",
                                     "--settings=" + (game.dir / "settings.ini"), game.dir.path()};
    auto r = testing_support::run_program(argv, outside.path(), 60);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find(std::string("ムービーファイル[") + name + "]を再生できません"), std::string::npos) << r.err;
  }
  EXPECT_EQ(game.dir.read("debugout.log").find("waited 4"), std::string::npos) << "an outside movie played";
}

// Two plays at once, a stop, full screen and back while one plays.
TEST(MovieEndToEnd, ASecondPlayReplacesTheFirstAndStopEndsIt) {
  ScriptGame game(kEnvironment);
  ASSERT_TRUE(write_movie(game.dir / "clip.avi", clip()));
  game.script("start", program(play("clip.avi") + "\n" + play("clip.avi") +
                               "\n    push_i 100\n    syscall_discard wait, 1\n" + play("clip.avi") +
                               "\n    syscall_discard movie_stop, 0\n" + play("clip.avi") +
                               "\n    push_i 1\n    syscall_discard screen_mode, 1\n"
                               "    push_i 0\n    syscall_discard screen_mode, 1"));
  GameRun r = game.run();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(r.boxes.empty()) << r.err;
  EXPECT_NEAR(logged(r, "waited"), 400, 20);
}

}  // namespace
