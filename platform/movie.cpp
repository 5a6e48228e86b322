// [SECTION] Byte sources and FFmpeg's custom I/O
// [SECTION] Opening
// [SECTION] Decoding (worker thread)
// [SECTION] Reading (caller's side)
#include "platform/movie.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/ffmpeg_library.h"
#include "platform/files.h"

namespace plat {

namespace {

// Loaded by the worker before it opens anything: only called once it was.
const FfmpegLibrary& ff() { return *ffmpeg_library(nullptr); }

constexpr int kOutRate = 44100;
constexpr int kMaxInRate = 768000;  // the highest sound rate converted
// The worker rests once both queues hold this much.
constexpr size_t kSoftPictures = 6;
constexpr size_t kSoftPictureBytes = 48u << 20;
constexpr size_t kSoftSoundFrames = kOutRate;  // one second
// Beyond these (a file whose streams lie far apart) the oldest is dropped,
// so that a badly interleaved file costs pictures or sound, never memory.
constexpr size_t kHardPictures = 64;
constexpr size_t kHardPictureBytes = 256u << 20;
constexpr size_t kHardSoundFrames = static_cast<size_t>(kOutRate) * 20;
// Timestamps further apart than this are a fault of the file, not a pause.
constexpr int64_t kMaxGapMs = 10000;
constexpr int64_t kMaxPixels = int64_t{Movie::kMaxSide} * Movie::kMaxSide;
constexpr int kIoBufferSize = 32768;

std::string error_text(int code) {
  char buf[AV_ERROR_MAX_STRING_SIZE] = {};
  ff().av_strerror(code, buf, sizeof buf);
  return buf;
}

// [SECTION] Byte sources and FFmpeg's custom I/O --------------------------------------------

class Source {
 public:
  virtual ~Source() = default;
  virtual int read(uint8_t* buf, int size) = 0;  // 0 at the end, < 0 on error
  virtual int64_t seek(int64_t offset, int whence) = 0;  // the new position, < 0 on error
  virtual int64_t size() = 0;
};

class FileSource final : public Source {
 public:
  explicit FileSource(File f) : f_(std::move(f)) {}
  int read(uint8_t* buf, int size) override {
    size_t n = f_.read(buf, static_cast<size_t>(size));
    if (n == 0 && f_.failed()) return -1;
    return static_cast<int>(n);
  }
  int64_t seek(int64_t offset, int whence) override {
    const int64_t from = whence == SEEK_CUR ? f_.tell() : whence == SEEK_END ? f_.size() : 0;
    if (from < 0 || !f_.seek(from + offset)) return -1;
    return f_.tell();
  }
  int64_t size() override { return f_.size(); }

 private:
  File f_;
};

class MemorySource final : public Source {
 public:
  explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  int read(uint8_t* buf, int size) override {
    if (pos_ >= bytes_.size()) return 0;
    size_t n = std::min(bytes_.size() - pos_, static_cast<size_t>(size));
    std::memcpy(buf, bytes_.data() + pos_, n);
    pos_ += n;
    return static_cast<int>(n);
  }
  int64_t seek(int64_t offset, int whence) override {
    int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<int64_t>(pos_) : size();
    if (offset > INT64_MAX / 2 || offset < INT64_MIN / 2) return -1;
    int64_t to = base + offset;
    if (to < 0) return -1;
    pos_ = static_cast<size_t>(std::min<int64_t>(to, static_cast<int64_t>(bytes_.size()) + 1));
    return to;
  }
  int64_t size() override { return static_cast<int64_t>(bytes_.size()); }

 private:
  std::vector<uint8_t> bytes_;
  size_t pos_ = 0;
};

int io_read(void* opaque, uint8_t* buf, int size) {
  int n = static_cast<Source*>(opaque)->read(buf, size);
  if (n < 0) return AVERROR(EIO);
  return n == 0 ? AVERROR_EOF : n;
}

int64_t io_seek(void* opaque, int64_t offset, int whence) {
  auto* s = static_cast<Source*>(opaque);
  if (whence & AVSEEK_SIZE) return s->size();
  whence &= ~AVSEEK_FORCE;
  if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return -1;
  return s->seek(offset, whence);
}

}  // namespace

struct Movie::Impl {
  std::string name;
  int want_w = 0, want_h = 0;
  std::unique_ptr<Source> source;

