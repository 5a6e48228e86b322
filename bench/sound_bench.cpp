// Decoding and mixing 32 Ogg Vorbis streams at once on one core: the
// engine runs without an audio device, its clock pumping the mixer and the
// service passes, and the figure is seconds of sound produced per second
// of wall time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "core/engine.h"
#include "platform/host.h"
#include "resources/resources.h"
#include "sound/sound_engine.h"
#include "tests/support/audio_files.h"

namespace {

// "s<i>.ogg", built by appending (GCC 12 warns wrongly about operator+ here).
std::string stream_name(int i) {
  std::string name = "s";
  name += std::to_string(i);
  name += ".ogg";
  return name;
}

constexpr int kStreams = 32;
constexpr int kSeconds = 10;  // of sound per measured run
double g_ratio = 0;

struct Game {
  std::filesystem::path root;
  Game() {
    root = std::filesystem::temp_directory_path() / ("quorel-bench-sound-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root / "data");
    for (int i = 0; i < kStreams; ++i) {
      // Eight seconds of a chord with some noise, each stream its own.
      auto pcm = testing_support::sine(44100 * 8, 2, 44100, 0.3, 110.0 + 17 * i);
      uint32_t seed = 1 + i;
      for (auto& s : pcm) {
        seed = seed * 214013 + 2531011;
        s = static_cast<int16_t>(s + static_cast<int>((seed >> 16) & 0x3FF) - 0x200);
      }
      auto ogg = testing_support::vorbis_encode(testing_support::to_float(pcm), 2, 44100, 0.4f, 100 + i);
      std::ofstream(root / "data" / stream_name(i), std::ios::binary)
          .write(reinterpret_cast<const char*>(ogg.data()), static_cast<std::streamsize>(ogg.size()));
    }
  }
  ~Game() { std::filesystem::remove_all(root); }
};

void BM_Mix32Ogg(benchmark::State& state) {
  static Game game;
  double audio = 0, wall = 0;
  for (auto _ : state) {
    rt::Options options;
    options.game_dir = game.root.string();
    options.headless = true;
    options.virtual_clock = 10;
    rt::Engine e(options, plat::make_headless_host(plat::Answer::Ok));
    res::register_startup_folders(e);
    snd::SndInit(e);
    snd::pump(e);
    snd::SndStopAll(e);
    for (int i = 0; i < kStreams; ++i) snd::SndPlay(e, stream_name(i), 300, true);
    auto t0 = std::chrono::steady_clock::now();
    for (int pass = 0; pass < kSeconds * 100; ++pass) {
      e.clock.end_pass();
      snd::pump(e);
    }
    auto t1 = std::chrono::steady_clock::now();
    wall += std::chrono::duration<double>(t1 - t0).count();
    audio += kSeconds;
    state.PauseTiming();
    snd::SndStopAll(e);
    state.ResumeTiming();
  }
  g_ratio = audio / wall;
  state.counters["x_realtime"] = g_ratio;
}
BENCHMARK(BM_Mix32Ogg)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  std::printf("\n");  // the reporter's last colour reset goes on a line of its own
  benchmark::Shutdown();
  std::printf("RATIO realtime_32_ogg %.1f\n", g_ratio);
  return 0;
}
