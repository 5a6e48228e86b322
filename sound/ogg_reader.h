// Ogg Vorbis streams decoded at the page, packet and synthesis level, fed
// 4096 bytes at a time by reads that reopen the file. A reader may loop,
// and may switch once to a second file that then loops.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sound/sound_files.h"

namespace snd {

class OggReader {
 public:
  ~OggReader();
  OggReader(const OggReader&) = delete;
  OggReader& operator=(const OggReader&) = delete;

  // Opens `name` and reads the three Vorbis headers; null when the file is
  // missing or is not a Vorbis stream that a buffer can play.
  static std::unique_ptr<OggReader> open(FileAccess& files, std::string name, std::string loop_name, bool loop);

  int channels() const { return channels_; }
  int rate() const { return rate_; }
  // 16-bit interleaved PCM.
  int block_align() const { return 2 * channels_; }

  // Decodes about `n` bytes (at least n unless the data ends, at most 4n)
  // into `out`. A read or stream error gives n bytes of silence for this
  // request; the next one carries on.
  void read(size_t n, std::vector<uint8_t>& out);
  bool at_end() const { return at_end_; }
  bool looping() const { return loop_; }
  bool on_loop_file() const { return current_ == 1; }
  const std::string& path() const { return path_; }
  // A loop file that could not be played (reported once, then cleared).
  std::string take_failed_file();

 private:
  struct Decoder;
  OggReader(FileAccess& files);

  enum class Chunk { Data, End, Error };
  Chunk read_chunk();
  bool init_decoder();
  void teardown();
  bool locate_current();
  // End of the data while decoding; false when decoding must stop.
  bool restart_after_end();
  void take_pcm(size_t limit, std::vector<uint8_t>& out);

  FileAccess& files_;
  std::unique_ptr<Decoder> d_;
  std::string name_, loop_name_;
  std::string path_;
  int current_ = 0;          // 0 = name, 1 = loop name
  std::vector<uint8_t> leftover_;
  int64_t base_ = 0;
  uint32_t consumed_ = 0;
  uint32_t size_ = 0;
  bool at_end_ = false;
  bool ready_ = false;
  bool loop_ = false;
  bool eos_page_ = false;    // the end-of-stream page has been fed
  int channels_ = 0;
  int rate_ = 0;
  int failures_ = 0;         // requests in a row that hit a read error
  std::string failed_file_;
};

// True when the name is played by this reader (it contains ".ogg").
bool is_ogg_name(const std::string& lower_name);

}  // namespace snd
