// The byte layouts of saved games (".sav") and of the system data
// ("quorel_system.mss"), their readers and writers. Little-endian, 32-bit
// fields, written field by field.
//
// Saved game:
//   0      912  head: magic, title, counts, music, console flag
//   912  40000  the backlog buffer
//   40912  w·h·3 thumbnail, rows top to bottom, blue-green-red
//   then (D+1)·168 frame records, bottom frame first
//   then 16·G, 16·T, 16·L value records: globals, thread variables, stack
//   then B     object blob (strings and arrays, each written once)
//   then       optional resume trailer (resume_points.h); a reader of the
//              layout above never looks at it
//
// System data: 40,024-byte header (magic, N, B, seen table of 10,000
// hashes), N value records, the blob.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "script/value.h"

namespace rt { struct Engine; }

namespace persist {

inline constexpr char kSaveMagic[16] = "QuorelSavV1.102";
inline constexpr char kSystemMagic[16] = "QuorelSysV1.100";

inline constexpr size_t kHeadSize = 912;
inline constexpr size_t kBacklogSize = 40000;
inline constexpr size_t kSaveHeaderSize = kHeadSize + kBacklogSize;  // 40,912
inline constexpr size_t kFrameRecordSize = 168;
inline constexpr size_t kValueRecordSize = 16;
inline constexpr size_t kSeenEntries = 10000;
inline constexpr size_t kSystemHeaderSize = 24 + 4 * kSeenEntries;  // 40,024
// Files beyond this are not games anybody saved: refused before reading.
inline constexpr int64_t kMaxFileSize = 256 << 20;
inline constexpr int kMaxDepth = 255;  // frames 0..255

// Offsets of the head's fields.
namespace field {
inline constexpr size_t kTitle = 16;           // 128 bytes, byte 143 always 0
inline constexpr size_t kDepth = 144;
inline constexpr size_t kThumbWidth = 148;
inline constexpr size_t kThumbHeight = 152;
inline constexpr size_t kGlobals = 156;
inline constexpr size_t kThreadVars = 160;
inline constexpr size_t kLocals = 164;
inline constexpr size_t kBlobSize = 168;
inline constexpr size_t kMusic = 172;          // 256 bytes
inline constexpr size_t kMusicLoopName = 428;  // 256 bytes
inline constexpr size_t kMusicLevel = 684;
inline constexpr size_t kMusicLoop = 692;
inline constexpr size_t kVoiceLevel = 700;
inline constexpr size_t kSoundLevels = 804;    // four words
inline constexpr size_t kConsoleShown = 908;
}  // namespace field

using Head = std::array<uint8_t, kHeadSize>;
using Record = std::array<uint8_t, kValueRecordSize>;

uint32_t head_u32(const Head& h, size_t at);
void set_head_u32(Head& h, size_t at, uint32_t v);
std::string head_string(const Head& h, size_t at, size_t size);
// Copies up to size-1 bytes and clears the rest of the field.
void set_head_string(Head& h, size_t at, size_t size, std::string_view s);

// One call frame of the main thread; code positions as offsets from the
// start of the script's code.
struct FrameRecord {
  std::string script;  // "START.MJO"; empty for a frame without code
  uint32_t pc = 0;
  int32_t base = 0, stack_top = 0, discard = 0, line = 0;
  uint32_t targets[5] = {};  // left, right, middle click, escape, exit handler
};

// A saved game's parts, as they lie in the file.
struct SaveFile {
  Head head{};
  std::vector<uint8_t> backlog;  // 40,000 bytes
  int32_t thumb_width = 0, thumb_height = 0;
  std::vector<uint8_t> thumbnail;
  std::vector<FrameRecord> frames;
  std::vector<Record> globals, thread_vars, locals;
  std::vector<uint8_t> blob;
  std::vector<uint8_t> tail;  // bytes after the blob (the resume trailer)
};

enum class ReadError { None, Short, BadMagic, BadCounts, BadValues, BadTrailer };
const char* describe(ReadError e);

// Parses the layout; every count is checked against the bytes there are.
std::optional<SaveFile> parse_save(std::span<const uint8_t> bytes, ReadError* error = nullptr);
// Title of a file's head, when its magic is right.
std::optional<std::string> save_title_of(std::span<const uint8_t> bytes);

// --- Values and the blob ------------------------------------------------------------

// Lays out the blob for tables of values, in table order, each block once.
// `records` receives one record per value: key, kind, third word (scope,
// or the block's blob offset), payload (numbers; 0 for blocks).
struct BlobWriter {
  std::vector<uint8_t> blob;
  std::unordered_map<const void*, uint32_t> placed;

  void add_table(std::span<const rt::Value> values, std::vector<Record>& records);

 private:
  uint32_t place_string(const rt::StringBlock* s);
  uint32_t place_array(uint8_t kind, rt::ArrayBlock* a);
};

// Rebuilds values from records and a blob; a block stored once is made once
// and shared by every value that names it. Refuses offsets outside the
// blob, kinds that do not exist and blocks read as two different kinds.
class BlobReader {
 public:
  BlobReader(rt::Engine& e, std::span<const uint8_t> blob) : e_(e), blob_(blob) {}
  ~BlobReader();
  BlobReader(const BlobReader&) = delete;
  BlobReader& operator=(const BlobReader&) = delete;

  // Values of one table with the given scope; nullopt on a bad record (the
  // values made so far are released).
  std::optional<std::vector<rt::Value>> read_table(std::span<const Record> records, uint8_t scope);

 private:
  bool value_of(const Record& r, uint8_t scope, rt::Value& out);
  rt::StringBlock* string_at(uint32_t offset);
  rt::ArrayBlock* array_at(uint32_t offset, uint8_t kind);
  // Blocks may not overlap: a file whose values all name overlapping
  // stretches of one large blob would otherwise make copies without end.
  bool claim(uint32_t offset, uint64_t size);

  struct Made {
    uint8_t kind;  // kString or an array kind
    void* block;
  };
  rt::Engine& e_;
  std::span<const uint8_t> blob_;
  std::unordered_map<uint32_t, Made> made_;  // each holds one reference of its own
  std::map<uint32_t, uint64_t> claimed_;     // start -> end of every block made
};

void release_values(std::vector<rt::Value>& values);

// --- Saved game writing --------------------------------------------------------------

struct SaveContents {
  Head head{};
  std::span<const uint8_t> backlog;  // 40,000 bytes
  int32_t thumb_width = 0, thumb_height = 0;
  std::span<const uint8_t> thumbnail;
  std::span<const FrameRecord> frames;
  std::span<const rt::Value> globals, thread_vars, locals;
  std::span<const uint8_t> tail;
};
// The whole file; the head's counts are filled in here.
std::vector<uint8_t> write_save(const SaveContents& c);

// --- System data ---------------------------------------------------------------------

struct SystemFile {
  std::array<uint32_t, kSeenEntries> seen{};
  std::vector<Record> records;
  std::vector<uint8_t> blob;
};
std::optional<SystemFile> parse_system(std::span<const uint8_t> bytes, ReadError* error = nullptr);
std::vector<uint8_t> write_system(const std::array<uint32_t, kSeenEntries>& seen,
                                  std::span<const rt::Value> persistent);

}  // namespace persist
