// Transposing copies of four rows, for packing operands (AVX2).
#pragma once

#include <immintrin.h>

#include <cstddef>

namespace mox2::kernels::avx2 {

// dst[t*dst_ld + s] := src[s*ld + t] for s < 4, t < 4: interleave pairs of
// rows, then swap the halves across.
inline void transpose_4x4(const double *src, std::ptrdiff_t ld, double *dst,
                          std::ptrdiff_t dst_ld) {
  const __m256d r0 = _mm256_loadu_pd(src), r1 = _mm256_loadu_pd(src + ld);
  const __m256d r2 = _mm256_loadu_pd(src + 2 * ld), r3 = _mm256_loadu_pd(src + 3 * ld);
  const __m256d t0 = _mm256_unpacklo_pd(r0, r1), t1 = _mm256_unpackhi_pd(r0, r1); // t = 0 2, 1 3
  const __m256d t2 = _mm256_unpacklo_pd(r2, r3), t3 = _mm256_unpackhi_pd(r2, r3);
  _mm256_storeu_pd(dst, _mm256_permute2f128_pd(t0, t2, 0x20));
  _mm256_storeu_pd(dst + dst_ld, _mm256_permute2f128_pd(t1, t3, 0x20));
  _mm256_storeu_pd(dst + 2 * dst_ld, _mm256_permute2f128_pd(t0, t2, 0x31));
  _mm256_storeu_pd(dst + 3 * dst_ld, _mm256_permute2f128_pd(t1, t3, 0x31));
}

// dst[t*dst_ld + s] := src[s*ld + t] for s < 4, t < 8: interleave pairs of
// rows, then pairs of pairs; each half of a vector holds one t.
inline void transpose_4x8(const float *src, std::ptrdiff_t ld, float *dst, std::ptrdiff_t dst_ld) {
  const __m256 r0 = _mm256_loadu_ps(src), r1 = _mm256_loadu_ps(src + ld);
  const __m256 r2 = _mm256_loadu_ps(src + 2 * ld), r3 = _mm256_loadu_ps(src + 3 * ld);
  const __m256 t0 = _mm256_unpacklo_ps(r0, r1), t1 = _mm256_unpackhi_ps(r0, r1);
  const __m256 t2 = _mm256_unpacklo_ps(r2, r3), t3 = _mm256_unpackhi_ps(r2, r3);
  const __m256 q[4] = {_mm256_shuffle_ps(t0, t2, 0x44), _mm256_shuffle_ps(t0, t2, 0xEE),
                       _mm256_shuffle_ps(t1, t3, 0x44), _mm256_shuffle_ps(t1, t3, 0xEE)};
  for (int t = 0; t < 4; ++t) {
    _mm_storeu_ps(dst + t * dst_ld, _mm256_castps256_ps128(q[t]));
    _mm_storeu_ps(dst + (t + 4) * dst_ld, _mm256_extractf128_ps(q[t], 1));
  }
}

} // namespace mox2::kernels::avx2
