// The complex GEMM loops of one kernel set, included by each set's source
// (gemm_complex_portable.cc, avx2/) inside its own namespace, so every set
// compiles the same order with its own instructions.
//
// Reference loops, per element of C:
//   Column form (op(A) = A): column j is first scaled (zeros for beta = 0,
//   C not read; multiplied for beta != (1, 0)); then for l = 1..k,
//   temp := alpha*b(l, j) and C(i, j) := C(i, j) + temp*A(i, l).  With the
//   zero skip a b(l, j) with both parts zero skips its term.
//   Dot form (A^T, A^H): temp := 0, temp := temp + op(A)(i, l)*b(l, j) for
//   l = 1..k in order; C(i, j) := alpha*temp when beta = (0, 0), else
//   alpha*temp + beta*C(i, j).
// b(l, j) is B(l, j), B(j, l) or conjg(B(j, l)).  `Forms` names the
// product form of each kind of product (COMPLEX(4) kernels mix the exact
// and the single form); `Mem` says what alignment the data has.
//
// GEMV columns (op(B) = B or B^T, C already scaled by beta), per element
// the order of one complex GEMV per column of C:
//   op(A) = A: the terms l = 1..k in order.  When k is odd the lone first
//   term is skipped for b(1, j) = 0 and otherwise formed in the `lone`
//   product form (temp := alpha*b(1, j), then temp*A(i, 1)); the following
//   terms, taken in pairs, skip nothing and use the `pair` form.
//   op(A) = A^T or A^H: temp := sum over l in order of op(A)(i, l)*b(l, j),
//   then C(i, j) := C(i, j) + alpha*temp; when m is odd row 1 uses the
//   `lone` form for its products and alpha*temp, the other rows the `pair`
//   form.
//
// The loops block C, A and op(B) for the caches and compute several
// elements at once; no element's order changes.
#ifndef MOX2_KERNEL_SET
#error "define MOX2_KERNEL_SET before including gemm_complex_body.h"
#endif

#include <cstddef>

#include "kernels/blas_access.h"
#include "kernels/gemm_complex/gemm_complex.h"
#include "kernels/gemm_complex/gemv_forms.h"

