// [SECTION] Volume scale
// [SECTION] Resampling kernels
// [SECTION] Buffers
// [SECTION] Mixing
#include "sound/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace snd {

// [SECTION] Volume scale --------------------------------------------------------

int32_t attenuation_of(int32_t volume) {
  if (volume <= 0) return kSilentAttenuation;
  // log10(v) - 3 rather than log10(v / 1000): exact for powers of ten.
  double db100 = 2000.0 * (std::log10(static_cast<double>(volume)) - 3.0);
  int32_t a = static_cast<int32_t>(std::trunc(db100));
  return std::clamp(a, kSilentAttenuation, 0);
}

float gain_of(int32_t attenuation) { return static_cast<float>(std::pow(10.0, attenuation / 2000.0)); }

// [SECTION] Resampling kernels ----------------------------------------------------

// A windowed-sinc low-pass tabulated at `phases` fractional offsets (plus
// one, for interpolating between neighbouring phases).
struct Kernel {
  int half = 0;     // taps on each side of the position
  int phases = 0;
  std::vector<float> table;  // (phases + 1) rows of 2 * half taps

  const float* row(int phase) const { return &table[static_cast<size_t>(phase) * 2 * half]; }
};

namespace {

constexpr int kBaseHalfTaps = 16;
constexpr int kPhases = 256;
constexpr double kKaiserBeta = 8.0;
constexpr double kPassband = 0.92;  // cut-off as a share of the lower Nyquist frequency

double bessel_i0(double x) {
  double sum = 1.0, term = 1.0;
  for (int k = 1; k < 40; ++k) {
    term *= (x / (2.0 * k)) * (x / (2.0 * k));
    sum += term;
    if (term < sum * 1e-12) break;
  }
  return sum;
}

std::unique_ptr<Kernel> make_kernel(uint32_t rate) {
  auto k = std::make_unique<Kernel>();
  double ratio = std::min(1.0, static_cast<double>(kDeviceRate) / rate);
  double cutoff = ratio * kPassband;
  // Downsampling widens the filter in source frames to keep its shape.
  k->half = static_cast<int>(std::ceil(kBaseHalfTaps / ratio));
  k->phases = kPhases;
  const int taps = 2 * k->half;
  k->table.resize(static_cast<size_t>(kPhases + 1) * taps);
  const double i0_beta = bessel_i0(kKaiserBeta);
  for (int p = 0; p <= kPhases; ++p) {
    double offset = static_cast<double>(p) / kPhases;
    float* row = &k->table[static_cast<size_t>(p) * taps];
    double sum = 0.0;
    for (int t = 0; t < taps; ++t) {
      double x = (t - k->half + 1) - offset;  // distance from the position, in source frames
      double u = x / k->half;
      double window = std::fabs(u) >= 1.0 ? 0.0 : bessel_i0(kKaiserBeta * std::sqrt(1.0 - u * u)) / i0_beta;
      double arg = M_PI * cutoff * x;
      double sinc = std::fabs(arg) < 1e-12 ? 1.0 : std::sin(arg) / arg;
      double h = cutoff * sinc * window;
      row[t] = static_cast<float>(h);
      sum += h;
    }
    // Unity gain at DC for every phase.
    for (int t = 0; t < taps; ++t) row[t] = static_cast<float>(row[t] / sum);
  }
  return k;
}

// Per-channel weights folding any layout down to stereo (WAVE channel
// order: front left, front right, centre, LFE, back left, back right, side
// left, side right).
struct Downmix {
  float left[kMaxChannels] = {};
  float right[kMaxChannels] = {};
};

Downmix downmix_for(int channels) {
  Downmix d;
  if (channels == 1) {
    d.left[0] = d.right[0] = 1.f;
    return d;
  }
  constexpr float kSide = 0.70710678f;
  static constexpr float kLeft[kMaxChannels] = {1.f, 0.f, kSide, 0.f, kSide, 0.f, kSide, 0.f};
  static constexpr float kRight[kMaxChannels] = {0.f, 1.f, kSide, 0.f, 0.f, kSide, 0.f, kSide};
  float lsum = 0.f, rsum = 0.f;
  for (int c = 0; c < channels; ++c) {
    lsum += kLeft[c];
    rsum += kRight[c];
  }
  for (int c = 0; c < channels; ++c) {
    d.left[c] = kLeft[c] / lsum;
    d.right[c] = kRight[c] / rsum;
  }
  return d;
}

inline float sample_at(const uint8_t* p, int bits) {
  switch (bits) {
    case 8: return (static_cast<int>(p[0]) - 128) * (1.f / 128.f);
    case 16: return static_cast<int16_t>(p[0] | (p[1] << 8)) * (1.f / 32768.f);
    case 24: {
      int32_t v = static_cast<int32_t>((static_cast<uint32_t>(p[0]) << 8) | (static_cast<uint32_t>(p[1]) << 16) |
                                       (static_cast<uint32_t>(p[2]) << 24));
      return static_cast<float>(v) * (1.f / 2147483648.f);
    }
    default: {
      int32_t v = static_cast<int32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24));
      return static_cast<float>(v) * (1.f / 2147483648.f);
    }
  }
}

