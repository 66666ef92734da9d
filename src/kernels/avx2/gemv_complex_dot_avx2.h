// The dot forms (A^T, A^H) of the complex GEMV routines for AVX2: several
// columns' sums side by side, one complex lane pair per column.  Every
// lane keeps the scalar order: temp := temp + op(A)(j, i)*x(i) for
// i = 1..m, each product (ac - bd) + i(ad + bc) in the part precision
// (the single form of the COMPLEX(4) column pairs).  Included by the AVX2
// kernel set only; AVX2 has no fused multiply-add (built with -mno-fma).
// Every column stream touches the page two ahead once per page
// (page_touch.h).  The AVX2 set's complex routines serve the AVX-512 set
// too (whose COMPLEX(4) GEMV takes its own column groups first).
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "kernels/blas_access.h"
#include "kernels/gemv/gemv_sets.h"
#include "kernels/page_touch.h"

namespace mox2::kernels::avx2 {

// (q * x) for lanes q holding (re, im) pairs and x given as its broadcast
// real and imaginary parts: (q.re*x.re - q.im*x.im, q.im*x.re + q.re*x.im).
inline __m256d complex_times(__m256d q, __m256d xr, __m256d xi) {
  return _mm256_addsub_pd(_mm256_mul_pd(q, xr), _mm256_mul_pd(_mm256_permute_pd(q, 0x5), xi));
}
inline __m256 complex_times(__m256 q, __m256 xr, __m256 xi) {
  return _mm256_addsub_ps(_mm256_mul_ps(q, xr), _mm256_mul_ps(_mm256_permute_ps(q, 0xB1), xi));
}

// COMPLEX(8): columns j .. j + 2U - 1, U vectors of two columns each.
template <int U, Op kOp, class Mem> void dot_columns_z(const GemvBlock<c16> &g, std::ptrdiff_t j) {
  const std::ptrdiff_t m = g.m, lda = 2 * g.a.step;
  const double *c = reinterpret_cast<const double *>(g.a.p + j * g.a.step);
  const __m256d flip =
      kOp == Op::conjugated ? _mm256_set_pd(-0.0, 0.0, -0.0, 0.0) : _mm256_setzero_pd();
  __m256d acc[U];
  for (int u = 0; u < U; ++u)
    acc[u] = _mm256_setzero_pd();
  std::ptrdiff_t i = 0;
  for (; i + 2 <= m; i += 2) {
    if (i % kPageRows<c16> == 0)
      for (int k = 0; k < 2 * U; ++k)
        touch_two_pages_ahead(c + k * lda + 2 * i);
    const c16 x0 = Mem::ld(g.x.p + i * g.x.step), x1 = Mem::ld(g.x.p + (i + 1) * g.x.step);
    const __m256d x0r = _mm256_set1_pd(x0.re), x0i = _mm256_set1_pd(x0.im);
    const __m256d x1r = _mm256_set1_pd(x1.re), x1i = _mm256_set1_pd(x1.im);
    __m256d row1[U];
    for (int u = 0; u < U; ++u) {
      // a, b: rows i and i+1 of columns 2u and 2u + 1.
      const __m256d a = _mm256_loadu_pd(c + 2 * u * lda + 2 * i);
      const __m256d b = _mm256_loadu_pd(c + (2 * u + 1) * lda + 2 * i);
      const __m256d row0 = _mm256_xor_pd(_mm256_permute2f128_pd(a, b, 0x20), flip);
      row1[u] = _mm256_xor_pd(_mm256_permute2f128_pd(a, b, 0x31), flip);
      acc[u] = _mm256_add_pd(acc[u], complex_times(row0, x0r, x0i));
    }
    for (int u = 0; u < U; ++u)
      acc[u] = _mm256_add_pd(acc[u], complex_times(row1[u], x1r, x1i));
  }
  if (i < m) {
    const c16 x0 = Mem::ld(g.x.p + i * g.x.step);
    const __m256d x0r = _mm256_set1_pd(x0.re), x0i = _mm256_set1_pd(x0.im);
    for (int u = 0; u < U; ++u) {
      const __m256d row0 =
          _mm256_xor_pd(_mm256_set_m128d(_mm_loadu_pd(c + (2 * u + 1) * lda + 2 * i),
                                         _mm_loadu_pd(c + 2 * u * lda + 2 * i)),
                        flip);
      acc[u] = _mm256_add_pd(acc[u], complex_times(row0, x0r, x0i));
    }
  }
  c16 s[2 * U];
  for (int u = 0; u < U; ++u)
    _mm256_storeu_pd(reinterpret_cast<double *>(s + 2 * u), acc[u]);
  for (int k = 0; k < 2 * U; ++k) {
    c16 *yj = g.y.p + (j + k) * g.y.step;
    Mem::st(yj, add(Mem::ld(yj), mul(g.alpha, s[k])));
  }
}

// COMPLEX(4): columns j .. j + 4U - 1, U vectors of four columns each;
// four rows per step, transposed as 64-bit units.
template <int U, Op kOp, class Mem> void dot_columns_c(const GemvBlock<c8> &g, std::ptrdiff_t j) {
  const std::ptrdiff_t m = g.m, lda = 2 * g.a.step;
  const float *c = reinterpret_cast<const float *>(g.a.p + j * g.a.step);
  const __m256 flip = kOp == Op::conjugated
                          ? _mm256_set_ps(-0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f, -0.0f, 0.0f)
                          : _mm256_setzero_ps();
  __m256 acc[U];
  for (int u = 0; u < U; ++u)
    acc[u] = _mm256_setzero_ps();
  std::ptrdiff_t i = 0;
  for (; i + 4 <= m; i += 4) {
    if (i % kPageRows<c8> == 0)
      for (int k = 0; k < 4 * U; ++k)
        touch_two_pages_ahead(c + k * lda + 2 * i);
    __m256 xr[4], xi[4];
    for (int r = 0; r < 4; ++r) {
      const c8 xv = Mem::ld(g.x.p + (i + r) * g.x.step);
      xr[r] = _mm256_set1_ps(xv.re);
      xi[r] = _mm256_set1_ps(xv.im);
    }
    __m256 rows[U][4];
    for (int u = 0; u < U; ++u) {
      __m256d a[4];
      for (int k = 0; k < 4; ++k)
        a[k] = _mm256_castps_pd(_mm256_loadu_ps(c + (4 * u + k) * lda + 2 * i));
      const __m256d t0 = _mm256_unpacklo_pd(a[0], a[1]), t1 = _mm256_unpackhi_pd(a[0], a[1]);
      const __m256d t2 = _mm256_unpacklo_pd(a[2], a[3]), t3 = _mm256_unpackhi_pd(a[2], a[3]);
      rows[u][0] = _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x20));
      rows[u][1] = _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x20));
      rows[u][2] = _mm256_castpd_ps(_mm256_permute2f128_pd(t0, t2, 0x31));
      rows[u][3] = _mm256_castpd_ps(_mm256_permute2f128_pd(t1, t3, 0x31));
    }
    for (int r = 0; r < 4; ++r)
      for (int u = 0; u < U; ++u)
        acc[u] =
            _mm256_add_ps(acc[u], complex_times(_mm256_xor_ps(rows[u][r], flip), xr[r], xi[r]));
  }
  for (; i < m; ++i) {
    const c8 xv = Mem::ld(g.x.p + i * g.x.step);
    const __m256 xr = _mm256_set1_ps(xv.re), xi = _mm256_set1_ps(xv.im);
    for (int u = 0; u < U; ++u) {
      double e[4]; // each element's 8 bytes, which are only 4-byte aligned
      for (int k = 0; k < 4; ++k)
        std::memcpy(&e[k], c + (4 * u + k) * lda + 2 * i, sizeof e[k]);
      const __m256 row = _mm256_castpd_ps(_mm256_set_pd(e[3], e[2], e[1], e[0]));
      acc[u] = _mm256_add_ps(acc[u], complex_times(_mm256_xor_ps(row, flip), xr, xi));
    }
  }
  c8 s[4 * U];
  for (int u = 0; u < U; ++u)
    _mm256_storeu_ps(reinterpret_cast<float *>(s + 4 * u), acc[u]);
  for (int k = 0; k < 4 * U; ++k) {
    c8 *yj = g.y.p + (j + k) * g.y.step;
    Mem::st(yj, add(Mem::ld(yj), mul(g.alpha, s[k])));
  }
}

// Columns j0 .. done here with the single-form products; returns how many
// (an even number, so that the column pairs that follow stay pairs).
template <Op kOp, class C, class Mem>
std::ptrdiff_t complex_dot_form_wide(const GemvBlock<C> &g, std::ptrdiff_t j0) {
  std::ptrdiff_t j = j0;
  if constexpr (std::is_same_v<C, c16>) {
    for (; j + 8 <= g.n; j += 8)
      dot_columns_z<4, kOp, Mem>(g, j);
    for (; j + 2 <= g.n; j += 2)
      dot_columns_z<1, kOp, Mem>(g, j);
  } else {
    for (; j + 8 <= g.n; j += 8)
      dot_columns_c<2, kOp, Mem>(g, j);
    for (; j + 4 <= g.n; j += 4)
      dot_columns_c<1, kOp, Mem>(g, j);
  }
  return j - j0;
}

} // namespace mox2::kernels::avx2
