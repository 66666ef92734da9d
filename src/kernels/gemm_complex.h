// The complex GEMM loops, C := alpha*op(A)*op(B) + beta*C, shared by the
// complex GEMM kernels and the thin-product kernels.  Per element of C:
//
//   Column form (op(A) = A): column j is first scaled (zeros for beta = 0,
//   C not read; multiplied for beta != (1, 0)); then for l = 1..k,
//   temp := alpha*b(l, j) and C(i, j) := C(i, j) + temp*A(i, l).  With the
//   zero skip a b(l, j) with both parts zero skips its term.
//   Dot form (A^T, A^H): temp := 0, temp := temp + op(A)(i, l)*b(l, j) for
//   l = 1..k in order; C(i, j) := alpha*temp when beta = (0, 0), else
//   alpha*temp + beta*C(i, j).
//
// b(l, j) is B(l, j), B(j, l) or conjg(B(j, l)).  `Forms` names the
// product form of each kind of product (COMPLEX(4) kernels mix the exact
// and the single form); `Mem` says what alignment the data has.
#pragma once

#include <cstddef>

#include "kernels/blas_access.h"
#include "kernels/gemv_sets.h"

namespace mox2::kernels {

template <class C> struct ComplexGemm {
  ComplexOp op_a, op_b;
  std::ptrdiff_t m, n, k;
  C alpha;
  const C *a;
  std::ptrdiff_t lda;
  const C *b;
  std::ptrdiff_t ldb;
  C beta;
  C *c;
  std::ptrdiff_t ldc;
};

// 'N'/'n': plain; 'C'/'c': conjugate transpose; any other letter: transpose.
inline ComplexOp complex_gemm_op(char letter) {
  if (letter == 'N' || letter == 'n') return ComplexOp::plain;
  if (letter == 'C' || letter == 'c') return ComplexOp::conjugated;
  return ComplexOp::transposed;
}

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

template <class C, class Mem> C op_element(ComplexOp op, const C *p) {
  C v = Mem::ld(p);
  return op == ComplexOp::conjugated ? conj(v) : v;
}
// b(l, j), 0-based.
template <class C, class Mem> C b_at(const ComplexGemm<C> &g, Index l, Index j) {
  if (g.op_b == ComplexOp::plain) return Mem::ld(g.b + l + j * g.ldb);
  return op_element<C, Mem>(g.op_b, g.b + j + l * g.ldb);
}

template <class C, class Forms, class Mem> void scale_column(const ComplexGemm<C> &g, C *col) {
  if (is_one(g.beta)) return;
  bool zero = is_zero(g.beta);
  for (Index i = 0; i < g.m; ++i)
    Mem::st(col + i, zero ? C{0, 0} : Forms::scale(g.beta, Mem::ld(col + i)));
}
} // namespace complex_gemm_detail

// The loops of the column or dot form, without quick returns.
template <bool kZeroSkip, class C, class Forms, class Mem>
void complex_gemm_loops(const ComplexGemm<C> &g) {
  using namespace complex_gemm_detail;
  if (g.op_a == ComplexOp::plain) {
    for (Index j = 0; j < g.n; ++j) {
      C *col = g.c + j * g.ldc;
      scale_column<C, Forms, Mem>(g, col);
      for (Index l = 0; l < g.k; ++l) {
        C b = b_at<C, Mem>(g, l, j);
        if (kZeroSkip && is_zero(b)) continue;
        C t = Forms::temp(g.alpha, b);
        const C *acol = g.a + l * g.lda;
        for (Index i = 0; i < g.m; ++i)
          Mem::st(col + i, add(Mem::ld(col + i), Forms::update(t, Mem::ld(acol + i))));
      }
    }
    return;
  }
  bool beta_zero = is_zero(g.beta);
  for (Index j = 0; j < g.n; ++j) {
    for (Index i = 0; i < g.m; ++i) {
      const C *arow = g.a + i * g.lda; // op(A)(i, l) = A(l, i)
      C s = {0, 0};
      for (Index l = 0; l < g.k; ++l)
        s = add(s, Forms::dot(op_element<C, Mem>(g.op_a, arow + l), b_at<C, Mem>(g, l, j)));
      C *cij = g.c + i + j * g.ldc;
      C r = Forms::alpha_temp(g.alpha, s);
      Mem::st(cij, beta_zero ? r : add(r, Forms::scale(g.beta, Mem::ld(cij))));
    }
  }
}

// C := beta*C with the scale form (zeros for beta = (0, 0), nothing for
// beta = (1, 0)).
template <class C, class Forms, class Mem> void complex_scale_c(const ComplexGemm<C> &g) {
  for (std::ptrdiff_t j = 0; j < g.n; ++j)
    complex_gemm_detail::scale_column<C, Forms, Mem>(g, g.c + j * g.ldc);
}

// The reference algorithm: quick return for m = 0, n = 0, or beta = (1, 0)
// with alpha = (0, 0) or k = 0; alpha = (0, 0) scales C only; otherwise the
// loops with the zero skip.
template <class C, class Forms, class Mem> void complex_gemm_reference(const ComplexGemm<C> &g) {
  if (g.m <= 0 || g.n <= 0 || (is_one(g.beta) && (is_zero(g.alpha) || g.k <= 0))) return;
  if (is_zero(g.alpha)) {
    complex_scale_c<C, Forms, Mem>(g);
    return;
  }
  complex_gemm_loops<true, C, Forms, Mem>(g);
}

} // namespace mox2::kernels
