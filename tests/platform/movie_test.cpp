// The movie decoder against movies encoded here: the picture due at a
// time, the sound's length and level, and files it must refuse.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <iterator>

#include "fuzz/movie_open.h"
#include "platform/files.h"
#include "platform/movie.h"
#include "tests/support/movie_files.h"
#include "tests/support/temp_dir.h"

using namespace testing_support;

namespace {

// Blue, green, red of the picture's middle pixel.
struct Bgr {
  int b, g, r;
};
Bgr middle(const plat::MoviePicture& p) {
  const uint8_t* px = p.pixels.data() + (static_cast<size_t>(p.height / 2) * p.width + p.width / 2) * 3;
  return {px[0], px[1], px[2]};
}
bool near(Bgr c, uint32_t rgb) {
  return std::abs(c.r - static_cast<int>((rgb >> 16) & 255)) <= 8 && std::abs(c.g - static_cast<int>((rgb >> 8) & 255)) <= 8 &&
         std::abs(c.b - static_cast<int>(rgb & 255)) <= 8;
}

std::shared_ptr<plat::Movie> open_ready(const std::string& path, int w = 0, int h = 0) {
  auto m = plat::Movie::open_file(path, "test.avi", w, h);
  m->wait_opened();
  return m;
}

TEST(Movie, PicturesComeAtTheirTimesAndSoundHasItsLength) {
  TempDir dir;
  MovieSpec spec;
  spec.colours = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};  // 100 ms each
  spec.sound_ms = 400;
  spec.tone_hz = 441;
  ASSERT_TRUE(write_movie(dir / "m.avi", spec));
  auto m = open_ready(dir / "m.avi", 32, 24);
  ASSERT_NE(m->state(), plat::Movie::State::Failed) << m->error();
  EXPECT_TRUE(m->has_video());
  EXPECT_TRUE(m->has_sound());

  plat::MoviePicture p;
  ASSERT_TRUE(m->picture_at(0, true, p));
  EXPECT_EQ(p.width, 32);
  EXPECT_EQ(p.height, 24);
  EXPECT_TRUE(near(middle(p), 0xFF0000));
  EXPECT_FALSE(m->picture_at(50, true, p)) << "no new picture before its time";
  // A late reader skips the pictures it missed.
  ASSERT_TRUE(m->picture_at(250, true, p));
  EXPECT_EQ(p.time_ms, 200);
  EXPECT_TRUE(near(middle(p), 0x0000FF));

  std::vector<int16_t> sound(44100 * 2);
  size_t got = 0;
  while (size_t n = m->read_sound(sound.data() + got * 2, 1000, true)) got += n;
  EXPECT_NEAR(static_cast<double>(got), 17640.0, 1100.0);  // 0.4 s
  int peak = 0;
  for (size_t i = 0; i < got * 2; ++i) peak = std::max(peak, std::abs(static_cast<int>(sound[i])));
  EXPECT_NEAR(peak, 16384, 600);
  EXPECT_NEAR(static_cast<double>(m->sound_ms()), 400.0, 25.0);
  EXPECT_TRUE(m->sound_done());

  ASSERT_TRUE(m->picture_at(399, true, p));
  EXPECT_TRUE(near(middle(p), 0xFFFFFF));
  EXPECT_FALSE(m->finished_at(399));
  EXPECT_TRUE(m->finished_at(400));
}

TEST(Movie, OneStreamAloneIsEnough) {
  TempDir dir;
  MovieSpec silent;
  silent.colours = {0x00FF00, 0x00FF00};
  ASSERT_TRUE(write_movie(dir / "silent.avi", silent));
  auto m = open_ready(dir / "silent.avi");
  ASSERT_NE(m->state(), plat::Movie::State::Failed) << m->error();
  EXPECT_FALSE(m->has_sound());
  EXPECT_TRUE(m->sound_done());
  plat::MoviePicture p;
  ASSERT_TRUE(m->picture_at(0, true, p));
  EXPECT_EQ(p.width, 64) << "the movie's own size";
  int16_t s[8];
  EXPECT_EQ(m->read_sound(s, 4, true), 0u);

  MovieSpec blind;
  blind.sound_ms = 200;
  blind.tone_hz = 1000;
  ASSERT_TRUE(write_movie(dir / "blind.avi", blind));
  auto b = open_ready(dir / "blind.avi");
  ASSERT_NE(b->state(), plat::Movie::State::Failed) << b->error();
  EXPECT_FALSE(b->has_video());
  EXPECT_FALSE(b->picture_at(100, true, p));
  EXPECT_FALSE(b->finished_at(1000)) << "the sound is still to be played";
  b->drop_sound();
  b->stop();
  EXPECT_TRUE(b->finished_at(0));
}