// Converts `count` frames starting at ring frame `first` (wrapping) into
// stereo floats.
void gather(const SoundBuffer& b, uint32_t first, size_t count, float* out) {
  const int channels = b.format.channels;
  const int bits = b.format.bits;
  const size_t align = b.format.block_align;
  const uint8_t* ring = b.ring.data();
  uint32_t f = first;
  if (channels == 2 && bits == 16) {
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* p = ring + f * 4;
      out[2 * i] = static_cast<int16_t>(p[0] | (p[1] << 8)) * (1.f / 32768.f);
      out[2 * i + 1] = static_cast<int16_t>(p[2] | (p[3] << 8)) * (1.f / 32768.f);
      if (++f == b.frames) f = 0;
    }
    return;
  }
  if (channels == 1) {
    for (size_t i = 0; i < count; ++i) {
      float s = sample_at(ring + f * align, bits);
      out[2 * i] = out[2 * i + 1] = s;
      if (++f == b.frames) f = 0;
    }
    return;
  }
  Downmix d = downmix_for(channels);
  const int bytes = bits / 8;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = ring + f * align;
    float l = 0.f, r = 0.f;
    for (int c = 0; c < channels; ++c) {
      float s = sample_at(p + c * bytes, bits);
      l += s * d.left[c];
      r += s * d.right[c];
    }
    out[2 * i] = l;
    out[2 * i + 1] = r;
    if (++f == b.frames) f = 0;
  }
}

}  // namespace

// [SECTION] Buffers ---------------------------------------------------------------

Mixer::Mixer() = default;
Mixer::~Mixer() = default;

const Kernel* Mixer::kernel_for(uint32_t rate) {
  if (rate == kDeviceRate) return nullptr;
  auto& k = kernels_[rate];
  if (!k) k = make_kernel(rate);
  return k.get();
}

SoundBuffer* Mixer::create(const WaveFormat& format, uint32_t bytes) {
  if (!playable_pcm(format)) return nullptr;
  auto b = std::make_unique<SoundBuffer>();
  b->format = format;
  b->frames = bytes / format.block_align;
  if (b->frames == 0) return nullptr;
  b->ring.assign(static_cast<size_t>(b->frames) * format.block_align, format.bits == 8 ? 0x80 : 0x00);
  b->step = (static_cast<uint64_t>(format.rate) << 32) / kDeviceRate;
  b->kernel = kernel_for(format.rate);
  buffers_.push_back(std::move(b));
  return buffers_.back().get();
}

SoundBuffer* Mixer::create_pulled(PullSource pull) {
  auto b = std::make_unique<SoundBuffer>();
  b->format = pcm16_format(2, kDeviceRate);
  b->pull = std::move(pull);
  buffers_.push_back(std::move(b));
  return buffers_.back().get();
}

void Mixer::release(SoundBuffer* b) {
  if (!b) return;
  b->released = true;
  if (b->playing && b->gain > 0.f) {
    b->target = 0.f;
    b->ramp_step = -b->gain / kRampFrames;
    b->ramp_left = kRampFrames;
    return;
  }
  std::erase_if(buffers_, [b](const auto& p) { return p.get() == b; });
}

void Mixer::start(SoundBuffer* b) {
  b->frame = 0;
  b->fraction = 0;
  b->playing = true;
  b->gain = 0.f;
  b->ramp_step = b->target / kRampFrames;
  b->ramp_left = kRampFrames;
}

void Mixer::stop(SoundBuffer* b) { b->playing = false; }

void Mixer::set_volume(SoundBuffer* b, int32_t attenuation) {
  b->last_volume = attenuation;
  float target = attenuation <= kSilentAttenuation ? 0.f : gain_of(attenuation);
  if (b->released) return;
  b->target = target;
  if (!b->playing) {
    b->gain = target;
    b->ramp_left = 0;
    return;
  }
  b->ramp_step = (target - b->gain) / kRampFrames;
  b->ramp_left = kRampFrames;
}

