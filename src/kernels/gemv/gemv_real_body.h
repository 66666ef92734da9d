// The real GEMV algorithms of one kernel set (orders in gemv_body.h): the
// column form several columns per pass over y, the dot form several
// columns' sums side by side, and several dot or column forms over one
// matrix; a set with wider forms defines them before including this file.
#pragma once

#ifndef MOX2_KERNEL_SET
#error "define MOX2_KERNEL_SET before including gemv/gemv_real_body.h"
#endif

#include <cstddef>

#include "kernels/blas_access.h"
#include "kernels/gemv/gemv_gather.h"
#include "kernels/gemv/gemv_sets.h"
#include "kernels/gemv/gemv_shared_body.h"
#include "kernels/page_touch.h"

namespace mox2::kernels::MOX2_KERNEL_SET {

template <class T, class Mem> void scale_by_beta(Index len, T beta, T *y, Index incy) {
  if (is_one(beta)) return;
  if (is_zero(beta)) {
    if (incy == 1) {
      for (Index i = 0; i < len; ++i)
        Mem::st(y + i, T{});
    } else {
      for (Index i = 0; i < len; ++i)
        Mem::st(y + i * incy, T{});
    }
    return;
  }
  if (incy == 1) {
    for (Index i = 0; i < len; ++i)
      Mem::st(y + i, beta * Mem::ld(y + i));
  } else {
    for (Index i = 0; i < len; ++i)
      Mem::st(y + i * incy, beta * Mem::ld(y + i * incy));
  }
}

template <int K, class T, class Mem>
void update_columns(Index m, const T *const *cols, const T *t, T *y, Index incy) {
  const T *c[K];
  T tk[K];
  for (int k = 0; k < K; ++k) {
    c[k] = cols[k];
    tk[k] = t[k];
  }
  if (incy == 1) {
    T *__restrict yu = y;
    for (Index i0 = 0; i0 < m; i0 += kPageRows<T>) {
      const Index i1 = m - i0 < kPageRows<T> ? m : i0 + kPageRows<T>;
      for (int k = 0; k < K; ++k)
        touch_two_pages_ahead(c[k] + i0);
      for (Index i = i0; i < i1; ++i) {
        T v = Mem::ld(yu + i);
        for (int k = 0; k < K; ++k)
          v = v + tk[k] * Mem::ld(c[k] + i);
        Mem::st(yu + i, v);
      }
    }
  } else {
    for (Index i = 0; i < m; ++i) {
      T v = Mem::ld(y + i * incy);
      for (int k = 0; k < K; ++k)
        v = v + tk[k] * Mem::ld(c[k] + i);
      Mem::st(y + i * incy, v);
    }
  }
}

inline constexpr int kColumnsPerPass = 4;

#ifndef MOX2_KERNEL_SET_HAS_WIDE_COLUMN_FORM
// A kernel set with a wide column form defines column_form_wide before
// including this file; it does the whole column form and returns true, or
// does nothing and returns false.
template <class T, class Mem> bool column_form_wide(const GemvBlock<T> &) { return false; }
#endif

template <class T, class Mem> void column_form_real(const GemvBlock<T> &g) {
  if (column_form_wide<T, Mem>(g)) return;
  const T *cols[kColumnsPerPass];
  T t[kColumnsPerPass];
  int k = 0;
  for (Index j = 0; j < g.n; ++j) {
    T xj = Mem::ld(g.x.p + j * g.x.step);
    if (xj == 0) continue;
    cols[k] = g.a.p + j * g.a.step;
    t[k] = g.alpha * xj;
    if (++k == kColumnsPerPass) {
      update_columns<kColumnsPerPass, T, Mem>(g.m, cols, t, g.y.p, g.y.step);
      k = 0;
    }
  }
  switch (k) {
  case 1: update_columns<1, T, Mem>(g.m, cols, t, g.y.p, g.y.step); break;
  case 2: update_columns<2, T, Mem>(g.m, cols, t, g.y.p, g.y.step); break;
  case 3: update_columns<3, T, Mem>(g.m, cols, t, g.y.p, g.y.step); break;
  default: break;
  }
}

// temp_k := temp_k + A(i, j+k)*x(i) for i in order, K columns side by side.
template <int K, class T, class Mem> void dot_columns(const GemvBlock<T> &g, Index j) {
  T s[K];
  const T *c[K];
  for (int k = 0; k < K; ++k) {
    s[k] = 0;
    c[k] = g.a.p + (j + k) * g.a.step;
  }
  for (Index i0 = 0; i0 < g.m; i0 += kPageRows<T>) {
    const Index i1 = g.m - i0 < kPageRows<T> ? g.m : i0 + kPageRows<T>;
    for (int k = 0; k < K; ++k)
      touch_two_pages_ahead(c[k] + i0);
    for (Index i = i0; i < i1; ++i) {
      T xi = Mem::ld(g.x.p + i * g.x.step);
      for (int k = 0; k < K; ++k)
        s[k] = s[k] + Mem::ld(c[k] + i) * xi;
    }
  }
  for (int k = 0; k < K; ++k) {
    T *yj = g.y.p + (j + k) * g.y.step;
    Mem::st(yj, Mem::ld(yj) + g.alpha * s[k]);
  }
}

#ifndef MOX2_KERNEL_SET_HAS_WIDE_DOT_FORM
// A kernel set with a wide dot form defines dot_form_wide before including
// this file; it does some leading columns and returns how many.
template <class T, class Mem> Index dot_form_wide(const GemvBlock<T> &) { return 0; }
#endif

template <class T, class Mem> void dot_form_real(const GemvBlock<T> &g) {
  Index j = dot_form_wide<T, Mem>(g);
  for (; j + 4 <= g.n; j += 4)
    dot_columns<4, T, Mem>(g, j);
  for (; j < g.n; ++j)
    dot_columns<1, T, Mem>(g, j);
}

#ifndef MOX2_KERNEL_SET_HAS_WIDE_COLUMN_FORM
// A kernel set with a wide column form defines few_columns_wide (below) with
// it.
template <bool kEveryTerm, class T, class Mem>
bool few_columns_wide(const GemvBlock<T> &, int, Index, Index) {
  return false;
}
#endif

// The few columns: `ys` column forms over the same matrix, for r < ys, y_r := y_r +
// (alpha*x_r(j))*A(:, j) for j in order, x_r = g.x.p + r*x_col, y_r = g.y.p +
// r*y_col (g.beta is not applied), a zero x_r(j) skipping its column
// unless kEveryTerm.  Blocks of columns are taken for every y in turn
// while they are in cache.
template <bool kEveryTerm, class T, class Mem>
void few_columns_real(const GemvBlock<T> &g, int ys, Index x_col, Index y_col) {
  if (few_columns_wide<kEveryTerm, T, Mem>(g, ys, x_col, y_col)) return;
  for (Index j0 = 0; j0 < g.n; j0 += kColumnsPerPass) {
    const int count = int(g.n - j0 < kColumnsPerPass ? g.n - j0 : kColumnsPerPass);
    for (int r = 0; r < ys; ++r) {
      const T *cols[kColumnsPerPass];
      T t[kColumnsPerPass];
      const int live = live_columns<kEveryTerm, T, Mem>(g, g.x.p + r * x_col, j0, count, cols, t);
      T *y = g.y.p + r * y_col;
      switch (live) {
      case 4: update_columns<4, T, Mem>(g.m, cols, t, y, g.y.step); break;
      case 3: update_columns<3, T, Mem>(g.m, cols, t, y, g.y.step); break;
      case 2: update_columns<2, T, Mem>(g.m, cols, t, y, g.y.step); break;
      case 1: update_columns<1, T, Mem>(g.m, cols, t, y, g.y.step); break;
      default: break;
      }
    }
  }
}

#ifndef MOX2_KERNEL_SET_HAS_WIDE_DOT_ROWS
// A kernel set with a wide form of several dot forms over one matrix
// defines dot_rows_wide before including this file; it does some leading
// columns of every x and returns how many.
template <class T, class Mem> Index dot_rows_wide(const GemvBlock<T> &, int, Index, Index) {
  return 0;
}
#endif

// `rows` dot forms over the same matrix, y_r := y_r + alpha*A^T*x_r for
// x_r = g.x.p + r*x_row and y_r = g.y.p + r*y_row (g.beta is not applied):
// each the dot form's order.
template <class T, class Mem>
void dot_rows_real(const GemvBlock<T> &g, int rows, Index x_row, Index y_row) {
  const Index done = dot_rows_wide<T, Mem>(g, rows, x_row, y_row);
  if (done == g.n) return;
  for (int r = 0; r < rows; ++r) {
    GemvBlock<T> h = g;
    h.n -= done;
    h.a.p += done * g.a.step;
    h.x.p += r * x_row;
    h.y.p += r * y_row + done * g.y.step;
    dot_form_real<T, Mem>(h);
  }
}

// y := alpha*op(A)*x + beta*y, A^H taken as A^T.
template <class T, class Mem> void gemv_real(Op op, const GemvBlock<T> &g) {
  const bool transposed = op != Op::plain;
  scale_by_beta<T, Mem>(transposed ? g.n : g.m, g.beta, g.y.p, g.y.step);
  if (g.alpha == 0) return;
  if (transposed)
    dot_form_real<T, Mem>(g);
  else
    on_contiguous_y<T, Mem>(g, column_form_real<T, Mem>);
}

} // namespace mox2::kernels::MOX2_KERNEL_SET
