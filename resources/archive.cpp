#include "resources/archive.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/bytes.h"
#include "platform/files.h"
#include "resources/name_hash.h"

namespace res {
namespace {

std::optional<ArchiveIndex> fail(ArchiveProblem* problem, ArchiveProblem what) {
  if (problem) *problem = what;
  return std::nullopt;
}

// Checks what lookups rely on: everything inside the file, offsets never
// going backwards, hashes ascending (so binary search finds them).
ArchiveProblem check_index(const ArchiveIndex& index, uint64_t file_size) {
  const auto& e = index.entries;
  ArchiveProblem p;
  p.count = index.count();
  p.file_size = file_size;
  for (size_t i = 0; i < e.size(); ++i) {
    p.entry = i;
    p.offset = e[i].offset;
    if (e[i].offset > file_size) p.error = ArchiveError::MemberBeyondEnd;
    else if (i > 0 && e[i].offset < e[i - 1].offset) p.error = ArchiveError::OffsetsBackwards;
    else if (i > 0 && i + 1 < e.size() && e[i].hash < e[i - 1].hash) p.error = ArchiveError::HashOrder;
    if (p.error != ArchiveError::None) return p;
  }
  return {};
}

void decode_entries(const uint8_t* p, size_t n, std::vector<ArchiveEntry>* out) {
  out->resize(n);
  for (size_t i = 0; i < n; ++i) (*out)[i] = {base::load_u32(p + 8 * i), base::load_u32(p + 8 * i + 4)};
}

// The count from a header; the index it implies must lie inside the file.
std::optional<uint64_t> index_bytes(const ArchiveIndex& index, uint64_t file_size, ArchiveProblem* problem) {
  uint64_t count = base::load_u32(index.header.data() + 16);
  uint64_t bytes = (count + 1) * 8;  // 64-bit: a count near 2^32 cannot wrap
  if (kArchiveHeaderSize + bytes > file_size) {
    if (problem) *problem = {ArchiveError::Truncated, 0, count, file_size, 0};
    return std::nullopt;
  }
  return bytes;
}

std::optional<ArchiveIndex> finish(ArchiveIndex index, uint64_t file_size, ArchiveProblem* problem) {
  ArchiveProblem p = check_index(index, file_size);
  if (problem) *problem = p;
  if (p.error != ArchiveError::None) return std::nullopt;
  return index;
}

}  // namespace

const ArchiveEntry* ArchiveIndex::find(uint32_t hash) const {
  if (entries.size() < 2) return nullptr;
  auto end = entries.end() - 1;  // the closing entry is never compared
  auto it = std::lower_bound(entries.begin(), end, hash,
                             [](const ArchiveEntry& e, uint32_t h) { return e.hash < h; });
  return it != end && it->hash == hash ? &*it : nullptr;
}

std::optional<ArchiveIndex> read_archive_index(plat::File& file, ArchiveProblem* problem) {
  ArchiveIndex index;
  const ArchiveProblem not_archive{ArchiveError::NotArchive};
  if (!file.read_exact(index.header.data(), kArchiveHeaderSize)) return fail(problem, not_archive);
  if (std::memcmp(index.header.data(), kArchiveMagic, 16) != 0) return fail(problem, not_archive);
  int64_t size = file.size();
  uint64_t file_size = size < 0 ? 0 : static_cast<uint64_t>(size);
  auto bytes = index_bytes(index, file_size, problem);
  if (!bytes) return std::nullopt;
  std::vector<uint8_t> raw(*bytes);
  if (!file.read_exact(raw.data(), raw.size())) {
    // The file shrank under us, or a read failed.
    return fail(problem, {ArchiveError::Truncated, 0, index.count(), file_size, 0});
  }
  decode_entries(raw.data(), raw.size() / 8, &index.entries);
  return finish(std::move(index), file_size, problem);
}

std::optional<ArchiveIndex> parse_archive_index(std::span<const uint8_t> bytes, ArchiveProblem* problem) {
  ArchiveIndex index;
  if (bytes.size() < kArchiveHeaderSize || std::memcmp(bytes.data(), kArchiveMagic, 16) != 0)
    return fail(problem, {ArchiveError::NotArchive});
  std::memcpy(index.header.data(), bytes.data(), kArchiveHeaderSize);
  auto n = index_bytes(index, bytes.size(), problem);
  if (!n) return std::nullopt;
  decode_entries(bytes.data() + kArchiveHeaderSize, *n / 8, &index.entries);
  return finish(std::move(index), bytes.size(), problem);
}

std::string ArchiveProblem::text() const {
  char buffer[256];
  const unsigned long long entry_ = entry, count_ = count, size_ = file_size, offset_ = offset;
  switch (error) {
    case ArchiveError::None:
      return "no problem";
    case ArchiveError::NotArchive:
      return "not an archive (shorter than its 28-byte header, or the magic differs)";
    case ArchiveError::Truncated:
      std::snprintf(buffer, sizeof buffer,
                    "truncated: the header counts %llu members, whose index needs %llu bytes after the "
                    "header, but the file has only %llu bytes",
                    count_, (count_ + 1) * 8, size_);
      break;
    case ArchiveError::MemberBeyondEnd:
      if (entry == count)
        std::snprintf(buffer, sizeof buffer,
                      "the last member ends at offset %llu, beyond the end of the file (%llu bytes)", offset_,
                      size_);
      else
        std::snprintf(buffer, sizeof buffer,
                      "member %llu starts at offset %llu, beyond the end of the file (%llu bytes)", entry_,
                      offset_, size_);
      break;
    case ArchiveError::OffsetsBackwards:
      std::snprintf(buffer, sizeof buffer,
                    "index entry %llu: offset %llu lies before the previous entry's (a negative member size)",
                    entry_, offset_);
      break;
    case ArchiveError::HashOrder:
      std::snprintf(buffer, sizeof buffer, "index entry %llu: the name hashes are not in ascending order",
                    entry_);
      break;
  }
  return buffer;
}

std::optional<ArchivePlan> plan_archive(std::vector<ArchivePlanEntry> members, std::string* error) {
  auto set_error = [&](std::string text) {
    if (error) *error = std::move(text);
    return std::nullopt;
  };
  std::stable_sort(members.begin(), members.end(),
                   [](const ArchivePlanEntry& a, const ArchivePlanEntry& b) { return a.hash < b.hash; });
  for (size_t i = 1; i < members.size(); ++i) {
    if (members[i].hash == members[i - 1].hash) {
      char hash[16];
      std::snprintf(hash, sizeof hash, "%08X", members[i].hash);
      return set_error("'" + members[i - 1].label + "' and '" + members[i].label + "' have the same name hash " +
                       hash + " (the engine could find only one of them; names are compared without letter case "
                       "and without their folder)");
    }
  }
  const uint64_t head_size = kArchiveHeaderSize + 8ull * (members.size() + 1);
  uint64_t total = head_size;
  for (const auto& m : members) {
    total += m.size;
    if (total > kArchiveMaxSize)
      return set_error("the archive would exceed " + std::to_string(kArchiveMaxSize) +
                       " bytes, the most its 32-bit offsets can reach");
  }
  ArchivePlan plan;
  plan.total_size = total;
  plan.head.resize(head_size);
  uint8_t* out = plan.head.data();
  std::memcpy(out, kArchiveMagic, 16);
  base::store_u32(out + 16, static_cast<uint32_t>(members.size()));
  // Not read by the engine: the index size, and a reserved zero.
  base::store_u32(out + 20, static_cast<uint32_t>(8 * (members.size() + 1)));
  base::store_u32(out + 24, 0);
  uint8_t* entry = out + kArchiveHeaderSize;
  uint64_t offset = head_size;
  for (auto& m : members) {
    m.offset = static_cast<uint32_t>(offset);
    base::store_u32(entry, m.hash);
    base::store_u32(entry + 4, m.offset);
    entry += 8;
    offset += m.size;
  }
  base::store_u32(entry, 0);
  base::store_u32(entry + 4, static_cast<uint32_t>(offset));
  plan.members = std::move(members);
  return plan;
}

bool build_archive(std::vector<ArchiveMember> members, std::vector<uint8_t>* out, std::string* error) {
  std::vector<ArchivePlanEntry> entries;
  entries.reserve(members.size());
  for (size_t i = 0; i < members.size(); ++i)
    entries.push_back({name_hash(members[i].name), members[i].data.size(), members[i].name, i});
  auto plan = plan_archive(std::move(entries), error);
  if (!plan) return false;
  *out = std::move(plan->head);
  out->reserve(plan->total_size);
  for (const auto& m : plan->members) out->insert(out->end(), members[m.source].data.begin(), members[m.source].data.end());
  return true;
}

}  // namespace res
