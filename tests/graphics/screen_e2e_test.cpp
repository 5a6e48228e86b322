// The real program, headless on the virtual clock: scripts put pictures on
// the screen, move and fade them, and the screenshot it writes at exit is
// compared with the picture computed here from the blend rules.
#include <gtest/gtest.h>

#include <cstring>
#include <span>

#include "graphics/png_codec.h"
#include "tests/support/script_game.h"

using testing_support::GameRun;
using testing_support::ScriptGame;

namespace {

constexpr int kWidth = 64, kHeight = 48;

struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> bgr;      // packed rows
  std::vector<uint8_t> opacity;  // PNG alpha, or empty
  uint8_t* at(int x, int y) { return &bgr[(static_cast<size_t>(y) * width + x) * 3]; }
};

Image background() {
  Image im{kWidth, kHeight, std::vector<uint8_t>(kWidth * kHeight * 3), {}};
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      uint8_t* p = im.at(x, y);
      p[0] = static_cast<uint8_t>(x * 4), p[1] = static_cast<uint8_t>(y * 5), p[2] = 200;
    }
  return im;
}

// An 8 × 8 ball whose pixels are opaque, half transparent or invisible.
Image ball() {
  Image im{8, 8, std::vector<uint8_t>(8 * 8 * 3), std::vector<uint8_t>(8 * 8)};
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      uint8_t* p = im.at(x, y);
      p[0] = static_cast<uint8_t>(x * 30), p[1] = static_cast<uint8_t>(y * 30), p[2] = 255;
      int k = (x + y) % 3;
      im.opacity[y * 8 + x] = k == 0 ? 255 : k == 1 ? 128 : 0;
    }
  return im;
}

std::string png_of(const Image& im) {
  auto bytes = gfx::encode_png_bgr(im.bgr.data(), im.width, im.height, static_cast<size_t>(im.width) * 3,
                                   im.opacity.empty() ? nullptr : im.opacity.data(), static_cast<size_t>(im.width));
  return std::string(bytes.begin(), bytes.end());
}

// A sprite pixel over the screen: transparency a of the pixel and t of the
// sprite; 254 and above keep the screen, 1 and below take the sprite.
uint8_t over(uint8_t src, uint8_t dst, int a, int t) {
  int v = a + t;
  if (v >= 254) return dst;
  if (v <= 1) return src;
  int w = v + 1;
  return static_cast<uint8_t>(((257 - w) * src + w * dst) >> 8);
}

void draw_ball(Image& screen, const Image& b, int left, int top, int t) {
  for (int y = 0; y < b.height; ++y)
    for (int x = 0; x < b.width; ++x) {
      int sx = left + x, sy = top + y;
      if (sx < 0 || sy < 0 || sx >= screen.width || sy >= screen.height) continue;
      const uint8_t* s = &b.bgr[(static_cast<size_t>(y) * b.width + x) * 3];
      uint8_t* d = screen.at(sx, sy);
      int a = 255 - b.opacity[y * b.width + x];
      for (int c = 0; c < 3; ++c) d[c] = over(s[c], d[c], a, t);
    }
}

// The BMP the capture writes, built from its fields.
std::string bmp_of(const Image& im) {
  std::string out;
  auto u16 = [&](uint32_t v) { out += static_cast<char>(v & 0xFF), out += static_cast<char>(v >> 8); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  const uint32_t stride = (im.width * 3 + 3) / 4 * 4;
  out += "BM";
  u32(stride * im.height + 56), u32(0), u32(54);
  u32(40), u32(im.width), u32(im.height), u16(1), u16(24);
  for (int i = 0; i < 6; ++i) u32(0);
  for (int y = im.height - 1; y >= 0; --y) {
    out.append(reinterpret_cast<const char*>(&im.bgr[static_cast<size_t>(y) * im.width * 3]), im.width * 3);
    out.append(stride - im.width * 3, '\0');
  }
  out += std::string(2, '\0');
  return out;
}

const char* kEnvironment = "CLIENT_WIDTH 64\nCLIENT_HEIGHT 48\n";

// main: the body, then the end of the program.
std::string program(const std::string& body) {
  return ".function $init@GLOBAL\n    return\nmain:\n" + body + "    syscall system_end, 0\n";
}

void add_pictures(ScriptGame& game) {
  game.file("fastdata/bg.png", png_of(background()));
  game.file("fastdata/ball.png", png_of(ball()));
}

// A background, and the ball moving from (10, 10) to (50, 30) in 400 ms at
// transparency 100, caught after 200 ms.
const char* kMovingBall = R"(
    push_s "bg"
    syscall sprite_create_file, 1
    st_i_pop @bg
    push_i 0
    push_i 0
    load i @bg
    syscall_discard sprite_move, 3
    push_s "ball"
    syscall sprite_create_file, 1
    st_i_pop @ball
    push_i 10
    push_i 10
    load i @ball
    syscall_discard sprite_move, 3
    push_i 400
    push_i 30
    push_i 50
    load i @ball
    syscall_discard sprite_move, 4
    push_i 100
    load i @ball
    syscall_discard sprite_alfa_set, 2
    push_i 200
    syscall_discard wait, 1
    syscall_discard draw_wait, 0
)";

std::string read_file(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return {};
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
  std::fclose(f);
  return out;
}

