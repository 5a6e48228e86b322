// [SECTION] Copy positions
// [SECTION] Header
// [SECTION] Decoder
// [SECTION] Encoder
#include "graphics/image_codec.h"

#include <algorithm>
#include <cstring>

#include "base/bytes.h"

namespace gfx {

// [SECTION] Copy positions ----------------------------------------------------

namespace {

struct Position {
  int dx, dy;
};

constexpr Position kRctPositions[32] = {
    {-1, 0},  {-2, 0},  {-3, 0},  {-4, 0},  {-5, 0},  {-6, 0},                                 //
    {3, -1},  {2, -1},  {1, -1},  {0, -1},  {-1, -1}, {-2, -1}, {-3, -1},                      //
    {3, -2},  {2, -2},  {1, -2},  {0, -2},  {-1, -2}, {-2, -2}, {-3, -2},                      //
    {3, -3},  {2, -3},  {1, -3},  {0, -3},  {-1, -3}, {-2, -3}, {-3, -3},                      //
    {2, -4},  {1, -4},  {0, -4},  {-1, -4}, {-2, -4}};

constexpr Position kRc8Positions[16] = {
    {-1, 0}, {-2, 0}, {-3, 0}, {-4, 0},                                 //
    {3, -1}, {2, -1}, {1, -1}, {0, -1}, {-1, -1}, {-2, -1}, {-3, -1},  //
    {2, -2}, {1, -2}, {0, -2}, {-1, -2}, {-2, -2}};

// How each format spells its control bytes. A copy names a position and a
// count; short counts live in the control byte, long ones in a uint16 after it.
struct RctControls {
  static constexpr int kBpp = 3;
  static constexpr int kPositions = 32;
  static constexpr const Position* positions = kRctPositions;
  static constexpr int kCountBits = 2;           // copy: c & 3
  static constexpr uint32_t kShortMin = 1;       // counts 1..3 in the byte
  static constexpr uint32_t kShortMax = 3;
  static constexpr uint32_t kLongMin = 4;        // 3: uint16 + 4
  static constexpr uint32_t kLongMax = 0xFFFF + 4;
};

struct Rc8Controls {
  static constexpr int kBpp = 1;
  static constexpr int kPositions = 16;
  static constexpr const Position* positions = kRc8Positions;
  static constexpr int kCountBits = 3;           // copy: c & 7
  static constexpr uint32_t kShortMin = 3;       // counts 3..9 in the byte
  static constexpr uint32_t kShortMax = 9;
  static constexpr uint32_t kLongMin = 10;       // 7: uint16 + 10
  static constexpr uint32_t kLongMax = 0xFFFF + 10;
};

// Literal runs: c + 1 pixels for c < 127, else uint16 + 128.
constexpr uint32_t kLiteralShortMax = 127;
constexpr uint32_t kLiteralLongMax = 0xFFFF + 128;

void set_error(std::string* error, const char* text) {
  if (error) *error = text;
}

}  // namespace

// [SECTION] Header ------------------------------------------------------------

bool parse_image_header(std::span<const uint8_t> file, ImageHeader& out, std::string* error, bool whole_file) {
  out = ImageHeader{};
  if (file.size() < kRctHeaderSize) return set_error(error, "file too short for an image header"), false;
  const uint8_t* p = file.data();
  if (std::memcmp(p, kRctMagic, 8) == 0) {
    out.format = ImageFormat::Rct;
    out.data_offset = kRctHeaderSize;
  } else if (std::memcmp(p, kRctDiffMagic, 8) == 0) {
    out.format = ImageFormat::RctDifference;
    if (file.size() < kRctHeaderSize + 2) return set_error(error, "truncated difference header"), false;
    size_t n = base::load_u16(p + 20);
    if (file.size() < kRctHeaderSize + 2 + n) return set_error(error, "truncated base image name"), false;
    const char* name = reinterpret_cast<const char*>(p + 22);
    out.base_name.assign(name, strnlen(name, n));  // the name may be zero-padded
    out.data_offset = kRctHeaderSize + 2 + n;
  } else if (std::memcmp(p, kRc8Magic, 8) == 0) {
    out.format = ImageFormat::Rc8;
    if (file.size() < kRc8HeaderSize) return set_error(error, "truncated palette"), false;
    for (int i = 0; i < 256; ++i) {
      const uint8_t* t = p + 20 + 3 * i;
      out.palette[i] = {t[0], t[1], t[2], 0};
    }
    out.data_offset = kRc8HeaderSize;
  } else {
    return set_error(error, "not an .rct or .rc8 image (unknown signature)"), false;
  }
  int32_t w = base::load_i32(p + 8), h = base::load_i32(p + 12);
  if (w <= 0 || h <= 0) return set_error(error, "width or height is not positive"), false;
  int bpp = out.bytes_per_pixel();
  // The image must fit the 32-bit arithmetic the format was made for.
  if (static_cast<int64_t>(w) * h > INT32_MAX / bpp) return set_error(error, "image too large"), false;
  out.width = w;
  out.height = h;
  out.data_size = base::load_u32(p + 16);
  if (!whole_file) return true;

  if (out.data_size > file.size() - out.data_offset)
    return set_error(error, "compressed data runs past the end of the file"), false;
  if (out.data_size < static_cast<uint32_t>(bpp)) return set_error(error, "compressed data too short"), false;
  // Every three bytes of input make at most one long copy; an image larger
  // than that cannot be complete, and refusing it early keeps a few bytes
  // of header from claiming gigabytes.
  uint64_t long_max = out.is8bit() ? Rc8Controls::kLongMax : RctControls::kLongMax;
  uint64_t producible = 1 + (static_cast<uint64_t>(out.data_size) / 3 + 1) * long_max;
  if (static_cast<uint64_t>(w) * h > producible) return set_error(error, "image larger than its data can hold"), false;
  return true;
}

bool read_image_size(std::span<const uint8_t> head, int* width, int* height) {
  if (head.size() < 16) return false;
  const uint8_t* p = head.data();
  if (std::memcmp(p, kRctMagic, 8) != 0 && std::memcmp(p, kRctDiffMagic, 8) != 0 && std::memcmp(p, kRc8Magic, 8) != 0)
    return false;
  int32_t w = base::load_i32(p + 8), h = base::load_i32(p + 12);
  if (w <= 0 || h <= 0) return false;
  *width = w;
  *height = h;
  return true;
}

// [SECTION] Decoder -----------------------------------------------------------

namespace {

// Copies `len` bytes from `dist` bytes back, byte by byte in effect: when the
// source overlaps the destination the pattern repeats.
inline void copy_back(uint8_t* d, size_t dist, size_t len) {
  if (dist >= len) {
    std::memcpy(d, d - dist, len);
    return;
  }
  // Each pass doubles the period that is known to repeat.
  while (len > 0) {
    size_t chunk = std::min(len, dist);
    std::memcpy(d, d - dist, chunk);
    d += chunk;
    len -= chunk;
    dist *= 2;
  }
}

template <class C>
bool decode_stream(const uint8_t* in, size_t n, uint8_t* out, size_t total, size_t capacity, int width,
                   std::string* error) {
  constexpr size_t kBpp = C::kBpp;
  constexpr uint8_t kCountMask = (1u << C::kCountBits) - 1;
  int64_t offsets[C::kPositions];
  for (int k = 0; k < C::kPositions; ++k)
    offsets[k] = (static_cast<int64_t>(C::positions[k].dy) * width + C::positions[k].dx) * static_cast<int64_t>(kBpp);

  std::memcpy(out, in, kBpp);
  size_t o = kBpp, i = kBpp;
  while (o < total) {
    if (i >= n) return set_error(error, "compressed data ends before the image is complete"), false;
    uint8_t c = in[i++];
    size_t count;
    if (c & 0x80) {
      uint8_t field = c & kCountMask;
      if (field == kCountMask) {
        if (n - i < 2) return set_error(error, "compressed data ends inside a copy"), false;
        count = base::load_u16(in + i) + C::kLongMin;
        i += 2;
      } else {
        count = field + C::kShortMin;
      }
      int64_t off = offsets[(c >> C::kCountBits) & (C::kPositions - 1)];
      // The source must be output already written: never ahead, never
      // before the start.
      if (off >= 0 || static_cast<int64_t>(o) + off < 0)
        return set_error(error, "copy from outside the decoded image"), false;
      size_t len = std::min(count * kBpp, total - o);
      size_t dist = static_cast<size_t>(-off);
      uint8_t* d = out + o;
      if (len <= 16 && dist >= 16 && o + 16 <= capacity)
        std::memcpy(d, d - dist, 16);  // short copies: one fixed-size move, the excess is overwritten later
      else
        copy_back(d, dist, len);
      o += len;
    } else {
      if (c == kLiteralShortMax) {
        if (n - i < 2) return set_error(error, "compressed data ends inside a literal"), false;
        count = base::load_u16(in + i) + 128;
        i += 2;
      } else {
        count = c + 1u;
      }
      size_t len = std::min(count * kBpp, total - o);
      if (len > n - i) return set_error(error, "compressed data ends inside a literal"), false;
      if (len <= 16 && n - i >= 16 && o + 16 <= capacity)
        std::memcpy(out + o, in + i, 16);
      else
        std::memcpy(out + o, in + i, len);
      o += len;
      i += len;
    }
  }
  return true;
}

}  // namespace

bool decode_image_data(std::span<const uint8_t> file, const ImageHeader& header, uint8_t* out, size_t stride,
                       size_t capacity, std::string* error) {
  size_t bpp = header.bytes_per_pixel();
  size_t row = static_cast<size_t>(header.width) * bpp;
  size_t total = row * static_cast<size_t>(header.height);
  if (header.data_offset > file.size() || header.data_size > file.size() - header.data_offset ||
      header.data_size < bpp || stride < row || capacity < stride * static_cast<size_t>(header.height))
    return set_error(error, "inconsistent image header"), false;
  const uint8_t* in = file.data() + header.data_offset;
  bool ok = header.is8bit()
                ? decode_stream<Rc8Controls>(in, header.data_size, out, total, capacity, header.width, error)
                : decode_stream<RctControls>(in, header.data_size, out, total, capacity, header.width, error);
  if (!ok) return false;
  // Packed rows to the page stride, last row first so that nothing is
  // overwritten before it has moved.
  if (stride != row)
    for (size_t y = static_cast<size_t>(header.height); y-- > 1;) std::memmove(out + y * stride, out + y * row, row);
  return true;
}

// [SECTION] Encoder -----------------------------------------------------------
//
// The cheapest parse is found backwards: for every pixel the run length of
// each copy position is known from the pixel after it, and the cost of the
// rest of the image from there is known for every choice. Copies of short
// counts cost one byte, long ones three; a literal pixel costs its bytes plus
// one control byte per run.

namespace {

template <class C>
std::vector<uint8_t> encode_stream(const uint8_t* pixels, int width, int height, size_t stride) {
  constexpr int kBpp = C::kBpp;
  const size_t n = static_cast<size_t>(width) * height;
  std::vector<uint32_t> px(n);
  for (int y = 0; y < height; ++y) {
    const uint8_t* r = pixels + static_cast<size_t>(y) * stride;
    uint32_t* d = px.data() + static_cast<size_t>(y) * width;
    for (int x = 0; x < width; ++x)
      d[x] = kBpp == 3 ? r[3 * x] | (r[3 * x + 1] << 8) | (r[3 * x + 2] << 16) : r[x];
  }
  int64_t offsets[C::kPositions];
  for (int k = 0; k < C::kPositions; ++k)
    offsets[k] = static_cast<int64_t>(C::positions[k].dy) * width + C::positions[k].dx;

  // best[p]: bytes for pixels p.. when p starts fresh; lit[p]: when pixel
  // p may continue a literal run already paid for.
  std::vector<uint32_t> best(n + 1, 0), lit(n + 1, 0);
  std::vector<uint32_t> choice(n, 0);        // 0: literal; else (position + 1) | count << 6
  std::vector<uint8_t> continues(n + 1, 0);  // lit[p] continues the run through p
  uint32_t run[C::kPositions] = {};
  constexpr uint32_t kLongCost = 3;
  for (size_t p = n; p-- > 1;) {
    uint32_t literal = 1 + kBpp + lit[p + 1];
    uint32_t cost = literal;
    uint32_t pick = 0;
    for (int k = 0; k < C::kPositions; ++k) {
      int64_t src = static_cast<int64_t>(p) + offsets[k];
      if (offsets[k] >= 0 || src < 0 || px[p] != px[static_cast<size_t>(src)]) {
        run[k] = 0;
        continue;
      }
      run[k] = std::min<uint32_t>(run[k] + 1, C::kLongMax);
      uint32_t r = run[k];
      for (uint32_t len = C::kShortMin; len <= std::min(r, C::kShortMax); ++len)
        if (1 + best[p + len] < cost) cost = 1 + best[p + len], pick = (k + 1) | (len << 6);
      if (r >= C::kLongMin && kLongCost + best[p + r] < cost) cost = kLongCost + best[p + r], pick = (k + 1) | (r << 6);
    }
    best[p] = cost;
    choice[p] = pick;
    uint32_t go_on = kBpp + lit[p + 1];
    continues[p] = go_on < cost;
    lit[p] = std::min(go_on, cost);
  }

  std::vector<uint8_t> out;
  out.reserve(n * kBpp / 2 + 16);
  auto put_u16 = [&](uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto put_pixels = [&](size_t from, size_t count) {
    for (size_t q = from; q < from + count; ++q) {
      const uint8_t* s = pixels + (q / width) * stride + (q % width) * kBpp;
      out.insert(out.end(), s, s + kBpp);
    }
  };
  put_pixels(0, 1);
  size_t p = 1;
  while (p < n) {
    if (choice[p] == 0) {
      size_t end = p + 1;
      while (end < n && continues[end]) ++end;
      for (size_t from = p; from < end;) {
        size_t count = std::min<size_t>(end - from, kLiteralLongMax);
        if (count <= kLiteralShortMax) {
          out.push_back(static_cast<uint8_t>(count - 1));
        } else {
          out.push_back(static_cast<uint8_t>(kLiteralShortMax));
          put_u16(static_cast<uint32_t>(count - 128));
        }
        put_pixels(from, count);
        from += count;
      }
      p = end;
      continue;
    }
    uint32_t k = (choice[p] & 63) - 1, count = choice[p] >> 6;
    uint8_t c = static_cast<uint8_t>(0x80 | (k << C::kCountBits));
    if (count <= C::kShortMax) {
      out.push_back(static_cast<uint8_t>(c | (count - C::kShortMin)));
    } else {
      out.push_back(static_cast<uint8_t>(c | ((1u << C::kCountBits) - 1)));
      put_u16(count - C::kLongMin);
    }
    p += count;
  }
  return out;
}

void put_header(std::vector<uint8_t>& out, const uint8_t* magic, int width, int height, size_t data_size) {
  out.insert(out.end(), magic, magic + 8);
  uint8_t field[4];
  for (uint32_t v : {static_cast<uint32_t>(width), static_cast<uint32_t>(height), static_cast<uint32_t>(data_size)}) {
    base::store_u32(field, v);
    out.insert(out.end(), field, field + 4);
  }
}

}  // namespace

std::vector<uint8_t> encode_rct(const uint8_t* pixels, int width, int height, size_t stride,
                                std::string_view base_name) {
  std::vector<uint8_t> data = encode_stream<RctControls>(pixels, width, height, stride);
  std::vector<uint8_t> out;
  out.reserve(data.size() + 32 + base_name.size());
  put_header(out, base_name.empty() ? kRctMagic : kRctDiffMagic, width, height, data.size());
  if (!base_name.empty()) {
    size_t n = std::min<size_t>(base_name.size(), 0xFFFF);
    out.push_back(static_cast<uint8_t>(n));
    out.push_back(static_cast<uint8_t>(n >> 8));
    out.insert(out.end(), base_name.begin(), base_name.begin() + n);
  }
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

std::vector<uint8_t> encode_rc8(const uint8_t* pixels, int width, int height, size_t stride,
                                const Palette& palette) {
  std::vector<uint8_t> data = encode_stream<Rc8Controls>(pixels, width, height, stride);
  std::vector<uint8_t> out;
  out.reserve(data.size() + kRc8HeaderSize);
  put_header(out, kRc8Magic, width, height, data.size());
  for (const Rgbquad& q : palette) {
    out.push_back(q.b);
    out.push_back(q.g);
    out.push_back(q.r);
  }
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

}  // namespace gfx