uint32_t Mixer::play_cursor(const SoundBuffer* b) const { return b->frame * b->format.block_align; }

void Mixer::write(SoundBuffer* b, uint32_t pos, const uint8_t* data, size_t size) {
  const size_t ring = b->ring.size();
  size = std::min(size, ring);
  pos %= static_cast<uint32_t>(ring);
  size_t first = std::min(size, ring - pos);
  std::memcpy(b->ring.data() + pos, data, first);
  if (size > first) std::memcpy(b->ring.data(), data + first, size - first);
}

// [SECTION] Mixing ----------------------------------------------------------------

void Mixer::mix_buffer(SoundBuffer& b, float* acc, size_t frames) {
  float* src;
  if (b.pull) {
    b.pulled.resize(frames * 2);
    size_t got = std::min(b.pull(b.pulled.data(), frames), frames);
    source_.resize(frames * 2);
    src = source_.data();
    for (size_t i = 0; i < got * 2; ++i) src[i] = b.pulled[i] * (1.f / 32768.f);
    std::fill(src + got * 2, src + frames * 2, 0.f);
  } else if (!b.kernel) {
    source_.resize(frames * 2);
    src = source_.data();
    gather(b, b.frame, frames, src);
    b.frame = static_cast<uint32_t>((b.frame + frames) % b.frames);
  } else {
    const Kernel& k = *b.kernel;
    // Source frames from `half - 1` before the first position to `half`
    // after the last one.
    uint64_t span = (static_cast<uint64_t>(b.fraction) + b.step * (frames - 1)) >> 32;
    size_t needed = static_cast<size_t>(span) + 2 * k.half;
    source_.resize((needed + frames) * 2);
    float* in = source_.data();
    int64_t first = static_cast<int64_t>(b.frame) - (k.half - 1);
    first %= static_cast<int64_t>(b.frames);
    if (first < 0) first += b.frames;
    gather(b, static_cast<uint32_t>(first), needed, in);
    src = in + needed * 2;
    const int taps = 2 * k.half;
    uint64_t pos = b.fraction;  // relative to b.frame, 32.32
    for (size_t i = 0; i < frames; ++i) {
      size_t whole = static_cast<size_t>(pos >> 32);
      uint32_t frac = static_cast<uint32_t>(pos);
      uint64_t scaled = static_cast<uint64_t>(frac) * k.phases;
      int phase = static_cast<int>(scaled >> 32);
      float mix = static_cast<float>(static_cast<uint32_t>(scaled)) * (1.f / 4294967296.f);
      const float* r0 = k.row(phase);
      const float* r1 = k.row(phase + 1);
      const float* s = in + whole * 2;
      float l = 0.f, r = 0.f;
      for (int t = 0; t < taps; ++t) {
        float c = r0[t] + (r1[t] - r0[t]) * mix;
        l += s[2 * t] * c;
        r += s[2 * t + 1] * c;
      }
      src[2 * i] = l;
      src[2 * i + 1] = r;
      pos += b.step;
    }
    b.frame = static_cast<uint32_t>((b.frame + (pos >> 32)) % b.frames);
    b.fraction = static_cast<uint32_t>(pos);
  }

  size_t i = 0;
  if (b.ramp_left > 0) {
    for (; i < frames && b.ramp_left > 0; ++i) {
      b.gain += b.ramp_step;
      if (--b.ramp_left == 0) b.gain = b.target;
      acc[2 * i] += src[2 * i] * b.gain;
      acc[2 * i + 1] += src[2 * i + 1] * b.gain;
    }
  }
  const float g = b.gain;
  if (g == 0.f) return;
  for (; i < frames; ++i) {
    acc[2 * i] += src[2 * i] * g;
    acc[2 * i + 1] += src[2 * i + 1] * g;
  }
}

void Mixer::mix(int16_t* out, size_t frames) {
  constexpr size_t kBlock = 1024;
  while (frames > 0) {
    size_t n = std::min(frames, kBlock);
    acc_.assign(n * 2, 0.f);
    for (auto& b : buffers_)
      if (b->playing) mix_buffer(*b, acc_.data(), n);
    std::erase_if(buffers_, [](const auto& b) { return b->released && b->ramp_left == 0; });
    for (size_t i = 0; i < n * 2; ++i) {
      float v = acc_[i] * 32768.f;
      v = std::clamp(v, -32768.f, 32767.f);
      out[i] = static_cast<int16_t>(std::lrint(v));
    }
    out += n * 2;
    frames -= n;
  }
}

void Mixer::clear() { buffers_.clear(); }

}  // namespace snd
