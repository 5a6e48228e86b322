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

enum class ArchiveError { None, NotArchive, Truncated, BadIndex };

// Reads the header and index of an open archive. A file that is not an
// archive, or whose index cannot be trusted (entries past the end of the
// file, offsets going backwards, hashes out of order), is refused.
std::optional<ArchiveIndex> read_archive_index(plat::File& file, ArchiveError* error = nullptr);
// The same over bytes in memory (for tools and fuzzing).
std::optional<ArchiveIndex> parse_archive_index(std::span<const uint8_t> bytes, ArchiveError* error = nullptr);

const char* archive_error_text(ArchiveError error);

// Builds an archive from members (name, bytes). Members are stored in hash
// order; two names with the same hash are an error (returned as false with
// the clashing names in *error).
struct ArchiveMember {
  std::string name;  // file name as the engine sees it (Shift-JIS)
  std::vector<uint8_t> data;
};
bool build_archive(std::vector<ArchiveMember> members, std::vector<uint8_t>* out, std::string* error);

}  // namespace res
