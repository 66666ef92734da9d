// The complex GEMV algorithms of one kernel set (orders in gemv_body.h):
// columns in pairs after a lone leading column of an odd n, or one at a
// time with the zero skip; a set with a wider dot form defines it before
// including this file.
#pragma once

#ifndef MOX2_KERNEL_SET
#error "define MOX2_KERNEL_SET before including gemv/gemv_complex_body.h"
#endif

#include <cstddef>

#include "kernels/blas_access.h"
#include "kernels/gemv/gemv_sets.h"
#include "kernels/gemv/gemv_shared_body.h"
#include "kernels/page_touch.h"

namespace mox2::kernels::MOX2_KERNEL_SET {

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

template <Op kOp, class C, class Mem> C element_of_a(const C *p) {
  C v = Mem::ld(p);
  if constexpr (kOp == Op::conjugated) return conj(v);
  return v;
}

// One column alone (zero skip of x(j) in the column form); products in the
// `lone` form.
template <Op kOp, class C, class Forms, class Mem>
void lone_column(const GemvBlock<C> &g, Index j) {
  const C *col = g.a.p + j * g.a.step;
  if constexpr (kOp == Op::plain) {
    C xj = Mem::ld(g.x.p + j * g.x.step);
    if (is_zero(xj)) return;
    C temp = Forms::lone(g.alpha, xj);
    for (Index i = 0; i < g.m; ++i) {
      C *yi = g.y.p + i * g.y.step;
      Mem::st(yi, add(Mem::ld(yi), Forms::lone(temp, Mem::ld(col + i))));
    }
  } else {
    C temp = {0, 0};
    for (Index i = 0; i < g.m; ++i)
      temp =
          add(temp, Forms::lone(element_of_a<kOp, C, Mem>(col + i), Mem::ld(g.x.p + i * g.x.step)));
    C *yj = g.y.p + j * g.y.step;
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
    c[k] = g.a.p + (j + k) * g.a.step;
    t[k] = Forms::pair(g.alpha, Mem::ld(g.x.p + (j + k) * g.x.step));
  }
  auto update = [&](C v, Index i) {
    for (int k = 0; k < kColumns; ++k)
      v = add(v, Forms::pair(t[k], Mem::ld(c[k] + i)));
    return v;
  };
  if (g.y.step == 1) {
    C *__restrict y = g.y.p;
    for (Index i0 = 0; i0 < g.m; i0 += kPageRows<C>) {
      const Index i1 = g.m - i0 < kPageRows<C> ? g.m : i0 + kPageRows<C>;
      for (int k = 0; k < kColumns; ++k)
        touch_two_pages_ahead(c[k] + i0);
      for (Index i = i0; i < i1; ++i)
        Mem::st(y + i, update(Mem::ld(y + i), i));
    }
  } else {
    for (Index i = 0; i < g.m; ++i)
      Mem::st(g.y.p + i * g.y.step, update(Mem::ld(g.y.p + i * g.y.step), i));
  }
}

// Columns j and j+1 together, products in the `pair` form, no zero test.
template <Op kOp, class C, class Forms, class Mem>
void column_pair(const GemvBlock<C> &g, Index j) {
  const C *c1 = g.a.p + j * g.a.step, *c2 = c1 + g.a.step;
  if constexpr (kOp == Op::plain) {
    update_column_pairs<1, C, Forms, Mem>(g, j);
  } else {
    C temp1 = {0, 0}, temp2 = {0, 0};
    for (Index i = 0; i < g.m; ++i) {
      C xi = Mem::ld(g.x.p + i * g.x.step);
      temp1 = add(temp1, Forms::pair(element_of_a<kOp, C, Mem>(c1 + i), xi));
      temp2 = add(temp2, Forms::pair(element_of_a<kOp, C, Mem>(c2 + i), xi));
    }
    C *y1 = g.y.p + j * g.y.step, *y2 = y1 + g.y.step;
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
    C xj = Mem::ld(g.x.p + j * g.x.step);
    if (is_zero(xj)) continue;
    cols[k] = g.a.p + j * g.a.step;
    t[k] = Forms::lone(g.alpha, xj);
    if (++k == 4) {
      update_complex_columns<4, C, Forms, Mem>(g.m, cols, t, g.y.p, g.y.step);
      k = 0;
    }
  }
  switch (k) {
  case 1: update_complex_columns<1, C, Forms, Mem>(g.m, cols, t, g.y.p, g.y.step); break;
  case 2: update_complex_columns<2, C, Forms, Mem>(g.m, cols, t, g.y.p, g.y.step); break;
  case 3: update_complex_columns<3, C, Forms, Mem>(g.m, cols, t, g.y.p, g.y.step); break;
  default: break;
  }
}

#ifndef MOX2_KERNEL_SET_HAS_WIDE_COMPLEX_DOT_FORM
// A kernel set with a wide complex dot form defines complex_dot_form_wide
// before including this file; from column j0 on it does an even number of
// columns with the kernel's precision (single form) and returns how many.
template <Op kOp, class C, class Mem> Index complex_dot_form_wide(const GemvBlock<C> &, Index) {
  return 0;
}
#endif

template <Op kOp, bool kPairs, class C, class Forms, class Mem>
void complex_columns(const GemvBlock<C> &g) {
  Index j = 0;
  if (!kPairs) {
    if constexpr (kOp == Op::plain) {
      column_form_skipping_zeros<C, Forms, Mem>(g);
      return;
    }
    if constexpr (kOp != Op::plain && !Forms::kExactLone)
      j = complex_dot_form_wide<kOp, C, Mem>(g, 0);
    for (; j < g.n; ++j)
      lone_column<kOp, C, Forms, Mem>(g, j);
    return;
  }
  if (g.n % 2 == 1) lone_column<kOp, C, Forms, Mem>(g, j++);
  if constexpr (kOp != Op::plain) j += complex_dot_form_wide<kOp, C, Mem>(g, j);
  if constexpr (kOp == Op::plain) {
    // Two pairs per pass over y.
    for (; j + 4 <= g.n; j += 4)
      update_column_pairs<2, C, Forms, Mem>(g, j);
  }
  for (; j < g.n; j += 2)
    column_pair<kOp, C, Forms, Mem>(g, j);
}

template <bool kPairs, class C, class Forms, class Mem>
void gemv_complex(Op op, const GemvBlock<C> &g) {
  scale_by_beta_complex<C, Forms, Mem>(op == Op::plain ? g.m : g.n, g.beta, g.y.p, g.y.step);
  if (is_zero(g.alpha)) return;
  switch (op) {
  case Op::plain:
    on_contiguous_y<C, Mem>(g, complex_columns<Op::plain, kPairs, C, Forms, Mem>);
    break;
  case Op::transposed: complex_columns<Op::transposed, kPairs, C, Forms, Mem>(g); break;
  case Op::conjugated: complex_columns<Op::conjugated, kPairs, C, Forms, Mem>(g); break;
  }
}

} // namespace mox2::kernels::MOX2_KERNEL_SET
