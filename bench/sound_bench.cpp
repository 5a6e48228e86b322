// Decoding and mixing 32 Ogg Vorbis streams at once on one core: the
// engine runs without an audio device, its clock pumping the mixer and the
// service passes. Two figures: seconds of sound produced per second of
// wall time, and the engine beside bare libvorbis decoding the same 32
// streams for as long (ov_read into a buffer, nothing mixed), which is
// what the decoding alone costs.
#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

#include "bench/bench_support.h"
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
  std::vector<std::vector<uint8_t>> files;
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
      files.push_back(std::move(ogg));
    }
  }
  ~Game() { std::filesystem::remove_all(root); }
};

Game& game() {
  static Game g;
  return g;
}

void BM_Mix32Ogg(benchmark::State& state) {
  const Game& game = ::game();
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

// The peer: libvorbisfile reading each file from memory.
struct Memory {
  const std::vector<uint8_t>* bytes;
  size_t pos = 0;
};

size_t memory_read(void* out, size_t size, size_t count, void* source) {
  auto* m = static_cast<Memory*>(source);
  size_t want = size * count, left = m->bytes->size() - m->pos;
  size_t n = std::min(want, left);
  std::memcpy(out, m->bytes->data() + m->pos, n);
  m->pos += n;
  return size ? n / size : 0;
}

int memory_seek(void* source, ogg_int64_t offset, int whence) {
  auto* m = static_cast<Memory*>(source);
  ogg_int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<ogg_int64_t>(m->pos)
                                                                 : static_cast<ogg_int64_t>(m->bytes->size());
  ogg_int64_t to = base + offset;
  if (to < 0 || to > static_cast<ogg_int64_t>(m->bytes->size())) return -1;
  m->pos = static_cast<size_t>(to);
  return 0;
}

long memory_tell(void* source) { return static_cast<long>(static_cast<Memory*>(source)->pos); }

// The same 32 streams, looping, for the same seconds of sound each, in
// steps of 10 ms as the engine's clock takes them.
void BM_Bare32Vorbis(benchmark::State& state) {
  const Game& game = ::game();
  const ov_callbacks callbacks{memory_read, memory_seek, nullptr, memory_tell};
  std::vector<char> pcm(44100 * 4 / 100);
  for (auto _ : state) {
    std::vector<Memory> sources(kStreams);
    std::vector<OggVorbis_File> files(kStreams);
    for (int i = 0; i < kStreams; ++i) {
      sources[i].bytes = &game.files[i];
      if (ov_open_callbacks(&sources[i], &files[i], nullptr, 0, callbacks) != 0) {
        state.SkipWithError("ov_open_callbacks failed");
        return;
      }
    }
    for (int pass = 0; pass < kSeconds * 100; ++pass) {
      for (auto& f : files) {
        size_t got = 0;
        while (got < pcm.size()) {
          int section = 0;
          long n = ov_read(&f, pcm.data() + got, static_cast<int>(pcm.size() - got), 0, 2, 1, &section);
          if (n == 0 && ov_pcm_seek(&f, 0) != 0) break;  // looping, as the engine's streams do
          if (n < 0 && n != OV_HOLE) break;
          if (n <= 0) continue;
          got += static_cast<size_t>(n);
        }
        benchmark::DoNotOptimize(pcm.data());
      }
    }
    for (auto& f : files) ov_clear(&f);
  }
}
BENCHMARK(BM_Bare32Vorbis)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  bench_support::run_and_compare(argc, argv, {{"mix_32_ogg_vs_bare_vorbis", "BM_Mix32Ogg/iterations:3",
                                               "BM_Bare32Vorbis/iterations:3"}});
  std::printf("RATIO realtime_32_ogg %.1f\n", g_ratio);
  return 0;
}
