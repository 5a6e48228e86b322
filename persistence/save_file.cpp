#include "persistence/save_file.h"

#include <algorithm>
#include <cstring>

#include "base/bytes.h"

namespace persist {

uint32_t head_u32(const Head& h, size_t at) { return base::load_u32(h.data() + at); }
void set_head_u32(Head& h, size_t at, uint32_t v) { base::store_u32(h.data() + at, v); }

std::string head_string(const Head& h, size_t at, size_t size) {
  const char* p = reinterpret_cast<const char*>(h.data() + at);
  return std::string(p, strnlen(p, size));
}

void set_head_string(Head& h, size_t at, size_t size, std::string_view s) {
  std::memset(h.data() + at, 0, size);
  std::memcpy(h.data() + at, s.data(), std::min(s.size(), size - 1));
}

const char* describe(ReadError e) {
  switch (e) {
    case ReadError::None: return "no error";
    case ReadError::Short: return "the file ends early";
    case ReadError::BadMagic: return "not a saved game of this engine";
    case ReadError::BadCounts: return "its counts do not fit the file";
    case ReadError::BadValues: return "a variable's value is damaged";
    case ReadError::BadTrailer: return "its resume record is damaged";
  }
  return "damaged";
}

namespace {

// A cursor over the file that never reads past its end.
struct Reader {
  std::span<const uint8_t> bytes;
  size_t at = 0;

