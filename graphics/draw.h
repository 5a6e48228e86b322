// Pixel operations on pages: clipping, copies, blends, fills, scaling,
// rotation, mosaic. The built-ins, sprites, the composer, image loading and
// text output share them.
//
// Transparency t (0..255) is the unit everywhere: 0 shows the source fully,
// 255 not at all. Every blend is an exact integer formula; the vector paths
// give the same bytes as the plain ones.
//
// These routines only change pixels; marking the changed rectangle is the
// caller's business.
#pragma once

#include <cstdint>
#include <span>

#include "graphics/page.h"

namespace base { class Random; }

namespace gfx {

// --- Clipping -------------------------------------------------------------------

// Cuts a rectangle to the page; an empty result becomes (0, 0, 0, 0) and
// returns false.
bool clip_to_page(const Page& page, Rect& r);
// Cuts a source rectangle on `src` and the destination position on `dst`
// together (the destination takes the source's size). False when nothing
// is left.
bool clip_two(const Page& src, Rect& s, const Page& dst, int& dx, int& dy);

// --- Copies (already clipped: s lies in src, (dx, dy, s.w, s.h) in dst) -------------

// 8->8, 24->24, 8->24 through the palette; 24->8 does nothing. Overlapping
// areas of one page are copied as if read first.
void plain_copy(const Page& src, const Rect& s, Page& dst, int dx, int dy);
// Exchanges two areas (8<->8, 24<->24 only).
void swap_areas(Page& a, const Rect& s, Page& b, int dx, int dy);
// One transparency for the whole area: 24->24 and 8->24.
void const_alpha_copy(const Page& src, const Rect& s, Page& dst, int dx, int dy, int t);
// Per-pixel transparency from `alpha` (8-bit, covering s) combined with t,
// into a 24-bit page; merges the transparency into dst's alpha page when it
// has one. Top-down.
void alpha_copy_with(const Page& src, const Page& alpha, const Rect& s, Page& dst, int dx, int dy, int t);
// The same with the source's own alpha page; a plain constant-alpha copy
// when it has none.
void alpha_copy(const Page& src, const Rect& s, Page& dst, int dx, int dy, int t);
// Paints one colour (0x00BBGGRR) through an 8-bit mask into a 24-bit page:
// mask value 0 paints, 255 leaves. Clips itself.
void masked_paste(const Page& mask, Rect s, Page& dst, int dx, int dy, uint32_t colour);

// Nearest-neighbour stretch of rectangle s onto rectangle d (any sizes;
// clips both). Returns the destination area drawn (empty: nothing).
Rect scaled_copy(const Page& src, Rect s, Page& dst, Rect d);
// Rotation by `angle` degrees and scaling about the centres of s and d.
// Writes dst's alpha page too when it has one. Returns the destination
// area that may have changed.
Rect affine_copy(const Page& src, Rect s, Page& dst, Rect d, double angle, double xscale, double yscale);

// --- Fills and filters (rectangles are clipped here) ------------------------------------

// -1 outside the page.
int64_t point_get(const Page& page, int x, int y);
bool point_set(Page& page, int x, int y, uint32_t colour);
Rect box_fill(Page& page, Rect r, uint32_t colour);
Rect ext_box_fill(Page& page, Rect r, uint32_t colour, int t);
Rect mul_box_fill(Page& page, Rect r, uint32_t colour);   // 24-bit
Rect reverse(Page& page, Rect r);                         // 24-bit
// On 8-bit pages the palette is changed instead (keep < 0: no keep).
Rect sepia(Page& page, Rect r, uint32_t dark, uint32_t light, int keep);
// Block averages of three random samples; both pages 24-bit. Returns the
// destination area.
Rect mosaic(const Page& src, Rect s, Page& dst, int dx, int dy, int block, base::Random& random);
// dst = table[src] over the common area of two 8-bit pages (values
// clamped to 0..255). The table has at least 256 entries.
void apply_alpha_table(const Page& src, Page& dst, std::span<const int32_t> table);

// --- Row kernels (exposed for the tests that hold the vector paths to the plain ones) -----

namespace kernels {
// dst = ((257 - w) * src + w * dst) >> 8 per byte, w = weight[pixel] + 1,
// over `pixels` 3-byte pixels.
void blend_weighted(uint8_t* dst, const uint8_t* src, const uint8_t* weight, int pixels);
void blend_weighted_plain(uint8_t* dst, const uint8_t* src, const uint8_t* weight, int pixels);
// The same with one weight for every byte.
void blend_const(uint8_t* dst, const uint8_t* src, int bytes, int w);
void blend_const_plain(uint8_t* dst, const uint8_t* src, int bytes, int w);
// Weight bytes of the alpha copy: transparency a and t give 255 (keep dst)
// when a + t >= 254, 0 (take src) when a + t <= 1, else a + t.
void alpha_weights(uint8_t* weight, const uint8_t* alpha, int pixels, int t);
void alpha_weights_plain(uint8_t* weight, const uint8_t* alpha, int pixels, int t);
// dstA = (dstA * (srcA + 1)) >> 8.
void merge_alpha(uint8_t* dst_alpha, const uint8_t* src_alpha, int pixels);
void merge_alpha_plain(uint8_t* dst_alpha, const uint8_t* src_alpha, int pixels);
// Whether the vector paths are in use on this processor.
bool vector_paths();
}  // namespace kernels

}  // namespace gfx
