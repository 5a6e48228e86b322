// Row kernels of the blends, each in a plain form and, on x86-64, a vector
// form chosen once from the processor's features. Both compute
//   ((257 - w) * src + w * dst) >> 8   with w in 1..256,
// whose largest value 257 * 255 fits 16 bits exactly, so 16-bit lanes give
// the same bytes as the plain loop.
#include <cstring>

#include "graphics/draw.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QUOREL_X86 1
#endif

namespace gfx::kernels {

// --- Plain forms ------------------------------------------------------------------

void blend_weighted_plain(uint8_t* dst, const uint8_t* src, const uint8_t* weight, int pixels) {
  for (int p = 0; p < pixels; ++p) {
    unsigned w = weight[p] + 1u, iw = 257u - w;
    uint8_t* d = dst + 3 * p;
    const uint8_t* s = src + 3 * p;
    d[0] = static_cast<uint8_t>((iw * s[0] + w * d[0]) >> 8);
    d[1] = static_cast<uint8_t>((iw * s[1] + w * d[1]) >> 8);
    d[2] = static_cast<uint8_t>((iw * s[2] + w * d[2]) >> 8);
  }
}

void blend_const_plain(uint8_t* dst, const uint8_t* src, int bytes, int w) {
  unsigned uw = static_cast<unsigned>(w), iw = 257u - uw;
  for (int i = 0; i < bytes; ++i) dst[i] = static_cast<uint8_t>((iw * src[i] + uw * dst[i]) >> 8);
}

void alpha_weights_plain(uint8_t* weight, const uint8_t* alpha, int pixels, int t) {
  for (int p = 0; p < pixels; ++p) {
    int v = alpha[p] + t;
    weight[p] = v >= 254 ? 255 : v <= 1 ? 0 : static_cast<uint8_t>(v);
  }
}

void merge_alpha_plain(uint8_t* dst_alpha, const uint8_t* src_alpha, int pixels) {
  for (int p = 0; p < pixels; ++p) dst_alpha[p] = static_cast<uint8_t>((dst_alpha[p] * (src_alpha[p] + 1u)) >> 8);
}

#ifdef QUOREL_X86

// --- Vector forms -------------------------------------------------------------------

namespace {

// 16 bytes of src and dst with 16 weights (w - 1 each) in 16-bit lanes.
__attribute__((target("sse2"))) inline __m128i blend16(__m128i s, __m128i d, __m128i w8) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = _mm_set1_epi16(1);
  const __m128i c257 = _mm_set1_epi16(257);
  __m128i wl = _mm_add_epi16(_mm_unpacklo_epi8(w8, zero), one);
  __m128i wh = _mm_add_epi16(_mm_unpackhi_epi8(w8, zero), one);
  __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_sub_epi16(c257, wl), _mm_unpacklo_epi8(s, zero)),
                             _mm_mullo_epi16(wl, _mm_unpacklo_epi8(d, zero)));
  __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_sub_epi16(c257, wh), _mm_unpackhi_epi8(s, zero)),
                             _mm_mullo_epi16(wh, _mm_unpackhi_epi8(d, zero)));
  return _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8));
}

__attribute__((target("ssse3"))) void blend_weighted_ssse3(uint8_t* dst, const uint8_t* src, const uint8_t* weight,
                                                           int pixels) {
  // Each pixel's weight repeated for its three bytes.
  const __m128i spread0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
  const __m128i spread1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
  const __m128i spread2 = _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
  const __m128i all = _mm_set1_epi8(static_cast<char>(0xFF));
  int p = 0;
  for (; p + 16 <= pixels; p += 16) {
    __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weight + p));
    int keep = _mm_movemask_epi8(_mm_cmpeq_epi8(w, all));
    if (keep == 0xFFFF) continue;
    uint8_t* d = dst + 3 * p;
    const uint8_t* s = src + 3 * p;
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(w, _mm_setzero_si128())) == 0xFFFF) {
      std::memcpy(d, s, 48);
      continue;
    }
    __m128i* dv = reinterpret_cast<__m128i*>(d);
    const __m128i* sv = reinterpret_cast<const __m128i*>(s);
    _mm_storeu_si128(dv + 0, blend16(_mm_loadu_si128(sv + 0), _mm_loadu_si128(dv + 0), _mm_shuffle_epi8(w, spread0)));
    _mm_storeu_si128(dv + 1, blend16(_mm_loadu_si128(sv + 1), _mm_loadu_si128(dv + 1), _mm_shuffle_epi8(w, spread1)));
    _mm_storeu_si128(dv + 2, blend16(_mm_loadu_si128(sv + 2), _mm_loadu_si128(dv + 2), _mm_shuffle_epi8(w, spread2)));
  }
  blend_weighted_plain(dst + 3 * p, src + 3 * p, weight + p, pixels - p);
}

