// [SECTION] Clipping
// [SECTION] Plain copy and swap
// [SECTION] Blends
// [SECTION] Scaled copy
// [SECTION] Affine copy
// [SECTION] Fills and filters
// [SECTION] Mosaic and alpha tables
#include "graphics/draw.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "base/random.h"

namespace gfx {

namespace {

int clamp_t(int t) { return std::clamp(t, 0, 255); }

uint8_t* px(Page& p, int x, int y) { return p.row(y) + static_cast<size_t>(x) * p.bytes_per_pixel(); }
const uint8_t* px(const Page& p, int x, int y) { return p.row(y) + static_cast<size_t>(x) * p.bytes_per_pixel(); }

// Source rows of one page may be read after the same row was written when
// the two areas share a row; such rows are read from a copy.
bool same_row(const Page& a, int ay, const Page& b, int by) { return &a == &b && ay == by; }

void expand_palette(uint8_t* out, const uint8_t* idx, int n, const Palette& pal) {
  for (int i = 0; i < n; ++i) {
    const Rgbquad& q = pal[idx[i]];
    out[3 * i] = q.b, out[3 * i + 1] = q.g, out[3 * i + 2] = q.r;
  }
}

}  // namespace

// [SECTION] Clipping ---------------------------------------------------------------

bool clip_to_page(const Page& page, Rect& r) {
  int64_t x = r.x, y = r.y, w = r.w, h = r.h;
  if (x < 0) w += x, x = 0;
  if (y < 0) h += y, y = 0;
  if (x + w > page.width) w = page.width - x;
  if (y + h > page.height) h = page.height - y;
  if (w <= 0 || h <= 0) {
    r = Rect{};
    return false;
  }
  r = {static_cast<int>(x), static_cast<int>(y), static_cast<int>(w), static_cast<int>(h)};
  return true;
}

bool clip_two(const Page& src, Rect& s, const Page& dst, int& dx, int& dy) {
  int64_t sx = s.x, sy = s.y, w = s.w, h = s.h, tx = dx, ty = dy;
  if (sx < 0) w += sx, tx -= sx, sx = 0;
  if (sy < 0) h += sy, ty -= sy, sy = 0;
  if (sx + w > src.width) w = src.width - sx;
  if (sy + h > src.height) h = src.height - sy;
  if (tx < 0) w += tx, sx -= tx, tx = 0;
  if (ty < 0) h += ty, sy -= ty, ty = 0;
  if (tx + w > dst.width) w = dst.width - tx;
  if (ty + h > dst.height) h = dst.height - ty;
  if (w <= 0 || h <= 0) {
    s = Rect{};
    return false;
  }
  s = {static_cast<int>(sx), static_cast<int>(sy), static_cast<int>(w), static_cast<int>(h)};
  dx = static_cast<int>(tx);
  dy = static_cast<int>(ty);
  return true;
}

// [SECTION] Plain copy and swap --------------------------------------------------------

void plain_copy(const Page& src, const Rect& s, Page& dst, int dx, int dy) {
  if (!src.is8bit && dst.is8bit) return;
  // On one page, copy upward rows first when moving up, else the last row
  // first, so that no source row is overwritten before it is read.
  bool down = dy < s.y;
  for (int i = 0; i < s.h; ++i) {
    int r = down ? i : s.h - 1 - i;
    const uint8_t* from = px(src, s.x, s.y + r);
    uint8_t* to = px(dst, dx, dy + r);
    if (src.is8bit == dst.is8bit)
      std::memmove(to, from, static_cast<size_t>(s.w) * src.bytes_per_pixel());
    else
      expand_palette(to, from, s.w, src.palette);
  }
}

void swap_areas(Page& a, const Rect& s, Page& b, int dx, int dy) {
  if (a.is8bit != b.is8bit) return;
  size_t n = static_cast<size_t>(s.w) * a.bytes_per_pixel();
  std::vector<uint8_t> buffer(n);
  bool down = dy < s.y;
  for (int i = 0; i < s.h; ++i) {
    int r = down ? i : s.h - 1 - i;
    uint8_t* p = px(a, s.x, s.y + r);
    uint8_t* q = px(b, dx, dy + r);
    std::memcpy(buffer.data(), q, n);
    std::memmove(q, p, n);
    std::memmove(p, buffer.data(), n);
  }
}

// [SECTION] Blends ------------------------------------------------------------------------

void const_alpha_copy(const Page& src, const Rect& s, Page& dst, int dx, int dy, int t) {
  if (dst.is8bit) return;
  t = clamp_t(t);
  size_t n = static_cast<size_t>(s.w) * 3;
  std::vector<uint8_t> row;
  bool down = dy < s.y;
  if (src.is8bit) {
    // The table form: each term rounded down on its own.
    uint8_t from_src[256], from_dst[256];
    for (int v = 0; v < 256; ++v) {
      from_src[v] = static_cast<uint8_t>(v * (256 - t) / 256);
      from_dst[v] = static_cast<uint8_t>(v * (t + 1) / 256);
    }
    row.resize(n);
    for (int i = 0; i < s.h; ++i) {
      int r = down ? i : s.h - 1 - i;
      expand_palette(row.data(), px(src, s.x, s.y + r), s.w, src.palette);
      uint8_t* d = px(dst, dx, dy + r);
      for (size_t k = 0; k < n; ++k) d[k] = static_cast<uint8_t>(from_src[row[k]] + from_dst[d[k]]);
    }
    return;
  }
  for (int i = 0; i < s.h; ++i) {
    int r = down ? i : s.h - 1 - i;
    const uint8_t* from = px(src, s.x, s.y + r);
    if (same_row(src, s.y + r, dst, dy + r)) {
      row.assign(from, from + n);
      from = row.data();
    }
    kernels::blend_const(px(dst, dx, dy + r), from, static_cast<int>(n), t + 1);
  }
}

void alpha_copy_with(const Page& src, const Page& alpha, const Rect& s, Page& dst, int dx, int dy, int t) {
  if (dst.is8bit) return;
  t = clamp_t(t);
  if (t >= 255) return;
  std::vector<uint8_t> weight(static_cast<size_t>(s.w));
  std::vector<uint8_t> row;
  if (src.is8bit) row.resize(static_cast<size_t>(s.w) * 3);
  for (int r = 0; r < s.h; ++r) {
    const uint8_t* a = alpha.row(s.y + r) + s.x;
    kernels::alpha_weights(weight.data(), a, s.w, t);
    const uint8_t* from;
    if (src.is8bit) {
      expand_palette(row.data(), px(src, s.x, s.y + r), s.w, src.palette);
      from = row.data();
    } else {
      from = px(src, s.x, s.y + r);
      if (same_row(src, s.y + r, dst, dy + r)) {
        row.assign(from, from + static_cast<size_t>(s.w) * 3);
        from = row.data();
      }
    }
    kernels::blend_weighted(px(dst, dx, dy + r), from, weight.data(), s.w);
  }
  if (Page* da = alpha_of(dst))
    for (int r = 0; r < s.h; ++r) kernels::merge_alpha(da->row(dy + r) + dx, alpha.row(s.y + r) + s.x, s.w);
}

void alpha_copy(const Page& src, const Rect& s, Page& dst, int dx, int dy, int t) {
  if (const Page* a = alpha_of(src))
    alpha_copy_with(src, *a, s, dst, dx, dy, t);
  else
    const_alpha_copy(src, s, dst, dx, dy, t);
}

void masked_paste(const Page& mask, Rect s, Page& dst, int dx, int dy, uint32_t colour) {
  if (!mask.is8bit || dst.is8bit || !clip_two(mask, s, dst, dx, dy)) return;
  std::vector<uint8_t> weight(static_cast<size_t>(s.w)), solid(static_cast<size_t>(s.w) * 3);
  for (int i = 0; i < s.w; ++i)
    solid[3 * i] = blue_of(colour), solid[3 * i + 1] = green_of(colour), solid[3 * i + 2] = red_of(colour);
  Page* da = alpha_of(dst);
  for (int r = 0; r < s.h; ++r) {
    const uint8_t* m = mask.row(s.y + r) + s.x;
    // Mask value m weighs the page by m + 1, except near the ends, which
    // paint or leave exactly.
    kernels::alpha_weights(weight.data(), m, s.w, 0);
    kernels::blend_weighted(px(dst, dx, dy + r), solid.data(), weight.data(), s.w);
    if (da) kernels::merge_alpha(da->row(dy + r) + dx, m, s.w);
  }
}

// [SECTION] Scaled copy ------------------------------------------------------------------

namespace {

// Source index for each of m destination indexes, from n source indexes,
// by error accumulation.
std::vector<int> scale_map(int n, int m) {
  std::vector<int> map(static_cast<size_t>(m), 0);
  if (n >= m) {
    int64_t e = n / 2;
    int j = 0;
    for (int i = 0; i < n && j < m; ++i) {
      e -= m;
      if (e < 0) {
        map[j++] = i;
        e += n;
      }
    }
    for (; j < m; ++j) map[j] = n - 1;
  } else {
    int64_t e = m - 1;
    int i = 0;
    for (int j = 1; j < m; ++j) {
      e -= n;
      if (e < 0) {
        if (i < n - 1) ++i;
        e += m;
      }
      map[j] = i;
    }
  }
  return map;
}

// One axis of the clipping: the near side of `a` (extent `an`) is cut at 0
// and its far side at `limit`; the other rectangle follows in proportion.
void clip_axis(int64_t& a, int64_t& an, int64_t limit, int64_t& b, int64_t& bn) {
  int64_t old_a = a, old_an = an, old_bn = bn;
  if (a < 0) an += a, a = 0;
  if (a + an > limit) an = limit - a;
  if (an == old_an || old_an <= 0) return;
  if (old_a < 0) b += -old_a * old_bn / old_an;
  bn = an * old_bn / old_an;
}

}  // namespace

Rect scaled_copy(const Page& src, Rect s, Page& dst, Rect d) {
  if (!src.is8bit && dst.is8bit) return {};
  if (s.w <= 0 || s.h <= 0 || d.w <= 0 || d.h <= 0) return {};
  int64_t sx = s.x, sy = s.y, sw = s.w, sh = s.h, tx = d.x, ty = d.y, tw = d.w, th = d.h;
  clip_axis(sx, sw, src.width, tx, tw);
  clip_axis(sy, sh, src.height, ty, th);
  if (sw <= 0 || sh <= 0 || tw <= 0 || th <= 0) return {};
  clip_axis(tx, tw, dst.width, sx, sw);
  clip_axis(ty, th, dst.height, sy, sh);
  // Rounding in the proportions may leave the source a pixel too wide.
  sw = std::min(sw, src.width - sx);
  sh = std::min(sh, src.height - sy);
  if (sw <= 0 || sh <= 0 || tw <= 0 || th <= 0 || sx < 0 || sy < 0) return {};

  std::vector<int> cols = scale_map(static_cast<int>(sw), static_cast<int>(tw));
  std::vector<int> rows = scale_map(static_cast<int>(sh), static_cast<int>(th));
  // Within one page the source area is read whole before anything is
  // written, so that the copy sees the original pixels.
  int bpp = src.bytes_per_pixel();
  const uint8_t* base = px(src, static_cast<int>(sx), static_cast<int>(sy));
  size_t pitch = static_cast<size_t>(src.stride);
  std::vector<uint8_t> area;
  if (&src == &dst) {
    pitch = static_cast<size_t>(sw) * bpp;
    area.resize(pitch * static_cast<size_t>(sh));
    for (int64_t r = 0; r < sh; ++r)
      std::memcpy(area.data() + r * pitch, px(src, static_cast<int>(sx), static_cast<int>(sy + r)), pitch);
    base = area.data();
  }
  for (int64_t j = 0; j < th; ++j) {
    const uint8_t* from = base + static_cast<size_t>(rows[j]) * pitch;
    uint8_t* to = px(dst, static_cast<int>(tx), static_cast<int>(ty + j));
    if (dst.is8bit) {
      for (int64_t i = 0; i < tw; ++i) to[i] = from[cols[i]];
    } else if (src.is8bit) {
      for (int64_t i = 0; i < tw; ++i) {
        const Rgbquad& q = src.palette[from[cols[i]]];
        to[3 * i] = q.b, to[3 * i + 1] = q.g, to[3 * i + 2] = q.r;
      }
    } else {
      for (int64_t i = 0; i < tw; ++i) {
        const uint8_t* p = from + 3 * cols[i];
        to[3 * i] = p[0], to[3 * i + 1] = p[1], to[3 * i + 2] = p[2];
      }
    }
  }
  return {static_cast<int>(tx), static_cast<int>(ty), static_cast<int>(tw), static_cast<int>(th)};
}

// [SECTION] Affine copy --------------------------------------------------------------------

namespace {

constexpr double kDegreesToRadians = -0.017453292519444445;  // also turns the angle clockwise
constexpr int64_t kOne = 16384;                              // 14 fraction bits

bool identity_transform(double angle, double xscale, double yscale) {
  if (xscale != 1.0 || yscale != 1.0) return false;
  double milli = std::trunc(angle * 1000.0);
  if (std::fabs(milli) > 9.0e15) return false;
  return static_cast<int64_t>(milli) % 360000 == 0;
}

}  // namespace

Rect affine_copy(const Page& src, Rect s, Page& dst, Rect d, double angle, double xscale, double yscale) {
  if (!std::isfinite(angle) || !std::isfinite(xscale) || !std::isfinite(yscale)) return {};
  if (std::fabs(xscale) <= 0.002 || std::fabs(yscale) <= 0.002 || (!src.is8bit && dst.is8bit)) return {};
  const Page* sa = alpha_of(src);
  Page* da = alpha_of(dst);

  if (identity_transform(angle, xscale, yscale)) {
    int tx = static_cast<int>(d.x + (static_cast<int64_t>(d.w) - s.w + 1) / 2);
    int ty = static_cast<int>(d.y + (static_cast<int64_t>(d.h) - s.h + 1) / 2);
    if (!clip_two(src, s, dst, tx, ty)) return {};
    plain_copy(src, s, dst, tx, ty);
    if (da) {
      if (sa)
        plain_copy(*sa, s, *da, tx, ty);
      else
        for (int r = 0; r < s.h; ++r) std::memset(da->row(ty + r) + tx, 0, static_cast<size_t>(s.w));
    }
    return {tx, ty, s.w, s.h};
  }

  int64_t cx = s.x + s.w / 2, cy = s.y + s.h / 2;
  int64_t dcx = d.x + d.w / 2, dcy = d.y + d.h / 2;
  if (!clip_to_page(src, s) || !clip_to_page(dst, d)) return {};
  double theta = angle * kDegreesToRadians;
  double c = std::cos(theta), sn = std::sin(theta);
  auto fix = [](double v) { return static_cast<int64_t>(std::trunc(v)); };
  int64_t du = fix(kOne * c / xscale), dv = fix(kOne * sn / yscale);
  int64_t ru = fix(-kOne * sn / xscale), rv = fix(kOne * c / yscale);
  int64_t L = dcx - d.x, K = dcy - d.y;
  int64_t u0 = cx * kOne - L * du - K * ru;
  int64_t v0 = cy * kOne - L * dv - K * rv;
  int64_t left = s.x * kOne, top = s.y * kOne, right = (int64_t{s.x} + s.w) * kOne,
          bottom = (int64_t{s.y} + s.h) * kOne;
  auto inside = [&](int64_t u, int64_t v) { return u >= left && u < right && v >= top && v < bottom; };

  // One row walk per pixel format, so that the inner loop does not ask.
  auto walk = [&](auto put) {
    int64_t ur = u0, vr = v0;
    for (int j = 0; j < d.h; ++j, ur += ru, vr += rv) {
      int64_t u = ur, v = vr;
      int i = 0;
      while (i < d.w && !inside(u, v)) ++i, u += du, v += dv;
      uint8_t* to = px(dst, d.x + i, d.y + j);
      uint8_t* to_alpha = da ? da->row(d.y + j) + d.x + i : nullptr;
      for (; i < d.w && inside(u, v); ++i, u += du, v += dv) {
        int x = static_cast<int>(u / kOne), y = static_cast<int>(v / kOne);
        to = put(to, px(src, x, y));
        if (to_alpha) *to_alpha++ = sa ? sa->row(y)[x] : 0;
      }
    }
  };
  if (dst.is8bit) {
    walk([](uint8_t* to, const uint8_t* from) {
      *to = *from;
      return to + 1;
    });
  } else if (src.is8bit) {
    walk([&](uint8_t* to, const uint8_t* from) {
      const Rgbquad& q = src.palette[*from];
      to[0] = q.b, to[1] = q.g, to[2] = q.r;
      return to + 3;
    });
  } else {
    walk([](uint8_t* to, const uint8_t* from) {
      to[0] = from[0], to[1] = from[1], to[2] = from[2];
      return to + 3;
    });
  }
  return d;
}

// [SECTION] Fills and filters -----------------------------------------------------------------

int64_t point_get(const Page& page, int x, int y) {
  if (x < 0 || y < 0 || x >= page.width || y >= page.height) return -1;
  const uint8_t* p = px(page, x, y);
  if (page.is8bit) {
    const Rgbquad& q = page.palette[*p];
    return colour_of(q.b, q.g, q.r);
  }
  return colour_of(p[0], p[1], p[2]);
}

bool point_set(Page& page, int x, int y, uint32_t colour) {
  if (x < 0 || y < 0 || x >= page.width || y >= page.height) return false;
  uint8_t* p = px(page, x, y);
  if (page.is8bit) {
    *p = static_cast<uint8_t>(colour);
  } else {
    p[0] = blue_of(colour), p[1] = green_of(colour), p[2] = red_of(colour);
  }
  return true;
}

Rect box_fill(Page& page, Rect r, uint32_t colour) {
  if (!clip_to_page(page, r)) return {};
  size_t n = static_cast<size_t>(r.w) * page.bytes_per_pixel();
  uint8_t* first = px(page, r.x, r.y);
  if (page.is8bit) {
    std::memset(first, static_cast<uint8_t>(colour), n);
  } else {
    for (int i = 0; i < r.w; ++i)
      first[3 * i] = blue_of(colour), first[3 * i + 1] = green_of(colour), first[3 * i + 2] = red_of(colour);
  }
  for (int y = 1; y < r.h; ++y) std::memcpy(px(page, r.x, r.y + y), first, n);
  return r;
}

Rect ext_box_fill(Page& page, Rect r, uint32_t colour, int t) {
  if (!clip_to_page(page, r)) return {};
  int c = std::clamp(t + 1, 1, 256), d = 257 - c;
  if (page.is8bit) {
    // The colour takes part whole; the result is cut to a byte.
    for (int y = 0; y < r.h; ++y) {
      uint8_t* p = px(page, r.x, r.y + y);
      for (int i = 0; i < r.w; ++i)
        p[i] = static_cast<uint8_t>((static_cast<uint32_t>(d) * colour + static_cast<uint32_t>(c) * p[i]) >> 8);
    }
    return r;
  }
  std::vector<uint8_t> solid(static_cast<size_t>(r.w) * 3);
  for (int i = 0; i < r.w; ++i)
    solid[3 * i] = blue_of(colour), solid[3 * i + 1] = green_of(colour), solid[3 * i + 2] = red_of(colour);
  for (int y = 0; y < r.h; ++y) kernels::blend_const(px(page, r.x, r.y + y), solid.data(), r.w * 3, c);
  return r;
}

Rect mul_box_fill(Page& page, Rect r, uint32_t colour) {
  if (page.is8bit || !clip_to_page(page, r)) return {};
  unsigned kb = blue_of(colour) + 1u, kg = green_of(colour) + 1u, kr = red_of(colour) + 1u;
  for (int y = 0; y < r.h; ++y) {
    uint8_t* p = px(page, r.x, r.y + y);
    for (int i = 0; i < r.w; ++i, p += 3) {
      p[0] = static_cast<uint8_t>((kb * p[0]) >> 8);
      p[1] = static_cast<uint8_t>((kg * p[1]) >> 8);
      p[2] = static_cast<uint8_t>((kr * p[2]) >> 8);
    }
  }
  return r;
}

Rect reverse(Page& page, Rect r) {
  if (page.is8bit || !clip_to_page(page, r)) return {};
  size_t n = static_cast<size_t>(r.w) * 3;
  for (int y = 0; y < r.h; ++y) {
    uint8_t* p = px(page, r.x, r.y + y);
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(255 - p[i]);
  }
  return r;
}

namespace {

// One pixel through the sepia tone: weight w of the light colour from the
// pixel's brightness, and with keep >= 0 a share of the old colour.
void sepia_pixel(uint8_t& b, uint8_t& g, uint8_t& r, uint32_t dark, uint32_t light, int keep) {
  int w = b + 4 * g + 2 * r + 1, v = 2049 - w;
  int nb = (v * blue_of(dark) + w * blue_of(light)) >> 11;
  int ng = (v * green_of(dark) + w * green_of(light)) >> 11;
  int nr = (v * red_of(dark) + w * red_of(light)) >> 11;
  if (keep >= 0) {
    int h = keep + 1, l = 257 - h;
    nb = (h * b + l * nb) / 256;
    ng = (h * g + l * ng) / 256;
    nr = (h * r + l * nr) / 256;
  }
  b = static_cast<uint8_t>(nb), g = static_cast<uint8_t>(ng), r = static_cast<uint8_t>(nr);
}

}  // namespace

Rect sepia(Page& page, Rect r, uint32_t dark, uint32_t light, int keep) {
  if (!clip_to_page(page, r)) return {};
  if (keep >= 0) keep = std::min(keep, 255);
  if (page.is8bit) {
    for (Rgbquad& q : page.palette) sepia_pixel(q.b, q.g, q.r, dark, light, keep);
    return page.bounds();
  }
  for (int y = 0; y < r.h; ++y) {
    uint8_t* p = px(page, r.x, r.y + y);
    for (int i = 0; i < r.w; ++i, p += 3) sepia_pixel(p[0], p[1], p[2], dark, light, keep);
  }
  return r;
}

// [SECTION] Mosaic and alpha tables ---------------------------------------------------------------

Rect mosaic(const Page& src, Rect s, Page& dst, int dx, int dy, int block, base::Random& random) {
  if (src.is8bit || dst.is8bit) return {};
  if (s.w <= 0) s.w = 1;
  if (s.h <= 0) s.h = 1;
  if (!clip_two(src, s, dst, dx, dy)) return {};
  int size = std::max(block, 1);
  int x0 = (s.w % size) / 2 - size, y0 = (s.h % size) / 2 - size;
  for (int by = y0; by < s.h; by += size) {
    int top = std::max(by, 0), bottom = std::min(by + size, s.h);
    if (bottom <= top) continue;
    int bh = bottom - top;
    for (int bx = x0; bx < s.w; bx += size) {
      int left = std::max(bx, 0), right = std::min(bx + size, s.w);
      if (right <= left) continue;
      int bw = right - left;
      unsigned sum[3] = {0, 0, 0};
      for (int k = 0; k < 3; ++k) {
        int row = random.next() % bh;
        int col = random.next() % bw;
        const uint8_t* p = px(src, s.x + left + col, s.y + top + row);
        sum[0] += p[0], sum[1] += p[1], sum[2] += p[2];
      }
      uint8_t c[3] = {static_cast<uint8_t>(sum[0] / 3), static_cast<uint8_t>(sum[1] / 3),
                      static_cast<uint8_t>(sum[2] / 3)};
      for (int y = top; y < bottom; ++y) {
        uint8_t* q = px(dst, dx + left, dy + y);
        for (int x = 0; x < bw; ++x, q += 3) q[0] = c[0], q[1] = c[1], q[2] = c[2];
      }
    }
  }
  return {dx, dy, s.w, s.h};
}

void apply_alpha_table(const Page& src, Page& dst, std::span<const int32_t> table) {
  if (!src.is8bit || !dst.is8bit || table.size() < 256) return;
  uint8_t map[256];
  for (int i = 0; i < 256; ++i) map[i] = static_cast<uint8_t>(std::clamp(table[i], 0, 255));
  int w = std::min(src.width, dst.width), h = std::min(src.height, dst.height);
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = src.row(y);
    uint8_t* d = dst.row(y);
    for (int x = 0; x < w; ++x) d[x] = map[s[x]];
  }
}

}  // namespace gfx
