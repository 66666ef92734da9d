// The column form of real GEMV for AVX-512, y contiguous: up to sixteen
// columns whose x element is not zero go in one pass over y, eight REAL(8)
// or sixteen REAL(4) rows per vector, and each row's
//   y(i) := (...((y(i) + t_1*A(i, j_1)) + t_2*A(i, j_2)) ...) + t_K*A(i, j_K)
// with t_k = alpha*x(j_k), the columns in order.  Passes follow one
// another in column order, so every element of y takes its columns in
// order whatever the grouping; the last rows of a pass are masked lanes.
// Sixteen streams at once, each prefetched ahead (gemv_stream_avx512.h),
// keep enough of A in flight to read it at the memory's rate.
// Included by the AVX-512 kernel set only.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <type_traits>

#include "kernels/avx512/gemv_stream_avx512.h"
#include "kernels/avx512/lanes_avx512.h"
#include "kernels/gemv/gemv_gather.h"
#include "kernels/gemv/gemv_sets.h"

namespace mox2::kernels::avx512 {

// y(0..m-1) := y + t[0]*cols[0] + ... + t[K-1]*cols[K-1], left to right.
// `next`: elements from a column to the one the same stream reads in the
// next pass (a guess; only prefetched).
template <int K, bool kStream, class T>
void update_columns_wide(std::ptrdiff_t m, const T *const *cols, const T *t, T *y,
                         std::ptrdiff_t next) {
  using L = Lanes<T>;
  const T *c[K];
  typename L::V tv[K];
  for (int k = 0; k < K; ++k) {
    c[k] = cols[k];
    tv[k] = L::splat(t[k]);
  }
  std::ptrdiff_t i = 0;
  for (; i + L::kCount <= m; i += L::kCount) {
    if constexpr (kStream)
      for (int k = 0; k < K; ++k)
        prefetch_column<512>(c[k], i, m, next);
    typename L::V v = L::load(y + i);
    for (int k = 0; k < K; ++k)
      v = L::add(v, L::mul(tv[k], L::load(c[k] + i)));
    L::store(y + i, v);
  }
  if (i < m) {
    const typename L::Mask live = L::first(m - i);
    typename L::V v = L::load(live, y + i);
    for (int k = 0; k < K; ++k)
      v = L::add(live, v, L::mul(live, tv[k], L::load(live, c[k] + i)));
    L::store(live, y + i, v);
  }
}

inline constexpr int kWideColumns = 16;

// Fewer than sixteen gathered columns: passes of 8, 4, 2 and 1 of them,
// in order.
template <bool kStream, class T>
void update_leftover_columns(std::ptrdiff_t m, const T *const *cols, const T *t, int count, T *y,
                             std::ptrdiff_t next) {
  int k = 0;
  if (count - k >= 8) update_columns_wide<8, kStream, T>(m, cols + k, t + k, y, next), k += 8;
  if (count - k >= 4) update_columns_wide<4, kStream, T>(m, cols + k, t + k, y, next), k += 4;
  if (count - k >= 2) update_columns_wide<2, kStream, T>(m, cols + k, t + k, y, next), k += 2;
  if (count - k >= 1) update_columns_wide<1, kStream, T>(m, cols + k, t + k, y, next);
}

template <int K, bool kStream, class T, class Mem> void column_form_passes(const GemvBlock<T> &g) {
  const T *cols[K];
  T t[K];
  const std::ptrdiff_t next = K * g.a.step;
  int k = 0;
  for (std::ptrdiff_t j = 0; j < g.n; ++j) {
    const T xj = Mem::ld(g.x.p + j * g.x.step);
    if (xj == 0) continue;
    cols[k] = g.a.p + j * g.a.step;
    t[k] = g.alpha * xj;
    if (++k == K) {
      update_columns_wide<K, kStream, T>(g.m, cols, t, g.y.p, next);
      k = 0;
    }
  }
  update_leftover_columns<kStream, T>(g.m, cols, t, k, g.y.p, next);
}

// y of one vector or less: it stays in a register over all the columns,
// so each column costs one add in y's chain.
template <class T, class Mem> void column_form_short(const GemvBlock<T> &g) {
  using L = Lanes<T>;
  const typename L::Mask live = L::first(g.m);
  typename L::V v = L::load(live, g.y.p);
  for (std::ptrdiff_t j = 0; j < g.n; ++j) {
    const T xj = Mem::ld(g.x.p + j * g.x.step);
    if (xj == 0) continue;
    v = L::add(live, v, L::mul(live, L::splat(g.alpha * xj), L::load(live, g.a.p + j * g.a.step)));
  }
  L::store(live, g.y.p, v);
}

// The whole column form on contiguous y; false (nothing done) for a y
// with another increment, which the caller buffers first.
template <class T, class Mem> bool column_form_wide(const GemvBlock<T> &g) {
  if constexpr (!std::is_same_v<T, double> && !std::is_same_v<T, float>) {
    return false;
  } else {
    if (g.y.step != 1) return false;
    if (g.m <= Lanes<T>::kCount)
      column_form_short<T, Mem>(g);
    else if (columns_share_cache_sets(g.a.step, sizeof(T)))
      streams_from_memory(g.m, g.n, sizeof(T)) ? column_form_passes<8, true, T, Mem>(g)
                                               : column_form_passes<8, false, T, Mem>(g);
    else if (streams_from_memory(g.m, g.n, sizeof(T)))
      column_form_passes<kWideColumns, true, T, Mem>(g);
    else
      column_form_passes<kWideColumns, false, T, Mem>(g);
    return true;
  }
}

// The few columns (several y over one matrix) on contiguous y (a zero x
// skipping its column unless kEveryTerm): blocks of K columns, each taken
// for every y in turn while it is in cache (a matrix from memory is read
// once).
template <int K, bool kEveryTerm, class T, class Mem>
void few_columns_blocks(const GemvBlock<T> &g, int ys, std::ptrdiff_t x_col, std::ptrdiff_t y_col) {
  const bool stream = streams_from_memory(g.m, g.n, sizeof(T));
  const std::ptrdiff_t next = K * g.a.step;
  for (std::ptrdiff_t j0 = 0; j0 < g.n; j0 += K) {
    const int count = int(g.n - j0 < K ? g.n - j0 : K);
    for (int r = 0; r < ys; ++r) {
      const T *cols[K];
      T t[K];
      const int live = live_columns<kEveryTerm, T, Mem>(g, g.x.p + r * x_col, j0, count, cols, t);
      T *y = g.y.p + r * y_col;
      // Only the first y's pass streams the block from memory.
      if (live == K && stream && r == 0)
        update_columns_wide<K, true, T>(g.m, cols, t, y, next);
      else if (live == K)
        update_columns_wide<K, false, T>(g.m, cols, t, y, next);
      else
        update_leftover_columns<false, T>(g.m, cols, t, live, y, next);
    }
  }
}

// False (nothing done) for a y with another increment.  Columns that share
// their cache sets go eight at a time.
template <bool kEveryTerm, class T, class Mem>
bool few_columns_wide(const GemvBlock<T> &g, int ys, std::ptrdiff_t x_col, std::ptrdiff_t y_col) {
  if constexpr (!std::is_same_v<T, double> && !std::is_same_v<T, float>) {
    return false;
  } else {
    if (g.y.step != 1) return false;
    if (columns_share_cache_sets(g.a.step, sizeof(T)))
      few_columns_blocks<8, kEveryTerm, T, Mem>(g, ys, x_col, y_col);
    else
      few_columns_blocks<kWideColumns, kEveryTerm, T, Mem>(g, ys, x_col, y_col);
    return true;
  }
}

} // namespace mox2::kernels::avx512
