// PNG files of every colour type and depth, written with libpng in the
// test, decoded into colour and transparency planes.
#include <gtest/gtest.h>

#include "graphics/png_codec.h"
#include "tests/graphics/pixel_helpers.h"

using namespace pixel_helpers;

namespace {

gfx::PngImage decoded(const PngSpec& spec) {
  std::vector<uint8_t> file = write_png(spec);
  EXPECT_FALSE(file.empty());
  gfx::PngImage img;
  std::string error;
  EXPECT_EQ(gfx::decode_png(file, img, &error), gfx::PngResult::Ok) << error;
  return img;
}

std::vector<uint8_t> bgr(const gfx::PngImage& img, int x, int y) {
  const uint8_t* p = img.bgr.data() + (static_cast<size_t>(y) * img.width + x) * 3;
  return {p[0], p[1], p[2]};
}

TEST(PngDecode, ColourAndAlphaChannels) {
  PngSpec rgb;
  rgb.width = 2;
  rgb.rows = {{10, 20, 30, 40, 50, 60}};
  gfx::PngImage a = decoded(rgb);
  EXPECT_EQ(bgr(a, 0, 0), (std::vector<uint8_t>{30, 20, 10})) << "stored blue, green, red";
  EXPECT_EQ(bgr(a, 1, 0), (std::vector<uint8_t>{60, 50, 40}));
  EXPECT_TRUE(a.transparency.empty()) << "no alpha, no tRNS: no transparency page";

  PngSpec rgba;
  rgba.width = 3;
  rgba.colour_type = PNG_COLOR_TYPE_RGB_ALPHA;
  rgba.rows = {{1, 2, 3, 255, 4, 5, 6, 0, 7, 8, 9, 100}};
  gfx::PngImage b = decoded(rgba);
  EXPECT_EQ(b.transparency, (std::vector<uint8_t>{0, 255, 155})) << "transparency is 255 - alpha";
  EXPECT_EQ(bgr(b, 1, 0), (std::vector<uint8_t>{6, 5, 4}));

  PngSpec grey;
  grey.width = 2;
  grey.colour_type = PNG_COLOR_TYPE_GRAY;
  grey.rows = {{0, 200}};
  gfx::PngImage g = decoded(grey);
  EXPECT_EQ(bgr(g, 1, 0), (std::vector<uint8_t>{200, 200, 200}));
  EXPECT_TRUE(g.transparency.empty());

  PngSpec ga;
  ga.width = 2;
  ga.colour_type = PNG_COLOR_TYPE_GRAY_ALPHA;
  ga.rows = {{50, 255, 60, 1}};
  gfx::PngImage h = decoded(ga);
  EXPECT_EQ(bgr(h, 1, 0), (std::vector<uint8_t>{60, 60, 60}));
  EXPECT_EQ(h.transparency, (std::vector<uint8_t>{0, 254}));
}

TEST(PngDecode, PaletteAndColourKeys) {
  PngSpec pal;
  pal.width = 4;
  pal.colour_type = PNG_COLOR_TYPE_PALETTE;
  pal.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 8, 7}};
  pal.trns_alpha = {0, 128};  // only the first two entries
  pal.rows = {{3, 2, 1, 0}};
  gfx::PngImage p = decoded(pal);
  EXPECT_EQ(bgr(p, 0, 0), (std::vector<uint8_t>{7, 8, 9}));
  EXPECT_EQ(bgr(p, 3, 0), (std::vector<uint8_t>{0, 0, 255}));
  EXPECT_EQ(p.transparency, (std::vector<uint8_t>{0, 0, 127, 255}));
  EXPECT_EQ(p.indexes, (std::vector<uint8_t>{3, 2, 1, 0}));

  PngSpec key;
  key.width = 3;
  key.rows = {{1, 2, 3, 1, 2, 4, 1, 2, 3}};
  key.trns_colour = true;
  key.trns_key.red = 1, key.trns_key.green = 2, key.trns_key.blue = 3;
  gfx::PngImage k = decoded(key);
  EXPECT_EQ(k.transparency, (std::vector<uint8_t>{255, 0, 255})) << "a colour key gives only 0 and 255";
  EXPECT_EQ(bgr(k, 0, 0), (std::vector<uint8_t>{3, 2, 1})) << "the keyed colour itself is kept";

  PngSpec grey_key;
  grey_key.width = 2;
  grey_key.colour_type = PNG_COLOR_TYPE_GRAY;
  grey_key.rows = {{7, 8}};
  grey_key.trns_colour = true;
  grey_key.trns_key.gray = 8;
  EXPECT_EQ(decoded(grey_key).transparency, (std::vector<uint8_t>{0, 255}));
}