// A sound stream may change its channels in the middle: here two MPEG audio
// streams one after the other, stereo then mono. The converter follows the
// change instead of reading the second channel of a mono frame.
TEST(Movie, SoundThatChangesItsChannelsGoesOn) {
  TempDir dir;
  MovieSpec part;
  part.container = "mp2";
  part.audio_codec = "mp2";
  part.sound_ms = 500;
  part.tone_hz = 441;
  ASSERT_TRUE(write_movie(dir / "stereo.mp2", part));
  part.channels = 1;
  ASSERT_TRUE(write_movie(dir / "mono.mp2", part));
  dir.write("both.mp2", dir.read("stereo.mp2") + dir.read("mono.mp2"));

  auto m = open_ready(dir / "both.mp2");
  ASSERT_NE(m->state(), plat::Movie::State::Failed) << m->error();
  std::vector<int16_t> sound(44100 * 4);
  size_t got = 0;
  while (size_t n = m->read_sound(sound.data() + got * 2, 1000, true)) got += n;
  EXPECT_NEAR(static_cast<double>(got), 44100.0, 2500.0) << "both halves, a second in all";
  // The mono half is heard on both sides.
  const size_t late = got - 4410;
  int left = 0, right = 0;
  for (size_t i = late; i < late + 441; ++i) {
    left = std::max(left, std::abs(static_cast<int>(sound[i * 2])));
    right = std::max(right, std::abs(static_cast<int>(sound[i * 2 + 1])));
  }
  EXPECT_GT(left, 4000);
  EXPECT_GT(right, 4000);
}

TEST(Movie, BadFilesFailWithALineNamingThem) {
  TempDir dir;
  MovieSpec spec;
  spec.colours = std::vector<uint32_t>(20, 0x808080);
  spec.sound_ms = 2000;
  spec.tone_hz = 300;
  ASSERT_TRUE(write_movie(dir / "good.avi", spec));
  std::string good = dir.read("good.avi");
  dir.write("empty.avi", "");
  dir.write("text.avi", "this is not a movie at all, only some words in a file\n");
  dir.write("cut.avi", good.substr(0, 300));

  for (const char* name : {"empty.avi", "text.avi", "missing.avi"}) {
    auto m = plat::Movie::open_file(dir / name, name, 0, 0);
    m->wait_opened();
    EXPECT_EQ(m->state(), plat::Movie::State::Failed) << name;
    EXPECT_NE(m->error().find(name), std::string::npos) << m->error();
    plat::MoviePicture p;
    EXPECT_FALSE(m->picture_at(0, true, p));
    EXPECT_TRUE(m->finished_at(0));
  }
  // A file cut short plays what it has, or fails; either way it ends.
  auto cut = plat::Movie::open_file(dir / "cut.avi", "cut.avi", 0, 0);
  cut->wait_opened();
  plat::MoviePicture p;
  cut->picture_at(100000, true, p);
  cut->drop_sound();
  cut->stop();
  EXPECT_TRUE(cut->finished_at(100000));
}

