#include "sound/wav_reader.h"

#include <algorithm>
#include <cstring>

#include "base/bytes.h"
#include "sound/adpcm.h"

namespace snd {
namespace {

// A "fmt " chunk larger than this is not a format record.
constexpr uint32_t kMaxFormatChunk = 0x10000;
constexpr uint32_t kRiffHeader = 12;

bool read_exact(ByteSource& source, uint32_t offset, void* buffer, size_t size) {
  return source.read_at(offset, buffer, size) == static_cast<int64_t>(size);
}

std::optional<WaveFormat> decode_format(const std::vector<uint8_t>& body) {
  if (body.size() < 16) return std::nullopt;
  WaveFormat f;
  f.tag = base::load_u16(&body[0]);
  f.channels = base::load_u16(&body[2]);
  f.rate = base::load_u32(&body[4]);
  f.bytes_per_sec = base::load_u32(&body[8]);
  f.block_align = base::load_u16(&body[12]);
  f.bits = base::load_u16(&body[14]);
  f.extra.assign(body.begin() + 16, body.end());
  return f;
}

bool acceptable(const WaveFormat& f) {
  if (f.tag == kFormatPcm) return playable_pcm(f);
  if (f.tag == kFormatAdpcm) {
    AdpcmLayout layout;
    // Blocks up to a quarter of the ring, so that four units always fit.
    return adpcm_layout(f, &layout) && f.rate >= kMinRate && f.rate <= kMaxRate && f.block_align <= 16384;
  }
  return false;
}

class FileSource final : public ByteSource {
 public:
  FileSource(FileAccess& files, const Located& where) : files_(files), where_(where) {}
  int64_t read_at(uint32_t offset, void* buffer, size_t size) override {
    if (offset >= where_.size) return 0;
    size = std::min<size_t>(size, where_.size - offset);
    return files_.read_at(where_.path, where_.base + offset, buffer, size);
  }

