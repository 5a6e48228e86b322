// The example game played through by its input file: from the title's menu
// the dialogue goes on with clicks, keys and gamepad buttons, the first
// choice is made with the d-pad and the keyboard, a hand of mahjong is
// played with Return, and the run repeats exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;

namespace {

struct Play {
  RunResult run;
  std::vector<std::string> log;  // the demo's lines, without their date stamp
  std::string shot;              // the last frame as a BMP file
  std::string seen;              // what the player saw last (with a movie over the frame)
  std::string audio;             // the mixed sound output (WAVE), with `with_audio`
};

Play play(int frames, bool with_audio = false) {
  TempDir dir;
  Play p;
  RunResult copy = run_program({"/bin/cp", "-r", std::string(QUOREL_BINARY_DIR) + "/examples/demo", dir / "game"});
  // Only the game: not what a run in the build tree left (its log, saves, caches).
  run_program({"/bin/rm", "-rf", dir / "game/debugout.log", dir / "game/savedata"});
  EXPECT_EQ(copy.exit_code, 0) << copy.err;
  // A lock directory of its own: the demo's title is the same in every run.
  std::vector<std::string> argv = {
      "quorel", "--headless", "--virtual-clock=16", "--max-frames=" + std::to_string(frames), "--seed=1",
      "--settings=" + (dir / "settings.ini"), "--screenshot=" + (dir / "shot.bmp"),
      "--screenshot-presented=" + (dir / "seen.bmp"),
      "--input=" + std::string(QUOREL_SOURCE_DIR) + "/examples/demo/autoplay.txt"};
  if (with_audio) argv.push_back("--audio-out=" + (dir / "out.wav"));
  argv.push_back(dir / "game");
  p.run = run_program(argv, {}, 120, {"XDG_RUNTIME_DIR=" + dir.path()});
  if (with_audio) p.audio = dir.read("out.wav");
  std::string log = dir.read("game/debugout.log");
  for (size_t pos = 0; pos < log.size();) {
    size_t end = log.find('\n', pos);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(pos, end - pos);
    size_t blank = line.find(' ');
    if (line.find("demo:") != std::string::npos) p.log.push_back(line.substr(blank + 1));
    pos = end + 1;
  }
  p.shot = dir.read("shot.bmp");
  p.seen = dir.read("seen.bmp");
  return p;
}

// Red, green, blue of a pixel of a 24-bit bottom-up BMP.
uint32_t pixel(const std::string& bmp, int x, int y, int width = 640, int height = 480) {
  size_t at = 54 + static_cast<size_t>(height - 1 - y) * width * 3 + static_cast<size_t>(x) * 3;
  if (at + 3 > bmp.size()) return 0xFFFFFFFF;
  auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(bmp[i])); };
  return byte(at + 2) << 16 | byte(at + 1) << 8 | byte(at);
}

TEST(DemoPlay, TheInputFileMakesTheChoiceAndRepeatsExactly) {
  Play whole = play(2300);
  ASSERT_EQ(whole.run.exit_code, 0) << whole.run.err;
  auto at = [&](const std::string& line, long from = 0) {
    return std::find(whole.log.begin() + from, whole.log.end(), line) - whole.log.begin();
  };
  const long chose = at("demo: chose 1 ");
  ASSERT_LT(chose, static_cast<long>(whole.log.size())) << whole.run.err;
  EXPECT_LT(at("demo: title menu 1 "), at("demo: the choice is shown "));
  EXPECT_LT(at("demo: the choice is shown "), chose);
  EXPECT_LT(chose, at("demo: the mahjong result 0 "));
  EXPECT_LT(at("demo: the mahjong result 0 "), at("demo: chose 1 ", chose + 1));
  EXPECT_LT(at("demo: chose 1 ", chose + 1), at("demo: the promise ending "));
  EXPECT_LT(at("demo: the promise ending "), at("demo: back to the title "));
  EXPECT_EQ(std::count(whole.log.begin(), whole.log.end(), "demo: title menu 1 "), 1);
  EXPECT_EQ(play(2300).log, whole.log) << "the same input, the same play";

  // While the mouse is over the second answer its frame is lit; after the
  // d-pad steps down from nothing selected, the first answer's.
  Play hover = play(644), stepped = play(719);
  ASSERT_EQ(hover.run.exit_code, 0) << hover.run.err;
  const uint32_t kFrame = 0xFFD040;
  EXPECT_NE(pixel(hover.shot, 185, 150), kFrame);
  EXPECT_EQ(pixel(hover.shot, 185, 222), kFrame);
  EXPECT_EQ(pixel(stepped.shot, 185, 150), kFrame);
  EXPECT_NE(pixel(stepped.shot, 185, 222), kFrame);
}