  // --- worker only
  AVIOContext* io = nullptr;
  AVFormatContext* format = nullptr;
  AVCodecContext* video = nullptr;
  AVCodecContext* audio = nullptr;
  int video_index = -1, audio_index = -1;
  SwsContext* sws = nullptr;
  SwrContext* swr = nullptr;
  // What the sound converter was set up for. A stream may change its
  // channels, sample format or rate in the middle; the converter reads a
  // frame's planes by what it was set up for, not by what the frame holds.
  AVChannelLayout swr_layout{};
  int swr_format = AV_SAMPLE_FMT_NONE;
  int swr_rate = 0;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  int out_w = 0, out_h = 0;
  int64_t video_start = AV_NOPTS_VALUE;  // stream time of the movie's start
  int64_t frame_ms = 40;                 // a picture's time on screen
  int64_t last_time = -1;                // the last picture's time
  std::vector<int16_t> converted;

  // --- shared, under `lock`
  mutable std::mutex lock;
  std::condition_variable changed;
  State state = State::Opening;
  std::string error;
  bool video_present = false, sound_present = false;
  bool sound_dropped = false;
  std::deque<MoviePicture> pictures;
  size_t picture_bytes = 0;
  std::vector<std::vector<uint8_t>> spare;  // pixel buffers to use again
  std::deque<int16_t> sound;  // interleaved stereo
  int64_t last_picture_end = 0;
  bool picture_taken = false;
  std::atomic<int64_t> sound_handed{0};  // frames

  std::atomic<bool> stopping{false};
  std::thread worker;

  ~Impl() {
    stop();
    close();
  }

  void stop() {
    {
      // Under the lock: set between the reader's test of its wait and its
      // sleep, the flag and its wake-up would be missed, and join would wait
      // for ever.
      std::lock_guard g(lock);
      stopping = true;
    }
    changed.notify_all();
    if (worker.joinable()) worker.join();
  }

  void close() {
    if (sws) ff().sws_freeContext(sws);
    if (swr) ff().swr_free(&swr);
    ff().av_channel_layout_uninit(&swr_layout);
    if (video) ff().avcodec_free_context(&video);
    if (audio) ff().avcodec_free_context(&audio);
    if (format) ff().avformat_close_input(&format);
    if (io) {
      ff().av_freep(&io->buffer);
      ff().avio_context_free(&io);
    }
    if (packet) ff().av_packet_free(&packet);
    if (frame) ff().av_frame_free(&frame);
    sws = nullptr;
  }

  // A failure after the stop (FFmpeg interrupted, or anything after it) is
  // not the file's fault: the movie just ends. One before the stop stays a
  // failure, whenever the worker gets round to ending.
  void fail(std::string text) {
    std::lock_guard g(lock);
    if (stopping) {
      state = State::Ended;
    } else {
      state = State::Failed;
      error = name + ": " + text;
    }
    changed.notify_all();
  }

  // [SECTION] Opening ----------------------------------------------------------------------------

  static int interrupted(void* opaque) { return static_cast<Impl*>(opaque)->stopping.load() ? 1 : 0; }

