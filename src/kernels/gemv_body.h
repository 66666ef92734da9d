// The GEMV algorithms, y := alpha*op(A)*x + beta*y on one block, serially.
// Included by each kernel set's source (portable, avx2/, avx512/) inside
// its own namespace, so every set compiles the same order with its own
// instructions.
//
// Per element of y:
//   1. m = 0, n = 0, or alpha = 0 with beta = 1: nothing is read or written.
//   2. beta != 1: beta = 0 stores zeros without reading y, any other beta
//      multiplies (COMPLEX(4): the exact product form).
//   3. alpha = 0: done.
//   4. Column form (op(A) = A): for j = 1..n, when x(j) != 0,
//      temp := alpha*x(j) and y(i) := y(i) + temp*A(i, j) for i = 1..m; a
//      zero x(j) skips its column (NaN and Inf there never reach y).
//   5. Dot form (A^T, A^H): for j = 1..n, temp := +0, then
//      temp := temp + op(A)(j, i)*x(i) for i = 1..m in order, then
//      y(j) := y(j) + alpha*temp.
//   Complex `pp_` kernels take columns in pairs after a lone leading column
//   of an odd n: a pair uses t1 := alpha*x(j), t2 := alpha*x(j+1) without a
//   zero test and y(i) := (y(i) + t1*A(i, j)) + t2*A(i, j+1), or forms its
//   two dot-form sums side by side.  COMPLEX(4) forms the lone column's
//   products in the exact form and the pairs' in single precision.
//
// The column form updates several columns per pass over y and the dot form
// runs several columns' sums side by side; neither changes any element's
// order.
#ifndef MOX2_KERNEL_SET
#error "define MOX2_KERNEL_SET before including gemv_body.h"
#endif

#include <cstddef>
#include <cstdint>

#include "kernels/blas_access.h"
#include "kernels/gemv_gather.h"
#include "kernels/gemv_sets.h"
#include "kernels/page_touch.h"

namespace mox2::kernels::MOX2_KERNEL_SET {

using Index = std::ptrdiff_t;

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

// The column streams are read in runs of one page's worth of rows; before
// each run every stream touches the page two ahead (page_touch.h).

// ---- Real ----------------------------------------------------------------

// y(i) := (...((y(i) + t[0]*c[0][i]) + t[1]*c[1][i]) ...) + t[K-1]*c[K-1][i].
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
    T xj = Mem::ld(g.x + j * g.incx);
    if (xj == 0) continue;
    cols[k] = g.a + j * g.lda;
    t[k] = g.alpha * xj;
    if (++k == kColumnsPerPass) {
      update_columns<kColumnsPerPass, T, Mem>(g.m, cols, t, g.y, g.incy);
      k = 0;
    }
  }
  switch (k) {
  case 1: update_columns<1, T, Mem>(g.m, cols, t, g.y, g.incy); break;
  case 2: update_columns<2, T, Mem>(g.m, cols, t, g.y, g.incy); break;
  case 3: update_columns<3, T, Mem>(g.m, cols, t, g.y, g.incy); break;
  default: break;
  }
}

