// Makes the demo game's sound files: a looping music piece (Ogg Vorbis), a
// voice line and an effect (RIFF WAVE), all synthesised here so that the
// demo is the project's own.
//
//   quorel-demo-audio OUTPUT_FOLDER
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/audio_files.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

bool write(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// Four bars of a soft chord progression, 2 s each chord; the piece loops
// without a seam because every note fades in and out inside its bar.
std::vector<float> music() {
  const int rate = 44100;
  const double chords[4][3] = {{220.0, 277.18, 329.63}, {196.0, 246.94, 293.66},
                               {174.61, 220.0, 261.63}, {196.0, 246.94, 329.63}};
  std::vector<float> out(static_cast<size_t>(rate) * 8 * 2);
  for (int bar = 0; bar < 4; ++bar)
    for (int i = 0; i < rate * 2; ++i) {
      double t = static_cast<double>(i) / rate;
      double env = std::sin(kPi * t / 2.0);
      double v = 0;
      for (int n = 0; n < 3; ++n) v += std::sin(2 * kPi * chords[bar][n] * t) / 3.0;
      size_t at = (static_cast<size_t>(bar) * rate * 2 + i) * 2;
      out[at] = static_cast<float>(0.35 * env * v);
      out[at + 1] = static_cast<float>(0.35 * env * (0.8 * v + 0.2 * std::sin(2 * kPi * chords[bar][0] * 2 * t)));
    }
  return out;
}

// A rising and falling "voice" line: a vowel-like tone with a pitch contour.
std::vector<int16_t> voice() {
  const int rate = 22050;
  std::vector<int16_t> out(static_cast<size_t>(rate) * 6 / 5);
  double phase = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    double t = static_cast<double>(i) / rate;
    double pitch = 180 + 60 * std::sin(kPi * t / 1.2);
    phase += 2 * kPi * pitch / rate;
    double env = std::min(1.0, t * 20) * std::min(1.0, (1.2 - t) * 20);
    double v = 0.6 * std::sin(phase) + 0.25 * std::sin(2 * phase) + 0.15 * std::sin(3 * phase);
    out[i] = static_cast<int16_t>(std::lrint(12000 * env * v));
  }
  return out;
}

// A spoken line: syllables of vowel-like sound, each a pitch contour over
// harmonics shaped by two formants, with short breaks between words.
// `pitch` sets the speaker (a girl's voice is higher), `seed` the line.
std::vector<int16_t> speech(double pitch, int syllables, uint32_t seed) {
  const int rate = 22050;
  auto random = [&seed] {
    seed = seed * 214013 + 2531011;
    return static_cast<double>((seed >> 16) & 0x7FFF) / 32768.0;
  };
  // Formants (Hz) of a, i, u, e, o.
  const double formants[5][2] = {{800, 1200}, {300, 2300}, {350, 1300}, {500, 1900}, {500, 900}};
  std::vector<int16_t> out;
  double phase = 0;
  for (int s = 0; s < syllables; ++s) {
    const double length = 0.13 + 0.08 * random();
    const auto& f = formants[static_cast<int>(random() * 5) % 5];
    const double rise = (random() - 0.4) * 0.25;
    // The line falls towards its end, as a sentence does.
    const double base = pitch * (1.0 + 0.08 * std::sin(s * 1.7) - 0.12 * s / syllables);
    const int n = static_cast<int>(length * rate);
    for (int i = 0; i < n; ++i) {
      const double t = static_cast<double>(i) / n;
      const double f0 = base * (1.0 + rise * t);
      phase += 2 * kPi * f0 / rate;
      double v = 0;
      for (int k = 1; k * f0 < 4000; ++k) {
        const double hz = k * f0;
        const double gain = std::exp(-std::pow((hz - f[0]) / 200, 2)) + 0.6 * std::exp(-std::pow((hz - f[1]) / 260, 2)) +
                            0.15 / k;
        v += gain * std::sin(k * phase);
      }
      const double env = std::min(1.0, t * 12) * std::min(1.0, (1 - t) * 8);
      out.push_back(static_cast<int16_t>(std::lrint(std::clamp(5200 * env * v, -30000.0, 30000.0))));
    }
    // A breath between some of the words.
    const int gap = static_cast<int>((random() < 0.3 ? 0.09 : 0.02) * rate);
    out.insert(out.end(), static_cast<size_t>(gap), 0);
  }
  return out;
}

// A short chime.
std::vector<int16_t> effect() {
  const int rate = 44100;
  std::vector<int16_t> out(static_cast<size_t>(rate) * 4 / 10 * 2);
  for (size_t i = 0; i < out.size() / 2; ++i) {
    double t = static_cast<double>(i) / rate;
    double env = std::exp(-t * 9);
    double v = std::sin(2 * kPi * 1318.5 * t) + 0.5 * std::sin(2 * kPi * 1975.5 * t);
    out[2 * i] = out[2 * i + 1] = static_cast<int16_t>(std::lrint(14000 * env * v / 1.5));
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quorel-demo-audio OUTPUT_FOLDER\n");
    return 2;
  }
  std::string dir = argv[1];
  bool ok = write(dir + "/demo_bgm.ogg", testing_support::vorbis_encode(music(), 2, 44100, 0.3f)) &&
            write(dir + "/demo_voice.wav", testing_support::pcm16_wave(voice(), 1, 22050)) &&
            write(dir + "/demo_se.wav", testing_support::pcm16_wave(effect(), 2, 44100));
  // The characters' lines: Mina speaks higher than Sora.
  const struct {
    const char* name;
    double pitch;
    int syllables;
  } lines[] = {{"mina1", 290, 14}, {"mina2", 300, 9}, {"mina3", 280, 12}, {"sora1", 190, 12},
               {"sora2", 185, 14}, {"sora3", 200, 10}};
  uint32_t seed = 99;
  for (const auto& line : lines)
    ok = ok && write(dir + "/" + line.name + ".wav",
                     testing_support::pcm16_wave(speech(line.pitch, line.syllables, seed++ * 7919), 1, 22050));
  if (!ok) std::fprintf(stderr, "quorel-demo-audio: cannot write into %s\n", dir.c_str());
  return ok ? 0 : 1;
}
