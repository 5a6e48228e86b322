// The WAVE and Ogg Vorbis readers on files built here, read through the
// resource folders (plain folders and archives) as the engine reads them.
#include <gtest/gtest.h>

#include <cstring>

#include "base/bytes.h"
#include "resources/archive.h"
#include "resources/resources.h"
#include "sound/adpcm.h"
#include "sound/ogg_reader.h"
#include "sound/sound_files.h"
#include "sound/wav_reader.h"
#include "tests/support/audio_files.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_engine.h"

using namespace testing_support;

namespace {

class Decoders : public ::testing::Test {
 protected:
  TempDir game;
  std::unique_ptr<rt::Engine> e;
  std::unique_ptr<snd::FileAccess> files;

  void start() {
    e = make_engine(game.path());
    res::register_startup_folders(*e);
    files = snd::resource_files(*e);
  }

  snd::SoundStream stream(const std::string& name, bool loop = false, const std::string& loop_name = {}) {
    snd::SoundStream s;
    s.name = name;
    s.loop_name = loop_name;
    s.loop = loop;
    return s;
  }

  // Every byte the reader gives for `units` units at a time until the data ends.
  std::vector<uint8_t> read_to_end(snd::SoundStream& s, int units = 1) {
    std::vector<uint8_t> all, chunk;
    for (int guard = 0; guard < 10000 && s.stop_time == 0; ++guard) {
      if (!snd::wav_read(*files, s, units, chunk)) break;
      all.insert(all.end(), chunk.begin(), chunk.end());
    }
    return all;
  }

