// The service thread and the audio device's thread against a script side
// that starts, changes and stops streams as fast as it can. Run under
// ThreadSanitizer too (preset tsan): the three locks must be taken in
// their order and guard every shared field.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "base/random.h"
#include "core/engine.h"
#include "platform/host.h"
#include "resources/resources.h"
#include "sound/sound_engine.h"
#include "sound/sound_state.h"
#include "tests/support/audio_files.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;

namespace {

TEST(SoundStress, ScriptSideAgainstServiceThreadAndDevice) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  TempDir game;
  game.write("data/a.wav", pcm16_wave(sine(4410, 2, 44100), 2, 44100));
  game.write("data/b.wav", pcm16_wave(sine(30000, 1, 22050), 1, 22050));
  game.write("data/c.ogg", vorbis_encode(to_float(sine(20000, 2, 44100)), 2, 44100));
  game.write("data/d.ogg", vorbis_encode(to_float(sine(9000, 1, 32000)), 1, 32000));
  game.write("data/broken.ogg", std::vector<uint8_t>(3000, 'z'));

  rt::Options options;
  options.game_dir = game.path();
  options.headless = false;  // a real output device (SDL's dummy driver here)
  options.answer = plat::Answer::Ok;
  rt::Engine e(options, plat::make_headless_host(plat::Answer::Ok));
  res::register_startup_folders(e);
  if (snd::SndInit(e) != 0) GTEST_SKIP() << "no audio device";
  snd::SndStopAll(e);  // starts the service thread
  ASSERT_TRUE(e.sound->service.joinable());

  const char* names[] = {"a.wav", "b.wav", "c.ogg", "d.ogg", "broken.ogg", "a.wav"};
  base::Random rng;
  rng.seed(99);
  std::vector<uint32_t> ids;
  for (int round = 0; round < 400; ++round) {
    int burst = rng.next() % 4;
    for (int i = 0; i < burst; ++i) {
      const char* name = names[rng.next() % 6];
      uint32_t id = rng.next() % 3 == 0 ? snd::SndPlayWithLoop(e, name, names[rng.next() % 4], 700, true)
                                        : snd::SndPlay(e, name, 1000, rng.next() % 2 == 0);
      ids.push_back(id);
    }
    for (int i = 0; i < 6 && !ids.empty(); ++i) {
      uint32_t id = ids[rng.next() % ids.size()];
      switch (rng.next() % 6) {
        case 0: snd::SndStop(e, id); break;
        case 1: snd::SndFade(e, id, rng.next() % 1000, rng.next() % 300); break;
        case 2: snd::SndFadeOut(e, id, 0, rng.next() % 200); break;
        case 3: snd::SndSetVolume(e, id, rng.next() % 1200); break;
        default: EXPECT_GE(snd::SndStatus(e, id), -1); break;
      }
    }
    if (round % 50 == 25) snd::SndStopAll(e);
    snd::pump(e);
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  EXPECT_GT(snd::stream_count(e), 0u);
  snd::SndStopAll(e);
  EXPECT_EQ(snd::stream_count(e), 0u);
  snd::shut_down(e);
}

}  // namespace
