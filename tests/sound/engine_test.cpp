// The stream engine without an audio device: the mixer and the service
// wake-ups are driven by the engine's virtual clock (10 ms per pass), and
// what would have been played is checked sample by sample.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <optional>
#include <set>

#include "resources/resources.h"
#include "sound/mixer.h"
#include "sound/sound_engine.h"
#include "sound/sound_state.h"
#include "tests/support/audio_files.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

using namespace testing_support;

namespace {

class Engine : public ::testing::Test {
 protected:
  TempDir game;
  std::unique_ptr<rt::Engine> e;

  void start() {
    e = make_engine(game.path());
    res::register_startup_folders(*e);
    e->options.audio_out = game / "out.wav";
    ASSERT_EQ(snd::SndInit(*e), 0);
    snd::pump(*e);
    snd::SndStopAll(*e);  // starts the service, as the first reset does
  }
  uint32_t now() const { return e->clock.now(); }
  void pass() {
    e->clock.end_pass();
    snd::pump(*e);
  }
  void run_ms(uint32_t ms) {
    for (uint32_t t = 0; t < ms; t += 10) pass();
  }
  // Passes until the stream has a buffer; returns the clock then.
  uint32_t until_open(uint32_t id) {
    for (int i = 0; i < 100; ++i) {
      auto v = snd::stream_view(*e, id);
      if (v && v->opened) return now();
      pass();
    }
    ADD_FAILURE() << "stream " << id << " never opened";
    return now();
  }
  const std::vector<int16_t>& out() const { return e->sound->captured; }
  size_t frame_at(uint32_t clock) const { return static_cast<size_t>(clock - first_pump) * 441 / 10; }
  uint32_t first_pump = plat::Clock::kVirtualStart;
};

std::vector<int16_t> constant(size_t frames, int channels, int16_t value) {
  return std::vector<int16_t>(frames * channels, value);
}

// Mixes 1024 stereo frames and returns the one value every sample holds
// after the ramp-in, or 1234 when they differ.
int16_t steady_mix(snd::Mixer& m) {
  std::vector<int16_t> out(2 * 1024);
  m.mix(out.data(), 1024);
  std::set<int16_t> seen(out.begin() + 2 * snd::kRampFrames, out.end());
  return seen.size() == 1 ? *seen.begin() : int16_t{1234};
}

TEST(VolumeScale, HundredthsOfADecibel) {
  EXPECT_EQ(snd::attenuation_of(1000), 0);
  EXPECT_EQ(snd::attenuation_of(500), -602);
  EXPECT_EQ(snd::attenuation_of(100), -2000);
  EXPECT_EQ(snd::attenuation_of(1), -6000);
  EXPECT_EQ(snd::attenuation_of(0), -10000);
  EXPECT_EQ(snd::attenuation_of(-3), -10000);
  EXPECT_EQ(snd::attenuation_of(5000), 0);
  EXPECT_FLOAT_EQ(snd::gain_of(-602), static_cast<float>(std::pow(10.0, -0.301)));
}

// Sums beyond full scale stop at the loudest sample of their sign; they
// never wrap round to the other sign. Full scale itself passes unchanged.
TEST(Mixing, LoudSumsSaturateAtFullScale) {
  auto mixed = [](std::vector<int16_t> levels) {
    snd::Mixer m;
    for (int16_t level : levels) {
      snd::SoundBuffer* b = m.create(snd::pcm16_format(2, snd::kDeviceRate), 4 * 4410);
      std::vector<int16_t> samples(2 * 4410, level);
      m.write(b, 0, reinterpret_cast<const uint8_t*>(samples.data()), samples.size() * 2);
      m.set_volume(b, 0);
      m.start(b);
    }
    return steady_mix(m);
  };
  EXPECT_EQ(mixed({30000, 30000}), 32767);
  EXPECT_EQ(mixed({-30000, -30000}), -32768);
  EXPECT_EQ(mixed({32767}), 32767);
  EXPECT_EQ(mixed({-32768}), -32768);
  EXPECT_EQ(mixed({20000, -5000, 17767}), 32767);
  EXPECT_EQ(mixed({20000, -30000}), -10000);
}

// 8-bit samples are unsigned: 128 is silence, and a buffer nothing was
// written to yet is silent too, whatever its sample size.
TEST(Mixing, EightBitSamplesAreUnsignedAroundTheMiddle) {
  auto mixed = [](int bits, std::optional<uint8_t> fill) {
    snd::Mixer m;
    snd::WaveFormat f = snd::pcm16_format(2, snd::kDeviceRate);
    f.bits = static_cast<uint16_t>(bits);
    f.block_align = static_cast<uint16_t>(2 * bits / 8);
    f.bytes_per_sec = f.block_align * f.rate;
    snd::SoundBuffer* b = m.create(f, f.block_align * 4410);
    if (fill) {
      std::vector<uint8_t> bytes(f.block_align * 4410, *fill);
      m.write(b, 0, bytes.data(), bytes.size());
    }
    m.set_volume(b, 0);
    m.start(b);
    return steady_mix(m);
  };
  EXPECT_EQ(mixed(8, 0x80), 0);
  EXPECT_EQ(mixed(8, 0xC0), 16384);
  EXPECT_EQ(mixed(8, 0x40), -16384);
  EXPECT_EQ(mixed(8, 0x00), -32768);
  EXPECT_EQ(mixed(8, std::nullopt), 0) << "an 8-bit buffer starts silent";
  EXPECT_EQ(mixed(16, std::nullopt), 0);
}

TEST_F(Engine, PlaysAtTheDecibelLevelAndEndsOnTime) {
  // Half a second of a constant level, at volume 500.
  game.write("data/dc.wav", pcm16_wave(constant(22050, 2, 10000), 2, 44100));
  start();
  uint32_t id = snd::SndPlay(*e, "DC.WAV", 500, false);
  ASSERT_NE(id, 0u);
  EXPECT_EQ(snd::SndStatus(*e, id), 1);
  uint32_t opened = until_open(id);
  auto v = snd::stream_view(*e, id);
  EXPECT_EQ(v->attenuation, -602);

  // Removed when what was queued has been heard: half a second after the
  // buffer started (give or take one service pass).
  uint32_t gone = 0;
  for (int i = 0; i < 200 && !gone; ++i) {
    pass();
    if (snd::SndStatus(*e, id) == 0) gone = now();
  }
  ASSERT_NE(gone, 0u);
  EXPECT_GE(gone - opened, 500u);
  EXPECT_LE(gone - opened, 500u + 200u);
  run_ms(100);

  // Sample by sample: silence, the ramp-in, the level, silence again.
  const int16_t level = static_cast<int16_t>(std::lrint(10000 * snd::gain_of(-602)));
  size_t begin = 0;
  while (begin < out().size() / 2 && out()[2 * begin] == 0) ++begin;
  ASSERT_LT(begin, out().size() / 2);
  EXPECT_NEAR(static_cast<double>(begin), frame_at(opened), 441.0 * 4) << "starts with the pass that opened it";
  for (size_t i = begin + snd::kRampFrames; i < begin + 22050; ++i) {
    ASSERT_EQ(out()[2 * i], level) << i;
    ASSERT_EQ(out()[2 * i + 1], level) << i;
  }
  for (size_t i = begin + 22050 + snd::kRampFrames; i < out().size() / 2; ++i) ASSERT_EQ(out()[2 * i], 0) << i;
}

TEST_F(Engine, FullVolumeIsSetOneBelowTheLastValue) {
  game.write("data/a.wav", pcm16_wave(constant(44100, 2, 1), 2, 44100));
  start();
  uint32_t id = snd::SndPlay(*e, "a.wav", 1000, true);
  until_open(id);
  EXPECT_EQ(snd::stream_view(*e, id)->attenuation, -1);
  snd::SndSetVolume(*e, id, 1000);
  run_ms(100);
  EXPECT_EQ(snd::stream_view(*e, id)->attenuation, 0);
  snd::SndSetVolume(*e, id, 1000);
  run_ms(100);
  EXPECT_EQ(snd::stream_view(*e, id)->attenuation, -1) << "again one below the last value";
  snd::SndSetVolume(*e, id, 0);
  run_ms(100);
  EXPECT_EQ(snd::stream_view(*e, id)->attenuation, -10000);
  snd::SndSetVolume(*e, id, -5);
  run_ms(100);
  EXPECT_EQ(snd::stream_view(*e, id)->attenuation, -9999) << "at the floor, one above";
}

TEST_F(Engine, FadesFollowTheClock) {
  game.write("data/loop.wav", pcm16_wave(sine(44100, 2, 44100), 2, 44100));
  start();
  uint32_t id = snd::SndPlay(*e, "loop.wav", 1000, true);
  until_open(id);
  uint32_t t0 = now();
  snd::SndFade(*e, id, 200, 1000);
  for (int i = 0; i < 150; ++i) {
    pass();
    auto v = snd::stream_view(*e, id);
    uint32_t at = e->sound->last_pass;
    int64_t elapsed = std::min<int64_t>(static_cast<int32_t>(at - t0), 1000);
    if (elapsed < 0) continue;
    ASSERT_EQ(v->volume, elapsed * (200 - 1000) / 1000 + 1000) << "at " << at - t0 << " ms";
  }
  EXPECT_EQ(snd::stream_view(*e, id)->volume, 200);
  EXPECT_EQ(snd::stream_view(*e, id)->attenuation, snd::attenuation_of(200));

  // A fade of 0 ms ends at the next pass; setting a volume cancels a fade.
  snd::SndFade(*e, id, 700, 0);
  run_ms(100);
  EXPECT_EQ(snd::stream_view(*e, id)->volume, 700);
  snd::SndFade(*e, id, 0, 100000);
  snd::SndSetVolume(*e, id, 300);
  run_ms(300);
  EXPECT_EQ(snd::stream_view(*e, id)->volume, 300);

  // A fade-out removes the stream when it ends.
  snd::SndFadeOut(*e, id, 0, 200);
  EXPECT_NE(snd::SndStatus(*e, id), 0);
  run_ms(400);
  EXPECT_EQ(snd::SndStatus(*e, id), 0);
  EXPECT_EQ(snd::stream_count(*e), 0u);
}

TEST_F(Engine, FadeOutBeforeOpeningNeverPlays) {
  game.write("data/a.wav", pcm16_wave(constant(44100, 2, 5000), 2, 44100));
  start();
  uint32_t id = snd::SndPlay(*e, "a.wav", 1000, false);
  snd::SndFadeOut(*e, id, 0, 500);
  EXPECT_EQ(snd::SndStatus(*e, id), 0);
  run_ms(300);
  EXPECT_EQ(snd::stream_count(*e), 0u);
  for (int16_t s : out()) ASSERT_EQ(s, 0);
  // Unknown ids and id 0 are ignored.
  snd::SndFade(*e, 0, 1, 1);
  snd::SndStop(*e, 12345);
  EXPECT_EQ(snd::SndStatus(*e, 12345), 0);
}

TEST_F(Engine, LoopingReportsItsFirstPassAndGoesOnWithoutSeams) {
  // 100 whole periods of 441 Hz: the loop seam is invisible in the signal.
  auto tone = sine(10000, 2, 44100, 0.5, 441.0);
  game.write("data/tone.wav", pcm16_wave(tone, 2, 44100));
  start();
  uint32_t id = snd::SndPlay(*e, "tone.wav", 1000, true);
  until_open(id);
  EXPECT_EQ(snd::SndStatus(*e, id), 1);
  run_ms(1500);
  EXPECT_EQ(snd::SndStatus(*e, id), -1) << "played through once";
  EXPECT_EQ(snd::stream_view(*e, id)->alive, 1);
  snd::SndStop(*e, id);
  run_ms(200);
  EXPECT_EQ(snd::SndStatus(*e, id), 0);

  // No clicks: no step between neighbouring samples larger than the tone's own
  // steepest slope, across the start, the seams and the stop.
  const double slope = 32767 * 0.5 * 2 * M_PI * 882 / 44100 * 1.05;
  for (size_t i = 2; i < out().size(); ++i)
    ASSERT_LE(std::abs(out()[i] - out()[i - 2]), slope) << "frame " << i / 2;
}

double tone_level(const std::vector<int16_t>& v, size_t from, size_t frames, double hz) {
  std::complex<double> acc = 0;
  for (size_t i = 0; i < frames; ++i) acc += std::polar(static_cast<double>(v[2 * (from + i)]), -2 * M_PI * hz * i / 44100);
  return std::abs(acc) / frames;
}

TEST_F(Engine, ResamplingKeepsTheToneAndRemovesImages) {
  // 1 kHz at 22.05 kHz: a nearest-sample or linear resampler leaves a strong
  // image at 21.05 kHz.
  game.write("data/low.wav", pcm16_wave(sine(22050, 1, 22050, 0.5, 1000.0), 1, 22050));
  start();
  uint32_t id = snd::SndPlay(*e, "low.wav", 1000, false);
  uint32_t opened = until_open(id);
  run_ms(1000);
  size_t from = frame_at(opened) + 4410;
  double tone = tone_level(out(), from, 8820, 1000.0);
  double image = tone_level(out(), from, 8820, 21050.0);
  EXPECT_NEAR(tone, 32767 * 0.5 / 2, 32767 * 0.5 / 2 * 0.02);
  EXPECT_LT(image, tone * 1e-3) << "image at least 60 dB down";
}

TEST_F(Engine, IntroThenLoopFile) {
  game.write("data/intro.ogg", vorbis_encode(to_float(sine(11025, 2, 44100, 0.3, 300)), 2, 44100));
  game.write("data/body.ogg", vorbis_encode(to_float(sine(11025, 2, 44100, 0.3, 600)), 2, 44100));
  start();
  uint32_t id = snd::SndPlayWithLoop(*e, "intro.ogg", "body.ogg", 1000, true);
  until_open(id);
  run_ms(2000);
  auto v = snd::stream_view(*e, id);
  EXPECT_EQ(v->on_loop_file, 1u);
  EXPECT_EQ(snd::SndStatus(*e, id), -1) << "the loop file's first pass counts";
  EXPECT_EQ(v->alive, 1);
}

TEST_F(Engine, BadFilesAreReportedAndOthersPlayOn) {
  game.write("data/good.wav", pcm16_wave(constant(44100 * 2, 2, 8000), 2, 44100));
  game.write("data/bad.wav", std::vector<uint8_t>(100, 'x'));
  game.write("data/bad.ogg", std::vector<uint8_t>(5000, 'y'));
  start();
  uint32_t good = snd::SndPlay(*e, "good.wav", 1000, true);
  testing::internal::CaptureStderr();
  uint32_t bad1 = snd::SndPlay(*e, "bad.wav", 1000, false);
  uint32_t bad2 = snd::SndPlay(*e, "bad.ogg", 1000, false);
  uint32_t bad3 = snd::SndPlay(*e, "noext", 1000, false);
  uint32_t bad4 = snd::SndPlay(*e, "missing.ogg", 1000, false);
  until_open(good);
  run_ms(100);
  std::string err = testing::internal::GetCapturedStderr();
  for (const char* name : {"bad.wav", "bad.ogg", "noext", "missing.ogg"})
    EXPECT_NE(err.find(std::string("ファイル[") + name + "]が発見できませんでした。"), std::string::npos) << err;
  for (uint32_t id : {bad1, bad2, bad3, bad4}) EXPECT_EQ(snd::SndStatus(*e, id), 0);
  EXPECT_EQ(snd::SndStatus(*e, good), 1);
  EXPECT_NE(out().back(), 0) << "the good stream plays on";
}

TEST_F(Engine, ThousandStreamsInOneFrame) {
  game.write("data/blip.wav", pcm16_wave(constant(441, 1, 100), 1, 44100));
  game.write("data/bed.wav", pcm16_wave(constant(44100, 2, 3000), 2, 44100));
  start();
  uint32_t bed = snd::SndPlay(*e, "bed.wav", 1000, true);
  until_open(bed);
  std::vector<uint32_t> ids;
  for (int i = 0; i < 1000; ++i) ids.push_back(snd::SndPlay(*e, "blip.wav", 1000, false));
  EXPECT_EQ(ids.back() - ids.front(), 999u);
  run_ms(1000);
  for (uint32_t id : ids) ASSERT_EQ(snd::SndStatus(*e, id), 0);
  EXPECT_EQ(snd::stream_count(*e), 1u);
  EXPECT_EQ(snd::SndStatus(*e, bed), 1);
  EXPECT_EQ(e->sound->mixer.buffer_count(), 1u);
}

TEST_F(Engine, StopAllAndShutdownStartAfresh) {
  game.write("data/a.wav", pcm16_wave(constant(44100, 2, 100), 2, 44100));
  start();
  uint32_t a = snd::SndPlay(*e, "a.wav", 1000, true);
  uint32_t b = snd::SndPlay(*e, "a.wav", 1000, true);
  until_open(a);
  snd::SndStopAll(*e);
  EXPECT_EQ(snd::stream_count(*e), 0u);
  EXPECT_EQ(snd::SndStatus(*e, b), 0);

  uint32_t c = snd::SndPlay(*e, "a.wav", 1000, true);
  until_open(c);
  snd::SndShutdown(*e);
  EXPECT_EQ(snd::stream_count(*e), 0u);
  snd::SndStopAll(*e);
  EXPECT_EQ(snd::SndInit(*e), 0);
  uint32_t d = snd::SndPlay(*e, "a.wav", 1000, true);
  EXPECT_GT(d, c) << "ids keep counting";
  until_open(d);
}

TEST_F(Engine, AudioOutFileIsWrittenAtExit) {
  game.write("data/a.wav", pcm16_wave(constant(4410, 2, 1234), 2, 44100));
  start();
  snd::SndPlay(*e, "a.wav", 1000, false);
  run_ms(500);
  snd::shut_down(*e);
  std::string file = game.read("out.wav");
  ASSERT_GE(file.size(), 44u);
  EXPECT_EQ(file.substr(0, 4), "RIFF");
  EXPECT_EQ(file.size() - 44, 500u * 441 / 10 * 4) << "the clock's 500 ms, from the first pump";
}

}  // namespace