  size_t left() const { return bytes.size() - at; }
  bool has(uint64_t n) const { return n <= left(); }
  uint32_t u32() {
    uint32_t v = base::load_u32(bytes.data() + at);
    at += 4;
    return v;
  }
  std::span<const uint8_t> take(size_t n) {
    auto s = bytes.subspan(at, n);
    at += n;
    return s;
  }
};

bool read_records(Reader& r, uint32_t count, std::vector<Record>& out) {
  if (!r.has(static_cast<uint64_t>(count) * kValueRecordSize)) return false;
  out.resize(count);
  for (Record& rec : out) std::memcpy(rec.data(), r.take(kValueRecordSize).data(), kValueRecordSize);
  return true;
}

void append(std::vector<uint8_t>& out, const void* p, size_t n) {
  const auto* b = static_cast<const uint8_t*>(p);
  out.insert(out.end(), b, b + n);
}
void append_u32(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t b[4];
  base::store_u32(b, v);
  append(out, b, 4);
}

}  // namespace

std::optional<SaveFile> parse_save(std::span<const uint8_t> bytes, ReadError* error) {
  auto fail = [&](ReadError e) -> std::optional<SaveFile> {
    if (error) *error = e;
    return std::nullopt;
  };
  if (error) *error = ReadError::None;
  if (bytes.size() >= 16 && std::memcmp(bytes.data(), kSaveMagic, 16) != 0) return fail(ReadError::BadMagic);
  if (bytes.size() < kSaveHeaderSize) return fail(ReadError::Short);
  if (static_cast<int64_t>(bytes.size()) > kMaxFileSize) return fail(ReadError::BadCounts);
  Reader r{bytes};
  SaveFile f;
  std::memcpy(f.head.data(), r.take(kHeadSize).data(), kHeadSize);
  auto backlog = r.take(kBacklogSize);
  f.backlog.assign(backlog.begin(), backlog.end());

  const int32_t depth = static_cast<int32_t>(head_u32(f.head, field::kDepth));
  const int32_t w = static_cast<int32_t>(head_u32(f.head, field::kThumbWidth));
  const int32_t h = static_cast<int32_t>(head_u32(f.head, field::kThumbHeight));
  if (depth < 0 || depth > kMaxDepth) return fail(ReadError::BadCounts);
  if (w < 0 || h < 0 || w > 4096 || h > 4096) return fail(ReadError::BadCounts);
  if (w > 0) {
    const uint64_t size = static_cast<uint64_t>(w) * static_cast<uint64_t>(h) * 3;
    if (!r.has(size)) return fail(ReadError::Short);
    f.thumb_width = w;
    f.thumb_height = h;
    auto t = r.take(size);
    f.thumbnail.assign(t.begin(), t.end());
  }
  if (!r.has(static_cast<uint64_t>(depth + 1) * kFrameRecordSize)) return fail(ReadError::Short);
  f.frames.resize(static_cast<size_t>(depth) + 1);
  for (FrameRecord& fr : f.frames) {
    auto rec = r.take(kFrameRecordSize);
    const char* name = reinterpret_cast<const char*>(rec.data());
    fr.script.assign(name, strnlen(name, 128));
    fr.pc = base::load_u32(rec.data() + 128);
    fr.base = base::load_i32(rec.data() + 132);
    fr.stack_top = base::load_i32(rec.data() + 136);
    fr.discard = base::load_i32(rec.data() + 140);
    fr.line = base::load_i32(rec.data() + 144);
    for (int k = 0; k < 5; ++k) fr.targets[k] = base::load_u32(rec.data() + 148 + 4 * k);
  }
  if (!read_records(r, head_u32(f.head, field::kGlobals), f.globals) ||
      !read_records(r, head_u32(f.head, field::kThreadVars), f.thread_vars) ||
      !read_records(r, head_u32(f.head, field::kLocals), f.locals))
    return fail(ReadError::Short);
  const uint32_t blob = head_u32(f.head, field::kBlobSize);
  if (!r.has(blob)) return fail(ReadError::Short);
  auto b = r.take(blob);
  f.blob.assign(b.begin(), b.end());
  auto tail = r.take(r.left());
  f.tail.assign(tail.begin(), tail.end());
  return f;
}

std::optional<std::string> save_title_of(std::span<const uint8_t> bytes) {
  if (bytes.size() < kHeadSize || std::memcmp(bytes.data(), kSaveMagic, 16) != 0) return std::nullopt;
  const char* p = reinterpret_cast<const char*>(bytes.data() + field::kTitle);
  return std::string(p, strnlen(p, 128));
}

// --- Blob writing ---------------------------------------------------------------------

uint32_t BlobWriter::place_string(const rt::StringBlock* s) {
  if (s) {
    auto it = placed.find(s);
    if (it != placed.end()) return it->second;
  }
  const uint32_t at = static_cast<uint32_t>(blob.size());
  if (s) placed.emplace(s, at);
  const int32_t size = s ? s->size : 1;
  append_u32(blob, static_cast<uint32_t>(s ? s->refs : 1));
  append_u32(blob, at);
  append_u32(blob, static_cast<uint32_t>(size));
  if (s) append(blob, s->text(), static_cast<size_t>(size - 1));
  blob.push_back(0);
  return at;
}

uint32_t BlobWriter::place_array(uint8_t kind, rt::ArrayBlock* a) {
  if (a) {
    auto it = placed.find(a);
    if (it != placed.end()) return it->second;
  }
  const uint32_t at = static_cast<uint32_t>(blob.size());
  if (a) placed.emplace(a, at);
  const int64_t n = a ? a->count() : 0;
  append_u32(blob, static_cast<uint32_t>(a ? a->refs : 1));
  append_u32(blob, at);
  append_u32(blob, static_cast<uint32_t>(a ? a->outer : 0));
  append_u32(blob, static_cast<uint32_t>(a ? a->middle : 0));
  append_u32(blob, static_cast<uint32_t>(a ? a->inner : 0));
  if (kind != rt::kStringArray) {
    if (n > 0) append(blob, a->ints(), static_cast<size_t>(n) * 4);
    append_u32(blob, 0);  // the block's last word
    return at;
  }
  append_u32(blob, 0);  // the first element's pointer: no meaning in a file
  const size_t table = blob.size();
  blob.resize(blob.size() + static_cast<size_t>(n) * 4);
  for (int64_t k = 0; k < n; ++k) {
    const rt::StringBlock* s = a->strings()[k];
    const uint32_t offset = s ? place_string(s) : 0xFFFFFFFFu;
    base::store_u32(blob.data() + table + 4 * k, offset);
  }
  return at;
}

void BlobWriter::add_table(std::span<const rt::Value> values, std::vector<Record>& records) {
  for (const rt::Value& v : values) {
    Record rec{};
    base::store_u32(rec.data(), v.key);
    base::store_u32(rec.data() + 4, v.kind);
    if (v.kind == rt::kString) {
      base::store_u32(rec.data() + 8, place_string(v.s));
    } else if (rt::is_array_kind(v.kind)) {
      base::store_u32(rec.data() + 8, place_array(v.kind, v.a));
    } else {
      base::store_u32(rec.data() + 8, v.scope);
      base::store_u32(rec.data() + 12, static_cast<uint32_t>(v.i));
    }
    records.push_back(rec);
  }
}

// --- Blob reading ---------------------------------------------------------------------

BlobReader::~BlobReader() {
  for (auto& [offset, m] : made_) {
    if (m.kind == rt::kString) rt::release_string(static_cast<rt::StringBlock*>(m.block));
    else rt::release_array(static_cast<rt::ArrayBlock*>(m.block));
  }
}

bool BlobReader::claim(uint32_t offset, uint64_t size) {
  const uint64_t end = static_cast<uint64_t>(offset) + size;
  auto next = claimed_.lower_bound(offset);
  if (next != claimed_.end() && next->first < end) return false;
  if (next != claimed_.begin() && std::prev(next)->second > offset) return false;
  claimed_.emplace(offset, end);
  return true;
}

rt::StringBlock* BlobReader::string_at(uint32_t offset) {
  auto it = made_.find(offset);
  if (it != made_.end()) {
    if (it->second.kind != rt::kString) return nullptr;
    auto* s = static_cast<rt::StringBlock*>(it->second.block);
    ++s->refs;
    return s;
  }
  if (static_cast<uint64_t>(offset) + 12 > blob_.size()) return nullptr;
  const int32_t size = base::load_i32(blob_.data() + offset + 8);
  if (size < 1 || static_cast<uint64_t>(offset) + 12 + static_cast<uint64_t>(size) > blob_.size()) return nullptr;
  if (!claim(offset, 12 + static_cast<uint64_t>(size))) return nullptr;
  const char* text = reinterpret_cast<const char*>(blob_.data() + offset + 12);
  rt::StringBlock* s = rt::new_string(std::string_view(text, static_cast<size_t>(size - 1)));
  made_.emplace(offset, Made{rt::kString, s});
  ++s->refs;  // one for the value, one kept here
  return s;
}

rt::ArrayBlock* BlobReader::array_at(uint32_t offset, uint8_t kind) {
  auto it = made_.find(offset);
  if (it != made_.end()) {
    if (it->second.kind != kind) return nullptr;
    auto* a = static_cast<rt::ArrayBlock*>(it->second.block);
    ++a->refs;
    return a;
  }
  if (static_cast<uint64_t>(offset) + 24 > blob_.size()) return nullptr;
  const uint8_t* p = blob_.data() + offset;
  const int32_t outer = base::load_i32(p + 8), middle = base::load_i32(p + 12), inner = base::load_i32(p + 16);
  // The element count, a factor at a time against the bytes that are there.
  const uint64_t room = (blob_.size() - offset - 24) / 4;
  uint64_t n = 0;
  if (outer > 0 && middle > 0 && inner > 0) {
    n = static_cast<uint64_t>(outer);
    if (n > room) return nullptr;
    n *= static_cast<uint64_t>(middle);
    if (n > room) return nullptr;
    n *= static_cast<uint64_t>(inner);
    if (n > room) return nullptr;
  }
  if (!claim(offset, 24 + 4 * n)) return nullptr;
  rt::ArrayBlock* a = rt::new_array(e_, kind, outer, middle, inner);
  made_.emplace(offset, Made{kind, a});
  if (kind != rt::kStringArray) {
    if (n > 0) std::memcpy(a->ints(), p + 20, static_cast<size_t>(n) * 4);
  } else {
    for (uint64_t k = 0; k < n; ++k) {
      const uint32_t at = base::load_u32(p + 24 + 4 * k);
      if (at == 0xFFFFFFFFu) continue;  // none: stays an empty string
      rt::StringBlock* s = string_at(at);
      if (!s) return nullptr;  // the array stays in made_ and goes with the reader
      rt::release_string(a->strings()[k]);
      a->strings()[k] = s;
    }
  }
  ++a->refs;
  return a;
}

bool BlobReader::value_of(const Record& r, uint8_t scope, rt::Value& out) {
  out = rt::Value{};
  out.key = base::load_u32(r.data());
  out.scope = scope;
  const uint32_t kind = base::load_u32(r.data() + 4);
  const uint32_t third = base::load_u32(r.data() + 8);
  switch (kind) {
    case rt::kInt:
    case rt::kFloat:
      out.kind = static_cast<uint8_t>(kind);
      out.raw = base::load_u32(r.data() + 12);
      return true;
    case rt::kString:
      out.kind = rt::kString;
      out.s = string_at(third);
      return out.s != nullptr;
    case rt::kIntArray:
    case rt::kFloatArray:
    case rt::kStringArray:
      out.kind = static_cast<uint8_t>(kind);
      out.a = array_at(third, static_cast<uint8_t>(kind));
      return out.a != nullptr;
    default: return false;
  }
}

std::optional<std::vector<rt::Value>> BlobReader::read_table(std::span<const Record> records, uint8_t scope) {
  std::vector<rt::Value> values;
  values.reserve(records.size());
  for (const Record& r : records) {
    rt::Value v;
    if (!value_of(r, scope, v)) {
      v.kind = rt::kInt;  // nothing to release
      release_values(values);
      return std::nullopt;
    }
    values.push_back(v);
  }
  return values;
}

void release_values(std::vector<rt::Value>& values) {
  for (rt::Value& v : values) rt::release(v);
  values.clear();
}

// --- Writing whole files ----------------------------------------------------------------

std::vector<uint8_t> write_save(const SaveContents& c) {
  BlobWriter blob;
  std::vector<Record> globals, thread_vars, locals;
  blob.add_table(c.globals, globals);
  blob.add_table(c.thread_vars, thread_vars);
  blob.add_table(c.locals, locals);

  Head head = c.head;
  std::memcpy(head.data(), kSaveMagic, 16);
  head[field::kTitle + 127] = 0;
  const bool thumb = c.thumb_width > 0 && c.thumb_height > 0 &&
                     c.thumbnail.size() == static_cast<size_t>(c.thumb_width) * c.thumb_height * 3;
  set_head_u32(head, field::kDepth, static_cast<uint32_t>(c.frames.size() - 1));
  set_head_u32(head, field::kThumbWidth, thumb ? static_cast<uint32_t>(c.thumb_width) : 0);
  set_head_u32(head, field::kThumbHeight, thumb ? static_cast<uint32_t>(c.thumb_height) : 0);
  set_head_u32(head, field::kGlobals, static_cast<uint32_t>(globals.size()));
  set_head_u32(head, field::kThreadVars, static_cast<uint32_t>(thread_vars.size()));
  set_head_u32(head, field::kLocals, static_cast<uint32_t>(locals.size()));
  set_head_u32(head, field::kBlobSize, static_cast<uint32_t>(blob.blob.size()));

  std::vector<uint8_t> out;
  out.reserve(kSaveHeaderSize + c.thumbnail.size() + c.frames.size() * kFrameRecordSize +
              (globals.size() + thread_vars.size() + locals.size()) * kValueRecordSize + blob.blob.size() +
              c.tail.size());
  append(out, head.data(), head.size());
  const size_t backlog = std::min(c.backlog.size(), kBacklogSize);
  append(out, c.backlog.data(), backlog);
  out.resize(out.size() + (kBacklogSize - backlog), 0);
  if (thumb) append(out, c.thumbnail.data(), c.thumbnail.size());
  for (const FrameRecord& f : c.frames) {
    uint8_t rec[kFrameRecordSize] = {};
    std::memcpy(rec, f.script.data(), std::min<size_t>(f.script.size(), 127));
    base::store_u32(rec + 128, f.pc);
    base::store_u32(rec + 132, static_cast<uint32_t>(f.base));
    base::store_u32(rec + 136, static_cast<uint32_t>(f.stack_top));
    base::store_u32(rec + 140, static_cast<uint32_t>(f.discard));
    base::store_u32(rec + 144, static_cast<uint32_t>(f.line));
    for (int k = 0; k < 5; ++k) base::store_u32(rec + 148 + 4 * k, f.targets[k]);
    append(out, rec, sizeof rec);
  }
  for (auto* table : {&globals, &thread_vars, &locals})
    for (const Record& r : *table) append(out, r.data(), r.size());
  append(out, blob.blob.data(), blob.blob.size());
  append(out, c.tail.data(), c.tail.size());
  return out;
}

std::optional<SystemFile> parse_system(std::span<const uint8_t> bytes, ReadError* error) {
  auto fail = [&](ReadError e) -> std::optional<SystemFile> {
    if (error) *error = e;
    return std::nullopt;
  };
  if (error) *error = ReadError::None;
  if (bytes.size() >= 16 && std::memcmp(bytes.data(), kSystemMagic, 16) != 0) return fail(ReadError::BadMagic);
  if (bytes.size() < kSystemHeaderSize) return fail(ReadError::Short);
  if (static_cast<int64_t>(bytes.size()) > kMaxFileSize) return fail(ReadError::BadCounts);
  Reader r{bytes};
  r.at = 16;
  const uint32_t n = r.u32();
  const uint32_t blob = r.u32();
  SystemFile f;
  for (uint32_t& h : f.seen) h = r.u32();
  if (!read_records(r, n, f.records) || !r.has(blob)) return fail(ReadError::Short);
  auto b = r.take(blob);
  f.blob.assign(b.begin(), b.end());
  return f;
}

std::vector<uint8_t> write_system(const std::array<uint32_t, kSeenEntries>& seen,
                                  std::span<const rt::Value> persistent) {
  BlobWriter blob;
  std::vector<Record> records;
  blob.add_table(persistent, records);
  std::vector<uint8_t> out;
  out.reserve(kSystemHeaderSize + records.size() * kValueRecordSize + blob.blob.size());
  append(out, kSystemMagic, 16);
  append_u32(out, static_cast<uint32_t>(records.size()));
  append_u32(out, static_cast<uint32_t>(blob.blob.size()));
  for (uint32_t h : seen) append_u32(out, h);
  for (const Record& r : records) append(out, r.data(), r.size());
  append(out, blob.blob.data(), blob.blob.size());
  return out;
}

}  // namespace persist
