#include "persistence/resume_points.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "base/bytes.h"
#include "base/crc32.h"
#include "script/opcodes.h"
#include "script/translate.h"

namespace persist {
namespace {

struct Region {
  uint32_t start = 0, end = 0;
  uint32_t flags = 0;  // kFunction or kEntry (neither: the code before them)
  uint32_t key = 0;
};

std::vector<uint32_t> region_starts(const rt::LoadedScript& s) {
  std::vector<uint32_t> starts = {0};
  if (s.entry_point >= 0) starts.push_back(static_cast<uint32_t>(s.entry_point));
  for (const rt::FunctionEntry& f : s.functions) starts.push_back(f.offset);
  std::sort(starts.begin(), starts.end());
  starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
  return starts;
}

Region region_from(const rt::LoadedScript& s, const std::vector<uint32_t>& starts, uint32_t start) {
  Region r;
  r.start = start;
  auto next = std::upper_bound(starts.begin(), starts.end(), start);
  r.end = next == starts.end() ? static_cast<uint32_t>(s.code.size()) : *next;
  for (const rt::FunctionEntry& f : s.functions)
    if (f.offset == start) {
      r.flags = Anchor::kFunction;
      r.key = f.key;
      return r;
    }
  if (s.entry_point >= 0 && static_cast<uint32_t>(s.entry_point) == start) r.flags = Anchor::kEntry;
  return r;
}

uint32_t region_crc(const rt::LoadedScript& s, const Region& r) {
  if (r.start > r.end || r.end > s.code.size()) return 0;
  return base::crc32(std::string_view(reinterpret_cast<const char*>(s.code.data()) + r.start, r.end - r.start));
}

uint16_t opcode_at(const rt::LoadedScript& s, uint32_t at) {
  return at + 2 <= s.code.size() ? base::load_u16(&s.code[at]) : 0xFFFF;
}

uint32_t operand_at(const rt::LoadedScript& s, uint32_t at) {
  const uint16_t op = opcode_at(s, at);
  const bool keyed = op == static_cast<uint16_t>(rt::Op::syscall) || op == static_cast<uint16_t>(rt::Op::syscall_discard) ||
                     op == static_cast<uint16_t>(rt::Op::call_fn) || op == static_cast<uint16_t>(rt::Op::call_fn_discard);
  return keyed && at + 6 <= s.code.size() ? base::load_u32(&s.code[at + 2]) : 0;
}

// Walks the region's instructions in code order; `visit(offset, line,
// count)` returns true to stop. Returns false when the walk ran into bytes
// that are no instruction.
template <typename Visit>
bool walk(const rt::LoadedScript& s, const Region& r, Visit visit) {
  int32_t line = -1, count = 0;
  uint32_t at = r.start;
  while (at < r.end) {
    if (opcode_at(s, at) == static_cast<uint16_t>(rt::Op::line) && at + 4 <= s.code.size()) {
      line = base::load_u16(&s.code[at + 2]);
      count = 0;
    }
    if (visit(at, line, count)) return true;
    const size_t n = rt::instruction_length(s.code, at);
    if (n == 0) return false;
    at += static_cast<uint32_t>(n);
    ++count;
  }
  return visit(r.end, line, count);
}

}  // namespace

bool on_instruction(const rt::LoadedScript& s, uint32_t offset) {
  if (offset == s.code.size()) return true;
  if (offset > s.code.size()) return false;
  return s.decoded.index_at(offset) != s.decoded.jump_trap;
}

Anchor anchor_of(const rt::LoadedScript& s, uint32_t offset) {
  Anchor a;
  a.flags = Anchor::kPresent;
  if (offset > s.code.size()) return a;
  const auto starts = region_starts(s);
  const uint32_t start = *std::prev(std::upper_bound(starts.begin(), starts.end(), offset));
  const Region r = region_from(s, starts, start);
  a.flags |= r.flags;
  a.function_key = r.key;
  a.function_crc = region_crc(s, r);
  a.from_start = offset - r.start;
  walk(s, r, [&](uint32_t at, int32_t line, int32_t count) {
    if (at < offset) return false;
    if (at == offset) {
      a.flags |= Anchor::kExact;
      a.line = line;
      a.count = count;
      a.opcode = at == r.end ? 0xFFFF : opcode_at(s, at);
      a.operand = at == r.end ? 0 : operand_at(s, at);
    }
    return true;
  });
  return a;
}

Placement place(const rt::LoadedScript& s, const Anchor& a) {
  const auto starts = region_starts(s);
  std::optional<uint32_t> start;
  if (a.flags & Anchor::kFunction) {
    for (const rt::FunctionEntry& f : s.functions)
      if (f.key == a.function_key) {
        start = f.offset;
        break;
      }
  } else if (a.flags & Anchor::kEntry) {
    if (s.entry_point >= 0) start = static_cast<uint32_t>(s.entry_point);
  } else {
    start = 0;
  }
  if (!start) return {};
  const Region r = region_from(s, starts, *start);
  if (region_crc(s, r) == a.function_crc && a.from_start <= r.end - r.start &&
      on_instruction(s, r.start + a.from_start))
    return {Fit::Same, r.start + a.from_start};
  if (!(a.flags & Anchor::kExact)) return {};
  Placement found;
  std::optional<uint32_t> line_start;
  walk(s, r, [&](uint32_t at, int32_t line, int32_t count) {
    if (line != a.line) return false;
    if (count == 0 && !line_start) line_start = at;
    if (count < a.count) return false;
    if (count == a.count) {
      const uint32_t op = at == r.end ? 0xFFFF : opcode_at(s, at);
      const uint32_t operand = at == r.end ? 0 : operand_at(s, at);
      if (op == a.opcode && operand == a.operand) found = {Fit::Moved, at};
    }
    return true;
  });
  if (found.fit == Fit::Moved) return found;
  if (line_start && a.line >= 0) return {Fit::LineStart, *line_start};
  return {};
}

std::vector<uint8_t> write_trailer(const Trailer& t) {
  std::vector<uint8_t> out(24 + t.frames.size() * kAnchorsPerFrame * kAnchorSize + 8, 0);
  std::memcpy(out.data(), kTrailerMagic, 16);
  base::store_u32(out.data() + 16, static_cast<uint32_t>(t.frames.size()));
  base::store_u32(out.data() + 20, static_cast<uint32_t>(t.point_argc));
  uint8_t* p = out.data() + 24;
  for (const FrameAnchors& f : t.frames)
    for (const Anchor& a : f) {
      const uint32_t words[8] = {a.flags, a.function_key, a.function_crc, static_cast<uint32_t>(a.line),
                                 static_cast<uint32_t>(a.count), a.opcode, a.operand, a.from_start};
      for (uint32_t w : words) {
        base::store_u32(p, w);
        p += 4;
      }
    }
  base::store_u32(p, static_cast<uint32_t>(out.size()));
  const uint32_t crc =
      base::crc32(std::string_view(reinterpret_cast<const char*>(out.data()), out.size() - 4));
  base::store_u32(p + 4, crc);
  return out;
}

TrailerState parse_trailer(std::span<const uint8_t> tail, size_t frame_count, Trailer* out) {
  if (tail.size() < 16 || std::memcmp(tail.data(), kTrailerMagic, 16) != 0) return TrailerState::Absent;
  const size_t size = 24 + frame_count * kAnchorsPerFrame * kAnchorSize + 8;
  if (tail.size() != size) return TrailerState::Damaged;
  const uint8_t* p = tail.data();
  if (base::load_u32(p + 16) != frame_count || base::load_u32(p + size - 8) != size) return TrailerState::Damaged;
  if (base::crc32(std::string_view(reinterpret_cast<const char*>(p), size - 4)) != base::load_u32(p + size - 4))
    return TrailerState::Damaged;
  Trailer t;
  t.point_argc = base::load_i32(p + 20);
  if (t.point_argc < 0 || t.point_argc > 255) return TrailerState::Damaged;
  t.frames.resize(frame_count);
  p += 24;
  for (FrameAnchors& f : t.frames)
    for (Anchor& a : f) {
      uint32_t w[8];
      for (uint32_t& x : w) {
        x = base::load_u32(p);
        p += 4;
      }
      a = {w[0], w[1], w[2], static_cast<int32_t>(w[3]), static_cast<int32_t>(w[4]), w[5], w[6], w[7]};
    }
  if (out) *out = std::move(t);
  return TrailerState::Present;
}

}  // namespace persist
