// Read marks and play modes: which source lines of each script the player
// has seen (kept across runs in "savedata\quorel_readmark.mss"), and the
// skip and auto switches that decide whether waits and text are skipped.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

struct Engine;
struct Thread;
struct LoadedScript;

struct ReadMarkRecord {
  std::string name;        // the script's normalised name
  uint32_t line_count = 0;
  std::vector<uint8_t> bitmap;  // byte count = ceil(lines / 8) + 16

  static uint32_t byte_count(uint32_t lines) { return (lines + 7) / 8 + 16; }
};

struct PlayModes {
  bool skip_all = false;
  bool read_skip = false;
  bool auto_mode = false;
  bool auto_skip = false;      // auto mode may count as skipping
  bool already_read = false;   // the last line of thread 0 had been read before
};

struct ReadMarks {
  std::vector<std::unique_ptr<ReadMarkRecord>> records;  // newest first
  bool loaded = false;
};

inline constexpr size_t kReadMarkHeaderSize = 148;  // name, two counts, three pointers

void readmarks_load(Engine& e);
void readmarks_save(Engine& e);
// Parses the file's records; a truncated record at the end is dropped.
std::vector<std::unique_ptr<ReadMarkRecord>> parse_read_marks(std::span<const uint8_t> bytes);
std::vector<uint8_t> write_read_marks(const std::vector<std::unique_ptr<ReadMarkRecord>>& records);

// The loader attaches a record to every (re)loaded script.
ReadMarkRecord* readmarks_attach(Engine& e, const std::string& name, uint32_t line_count);
// The line opcode: thread 0 marks the line and learns whether it was read.
void mark_line(Engine& e, Thread& t, uint32_t line);

// The skip decision that waits, text and frame pacing ask for.
bool is_skipping(Engine& e);
// Play-mode changes 0-5 (reset, skip as configured, read-skip, auto, skip all, menu skip).
void set_play_mode_number(Engine& e, int mode);

}  // namespace rt
