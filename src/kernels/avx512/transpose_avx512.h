// Transposing copies of eight rows, for packing operands (AVX-512).
#pragma once

#include <immintrin.h>

#include <cstddef>

namespace mox2::kernels::avx512 {

// dst[t*dst_ld + s] := src[s*ld + t] for s < 8, t < 8: interleave pairs
// of rows, then quadruples, then halves.
inline void transpose_8x8(const double *src, std::ptrdiff_t ld, double *dst,
                          std::ptrdiff_t dst_ld = 8) {
  auto lanes = [](long e0, long e1, long e2, long e3, long e4, long e5, long e6, long e7) {
    return _mm512_set_epi64(e7, e6, e5, e4, e3, e2, e1, e0);
  };
  const __m512i pair_even = lanes(0, 8, 2, 10, 4, 12, 6, 14);
  const __m512i pair_odd = lanes(1, 9, 3, 11, 5, 13, 7, 15);
  const __m512i quad_low = lanes(0, 1, 8, 9, 4, 5, 12, 13);
  const __m512i quad_high = lanes(2, 3, 10, 11, 6, 7, 14, 15);
  const __m512i half_low = lanes(0, 1, 2, 3, 8, 9, 10, 11);
  const __m512i half_high = lanes(4, 5, 6, 7, 12, 13, 14, 15);
  __m512d r[8], t[8];
  for (int s = 0; s < 8; ++s)
    r[s] = _mm512_loadu_pd(src + s * ld);
  for (int s = 0; s < 8; s += 2) {
    t[s] = _mm512_permutex2var_pd(r[s], pair_even, r[s + 1]);    // t = 0, 2, 4, 6
    t[s + 1] = _mm512_permutex2var_pd(r[s], pair_odd, r[s + 1]); // t = 1, 3, 5, 7
  }
  for (int odd = 0; odd < 2; ++odd) {
    // Rows 0..3 and 4..7 at t = odd + (0 | 4) and odd + (2 | 6).
    __m512d v0 = _mm512_permutex2var_pd(t[odd], quad_low, t[odd + 2]);
    __m512d v1 = _mm512_permutex2var_pd(t[odd], quad_high, t[odd + 2]);
    __m512d w0 = _mm512_permutex2var_pd(t[odd + 4], quad_low, t[odd + 6]);
    __m512d w1 = _mm512_permutex2var_pd(t[odd + 4], quad_high, t[odd + 6]);
    _mm512_storeu_pd(dst + (0 + odd) * dst_ld, _mm512_permutex2var_pd(v0, half_low, w0));
    _mm512_storeu_pd(dst + (4 + odd) * dst_ld, _mm512_permutex2var_pd(v0, half_high, w0));
    _mm512_storeu_pd(dst + (2 + odd) * dst_ld, _mm512_permutex2var_pd(v1, half_low, w1));
    _mm512_storeu_pd(dst + (6 + odd) * dst_ld, _mm512_permutex2var_pd(v1, half_high, w1));
  }
}

// dst[t*dst_ld + s] := src[s*ld + t] for s < 8, t < 16, as two 8 x 8
// transposes of 256-bit rows.
inline void transpose_8x16(const float *src, std::ptrdiff_t ld, float *dst,
                           std::ptrdiff_t dst_ld = 8) {
  for (int half = 0; half < 2; ++half) {
    __m256 r[8], t[8], u[8];
    for (int s = 0; s < 8; ++s)
      r[s] = _mm256_loadu_ps(src + s * ld + 8 * half);
    for (int s = 0; s < 8; s += 2) {
      t[s] = _mm256_unpacklo_ps(r[s], r[s + 1]);     // t = 0, 1 | 4, 5 of rows s, s+1
      t[s + 1] = _mm256_unpackhi_ps(r[s], r[s + 1]); // t = 2, 3 | 6, 7
    }
    for (int g = 0; g < 8; g += 4) {                                             // rows g..g+3
      u[g] = _mm256_shuffle_ps(t[g], t[g + 2], _MM_SHUFFLE(1, 0, 1, 0));         // t = 0 | 4
      u[g + 1] = _mm256_shuffle_ps(t[g], t[g + 2], _MM_SHUFFLE(3, 2, 3, 2));     // t = 1 | 5
      u[g + 2] = _mm256_shuffle_ps(t[g + 1], t[g + 3], _MM_SHUFFLE(1, 0, 1, 0)); // t = 2 | 6
      u[g + 3] = _mm256_shuffle_ps(t[g + 1], t[g + 3], _MM_SHUFFLE(3, 2, 3, 2)); // t = 3 | 7
    }
    float *d = dst + 8 * half * dst_ld;
    for (int q = 0; q < 4; ++q) {
      _mm256_storeu_ps(d + q * dst_ld, _mm256_permute2f128_ps(u[q], u[q + 4], 0x20));
      _mm256_storeu_ps(d + (q + 4) * dst_ld, _mm256_permute2f128_ps(u[q], u[q + 4], 0x31));
    }
  }
}

// In registers: row r of the result holds 64-bit unit r of every input,
// q[r][k] = p[k][r].
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized" // the intrinsics' own undefined starts
#pragma GCC diagnostic ignored "-Wuninitialized"
inline void transpose_8x8(__m512d p[8]) {
  __m512d t[8], u[8];
  for (int k = 0; k < 8; k += 2) {
    t[k] = _mm512_unpacklo_pd(p[k], p[k + 1]);
    t[k + 1] = _mm512_unpackhi_pd(p[k], p[k + 1]);
  }
  u[0] = _mm512_shuffle_f64x2(t[0], t[2], 0x88);
  u[1] = _mm512_shuffle_f64x2(t[1], t[3], 0x88);
  u[2] = _mm512_shuffle_f64x2(t[0], t[2], 0xdd);
  u[3] = _mm512_shuffle_f64x2(t[1], t[3], 0xdd);
  u[4] = _mm512_shuffle_f64x2(t[4], t[6], 0x88);
  u[5] = _mm512_shuffle_f64x2(t[5], t[7], 0x88);
  u[6] = _mm512_shuffle_f64x2(t[4], t[6], 0xdd);
  u[7] = _mm512_shuffle_f64x2(t[5], t[7], 0xdd);
  for (int r = 0; r < 4; ++r) {
    p[r] = _mm512_shuffle_f64x2(u[r], u[r + 4], 0x88);
    p[r + 4] = _mm512_shuffle_f64x2(u[r], u[r + 4], 0xdd);
  }
}
// Row r of the result holds element r of every input: q[r][k] = p[k][r].
inline void transpose_16x16(__m512 p[16]) {
  __m512 t[16], u[16];
  for (int k = 0; k < 16; k += 2) {
    t[k] = _mm512_unpacklo_ps(p[k], p[k + 1]);
    t[k + 1] = _mm512_unpackhi_ps(p[k], p[k + 1]);
  }
  // u[4g + e], 128-bit block l: row 4l + e of columns 4g .. 4g + 3.
  for (int g = 0; g < 16; g += 4) {
    __m512d lo = _mm512_castps_pd(t[g]), hi = _mm512_castps_pd(t[g + 1]);
    __m512d lo2 = _mm512_castps_pd(t[g + 2]), hi2 = _mm512_castps_pd(t[g + 3]);
    u[g] = _mm512_castpd_ps(_mm512_unpacklo_pd(lo, lo2));
    u[g + 1] = _mm512_castpd_ps(_mm512_unpackhi_pd(lo, lo2));
    u[g + 2] = _mm512_castpd_ps(_mm512_unpacklo_pd(hi, hi2));
    u[g + 3] = _mm512_castpd_ps(_mm512_unpackhi_pd(hi, hi2));
  }
  for (int e = 0; e < 4; ++e) {
    __m512 v = _mm512_shuffle_f32x4(u[e], u[4 + e], 0x88);
    __m512 w = _mm512_shuffle_f32x4(u[e], u[4 + e], 0xdd);
    __m512 v2 = _mm512_shuffle_f32x4(u[8 + e], u[12 + e], 0x88);
    __m512 w2 = _mm512_shuffle_f32x4(u[8 + e], u[12 + e], 0xdd);
    p[e] = _mm512_shuffle_f32x4(v, v2, 0x88);
    p[8 + e] = _mm512_shuffle_f32x4(v, v2, 0xdd);
    p[4 + e] = _mm512_shuffle_f32x4(w, w2, 0x88);
    p[12 + e] = _mm512_shuffle_f32x4(w, w2, 0xdd);
  }
}

// p[t], lane s := src[s*ld + t] for s, t < 16, in registers.
inline void transposed_16x16(const float *src, std::ptrdiff_t ld, __m512 p[16]) {
  for (int s = 0; s < 16; ++s)
    p[s] = _mm512_loadu_ps(src + s * ld);
  transpose_16x16(p);
}

// The same for REAL(8): s, t < 8.
inline void transposed_8x8(const double *src, std::ptrdiff_t ld, __m512d p[8]) {
  for (int s = 0; s < 8; ++s)
    p[s] = _mm512_loadu_pd(src + s * ld);
  transpose_8x8(p);
}

// p[t], lane s := s < cols && t < rows ? src[s*ld + t] : +0 for s, t < 16
// (rows, cols <= 16), in registers; nothing past the first rows values of
// the first cols columns is read.
inline void transposed_16x16(const float *src, std::ptrdiff_t ld, int cols, int rows,
                             __m512 p[16]) {
  const __mmask16 live = static_cast<__mmask16>((1u << rows) - 1);
  for (int s = 0; s < 16; ++s)
    p[s] = s < cols ? _mm512_maskz_loadu_ps(live, src + s * ld) : _mm512_setzero_ps();
  transpose_16x16(p);
}

// The same for REAL(8): s, t < 8 (rows, cols <= 8).
inline void transposed_8x8(const double *src, std::ptrdiff_t ld, int cols, int rows, __m512d p[8]) {
  const __mmask8 live = static_cast<__mmask8>((1u << rows) - 1);
  for (int s = 0; s < 8; ++s)
    p[s] = s < cols ? _mm512_maskz_loadu_pd(live, src + s * ld) : _mm512_setzero_pd();
  transpose_8x8(p);
}
#pragma GCC diagnostic pop

} // namespace mox2::kernels::avx512