namespace mox2::kernels::MOX2_KERNEL_SET {
namespace {

// The product forms of one kernel: `scale` for beta*C, `temp` for
// alpha*b(l, j), `update` for temp*A(i, l), `dot` for op(A)(i, l)*b(l, j),
// `alpha_temp` for alpha*temp of the dot form.
template <class P> struct PlainForms {
  using C = Complex<P>;
  static C scale(C u, C v) { return mul(u, v); }
  static C temp(C u, C v) { return mul(u, v); }
  static C update(C u, C v) { return mul(u, v); }
  static C dot(C u, C v) { return mul(u, v); }
  static C alpha_temp(C u, C v) { return mul(u, v); }
};
// COMPLEX(4), every product in the exact form.
struct ExactForms {
  static c8 scale(c8 u, c8 v) { return mul_exact(u, v); }
  static c8 temp(c8 u, c8 v) { return mul_exact(u, v); }
  static c8 update(c8 u, c8 v) { return mul_exact(u, v); }
  static c8 dot(c8 u, c8 v) { return mul_exact(u, v); }
  static c8 alpha_temp(c8 u, c8 v) { return mul_exact(u, v); }
};
// COMPLEX(4) GEMM kernel: beta scaling and alpha*temp exact, the terms in
// single precision.
struct MixedForms {
  static c8 scale(c8 u, c8 v) { return mul_exact(u, v); }
  static c8 temp(c8 u, c8 v) { return mul(u, v); }
  static c8 update(c8 u, c8 v) { return mul(u, v); }
  static c8 dot(c8 u, c8 v) { return mul(u, v); }
  static c8 alpha_temp(c8 u, c8 v) { return mul_exact(u, v); }
};

namespace complex_gemm_detail {
using Index = std::ptrdiff_t;

template <class C, class Mem> C op_element(Op op, const C *p) {
  C v = Mem::ld(p);
  return op == Op::conjugated ? conj(v) : v;
}
// b(l, j), 0-based.
template <class C, class Mem> C b_at(const GemmBlock<C> &g, Index l, Index j) {
  if (g.op_b == Op::plain) return Mem::ld(g.b.p + l + j * g.b.step);
  return op_element<C, Mem>(g.op_b, g.b.p + j + l * g.b.step);
}

template <class C, class Forms, class Mem> void scale_column(const GemmBlock<C> &g, C *col) {
  if (is_one(g.beta)) return;
  bool zero = is_zero(g.beta);
  for (Index i = 0; i < g.m; ++i)
    Mem::st(col + i, zero ? C{0, 0} : Forms::scale(g.beta, Mem::ld(col + i)));
}

constexpr Index kTermsPerSlice = 128;  // column form: terms per pass over C
constexpr Index kRowsPerSlice = 256;   // column form: rows of A per slice
constexpr Index kDotRowsPerSlice = 32; // dot form: rows of op(A) kept in cache

// Column form on columns j0..j0+N-1, rows i0..i1-1, terms l0..l1-1: four
// terms per pass over the rows; a group with a skipped term goes term by
// term.
template <int N, bool kZeroSkip, class C, class Forms, class Mem>
void column_terms(const GemmBlock<C> &g, Index j0, Index i0, Index i1, Index l0, Index l1) {
  C *cols[N];
  for (int q = 0; q < N; ++q)
    cols[q] = g.c.p + (j0 + q) * g.c.step;
  for (Index l = l0; l < l1; l += 4) {
    int terms = l1 - l < 4 ? static_cast<int>(l1 - l) : 4;
    C t[N][4];
    bool skip[N][4];
    bool any_skip = false;
    for (int q = 0; q < N; ++q)
      for (int p = 0; p < terms; ++p) {
        C b = b_at<C, Mem>(g, l + p, j0 + q);
        skip[q][p] = kZeroSkip && is_zero(b);
        any_skip = any_skip || skip[q][p];
        t[q][p] = Forms::temp(g.alpha, b);
      }
    const C *acol[4];
    for (int p = 0; p < terms; ++p)
      acol[p] = g.a.p + (l + p) * g.a.step;
    if (terms == 4 && !any_skip) {
      for (Index i = i0; i < i1; ++i) {
        C x0 = Mem::ld(acol[0] + i), x1 = Mem::ld(acol[1] + i), x2 = Mem::ld(acol[2] + i),
          x3 = Mem::ld(acol[3] + i);
        for (int q = 0; q < N; ++q) {
          C v = Mem::ld(cols[q] + i);
          v = add(v, Forms::update(t[q][0], x0));
          v = add(v, Forms::update(t[q][1], x1));
          v = add(v, Forms::update(t[q][2], x2));
          v = add(v, Forms::update(t[q][3], x3));
          Mem::st(cols[q] + i, v);
        }
      }
      continue;
    }
    for (int p = 0; p < terms; ++p)
      for (int q = 0; q < N; ++q) {
        if (skip[q][p]) continue;
        for (Index i = i0; i < i1; ++i)
          Mem::st(cols[q] + i,
                  add(Mem::ld(cols[q] + i), Forms::update(t[q][p], Mem::ld(acol[p] + i))));
      }
  }
}

// Dot form on rows i0..i0+R-1 and columns j0..j0+N-1, R x N sums side by
// side, each over l in order.
template <int R, int N, class C, class Forms, class Mem>
void dot_block(const GemmBlock<C> &g, Index i0, Index j0) {
  C s[N][R];
  for (int q = 0; q < N; ++q)
    for (int r = 0; r < R; ++r)
      s[q][r] = C{0, 0};
  for (Index l = 0; l < g.k; ++l) {
    C av[R], bv[N];
    for (int r = 0; r < R; ++r)
      av[r] = op_element<C, Mem>(g.op_a, g.a.p + l + (i0 + r) * g.a.step);
    for (int q = 0; q < N; ++q)
      bv[q] = b_at<C, Mem>(g, l, j0 + q);
    for (int q = 0; q < N; ++q)
      for (int r = 0; r < R; ++r)
        s[q][r] = add(s[q][r], Forms::dot(av[r], bv[q]));
  }
  bool beta_zero = is_zero(g.beta);
  for (int q = 0; q < N; ++q)
    for (int r = 0; r < R; ++r) {
      C *cij = g.c.p + (i0 + r) + (j0 + q) * g.c.step;
      C v = Forms::alpha_temp(g.alpha, s[q][r]);
      Mem::st(cij, beta_zero ? v : add(v, Forms::scale(g.beta, Mem::ld(cij))));
    }
}
} // namespace complex_gemm_detail

// The loops of the column or dot form, without quick returns.  The loops
// block C, A and op(B) for the caches and compute several elements at
// once; no element's order changes.
template <bool kZeroSkip, class C, class Forms, class Mem>
void reference_loops(const GemmBlock<C> &g) {
  using namespace complex_gemm_detail;
  if (g.op_a == Op::plain) {
    for (Index j = 0; j < g.n; ++j)
      scale_column<C, Forms, Mem>(g, g.c.p + j * g.c.step);
    for (Index l0 = 0; l0 < g.k; l0 += kTermsPerSlice) {
      Index l1 = l0 + kTermsPerSlice < g.k ? l0 + kTermsPerSlice : g.k;
      for (Index i0 = 0; i0 < g.m; i0 += kRowsPerSlice) {
        Index i1 = i0 + kRowsPerSlice < g.m ? i0 + kRowsPerSlice : g.m;
        Index j = 0;
        for (; j + 2 <= g.n; j += 2)
          column_terms<2, kZeroSkip, C, Forms, Mem>(g, j, i0, i1, l0, l1);
        if (j < g.n) column_terms<1, kZeroSkip, C, Forms, Mem>(g, j, i0, i1, l0, l1);
      }
    }
    return;
  }
  for (Index i0 = 0; i0 < g.m; i0 += kDotRowsPerSlice) {
    Index i1 = i0 + kDotRowsPerSlice < g.m ? i0 + kDotRowsPerSlice : g.m;
    Index j = 0;
    for (; j + 4 <= g.n; j += 4) {
      Index i = i0;
      for (; i + 2 <= i1; i += 2)
        dot_block<2, 4, C, Forms, Mem>(g, i, j);
      if (i < i1) dot_block<1, 4, C, Forms, Mem>(g, i, j);
    }
    for (; j < g.n; ++j) {
      Index i = i0;
      for (; i + 2 <= i1; i += 2)
        dot_block<2, 1, C, Forms, Mem>(g, i, j);
      if (i < i1) dot_block<1, 1, C, Forms, Mem>(g, i, j);
    }
  }
}

namespace by_gemv_detail {
using Index = std::ptrdiff_t;

constexpr Index kTermsPerSlice = 128;  // column form: terms per pass over C
constexpr Index kRowsPerSlice = 256;   // column form: rows of A per slice
constexpr Index kDotRowsPerSlice = 32; // dot form: rows of op(A) kept in cache

// b(l, j) for op(B) = B or B^T, 0-based.
template <class C> const C *b_ptr(const GemmBlock<C> &g, Index l, Index j) {
  return g.op_b == Op::plain ? g.b.p + l + j * g.b.step : g.b.p + j + l * g.b.step;
}

// Columns j0..j0+N-1, rows i0..i1-1, terms l0..l1-1 (all pair terms).
template <int N, class C, class F>
void column_terms(const GemmBlock<C> &g, Index j0, Index i0, Index i1, Index l0, Index l1) {
  C *cols[N];
  for (int q = 0; q < N; ++q)
    cols[q] = g.c.p + (j0 + q) * g.c.step;
  Index l = l0;
  // Four terms per pass over the rows.
  for (; l + 4 <= l1; l += 4) {
    C t[N][4];
    for (int q = 0; q < N; ++q)
      for (int p = 0; p < 4; ++p)
        t[q][p] = F::pair(g.alpha, *b_ptr(g, l + p, j0 + q));
    const C *a0 = g.a.p + l * g.a.step, *a1 = a0 + g.a.step, *a2 = a1 + g.a.step,
            *a3 = a2 + g.a.step;
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
    const C *a0 = g.a.p + l * g.a.step;
    for (Index i = i0; i < i1; ++i)
      for (int q = 0; q < N; ++q)
        cols[q][i] = add(cols[q][i], F::pair(t[q], a0[i]));
  }
}

template <class C, class F> void column_form(const GemmBlock<C> &g) {
  Index first = g.k % 2;
  if (first == 1) {
    for (Index j = 0; j < g.n; ++j) {
      C x = *b_ptr(g, 0, j);
      if (is_zero(x)) continue;
      C t = F::lone(g.alpha, x);
      C *col = g.c.p + j * g.c.step;
      for (Index i = 0; i < g.m; ++i)
        col[i] = add(col[i], F::lone(t, g.a.p[i]));
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
void dot_block(const GemmBlock<C> &g, Index i0, Index j0) {
  C s[N][R];
  const C *arow[R];
  const C *bcol[N];
  for (int r = 0; r < R; ++r)
    arow[r] = g.a.p + (i0 + r) * g.a.step;
  for (int q = 0; q < N; ++q) {
    bcol[q] = b_ptr(g, 0, j0 + q);
    for (int r = 0; r < R; ++r)
      s[q][r] = C{0, 0};
  }
  const Index bstep = g.op_b == Op::plain ? 1 : g.b.step;
  const bool conj_a = g.op_a == Op::conjugated;
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
      C *cij = g.c.p + (i0 + r) + (j0 + q) * g.c.step;
      *cij = add(*cij, Mul::apply(g.alpha, s[q][r]));
    }
}

template <class F> struct LoneMul {
  template <class C> static C apply(C u, C v) { return F::lone(u, v); }
};
template <class F> struct PairMul {
  template <class C> static C apply(C u, C v) { return F::pair(u, v); }
};

template <class C, class F> void dot_form(const GemmBlock<C> &g) {
  Index first = g.m % 2;
  if (first == 1)
    for (Index j = 0; j < g.n; ++j)
      dot_block<1, 1, C, LoneMul<F>>(g, 0, j);
  for (Index i0 = first; i0 < g.m; i0 += kDotRowsPerSlice) {
    Index i1 = i0 + kDotRowsPerSlice < g.m ? i0 + kDotRowsPerSlice : g.m;
    Index j = 0;
    for (; j + 4 <= g.n; j += 4) {
      Index i = i0;
      for (; i + 2 <= i1; i += 2)
        dot_block<2, 4, C, PairMul<F>>(g, i, j);
      if (i < i1) dot_block<1, 4, C, PairMul<F>>(g, i, j);
    }
    for (; j < g.n; ++j) {
      Index i = i0;
      for (; i + 2 <= i1; i += 2)
        dot_block<2, 1, C, PairMul<F>>(g, i, j);
      if (i < i1) dot_block<1, 1, C, PairMul<F>>(g, i, j);
    }
  }
}
} // namespace by_gemv_detail

// GEMV columns.  Requires m, n, k >= 1, alpha != 0 and op(B) = B or B^T; 8-byte aligned
// data.
template <class C> void by_gemv(const GemmBlock<C> &g) {
  using F = GemvForms<C>;
  if (g.op_a == Op::plain)
    by_gemv_detail::column_form<C, F>(g);
  else
    by_gemv_detail::dot_form<C, F>(g);
}

} // namespace

// ---- The set's routines (see gemm_complex.h) ------------------------------

void complex_gemm_loops(const GemmBlock<c8> &g, ComplexForms forms, bool zero_skip) {
  if (forms == ComplexForms::exact) {
    if (zero_skip)
      reference_loops<true, c8, ExactForms, NaturalAccess>(g);
    else
      reference_loops<false, c8, ExactForms, NaturalAccess>(g);
  } else {
    if (zero_skip)
      reference_loops<true, c8, MixedForms, NaturalAccess>(g);
    else
      reference_loops<false, c8, MixedForms, NaturalAccess>(g);
  }
}
void complex_gemm_loops(const GemmBlock<c16> &g, ComplexForms, bool zero_skip) {
  if (zero_skip)
    reference_loops<true, c16, PlainForms<double>, NaturalAccess>(g);
  else
    reference_loops<false, c16, PlainForms<double>, NaturalAccess>(g);
}
void complex_gemm_loops_bytewise(const GemmBlock<c16> &g) {
  reference_loops<true, c16, PlainForms<double>, Bytewise4Access>(g);
}
void complex_gemm_by_gemv(const GemmBlock<c8> &g) { by_gemv(g); }
void complex_gemm_by_gemv(const GemmBlock<c16> &g) { by_gemv(g); }

} // namespace mox2::kernels::MOX2_KERNEL_SET