TEST(ScreenEndToEnd, MovingTransparentSpriteMatchesTheComputedPicture) {
  ScriptGame game(kEnvironment);
  add_pictures(game);
  game.script("start", program(kMovingBall));
  const std::string bmp = game.dir / "shot.bmp", png = game.dir / "shot.png";
  const std::string seen = game.dir / "seen.bmp";
  GameRun r = game.run({"--screenshot=" + bmp, "--screenshot-presented=" + seen, "--seed=7", "--fullscreen"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_TRUE(r.boxes.empty()) << r.err;
  // With nothing over the picture (full screen hides the menu bar), the
  // player sees exactly the front buffer.
  EXPECT_TRUE(read_file(seen) == read_file(bmp));

  Image expected = background();
  draw_ball(expected, ball(), 30, 20, 100);  // halfway: (10 + 40 / 2, 10 + 20 / 2)
  std::string got = read_file(bmp);
  ASSERT_EQ(got.size(), 64u * 3 * 48 + 56);
  EXPECT_TRUE(got == bmp_of(expected)) << "the screenshot differs from the computed picture";

  // The same run again gives the same file; a PNG holds the same pixels.
  GameRun again = game.run({"--screenshot=" + png, "--seed=7"});
  ASSERT_EQ(again.exit_code, 0) << again.err;
  std::string png_bytes = read_file(png);
  gfx::PngImage decoded;
  std::string why;
  ASSERT_EQ(gfx::decode_png(std::span(reinterpret_cast<const uint8_t*>(png_bytes.data()), png_bytes.size()),
                            decoded, &why),
            gfx::PngResult::Ok)
      << why;
  EXPECT_EQ(decoded.bgr, expected.bgr);
  GameRun third = game.run({"--screenshot=" + (game.dir / "third.bmp"), "--seed=7"});
  EXPECT_TRUE(read_file(game.dir / "third.bmp") == got);

  // A screenshot that cannot be written fails the run, after a normal end.
  for (const char* option : {"--screenshot=", "--screenshot-presented=", "--screenshot-at=2:"}) {
    GameRun lost = game.run({option + (game.dir / "no-such-folder/shot.png"), "--seed=7"});
    EXPECT_EQ(lost.exit_code, 1) << option;
    EXPECT_NE(lost.err.find("cannot write the screenshot"), std::string::npos) << lost.err;
  }
}

// In a window (SDL's dummy display here) each renderer shows the same
// pixels as a headless run; the software path says so when asked.
TEST(ScreenEndToEnd, TheWindowShowsWhatAHeadlessRunShows) {
  ScriptGame game(kEnvironment);
  add_pictures(game);
  game.script("start", program(kMovingBall));
  const std::string headless = game.dir / "headless.bmp";
  GameRun r = game.run({"--screenshot-presented=" + headless, "--seed=7"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  for (const char* renderer : {"software", "gpu", "auto"}) {
    const std::string seen = game.dir / (std::string(renderer) + ".bmp");
    testing_support::RunResult w = testing_support::run_program(
        {"quorel", "--virtual-clock=10", "--max-frames=2000", "--seed=7", "--window", "--trace=graphics",
         std::string("--renderer=") + renderer, "--settings=" + (game.dir / "settings.ini"),
         "--screenshot-presented=" + seen, game.dir.path()});
    ASSERT_EQ(w.exit_code, 0) << renderer << "\n" << w.err;
    EXPECT_TRUE(read_file(seen) == read_file(headless)) << renderer;
    if (std::string(renderer) == "software") {
      EXPECT_NE(w.err.find("drawn by the software renderer"), std::string::npos) << w.err;
    }
  }
}

TEST(ScreenEndToEnd, AnotherPageAsTheFrontBuffer) {
  ScriptGame game(kEnvironment);
  game.script("start", program(R"(
    syscall get_frontbuffer, 0
    st_i_pop @screen
    push_i 48
    push_i 64
    syscall page_create, 2
    st_i_pop @p
    push_i 16711680
    push_i 48
    push_i 64
    push_i 0
    push_i 0
    load i @p
    syscall_discard grp_boxfill, 6
    load i @p
    syscall set_frontbuffer, 1
    load i @screen
    eq_i
    syscall debugout, 1
    syscall get_frontbuffer, 0
    load i @p
    eq_i
    syscall debugout, 1
    push_i 12345
    syscall set_frontbuffer, 1
    load i @p
    eq_i
    syscall debugout, 1
)"));
  const std::string bmp = game.dir / "shot.bmp";
  GameRun r = game.run({"--screenshot=" + bmp, "--answer=retry"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  std::vector<std::string> values;
  for (const std::string& line : r.log)
    if (line.find(" : ") == std::string::npos) values.push_back(line);
  EXPECT_EQ(values, (std::vector<std::string>{"1 ", "1 ", "1 "}));
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_NE(r.boxes[0].find("set_frontbuffer : ページが存在しません"), std::string::npos) << r.boxes[0];
  Image blue{kWidth, kHeight, std::vector<uint8_t>(kWidth * kHeight * 3), {}};
  for (size_t i = 0; i < blue.bgr.size(); i += 3) blue.bgr[i] = 255;
  EXPECT_TRUE(read_file(bmp) == bmp_of(blue)) << "the screenshot is the page shown";
}

}  // namespace