  // Null and a reason when the stream cannot be decoded.
  AVCodecContext* open_decoder(AVStream* st, const char* kind, std::string* why) {
    const AVCodecParameters* par = st->codecpar;
    const char* codec_name = ff().avcodec_get_name(par->codec_id);
    const AVCodec* codec = ff().avcodec_find_decoder(par->codec_id);
    if (!codec) {
      *why = std::string("no decoder for the ") + kind + " codec " + codec_name;
      return nullptr;
    }
    AVCodecContext* ctx = ff().avcodec_alloc_context3(codec);
    if (!ctx || ff().avcodec_parameters_to_context(ctx, par) < 0) {
      ff().avcodec_free_context(&ctx);
      *why = std::string("cannot set up the ") + kind + " codec " + codec_name;
      return nullptr;
    }
    ctx->thread_count = 1;
    ctx->pkt_timebase = st->time_base;
    // Pictures larger than any that is played are refused by the decoder
    // before it allocates them, not after: a file whose pictures grow in the
    // middle of the stream must not make it allocate gigabytes.
    ctx->max_pixels = kMaxPixels;
    if (int r = ff().avcodec_open2(ctx, codec, nullptr); r < 0) {
      ff().avcodec_free_context(&ctx);
      *why = std::string("cannot decode the ") + kind + " codec " + codec_name + " (" + error_text(r) + ")";
      return nullptr;
    }
    return ctx;
  }

  bool open() {
    std::string missing;
    if (!ffmpeg_library(&missing)) {
      fail("movies cannot be played: " + missing);
      return false;
    }
    packet = ff().av_packet_alloc();
    frame = ff().av_frame_alloc();
    format = ff().avformat_alloc_context();
    auto* buffer = static_cast<uint8_t*>(ff().av_malloc(kIoBufferSize));
    if (!packet || !frame || !format || !buffer) {
      ff().av_free(buffer);
      fail("out of memory");
      return false;
    }
    io = ff().avio_alloc_context(buffer, kIoBufferSize, 0, source.get(), io_read, nullptr, io_seek);
    if (!io) {
      ff().av_free(buffer);
      fail("out of memory");
      return false;
    }
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    // A playlist or manifest (HLS, DASH, concat) names further files and
    // addresses; a movie of a game is one file, so no protocol is allowed
    // for anything it names (nested opens inherit the list).
    auto* none = static_cast<char*>(ff().av_malloc(1));
    if (!none) {
      fail("out of memory");
      return false;
    }
    none[0] = '\0';
    format->protocol_whitelist = none;  // freed with the context
    format->interrupt_callback = {interrupted, this};
    if (int r = ff().avformat_open_input(&format, nullptr, nullptr, nullptr); r < 0) {
      format = nullptr;  // freed by the failed open
      fail("not a movie FFmpeg can read (" + error_text(r) + ")");
      return false;
    }
    if (int r = ff().avformat_find_stream_info(format, nullptr); r < 0) {
      fail("cannot read the streams (" + error_text(r) + ")");
      return false;
    }
    if (stopping) return false;
    video_index = ff().av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    audio_index = ff().av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (video_index < 0 && audio_index < 0) {
      fail("no picture or sound stream");
      return false;
    }
    std::string why;
    if (video_index >= 0) {
      AVStream* st = format->streams[video_index];
      const AVCodecParameters* par = st->codecpar;
      if (par->width <= 0 || par->height <= 0 || par->width > kMaxSide || par->height > kMaxSide) {
        fail("pictures of " + std::to_string(par->width) + " x " + std::to_string(par->height) + " (codec " +
             ff().avcodec_get_name(par->codec_id) + ") are not played");
        return false;
      }
      video = open_decoder(st, "picture", &why);
      if (!video) {
        fail(why);
        return false;
      }
      AVRational rate = st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0 ? st->avg_frame_rate
                                                                                 : st->r_frame_rate;
      if (rate.num > 0 && rate.den > 0) {
        // An absurd rate is a fault of the file; a picture stays 1 ms to 1 s.
        frame_ms = std::clamp<int64_t>(ff().av_rescale(1000, rate.den, rate.num), 1, 1000);
      }
      out_w = std::clamp(want_w > 0 ? want_w : par->width, 1, kMaxSide);
      out_h = std::clamp(want_h > 0 ? want_h : par->height, 1, kMaxSide);
    }
    if (audio_index >= 0) {
      AVStream* st = format->streams[audio_index];
      audio = open_decoder(st, "sound", &why);
      if (!audio) {
        fail(why);
        return false;
      }
      if (!set_up_sound(audio->ch_layout, audio->sample_fmt, audio->sample_rate)) {
        fail(std::string("cannot convert the sound of codec ") + ff().avcodec_get_name(audio->codec_id));
        return false;
      }
    }
    // The movie starts at its earliest stream's start.
    if (format->start_time != AV_NOPTS_VALUE && format->start_time > 0 && video_index >= 0)
      video_start = ff().av_rescale_q(format->start_time, AV_TIME_BASE_Q, format->streams[video_index]->time_base);
    std::lock_guard g(lock);
    video_present = video_index >= 0;
    sound_present = audio_index >= 0;
    state = State::Playing;
    changed.notify_all();
    return true;
  }

