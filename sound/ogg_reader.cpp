// [SECTION] Decoder state and chunk reads
// [SECTION] Headers
// [SECTION] Decoding
#include "sound/ogg_reader.h"

#include <ogg/ogg.h>
#include <vorbis/codec.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "sound/sound_stream.h"
#include "sound/wave_format.h"

namespace snd {

// [SECTION] Decoder state and chunk reads -------------------------------------

namespace {
constexpr size_t kChunk = 4096;
}

struct OggReader::Decoder {
  ogg_sync_state sync;
  ogg_stream_state stream;
  ogg_page page;
  ogg_packet packet;
  vorbis_info info;
  vorbis_comment comment;
  vorbis_dsp_state dsp;
  vorbis_block block;
  bool stream_ready = false, info_ready = false, dsp_ready = false;

  Decoder() {
    ogg_sync_init(&sync);
    std::memset(&stream, 0, sizeof stream);
    std::memset(&page, 0, sizeof page);
    std::memset(&packet, 0, sizeof packet);
  }
  ~Decoder() {
    if (dsp_ready) {
      vorbis_block_clear(&block);
      vorbis_dsp_clear(&dsp);
    }
    if (info_ready) {
      vorbis_comment_clear(&comment);
      vorbis_info_clear(&info);
    }
    if (stream_ready) ogg_stream_clear(&stream);
    ogg_sync_clear(&sync);
  }
};

bool is_ogg_name(const std::string& lower_name) { return lower_name.find(".ogg") != std::string::npos; }

OggReader::OggReader(FileAccess& files) : files_(files) {}
OggReader::~OggReader() = default;

std::string OggReader::take_failed_file() { return std::exchange(failed_file_, {}); }

bool OggReader::locate_current() {
  auto where = files_.locate(current_ == 0 ? name_ : loop_name_);
  if (!where) return false;
  path_ = where->path;
  base_ = where->base;
  size_ = where->size;
  consumed_ = 0;
  return true;
}

OggReader::Chunk OggReader::read_chunk() {
  size_t want = std::min<size_t>(kChunk, size_ - consumed_);
  if (want == 0) return Chunk::End;
  char* buffer = ogg_sync_buffer(&d_->sync, static_cast<long>(want));
  if (!buffer) return Chunk::Error;
  int64_t got = files_.read_at(path_, base_ + consumed_, buffer, want);
  if (got != static_cast<int64_t>(want)) return Chunk::Error;
  ogg_sync_wrote(&d_->sync, static_cast<long>(got));
  consumed_ += static_cast<uint32_t>(got);
  return Chunk::Data;
}

void OggReader::teardown() {
  d_.reset();
  ready_ = false;
  eos_page_ = false;
}

// [SECTION] Headers -------------------------------------------------------------

bool OggReader::init_decoder() {
  teardown();
  d_ = std::make_unique<Decoder>();
  Decoder& d = *d_;
  if (read_chunk() != Chunk::Data) return false;
  if (ogg_sync_pageout(&d.sync, &d.page) != 1) return false;
  ogg_stream_init(&d.stream, ogg_page_serialno(&d.page));
  d.stream_ready = true;
  vorbis_info_init(&d.info);
  vorbis_comment_init(&d.comment);
  d.info_ready = true;
  if (ogg_stream_pagein(&d.stream, &d.page) < 0) return false;
  if (ogg_stream_packetout(&d.stream, &d.packet) != 1) return false;
  if (vorbis_synthesis_headerin(&d.info, &d.comment, &d.packet) < 0) return false;

  int headers = 1;
  while (headers < 3) {
    int r;
    while (headers < 3 && (r = ogg_sync_pageout(&d.sync, &d.page)) != 0) {
      if (r < 0) continue;  // skipped bytes before a page
      if (ogg_stream_pagein(&d.stream, &d.page) < 0) return false;
      while (headers < 3) {
        int p = ogg_stream_packetout(&d.stream, &d.packet);
        if (p == 0) break;
        if (p < 0 || vorbis_synthesis_headerin(&d.info, &d.comment, &d.packet) < 0) return false;
        ++headers;
      }
    }
    if (headers < 3 && read_chunk() != Chunk::Data) return false;
  }
  if (d.info.channels < 1 || d.info.channels > kMaxChannels || d.info.rate < static_cast<long>(kMinRate) ||
      d.info.rate > static_cast<long>(kMaxRate))
    return false;
  // One more chunk, so that decoding starts with data at hand.
  if (read_chunk() == Chunk::Error) return false;
  if (vorbis_synthesis_init(&d.dsp, &d.info) != 0) return false;
  if (vorbis_block_init(&d.dsp, &d.block) != 0) {
    vorbis_dsp_clear(&d.dsp);
    return false;
  }
  d.dsp_ready = true;
  ready_ = true;
  return true;
}

std::unique_ptr<OggReader> OggReader::open(FileAccess& files, std::string name, std::string loop_name, bool loop) {
  std::unique_ptr<OggReader> r(new OggReader(files));
  r->name_ = std::move(name);
  r->loop_name_ = std::move(loop_name);
  r->loop_ = loop;
  if (!r->locate_current() || !r->init_decoder()) return nullptr;
  r->channels_ = r->d_->info.channels;
  r->rate_ = static_cast<int>(r->d_->info.rate);
  return r;
}

// [SECTION] Decoding ------------------------------------------------------------

void OggReader::take_pcm(size_t limit, std::vector<uint8_t>& out) {
  float** pcm = nullptr;
  int available;
  const int slice_max = static_cast<int>(kChunk) / channels_;
  while (out.size() < limit && (available = vorbis_synthesis_pcmout(&d_->dsp, &pcm)) > 0) {
    int take = std::min(available, slice_max);
    size_t at = out.size();
    out.resize(at + static_cast<size_t>(take) * channels_ * 2);
    uint8_t* dst = out.data() + at;
    for (int i = 0; i < take; ++i) {
      for (int c = 0; c < channels_; ++c) {
        float x = pcm[c][i] * 32767.f;
        int v;
        if (x >= 32767.f) v = 32767;
        else if (x <= -32768.f) v = -32768;
        else if (x == x) v = static_cast<int>(x);  // truncates
        else v = 0;
        dst[0] = static_cast<uint8_t>(v);
        dst[1] = static_cast<uint8_t>(v >> 8);
        dst += 2;
      }
    }
    vorbis_synthesis_read(&d_->dsp, take);
  }
}

bool OggReader::restart_after_end() {
  at_end_ = true;
  if (!loop_) return false;
  int previous_channels = channels_, previous_rate = rate_;
  if (current_ == 0 && !loop_name_.empty()) {
    current_ = 1;
    if (!locate_current()) {
      failed_file_ = loop_name_;
      loop_ = false;
      return false;
    }
    at_end_ = false;  // the loop file's own end is reported again
  } else {
    consumed_ = 0;
  }
  if (!init_decoder() || d_->info.channels != previous_channels || d_->info.rate != previous_rate) {
    // The loop file must play into the buffer made for the first file.
    if (current_ == 1) failed_file_ = loop_name_;
    teardown();
    at_end_ = true;
    loop_ = false;
    return false;
  }
  return true;
}

void OggReader::read(size_t n, std::vector<uint8_t>& out) {
  out.clear();
  const size_t silence = n - n % block_align();  // whole frames, so that the ring stays aligned
  const size_t cap = 4 * n - (4 * n) % block_align();
  if (!leftover_.empty()) {
    size_t take = std::min(cap, leftover_.size());
    out.assign(leftover_.begin(), leftover_.begin() + static_cast<ptrdiff_t>(take));
    leftover_.erase(leftover_.begin(), leftover_.begin() + static_cast<ptrdiff_t>(take));
    return;
  }
  if ((at_end_ && !loop_) || !ready_) {
    out.assign(silence, 0);
    return;
  }
  out.reserve(32 * 1024);
  bool error = false;
  while (out.size() < n) {
    take_pcm(n, out);
    if (out.size() >= n) break;
    int p = ogg_stream_packetout(&d_->stream, &d_->packet);
    if (p == 1) {
      int r = vorbis_synthesis(&d_->block, &d_->packet);
      if (r == 0) {
        if (vorbis_synthesis_blockin(&d_->dsp, &d_->block) < 0) { error = true; break; }
      } else if (r != OV_ENOTAUDIO) {
        error = true;
        break;
      }
      continue;
    }
    if (p < 0) { error = true; break; }
    if (eos_page_) {
      if (!restart_after_end()) break;
      continue;
    }
    int g = ogg_sync_pageout(&d_->sync, &d_->page);
    if (g == 1) {
      if (ogg_stream_pagein(&d_->stream, &d_->page) < 0) { error = true; break; }
      if (ogg_page_eos(&d_->page)) eos_page_ = true;
      continue;
    }
    if (g < 0) { error = true; break; }
    Chunk c = read_chunk();
    if (c == Chunk::Error) { error = true; break; }
    if (c == Chunk::End) {
      if (!restart_after_end()) break;
    }
  }

  if (error) {
    // Silence for this request; what was decoded comes with the next one.
    leftover_ = std::move(out);
    out.assign(silence, 0);
    if (++failures_ >= kReadFailureLimit) {
      // The file cannot be read any further: treat it as ended.
      failures_ = 0;
      leftover_.clear();
      if (!restart_after_end()) {
        at_end_ = true;
      }
    }
    return;
  }
  failures_ = 0;
  if (out.size() > cap) {
    leftover_.assign(out.begin() + static_cast<ptrdiff_t>(cap), out.end());
    out.resize(cap);
  }
}

}  // namespace snd
