// Archives (".arc"): a flat concatenation of member files behind an index
// of name hashes sorted ascending. Members are found by binary search over
// the hashes; a member's size is the distance to the next entry's offset.
//
//   0   16  magic "QuorelArcV1.000\0"
//   16   4  count of members
//   20   4  (unused by the engine; the writer stores the index size)
//   24   4  (unused by the engine; the writer stores 0)
//   28  8·(count+1)  index {u32 hash, u32 offset}, closing entry last
//   ...     member data
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace plat { class File; }

namespace res {

inline constexpr char kArchiveMagic[16] = "QuorelArcV1.000";
inline constexpr size_t kArchiveHeaderSize = 28;

struct ArchiveEntry {
  uint32_t hash;
  uint32_t offset;
};

struct ArchiveIndex {
  std::array<uint8_t, kArchiveHeaderSize> header{};
  std::vector<ArchiveEntry> entries;  // count + 1, the closing entry last

  uint32_t count() const { return entries.empty() ? 0 : static_cast<uint32_t>(entries.size() - 1); }
  // The member with this hash, or nullptr.
  const ArchiveEntry* find(uint32_t hash) const;
  uint32_t member_size(const ArchiveEntry& entry) const { return (&entry + 1)->offset - entry.offset; }
};

enum class ArchiveError {
  None,
  NotArchive,        // shorter than the header, or the magic differs
  Truncated,         // the index (count + 1 entries) reaches past the end of the file
  MemberBeyondEnd,   // member data past the end of the file
  OffsetsBackwards,  // an offset below the one before it: a negative member size
  HashOrder,         // hashes not ascending: binary search would miss members
};

// Why an index was refused, with the entry at fault.
struct ArchiveProblem {
  ArchiveError error = ArchiveError::None;
  uint64_t entry = 0;      // index entry the problem was found at
  uint64_t count = 0;      // member count from the header
  uint64_t file_size = 0;
  uint64_t offset = 0;     // the offending offset
  std::string text() const;
};

// Reads the header and index of an open archive. A file that is not an
// archive, or whose index cannot be trusted (entries past the end of the
// file, offsets going backwards, hashes out of order), is refused.
std::optional<ArchiveIndex> read_archive_index(plat::File& file, ArchiveProblem* problem = nullptr);
// The same over the bytes of a whole archive in memory.
std::optional<ArchiveIndex> parse_archive_index(std::span<const uint8_t> bytes, ArchiveProblem* problem = nullptr);

// Largest archive: offsets are 32-bit, and readers seek with a signed 32-bit offset.
inline constexpr uint64_t kArchiveMaxSize = 0x7FFFFFFF;

// The layout of an archive to write. Members are stored in hash order, so
// the same set of files always gives the same archive.
struct ArchivePlanEntry {
  uint32_t hash = 0;
  uint64_t size = 0;
  std::string label;   // how error messages name the member
  size_t source = 0;   // the caller's number for the member
  uint32_t offset = 0; // filled in by plan_archive
};
struct ArchivePlan {
  std::vector<uint8_t> head;               // header and index, written first
  std::vector<ArchivePlanEntry> members;   // in storage order
  uint64_t total_size = 0;
};
// Fails (with a message in *error) when two members share a hash or the
// archive would exceed kArchiveMaxSize.
std::optional<ArchivePlan> plan_archive(std::vector<ArchivePlanEntry> members, std::string* error);

// Builds an archive in memory from members (name, bytes).
struct ArchiveMember {
  std::string name;  // file name as the engine sees it (Shift-JIS)
  std::vector<uint8_t> data;
};
bool build_archive(std::vector<ArchiveMember> members, std::vector<uint8_t>* out, std::string* error);

}  // namespace res
