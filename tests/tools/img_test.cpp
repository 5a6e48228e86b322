// quorel-img run as a program on PNG files written with libpng: every
// conversion must come back with the same pixels, and the engine must load
// what the tool writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "graphics/image_codec.h"
#include "graphics/images.h"
#include "graphics/png_codec.h"
#include "graphics/state.h"
#include "resources/resources.h"
#include "tests/graphics/pixel_helpers.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

using namespace pixel_helpers;
using testing_support::run_program;
using testing_support::TempDir;

namespace {

// Pixels as the PNG decoder sees them: colour plus opacity.
struct Pixels {
  int width = 0, height = 0;
  std::vector<uint8_t> bgr, transparency, indexes;
  gfx::Palette palette{};
  bool operator==(const Pixels& o) const {
    return width == o.width && height == o.height && bgr == o.bgr && transparency == o.transparency;
  }
};

Pixels read_png_file(const std::string& path) {
  auto data = plat::read_whole_file(path);
  Pixels p;
  if (!data) return p;
  gfx::PngImage img;
  if (gfx::decode_png(*data, img, nullptr) != gfx::PngResult::Ok) return p;
  p.width = img.width, p.height = img.height;
  p.bgr = img.bgr, p.transparency = img.transparency, p.indexes = img.indexes, p.palette = img.palette;
  return p;
}

PngSpec picture(int w, int h, int colour_type, uint32_t seed) {
  std::mt19937 rng(seed);
  PngSpec s;
  s.width = w, s.height = h, s.colour_type = colour_type;
  int channels = colour_type == PNG_COLOR_TYPE_RGB_ALPHA ? 4 : colour_type == PNG_COLOR_TYPE_RGB ? 3 : 1;
  if (colour_type == PNG_COLOR_TYPE_PALETTE)
    for (int i = 0; i < 256; ++i) s.palette.push_back({uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
  for (int y = 0; y < h; ++y) {
    std::vector<uint8_t> row;
    for (int x = 0; x < w * channels; ++x)
      row.push_back(static_cast<uint8_t>(x % 7 == 0 ? rng() : (x / channels + y) * 3 + x % channels * 50));
    s.rows.push_back(row);
  }
  return s;
}

class Img : public ::testing::Test {
 protected:
  TempDir dir;
  testing_support::RunResult img(std::vector<std::string> args) {
    args.insert(args.begin(), "quorel-img");
    return run_program(args, dir.path());
  }
};

TEST_F(Img, ColourWithAlphaRoundTrip) {
  dir.write("hero.png", write_png(picture(37, 23, PNG_COLOR_TYPE_RGB_ALPHA, 1)));
  auto enc = img({"encode", "hero.png", "out/hero.rct"});
  ASSERT_EQ(enc.exit_code, 0) << enc.err;
  EXPECT_TRUE(dir.exists("out/hero.rct"));
  EXPECT_TRUE(dir.exists("out/hero_.rc8")) << "the transparency goes to the alpha image";
  auto dec = img({"decode", "out/hero.rct", "back.png"});
  ASSERT_EQ(dec.exit_code, 0) << dec.err;
  Pixels a = read_png_file(dir / "hero.png"), b = read_png_file(dir / "back.png");
  ASSERT_FALSE(a.bgr.empty());
  EXPECT_TRUE(a == b);

  // The engine loads the pair as the same picture.
  TempDir game;
  game.write("data/hero.rct", dir.read("out/hero.rct"));
  game.write("data/hero_.rc8", dir.read("out/hero_.rc8"));
  auto e = testing_support::make_engine(game.path());
  res::register_startup_folders(*e);
  gfx::Page* page = gfx::load_image_page(*e, "hero.rct", gfx::LoadMode::Copy, "test");
  gfx::Page* alpha = gfx::load_image_page(*e, "hero_.rc8", gfx::LoadMode::Copy, "test");
  ASSERT_TRUE(page && alpha);
  EXPECT_EQ(bgr_at(*page, 36, 22), (std::vector<uint8_t>(a.bgr.end() - 3, a.bgr.end())));
  EXPECT_EQ(alpha->row(22)[36], a.transparency.back());
}

TEST_F(Img, PaletteAndGreyRoundTrips) {
  dir.write("pal.png", write_png(picture(19, 11, PNG_COLOR_TYPE_PALETTE, 2)));
  dir.write("mask_.png", write_png(picture(8, 5, PNG_COLOR_TYPE_GRAY, 3)));
  for (const char* name : {"pal", "mask_"}) {
    auto enc = img({"encode", std::string(name) + ".png"});
    ASSERT_EQ(enc.exit_code, 0) << enc.err;
    ASSERT_TRUE(dir.exists(std::string(name) + ".rc8")) << "palette and grey images default to .rc8";
    auto dec = img({"decode", std::string(name) + ".rc8", std::string(name) + "2.png"});
    ASSERT_EQ(dec.exit_code, 0) << dec.err;
    Pixels a = read_png_file(dir / (std::string(name) + ".png")), b = read_png_file(dir / (std::string(name) + "2.png"));
    EXPECT_TRUE(a == b) << name;
  }
  Pixels p = read_png_file(dir / "pal2.png");
  Pixels q = read_png_file(dir / "pal.png");
  EXPECT_EQ(p.indexes, q.indexes) << "indexes kept, not only colours";

  // Asked for full colour, a palette picture's colours are looked up, blue,
  // green and red each in its place.
  auto full = img({"encode", "--format=rct", "pal.png"});
  ASSERT_EQ(full.exit_code, 0) << full.err;
  ASSERT_EQ(img({"decode", "pal.rct", "pal3.png"}).exit_code, 0);
  EXPECT_EQ(read_png_file(dir / "pal3.png").bgr, q.bgr);
  auto info = img({"info", "pal.rc8", "mask_.rc8", "pal.png"});
  EXPECT_EQ(info.exit_code, 0);
  EXPECT_NE(info.out.find("pal.rc8: .rc8 8-bit palette 19 x 11"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("grey-ramp palette"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("pal.png: PNG 19 x 11, palette"), std::string::npos) << info.out;
}

TEST_F(Img, FoldersConvertBothWays) {
  dir.write("art/bg/room.png", write_png(picture(64, 48, PNG_COLOR_TYPE_RGB, 4)));
  dir.write("art/ch/girl.png", write_png(picture(20, 30, PNG_COLOR_TYPE_RGB_ALPHA, 5)));
  dir.write("art/ui/icons.png", write_png(picture(16, 16, PNG_COLOR_TYPE_PALETTE, 6)));
  dir.write("art/readme.txt", "not an image");
  auto enc = img({"encode-dir", "art", "game"});
  ASSERT_EQ(enc.exit_code, 0) << enc.err;
  EXPECT_NE(enc.err.find("[3/3]"), std::string::npos) << "a progress line per file: " << enc.err;
  EXPECT_TRUE(dir.exists("game/bg/room.rct"));
  EXPECT_TRUE(dir.exists("game/ch/girl_.rc8"));
  EXPECT_TRUE(dir.exists("game/ui/icons.rc8"));
  auto dec = img({"decode-dir", "game", "again"});
  ASSERT_EQ(dec.exit_code, 0) << dec.err;
  EXPECT_FALSE(dir.exists("again/ch/girl_.png")) << "alpha images are merged into their picture";
  for (const char* f : {"bg/room.png", "ch/girl.png", "ui/icons.png"})
    EXPECT_TRUE(read_png_file(dir / (std::string("art/") + f)) == read_png_file(dir / (std::string("again/") + f)))
        << f;
}

TEST_F(Img, DifferenceImages) {
  PngSpec base = picture(10, 6, PNG_COLOR_TYPE_RGB, 7);
  PngSpec variant = base;
  for (int x = 3; x < 7; ++x) variant.rows[2][3 * x] = 0x11;  // a small change
  dir.write("ev01.png", write_png(base));
  dir.write("ev01b.png", write_png(variant));
  ASSERT_EQ(img({"encode", "ev01.png"}).exit_code, 0);
  auto enc = img({"encode", "--base=ev01.png", "ev01b.png"});
  ASSERT_EQ(enc.exit_code, 0) << enc.err;
  auto data = plat::read_whole_file(dir / "ev01b.rct");
  gfx::ImageHeader h;
  ASSERT_TRUE(data && gfx::parse_image_header(*data, h, nullptr));
  EXPECT_EQ(h.base_name, "ev01");
  EXPECT_LT(data->size(), plat::read_whole_file(dir / "ev01.rct")->size()) << "mostly one colour: small";
  ASSERT_EQ(img({"decode", "ev01b.rct", "check.png"}).exit_code, 0);
  EXPECT_TRUE(read_png_file(dir / "ev01b.png") == read_png_file(dir / "check.png"));

  dir.make_dir("elsewhere");
  dir.write("elsewhere/ev01b.rct", dir.read("ev01b.rct"));
  auto lost = img({"decode", "elsewhere/ev01b.rct", "lost.png"});
  EXPECT_EQ(lost.exit_code, 1);
  EXPECT_NE(lost.err.find("difference base \"ev01\""), std::string::npos) << lost.err;
  EXPECT_EQ(img({"decode", "--base-dir=.", "elsewhere/ev01b.rct", "found.png"}).exit_code, 0);

  // The base named inside a file is a file name, never a path that leaves
  // the base folder (a downloaded image must not pull in other pictures).
  std::vector<uint8_t> bgr(10 * 6 * 3, 0);
  for (size_t i = 2; i < bgr.size(); i += 3) bgr[i] = 0xFF;  // all pure red: all base
  for (const std::string& base_name : {std::string("../ev01"), dir / "ev01"}) {
    dir.write("elsewhere/climb.rct", gfx::encode_rct(bgr.data(), 10, 6, 30, base_name));
    auto climb = img({"decode", "elsewhere/climb.rct", "climb.png"});
    EXPECT_EQ(climb.exit_code, 1) << base_name;
    EXPECT_NE(climb.err.find("is not a file name"), std::string::npos) << climb.err;
    EXPECT_FALSE(dir.exists("climb.png"));
  }

  // Pure red where the base differs cannot be stored in a difference image.
  PngSpec red = base;
  red.rows[0][0] = 255, red.rows[0][1] = 0, red.rows[0][2] = 0;
  dir.write("red.png", write_png(red));
  auto refused = img({"encode", "--base=ev01.png", "red.png"});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_NE(refused.err.find("pure red at (0, 0)"), std::string::npos) << refused.err;
}

// Difference images that name each other as bases are a loop: refused with
// a message, after a few levels, never followed without end.
TEST_F(Img, DifferenceBasesThatLoopAreRefused) {
  PngSpec one = picture(8, 4, PNG_COLOR_TYPE_RGB, 3);
  PngSpec two = one;
  two.rows[1][0] = 0x22;
  dir.write("one.png", write_png(one));
  dir.write("two.png", write_png(two));
  ASSERT_EQ(img({"encode", "--base=two.png", "one.png"}).exit_code, 0);
  ASSERT_EQ(img({"encode", "--base=one.png", "two.png"}).exit_code, 0);
  std::filesystem::remove(dir / "one.png");
  std::filesystem::remove(dir / "two.png");
  auto r = img({"decode", "one.rct", "out.png"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("nested too deep"), std::string::npos) << r.err;
}

TEST_F(Img, BadInputIsReportedWithAStatus) {
  PngSpec many = picture(300, 2, PNG_COLOR_TYPE_RGB, 8);
  for (int x = 0; x < 300; ++x) many.rows[0][3 * x] = static_cast<uint8_t>(x), many.rows[0][3 * x + 1] = x > 255;
  dir.write("many.png", write_png(many));
  auto r = img({"encode", "--format=rc8", "many.png"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("more than 256 colours"), std::string::npos) << r.err;
  EXPECT_FALSE(dir.exists("many.rc8"));

  std::vector<uint8_t> good = gfx::encode_rct(std::vector<uint8_t>(300, 5).data(), 10, 10, 30);
  dir.write("cut.rct", cut_file(good, good.size() - 1));
  r = img({"decode", "cut.rct"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("cut.rct: "), std::string::npos) << r.err;
  EXPECT_FALSE(dir.exists("cut.png")) << "nothing written for a broken input";

  dir.write("fake.png", std::string("\x89PNG\r\n\x1a\n garbage"));
  EXPECT_EQ(img({"encode", "fake.png"}).exit_code, 1);
  EXPECT_EQ(img({"decode", "missing.rct"}).exit_code, 1);
  EXPECT_EQ(img({"info", "cut.rct"}).exit_code, 1);
  EXPECT_EQ(img({"frobnicate"}).exit_code, 2);
  EXPECT_EQ(img({"encode"}).exit_code, 2);
  EXPECT_EQ(img({"--format=gif", "encode", "many.png"}).exit_code, 2);
  auto help = img({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_NE(help.out.find("decode-dir IN_DIR OUT_DIR"), std::string::npos);
}

}  // namespace