// The same 16 pixels at a time with the arithmetic in 256-bit lanes: each
// 16-byte chunk widened to sixteen 16-bit values at once.
__attribute__((target("avx2"))) inline __m128i blend16_avx2(__m128i s, __m128i d, __m128i w8) {
  const __m256i one = _mm256_set1_epi16(1);
  const __m256i c257 = _mm256_set1_epi16(257);
  __m256i w = _mm256_add_epi16(_mm256_cvtepu8_epi16(w8), one);
  __m256i r = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_sub_epi16(c257, w), _mm256_cvtepu8_epi16(s)),
                               _mm256_mullo_epi16(w, _mm256_cvtepu8_epi16(d)));
  r = _mm256_srli_epi16(r, 8);
  return _mm_packus_epi16(_mm256_castsi256_si128(r), _mm256_extracti128_si256(r, 1));
}

__attribute__((target("avx2"))) void blend_weighted_avx2(uint8_t* dst, const uint8_t* src, const uint8_t* weight,
                                                         int pixels) {
  const __m128i spread0 = _mm_setr_epi8(0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5);
  const __m128i spread1 = _mm_setr_epi8(5, 5, 6, 6, 6, 7, 7, 7, 8, 8, 8, 9, 9, 9, 10, 10);
  const __m128i spread2 = _mm_setr_epi8(10, 11, 11, 11, 12, 12, 12, 13, 13, 13, 14, 14, 14, 15, 15, 15);
  const __m128i all = _mm_set1_epi8(static_cast<char>(0xFF));
  int p = 0;
  for (; p + 16 <= pixels; p += 16) {
    __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weight + p));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(w, all)) == 0xFFFF) continue;
    uint8_t* d = dst + 3 * p;
    const uint8_t* s = src + 3 * p;
    __m128i* dv = reinterpret_cast<__m128i*>(d);
    const __m128i* sv = reinterpret_cast<const __m128i*>(s);
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(w, _mm_setzero_si128())) == 0xFFFF) {
      // Opaque: a copy, without a call.
      __m128i s0 = _mm_loadu_si128(sv + 0), s1 = _mm_loadu_si128(sv + 1), s2 = _mm_loadu_si128(sv + 2);
      _mm_storeu_si128(dv + 0, s0), _mm_storeu_si128(dv + 1, s1), _mm_storeu_si128(dv + 2, s2);
      continue;
    }
    __m128i d0 = _mm_loadu_si128(dv + 0), d1 = _mm_loadu_si128(dv + 1), d2 = _mm_loadu_si128(dv + 2);
    _mm_storeu_si128(dv + 0, blend16_avx2(_mm_loadu_si128(sv + 0), d0, _mm_shuffle_epi8(w, spread0)));
    _mm_storeu_si128(dv + 1, blend16_avx2(_mm_loadu_si128(sv + 1), d1, _mm_shuffle_epi8(w, spread1)));
    _mm_storeu_si128(dv + 2, blend16_avx2(_mm_loadu_si128(sv + 2), d2, _mm_shuffle_epi8(w, spread2)));
  }
  blend_weighted_plain(dst + 3 * p, src + 3 * p, weight + p, pixels - p);
}

