// The dot form of real GEMV for AVX-512: eight REAL(8) or sixteen REAL(4)
// columns' sums side by side, one per vector lane.  Each step multiplies a
// square block of A (8 rows of 8 columns, or 16 of 16) by the matching x
// elements column by column,
// transposes the products so that vector r holds row r's products of all
// the columns, and adds the rows in order: every lane's sum is
// temp := temp + A(i, j)*x(i) for i = 1..m in order, as in the scalar code.
// Every column stream is prefetched ahead (gemv_stream_avx512.h).
// Included by the AVX-512 kernel set only.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <type_traits>

#include "kernels/avx512/gemv_column_avx512.h"
#include "kernels/avx512/gemv_stream_avx512.h"
#include "kernels/avx512/transpose_avx512.h"
#include "kernels/blas_access.h"
#include "kernels/gemv/gemv_sets.h"
#include "runtime/scratch.h"

// GCC 12 warns about the intrinsics' own undefined start values.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace mox2::kernels::avx512 {

// x(i..i+7) as one vector.
template <class Mem> inline __m512d load_x8(const GemvBlock<double> &g, std::ptrdiff_t i) {
  if (g.x.step == 1) return _mm512_loadu_pd(g.x.p + i);
  const double *p = g.x.p + i * g.x.step;
  const std::ptrdiff_t s = g.x.step;
  return _mm512_set_pd(Mem::ld(p + 7 * s), Mem::ld(p + 6 * s), Mem::ld(p + 5 * s),
                       Mem::ld(p + 4 * s), Mem::ld(p + 3 * s), Mem::ld(p + 2 * s), Mem::ld(p + s),
                       Mem::ld(p));
}

// Columns j .. j + cols - 1 (cols <= 8; the lanes of missing columns
// carry zeros and are dropped), one group of eight at a time: from memory
// the column streams, not the adder, limit, and more streams at once only
// compete for them (from cache, dot_rows_from_cache).
template <bool kStream, bool kPartial, class Mem>
void dot_columns_8(const GemvBlock<double> &g, std::ptrdiff_t j, int partial_cols) {
  const int cols = kPartial ? partial_cols : 8;
  const std::ptrdiff_t m = g.m, m8 = m - m % 8, lda = g.a.step;
  const double *c = g.a.p + j * lda;
  __m512d acc = _mm512_setzero_pd();
  for (std::ptrdiff_t i = 0; i < m8; i += 8) {
    if constexpr (kStream)
      for (int k = 0; k < cols; ++k)
        prefetch_column<1024>(c + k * lda, i, m, 8 * lda);
    const __m512d xv = load_x8<Mem>(g, i);
    __m512d p[8];
    for (int k = 0; k < 8; ++k)
      p[k] = k < cols ? _mm512_mul_pd(_mm512_loadu_pd(c + k * lda + i), xv) : _mm512_setzero_pd();
    transpose_8x8(p);
    for (int r = 0; r < 8; ++r)
      acc = _mm512_add_pd(acc, p[r]);
  }
  double s[8];
  _mm512_storeu_pd(s, acc);
  for (std::ptrdiff_t i = m8; i < m; ++i) {
    const double xi = Mem::ld(g.x.p + i * g.x.step);
    for (int k = 0; k < cols; ++k)
      s[k] = s[k] + Mem::ld(c + k * lda + i) * xi;
  }
  for (int k = 0; k < cols; ++k) {
    double *yj = g.y.p + (j + k) * g.y.step;
    Mem::st(yj, Mem::ld(yj) + g.alpha * s[k]);
  }
}

// From cache, the column streams do not limit: the shuffles of the
// transposition and the adder's latency do.  The rows below pair the
// columns' 256-bit halves as they load, which leaves two in-register
// steps (REAL(8)) or three (REAL(4)) instead of three or four, and each
// group of columns keeps its own chain.  Lane l of a row holds column
// kRowLane<T>[l] of its group; the orders are their own inverses.
template <class T> inline constexpr int kRowLane[1] = {0};
template <> inline constexpr int kRowLane<double>[8] = {0, 1, 4, 5, 2, 3, 6, 7};
template <>
inline constexpr int kRowLane<float>[16] = {0, 1, 2, 3, 8, 9, 10, 11, 4, 5, 6, 7, 12, 13, 14, 15};

