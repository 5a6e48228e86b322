#include "resources/archive.h"

#include <algorithm>
#include <cstring>

#include "platform/files.h"
#include "resources/name_hash.h"
#include "runtime/bytes.h"

namespace res {
namespace {

std::optional<ArchiveIndex> fail(ArchiveError* error, ArchiveError what) {
  if (error) *error = what;
  return std::nullopt;
}

// Checks what lookups rely on: hashes ascending (so binary search finds
// them), offsets never going backwards, everything inside the file.
bool index_is_sound(const ArchiveIndex& index, uint64_t file_size) {
  const auto& e = index.entries;
  for (size_t i = 0; i + 1 < e.size(); ++i) {
    if (e[i + 1].offset < e[i].offset) return false;                 // a negative member size
    if (i + 2 < e.size() && e[i + 1].hash < e[i].hash) return false;  // binary search needs order
  }
  return e.back().offset <= file_size;
}

void decode_entries(const uint8_t* p, size_t n, std::vector<ArchiveEntry>* out) {
  out->resize(n);
  for (size_t i = 0; i < n; ++i) (*out)[i] = {rt::load_u32(p + 8 * i), rt::load_u32(p + 8 * i + 4)};
}

}  // namespace

const ArchiveEntry* ArchiveIndex::find(uint32_t hash) const {
  if (entries.size() < 2) return nullptr;
  auto end = entries.end() - 1;  // the closing entry is never compared
  auto it = std::lower_bound(entries.begin(), end, hash,
                             [](const ArchiveEntry& e, uint32_t h) { return e.hash < h; });
  return it != end && it->hash == hash ? &*it : nullptr;
}

std::optional<ArchiveIndex> read_archive_index(plat::File& file, ArchiveError* error) {
  ArchiveIndex index;
  if (!file.read_exact(index.header.data(), kArchiveHeaderSize)) return fail(error, ArchiveError::NotArchive);
  if (std::memcmp(index.header.data(), kArchiveMagic, 16) != 0) return fail(error, ArchiveError::NotArchive);
  uint64_t count = rt::load_u32(index.header.data() + 16);
  int64_t file_size = file.size();
  uint64_t index_bytes = (count + 1) * 8;
  if (file_size < 0 || kArchiveHeaderSize + index_bytes > static_cast<uint64_t>(file_size))
    return fail(error, ArchiveError::Truncated);
  std::vector<uint8_t> raw(index_bytes);
  if (!file.read_exact(raw.data(), raw.size())) return fail(error, ArchiveError::Truncated);
  decode_entries(raw.data(), count + 1, &index.entries);
  if (!index_is_sound(index, static_cast<uint64_t>(file_size))) return fail(error, ArchiveError::BadIndex);
  if (error) *error = ArchiveError::None;
  return index;
}

std::optional<ArchiveIndex> parse_archive_index(std::span<const uint8_t> bytes, ArchiveError* error) {
  ArchiveIndex index;
  if (bytes.size() < kArchiveHeaderSize || std::memcmp(bytes.data(), kArchiveMagic, 16) != 0)
    return fail(error, ArchiveError::NotArchive);
  std::memcpy(index.header.data(), bytes.data(), kArchiveHeaderSize);
  uint64_t count = rt::load_u32(bytes.data() + 16);
  uint64_t index_bytes = (count + 1) * 8;
  if (kArchiveHeaderSize + index_bytes > bytes.size()) return fail(error, ArchiveError::Truncated);
  decode_entries(bytes.data() + kArchiveHeaderSize, count + 1, &index.entries);
  if (!index_is_sound(index, bytes.size())) return fail(error, ArchiveError::BadIndex);
  if (error) *error = ArchiveError::None;
  return index;
}

const char* archive_error_text(ArchiveError error) {
  switch (error) {
    case ArchiveError::None: return "no error";
    case ArchiveError::NotArchive: return "not an archive (bad magic or shorter than the header)";
    case ArchiveError::Truncated: return "the index reaches past the end of the file";
    case ArchiveError::BadIndex: return "the index is damaged (offsets outside the file or out of order)";
  }
  return "unknown error";
}

bool build_archive(std::vector<ArchiveMember> members, std::vector<uint8_t>* out, std::string* error) {
  struct Item {
    uint32_t hash;
    size_t member;
  };
  std::vector<Item> order;
  order.reserve(members.size());
  for (size_t i = 0; i < members.size(); ++i) order.push_back({name_hash(members[i].name), i});
  std::sort(order.begin(), order.end(), [&](const Item& a, const Item& b) {
    return a.hash != b.hash ? a.hash < b.hash : members[a.member].name < members[b.member].name;
  });
  for (size_t i = 1; i < order.size(); ++i) {
    if (order[i].hash == order[i - 1].hash) {
      if (error)
        *error = "'" + members[order[i - 1].member].name + "' and '" + members[order[i].member].name +
                 "' have the same name hash";
      return false;
    }
  }
  uint64_t offset = kArchiveHeaderSize + 8ull * (members.size() + 1);
  uint64_t total = offset;
  for (const auto& m : members) total += m.data.size();
  if (total > 0x7FFFFFFFull) {
    if (error) *error = "the archive would exceed 2 GiB";
    return false;
  }
  out->clear();
  out->reserve(total);
  out->resize(offset);
  std::memcpy(out->data(), kArchiveMagic, 16);
  rt::store_u32(out->data() + 16, static_cast<uint32_t>(members.size()));
  rt::store_u32(out->data() + 20, static_cast<uint32_t>(8 * (members.size() + 1)));
  rt::store_u32(out->data() + 24, 0);
  uint8_t* entry = out->data() + kArchiveHeaderSize;
  for (const Item& item : order) {
    rt::store_u32(entry, item.hash);
    rt::store_u32(entry + 4, static_cast<uint32_t>(offset));
    entry += 8;
    offset += members[item.member].data.size();
  }
  rt::store_u32(entry, 0);
  rt::store_u32(entry + 4, static_cast<uint32_t>(offset));
  for (const Item& item : order) {
    const auto& data = members[item.member].data;
    out->insert(out->end(), data.begin(), data.end());
  }
  return true;
}

}  // namespace res
