// Movies made on the spot with FFmpeg's encoders, for tests and the demo:
// pictures of solid colours (one colour per picture) or painted by the
// caller, and a sine tone.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

struct MovieSpec {
  int width = 64, height = 48;
  int fps = 10;
  std::vector<uint32_t> colours;  // 0xRRGGBB, one per picture; none: no picture stream
  double tone_hz = 0;             // with sound_ms > 0: a sine at this pitch
  int sound_ms = 0;               // 0: no sound stream
  double amplitude = 0.5;         // of full scale
  int rate = 44100;
  int channels = 2;
  const char* container = "avi";
  const char* video_codec = "mpeg4";
  const char* audio_codec = "pcm_s16le";  // takes 16-bit samples, interleaved
  bool textured = false;  // a moving pattern over the colour (benchmarks: something to decode)
  // When set, paints picture `index` (of colours.size()) as width * height
  // 0xRRGGBB pixels, row by row, instead of its solid colour.
  std::function<void(int index, std::vector<uint32_t>& rgb)> paint;
};

namespace movie_detail {

inline void fill_colour(AVFrame* f, uint32_t rgb, int textured_frame = -1) {
  const double r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
  auto clip = [](double v) { return static_cast<uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, v)))); };
  const uint8_t y = clip(16 + 0.2568 * r + 0.5041 * g + 0.0979 * b);
  const uint8_t u = clip(128 - 0.1482 * r - 0.2910 * g + 0.4392 * b);
  const uint8_t v = clip(128 + 0.4392 * r - 0.3678 * g - 0.0714 * b);
  for (int row = 0; row < f->height; ++row) {
    uint8_t* line = f->data[0] + row * f->linesize[0];
    std::memset(line, y, f->width);
    if (textured_frame >= 0)
      for (int x = 0; x < f->width; ++x)
        line[x] = static_cast<uint8_t>(y + ((x * 7 + row * 3 + textured_frame * 5) ^ (x * row >> 6)) % 64);
  }
  for (int row = 0; row < (f->height + 1) / 2; ++row) {
    std::memset(f->data[1] + row * f->linesize[1], u, (f->width + 1) / 2);
    std::memset(f->data[2] + row * f->linesize[2], v, (f->width + 1) / 2);
  }
}

inline void fill_picture(AVFrame* f, const std::vector<uint32_t>& rgb) {
  auto clip = [](double v) { return static_cast<uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, v)))); };
  auto at = [&](int x, int y) {
    const uint32_t c = rgb[static_cast<size_t>(std::min(y, f->height - 1) * f->width + std::min(x, f->width - 1))];
    return std::array<double, 3>{double((c >> 16) & 255), double((c >> 8) & 255), double(c & 255)};
  };
  for (int y = 0; y < f->height; ++y)
    for (int x = 0; x < f->width; ++x) {
      const auto [r, g, b] = at(x, y);
      f->data[0][y * f->linesize[0] + x] = clip(16 + 0.2568 * r + 0.5041 * g + 0.0979 * b);
    }
  // Chroma from the mean of each 2 x 2 block.
  for (int y = 0; y < (f->height + 1) / 2; ++y)
    for (int x = 0; x < (f->width + 1) / 2; ++x) {
      double r = 0, g = 0, b = 0;
      for (int k = 0; k < 4; ++k) {
        const auto p = at(2 * x + (k & 1), 2 * y + (k >> 1));
        r += p[0] / 4, g += p[1] / 4, b += p[2] / 4;
      }
      f->data[1][y * f->linesize[1] + x] = clip(128 - 0.1482 * r - 0.2910 * g + 0.4392 * b);
      f->data[2][y * f->linesize[2] + x] = clip(128 + 0.4392 * r - 0.3678 * g - 0.0714 * b);
    }
}

inline bool drain(AVFormatContext* oc, AVCodecContext* c, AVStream* st, AVFrame* frame) {
  if (avcodec_send_frame(c, frame) < 0) return false;
  AVPacket* pkt = av_packet_alloc();
  bool ok = true;
  while (avcodec_receive_packet(c, pkt) == 0) {
    av_packet_rescale_ts(pkt, c->time_base, st->time_base);
    pkt->stream_index = st->index;
    if (av_interleaved_write_frame(oc, pkt) < 0) ok = false;
  }
  av_packet_free(&pkt);
  return ok;
}

}  // namespace movie_detail