// row[r], lane l := A(i + r, column kRowLane<double>[l]) for r < 8, the
// group's column k starting at c + k*lda.
inline void load_rows(const double *c, std::ptrdiff_t lda, std::ptrdiff_t i, __m512d row[8]) {
  for (int half = 0; half < 2; ++half) {
    const double *p = c + i + 4 * half;
    __m512d h[4]; // rows 4*half .. +3 of columns k and k + 4
    for (int k = 0; k < 4; ++k)
      h[k] = _mm512_insertf64x4(_mm512_castpd256_pd512(_mm256_loadu_pd(p + k * lda)),
                                _mm256_loadu_pd(p + (k + 4) * lda), 1);
    const __m512d even01 = _mm512_unpacklo_pd(h[0], h[1]), odd01 = _mm512_unpackhi_pd(h[0], h[1]);
    const __m512d even23 = _mm512_unpacklo_pd(h[2], h[3]), odd23 = _mm512_unpackhi_pd(h[2], h[3]);
    row[4 * half + 0] = _mm512_shuffle_f64x2(even01, even23, 0x88);
    row[4 * half + 1] = _mm512_shuffle_f64x2(odd01, odd23, 0x88);
    row[4 * half + 2] = _mm512_shuffle_f64x2(even01, even23, 0xdd);
    row[4 * half + 3] = _mm512_shuffle_f64x2(odd01, odd23, 0xdd);
  }
}

// row[r], lane l := A(i + r, column kRowLane<float>[l]) for r < 8, the
// group's column k starting at c + k*lda.
inline void load_rows(const float *c, std::ptrdiff_t lda, std::ptrdiff_t i, __m512 row[8]) {
  const float *p = c + i;
  __m512 h[8], t[8], u[8];
  for (int k = 0; k < 8; ++k) // rows 0..7 of columns k and k + 8
    h[k] = _mm512_insertf32x8(_mm512_castps256_ps512(_mm256_loadu_ps(p + k * lda)),
                              _mm256_loadu_ps(p + (k + 8) * lda), 1);
  // Per 128-bit block b (rows 4b'.. of a half): interleave pairs of columns.
  for (int k = 0; k < 8; k += 2) {
    t[k] = _mm512_unpacklo_ps(h[k], h[k + 1]);     // rows 0, 1 | 4, 5
    t[k + 1] = _mm512_unpackhi_ps(h[k], h[k + 1]); // rows 2, 3 | 6, 7
  }
  // u[g + e], block 0 (2): row e of columns g..g+3 (+8); block 1 (3): row e + 4.
  for (int g = 0; g < 8; g += 4) {
    u[g] = _mm512_shuffle_ps(t[g], t[g + 2], _MM_SHUFFLE(1, 0, 1, 0));
    u[g + 1] = _mm512_shuffle_ps(t[g], t[g + 2], _MM_SHUFFLE(3, 2, 3, 2));
    u[g + 2] = _mm512_shuffle_ps(t[g + 1], t[g + 3], _MM_SHUFFLE(1, 0, 1, 0));
    u[g + 3] = _mm512_shuffle_ps(t[g + 1], t[g + 3], _MM_SHUFFLE(3, 2, 3, 2));
  }
  for (int e = 0; e < 4; ++e) {
    row[e] = _mm512_shuffle_f32x4(u[e], u[4 + e], 0x88);
    row[e + 4] = _mm512_shuffle_f32x4(u[e], u[4 + e], 0xdd);
  }
}

