#include "text/backlog.h"

#include <cstring>

#include "base/sjis.h"

namespace txt {

namespace {

constexpr int kEntryOverhead = 3;  // NUL and the u16 length

}  // namespace

void Backlog::append(std::string_view bytes) {
  const int n = static_cast<int>(bytes.size());
  const int length = n + kEntryOverhead;
  std::memmove(bytes_.data(), bytes_.data() + length, static_cast<size_t>(kBacklogBytes - length));
  uint8_t* at = bytes_.data() + kBacklogBytes - length;
  std::memcpy(at, bytes.data(), static_cast<size_t>(n));
  at[n] = 0;
  at[n + 1] = static_cast<uint8_t>(length);
  at[n + 2] = static_cast<uint8_t>(length >> 8);
}

void Backlog::record_text(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  if (text.empty()) return;
  // An entry longer than the whole buffer keeps its beginning.
  append(base::sjis_clip(text, kBacklogBytes - kEntryOverhead));
}

void Backlog::record_command(std::string_view record) {
  record = record.substr(0, record.find('\0'));
  std::string entry = "\\";
  entry.append(base::sjis_clip(record, kBacklogBytes - kEntryOverhead - 1));
  append(entry);
}

std::optional<Backlog::Entry> Backlog::entry_at(int pos) const {
  if (pos < 0 || pos + kEntryOverhead > kBacklogBytes) return std::nullopt;
  const uint8_t* p = bytes_.data() + pos;
  const void* nul = std::memchr(p, 0, static_cast<size_t>(kBacklogBytes - pos));
  if (!nul) return std::nullopt;
  const int n = static_cast<int>(static_cast<const uint8_t*>(nul) - p);
  if (pos + n + kEntryOverhead > kBacklogBytes || n == 0) return std::nullopt;
  const int length = p[n + 1] | (p[n + 2] << 8);
  if (length != n + kEntryOverhead) return std::nullopt;
  return Entry{pos, pos + length, {reinterpret_cast<const char*>(p), static_cast<size_t>(n)}};
}

std::optional<Backlog::Entry> Backlog::entry_before(int pos) const {
  if (pos < kEntryOverhead || pos > kBacklogBytes) return std::nullopt;
  const int length = bytes_[pos - 2] | (bytes_[pos - 1] << 8);
  if (length <= kEntryOverhead || length > pos) return std::nullopt;  // 0 ends the walk; a cut entry too
  const int start = pos - length;
  auto e = entry_at(start);
  if (!e || e->end != pos) return std::nullopt;
  return e;
}

bool Backlog::boundary(int pos, bool fine) const {
  auto e = entry_at(pos);
  if (!e || !e->command()) return false;
  if (e->record() == "w") return true;
  if (!fine || e->record() != "n" || pos < 5) return false;
  const uint8_t* b = bytes_.data() + pos - 5;
  return b[0] == '\\' && b[1] == 'p' && b[2] == 0 && b[3] == 5 && b[4] == 0;
}

int Backlog::previous(int pos, bool fine) const {
  if (pos > kBacklogBytes || pos < -1) return pos;
  int q = pos < 0 ? kBacklogBytes : pos;
  bool armed = false;
  for (;;) {
    auto e = entry_before(q);
    if (!e) return pos;  // the front, or a length that ends the walk
    if (!e->command() || e->letter() == 'p') armed = true;
    q = e->start;
    if (armed && boundary(q, fine)) return q;
  }
}

int Backlog::next(int pos, bool fine) const {
  auto at = entry_at(pos);
  if (!at || at->end >= kBacklogBytes) return pos;
  int q = at->end;
  while (!boundary(q, fine)) {
    auto e = entry_at(q);
    if (!e || e->end >= kBacklogBytes) return pos;
    q = e->end;
  }
  // Commands that follow a boundary belong to it; the last boundary among
  // them is where the step starts.
  int chosen = q;
  q = entry_at(q)->end;
  while (q < kBacklogBytes) {
    auto e = entry_at(q);
    if (!e || !e->command() || e->letter() == 'p') break;
    if (boundary(q, fine)) chosen = q;
    q = e->end;
  }
  return chosen;
}

int Backlog::count(bool fine) const {
  int p = previous(-1, false);
  int n = 0;
  for (;;) {
    ++n;
    int q = previous(p, fine);
    if (q == p) return n;
    p = q;
  }
}

int Backlog::position_back(int n, bool fine) const {
  int p = previous(-1, fine);
  for (int i = 1; i < n; ++i) {
    int q = previous(p, fine);
    if (q == p) break;
    p = q;
  }
  return p;
}

void Backlog::trim_to_last_pause() {
  for (;;) {
    auto e = entry_before(kBacklogBytes);
    if (!e || e->record() == "p") return;
    const int length = e->end - e->start;
    std::memmove(bytes_.data() + length, bytes_.data(), static_cast<size_t>(kBacklogBytes - length));
    std::memset(bytes_.data(), 0, static_cast<size_t>(length));
  }
}

}  // namespace txt