 private:
  FileAccess& files_;
  const Located& where_;
};

uint8_t silence_byte(const WaveFormat& f) { return f.bits == 8 ? 0x80 : 0x00; }

}  // namespace

bool is_wav_name(const std::string& lower_name) { return lower_name.find(".wav") != std::string::npos; }

std::optional<WavLayout> parse_wav(ByteSource& source, uint32_t size) {
  std::optional<WaveFormat> format;
  uint64_t pos = kRiffHeader;
  for (;;) {
    uint8_t header[8];
    if (pos + 8 > size || !read_exact(source, static_cast<uint32_t>(pos), header, 8)) return std::nullopt;
    pos += 8;
    uint32_t chunk = base::load_u32(header + 4);
    if (std::memcmp(header, "fmt ", 4) == 0) {
      if (chunk > kMaxFormatChunk || pos + chunk > size) return std::nullopt;
      std::vector<uint8_t> body(chunk);
      if (!read_exact(source, static_cast<uint32_t>(pos), body.data(), body.size())) return std::nullopt;
      format = decode_format(body);
      if (!format) return std::nullopt;
    } else if (std::memcmp(header, "data", 4) == 0) {
      if (!format || !acceptable(*format)) return std::nullopt;
      WavLayout layout;
      layout.format = *format;
      layout.data_offset = static_cast<uint32_t>(pos);
      // A chunk that claims more than the file holds plays what is there.
      uint32_t present = std::min<uint64_t>(chunk, size - pos);
      layout.data_size = present - present % format->block_align;
      return layout;
    }
    // Odd-sized chunks are padded to a word.
    pos += chunk + (chunk & 1u);
    if (pos > size) return std::nullopt;
  }
}

void wav_units(const WaveFormat& src, int32_t* src_unit, int32_t* out_unit) {
  if (src.tag == kFormatPcm) {
    *src_unit = *out_unit = 44100 - 44100 % src.block_align;
  } else {
    int32_t unit = 11025 - 11025 % src.block_align;
    if (unit == 0) unit = src.block_align;
    *src_unit = unit;
    *out_unit = 4 * unit;
  }
}

OpenResult wav_open(FileAccess& files, SoundStream& s, bool loop_file) {
  const std::string& name = loop_file ? s.loop_name : s.name;
  if (!is_wav_name(name)) return OpenResult::NotWav;
  auto where = files.locate(name);
  if (!where) return OpenResult::Failed;
  FileSource source(files, *where);
  auto layout = parse_wav(source, where->size);
  if (!layout) return OpenResult::Failed;

  WaveFormat out = layout->format.tag == kFormatPcm ? layout->format
                                                     : pcm16_format(layout->format.channels, layout->format.rate);
  if (loop_file && !same_layout(out, s.out_format)) return OpenResult::Failed;

  std::string& path = loop_file ? s.loop_path : s.path;
  path = where->path;
  s.data_offset = where->base + layout->data_offset;
  s.data_pos = 0;
  s.data_size = static_cast<int32_t>(std::min<uint32_t>(layout->data_size, INT32_MAX));
  s.finished = 0;
  s.src_format = layout->format;
  s.out_format = out;
  wav_units(s.src_format, &s.src_unit, &s.out_unit);
  s.read_failures = 0;
  return OpenResult::Ok;
}

namespace {

// The data ran out: go on with the loop file, start over, or end.
void end_of_data(FileAccess& files, SoundStream& s) {
  s.data_pos = 0;
  if (!s.loop_name.empty() && !s.on_loop_file && s.loop) {
    s.on_loop_file = 1;
    if (wav_open(files, s, true) == OpenResult::Ok) return;
    // A loop file that cannot be played ends the stream after the first file.
    s.failed_file = s.loop_name;
    s.loop = 0;
  }
  // Only when unset: a file shorter than the queue ends again at every
  // refill, and moving the deadline each time would keep it from ever coming.
  if (!s.finished && s.end_time == 0) {
    s.end_time = -1;
    if (!s.loop) s.stop_time = -1;
  }
}

}  // namespace

bool wav_read(FileAccess& files, SoundStream& s, int units, std::vector<uint8_t>& out) {
  if ((s.src_format.tag != kFormatPcm && s.src_format.tag != kFormatAdpcm) || s.stop_time != 0) return false;
  const std::string& path = s.on_loop_file ? s.loop_path : s.path;
  int64_t want = std::min<int64_t>(static_cast<int64_t>(units) * s.src_unit, s.data_size - s.data_pos);
  if (want < 0) want = 0;
  std::vector<uint8_t> raw(static_cast<size_t>(want));
  int64_t got = want > 0 ? files.read_at(path, s.data_offset + s.data_pos, raw.data(), raw.size()) : 0;
  bool failed = got < 0 || (got == 0 && want > 0);
  if (got < 0) got = 0;
  if (s.src_format.tag == kFormatPcm) got -= got % s.src_format.block_align;  // whole frames only
  raw.resize(static_cast<size_t>(got));

  // Silence stands in for what the units would have decoded to.
  const size_t silence = static_cast<size_t>(units) * static_cast<size_t>(s.out_unit);
  if (failed) {
    // The file went away or was cut short: silence, and after a few tries
    // a stream that does not loop is ended.
    out.assign(silence, silence_byte(s.out_format));
    if (++s.read_failures >= kReadFailureLimit && !s.loop && !s.finished) {
      s.end_time = -1;
      s.stop_time = -1;
    }
    return true;
  }
  s.read_failures = 0;

  if (raw.empty()) {
    out.assign(silence, silence_byte(s.out_format));
  } else if (s.src_format.tag == kFormatPcm) {
    out = std::move(raw);
  } else {
    AdpcmLayout layout;
    std::vector<int16_t> samples;
    if (adpcm_layout(s.src_format, &layout) && adpcm_decode(layout, raw, samples) > 0) {
      out.resize(samples.size() * 2);
      for (size_t i = 0; i < samples.size(); ++i) base::store_u16(&out[2 * i], static_cast<uint16_t>(samples[i]));
    } else {
      out.assign(silence, silence_byte(s.out_format));
    }
  }

  s.data_pos += static_cast<int32_t>(got);
  if (s.data_pos >= s.data_size) end_of_data(files, s);
  return true;
}

}  // namespace snd
