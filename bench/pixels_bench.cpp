// Pixel work beside its peers, on the same pixels:
//   - the per-pixel alpha blend of an 800 x 600 picture onto a page, beside
//     pixman's OVER of the same picture (premultiplied, as pixman wants it);
//   - decoding an 800 x 600 ".rct", beside libpng decoding the same pixels
//     stored as PNG;
//   - filling and copying 800 x 600 pages, beside memcpy of the same bytes.
// Ends with one "RATIO <name> <peer time / Quorel time>" line per pair.
#include <benchmark/benchmark.h>
#include <pixman.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "core/engine.h"
#include "graphics/draw.h"
#include "graphics/image_codec.h"
#include "graphics/png_codec.h"
#include "graphics/state.h"

namespace {

constexpr int W = 800, H = 600;

// A picture like a game's: soft gradients, flat areas, a little noise.
std::vector<uint8_t> picture_bgr() {
  std::mt19937 rng(1);
  std::vector<uint8_t> px(static_cast<size_t>(W) * H * 3);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      uint8_t* p = &px[(static_cast<size_t>(y) * W + x) * 3];
      bool flat = (x / 100 + y / 100) % 3 == 0;
      p[0] = flat ? 40 : static_cast<uint8_t>(x * 255 / W);
      p[1] = flat ? 80 : static_cast<uint8_t>(y * 255 / H);
      p[2] = flat ? 120 : static_cast<uint8_t>((x + y) / 6 + (rng() % 8 == 0 ? rng() % 4 : 0));
    }
  return px;
}

// A sprite's transparency: an opaque disc with a wide soft edge on a clear
// ground (about a third each of opaque, partial and clear pixels).
std::vector<uint8_t> sprite_transparency() {
  std::vector<uint8_t> t(static_cast<size_t>(W) * H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      double d = std::hypot(x - W / 2.0, y - H / 2.0);
      double a = std::clamp((330.0 - d) / 120.0, 0.0, 1.0);  // opacity
      t[static_cast<size_t>(y) * W + x] = static_cast<uint8_t>(255 - std::lround(a * 255));
    }
  return t;
}

struct Engine {
  rt::Engine e{rt::Options{}, plat::make_headless_host(std::nullopt)};
};

Engine& engine() {
  static Engine* e = new Engine;
  return *e;
}

void fill_page(gfx::Page& p, const std::vector<uint8_t>& packed, int bpp) {
  for (int y = 0; y < p.height; ++y)
    std::memcpy(p.row(y), &packed[static_cast<size_t>(y) * p.width * bpp], static_cast<size_t>(p.width) * bpp);
}

// --- Alpha blend --------------------------------------------------------------------

void BM_quorel_blend(benchmark::State& state) {
  rt::Engine& e = engine().e;
  gfx::Page& src = gfx::create_page_24(e, W, H, false);
  gfx::Page& alpha = gfx::create_page_8(e, W, H, false);
  gfx::Page& dst = gfx::create_page_24(e, W, H, false);
  fill_page(src, picture_bgr(), 3);
  fill_page(alpha, sprite_transparency(), 1);
  src.alpha = &alpha;
  for (auto _ : state) {
    gfx::alpha_copy(src, {0, 0, W, H}, dst, 0, 0, 0);
    benchmark::ClobberMemory();
  }
}