  // [SECTION] Decoding (worker thread) ------------------------------------------------------------

  bool video_full() const {
    return !video_present || pictures.size() >= kSoftPictures || picture_bytes >= kSoftPictureBytes;
  }
  bool sound_full() const { return !sound_present || sound_dropped || sound.size() / 2 >= kSoftSoundFrames; }

  // Milliseconds from the start for a picture, kept moving forward.
  int64_t picture_time(int64_t pts) {
    int64_t t;
    if (pts == AV_NOPTS_VALUE) {
      t = last_time < 0 ? 0 : last_time + frame_ms;
    } else {
      AVRational tb = format->streams[video_index]->time_base;
      if (video_start == AV_NOPTS_VALUE) video_start = pts;
      // Keep the subtraction and the scaling inside 64 bits.
      int64_t d = pts - std::clamp<int64_t>(video_start, INT64_MIN / 4, INT64_MAX / 4);
      d = std::clamp<int64_t>(d, INT64_MIN / 4, INT64_MAX / 4);
      t = ff().av_rescale_q(d, tb, {1, 1000});
    }
    if (last_time < 0) {
      if (t < 0 || t > kMaxGapMs) t = 0;
    } else if (t <= last_time || t > last_time + kMaxGapMs) {
      t = last_time + frame_ms;
    }
    last_time = t;
    return t;
  }