// temp_k := temp_k + A(i, j+k)*x(i) for i in order, K columns side by side.
template <int K, class T, class Mem> void dot_columns(const GemvBlock<T> &g, Index j) {
  T s[K];
  const T *c[K];
  for (int k = 0; k < K; ++k) {
    s[k] = 0;
    c[k] = g.a + (j + k) * g.lda;
  }
  for (Index i0 = 0; i0 < g.m; i0 += kPageRows<T>) {
    const Index i1 = g.m - i0 < kPageRows<T> ? g.m : i0 + kPageRows<T>;
    for (int k = 0; k < K; ++k)
      touch_two_pages_ahead(c[k] + i0);
    for (Index i = i0; i < i1; ++i) {
      T xi = Mem::ld(g.x + i * g.incx);
      for (int k = 0; k < K; ++k)
        s[k] = s[k] + Mem::ld(c[k] + i) * xi;
    }
  }
  for (int k = 0; k < K; ++k) {
    T *yj = g.y + (j + k) * g.incy;
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
// A kernel set with a wide column form defines columns_wide (below) with
// it.
template <bool kEveryTerm, class T, class Mem>
bool columns_wide(const GemvBlock<T> &, int, Index, Index) {
  return false;
}
#endif

// `ys` column forms over the same matrix: for r < ys, y_r := y_r +
// (alpha*x_r(j))*A(:, j) for j in order, x_r = g.x + r*x_col, y_r = g.y +
// r*y_col (g.beta is not applied), a zero x_r(j) skipping its column
// unless kEveryTerm.  Blocks of columns are taken for every y in turn
// while they are in cache.
template <bool kEveryTerm, class T, class Mem>
void columns_real(const GemvBlock<T> &g, int ys, Index x_col, Index y_col) {
  if (columns_wide<kEveryTerm, T, Mem>(g, ys, x_col, y_col)) return;
  for (Index j0 = 0; j0 < g.n; j0 += kColumnsPerPass) {
    const int count = int(g.n - j0 < kColumnsPerPass ? g.n - j0 : kColumnsPerPass);
    for (int r = 0; r < ys; ++r) {
      const T *cols[kColumnsPerPass];
      T t[kColumnsPerPass];
      const int live = live_columns<kEveryTerm, T, Mem>(g, g.x + r * x_col, j0, count, cols, t);
      T *y = g.y + r * y_col;
      switch (live) {
      case 4: update_columns<4, T, Mem>(g.m, cols, t, y, g.incy); break;
      case 3: update_columns<3, T, Mem>(g.m, cols, t, y, g.incy); break;
      case 2: update_columns<2, T, Mem>(g.m, cols, t, y, g.incy); break;
      case 1: update_columns<1, T, Mem>(g.m, cols, t, y, g.incy); break;
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
// x_r = g.x + r*x_row and y_r = g.y + r*y_row (g.beta is not applied):
// each the dot form's order.
template <class T, class Mem>
void dot_rows_real(const GemvBlock<T> &g, int rows, Index x_row, Index y_row) {
  const Index done = dot_rows_wide<T, Mem>(g, rows, x_row, y_row);
  if (done == g.n) return;
  for (int r = 0; r < rows; ++r) {
    GemvBlock<T> h = g;
    h.n -= done;
    h.a += done * g.lda;
    h.x += r * x_row;
    h.y += r * y_row + done * g.incy;
    dot_form_real<T, Mem>(h);
  }
}

// The column form on a strided y: rows in chunks, each chunk's y copied to
// a contiguous buffer, updated there by every column in order, and copied
// back.  Moving values changes no bits; each element's order stays.
template <class T, class Mem, class ColumnForm>
void on_contiguous_y(const GemvBlock<T> &g, ColumnForm column_form) {
  if (g.incy == 1) {
    column_form(g);
    return;
  }
  constexpr Index kRows = 1024;
  T buffer[kRows];
  for (Index i0 = 0; i0 < g.m; i0 += kRows) {
    const Index rows = g.m - i0 < kRows ? g.m - i0 : kRows;
    for (Index i = 0; i < rows; ++i)
      buffer[i] = Mem::ld(g.y + (i0 + i) * g.incy);
    GemvBlock<T> part = g;
    part.m = rows;
    part.a = g.a + i0;
    part.y = buffer;
    part.incy = 1;
    column_form(part);
    for (Index i = 0; i < rows; ++i)
      Mem::st(g.y + (i0 + i) * g.incy, buffer[i]);
  }
}

template <class T, class Mem> void gemv_real(bool transposed, const GemvBlock<T> &g) {
  scale_by_beta<T, Mem>(transposed ? g.n : g.m, g.beta, g.y, g.incy);
  if (g.alpha == 0) return;
  if (transposed)
    dot_form_real<T, Mem>(g);
  else
    on_contiguous_y<T, Mem>(g, column_form_real<T, Mem>);
}

// ---- Complex -------------------------------------------------------------

// The product forms of one complex kernel: `lone` for the beta scaling and
// any column handled alone, `pair` for the columns taken in pairs.
template <class P, bool kExact> struct ComplexForms {
  static constexpr bool kExactLone = kExact;
  static Complex<P> lone(Complex<P> u, Complex<P> v) {
    if constexpr (kExact)
      return mul_exact(u, v);
    else
      return mul(u, v);
  }
  static Complex<P> pair(Complex<P> u, Complex<P> v) { return mul(u, v); }
};

template <class C, class Forms, class Mem>
void scale_by_beta_complex(Index len, C beta, C *y, Index incy) {
  if (is_one(beta)) return;
  for (Index i = 0; i < len; ++i) {
    C *yi = y + i * incy;
    Mem::st(yi, is_zero(beta) ? C{0, 0} : Forms::lone(beta, Mem::ld(yi)));
  }
}

template <ComplexOp kOp, class C, class Mem> C element_of_a(const C *p) {
  C v = Mem::ld(p);
  if constexpr (kOp == ComplexOp::conjugated) return conj(v);
  return v;
}

// One column alone (zero skip of x(j) in the column form); products in the
// `lone` form.
template <ComplexOp kOp, class C, class Forms, class Mem>
void lone_column(const GemvBlock<C> &g, Index j) {
  const C *col = g.a + j * g.lda;
  if constexpr (kOp == ComplexOp::plain) {
    C xj = Mem::ld(g.x + j * g.incx);
    if (is_zero(xj)) return;
    C temp = Forms::lone(g.alpha, xj);
    for (Index i = 0; i < g.m; ++i) {
      C *yi = g.y + i * g.incy;
      Mem::st(yi, add(Mem::ld(yi), Forms::lone(temp, Mem::ld(col + i))));
    }
  } else {
    C temp = {0, 0};
    for (Index i = 0; i < g.m; ++i)
      temp = add(temp, Forms::lone(element_of_a<kOp, C, Mem>(col + i), Mem::ld(g.x + i * g.incx)));
    C *yj = g.y + j * g.incy;
    Mem::st(yj, add(Mem::ld(yj), Forms::lone(g.alpha, temp)));
  }
}

// Column form, K pairs of columns from j: y(i) := (y(i) + t1*A(i, j)) +
// t2*A(i, j+1), pair after pair, products in the `pair` form, no zero test.
template <int K, class C, class Forms, class Mem>
void update_column_pairs(const GemvBlock<C> &g, Index j) {
  constexpr int kColumns = 2 * K;
  const C *c[kColumns];
  C t[kColumns];
  for (int k = 0; k < kColumns; ++k) {
    c[k] = g.a + (j + k) * g.lda;
    t[k] = Forms::pair(g.alpha, Mem::ld(g.x + (j + k) * g.incx));
  }
  auto update = [&](C v, Index i) {
    for (int k = 0; k < kColumns; ++k)
      v = add(v, Forms::pair(t[k], Mem::ld(c[k] + i)));
    return v;
  };
  if (g.incy == 1) {
    C *__restrict y = g.y;
    for (Index i0 = 0; i0 < g.m; i0 += kPageRows<C>) {
      const Index i1 = g.m - i0 < kPageRows<C> ? g.m : i0 + kPageRows<C>;
      for (int k = 0; k < kColumns; ++k)
        touch_two_pages_ahead(c[k] + i0);
      for (Index i = i0; i < i1; ++i)
        Mem::st(y + i, update(Mem::ld(y + i), i));
    }
  } else {
    for (Index i = 0; i < g.m; ++i)
      Mem::st(g.y + i * g.incy, update(Mem::ld(g.y + i * g.incy), i));
  }
}

// Columns j and j+1 together, products in the `pair` form, no zero test.
template <ComplexOp kOp, class C, class Forms, class Mem>
void column_pair(const GemvBlock<C> &g, Index j) {
  const C *c1 = g.a + j * g.lda, *c2 = c1 + g.lda;
  if constexpr (kOp == ComplexOp::plain) {
    update_column_pairs<1, C, Forms, Mem>(g, j);
  } else {
    C temp1 = {0, 0}, temp2 = {0, 0};
    for (Index i = 0; i < g.m; ++i) {
      C xi = Mem::ld(g.x + i * g.incx);
      temp1 = add(temp1, Forms::pair(element_of_a<kOp, C, Mem>(c1 + i), xi));
      temp2 = add(temp2, Forms::pair(element_of_a<kOp, C, Mem>(c2 + i), xi));
    }
    C *y1 = g.y + j * g.incy, *y2 = y1 + g.incy;
    Mem::st(y1, add(Mem::ld(y1), Forms::pair(g.alpha, temp1)));
    Mem::st(y2, add(Mem::ld(y2), Forms::pair(g.alpha, temp2)));
  }
}

// Column form one column at a time with the zero skip (the kernels without
// pairs): up to four columns whose x element is not zero go in one pass
// over y, y(i) := y(i) + t_k*A(i, k) for them in order.
template <int K, class C, class Forms, class Mem>
void update_complex_columns(Index m, const C *const *c, const C *t, C *y, Index incy) {
  auto update = [&](C v, Index i) {
    for (int k = 0; k < K; ++k)
      v = add(v, Forms::lone(t[k], Mem::ld(c[k] + i)));
    return v;
  };
  if (incy == 1) {
    C *__restrict yu = y;
    for (Index i = 0; i < m; ++i)
      Mem::st(yu + i, update(Mem::ld(yu + i), i));
  } else {
    for (Index i = 0; i < m; ++i)
      Mem::st(y + i * incy, update(Mem::ld(y + i * incy), i));
  }
}

template <class C, class Forms, class Mem> void column_form_skipping_zeros(const GemvBlock<C> &g) {
  const C *cols[4];
  C t[4];
  int k = 0;
  for (Index j = 0; j < g.n; ++j) {
    C xj = Mem::ld(g.x + j * g.incx);
    if (is_zero(xj)) continue;
    cols[k] = g.a + j * g.lda;
    t[k] = Forms::lone(g.alpha, xj);
    if (++k == 4) {
      update_complex_columns<4, C, Forms, Mem>(g.m, cols, t, g.y, g.incy);
      k = 0;
    }
  }
  switch (k) {
  case 1: update_complex_columns<1, C, Forms, Mem>(g.m, cols, t, g.y, g.incy); break;
  case 2: update_complex_columns<2, C, Forms, Mem>(g.m, cols, t, g.y, g.incy); break;
  case 3: update_complex_columns<3, C, Forms, Mem>(g.m, cols, t, g.y, g.incy); break;
  default: break;
  }
}

#ifndef MOX2_KERNEL_SET_HAS_WIDE_COMPLEX_DOT_FORM
// A kernel set with a wide complex dot form defines complex_dot_form_wide
// before including this file; from column j0 on it does an even number of
// columns with the kernel's precision (single form) and returns how many.
template <ComplexOp kOp, class C, class Mem>
Index complex_dot_form_wide(const GemvBlock<C> &, Index) {
  return 0;
}
#endif

template <ComplexOp kOp, bool kPairs, class C, class Forms, class Mem>
void complex_columns(const GemvBlock<C> &g) {
  Index j = 0;
  if (!kPairs) {
    if constexpr (kOp == ComplexOp::plain) {
      column_form_skipping_zeros<C, Forms, Mem>(g);
      return;
    }
    if constexpr (kOp != ComplexOp::plain && !Forms::kExactLone)
      j = complex_dot_form_wide<kOp, C, Mem>(g, 0);
    for (; j < g.n; ++j)
      lone_column<kOp, C, Forms, Mem>(g, j);
    return;
  }
  if (g.n % 2 == 1) lone_column<kOp, C, Forms, Mem>(g, j++);
  if constexpr (kOp != ComplexOp::plain) j += complex_dot_form_wide<kOp, C, Mem>(g, j);
  if constexpr (kOp == ComplexOp::plain) {
    // Two pairs per pass over y.
    for (; j + 4 <= g.n; j += 4)
      update_column_pairs<2, C, Forms, Mem>(g, j);
  }
  for (; j < g.n; j += 2)
    column_pair<kOp, C, Forms, Mem>(g, j);
}

template <bool kPairs, class C, class Forms, class Mem>
void gemv_complex(ComplexOp op, const GemvBlock<C> &g) {
  scale_by_beta_complex<C, Forms, Mem>(op == ComplexOp::plain ? g.m : g.n, g.beta, g.y, g.incy);
  if (is_zero(g.alpha)) return;
  switch (op) {
  case ComplexOp::plain:
    on_contiguous_y<C, Mem>(g, complex_columns<ComplexOp::plain, kPairs, C, Forms, Mem>);
    break;
  case ComplexOp::transposed:
    complex_columns<ComplexOp::transposed, kPairs, C, Forms, Mem>(g);
    break;
  case ComplexOp::conjugated:
    complex_columns<ComplexOp::conjugated, kPairs, C, Forms, Mem>(g);
    break;
  }
}

// ---- The set's GEMV routines (see gemv_sets.h) ---------------------------

void sgemv(bool transposed, const GemvBlock<float> &g) {
  gemv_real<float, NaturalAccess>(transposed, g);
}
void dgemv(bool transposed, const GemvBlock<double> &g) {
  gemv_real<double, NaturalAccess>(transposed, g);
}
void dgemv_bytewise(bool transposed, const GemvBlock<double> &g) {
  gemv_real<double, Bytewise4Access>(transposed, g);
}
void sgemv_dot_rows(const GemvBlock<float> &g, int rows, Index x_row, Index y_row) {
  dot_rows_real<float, NaturalAccess>(g, rows, x_row, y_row);
}
void dgemv_dot_rows(const GemvBlock<double> &g, int rows, Index x_row, Index y_row) {
  dot_rows_real<double, NaturalAccess>(g, rows, x_row, y_row);
}
void sgemv_columns(const GemvBlock<float> &g, int ys, Index x_col, Index y_col, bool every_term) {
  every_term ? columns_real<true, float, NaturalAccess>(g, ys, x_col, y_col)
             : columns_real<false, float, NaturalAccess>(g, ys, x_col, y_col);
}
void dgemv_columns(const GemvBlock<double> &g, int ys, Index x_col, Index y_col, bool every_term) {
  every_term ? columns_real<true, double, NaturalAccess>(g, ys, x_col, y_col)
             : columns_real<false, double, NaturalAccess>(g, ys, x_col, y_col);
}
// GCC 12 turns the complex products' add/subtract pairs into fused
// multiply-add-subtract instructions whenever AVX-512F is enabled, despite
// -ffp-contract=off; the AVX-512 set therefore has no complex routines and
// the dispatch uses the AVX2 set for them.
#ifndef MOX2_KERNEL_SET_WITHOUT_COMPLEX
void cgemv(ComplexOp op, const GemvBlock<c8> &g) {
  gemv_complex<true, c8, ComplexForms<float, true>, NaturalAccess>(op, g);
}
void zgemv(ComplexOp op, const GemvBlock<c16> &g) {
  gemv_complex<true, c16, ComplexForms<double, false>, NaturalAccess>(op, g);
}
void zgemv_bytewise(ComplexOp op, const GemvBlock<c16> &g) {
  gemv_complex<false, c16, ComplexForms<double, false>, Bytewise4Access>(op, g);
}
#endif

} // namespace mox2::kernels::MOX2_KERNEL_SET
