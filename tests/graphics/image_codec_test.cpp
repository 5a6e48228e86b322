// The own image formats on bytes written by hand: control bytes, copy
// positions, row padding, malformed files; and encoder round trips.
#include <gtest/gtest.h>

#include <random>

#include "graphics/image_codec.h"
#include "tests/graphics/pixel_helpers.h"

using namespace pixel_helpers;

namespace {

struct Decoded {
  bool ok = false;
  std::string error;
  gfx::ImageHeader header;
  std::vector<uint8_t> pixels;  // rows of `stride` bytes
  size_t stride = 0;
};

Decoded decode(const std::vector<uint8_t>& file) {
  Decoded d;
  if (!gfx::parse_image_header(file, d.header, &d.error)) return d;
  size_t row = static_cast<size_t>(d.header.width) * d.header.bytes_per_pixel();
  d.stride = (row + 3) / 4 * 4;
  d.pixels.assign(d.stride * d.header.height, 0xEE);
  d.ok = gfx::decode_image_data(file, d.header, d.pixels.data(), d.stride, d.pixels.size(), &d.error);
  return d;
}

std::vector<uint8_t> row_of(const Decoded& d, int y) {
  size_t row = static_cast<size_t>(d.header.width) * d.header.bytes_per_pixel();
  return {d.pixels.begin() + y * d.stride, d.pixels.begin() + y * d.stride + row};
}

TEST(RctDecode, LiteralsAndCopiesLandInPaddedRows) {
  // 3 x 2: row 0 = A B C (first pixel raw, then a literal of two); row 1 =
  // a copy of two pixels from one row up (A B), then one from the left (B).
  std::vector<uint8_t> data = {1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9, 0xA5, 0x80};
  Decoded d = decode(rct_file(3, 2, data));
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.stride, 12u) << "9 bytes of pixels padded to 12";
  EXPECT_EQ(row_of(d, 0), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(row_of(d, 1), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 4, 5, 6}));
}

TEST(RctDecode, LongCountsAndRepeatingOverlap) {
  // 0x83 + uint16 n: n + 4 pixels from one to the left: a run of one colour.
  // 0x02: a literal of three pixels. 0x7F + uint16: a long literal.
  std::vector<uint8_t> data = {10, 20, 30, 0x83, 5, 0, 0x02, 1, 1, 1, 2, 2, 2, 3, 3, 3, 0x7F, 0, 0};
  for (int i = 0; i < 128; ++i) data.insert(data.end(), {uint8_t(i), uint8_t(i), uint8_t(i)});
  Decoded d = decode(rct_file(1 + 9 + 3 + 128, 1, data));
  ASSERT_TRUE(d.ok) << d.error;
  std::vector<uint8_t> row = row_of(d, 0);
  for (int p = 0; p < 10; ++p) EXPECT_EQ(row[3 * p + 1], 20) << p;
  EXPECT_EQ(row[3 * 10], 1);
  EXPECT_EQ(row[3 * 12 + 2], 3);
  EXPECT_EQ(row[3 * 13], 0);
  EXPECT_EQ(row[3 * 140], 127);

  // A pattern of two pixels repeated by a copy from two to the left.
  Decoded p = decode(rct_file(8, 1, {9, 9, 9, 0x00, 5, 5, 5, 0x87, 2, 0}));
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(row_of(p, 0), (std::vector<uint8_t>{9, 9, 9, 5, 5, 5, 9, 9, 9, 5, 5, 5, 9, 9, 9, 5, 5, 5, 9, 9, 9, 5,
                                                5, 5}));
}

TEST(RctDecode, WidthWithoutPaddingAndDifferenceHeader) {
  // Width 4: 12 bytes a row, nothing to move.
  Decoded d = decode(rct_file(4, 2, {7, 7, 7, 0x83, 3, 0}, "base01"));
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.stride, 12u);
  EXPECT_EQ(d.header.format, gfx::ImageFormat::RctDifference);
  EXPECT_EQ(d.header.base_name, "base01");
  EXPECT_EQ(row_of(d, 1), std::vector<uint8_t>(12, 7));

  // A base name padded with zero bytes ends at the first of them.
  std::vector<uint8_t> f = rct_file(1, 1, {1, 2, 3}, std::string("ab\0\0", 4));
  Decoded z = decode(f);
  ASSERT_TRUE(z.ok) << z.error;
  EXPECT_EQ(z.header.base_name, "ab");
}