  void take_picture() {
    if (frame->width <= 0 || frame->height <= 0 || frame->width > kMaxSide || frame->height > kMaxSide ||
        int64_t{frame->width} * frame->height > kMaxPixels)
      return;
    sws = ff().sws_getCachedContext(sws, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), out_w,
                               out_h, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!sws) return;
    MoviePicture p;
    p.width = out_w;
    p.height = out_h;
    p.time_ms = picture_time(frame->best_effort_timestamp);
    {
      std::lock_guard g(lock);
      if (!spare.empty()) {
        p.pixels = std::move(spare.back());
        spare.pop_back();
      }
    }
    // Room past the end: the converters may write whole vectors.
    p.pixels.resize(static_cast<size_t>(out_w) * 3 * out_h + 64);
    uint8_t* dst[4] = {p.pixels.data(), nullptr, nullptr, nullptr};
    int dst_stride[4] = {out_w * 3, 0, 0, 0};
    if (ff().sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, dst_stride) <= 0) return;
    std::lock_guard g(lock);
    picture_bytes += p.pixels.size();
    last_picture_end = p.time_ms + frame_ms;
    pictures.push_back(std::move(p));
    while (pictures.size() > kHardPictures || picture_bytes > kHardPictureBytes) {
      picture_bytes -= pictures.front().pixels.size();
      pictures.pop_front();
    }
    changed.notify_all();
  }

  // Sets the converter up for sound of this kind, unless it already is;
  // false (and no converter) for sound it cannot convert.
  bool set_up_sound(const AVChannelLayout& layout, int format, int rate) {
    if (swr) {
      if (format == swr_format && rate == swr_rate && ff().av_channel_layout_compare(&layout, &swr_layout) == 0)
        return true;
      convert_sound(nullptr, 0);  // what it still holds of the sound before the change
      ff().swr_free(&swr);
    }
    ff().av_channel_layout_uninit(&swr_layout);
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (rate <= 0 || rate > kMaxInRate || layout.nb_channels <= 0 || format < 0 || format >= AV_SAMPLE_FMT_NB ||
        ff().swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_S16, kOutRate, const_cast<AVChannelLayout*>(&layout),
                                 static_cast<AVSampleFormat>(format), rate, 0, nullptr) < 0 ||
        ff().swr_init(swr) < 0 || ff().av_channel_layout_copy(&swr_layout, &layout) < 0) {
      if (swr) ff().swr_free(&swr);
      return false;
    }
    swr_format = format;
    swr_rate = rate;
    return true;
  }

  // Converts sound for the output and queues it; null: what the converter
  // still holds.
  void convert_sound(const uint8_t* const* in, int samples) {
    int out = ff().swr_get_out_samples(swr, samples);
    if (out <= 0) return;
    converted.resize(static_cast<size_t>(out) * 2);
    uint8_t* dst[1] = {reinterpret_cast<uint8_t*>(converted.data())};
    int n = ff().swr_convert(swr, dst, out, const_cast<const uint8_t**>(in), samples);
    if (n <= 0) return;
    std::lock_guard g(lock);
    if (sound_dropped) return;
    sound.insert(sound.end(), converted.begin(), converted.begin() + static_cast<ptrdiff_t>(n) * 2);
    if (sound.size() / 2 > kHardSoundFrames) sound.erase(sound.begin(), sound.end() - kHardSoundFrames * 2);
    changed.notify_all();
  }

  void take_sound() {
    // A frame the converter cannot take is dropped; the next may be taken.
    if (frame->nb_samples <= 0 || !set_up_sound(frame->ch_layout, frame->format, frame->sample_rate)) return;
    convert_sound(frame->extended_data, frame->nb_samples);
  }

  // Sends a packet (null: the end) and takes every frame it gives.
  void decode(AVCodecContext* ctx, const AVPacket* pkt) {
    if (ff().avcodec_send_packet(ctx, pkt) < 0 && pkt) return;  // a damaged packet is skipped
    while (!stopping) {
      int r = ff().avcodec_receive_frame(ctx, frame);
      if (r < 0) break;
      if (ctx == video) take_picture();
      else take_sound();
      ff().av_frame_unref(frame);
    }
  }

  void run() {
    if (!open()) {
      close();
      std::lock_guard g(lock);
      if (state == State::Opening) state = State::Ended;  // stopped while opening
      changed.notify_all();
      return;
    }
    while (!stopping) {
      {
        std::unique_lock g(lock);
        // With nothing kept (a sound nobody plays and no pictures) it runs
        // through to the end.
        changed.wait(g, [&] {
          const bool keeps = video_present || (sound_present && !sound_dropped);
          return stopping.load() || !keeps || !video_full() || !sound_full();
        });
      }
      if (stopping) break;
      int r = ff().av_read_frame(format, packet);
      if (r < 0) break;  // the end, or a file that stops making sense
      if (packet->stream_index == video_index) decode(video, packet);
      else if (packet->stream_index == audio_index) decode(audio, packet);
      ff().av_packet_unref(packet);
    }
    if (!stopping) {
      if (video) decode(video, nullptr);
      if (audio) {
        decode(audio, nullptr);
        if (swr) convert_sound(nullptr, 0);
      }
    }
    close();
    std::lock_guard g(lock);
    state = State::Ended;
    changed.notify_all();
  }

  bool sound_left() const { return sound_present && !sound_dropped && !sound.empty(); }

  // Under the lock.
  void recycle(std::vector<uint8_t>&& pixels) {
    if (spare.size() < 4 && !pixels.empty()) spare.push_back(std::move(pixels));
  }
};

// [SECTION] Reading (caller's side) ----------------------------------------------------------------

