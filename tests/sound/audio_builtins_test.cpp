// The audio built-ins end to end: a game assembled with quorel-asm runs
// headless on the virtual clock and its --audio-out file is checked for
// the music, the effect and the voice at the times the script asked for.
#include <gtest/gtest.h>

#include <complex>

#include "base/bytes.h"
#include "tests/support/audio_files.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;

namespace {

struct Output {
  std::vector<int16_t> left;
  // Level of a tone (amplitude in sample units) in [from, to) ms.
  double tone(double hz, int from_ms, int to_ms) const {
    size_t a = static_cast<size_t>(from_ms) * 441 / 10, b = static_cast<size_t>(to_ms) * 441 / 10;
    if (b > left.size()) return -1;
    std::complex<double> acc = 0;
    for (size_t i = a; i < b; ++i) acc += std::polar(static_cast<double>(left[i]), -2 * M_PI * hz * i / 44100);
    return 2 * std::abs(acc) / (b - a);
  }
  int peak(int from_ms, int to_ms) const {
    int p = 0;
    for (size_t i = static_cast<size_t>(from_ms) * 441 / 10; i < left.size() && i < static_cast<size_t>(to_ms) * 441 / 10; ++i)
      p = std::max(p, std::abs(static_cast<int>(left[i])));
    return p;
  }
};

Output read_output(const std::string& bytes) {
  Output o;
  if (bytes.size() < 44) return o;
  for (size_t i = 44; i + 4 <= bytes.size(); i += 4)
    o.left.push_back(base::load_i16(reinterpret_cast<const uint8_t*>(bytes.data() + i)));
  return o;
}

class AudioScripts : public ::testing::Test {
 protected:
  TempDir game;
  void script(const std::string& body) {
    game.write("src/start.qasm", ".function $init@GLOBAL\n    return\nmain:\n    line 1\n" + body +
                                     "    push_i -1\n    syscall_discard wait, 1\n    return\n");
    game.make_dir("fastdata");
    auto r = run_program({"quorel-asm", game / "src/start.qasm", "-o", game / "fastdata/start.mjo"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    // A title of its own: runs with the same title exclude each other.
    game.write("fastdata/quorel.env", "TITLEBAR " + game.path() + "\nMUSICVOL 1000\nSOUNDVOL 500\n");
  }
  RunResult run(int frames) {
    return run_program({"quorel", "--headless", "--virtual-clock=10", "--max-frames=" + std::to_string(frames),
                        "--answer=retry", "--settings=" + (game / "settings.ini"), "--audio-out=" + (game / "out.wav"),
                        game.path()});
  }
};

TEST_F(AudioScripts, MusicEffectAndVoiceAtTheirTimes) {
  // Music: 0.4 s of 200 Hz that loops; effect: 0.3 s of 3 kHz; voice: 0.5 s of 1 kHz at 22.05 kHz.
  game.write("data/bgm.ogg", vorbis_encode(to_float(sine(17640, 2, 44100, 0.25, 200.0)), 2, 44100));
  game.write("data/se.wav", pcm16_wave(sine(13230, 1, 44100, 0.5, 3000.0), 1, 44100));
  game.write("voice/v001.wav", pcm16_wave(sine(11025, 1, 22050, 0.5, 1000.0), 1, 22050));
  script(R"(
    push_i 1
    push_s "bgm"
    syscall_discard music, 2
    push_i 500
    syscall_discard wait, 1
    push_s "sound\\se.ogg"
    syscall_discard sound, 1
    push_s "v001"
    syscall_discard voice_raw, 1
    syscall_discard voice_wait, 0
    push_s "missing"
    syscall_discard sound2, 1
    push_i 300
    syscall_discard music_fadeout_wait, 1
)");
  auto r = run(250);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("sound2 : ファイル[missing]が存在しません"), std::string::npos) << r.err;
  Output o = read_output(game.read("out.wav"));
  ASSERT_GE(o.left.size(), 2400u * 441 / 10);

  const double music = 32767 * 0.25 * 0.9;  // at volume 1000, minus a hundredth of a decibel
  EXPECT_GT(o.tone(200, 150, 450), music) << "music from the start";
  EXPECT_GT(o.tone(200, 450, 850), music) << "and after its first loop";
  EXPECT_LT(o.tone(3000, 150, 450), 50);
  EXPECT_LT(o.tone(1000, 150, 450), 50);
  // The effect at half the sound volume (-602 hundredths of a decibel), the voice in full.
  EXPECT_NEAR(o.tone(3000, 650, 750), 32767 * 0.5 * 0.5, 32767 * 0.5 * 0.5 * 0.05);
  EXPECT_NEAR(o.tone(1000, 650, 950), 32767 * 0.5, 32767 * 0.5 * 0.05);
  // The voice ends about 0.5 s after it started; the wait then fades the music out over 0.3 s.
  EXPECT_LT(o.tone(1000, 1250, 1500), 50);
  EXPECT_EQ(o.peak(1800, 2400), 0) << "silence once the music is gone";
}

TEST_F(AudioScripts, SlotsChannelsAndLevels) {
  game.write("data/a.wav", pcm16_wave(sine(44100, 1, 44100, 0.5, 500.0), 1, 44100));
  script(R"(
    push_i 500
    syscall_discard music_vol, 1
    push_s "a"
    syscall_discard music, 1
    push_i 300
    syscall_discard wait, 1
    syscall music_stat, 0
    push_s "music_stat"
    syscall_discard debugout, 2
    push_i 1
    push_s "a"
    push_i 20
    syscall_discard voice_ch, 3
    push_s "x.ogg"
    push_i 3
    syscall_discard sound_ch, 2
    push_i 3
    syscall sound_ch_get_fn, 1
    push_s "sound_ch_get_fn"
    syscall_discard debugout, 2
    push_s "a"
    push_s "a"
    syscall_discard sound_intro, 2
    syscall sound_get_fn$, 0
    push_s "sound_get_fn"
    syscall_discard debugout, 2
)");
  auto r = run(60);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("voice_ch : chは0～20です"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("sound_ch : ファイル[x.ogg]が存在しません"), std::string::npos) << r.err;
  std::string log = game.read("debugout.log");
  EXPECT_NE(log.find("music_stat 1"), std::string::npos) << log;
  EXPECT_NE(log.find("sound_ch_get_fn x.ogg"), std::string::npos) << log;
  EXPECT_NE(log.find("sound_get_fn "), std::string::npos) << log;
  EXPECT_EQ(log.find("sound_get_fn a"), std::string::npos) << "empty after an intro: " << log;
  // music_vol 500 before music: the music starts at half level (-602).
  Output o = read_output(game.read("out.wav"));
  EXPECT_NEAR(o.tone(500, 150, 280), 32767 * 0.5 * 0.5, 32767 * 0.5 * 0.5 * 0.05);
}

TEST_F(AudioScripts, VoiceIsSpokenByTheConsoleUnlessItsSpeakerIsSwitchedOff) {
  game.write("voice/v002.wav", pcm16_wave(sine(11025, 1, 22050, 0.5, 1000.0), 1, 22050));
  const std::string body = R"(
    push_s "v002"
    syscall_discard voice, 1
    syscall voice_get_fn$, 0
    push_s "voice_get_fn"
    syscall_discard debugout, 2
    syscall_discard voice_wait, 0
)";
  script(body);
  auto r = run(60);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(game.read("debugout.log").find("voice_get_fn v002"), std::string::npos);
  EXPECT_NEAR(read_output(game.read("out.wav")).tone(1000, 100, 400), 32767 * 0.5, 32767 * 0.5 * 0.05);

