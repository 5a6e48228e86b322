// Audio files made by tests and benchmarks: RIFF WAVE writers and an Ogg
// Vorbis encoder (libvorbisenc), so that every decoder input is built from
// known samples.
#pragma once

#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace testing_support {

inline void put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
inline void put32(std::vector<uint8_t>& v, uint32_t x) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
inline void put_tag(std::vector<uint8_t>& v, const char* tag) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(tag[i]));
}

// A WAVE file from a raw "fmt " body and data bytes, with optional chunks
// before the data.
inline std::vector<uint8_t> wave_bytes(const std::vector<uint8_t>& fmt_body, const std::vector<uint8_t>& data,
                                       const std::vector<uint8_t>& extra_chunks = {}) {
  std::vector<uint8_t> v;
  put_tag(v, "RIFF");
  put32(v, static_cast<uint32_t>(4 + 8 + fmt_body.size() + extra_chunks.size() + 8 + data.size()));
  put_tag(v, "WAVE");
  put_tag(v, "fmt ");
  put32(v, static_cast<uint32_t>(fmt_body.size()));
  v.insert(v.end(), fmt_body.begin(), fmt_body.end());
  v.insert(v.end(), extra_chunks.begin(), extra_chunks.end());
  put_tag(v, "data");
  put32(v, static_cast<uint32_t>(data.size()));
  v.insert(v.end(), data.begin(), data.end());
  return v;
}

inline std::vector<uint8_t> pcm_fmt(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t tag = 1) {
  std::vector<uint8_t> f;
  uint16_t align = static_cast<uint16_t>(channels * bits / 8);
  put16(f, tag);
  put16(f, channels);
  put32(f, rate);
  put32(f, rate * align);
  put16(f, align);
  put16(f, bits);
  return f;
}

inline std::vector<uint8_t> pcm16_wave(const std::vector<int16_t>& samples, uint16_t channels, uint32_t rate) {
  std::vector<uint8_t> data;
  for (int16_t s : samples) put16(data, static_cast<uint16_t>(s));
  return wave_bytes(pcm_fmt(channels, rate, 16), data);
}

// Interleaved 16-bit test signal: a sine per channel at its own pitch.
inline std::vector<int16_t> sine(size_t frames, int channels, uint32_t rate, double amplitude = 0.5,
                                 double base_hz = 440.0) {
  std::vector<int16_t> v(frames * channels);
  for (size_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      v[i * channels + c] =
          static_cast<int16_t>(std::lrint(32767.0 * amplitude * std::sin(2 * M_PI * base_hz * (c + 1) * i / rate)));
  return v;
}

// Encodes interleaved float samples (-1..1) as Ogg Vorbis.
inline std::vector<uint8_t> vorbis_encode(const std::vector<float>& samples, int channels, long rate,
                                          float quality = 0.3f, int serial = 12345) {
  std::vector<uint8_t> out;
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, channels, rate, quality) != 0) return out;
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, serial);
  ogg_packet h0, h1, h2;
  vorbis_analysis_headerout(&vd, &vc, &h0, &h1, &h2);
  ogg_stream_packetin(&os, &h0);
  ogg_stream_packetin(&os, &h1);
  ogg_stream_packetin(&os, &h2);
  ogg_page og;
  auto emit = [&](const ogg_page& p) {
    out.insert(out.end(), p.header, p.header + p.header_len);
    out.insert(out.end(), p.body, p.body + p.body_len);
  };
  while (ogg_stream_flush(&os, &og)) emit(og);

  const size_t frames = samples.size() / channels;
  size_t at = 0;
  bool eos = false;
  while (!eos) {
    size_t n = std::min<size_t>(1024, frames - at);
    if (n == 0) {
      vorbis_analysis_wrote(&vd, 0);
    } else {
      float** buf = vorbis_analysis_buffer(&vd, static_cast<int>(n));
      for (size_t i = 0; i < n; ++i)
        for (int c = 0; c < channels; ++c) buf[c][i] = samples[(at + i) * channels + c];
      vorbis_analysis_wrote(&vd, static_cast<int>(n));
      at += n;
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet op;
      while (vorbis_bitrate_flushpacket(&vd, &op)) {
        ogg_stream_packetin(&os, &op);
        while (ogg_stream_pageout(&os, &og)) {
          emit(og);
          if (ogg_page_eos(&og)) eos = true;
        }
      }
    }
  }
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return out;
}

inline std::vector<float> to_float(const std::vector<int16_t>& v) {
  std::vector<float> f(v.size());
  for (size_t i = 0; i < v.size(); ++i) f[i] = v[i] / 32768.f;
  return f;
}

}  // namespace testing_support
