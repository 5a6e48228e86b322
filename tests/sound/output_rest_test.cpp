// The audio device closes while nothing plays (its thread would otherwise
// wake once a buffer for nothing) and opens again for the next sound or
// movie, with SDL's dummy driver as the device. The waits below poll for a
// state with a generous limit; nothing is timed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "core/engine.h"
#include "platform/host.h"
#include "resources/resources.h"
#include "sound/sound_engine.h"
#include "sound/sound_state.h"
#include "tests/support/audio_files.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;

namespace {

bool eventually(const std::function<bool()>& condition) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < limit) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

class OutputRest : public ::testing::Test {
 protected:
  TempDir game;
  std::atomic<size_t> pulled{0};  // frames a movie's sound gave the device
  std::unique_ptr<rt::Engine> e;

  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    // A third of a second of sound.
    game.write("data/short.wav", pcm16_wave(sine(14700, 2, 44100), 2, 44100));
    rt::Options options;
    options.game_dir = game.path();
    options.headless = false;
    e = std::make_unique<rt::Engine>(options, plat::make_headless_host(plat::Answer::Ok));
    res::register_startup_folders(*e);
    e->sound->output_rest_ms = 150;
    if (snd::SndInit(*e) != 0) GTEST_SKIP() << "no audio device";
    snd::SndStopAll(*e);  // starts the service thread
  }
  void TearDown() override {
    if (e) snd::shut_down(*e);
  }
};

TEST_F(OutputRest, ClosesInSilenceAndOpensForTheNextSound) {
  EXPECT_TRUE(eventually([&] { return !snd::output_open(*e); })) << "the device stays open with nothing to play";

  // The device pulls the sound again: its ring plays on.
  auto playing = [&](uint32_t id) {
    auto v = snd::stream_view(*e, id);
    return v && v->opened && v->play_cursor > 0;
  };
  const uint32_t looped = snd::SndPlay(*e, "short.wav", 800, true);
  ASSERT_NE(looped, 0u);
  EXPECT_TRUE(eventually([&] { return snd::output_open(*e); }));
  EXPECT_TRUE(eventually([&] { return playing(looped); }));
  EXPECT_TRUE(eventually([&] { return snd::SndStatus(*e, looped) == -1; }));  // through once, and on
  EXPECT_TRUE(snd::output_open(*e));
  snd::SndStop(*e, looped);
  EXPECT_TRUE(eventually([&] { return snd::stream_count(*e) == 0; }));
  EXPECT_TRUE(eventually([&] { return !snd::output_open(*e); }));

  // And again, a sound that ends by itself: the second opening is as good
  // as the first.
  const uint32_t once = snd::SndPlay(*e, "short.wav", 800, false);
  EXPECT_TRUE(eventually([&] { return playing(once); }));
  EXPECT_TRUE(eventually([&] { return snd::stream_count(*e) == 0; }));
  EXPECT_TRUE(eventually([&] { return !snd::output_open(*e); }));
}

TEST_F(OutputRest, AMovieOpensTheDeviceAndKeepsItOpenUntilItsSoundStops) {
  ASSERT_TRUE(eventually([&] { return !snd::output_open(*e); }));
  ASSERT_TRUE(snd::movie_sound_start(
      *e,
      [this](int16_t* out, size_t frames) {
        std::fill(out, out + frames * 2, int16_t{0});
        pulled += frames;
        return frames;
      },
      1000));
  EXPECT_TRUE(snd::output_open(*e));
  EXPECT_TRUE(eventually([&] { return pulled.load() > 0; }));
  // Several rest periods go by with no stream: the movie's sound still plays.
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_TRUE(snd::output_open(*e));
  const size_t before = pulled.load();
  EXPECT_TRUE(eventually([&] { return pulled.load() > before; }));

  snd::movie_sound_stop(*e);
  EXPECT_TRUE(eventually([&] { return !snd::output_open(*e); }));
}

}  // namespace