  std::vector<uint8_t> ogg_all(snd::OggReader& r, size_t request = 44100) {
    std::vector<uint8_t> all, chunk;
    for (int guard = 0; guard < 10000 && !r.at_end(); ++guard) {
      r.read(request, chunk);
      all.insert(all.end(), chunk.begin(), chunk.end());
    }
    return all;
  }
};

// Noise keeps the encoded file large enough to have many pages.
std::vector<int16_t> noisy(std::vector<int16_t> v) {
  uint32_t seed = 7;
  for (auto& s : v) {
    seed = seed * 214013 + 2531011;
    s = static_cast<int16_t>(std::clamp<int>(s + static_cast<int>((seed >> 16) & 0x1FFF) - 0x1000, -32768, 32767));
  }
  return v;
}

std::vector<uint8_t> bytes_of_samples(const std::vector<int16_t>& v) {
  std::vector<uint8_t> out;
  for (int16_t s : v) put16(out, static_cast<uint16_t>(s));
  return out;
}

std::vector<int16_t> samples_of(const std::vector<uint8_t>& v) {
  std::vector<int16_t> out(v.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = base::load_i16(&v[2 * i]);
  return out;
}

// --- WAVE -------------------------------------------------------------------

TEST_F(Decoders, WavUnitsFollowTheFormat) {
  auto stereo = sine(44100, 2, 44100);
  game.write("data/st.wav", pcm16_wave(stereo, 2, 44100));
  game.write("data/mono.wav", pcm16_wave(sine(30000, 1, 22050), 1, 22050));
  start();

  auto s = stream("st.wav");
  ASSERT_EQ(snd::wav_open(*files, s, false), snd::OpenResult::Ok);
  EXPECT_EQ(s.src_unit, 44100);
  EXPECT_EQ(s.out_unit, 44100);
  EXPECT_EQ(s.data_size, 44100 * 4);
  // A quarter second per unit, the file's bytes in order, then the end.
  std::vector<uint8_t> chunk;
  ASSERT_TRUE(snd::wav_read(*files, s, 1, chunk));
  EXPECT_EQ(chunk.size(), 44100u);
  auto rest = read_to_end(s);
  chunk.insert(chunk.end(), rest.begin(), rest.end());
  EXPECT_EQ(chunk, bytes_of_samples(stereo));
  EXPECT_EQ(s.end_time, -1);
  EXPECT_EQ(s.stop_time, -1);

  auto m = stream("mono.wav");
  ASSERT_EQ(snd::wav_open(*files, m, false), snd::OpenResult::Ok);
  EXPECT_EQ(m.src_unit, 44100) << "one second of 22.05 kHz mono";
  EXPECT_EQ(stream("x.ogg").name.find(".wav"), std::string::npos);
  auto o = stream("music.ogg");
  EXPECT_EQ(snd::wav_open(*files, o, false), snd::OpenResult::NotWav);
}

TEST_F(Decoders, WavChunksAreWalkedAndBounded) {
  // An odd-sized chunk before the data is skipped with its pad byte; a
  // data size that is not a whole number of frames drops the tail.
  std::vector<uint8_t> extra;
  put_tag(extra, "LIST");
  put32(extra, 3);
  extra.insert(extra.end(), {'a', 'b', 'c', 0});
  std::vector<uint8_t> data = {1, 0, 2, 0, 3, 0, 4, 0, 9, 9};
  game.write("data/odd.wav", wave_bytes(pcm_fmt(2, 44100, 16), data, extra));

  // A data chunk claiming more than the file holds plays what is there,
  // also inside an archive, where the next member must not leak in.
  auto big = wave_bytes(pcm_fmt(1, 44100, 16), {5, 0, 6, 0, 7, 0});
  base::store_u32(&big[big.size() - 6 - 4], 0x7FFFFFF0);
  std::vector<uint8_t> arc;
  std::string error;
  ASSERT_TRUE(res::build_archive({{"big.wav", big}, {"zzz.png", std::vector<uint8_t>(100, 0xEE)}}, &arc, &error));
  game.write("data2.arc", arc);
  start();

  auto s = stream("odd.wav");
  ASSERT_EQ(snd::wav_open(*files, s, false), snd::OpenResult::Ok);
  EXPECT_EQ(s.data_size, 8);
  EXPECT_EQ(read_to_end(s), std::vector<uint8_t>(data.begin(), data.begin() + 8));

  auto b = stream("big.wav");
  ASSERT_EQ(snd::wav_open(*files, b, false), snd::OpenResult::Ok);
  EXPECT_EQ(b.data_size, 6);
  EXPECT_EQ(read_to_end(b), (std::vector<uint8_t>{5, 0, 6, 0, 7, 0}));
}

TEST_F(Decoders, BadWaveFilesFailToOpen) {
  auto fmt = pcm_fmt(2, 44100, 16);
  std::vector<uint8_t> data(400, 0);
  game.write("data/nodata.wav", [&] {
    auto v = wave_bytes(fmt, data);
    v.resize(12 + 8 + fmt.size());
    return v;
  }());
  game.write("data/datafirst.wav", [&] {
    std::vector<uint8_t> v;
    put_tag(v, "RIFF");
    put32(v, 100);
    put_tag(v, "WAVE");
    put_tag(v, "data");
    put32(v, 4);
    put32(v, 0);
    put_tag(v, "fmt ");
    put32(v, 16);
    v.insert(v.end(), fmt.begin(), fmt.end());
    return v;
  }());
  game.write("data/truncfmt.wav", [&] {
    auto v = wave_bytes(fmt, data);
    v.resize(12 + 8 + 10);
    return v;
  }());
  game.write("data/float.wav", wave_bytes(pcm_fmt(2, 44100, 32, 3), data));
  game.write("data/mp3.wav", wave_bytes(pcm_fmt(2, 44100, 16, 0x55), data));
  game.write("data/nochan.wav", wave_bytes(pcm_fmt(0, 44100, 16), data));
  auto zero_align = pcm_fmt(2, 44100, 16);
  zero_align[12] = zero_align[13] = 0;
  game.write("data/noalign.wav", wave_bytes(zero_align, data));
  game.write("data/norate.wav", wave_bytes(pcm_fmt(2, 0, 16), data));
  game.write("data/bits12.wav", wave_bytes(pcm_fmt(1, 44100, 12), data));
  game.write("data/tiny.wav", std::vector<uint8_t>{'R', 'I', 'F'});
  // ADPCM whose block is shorter than its own header.
  std::vector<uint8_t> adpcm = pcm_fmt(2, 22050, 4, 2);
  base::store_u16(&adpcm[12], 10);
  put16(adpcm, 4);
  put16(adpcm, 0);
  put16(adpcm, 0);
  game.write("data/shortblock.wav", wave_bytes(adpcm, data));
  // A format record without its bits per sample (14 bytes, the chunk's own size).
  game.write("data/shortfmt.wav", wave_bytes(std::vector<uint8_t>(fmt.begin(), fmt.begin() + 14), data));
  // ADPCM is played at 1,000 to 384,000 samples a second, as PCM is.
  auto adpcm_at = [](uint32_t rate) {
    std::vector<uint8_t> f = pcm_fmt(1, rate, 4, 2);
    base::store_u16(&f[12], 257);
    put16(f, 32);   // cbSize
    put16(f, 502);  // samples per block
    put16(f, 7);
    for (int16_t c : {256, 0, 512, -256, 0, 0, 192, 64, 240, 0, 460, -208, 392, -232}) put16(f, static_cast<uint16_t>(c));
    return wave_bytes(f, std::vector<uint8_t>(257 * 4, 0));
  };
  game.write("data/adpcm_fastest.wav", adpcm_at(384000));
  game.write("data/adpcm_too_fast.wav", adpcm_at(384001));
  game.write("data/adpcm_slowest.wav", adpcm_at(1000));
  game.write("data/adpcm_too_slow.wav", adpcm_at(999));
  start();

  for (const char* name : {"nodata.wav", "datafirst.wav", "truncfmt.wav", "float.wav", "mp3.wav", "nochan.wav",
                           "noalign.wav", "norate.wav", "bits12.wav", "tiny.wav", "shortblock.wav", "missing.wav",
                           "shortfmt.wav", "adpcm_too_fast.wav", "adpcm_too_slow.wav"}) {
    auto s = stream(name);
    EXPECT_EQ(snd::wav_open(*files, s, false), snd::OpenResult::Failed) << name;
  }
  for (const char* name : {"adpcm_fastest.wav", "adpcm_slowest.wav"}) {
    auto s = stream(name);
    EXPECT_EQ(snd::wav_open(*files, s, false), snd::OpenResult::Ok) << name;
  }
}

TEST_F(Decoders, AdpcmBlocksThatDoNotDecodeGiveWholeFramesOfSilence) {
  // Mono ADPCM with an odd block size (257 bytes, 502 samples a block); every
  // block names a predictor the file does not define.
  std::vector<uint8_t> fmt = pcm_fmt(1, 22050, 4, 2);
  base::store_u16(&fmt[12], 257);
  put16(fmt, 32);   // cbSize
  put16(fmt, 502);  // samples per block
  put16(fmt, 7);
  for (int16_t c : {256, 0, 512, -256, 0, 0, 192, 64, 240, 0, 460, -208, 392, -232}) put16(fmt, static_cast<uint16_t>(c));
  std::vector<uint8_t> data(257 * 50, 0x11);
  for (size_t b = 0; b < data.size(); b += 257) data[b] = 9;
  game.write("data/badblocks.wav", wave_bytes(fmt, data));
  start();

  auto s = stream("badblocks.wav");
  ASSERT_EQ(snd::wav_open(*files, s, false), snd::OpenResult::Ok);
  std::vector<uint8_t> chunk;
  for (int units = 1; units <= 3 && s.stop_time == 0; ++units) {
    ASSERT_TRUE(snd::wav_read(*files, s, units, chunk));
    EXPECT_EQ(chunk.size() % s.out_format.block_align, 0u) << "a sample cut in half shifts every later one";
    EXPECT_EQ(chunk.size(), static_cast<size_t>(units) * static_cast<size_t>(s.out_unit));
    EXPECT_TRUE(std::all_of(chunk.begin(), chunk.end(), [](uint8_t b) { return b == 0; }));
  }
}

// Decodes with sox, an implementation that shares nothing with ours.
std::vector<int16_t> sox_decode(const std::string& in, const std::string& out) {
  auto r = run_program({"/usr/bin/sox", in, "-e", "signed-integer", "-b", "16", out});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  TempDir unused;
  std::FILE* f = std::fopen(out.c_str(), "rb");
  std::vector<uint8_t> bytes;
  if (f) {
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
  }
  // sox writes a plain 44-byte header for 16-bit PCM.
  EXPECT_GT(bytes.size(), 44u);
  return samples_of(std::vector<uint8_t>(bytes.begin() + 44, bytes.end()));
}

TEST_F(Decoders, AdpcmMatchesAnIndependentDecoder) {
  for (int channels : {1, 2}) {
    SCOPED_TRACE(channels);
    TempDir work;
    // Noise so that every code and the adaptation get exercised.
    auto pcm = noisy(sine(40000, channels, 22050, 0.8, 300.0));
    work.write("in.wav", pcm16_wave(pcm, static_cast<uint16_t>(channels), 22050));
    auto enc = run_program({"/usr/bin/sox", work / "in.wav", "-e", "ms-adpcm", work / "adpcm.wav"});
    ASSERT_EQ(enc.exit_code, 0) << enc.err;
    auto expected = sox_decode(work / "adpcm.wav", work / "back.wav");
    game.write("data/adpcm" + std::to_string(channels) + ".wav", work.read("adpcm.wav"));
    start();

    auto s = stream("adpcm" + std::to_string(channels) + ".wav");
    ASSERT_EQ(snd::wav_open(*files, s, false), snd::OpenResult::Ok);
    EXPECT_EQ(s.src_format.tag, snd::kFormatAdpcm);
    EXPECT_EQ(s.out_format.bits, 16);
    EXPECT_EQ(s.src_unit, 11025 - 11025 % s.src_format.block_align);
    EXPECT_EQ(s.out_unit, 4 * s.src_unit);
    auto got = samples_of(read_to_end(s));
    ASSERT_GE(got.size(), expected.size());
    // sox stops at the samples the file declares; we decode the last block whole.
    got.resize(expected.size());
    EXPECT_EQ(got, expected);
  }
}

TEST_F(Decoders, AdpcmBlockAlign1024ReadsWholeBlocksAndRejectsBadPredictors) {
  snd::WaveFormat f;
  f.tag = snd::kFormatAdpcm;
  f.channels = 1;
  f.rate = 22050;
  f.block_align = 1024;
  int32_t src = 0, out = 0;
  snd::wav_units(f, &src, &out);
  EXPECT_EQ(src, 10240);
  EXPECT_EQ(out, 40960);

  snd::AdpcmLayout layout;
  layout.channels = 1;
  layout.block_align = 16;
  layout.coefficients = {256, 0};  // one pair: predictor 0 only
  std::vector<uint8_t> block(16, 0x11);
  block[0] = 0;
  std::vector<int16_t> pcm;
  EXPECT_EQ(snd::adpcm_decode(layout, block, pcm), 2u + 18u);
  // A block cut inside its header ends the decode; one past the table yields nothing.
  pcm.clear();
  EXPECT_EQ(snd::adpcm_decode(layout, std::span(block).first(5), pcm), 0u);
  block[0] = 1;
  EXPECT_EQ(snd::adpcm_decode(layout, block, pcm), 0u);
  EXPECT_TRUE(pcm.empty());
}

TEST_F(Decoders, WavLoopFileFollowsAndMustMatch) {
  std::vector<int16_t> a = {1, 2, 3, 4}, b = {5, 6};
  game.write("data/a.wav", pcm16_wave(a, 1, 44100));
  game.write("data/b.wav", pcm16_wave(b, 1, 44100));
  game.write("data/c.wav", pcm16_wave(b, 1, 22050));
  start();

  auto s = stream("a.wav", true, "b.wav");
  ASSERT_EQ(snd::wav_open(*files, s, false), snd::OpenResult::Ok);
  std::vector<int16_t> heard;
  std::vector<uint8_t> chunk;
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(snd::wav_read(*files, s, 1, chunk));
    auto v = samples_of(chunk);
    heard.insert(heard.end(), v.begin(), v.end());
  }
  EXPECT_EQ(heard, (std::vector<int16_t>{1, 2, 3, 4, 5, 6, 5, 6, 5, 6}));
  EXPECT_EQ(s.on_loop_file, 1u);
  EXPECT_EQ(s.end_time, -1) << "the loop file's first pass ends it once";
  EXPECT_EQ(s.stop_time, 0);

  // A loop file of another rate cannot play into the first file's buffer.
  auto t = stream("a.wav", true, "c.wav");
  ASSERT_EQ(snd::wav_open(*files, t, false), snd::OpenResult::Ok);
  ASSERT_TRUE(snd::wav_read(*files, t, 1, chunk));
  EXPECT_EQ(t.failed_file, "c.wav");
  EXPECT_EQ(t.stop_time, -1);
}

TEST_F(Decoders, WavFileThatDisappearsEndsTheStream) {
  game.write("data/gone.wav", pcm16_wave(sine(44100, 2, 44100), 2, 44100));
  start();
  auto s = stream("gone.wav");
  ASSERT_EQ(snd::wav_open(*files, s, false), snd::OpenResult::Ok);
  std::vector<uint8_t> chunk;
  ASSERT_TRUE(snd::wav_read(*files, s, 1, chunk));
  std::remove((game / "data/gone.wav").c_str());
  for (int i = 0; i < snd::kReadFailureLimit; ++i) {
    ASSERT_TRUE(snd::wav_read(*files, s, 1, chunk));
    EXPECT_EQ(chunk, std::vector<uint8_t>(44100, 0)) << "silence while the file is gone";
  }
  EXPECT_EQ(s.stop_time, -1);
}

// --- Ogg Vorbis ----------------------------------------------------------------

TEST_F(Decoders, OggLengthIsSampleAccurateAndLoopsWithoutGap) {
  const size_t frames = 44100 + 12345;
  auto pcm = sine(frames, 2, 44100, 0.5, 330.0);
  game.write("data/m.ogg", vorbis_encode(to_float(pcm), 2, 44100));
  game.write("data/mono.ogg", vorbis_encode(to_float(sine(1001, 1, 22050)), 1, 22050));
  start();

  auto once = snd::OggReader::open(*files, "m.ogg", "", false);
  ASSERT_TRUE(once);
  EXPECT_EQ(once->channels(), 2);
  EXPECT_EQ(once->rate(), 44100);
  auto single = ogg_all(*once);
  EXPECT_EQ(single.size(), frames * 4);
  // Close to the source (lossy, so only roughly).
  auto decoded = samples_of(single);
  double err = 0;
  for (size_t i = 0; i < pcm.size(); ++i) err += std::abs(decoded[i] - pcm[i]);
  EXPECT_LT(err / pcm.size(), 300.0);
  std::vector<uint8_t> chunk;
  once->read(1000, chunk);
  EXPECT_EQ(chunk, std::vector<uint8_t>(1000, 0)) << "silence after the end";

  auto mono = snd::OggReader::open(*files, "mono.ogg", "", false);
  ASSERT_TRUE(mono);
  EXPECT_EQ(ogg_all(*mono, 4000).size(), 1001u * 2);

  // Looping: three passes back to back, each identical to the single one.
  auto looping = snd::OggReader::open(*files, "m.ogg", "", true);
  std::vector<uint8_t> all;
  while (all.size() < 3 * single.size()) {
    looping->read(44100, chunk);
    ASSERT_FALSE(chunk.empty());
    all.insert(all.end(), chunk.begin(), chunk.end());
  }
  EXPECT_TRUE(looping->at_end()) << "the end of the first pass is reported";
  for (int pass = 0; pass < 3; ++pass)
    EXPECT_TRUE(std::equal(single.begin(), single.end(), all.begin() + pass * single.size())) << pass;
}

TEST_F(Decoders, OggLoopFilePlaysOnceThenRepeats) {
  auto intro = sine(5000, 2, 44100, 0.3, 200.0);
  auto loop = sine(7000, 2, 44100, 0.3, 500.0);
  game.write("data/intro.ogg", vorbis_encode(to_float(intro), 2, 44100));
  game.write("data/loop.ogg", vorbis_encode(to_float(loop), 2, 44100));
  game.write("data/other.ogg", vorbis_encode(to_float(sine(7000, 2, 22050)), 2, 22050));
  start();
  auto r = snd::OggReader::open(*files, "intro.ogg", "loop.ogg", true);
  ASSERT_TRUE(r);
  std::vector<uint8_t> all, chunk;
  while (all.size() < (5000 + 3 * 7000) * 4) {
    r->read(4410, chunk);
    all.insert(all.end(), chunk.begin(), chunk.end());
  }
  EXPECT_TRUE(r->on_loop_file());
  auto a = snd::OggReader::open(*files, "intro.ogg", "", false);
  auto b = snd::OggReader::open(*files, "loop.ogg", "", false);
  auto ia = ogg_all(*a), lb = ogg_all(*b);
  ASSERT_EQ(ia.size(), 5000u * 4);
  ASSERT_EQ(lb.size(), 7000u * 4);
  EXPECT_TRUE(std::equal(ia.begin(), ia.end(), all.begin()));
  for (int pass = 0; pass < 3; ++pass)
    EXPECT_TRUE(std::equal(lb.begin(), lb.end(), all.begin() + ia.size() + pass * lb.size())) << pass;

  // A loop file of another rate is reported; the stream ends after the intro.
  auto bad = snd::OggReader::open(*files, "intro.ogg", "other.ogg", true);
  all.clear();
  for (int i = 0; i < 10 && !(bad->at_end() && !bad->looping()); ++i) bad->read(4410, chunk);
  EXPECT_EQ(bad->take_failed_file(), "other.ogg");
  EXPECT_FALSE(bad->looping());
}

TEST_F(Decoders, BadOggFiles) {
  auto good = vorbis_encode(to_float(noisy(sine(44100 * 4, 2, 44100))), 2, 44100);
  game.write("data/notvorbis.ogg", pcm16_wave(sine(1000, 1, 44100), 1, 44100));
  game.write("data/headcut.ogg", std::vector<uint8_t>(good.begin(), good.begin() + 200));
  game.write("data/halfcut.ogg", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2));
  auto corrupt = good;
  for (size_t i = corrupt.size() / 2; i < corrupt.size() / 2 + 3000; ++i) corrupt[i] ^= 0x5A;
  game.write("data/corrupt.ogg", corrupt);
  // Another codec in an Ogg container: a page whose first packet is not Vorbis.
  auto other = good;
  std::memcpy(&other[28], "\x01notvor", 7);
  game.write("data/othercodec.ogg", other);
  start();

