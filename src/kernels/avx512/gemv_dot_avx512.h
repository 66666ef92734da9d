// The dot form of REAL(8) GEMV for AVX-512: eight columns' sums side by
// side, one per vector lane.  Each step multiplies an 8 x 8 block of A (8
// rows of 8 columns) by the matching x elements column by column,
// transposes the products so that vector r holds row r's products of the
// eight columns, and adds rows 0..7 in order: every lane's sum is
// temp := temp + A(i, j)*x(i) for i = 1..m in order, as in the scalar code.
// Included by the AVX-512 kernel set only.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <type_traits>

#include "kernels/blas_access.h"
#include "kernels/gemv_sets.h"

// GCC 12 warns about the intrinsics' own undefined start values.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace mox2::kernels::avx512 {

// Row r of the result holds element r of every input: q[r][k] = p[k][r].
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

// x(i..i+7) as one vector.
template <class Mem> inline __m512d load_x8(const GemvBlock<double> &g, std::ptrdiff_t i) {
  if (g.incx == 1) return _mm512_loadu_pd(g.x + i);
  const double *p = g.x + i * g.incx;
  const std::ptrdiff_t s = g.incx;
  return _mm512_set_pd(Mem::ld(p + 7 * s), Mem::ld(p + 6 * s), Mem::ld(p + 5 * s),
                       Mem::ld(p + 4 * s), Mem::ld(p + 3 * s), Mem::ld(p + 2 * s), Mem::ld(p + s),
                       Mem::ld(p));
}

// Columns j .. j + 7.  (More groups of eight at once, with independent
// chains, measured slower: the column streams, not the adder, limit.)
template <class Mem> void dot_columns_8(const GemvBlock<double> &g, std::ptrdiff_t j) {
  const std::ptrdiff_t m = g.m, m8 = m - m % 8, lda = g.lda;
  const double *c = g.a + j * lda;
  __m512d acc = _mm512_setzero_pd();
  for (std::ptrdiff_t i = 0; i < m8; i += 8) {
    const __m512d xv = load_x8<Mem>(g, i);
    __m512d p[8];
    for (int k = 0; k < 8; ++k)
      p[k] = _mm512_mul_pd(_mm512_loadu_pd(c + k * lda + i), xv);
    transpose_8x8(p);
    for (int r = 0; r < 8; ++r)
      acc = _mm512_add_pd(acc, p[r]);
  }
  double s[8];
  _mm512_storeu_pd(s, acc);
  for (std::ptrdiff_t i = m8; i < m; ++i) {
    const double xi = Mem::ld(g.x + i * g.incx);
    for (int k = 0; k < 8; ++k)
      s[k] = s[k] + Mem::ld(c + k * lda + i) * xi;
  }
  for (int k = 0; k < 8; ++k) {
    double *yj = g.y + (j + k) * g.incy;
    Mem::st(yj, Mem::ld(yj) + g.alpha * s[k]);
  }
}

// The leading columns done here, a multiple of 8 (REAL(8) only).
template <class T, class Mem> std::ptrdiff_t dot_form_wide(const GemvBlock<T> &g) {
  if constexpr (std::is_same_v<T, double>) {
    std::ptrdiff_t j = 0;
    for (; j + 8 <= g.n; j += 8)
      dot_columns_8<Mem>(g, j);
    return j;
  } else {
    return 0;
  }
}

} // namespace mox2::kernels::avx512

#pragma GCC diagnostic pop