// Writes the movie to `path`; false when FFmpeg refused.
inline bool write_movie(const std::string& path, const MovieSpec& spec) {
  using namespace movie_detail;
  av_log_set_level(AV_LOG_ERROR);
  AVFormatContext* oc = nullptr;
  if (avformat_alloc_output_context2(&oc, nullptr, spec.container, path.c_str()) < 0 || !oc) return false;
  bool ok = true;
  AVCodecContext* vc = nullptr;
  AVCodecContext* ac = nullptr;
  AVStream* vs = nullptr;
  AVStream* as = nullptr;
  if (!spec.colours.empty()) {
    const AVCodec* codec = avcodec_find_encoder_by_name(spec.video_codec);
    vs = avformat_new_stream(oc, nullptr);
    vc = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!vc || !vs) return false;
    vc->width = spec.width;
    vc->height = spec.height;
    vc->time_base = {1, spec.fps};
    vc->framerate = {spec.fps, 1};
    vc->pix_fmt = AV_PIX_FMT_YUV420P;
    vc->gop_size = 12;
    vc->bit_rate = 2000000;
    vc->thread_count = 1;
    if (oc->oformat->flags & AVFMT_GLOBALHEADER) vc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(vc, codec, nullptr) < 0) return false;
    avcodec_parameters_from_context(vs->codecpar, vc);
    vs->time_base = vc->time_base;
  }
  if (spec.sound_ms > 0) {
    const AVCodec* codec = avcodec_find_encoder_by_name(spec.audio_codec);
    as = avformat_new_stream(oc, nullptr);
    ac = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!ac || !as) return false;
    ac->sample_fmt = AV_SAMPLE_FMT_S16;
    ac->sample_rate = spec.rate;
    av_channel_layout_default(&ac->ch_layout, spec.channels);
    ac->time_base = {1, spec.rate};
    ac->bit_rate = 192000;
    if (avcodec_open2(ac, codec, nullptr) < 0) return false;
    avcodec_parameters_from_context(as->codecpar, ac);
    as->time_base = ac->time_base;
  }
  if (!(oc->oformat->flags & AVFMT_NOFILE) && avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return false;
  if (avformat_write_header(oc, nullptr) < 0) return false;

  AVFrame* frame = av_frame_alloc();
  const int pictures = static_cast<int>(spec.colours.size());
  const int64_t samples = static_cast<int64_t>(spec.sound_ms) * spec.rate / 1000;
  int next_picture = 0;
  int64_t next_sample = 0;
  // Encoders with a fixed frame size get whole frames, the last one padded
  // with silence.
  const int chunk = ac && ac->frame_size > 0 ? ac->frame_size : 1024;
  // Pictures and sound in time order, so that the file is interleaved.
  while (ok && (next_picture < pictures || next_sample < samples)) {
    const double picture_time = next_picture < pictures ? static_cast<double>(next_picture) / spec.fps : 1e30;
    const double sound_time = next_sample < samples ? static_cast<double>(next_sample) / spec.rate : 1e30;
    av_frame_unref(frame);
    if (picture_time <= sound_time) {
      frame->format = AV_PIX_FMT_YUV420P;
      frame->width = spec.width;
      frame->height = spec.height;
      if (av_frame_get_buffer(frame, 0) < 0) ok = false;
      else {
        if (spec.paint) {
          std::vector<uint32_t> rgb(static_cast<size_t>(spec.width) * static_cast<size_t>(spec.height));
          spec.paint(next_picture, rgb);
          fill_picture(frame, rgb);
        } else {
          fill_colour(frame, spec.colours[static_cast<size_t>(next_picture)], spec.textured ? next_picture : -1);
        }
        frame->pts = next_picture++;
        ok = drain(oc, vc, vs, frame);
      }
    } else {
      const int n = static_cast<int>(std::min<int64_t>(chunk, samples - next_sample));
      frame->format = AV_SAMPLE_FMT_S16;
      frame->sample_rate = spec.rate;
      av_channel_layout_default(&frame->ch_layout, spec.channels);
      frame->nb_samples = ac->frame_size > 0 ? chunk : n;
      if (av_frame_get_buffer(frame, 0) < 0) ok = false;
      else {
        auto* out = reinterpret_cast<int16_t*>(frame->data[0]);
        std::memset(out, 0, static_cast<size_t>(frame->nb_samples) * spec.channels * sizeof(int16_t));
        for (int i = 0; i < n; ++i) {
          const double t = static_cast<double>(next_sample + i) / spec.rate;
          const auto v = static_cast<int16_t>(std::lround(32767.0 * spec.amplitude * std::sin(2 * M_PI * spec.tone_hz * t)));
          for (int c = 0; c < spec.channels; ++c) out[i * spec.channels + c] = v;
        }
        frame->pts = next_sample;
        next_sample += n;
        ok = drain(oc, ac, as, frame);
      }
    }
  }
  if (vc) drain(oc, vc, vs, nullptr);
  if (ac) drain(oc, ac, as, nullptr);
  if (av_write_trailer(oc) < 0) ok = false;
  av_frame_free(&frame);
  avcodec_free_context(&vc);
  avcodec_free_context(&ac);
  if (!(oc->oformat->flags & AVFMT_NOFILE)) avio_closep(&oc->pb);
  avformat_free_context(oc);
  return ok;
}

}  // namespace testing_support
