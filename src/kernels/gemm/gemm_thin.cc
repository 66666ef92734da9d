// The thin-product GEMM kernels: C := alpha*op(A)*op(B) + beta*C when one
// of m, n, k is small.  After the quick return (m or n below 1):
//
//   m < 4 <= n, k    small dimension m
//   n < 4 <= m, k    small dimension n
//   k < 4 <= m, n    small dimension k
//   anything else    the reference algorithm (zero skip included)
//
// A small dimension of 1 goes, in the real kernels, to one GEMV over row 1
// or column 1 of C (alpha and beta passed through), or for k = 1 to the
// beta scaling of C followed by one rank-one update.  Values 2 and 3, and
// every complex case, run loop nests in the reference order but WITHOUT the
// zero skip: each term of every element is added, whatever b(l, j) is.
// Column form: column j scaled by beta first (zeros for 0, multiplied for
// values other than 1), then C(i, j) := C(i, j) + A(i, l)*(alpha*b(l, j))
// for l = 1..k.  Dot form: temp summed over l in order, then alpha*temp or
// alpha*temp + beta*C(i, j).  A small dimension of 0 or below takes the
// reference algorithm.  COMPLEX(4) forms every complex product from exact
// double products, rounding each part once; sums are single precision.
#include <cstdint>

#include "kernels/blas_access.h"
#include "kernels/gemm/gemm_block.h"
#include "kernels/gemm_complex/complex_blocked.h"
#include "kernels/gemm_complex/gemm_complex.h"
#include "kernels/gemv/gemv_sets.h"
#include "kernels/kernel_set.h"
#include "kernels/kernels.h"
#include "runtime/cpu.h"

