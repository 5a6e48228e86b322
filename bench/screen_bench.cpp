// The composer beside memcpy of one 800 x 600 frame:
//   - a frame whose every cell is dirty, with a full-screen background and
//     64 sprites of 64 x 64 with soft transparency (a quarter of them also
//     faded), the work of a busy scene; the same with the background alone,
//     and with sprites of 96 x 96 (more blended pixels than the frame has);
//   - an idle frame: 64 sprites and nothing dirty.
// Ends with one "RATIO <name> <memcpy time / composer time>" line each.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "core/engine.h"
#include "graphics/display.h"
#include "graphics/sprite.h"
#include "graphics/state.h"
#include "script/script_machine.h"

namespace {

constexpr int W = 800, H = 600, kSprites = 64;

struct Scene {
  rt::Engine e{rt::Options{}, plat::make_headless_host(std::nullopt)};

  explicit Scene(int sprites = kSprites, int size = 64) {
    e.client_width = W;
    e.client_height = H;
    gfx::create_screen_page(e);
    gfx::reset_screen(e);
    gfx::Page& back = gfx::create_page_24(e, W, H, false);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        uint8_t* p = back.row(y) + 3 * x;
        p[0] = static_cast<uint8_t>(x), p[1] = static_cast<uint8_t>(y), p[2] = static_cast<uint8_t>(x + y);
      }
    place(back, 0, 0, 0);
    // A disc with a soft edge: opaque, partial and clear pixels.
    gfx::Page& ball = gfx::create_page_24(e, size, size, false);
    gfx::Page& alpha = gfx::create_page_8(e, size, size, false);
    const double opaque = size * 0.3, soft = size * 0.2;
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) {
        double d = std::hypot(x - size / 2.0, y - size / 2.0);
        alpha.row(y)[x] = static_cast<uint8_t>(std::clamp((d - opaque) * 255.0 / soft, 0.0, 255.0));
        uint8_t* p = ball.row(y) + 3 * x;
        p[0] = 200, p[1] = static_cast<uint8_t>(2 * x), p[2] = static_cast<uint8_t>(2 * y);
      }
    ball.alpha = &alpha;
    for (int i = 0; i < sprites; ++i)
      place(ball, (i % 8) * 95 + (i / 8) % 2 * 40, (i / 8) * 70, i % 4 == 0 ? 96 : 0);
    compose();
  }

  void place(gfx::Page& page, int x, int y, int alpha) {
    gfx::Sprite& s = gfx::create_sprite(e, page, page.bounds(), *e.gfx->display.front);
    s.x = x, s.y = y, s.alpha = alpha;
  }

  void compose() { gfx::compose_frame(e); }
  gfx::Page& front() { return *e.gfx->display.front; }
};

void BM_compose_full_frame(benchmark::State& state) {
  Scene scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  gfx::Page& front = scene.front();
  for (auto _ : state) {
    gfx::page_changed(scene.e, front, front.bounds());
    scene.compose();
    benchmark::DoNotOptimize(front.pixels());
  }
}

void BM_compose_idle_frame(benchmark::State& state) {
  Scene scene;
  for (auto _ : state) {
    scene.compose();
    benchmark::ClobberMemory();
  }
}

void BM_memcpy_frame(benchmark::State& state) {
  std::vector<uint8_t> from(static_cast<size_t>(W) * H * 3, 7), to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BM_compose_full_frame)
    ->Args({0, 64})
    ->Args({kSprites, 64})
    ->Args({kSprites, 96})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_compose_idle_frame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_memcpy_frame)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return bench_support::run_and_compare(argc, argv, {
      {"full_frame_64_sprites_vs_memcpy", "BM_compose_full_frame/64/64", "BM_memcpy_frame"},
      {"full_frame_64_large_sprites_vs_memcpy", "BM_compose_full_frame/64/96", "BM_memcpy_frame"},
      {"full_frame_background_only_vs_memcpy", "BM_compose_full_frame/0/64", "BM_memcpy_frame"},
      {"idle_frame_vs_memcpy", "BM_compose_idle_frame", "BM_memcpy_frame"}});
}
