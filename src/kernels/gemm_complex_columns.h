// The complex GEMM kernels for op(B) = B or B^T: C(:, j) := C(:, j) +
// alpha*op(A)*op(B)(:, j) for every column j, each column in the order of
// the complex GEMV kernels (C already scaled by beta).  Per element:
//
//   op(A) = A: the terms l = 1..k in order.  When k is odd the lone first
//   term is skipped for b(1, j) = 0 and otherwise formed in the `lone`
//   product form (temp := alpha*b(1, j), then temp*A(i, 1)); the following
//   terms, taken in pairs, skip nothing and use the `pair` form
//   (t := alpha*b(l, j), then t*A(i, l)).
//   op(A) = A^T or A^H: temp := sum over l in order of op(A)(i, l)*b(l, j),
//   then C(i, j) := C(i, j) + alpha*temp; when m is odd row 1 uses the
//   `lone` form for its products and alpha*temp, the other rows the `pair`
//   form.
//
// The loops block C, A and op(B) for the caches and compute several
// elements at once; no element's order changes.
#pragma once

#include <cstddef>

#include "kernels/gemm_complex.h"

namespace mox2::kernels {

template <class C> struct GemvForms;
template <> struct GemvForms<c8> {
  static c8 lone(c8 u, c8 v) { return mul_exact(u, v); }
  static c8 pair(c8 u, c8 v) { return mul(u, v); }
};
template <> struct GemvForms<c16> {
  static c16 lone(c16 u, c16 v) { return mul(u, v); }
  static c16 pair(c16 u, c16 v) { return mul(u, v); }
};

namespace complex_columns_detail {
using Index = std::ptrdiff_t;

constexpr Index kTermsPerSlice = 128;  // column form: terms per pass over C
constexpr Index kRowsPerSlice = 256;   // column form: rows of A per slice
constexpr Index kDotRowsPerSlice = 32; // dot form: rows of op(A) kept in cache

// b(l, j) for op(B) = B or B^T, 0-based.
template <class C> const C *b_ptr(const ComplexGemm<C> &g, Index l, Index j) {
  return g.op_b == ComplexOp::plain ? g.b + l + j * g.ldb : g.b + j + l * g.ldb;
}

// Columns j0..j0+N-1, rows i0..i1-1, terms l0..l1-1 (all pair terms).
template <int N, class C, class F>
void column_terms(const ComplexGemm<C> &g, Index j0, Index i0, Index i1, Index l0, Index l1) {
  C *cols[N];
  for (int q = 0; q < N; ++q)
    cols[q] = g.c + (j0 + q) * g.ldc;
  Index l = l0;
  // Four terms per pass over the rows.
  for (; l + 4 <= l1; l += 4) {
    C t[N][4];
    for (int q = 0; q < N; ++q)
      for (int p = 0; p < 4; ++p)
        t[q][p] = F::pair(g.alpha, *b_ptr(g, l + p, j0 + q));
    const C *a0 = g.a + l * g.lda, *a1 = a0 + g.lda, *a2 = a1 + g.lda, *a3 = a2 + g.lda;
    for (Index i = i0; i < i1; ++i) {
      C x0 = a0[i], x1 = a1[i], x2 = a2[i], x3 = a3[i];
      for (int q = 0; q < N; ++q) {
        C v = cols[q][i];
        v = add(v, F::pair(t[q][0], x0));
        v = add(v, F::pair(t[q][1], x1));
        v = add(v, F::pair(t[q][2], x2));
        v = add(v, F::pair(t[q][3], x3));
        cols[q][i] = v;
      }
    }
  }
  for (; l < l1; ++l) {
    C t[N];
    for (int q = 0; q < N; ++q)
      t[q] = F::pair(g.alpha, *b_ptr(g, l, j0 + q));
    const C *a0 = g.a + l * g.lda;
    for (Index i = i0; i < i1; ++i)
      for (int q = 0; q < N; ++q)
        cols[q][i] = add(cols[q][i], F::pair(t[q], a0[i]));
  }
}

template <class C, class F> void column_form(const ComplexGemm<C> &g) {
  Index first = g.k % 2;
  if (first == 1) {
    for (Index j = 0; j < g.n; ++j) {
      C x = *b_ptr(g, 0, j);
      if (is_zero(x)) continue;
      C t = F::lone(g.alpha, x);
      C *col = g.c + j * g.ldc;
      for (Index i = 0; i < g.m; ++i)
        col[i] = add(col[i], F::lone(t, g.a[i]));
    }
  }
  for (Index l0 = first; l0 < g.k; l0 += kTermsPerSlice) {
    Index l1 = l0 + kTermsPerSlice < g.k ? l0 + kTermsPerSlice : g.k;
    for (Index i0 = 0; i0 < g.m; i0 += kRowsPerSlice) {
      Index i1 = i0 + kRowsPerSlice < g.m ? i0 + kRowsPerSlice : g.m;
      Index j = 0;
      for (; j + 2 <= g.n; j += 2)
        column_terms<2, C, F>(g, j, i0, i1, l0, l1);
      if (j < g.n) column_terms<1, C, F>(g, j, i0, i1, l0, l1);
    }
  }
}

// Rows i0..i0+R-1, columns j0..j0+N-1 of the dot form, every product in
// form `Mul`.
template <int R, int N, class C, class Mul>
void dot_block(const ComplexGemm<C> &g, Index i0, Index j0) {
  C s[N][R];
  const C *arow[R];
  const C *bcol[N];
  for (int r = 0; r < R; ++r)
    arow[r] = g.a + (i0 + r) * g.lda;
  for (int q = 0; q < N; ++q) {
    bcol[q] = b_ptr(g, 0, j0 + q);
    for (int r = 0; r < R; ++r)
      s[q][r] = C{0, 0};
  }
  const Index bstep = g.op_b == ComplexOp::plain ? 1 : g.ldb;
  const bool conj_a = g.op_a == ComplexOp::conjugated;
  for (Index l = 0; l < g.k; ++l) {
    C av[R], bv[N];
    for (int r = 0; r < R; ++r)
      av[r] = conj_a ? conj(arow[r][l]) : arow[r][l];
    for (int q = 0; q < N; ++q)
      bv[q] = bcol[q][l * bstep];
    for (int q = 0; q < N; ++q)
      for (int r = 0; r < R; ++r)
        s[q][r] = add(s[q][r], Mul::apply(av[r], bv[q]));
  }
  for (int q = 0; q < N; ++q)
    for (int r = 0; r < R; ++r) {
      C *cij = g.c + (i0 + r) + (j0 + q) * g.ldc;
      *cij = add(*cij, Mul::apply(g.alpha, s[q][r]));
    }
}

template <class F> struct LoneMul {
  template <class C> static C apply(C u, C v) { return F::lone(u, v); }
};
template <class F> struct PairMul {
  template <class C> static C apply(C u, C v) { return F::pair(u, v); }
};

template <class C, class F> void dot_form(const ComplexGemm<C> &g) {
  Index first = g.m % 2;
  if (first == 1)
    for (Index j = 0; j < g.n; ++j)
      dot_block<1, 1, C, LoneMul<F>>(g, 0, j);
  for (Index i0 = first; i0 < g.m; i0 += kDotRowsPerSlice) {
    Index i1 = i0 + kDotRowsPerSlice < g.m ? i0 + kDotRowsPerSlice : g.m;
    Index j = 0;
    for (; j + 2 <= g.n; j += 2) {
      Index i = i0;
      for (; i + 2 <= i1; i += 2)
        dot_block<2, 2, C, PairMul<F>>(g, i, j);
      if (i < i1) dot_block<1, 2, C, PairMul<F>>(g, i, j);
    }
    if (j < g.n) {
      Index i = i0;
      for (; i + 2 <= i1; i += 2)
        dot_block<2, 1, C, PairMul<F>>(g, i, j);
      if (i < i1) dot_block<1, 1, C, PairMul<F>>(g, i, j);
    }
  }
}
} // namespace complex_columns_detail

// Requires m, n, k >= 1, alpha != 0 and op(B) = B or B^T; 8-byte aligned
// data.
template <class C> void complex_gemv_columns(const ComplexGemm<C> &g) {
  using F = GemvForms<C>;
  if (g.op_a == ComplexOp::plain)
    complex_columns_detail::column_form<C, F>(g);
  else
    complex_columns_detail::dot_form<C, F>(g);
}

} // namespace mox2::kernels