TEST(Movie, AbsurdSizesAndRatesEndCleanly) {
  TempDir dir;
  MovieSpec wide;
  wide.width = 4112;  // wider than any picture the engine plays
  wide.height = 16;
  wide.colours = {0xFF0000};
  ASSERT_TRUE(write_movie(dir / "wide.avi", wide));
  auto m = open_ready(dir / "wide.avi");
  EXPECT_EQ(m->state(), plat::Movie::State::Failed);
  EXPECT_NE(m->error().find("4112 x 16"), std::string::npos) << m->error();
  EXPECT_NE(m->error().find("mpeg4"), std::string::npos) << m->error();

  // Ten thousand pictures a second: all due at once, the last one shown.
  MovieSpec fast;
  fast.fps = 10000;
  fast.colours = {0xFF0000, 0x00FF00, 0x0000FF};
  ASSERT_TRUE(write_movie(dir / "fast.avi", fast));
  auto f = open_ready(dir / "fast.avi", 16, 12);
  plat::MoviePicture p;
  ASSERT_TRUE(f->picture_at(5, true, p));
  EXPECT_TRUE(near(middle(p), 0x0000FF));
  EXPECT_TRUE(f->finished_at(5, true));

  // Converted to an absurd size: clamped, not allocated as asked.
  MovieSpec spec;
  spec.colours = {0x00FF00};
  ASSERT_TRUE(write_movie(dir / "small.avi", spec));
  auto big = open_ready(dir / "small.avi", 1 << 30, -5);
  ASSERT_TRUE(big->picture_at(0, true, p));
  EXPECT_EQ(p.width, plat::Movie::kMaxSide);
  EXPECT_EQ(p.height, 48) << "its own height";
}

// A header may announce a block of any size: this 33-byte sound file has an
// information entry of 1.6 GB. FFmpeg must refuse it rather than clear that
// much memory. Opened in a child process, whose peak memory use the parent
// reads when it ends.
TEST(Movie, HeadersAnnouncingHugeBlocksDoNotTakeTheMemory) {
  static const uint8_t kWave[] = {'R', 'I', 'F', 'F', 0x86, 0x06, 0,   0,    'W',  'A',  'V',
                                  'E', 'L', 'I', 'S', 'T',  0x1A, 0,   0,    0x5D, 'I',  'N',
                                  'F', 'O', 'I', 0,   'L',  'T',  0xAE, 0x30, 0x30, 0x64, 'c'};
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto m = plat::Movie::open_bytes(std::vector<uint8_t>(std::begin(kWave), std::end(kWave)), "huge.wav", 0, 0);
    m->wait_opened();
    m->stop();  // a failure before the stop stays a failure
    _exit(m->state() == plat::Movie::State::Failed ? 0 : 1);
  }
  int status = 0;
  rusage used{};
  pid_t ended;
  while ((ended = wait4(child, &status, 0, &used)) < 0 && errno == EINTR) {
  }
  ASSERT_EQ(ended, child) << std::strerror(errno);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the file is refused";
  EXPECT_LT(used.ru_maxrss - before.ru_maxrss, 256 * 1024) << "kilobytes more than the test process at its peak";
}

TEST(Movie, StoppedAtAnyTimeWithoutWaitingForTheFile) {
  TempDir dir;
  MovieSpec spec;
  spec.colours = std::vector<uint32_t>(50, 0x123456);
  spec.sound_ms = 5000;
  spec.tone_hz = 200;
  ASSERT_TRUE(write_movie(dir / "long.avi", spec));
  // Right after the start (still opening), and in the middle of decoding.
  for (int i = 0; i < 2; ++i) {
    auto m = plat::Movie::open_file(dir / "long.avi", "long.avi", 0, 0);
    if (i == 1) {
      plat::MoviePicture p;
      m->picture_at(1000, true, p);
    }
    m->stop();
    EXPECT_NE(m->state(), plat::Movie::State::Failed) << m->error();
  }
}

// The fuzzer's seeds, and the finds kept beside them, still open and end.
TEST(Movie, FuzzSeedsReplay) {
  const std::string folder = std::string(QUOREL_SOURCE_DIR) + "/fuzz/corpus/movie_open";
  int replayed = 0;
  for (const plat::DirEntry& entry : plat::list_directory(folder)) {
    auto bytes = plat::read_whole_file(folder + "/" + entry.native_name);
    ASSERT_TRUE(bytes) << entry.native_name;
    fuzzing::exercise_movie(bytes->data(), bytes->size());
    ++replayed;
  }
  EXPECT_GE(replayed, 3);
}

}  // namespace
