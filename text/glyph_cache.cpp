#include "text/glyph_cache.h"

#include <cstring>

#include "base/bytes.h"
#include "base/sjis.h"
#include "core/engine.h"
#include "core/trace.h"
#include "core/env_file.h"
#include "core/error_report.h"
#include "platform/files.h"
#include "resources/resources.h"
#include "text/render.h"
#include "text/text_state.h"

namespace txt {

namespace {

constexpr size_t kOffsetFace = 0;
constexpr size_t kOffsetWidthCode = 260;
constexpr size_t kOffsetHeightCode = 264;
constexpr size_t kOffsetWidths = 268;
constexpr size_t kOffsetOffsets = kOffsetWidths + kCacheCodes;           // 65,804
constexpr size_t kOffsetCapacity = kOffsetOffsets + 4 * kCacheCodes;     // 327,948
constexpr size_t kOffsetUsed = kOffsetCapacity + 4;                      // 327,952
static_assert(kOffsetUsed + 8 == kCacheHeaderBytes);

std::string clip_cache_face(std::string_view face) {
  return std::string(base::sjis_clip(face.substr(0, face.find('\0')), kCacheFaceBytes - 1));
}

}  // namespace

void GlyphCache::reset(std::string_view f, int32_t wc, int32_t hc) {
  face = std::string(f);
  width_code = wc;
  height_code = hc;
  widths.assign(kCacheCodes, 0);
  offsets.assign(kCacheCodes, 0);
  data.assign(kCacheGrowth, 0);
  used = kCacheFirstOffset;
  dirty = false;
}

uint8_t* GlyphCache::store(uint32_t code, int width) {
  if (!open() || code >= kCacheCodes || width < 0 || width > 255 || rows() < 1) return nullptr;
  const int64_t need = static_cast<int64_t>(width) * rows();
  if (used + need > kCacheDataLimit) return nullptr;
  // The block grows in fixed steps, with room to spare.
  while (static_cast<int64_t>(width) * height_code + used + 16 >= static_cast<int64_t>(data.size()))
    data.resize(data.size() + kCacheGrowth, 0);
  widths[code] = static_cast<uint8_t>(width);
  offsets[code] = used;
  uint8_t* at = data.data() + used;
  used += static_cast<int32_t>(need);
  dirty = true;
  return at;
}

std::optional<GlyphCache> parse_glyph_cache(std::span<const uint8_t> bytes, std::string_view face, int32_t width_code,
                                            int32_t height_code) {
  if (bytes.size() < kCacheHeaderBytes || face.empty() || height_code < 4 || width_code < 1) return std::nullopt;
  const uint8_t* h = bytes.data();
  const void* nul = std::memchr(h + kOffsetFace, 0, kCacheFaceBytes);
  if (!nul) return std::nullopt;
  std::string_view stored(reinterpret_cast<const char*>(h), static_cast<const uint8_t*>(nul) - h);
  // A cache of another font or size is not trusted.
  if (stored != face || base::load_i32(h + kOffsetWidthCode) != width_code ||
      base::load_i32(h + kOffsetHeightCode) != height_code)
    return std::nullopt;
  const int64_t used = base::load_i32(h + kOffsetUsed);
  if (used < kCacheFirstOffset || used > kCacheDataLimit ||
      used > static_cast<int64_t>(bytes.size() - kCacheHeaderBytes))
    return std::nullopt;
  GlyphCache c;
  c.face = std::string(face);
  c.width_code = width_code;
  c.height_code = height_code;
  c.widths.assign(h + kOffsetWidths, h + kOffsetWidths + kCacheCodes);
  c.offsets.resize(kCacheCodes);
  const int64_t rows = height_code / 4;
  for (size_t code = 0; code < kCacheCodes; ++code) {
    const int32_t offset = base::load_i32(h + kOffsetOffsets + 4 * code);
    if (offset != 0 && (offset < kCacheFirstOffset || offset + c.widths[code] * rows > used)) return std::nullopt;
    c.offsets[code] = offset;
  }
  c.data.assign(static_cast<size_t>(used + kCacheGrowth), 0);
  std::memcpy(c.data.data(), h + kCacheHeaderBytes, static_cast<size_t>(used));
  c.used = static_cast<int32_t>(used);
  return c;
}

std::vector<uint8_t> serialise_glyph_cache(const GlyphCache& c) {
  std::vector<uint8_t> out(kCacheHeaderBytes + static_cast<size_t>(c.used), 0);
  uint8_t* h = out.data();
  std::memcpy(h + kOffsetFace, c.face.data(), std::min(c.face.size(), kCacheFaceBytes - 1));
  base::store_u32(h + kOffsetWidthCode, static_cast<uint32_t>(c.width_code));
  base::store_u32(h + kOffsetHeightCode, static_cast<uint32_t>(c.height_code));
  for (size_t code = 0; code < kCacheCodes && code < c.widths.size(); ++code) {
    h[kOffsetWidths + code] = c.widths[code];
    base::store_u32(h + kOffsetOffsets + 4 * code, static_cast<uint32_t>(c.offsets[code]));
  }
  base::store_u32(h + kOffsetCapacity, static_cast<uint32_t>(c.data.size()));
  base::store_u32(h + kOffsetUsed, static_cast<uint32_t>(c.used));
  std::memcpy(h + kCacheHeaderBytes, c.data.data(), static_cast<size_t>(c.used));
  return out;
}

std::string glyph_cache_file_name(std::string_view face, int32_t width_code, int32_t height_code) {
  std::string safe;
  for (size_t i = 0; i < face.size();) {
    size_t n = base::sjis_char_size(face, i);
    if (n == 1) {
      const unsigned char c = static_cast<unsigned char>(face[i]);
      const bool bad = c < 0x20 || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
                       c == '<' || c == '>' || c == '|';
      safe += bad ? '_' : face[i];
    } else {
      safe.append(face.substr(i, n));
    }
    i += n;
  }
  if (safe == "." || safe == "..") safe = "_";
  return base::format("fc_%s_%03dx%03d.fcd", safe.c_str(), width_code, height_code);
}

namespace {

// Header, then as much of the data block as the header says, as the file
// holds: a short file yields fewer bytes, which the parser refuses.
std::vector<uint8_t> read_cache_file(const std::string& path) {
  std::vector<uint8_t> bytes;
  plat::File f = plat::File::open(path, "rb");
  if (!f) return bytes;
  bytes.resize(kCacheHeaderBytes);
  if (!f.read_exact(bytes.data(), bytes.size())) return {};
  const int64_t used = base::load_i32(bytes.data() + kOffsetUsed);
  if (used < 0 || used > kCacheDataLimit) return {};
  bytes.resize(kCacheHeaderBytes + static_cast<size_t>(used));
  if (!f.read_exact(bytes.data() + kCacheHeaderBytes, static_cast<size_t>(used))) return {};
  return bytes;
}

}  // namespace

void open_glyph_cache(rt::Engine& e, std::string_view face, int32_t height, int32_t width) {
  close_glyph_cache(e);
  GlyphCache& cache = e.text->cache;
  std::string f = clip_cache_face(face);
  if (f.empty() || height < 1 || width < 1 || height > 0x1FFFFFFF || width > 0x1FFFFFFF) return;
  const int32_t hc = height * 4, wc = width * 4;
  std::string path = rt::savedata_native_path(e, "savedata\\" + glyph_cache_file_name(f, wc, hc));
  std::vector<uint8_t> bytes = read_cache_file(path);
  if (auto parsed = parse_glyph_cache(bytes, f, wc, hc)) {
    cache = std::move(*parsed);
    QUOREL_TRACE(e, text, "glyph cache %s: read", path.c_str());
  } else {
    QUOREL_TRACE(e, text, "glyph cache %s: %s", path.c_str(), bytes.empty() ? "new" : "unreadable, started anew");
    cache.reset(f, wc, hc);
  }
}

void close_glyph_cache(rt::Engine& e) {
  GlyphCache& cache = e.text->cache;
  if (!cache.open()) return;
  if (cache.dirty && rt::env_int(e, "LOADSAVEDISABLE", 0) != 1) {
    auto path = rt::savedata_write_path(
        e, "savedata\\" + glyph_cache_file_name(cache.face, cache.width_code, cache.height_code));
    bool written = path && plat::write_file_atomic(*path, serialise_glyph_cache(cache));  // a failed write is skipped
    QUOREL_TRACE(e, text, "glyph cache %s: %s", path.value_or("").c_str(), written ? "written" : "cannot be written");
  }
  cache = GlyphCache{};
}

}  // namespace txt