__attribute__((target("sse2"))) void blend_const_sse2(uint8_t* dst, const uint8_t* src, int bytes, int w) {
  const __m128i w8 = _mm_set1_epi8(static_cast<char>(w - 1));
  int i = 0;
  for (; i + 16 <= bytes; i += 16) {
    __m128i* d = reinterpret_cast<__m128i*>(dst + i);
    _mm_storeu_si128(d, blend16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), _mm_loadu_si128(d), w8));
  }
  blend_const_plain(dst + i, src + i, bytes - i, w);
}

__attribute__((target("sse2"))) void alpha_weights_sse2(uint8_t* weight, const uint8_t* alpha, int pixels, int t) {
  const __m128i tv = _mm_set1_epi8(static_cast<char>(t));
  const __m128i high = _mm_set1_epi8(static_cast<char>(254));
  const __m128i low = _mm_set1_epi8(1);
  int p = 0;
  for (; p + 16 <= pixels; p += 16) {
    __m128i v = _mm_adds_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(alpha + p)), tv);
    v = _mm_or_si128(v, _mm_cmpeq_epi8(_mm_max_epu8(v, high), v));   // >= 254: 255
    v = _mm_andnot_si128(_mm_cmpeq_epi8(_mm_min_epu8(v, low), v), v);  // <= 1: 0
    _mm_storeu_si128(reinterpret_cast<__m128i*>(weight + p), v);
  }
  alpha_weights_plain(weight + p, alpha + p, pixels - p, t);
}

__attribute__((target("sse2"))) void merge_alpha_sse2(uint8_t* dst_alpha, const uint8_t* src_alpha, int pixels) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i one = _mm_set1_epi16(1);
  int p = 0;
  for (; p + 16 <= pixels; p += 16) {
    __m128i* dv = reinterpret_cast<__m128i*>(dst_alpha + p);
    __m128i d = _mm_loadu_si128(dv);
    __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src_alpha + p));
    __m128i lo = _mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), _mm_add_epi16(_mm_unpacklo_epi8(s, zero), one));
    __m128i hi = _mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), _mm_add_epi16(_mm_unpackhi_epi8(s, zero), one));
    _mm_storeu_si128(dv, _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8)));
  }
  merge_alpha_plain(dst_alpha + p, src_alpha + p, pixels - p);
}

bool has_ssse3() {
  static const bool yes = __builtin_cpu_supports("ssse3");
  return yes;
}

bool has_avx2() {
  static const bool yes = __builtin_cpu_supports("avx2");
  return yes;
}

}  // namespace

bool vector_paths() { return has_ssse3(); }

void blend_weighted(uint8_t* dst, const uint8_t* src, const uint8_t* weight, int pixels) {
  if (has_avx2()) return blend_weighted_avx2(dst, src, weight, pixels);
  if (has_ssse3()) return blend_weighted_ssse3(dst, src, weight, pixels);
  blend_weighted_plain(dst, src, weight, pixels);
}
void blend_const(uint8_t* dst, const uint8_t* src, int bytes, int w) { blend_const_sse2(dst, src, bytes, w); }
void alpha_weights(uint8_t* weight, const uint8_t* alpha, int pixels, int t) {
  alpha_weights_sse2(weight, alpha, pixels, t);
}
void merge_alpha(uint8_t* dst_alpha, const uint8_t* src_alpha, int pixels) {
  merge_alpha_sse2(dst_alpha, src_alpha, pixels);
}

#else

bool vector_paths() { return false; }
void blend_weighted(uint8_t* dst, const uint8_t* src, const uint8_t* weight, int pixels) {
  blend_weighted_plain(dst, src, weight, pixels);
}
void blend_const(uint8_t* dst, const uint8_t* src, int bytes, int w) { blend_const_plain(dst, src, bytes, w); }
void alpha_weights(uint8_t* weight, const uint8_t* alpha, int pixels, int t) {
  alpha_weights_plain(weight, alpha, pixels, t);
}
void merge_alpha(uint8_t* dst_alpha, const uint8_t* src_alpha, int pixels) {
  merge_alpha_plain(dst_alpha, src_alpha, pixels);
}

#endif

}  // namespace gfx::kernels
