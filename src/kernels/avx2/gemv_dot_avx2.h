// The dot form of real GEMV for AVX2: four REAL(8) or eight REAL(4)
// columns' sums side by side per vector, one per lane, two vectors' worth
// at a time.  Each step multiplies a
// square block of A (4 rows of 4 columns, or 8 of 8) by the matching x
// elements column by column, transposes the products so that vector r
// holds row r's products of all the columns, and adds the rows in order:
// every lane's sum is temp := temp + A(i, j)*x(i) for i = 1..m in order,
// as in the scalar code.  Every column stream touches the page two ahead
// once per page (page_touch.h).  Included by the AVX2 kernel set only.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <type_traits>

#include "kernels/blas_access.h"
#include "kernels/gemv/gemv_sets.h"
#include "kernels/page_touch.h"

namespace mox2::kernels::avx2 {

// Row r of the result holds element r of every input: q[r][k] = p[k][r].
inline void transpose_4x4(__m256d p[4]) {
  const __m256d t0 = _mm256_unpacklo_pd(p[0], p[1]), t1 = _mm256_unpackhi_pd(p[0], p[1]);
  const __m256d t2 = _mm256_unpacklo_pd(p[2], p[3]), t3 = _mm256_unpackhi_pd(p[2], p[3]);
  p[0] = _mm256_permute2f128_pd(t0, t2, 0x20);
  p[1] = _mm256_permute2f128_pd(t1, t3, 0x20);
  p[2] = _mm256_permute2f128_pd(t0, t2, 0x31);
  p[3] = _mm256_permute2f128_pd(t1, t3, 0x31);
}

inline void transpose_8x8(__m256 p[8]) {
  __m256 t[8], u[8];
  for (int k = 0; k < 8; k += 2) {
    t[k] = _mm256_unpacklo_ps(p[k], p[k + 1]);
    t[k + 1] = _mm256_unpackhi_ps(p[k], p[k + 1]);
  }
  for (int g = 0; g < 8; g += 4) {
    u[g] = _mm256_shuffle_ps(t[g], t[g + 2], 0x44);
    u[g + 1] = _mm256_shuffle_ps(t[g], t[g + 2], 0xEE);
    u[g + 2] = _mm256_shuffle_ps(t[g + 1], t[g + 3], 0x44);
    u[g + 3] = _mm256_shuffle_ps(t[g + 1], t[g + 3], 0xEE);
  }
  for (int r = 0; r < 4; ++r) {
    p[r] = _mm256_permute2f128_ps(u[r], u[r + 4], 0x20);
    p[r + 4] = _mm256_permute2f128_ps(u[r], u[r + 4], 0x31);
  }
}

// One vector of L = 4 REAL(8) or 8 REAL(4) lanes.
template <class T> struct Lanes;
template <> struct Lanes<double> {
  using V = __m256d;
  static constexpr int kCount = 4;
  static V zero() { return _mm256_setzero_pd(); }
  static V load(const double *p) { return _mm256_loadu_pd(p); }
  static V mul(V a, V b) { return _mm256_mul_pd(a, b); }
  static V add(V a, V b) { return _mm256_add_pd(a, b); }
  static void store(double *p, V v) { _mm256_storeu_pd(p, v); }
  static void transpose(V p[4]) { transpose_4x4(p); }
};
template <> struct Lanes<float> {
  using V = __m256;
  static constexpr int kCount = 8;
  static V zero() { return _mm256_setzero_ps(); }
  static V load(const float *p) { return _mm256_loadu_ps(p); }
  static V mul(V a, V b) { return _mm256_mul_ps(a, b); }
  static V add(V a, V b) { return _mm256_add_ps(a, b); }
  static void store(float *p, V v) { _mm256_storeu_ps(p, v); }
  static void transpose(V p[8]) { transpose_8x8(p); }
};

// Columns j .. j + G*L - 1: G groups of L columns, whose sums are
// independent chains (one group's chain alone waits on the adder), L rows
// per step.
template <int G, class T, class Mem>
void dot_columns_lanes(const GemvBlock<T> &g, std::ptrdiff_t j) {
  using W = Lanes<T>;
  using V = typename W::V;
  constexpr int L = W::kCount;
  const std::ptrdiff_t m = g.m, mL = m - m % L, lda = g.a.step;
  const T *c = g.a.p + j * lda;
  V acc[G];
  for (int q = 0; q < G; ++q)
    acc[q] = W::zero();
  for (std::ptrdiff_t i = 0; i < mL; i += L) {
    if (i % kPageRows<T> == 0)
      for (int k = 0; k < G * L; ++k)
        touch_two_pages_ahead(c + k * lda + i);
    T xs[L];
    for (int r = 0; r < L; ++r)
      xs[r] = Mem::ld(g.x.p + (i + r) * g.x.step);
    const V xv = W::load(xs);
    for (int q = 0; q < G; ++q) {
      V p[L];
      for (int k = 0; k < L; ++k)
        p[k] = W::mul(W::load(c + (q * L + k) * lda + i), xv);
      W::transpose(p);
      for (int r = 0; r < L; ++r)
        acc[q] = W::add(acc[q], p[r]);
    }
  }
  T s[G * L];
  for (int q = 0; q < G; ++q)
    W::store(s + q * L, acc[q]);
  for (std::ptrdiff_t i = mL; i < m; ++i) {
    const T xi = Mem::ld(g.x.p + i * g.x.step);
    for (int k = 0; k < G * L; ++k)
      s[k] = s[k] + Mem::ld(c + k * lda + i) * xi;
  }
  for (int k = 0; k < G * L; ++k) {
    T *yj = g.y.p + (j + k) * g.y.step;
    Mem::st(yj, Mem::ld(yj) + g.alpha * s[k]);
  }
}

// The leading columns done here: a multiple of 4 for REAL(8), of 8 for
// REAL(4), two groups at a time while they last.  Columns a multiple of
// 4 KiB apart share their first-level cache set row by row, and each line
// serves two steps: there REAL(4) takes one group (eight columns) at a
// time, so that a step's lines stay in the set's ways until the next step
// uses them.
template <class T, class Mem> std::ptrdiff_t dot_form_wide(const GemvBlock<T> &g) {
  if constexpr (std::is_same_v<T, double> || std::is_same_v<T, float>) {
    constexpr std::ptrdiff_t L = Lanes<T>::kCount;
    const bool alias = L == 8 && columns_share_cache_sets(g.a.step, sizeof(T));
    std::ptrdiff_t j = 0;
    for (; !alias && j + 2 * L <= g.n; j += 2 * L)
      dot_columns_lanes<2, T, Mem>(g, j);
    for (; j + L <= g.n; j += L)
      dot_columns_lanes<1, T, Mem>(g, j);
    return j;
  } else {
    return 0;
  }
}

} // namespace mox2::kernels::avx2