TEST(PngDecode, DepthsOtherThanEight) {
  // 16-bit samples k * 257 scale to exactly k; the colour key is compared
  // at 16 bits, so a sample differing only in its low byte is not keyed.
  PngSpec deep;
  deep.width = 2;
  deep.bit_depth = 16;
  deep.rows = {{0x80, 0x80, 0xFF, 0xFF, 0x00, 0x00, 0x80, 0x80, 0xFF, 0xFF, 0x00, 0x01}};
  deep.trns_colour = true;
  deep.trns_key.red = 0x8080, deep.trns_key.green = 0xFFFF, deep.trns_key.blue = 0x0000;
  gfx::PngImage d = decoded(deep);
  EXPECT_EQ(bgr(d, 0, 0), (std::vector<uint8_t>{0, 255, 128}));
  EXPECT_EQ(d.transparency, (std::vector<uint8_t>{255, 0}));

  PngSpec nibbles;
  nibbles.width = 3;
  nibbles.colour_type = PNG_COLOR_TYPE_PALETTE;
  nibbles.bit_depth = 4;
  nibbles.palette.resize(16);
  for (int i = 0; i < 16; ++i) nibbles.palette[i] = {uint8_t(i * 16), 0, 0};
  nibbles.rows = {{0xF1, 0x20}};
  gfx::PngImage n = decoded(nibbles);
  EXPECT_EQ(n.indexes, (std::vector<uint8_t>{15, 1, 2}));
  EXPECT_EQ(bgr(n, 0, 0), (std::vector<uint8_t>{0, 0, 240}));

  PngSpec bits;
  bits.width = 10;
  bits.colour_type = PNG_COLOR_TYPE_GRAY;
  bits.bit_depth = 1;
  bits.rows = {{0xA0, 0x40}};
  gfx::PngImage b = decoded(bits);
  EXPECT_EQ(bgr(b, 0, 0)[0], 255);
  EXPECT_EQ(bgr(b, 1, 0)[0], 0);
  EXPECT_EQ(bgr(b, 9, 0)[0], 255);
}

TEST(PngDecode, InterlacedEqualsProgressive) {
  PngSpec spec;
  spec.width = 11;
  spec.height = 9;
  spec.colour_type = PNG_COLOR_TYPE_RGB_ALPHA;
  for (int y = 0; y < spec.height; ++y) {
    std::vector<uint8_t> row;
    for (int x = 0; x < spec.width; ++x) row.insert(row.end(), {uint8_t(x * 20), uint8_t(y * 25), uint8_t(x ^ y), uint8_t(x * y)});
    spec.rows.push_back(row);
  }
  gfx::PngImage plain = decoded(spec);
  spec.interlaced = true;
  gfx::PngImage adam7 = decoded(spec);
  EXPECT_TRUE(adam7.interlaced);
  EXPECT_EQ(adam7.bgr, plain.bgr);
  EXPECT_EQ(adam7.transparency, plain.transparency);
  EXPECT_EQ(bgr(adam7, 10, 8), (std::vector<uint8_t>{10 ^ 8, 200, 200}));
}

TEST(PngDecode, BrokenFilesFailCleanly) {
  PngSpec spec;
  spec.width = 16;
  spec.height = 16;
  spec.rows.assign(16, std::vector<uint8_t>(48, 77));
  std::vector<uint8_t> good = write_png(spec);
  gfx::PngImage img;
  std::string error;

  std::vector<uint8_t> truncated(good.begin(), good.begin() + good.size() / 2);
  EXPECT_NE(gfx::decode_png(truncated, img, &error), gfx::PngResult::Ok);
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(img.bgr.empty()) << "no partial image is handed out";

  std::vector<uint8_t> bad_crc = good;
  bad_crc[20] ^= 0xFF;  // inside IHDR
  EXPECT_NE(gfx::decode_png(bad_crc, img, &error), gfx::PngResult::Ok);

  std::vector<uint8_t> not_png = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_NE(gfx::decode_png(not_png, img, &error), gfx::PngResult::Ok);

  // An index past a two-entry palette.
  PngSpec pal;
  pal.width = 2;
  pal.colour_type = PNG_COLOR_TYPE_PALETTE;
  pal.palette = {{1, 1, 1}, {2, 2, 2}};
  pal.rows = {{0, 5}};
  std::vector<uint8_t> past = write_png(pal);
  ASSERT_FALSE(past.empty());
  EXPECT_NE(gfx::decode_png(past, img, &error), gfx::PngResult::Ok);
  EXPECT_NE(error.find("palette"), std::string::npos) << error;
}

}  // namespace