namespace mox2::kernels {
namespace {

using i32 = std::int32_t;
using Index = std::ptrdiff_t;

const i32 kOne = 1;

// The dimension of a thin product that is below 4 (other: none alone).
enum class Thin { rows, cols, terms, other };

// Which dimension is thin, and its value.
Thin thin_dimension(i32 m, i32 n, i32 k, i32 &small) {
  if (m < 4 && n >= 4 && k >= 4) {
    small = m;
    return Thin::rows;
  }
  if (m >= 4 && n < 4 && k >= 4) {
    small = n;
    return Thin::cols;
  }
  if (m >= 4 && n >= 4 && k < 4) {
    small = k;
    return Thin::terms;
  }
  small = 0;
  return Thin::other;
}

// The GEMV, scaling and rank-one update kernels a real thin product calls.
template <class T> struct Level2Kernels;
template <> struct Level2Kernels<float> {
  static constexpr auto scal = __f___zo_sscal_;
  static constexpr auto gemv = __f___zo_pp_sgemv_;
  static constexpr auto ger = __f___zo_pp_sger_;
};
template <> struct Level2Kernels<double> {
  static constexpr auto scal = __f___zo_dscal_;
  static constexpr auto gemv = __f___zo_pp_dgemv_;
  static constexpr auto ger = __f___zo_pp_dger_;
};

// op(B)(l, j), 0-based.
template <class T> T b_at(const GemmBlock<T> &g, Index l, Index j) {
  return g.op_b != Op::plain ? g.b.p[j + l * g.b.step] : g.b.p[l + j * g.b.step];
}

template <class T> void scale_column(T beta, T *col, Index m) {
  if (beta == 1) return;
  if (beta == 0) {
    for (Index i = 0; i < m; ++i)
      col[i] = T(0);
  } else {
    for (Index i = 0; i < m; ++i)
      col[i] = beta * col[i];
  }
}

// Column form without the zero skip; L terms per pass over a column
// (the terms of each element still in increasing l).
template <int L, class T> void column_terms(const GemmBlock<T> &g, Index l0, Index j) {
  T t[L];
  const T *acol[L];
  for (int q = 0; q < L; ++q) {
    t[q] = g.alpha * b_at(g, l0 + q, j);
    acol[q] = g.a.p + (l0 + q) * g.a.step;
  }
  T *__restrict col = g.c.p + j * g.c.step;
  for (Index i = 0; i < g.m; ++i) {
    T v = col[i];
    for (int q = 0; q < L; ++q)
      v = v + acol[q][i] * t[q];
    col[i] = v;
  }
}

// Any shape: up to four terms per pass over each column.
template <class T> void column_form_any(const GemmBlock<T> &g) {
  for (Index j = 0; j < g.n; ++j) {
    scale_column(g.beta, g.c.p + j * g.c.step, g.m);
    Index l = 0;
    for (; l + 4 <= g.k; l += 4)
      column_terms<4>(g, l, j);
    switch (g.k - l) {
    case 3: column_terms<3>(g, l, j); break;
    case 2: column_terms<2>(g, l, j); break;
    case 1: column_terms<1>(g, l, j); break;
    default: break;
    }
  }
}

// Dot form taken literally (alpha*temp even for alpha = 0).
template <class T> void dot_form_literal(const GemmBlock<T> &g) {
  for (Index j = 0; j < g.n; ++j)
    for (Index i = 0; i < g.m; ++i) {
      T s = 0;
      for (Index l = 0; l < g.k; ++l)
        s = s + g.a.p[l + i * g.a.step] * b_at(g, l, j);
      T *cij = g.c.p + i + j * g.c.step;
      *cij = g.beta == 0 ? g.alpha * s : g.alpha * s + g.beta * *cij;
    }
}

// With alpha != 0 the reference algorithm gives these very orders: its
// dot form as it stands, its column form with every term added.  With
// alpha = 0 the loops are taken literally (alpha*b is still added).
template <class T> void real_nest(const GemmBlock<T> &g) {
  if (g.alpha == 0) {
    if (g.op_a != Op::plain)
      dot_form_literal(g);
    else
      column_form_any(g);
    return;
  }
  GemmBlock<T> block = g;
  block.skip_zeros = false;
  gemm_block(block);
}

template <class T>
void real_thin(const char *transa, const char *transb, const i32 *m, const i32 *n, const i32 *k,
               const T *alpha, const T *a, const i32 *lda, const T *b, const i32 *ldb,
               const T *beta, T *c, const i32 *ldc) {
  using K = Level2Kernels<T>;
  if (*m <= 0 || *n <= 0) return;
  bool ta = real_transposed(transa), tb = real_transposed(transb);
  i32 small;
  const Thin thin = thin_dimension(*m, *n, *k, small);
  if (thin == Thin::other || small <= 0) {
    gemm_block(GemmBlock<T>{
        op_of(ta), op_of(tb), *m, *n, *k, *alpha, {a, *lda}, {b, *ldb}, *beta, {c, *ldc}});
    return;
  }
  if (small == 1) {
    switch (thin) {
    case Thin::rows:
      // Row 1 of C: op(B)^T times row 1 of op(A).
      if (tb)
        K::gemv("N", n, k, alpha, b, ldb, a, ta ? &kOne : lda, beta, c, ldc, 1);
      else
        K::gemv("T", k, n, alpha, b, ldb, a, ta ? &kOne : lda, beta, c, ldc, 1);
      return;
    case Thin::cols:
      // Column 1 of C: op(A) times op(B)(:, 1).
      if (ta)
        K::gemv("T", k, m, alpha, a, lda, b, tb ? ldb : &kOne, beta, c, &kOne, 1);
      else
        K::gemv("N", m, k, alpha, a, lda, b, tb ? ldb : &kOne, beta, c, &kOne, 1);
      return;
    default:
      // C := beta*C, then C := C + alpha*op(A)(:, 1)*op(B)(1, :).
      if (*beta != 1)
        for (i32 j = 0; j < *n; ++j) {
          T *col = c + static_cast<Index>(j) * *ldc;
          if (*beta == 0)
            for (i32 i = 0; i < *m; ++i)
              col[i] = T(0);
          else
            K::scal(m, beta, col, &kOne);
        }
      K::ger(m, n, alpha, a, ta ? lda : &kOne, b, tb ? &kOne : ldb, c, ldc);
      return;
    }
  }
  if (thin == Thin::cols && !ta && *alpha != 0) {
    // Two or three columns of C: each scaled, then its column form with
    // every term, all of them in one pass over A where the set can.
    for (i32 j = 0; j < *n; ++j)
      scale_column(*beta, c + static_cast<Index>(j) * *ldc, Index(*m));
    const GemvBlock<T> cols{*m, *k, *alpha, {a, *lda}, {b, tb ? *ldb : 1}, T(1), {c, 1}};
    gemv_few_columns(cols, *n, tb ? 1 : *ldb, *ldc, true);
    return;
  }
  real_nest(GemmBlock<T>{
      op_of(ta), op_of(tb), *m, *n, *k, *alpha, {a, *lda}, {b, *ldb}, *beta, {c, *ldc}});
}

// Every COMPLEX(4) product exact.
void thin_loops(const GemmBlock<c8> &g, bool zero_skip) {
  complex_gemm_loops(g, ComplexForms::exact, zero_skip);
}
void thin_loops(const GemmBlock<c16> &g, bool zero_skip) { complex_gemm_loops(g, zero_skip); }

// COMPLEX(8) column form (op(A) = A, op(B) = B or B^T, alpha not zero)
// on the kernel set's blocked tiles: every product there is in the plain
// form, so once C is scaled the thin order is the blocked column form's,
// each term t*A(i, l), t = alpha*b(l, j), in l order, except that it skips
// a lone first term (odd k) where b is zero; that term is added here
// first.  False, with nothing done, where this does not apply.
bool thin_column_form_on_tiles(const GemmBlock<c16> &g) {
  if (g.op_a != Op::plain || g.op_b == Op::conjugated || is_zero(g.alpha) || g.k < 2) return false;
  if (!kernel_set().z.gemm_blocked) return false; // the set has no blocked forms
  complex_scale_c<c16, NaturalAccess>(g, false);
  GemmBlock<c16> rest = g;
  rest.beta = c16{1, 0};
  if (g.k % 2 == 1) {
    const bool plain_b = g.op_b == Op::plain;
    for (Index j = 0; j < g.n; ++j) {
      const c16 t = mul(g.alpha, plain_b ? g.b.p[j * g.b.step] : g.b.p[j]);
      c16 *col = g.c.p + j * g.c.step;
      for (Index i = 0; i < g.m; ++i)
        col[i] = add(col[i], mul(t, g.a.p[i]));
    }
    rest.a.p += g.a.step;
    rest.b.p += plain_b ? 1 : g.b.step;
    rest.k -= 1;
  }
  if (!complex_blocked(rest)) thin_loops(rest, false);
  return true;
}
bool thin_column_form_on_tiles(const GemmBlock<c8> &) { return false; }

// The thin order on the kernel set's own vectors: its thin loops
// (complex_blocked.h), and for COMPLEX(8)'s dot form the blocked tiles.
// False, with nothing done, where the set has no such loops.
bool thin_on_set_vectors(const GemmBlock<c8> &g) {
  const auto thin = kernel_set().c.gemm_thin;
  return thin && thin(g);
}
bool thin_on_set_vectors(const GemmBlock<c16> &g) {
  if (g.op_a != Op::plain && g.k > 3 && g.m > 2) {
    // COMPLEX(8)'s thin dot form is the blocked dot form with the
    // reference loops' last step (one or two rows take the set's thin
    // loops, which choose their own form).
    GemmBlock<c16> dot = g;
    dot.reference_dot_end = true;
    return complex_blocked(dot);
  }
  const auto thin = kernel_set().z.gemm_thin;
  return thin && thin(g);
}

template <class C>
void complex_thin(const char *transa, const char *transb, const i32 *m, const i32 *n, const i32 *k,
                  const C *alpha, const C *a, const i32 *lda, const C *b, const i32 *ldb,
                  const C *beta, C *c, const i32 *ldc) {
  if (*m <= 0 || *n <= 0) return;
  GemmBlock<C> g{complex_gemm_op(*transa),
                 complex_gemm_op(*transb),
                 *m,
                 *n,
                 *k,
                 *alpha,
                 {a, *lda},
                 {b, *ldb},
                 *beta,
                 {c, *ldc}};
  i32 small;
  const Thin thin = thin_dimension(*m, *n, *k, small);
  if (thin != Thin::other && small > 0) {
    // Few rows only: with many rows the loops below stream C well.
    if (thin == Thin::rows && thin_column_form_on_tiles(g)) return;
    if (!thin_on_set_vectors(g)) thin_loops(g, false);
  } else if (!complex_reference_prologue<C, NaturalAccess>(g, sizeof(C) == sizeof(c8)))
    thin_loops(g, true);
}

} // namespace
} // namespace mox2::kernels

using namespace mox2;
using namespace mox2::kernels;

extern "C" {

MOX2_GEMM_KERNEL(__f___zo_pp_sgemm_asp_, float) {
  real_thin(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}

MOX2_GEMM_KERNEL(__f___zo_pp_dgemm_asp_, double) {
  real_thin(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}

MOX2_GEMM_KERNEL(__f___zo_pp_cgemm_asp_, c8) {
  complex_thin(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}

MOX2_GEMM_KERNEL(__f___zo_pp_zgemm_asp_, c16) {
  complex_thin(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}

} // extern "C"