// R dot forms over the same columns (x_r at g.x.p + r*x_row, y_r at g.y.p +
// r*y_row, r < R) for G whole groups of W = 8 (REAL(8)) or 16 (REAL(4))
// columns from cache, eight rows per step, each group's rows transposed
// once for all R: lane sums temp := temp + A(i, j)*x_r(i) for i in order,
// then y_r(j) := y_r(j) + alpha*temp, as in dot_columns_8.  Every (r,
// group) pair is its own chain.
template <int R, int G, class T, class Mem>
void dot_rows_from_cache(const GemvBlock<T> &g, std::ptrdiff_t x_row, std::ptrdiff_t y_row,
                         std::ptrdiff_t j) {
  using L = Lanes<T>;
  using V = typename L::V;
  constexpr int W = int(L::kCount);
  const std::ptrdiff_t m = g.m, m8 = m - m % 8, lda = g.a.step;
  const T *c = g.a.p + j * lda;
  auto x = [&](int r, std::ptrdiff_t i) { return Mem::ld(g.x.p + r * x_row + i * g.x.step); };
  V acc[R][G];
  for (int r = 0; r < R; ++r)
    for (int q = 0; q < G; ++q)
      acc[r][q] = L::splat(T(0));
  for (std::ptrdiff_t i = 0; i < m8; i += 8) {
    V xr[R][8];
    for (int r = 0; r < R; ++r)
      for (int e = 0; e < 8; ++e)
        xr[r][e] = L::splat(x(r, i + e));
    for (int q = 0; q < G; ++q) {
      V row[8];
      load_rows(c + W * q * lda, lda, i, row);
      for (int e = 0; e < 8; ++e)
        for (int r = 0; r < R; ++r)
          acc[r][q] = L::add(acc[r][q], L::mul(row[e], xr[r][e]));
    }
  }
  for (int r = 0; r < R; ++r)
    for (int q = 0; q < G; ++q) {
      T lane[W], s[W];
      L::store(lane, acc[r][q]);
      for (int l = 0; l < W; ++l)
        s[kRowLane<T>[l]] = lane[l];
      const T *cq = c + W * q * lda;
      for (std::ptrdiff_t i = m8; i < m; ++i) {
        const T xi = x(r, i);
        for (int k = 0; k < W; ++k)
          s[k] = s[k] + Mem::ld(cq + k * lda + i) * xi;
      }
      for (int k = 0; k < W; ++k) {
        T *yj = g.y.p + r * y_row + (j + W * q + k) * g.y.step;
        Mem::st(yj, Mem::ld(yj) + g.alpha * s[k]);
      }
    }
}

// x(i..i+15) as one vector.
template <class Mem> inline __m512 load_x16(const GemvBlock<float> &g, std::ptrdiff_t i) {
  if (g.x.step == 1) return _mm512_loadu_ps(g.x.p + i);
  alignas(64) float v[16];
  for (int r = 0; r < 16; ++r)
    v[r] = Mem::ld(g.x.p + (i + r) * g.x.step);
  return _mm512_load_ps(v);
}

// REAL(4) columns j .. j + cols - 1 (cols <= 16), sixteen rows per step.
template <bool kStream, bool kPartial, class Mem>
void dot_columns_16(const GemvBlock<float> &g, std::ptrdiff_t j, int partial_cols) {
  const int cols = kPartial ? partial_cols : 16;
  const std::ptrdiff_t m = g.m, m16 = m - m % 16, lda = g.a.step;
  const float *c = g.a.p + j * lda;
  __m512 acc = _mm512_setzero_ps();
  for (std::ptrdiff_t i = 0; i < m16; i += 16) {
    if constexpr (kStream)
      for (int k = 0; k < cols; ++k)
        prefetch_column<1024>(c + k * lda, i, m, 16 * lda);
    const __m512 xv = load_x16<Mem>(g, i);
    __m512 p[16];
    for (int k = 0; k < 16; ++k)
      p[k] = k < cols ? _mm512_mul_ps(_mm512_loadu_ps(c + k * lda + i), xv) : _mm512_setzero_ps();
    transpose_16x16(p);
    for (int r = 0; r < 16; ++r)
      acc = _mm512_add_ps(acc, p[r]);
  }
  float s[16];
  _mm512_storeu_ps(s, acc);
  for (std::ptrdiff_t i = m16; i < m; ++i) {
    const float xi = Mem::ld(g.x.p + i * g.x.step);
    for (int k = 0; k < cols; ++k)
      s[k] = s[k] + Mem::ld(c + k * lda + i) * xi;
  }
  for (int k = 0; k < cols; ++k) {
    float *yj = g.y.p + (j + k) * g.y.step;
    Mem::st(yj, Mem::ld(yj) + g.alpha * s[k]);
  }
}

