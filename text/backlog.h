// The backlog: everything the console showed, text and commands, in one
// 40,000-byte buffer that scripts page through and replay.
//
// The buffer is right-aligned: the newest entry ends at byte 40,000 and
// older ones lie before it; a new entry pushes the oldest bytes out at the
// front. An entry is its bytes, a NUL and a little-endian u16 with the
// entry's total length. A command entry's bytes are "\" and the command
// record. A position names the boundary between two entries: the entry
// that starts there and the one that ends there.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace txt {

inline constexpr int kBacklogBytes = 40000;

class Backlog {
 public:
  struct Entry {
    int start = 0;             // position of the entry
    int end = 0;               // position after it
    std::string_view bytes;    // without the NUL ("\" + record for commands)
    bool command() const { return !bytes.empty() && bytes[0] == '\\'; }
    char letter() const { return command() && bytes.size() > 1 ? bytes[1] : 0; }
    std::string_view record() const { return command() ? bytes.substr(1) : std::string_view(); }
  };

  // Appends an entry. Bytes beyond what the buffer can hold are cut at a
  // character boundary. Nothing is recorded for an empty text.
  void record_text(std::string_view text);
  void record_command(std::string_view record);

  // The entry that starts at `pos`, when a whole one does.
  std::optional<Entry> entry_at(int pos) const;
  // A page boundary: a "\w" entry starts at `pos`; in fine steps also a
  // "\n" entry that directly follows a "\p" entry.
  bool boundary(int pos, bool fine) const;

  // Navigation (-1 = the end).
  int previous(int pos, bool fine) const;
  int next(int pos, bool fine) const;
  // Steps back from the last page start until nothing changes; the count
  // includes the final call that did not move.
  int count(bool fine) const;
  // The position `n` steps back from the end (n <= 1: the last).
  int position_back(int n, bool fine) const;

  // Drops entries from the end until the last one is "\p" (or none is left).
  void trim_to_last_pause();
  void clear() { bytes_.fill(0); }

  // The raw buffer (saved games keep it).
  const std::array<uint8_t, kBacklogBytes>& bytes() const { return bytes_; }
  std::array<uint8_t, kBacklogBytes>& bytes() { return bytes_; }

 private:
  void append(std::string_view bytes);
  // The entry that ends at `pos`, when its length field is sane.
  std::optional<Entry> entry_before(int pos) const;

  std::array<uint8_t, kBacklogBytes> bytes_{};
};

}  // namespace txt