TEST(Rc8Decode, ControlsAndPalette) {
  // raw 7; 0x80: three bytes from one to the left; 0x87 + 0: ten more;
  // 0x7F + 0: a literal of 128 bytes; 0x98 = position 3 (-4, 0), 3 bytes.
  std::vector<uint8_t> data = {7, 0x80, 0x87, 0, 0, 0x7F, 0, 0};
  for (int i = 0; i < 128; ++i) data.push_back(static_cast<uint8_t>(i));
  data.push_back(0x98);
  Decoded d = decode(rc8_file(1 + 3 + 10 + 128 + 3, 1, data));
  ASSERT_TRUE(d.ok) << d.error;
  std::vector<uint8_t> row = row_of(d, 0);
  for (int i = 0; i < 14; ++i) EXPECT_EQ(row[i], 7) << i;
  for (int i = 0; i < 128; ++i) ASSERT_EQ(row[14 + i], i);
  EXPECT_EQ((std::vector<uint8_t>(row.end() - 3, row.end())), (std::vector<uint8_t>{124, 125, 126}));
  EXPECT_EQ(d.header.palette[200].b, 200);
  EXPECT_EQ(d.header.palette[200].g, 55);
  EXPECT_EQ(d.header.palette[200].r, 100);

  // Three rows of 5: a copy of seven bytes through (0, -1) (index 7) runs
  // into its own output; three more finish the image.
  Decoded u = decode(rc8_file(5, 3, {1, 0x03, 2, 3, 4, 5, 0xBC, 0xB8}));
  ASSERT_TRUE(u.ok) << u.error;
  EXPECT_EQ(row_of(u, 1), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(row_of(u, 2), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

std::vector<uint8_t> cut(std::vector<uint8_t> v, size_t n) {
  v.resize(n);
  return v;
}

TEST(ImageDecode, MalformedFilesAreRefused) {
  struct Case {
    const char* what;
    std::vector<uint8_t> file;
  };
  std::vector<uint8_t> rct_ok = rct_file(2, 1, {1, 2, 3, 0x80});
  std::vector<uint8_t> bad_magic = rct_ok;
  bad_magic[7] = '9';
  std::vector<Case> cases = {
      {"short header", std::vector<uint8_t>(rct_ok.begin(), rct_ok.begin() + 12)},
      {"unknown signature", bad_magic},
      {"zero width", rct_file(0, 4, {1, 2, 3})},
      {"negative height", rct_file(4, -1, {1, 2, 3})},
      {"width x height x 3 overflows", rct_file(0x7FFFFFFF, 2, {1, 2, 3})},
      {"width x height x 3 overflows 64 bits", rct_file(0x7FFFFFFF, 0x7FFFFFFF, {1, 2, 3})},
      {"size past the end", rct_file(2, 1, {1, 2, 3, 0x80}, "", 100)},
      {"data shorter than a pixel", rct_file(2, 1, {1, 2})},
      {"huge image from tiny data", rct_file(20000, 20000, {1, 2, 3, 0x83, 0xFF, 0xFF})},
      {"copy from the row above in row 0", rct_file(4, 2, {1, 2, 3, 0xA4})},
      {"copy from before the start", rct_file(4, 2, {1, 2, 3, 0x84})},  // (-2, 0) at pixel 1
      {"copy from ahead (narrow image)", rct_file(2, 3, {1, 2, 3, 0x00, 4, 5, 6, 0x98})},
      {"input ends early", rct_file(5, 1, {1, 2, 3, 0x00, 4, 5, 6})},
      {"input ends inside a literal", rct_file(5, 1, {1, 2, 3, 0x03, 4, 5, 6})},
      {"input ends inside a long count", rct_file(9, 1, {1, 2, 3, 0x83, 4})},
      {"truncated difference name", cut(rct_file(1, 1, {1, 2, 3}, "abcdef"), 24)},
      {"rc8 palette cut", cut(rc8_file(1, 1, {1}), 300)},
      {"rc8 copy from before the start", rc8_file(4, 4, {1, 0xB8})},
  };
  for (const Case& c : cases) {
    Decoded d = decode(c.file);
    EXPECT_FALSE(d.ok) << c.what;
    EXPECT_FALSE(d.error.empty()) << c.what;
  }
}

TEST(ImageDecode, RunsPastTheEndAreCut) {
  // The last copy asks for 100 pixels where one is left; the image is
  // complete and nothing is written past it.
  std::vector<uint8_t> file = rct_file(2, 1, {1, 2, 3, 0x83, 96, 0});
  gfx::ImageHeader h;
  ASSERT_TRUE(gfx::parse_image_header(file, h, nullptr));
  std::vector<uint8_t> out(8 + 16, 0xEE);
  ASSERT_TRUE(gfx::decode_image_data(file, h, out.data(), 8, 8, nullptr));
  EXPECT_EQ((std::vector<uint8_t>(out.begin(), out.begin() + 6)), (std::vector<uint8_t>{1, 2, 3, 1, 2, 3}));
  EXPECT_EQ(out[8], 0xEE) << "nothing written past the capacity";
}

// --- Encoder --------------------------------------------------------------------------

std::vector<uint8_t> make_image(int w, int h, int bpp, int kind, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> img(static_cast<size_t>(w) * h * bpp);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < bpp; ++c) {
        uint8_t& v = img[(static_cast<size_t>(y) * w + x) * bpp + c];
        switch (kind) {
          case 0: v = static_cast<uint8_t>(rng()); break;                        // noise
          case 1: v = static_cast<uint8_t>((x / 3 + y / 2 + c * 40) & 0xFF); break;  // bands
          case 2: v = static_cast<uint8_t>(rng() % 3 == 0 ? rng() & 3 : 0); break;  // sparse
          default: v = 0x42; break;                                           // flat
        }
      }
  return img;
}

TEST(ImageEncode, RoundTripsExactly) {
  gfx::Palette palette{};
  for (int i = 0; i < 256; ++i) palette[i] = {uint8_t(i), uint8_t(i ^ 0x55), uint8_t(255 - i), 0};
  const int sizes[][2] = {{1, 1}, {1, 9}, {2, 7}, {3, 3}, {5, 1}, {7, 6}, {33, 17}, {64, 40}};
  for (auto [w, h] : sizes)
    for (int kind = 0; kind < 4; ++kind)
      for (int bpp : {3, 1}) {
        std::vector<uint8_t> img = make_image(w, h, bpp, kind, static_cast<uint32_t>(w * 131 + h * 7 + kind));
        size_t row = static_cast<size_t>(w) * bpp;
        std::vector<uint8_t> file = bpp == 3 ? gfx::encode_rct(img.data(), w, h, row)
                                             : gfx::encode_rc8(img.data(), w, h, row, palette);
        Decoded d = decode(file);
        ASSERT_TRUE(d.ok) << w << "x" << h << " kind " << kind << " bpp " << bpp << ": " << d.error;
        for (int y = 0; y < h; ++y)
          ASSERT_EQ(row_of(d, y), std::vector<uint8_t>(img.begin() + y * row, img.begin() + (y + 1) * row))
              << w << "x" << h << " kind " << kind << " bpp " << bpp << " row " << y;
        if (bpp == 1) {
          EXPECT_EQ(d.header.palette[77].g, 77 ^ 0x55);
        }
      }
}

TEST(ImageEncode, CompressesFlatAndStructuredImages) {
  std::vector<uint8_t> flat = make_image(640, 480, 3, 3, 1);
  std::vector<uint8_t> f = gfx::encode_rct(flat.data(), 640, 480, 640 * 3);
  EXPECT_LT(f.size(), 20u + 3 + 3 * (640 * 480 / 65539 + 2)) << "one long copy per 65539 pixels";
  std::vector<uint8_t> bands = make_image(320, 200, 3, 1, 1);
  EXPECT_LT(gfx::encode_rct(bands.data(), 320, 200, 960).size(), bands.size() / 8);
  // Noise cannot shrink, but the literal runs cost little.
  std::vector<uint8_t> noise = make_image(200, 100, 3, 0, 5);
  EXPECT_LT(gfx::encode_rct(noise.data(), 200, 100, 600).size(), noise.size() + noise.size() / 100 + 64);
}

TEST(ImageEncode, DifferenceImagesCarryTheirBase) {
  std::vector<uint8_t> img = make_image(4, 4, 3, 1, 3);
  std::vector<uint8_t> f = gfx::encode_rct(img.data(), 4, 4, 12, "ev_base");
  Decoded d = decode(f);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.header.format, gfx::ImageFormat::RctDifference);
  EXPECT_EQ(d.header.base_name, "ev_base");
}

}  // namespace