// In the promise ending a movie plays over the middle of the picture, with
// a sound of its own, until the play-through's click.
TEST(DemoPlay, TheEndingMovieShowsOverThePictureUntilAClick) {
  Play movie = play(1950, true), after = play(2030);
  ASSERT_EQ(movie.run.exit_code, 0) << movie.run.err;
  ASSERT_EQ(after.run.exit_code, 0) << after.run.err;
  EXPECT_EQ(std::count(movie.log.begin(), movie.log.end(), "demo: the ending movie is over "), 0);
  EXPECT_EQ(std::count(after.log.begin(), after.log.end(), "demo: the ending movie is over "), 1);
  const uint32_t seen = pixel(movie.seen, 320, 240);
  const uint32_t r = seen >> 16, g = (seen >> 8) & 255, b = seen & 255;
  EXPECT_TRUE(r > 90 && r > g && r > b) << std::hex << seen << " is not the movie's dusk sky";
  EXPECT_NE(seen, pixel(movie.shot, 320, 240)) << "the movie is over the picture, not in it";
  EXPECT_EQ(pixel(after.seen, 320, 240), pixel(after.shot, 320, 240)) << "gone after the click";
  // Its tone, 330 Hz, in the last quarter of a second.
  const size_t frames = movie.audio.size() > 44 ? (movie.audio.size() - 44) / 4 : 0;
  ASSERT_GT(frames, 11025u);
  double re = 0, im = 0;
  for (size_t i = frames - 11025; i < frames; ++i) {
    const auto* at = reinterpret_cast<const uint8_t*>(movie.audio.data() + 44 + i * 4);
    const double v = static_cast<int16_t>(at[0] | at[1] << 8);
    re += v * std::cos(2 * M_PI * 330 * i / 44100.0);
    im -= v * std::sin(2 * M_PI * 330 * i / 44100.0);
  }
  EXPECT_NEAR(2 * std::hypot(re, im) / 11025, 3277, 400);
}

TEST(DemoPlay, MusicThroughoutWithTheVoicesOnTop) {
  Play p = play(1500, true);
  ASSERT_EQ(p.run.exit_code, 0) << p.run.err;
  // Loudness of each second of the left channel.
  std::vector<double> rms;
  const size_t frames = p.audio.size() > 44 ? (p.audio.size() - 44) / 4 : 0;
  for (size_t second = 0; (second + 1) * 44100 <= frames; ++second) {
    double sum = 0;
    for (size_t i = second * 44100; i < (second + 1) * 44100; ++i) {
      const auto* at = reinterpret_cast<const uint8_t*>(p.audio.data() + 44 + i * 4);
      const double v = static_cast<int16_t>(at[0] | at[1] << 8);
      sum += v * v;
    }
    rms.push_back(std::sqrt(sum / 44100));
  }
  ASSERT_GE(rms.size(), 20u);
  std::vector<double> sorted = rms;
  std::sort(sorted.begin(), sorted.end());
  const double music = sorted[sorted.size() / 2];
  EXPECT_GT(sorted.front(), 500) << "the music never stops";
  // In the first 24 s Mina's and Sora's first lines stand out above the
  // music (the title's chime does not: it is short).
  std::vector<size_t> loud;
  for (size_t s = 0; s < rms.size(); ++s)
    if (rms[s] > 1.5 * music && (loud.empty() || s > loud.back() + 3)) loud.push_back(s);
  EXPECT_EQ(loud.size(), 2u) << "music level " << music;
}

}  // namespace