void BM_pixman_over(benchmark::State& state) {
  std::vector<uint8_t> px = picture_bgr(), t = sprite_transparency();
  std::vector<uint32_t> src(static_cast<size_t>(W) * H), dst(static_cast<size_t>(W) * H, 0);
  for (size_t i = 0; i < src.size(); ++i) {
    uint32_t a = 255u - t[i];
    auto pre = [a](uint32_t c) { return (c * a + 127) / 255; };
    src[i] = (a << 24) | (pre(px[3 * i + 2]) << 16) | (pre(px[3 * i + 1]) << 8) | pre(px[3 * i]);
  }
  pixman_image_t* s = pixman_image_create_bits(PIXMAN_a8r8g8b8, W, H, src.data(), W * 4);
  pixman_image_t* d = pixman_image_create_bits(PIXMAN_x8r8g8b8, W, H, dst.data(), W * 4);
  for (auto _ : state) {
    pixman_image_composite32(PIXMAN_OP_OVER, s, nullptr, d, 0, 0, 0, 0, 0, 0, W, H);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(s);
  pixman_image_unref(d);
}

// --- Decoding -------------------------------------------------------------------------

void BM_quorel_rct_decode(benchmark::State& state) {
  std::vector<uint8_t> px = picture_bgr();
  std::vector<uint8_t> file = gfx::encode_rct(px.data(), W, H, static_cast<size_t>(W) * 3);
  gfx::ImageHeader h;
  gfx::parse_image_header(file, h, nullptr);
  size_t stride = (static_cast<size_t>(W) * 3 + 3) / 4 * 4;
  std::vector<uint8_t> out(stride * H);
  for (auto _ : state) {
    gfx::ImageHeader hh;
    gfx::parse_image_header(file, hh, nullptr);
    gfx::decode_image_data(file, hh, out.data(), stride, out.size(), nullptr);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["bytes"] = static_cast<double>(file.size());
}

struct PngSource {
  const std::vector<uint8_t>* data;
  size_t pos;
};

void png_read(png_structp png, png_bytep out, size_t n) {
  auto* s = static_cast<PngSource*>(png_get_io_ptr(png));
  std::memcpy(out, s->data->data() + s->pos, n);
  s->pos += n;
}

void BM_libpng_decode(benchmark::State& state) {
  std::vector<uint8_t> px = picture_bgr();
  std::vector<uint8_t> file = gfx::encode_png_bgr(px.data(), W, H, static_cast<size_t>(W) * 3);
  std::vector<uint8_t> out(static_cast<size_t>(W) * 3 * H);
  for (auto _ : state) {
    PngSource src{&file, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_read_fn(png, &src, png_read);
    png_read_info(png, info);
    png_set_bgr(png);
    png_read_update_info(png, info);
    for (int y = 0; y < H; ++y) png_read_row(png, out.data() + static_cast<size_t>(y) * W * 3, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["bytes"] = static_cast<double>(file.size());
}

// --- Fill and copy ------------------------------------------------------------------------

void BM_quorel_fill(benchmark::State& state) {
  gfx::Page& p = gfx::create_page_24(engine().e, W, H, false);
  for (auto _ : state) {
    gfx::box_fill(p, {0, 0, W, H}, 0x00123456);
    benchmark::ClobberMemory();
  }
}

void BM_quorel_copy(benchmark::State& state) {
  gfx::Page& a = gfx::create_page_24(engine().e, W, H, false);
  gfx::Page& b = gfx::create_page_24(engine().e, W, H, false);
  fill_page(a, picture_bgr(), 3);
  for (auto _ : state) {
    gfx::plain_copy(a, {0, 0, W, H}, b, 0, 0);
    benchmark::ClobberMemory();
  }
}

void BM_memcpy(benchmark::State& state) {
  std::vector<uint8_t> a(static_cast<size_t>(W) * 3 * H, 1), b(a.size());
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size());
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BM_quorel_blend)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_pixman_over)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_quorel_rct_decode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_libpng_decode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_quorel_fill)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_quorel_copy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_memcpy)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return bench_support::run_and_compare(argc, argv, {
      {"blend_vs_pixman_over", "BM_quorel_blend", "BM_pixman_over"},
      {"rct_decode_vs_libpng", "BM_quorel_rct_decode", "BM_libpng_decode"},
      {"fill_vs_memcpy", "BM_quorel_fill", "BM_memcpy"},
      {"copy_vs_memcpy", "BM_quorel_copy", "BM_memcpy"}});
}