Movie::Movie(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Movie::~Movie() = default;

std::shared_ptr<Movie> Movie::launch(std::unique_ptr<Impl> impl) {
  Impl* raw = impl.get();
  std::shared_ptr<Movie> movie(new Movie(std::move(impl)));
  if (raw->source) raw->worker = std::thread([raw] { raw->run(); });
  return movie;
}

std::shared_ptr<Movie> Movie::open_file(const std::string& native_path, const std::string& name, int width,
                                        int height) {
  auto impl = std::make_unique<Impl>();
  impl->name = name;
  impl->want_w = width;
  impl->want_h = height;
  if (File f = File::open(native_path, "rb")) impl->source = std::make_unique<FileSource>(std::move(f));
  else impl->fail("cannot be opened");
  return launch(std::move(impl));
}

std::shared_ptr<Movie> Movie::open_bytes(std::vector<uint8_t> bytes, const std::string& name, int width, int height) {
  auto impl = std::make_unique<Impl>();
  impl->name = name;
  impl->want_w = width;
  impl->want_h = height;
  impl->source = std::make_unique<MemorySource>(std::move(bytes));
  return launch(std::move(impl));
}

Movie::State Movie::state() const {
  std::lock_guard g(impl_->lock);
  return impl_->state;
}

std::string Movie::error() const {
  std::lock_guard g(impl_->lock);
  return impl_->error;
}

void Movie::wait_opened() {
  std::unique_lock g(impl_->lock);
  impl_->changed.wait(g, [&] { return impl_->state != State::Opening || impl_->stopping.load(); });
}

bool Movie::has_video() const {
  std::lock_guard g(impl_->lock);
  return impl_->video_present;
}

bool Movie::has_sound() const {
  std::lock_guard g(impl_->lock);
  return impl_->sound_present && !impl_->sound_dropped;
}

bool Movie::picture_at(int64_t ms, bool exact, MoviePicture& out) {
  Impl& m = *impl_;
  std::unique_lock g(m.lock);
  bool got = false;
  for (;;) {
    while (!m.pictures.empty() && m.pictures.front().time_ms <= ms) {
      m.picture_bytes -= m.pictures.front().pixels.size();
      m.recycle(std::move(out.pixels));
      out = std::move(m.pictures.front());
      m.pictures.pop_front();
      got = true;
    }
    m.changed.notify_all();
    const bool over = m.state == State::Ended || m.state == State::Failed || m.stopping;
    if (!exact || over || !m.pictures.empty() || (m.state == State::Playing && !m.video_present)) break;
    m.changed.wait(g);
  }
  if (got) m.picture_taken = true;
  return got;
}

size_t Movie::read_sound(int16_t* out, size_t frames, bool exact) {
  Impl& m = *impl_;
  std::unique_lock g(m.lock);
  if (exact)
    m.changed.wait(g, [&] {
      return m.sound.size() / 2 >= frames || m.state == State::Ended || m.state == State::Failed || m.stopping ||
             m.sound_dropped || (m.state == State::Playing && !m.sound_present);
    });
  size_t n = std::min(frames, m.sound.size() / 2);
  std::copy(m.sound.begin(), m.sound.begin() + static_cast<ptrdiff_t>(n) * 2, out);
  m.sound.erase(m.sound.begin(), m.sound.begin() + static_cast<ptrdiff_t>(n) * 2);
  m.sound_handed += static_cast<int64_t>(n);
  if (n > 0) m.changed.notify_all();
  return n;
}

int64_t Movie::sound_ms() const { return impl_->sound_handed.load() * 1000 / kOutRate; }

bool Movie::sound_done() const {
  const Impl& m = *impl_;
  std::lock_guard g(m.lock);
  if (!m.sound_present || m.sound_dropped) return true;
  return (m.state == State::Ended || m.state == State::Failed) && m.sound.empty();
}

void Movie::drop_sound() {
  Impl& m = *impl_;
  std::lock_guard g(m.lock);
  m.sound_dropped = true;
  m.sound.clear();
  m.changed.notify_all();
}

bool Movie::finished_at(int64_t ms, bool exact) const {
  Impl& m = *impl_;
  std::unique_lock g(m.lock);
  if (exact)
    m.changed.wait(g, [&] {
      return (m.state != State::Opening && m.state != State::Playing) || !m.pictures.empty() || m.sound_left() ||
             m.stopping;
    });
  if (m.state == State::Opening || m.state == State::Playing) return false;
  if (!m.pictures.empty() || m.sound_left()) return false;
  return !m.picture_taken || ms >= m.last_picture_end;
}

void Movie::stop() { impl_->stop(); }

}  // namespace plat