// Groups of W = 8 (REAL(8)) or 16 (REAL(4)) columns, the last one partial
// when at least two columns are left over (a lone column's one chain takes
// the caller's loop); returns the columns done.  A strided x used by
// several groups is first copied to contiguous workspace (the same values:
// no bits change).
template <class T, class Mem> std::ptrdiff_t dot_form_wide(const GemvBlock<T> &g) {
  if constexpr (std::is_same_v<T, double> || std::is_same_v<T, float>) {
    constexpr int W = std::is_same_v<T, double> ? 8 : 16;
    const std::ptrdiff_t groups = g.n / W + (g.n % W >= 2 ? 1 : 0);
    if (groups == 0) return 0;
    const bool stream = streams_from_memory(g.m, g.n, sizeof(T));
    auto groups_of = [&](const GemvBlock<T> &h) {
      std::ptrdiff_t j = 0;
      // From cache, sixteen columns at a time (more streams only compete
      // for the memory's rate); REAL(8) columns that share their cache
      // sets take one group of eight at a time, whose streams fit the
      // set's ways.
      if (!stream && !(W == 8 && columns_share_cache_sets(h.a.step, sizeof(T)))) {
        constexpr int G = 16 / W;
        for (; j + G * W <= h.n; j += G * W)
          dot_rows_from_cache<1, G, T, Mem>(h, 0, 0, j);
      }
      for (; j < h.n - 1; j += W) {
        const int cols = int(h.n - j < W ? h.n - j : W);
        if (cols < W) {
          if constexpr (W == 8)
            dot_columns_8<false, true, Mem>(h, j, cols);
          else
            dot_columns_16<false, true, Mem>(h, j, cols);
        } else if constexpr (W == 8) {
          stream ? dot_columns_8<true, false, Mem>(h, j, W)
                 : dot_columns_8<false, false, Mem>(h, j, W);
        } else {
          stream ? dot_columns_16<true, false, Mem>(h, j, W)
                 : dot_columns_16<false, false, Mem>(h, j, W);
        }
      }
      return j < h.n ? j : h.n;
    };
    if (g.x.step != 1 && groups > 1 && g.m >= W) {
      Scratch copy(std::size_t(g.m) * sizeof(T));
      if (T *x = static_cast<T *>(copy.data())) {
        for (std::ptrdiff_t i = 0; i < g.m; ++i)
          x[i] = Mem::ld(g.x.p + i * g.x.step);
        GemvBlock<T> h = g;
        h.x.p = x;
        h.x.step = 1;
        return groups_of(h);
      }
    }
    return groups_of(g);
  } else {
    return 0;
  }
}

// Two or three dot forms over the same matrix from cache (rows peeled off
// a GEMM: the x_r are rows of its A, the y_r rows of its C): whole groups
// of W columns for all of them at once; returns the columns done (the
// caller runs the rest, and every column of a matrix streamed from
// memory, one x at a time).  Strided x are first copied to contiguous
// workspace (the same values: no bits change).  One group at a time for
// all x: its rows are transposed once for them, and a second group would
// add registers, not speed.
template <class T, class Mem>
std::ptrdiff_t dot_rows_wide(const GemvBlock<T> &g, int rows, std::ptrdiff_t x_row,
                             std::ptrdiff_t y_row) {
  if constexpr (std::is_same_v<T, double> || std::is_same_v<T, float>) {
    constexpr int W = std::is_same_v<T, double> ? 8 : 16;
    if (rows < 2 || rows > 3 || g.n < W || streams_from_memory(g.m, g.n, sizeof(T))) return 0;
    auto groups_of = [&](const GemvBlock<T> &h, std::ptrdiff_t h_row) {
      std::ptrdiff_t j = 0;
      if (rows == 2) {
        for (; j + 2 * W <= h.n; j += 2 * W)
          dot_rows_from_cache<2, 2, T, Mem>(h, h_row, y_row, j);
        for (; j + W <= h.n; j += W)
          dot_rows_from_cache<2, 1, T, Mem>(h, h_row, y_row, j);
      } else {
        for (; j + W <= h.n; j += W)
          dot_rows_from_cache<3, 1, T, Mem>(h, h_row, y_row, j);
      }
      return j;
    };
    if (g.x.step != 1) {
      Scratch copy(std::size_t(rows) * std::size_t(g.m) * sizeof(T));
      if (T *x = static_cast<T *>(copy.data())) {
        for (int r = 0; r < rows; ++r)
          for (std::ptrdiff_t i = 0; i < g.m; ++i)
            x[r * g.m + i] = Mem::ld(g.x.p + r * x_row + i * g.x.step);
        GemvBlock<T> h = g;
        h.x.p = x;
        h.x.step = 1;
        return groups_of(h, g.m);
      }
    }
    return groups_of(g, x_row);
  } else {
    return 0;
  }
}

} // namespace mox2::kernels::avx512

#pragma GCC diagnostic pop