  EXPECT_FALSE(snd::OggReader::open(*files, "notvorbis.ogg", "", false));
  EXPECT_FALSE(snd::OggReader::open(*files, "headcut.ogg", "", false));
  EXPECT_FALSE(snd::OggReader::open(*files, "othercodec.ogg", "", false));
  EXPECT_FALSE(snd::OggReader::open(*files, "missing.ogg", "", false));

  // Cut short: plays what is there, then ends.
  auto half = snd::OggReader::open(*files, "halfcut.ogg", "", false);
  ASSERT_TRUE(half);
  auto pcm = ogg_all(*half);
  EXPECT_TRUE(half->at_end());
  EXPECT_GT(pcm.size(), 44100u);
  EXPECT_LT(pcm.size(), 44100u * 4 * 4);

  // Damaged in the middle: the damaged requests are silent, the stream ends.
  auto bad = snd::OggReader::open(*files, "corrupt.ogg", "", false);
  ASSERT_TRUE(bad);
  auto rest = ogg_all(*bad, 8820);
  EXPECT_TRUE(bad->at_end());
  EXPECT_GT(rest.size(), 44100u);
}

TEST_F(Decoders, OggFileThatDisappearsEnds) {
  game.write("data/gone.ogg", vorbis_encode(to_float(sine(44100 * 3, 2, 44100)), 2, 44100));
  start();
  auto r = snd::OggReader::open(*files, "gone.ogg", "", false);
  ASSERT_TRUE(r);
  std::vector<uint8_t> chunk;
  r->read(44100, chunk);
  std::remove((game / "data/gone.ogg").c_str());
  for (int i = 0; i < 10 && !r->at_end(); ++i) {
    r->read(44100, chunk);
    EXPECT_FALSE(chunk.empty());
  }
  EXPECT_TRUE(r->at_end());
}

}  // namespace