  // The console's voice is not forced: with female speech switched off it
  // stays silent, where voice_raw would still play.
  script(body);
  game.write("fastdata/quorel.env", "TITLEBAR " + game.path() + "\nISTALKFEMALE 0\n");
  r = run(60);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_LT(read_output(game.read("out.wav")).tone(1000, 100, 400), 50);
}

TEST_F(AudioScripts, AWindowOnTheVirtualClockClosesWhileMusicPlays) {
  // With a window the service thread mixes on the script clock. The last
  // pass keeps the thread busy long enough (in real time, while the clock
  // stands still) for the service to catch up; the streams must still stop
  // at the end.
  game.write("data/a.wav", pcm16_wave(sine(44100, 1, 44100, 0.5, 500.0), 1, 44100));
  game.write("src/start.qasm", R"(.function $init@GLOBAL
    return
main:
    push_i 1
    push_s "a"
    syscall_discard music, 2
    push_i 100
    syscall_discard wait, 1
    .local _i, 0
    alloc_locals i
busy:
    load i _i
    push_i 30000000
    lt_i
    jmp_false done
    push_i 1
    add_st_i_pop _i
    jmp busy
done:
    syscall_discard system_end, 0
)");
  game.make_dir("fastdata");
  ASSERT_EQ(run_program({"quorel-asm", game / "src/start.qasm", "-o", game / "fastdata/start.mjo"}).exit_code, 0);
  game.write("fastdata/quorel.env", "TITLEBAR " + game.path() + "\n");
  auto r = run_program({"quorel", "--virtual-clock=10", "--max-frames=500", "--settings=" + (game / "settings.ini"),
                        game.path()},
                       {}, 60, {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
}

}  // namespace
