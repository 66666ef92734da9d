// The GEMM kernels, C := alpha*op(A)*op(B) + beta*C on one block of C.
//
// Real drivers (pp_sgemm, pp_dgemm): with op(A) = A^T and op(B) = B every
// element takes the dot form, and the product is one block.  Otherwise C
// is scaled by beta first (zeros for 0, the scal kernel per column
// otherwise); then an odd n's column 1 is
// one GEMV, rows 1..m mod 4 over the other columns are one GEMV each
// (written out in the GEMV kernel's order when small, or, beside a block
// of four rows, taken in the GEMV order in that block's pass over B, or,
// over op(B) = B, the rows' dot forms side by side in one pass), and
// the remaining block (rows in fours, columns in pairs) goes to the inner
// kernel with beta = 1, or with beta itself where its own scaling gives
// the same bits (so that C is not swept twice); a block of few columns
// of a large A (op(A) = A) takes its column forms side by side, reading A
// once (the few columns, gemv_sets.h).  The inner kernels and the
// alignment-safe kernels follow the reference order of gemm_block.h.
// The complex kernels build C column by column from GEMV calls, except for
// op(B) = B^H, which runs the reference loops (gemm_complex.h) with beta
// applied inside, blocked where the kernel set has them.
#include <cstdint>
#include <cstring>

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

// The constants handed to the kernels the drivers call.
const i32 kOne = 1;
template <class T> struct Constants;
template <> struct Constants<float> { static constexpr float one = 1.0f; };
template <> struct Constants<double> { static constexpr double one = 1.0; };
template <> struct Constants<c8> { static constexpr c8 one = {1.0f, 0.0f}; };
template <> struct Constants<c16> { static constexpr c16 one = {1.0, 0.0}; };

// The scaling and GEMV kernels a real driver calls.
template <class T> struct Level2Kernels;
template <> struct Level2Kernels<float> {
  static constexpr auto scal = __f___zo_sscal_;
  static constexpr auto gemv = __f___zo_pp_sgemv_;
};
template <> struct Level2Kernels<double> {
  static constexpr auto scal = __f___zo_dscal_;
  static constexpr auto gemv = __f___zo_pp_dgemv_;
};

template <class T>
GemmBlock<T> block_of(bool ta, bool tb, i32 m, i32 n, i32 k, T alpha, const T *a, i32 lda,
                      const T *b, i32 ldb, T beta, T *c, i32 ldc) {
  return GemmBlock<T>{op_of(ta), op_of(tb), m, n, k, alpha, {a, lda}, {b, ldb}, beta, {c, ldc}};
}

// C(1..m, 1..n) := beta*C: zeros for beta = 0 (C not read), the scal
// kernel per column for beta not in {0, 1}.
template <class T> void scale_c(i32 m, i32 n, const T *beta, T *c, Index ldc) {
  if (*beta == 1 || m <= 0) return;
  for (i32 j = 0; j < n; ++j) {
    T *col = c + j * ldc;
    if (*beta == 0) {
      for (i32 i = 0; i < m; ++i)
        col[i] = T(0);
    } else {
      Level2Kernels<T>::scal(&m, beta, col, &kOne);
    }
  }
}

// The GEMV forms a real driver peels off, written out for operands small
// enough that a kernel call costs more than their work (at most
// GemmCuts::small_gemv elements of M, kernel_set.h): y := y +
// alpha*op(M)*x (alpha not zero, beta = 1), each element in the GEMV
// kernel's order.  M(i, j) is mat[i + j*ld]; every increment is positive.

// Dot form of kRows peeled rows at once, kCols columns of M side by side:
// row r's x is x0 + r*row_step (increment incx) and its y is y0 + r
// (increment incy); for each row and column j, temp := +0, temp := temp +
// M(i, j)*x(i) for i in order, then y(j) := y(j) + alpha*temp.
template <class T, int kRows, int kCols>
void small_dot_rows(Index rows, Index cols, T alpha, const T *mat, Index ld, const T *x0,
                    Index row_step, Index incx, T *y0, Index incy) {
  Index j = 0;
  for (; j + kCols <= cols; j += kCols) {
    T sum[kCols][kRows] = {};
    for (Index i = 0; i < rows; ++i)
      for (int r = 0; r < kRows; ++r) {
        const T xi = x0[r * row_step + i * incx];
        for (int q = 0; q < kCols; ++q)
          sum[q][r] = sum[q][r] + mat[i + (j + q) * ld] * xi;
      }
    for (int q = 0; q < kCols; ++q)
      for (int r = 0; r < kRows; ++r) {
        T *y = y0 + r + (j + q) * incy;
        *y = *y + alpha * sum[q][r];
      }
  }
  if constexpr (kCols > 1)
    if (j < cols)
      small_dot_rows<T, kRows, 1>(rows, cols - j, alpha, mat + j * ld, ld, x0, row_step, incx,
                                  y0 + j * incy, incy);
}

// Column form: for j in order with x(j) != 0, temp := alpha*x(j) and
// y(i) := y(i) + temp*M(i, j) for every i.
template <class T>
void small_column_form(Index rows, Index cols, T alpha, const T *mat, Index ld, const T *x,
                       Index incx, T *y, Index incy) {
  for (Index j = 0; j < cols; ++j) {
    const T xj = x[j * incx];
    if (xj == 0) continue;
    const T t = alpha * xj;
    const T *c = mat + j * ld;
    for (Index i = 0; i < rows; ++i)
      y[i * incy] = y[i * incy] + t * c[i];
  }
}

// The peeled GEMV y := y + alpha*op(M)*x (letter 'N' or 'T', M rows x
// cols), written out when small, else the GEMV kernel with beta = 1.
template <class T>
void peeled_gemv(const GemmCuts &cuts, bool transposed, i32 rows, i32 cols, const T *alpha,
                 const T *mat, i32 ld, const T *x, i32 incx, T *y, i32 incy) {
  if (Index(rows) * cols <= cuts.small_gemv) {
    if (transposed)
      small_dot_rows<T, 1, 4>(rows, cols, *alpha, mat, ld, x, 0, incx, y, incy);
    else
      small_column_form(rows, cols, *alpha, mat, ld, x, incx, y, incy);
    return;
  }
  Level2Kernels<T>::gemv(transposed ? "T" : "N", &rows, &cols, alpha, mat, &ld, x, &incx,
                         &Constants<T>::one, y, &incy, 1);
}

template <class T>
void real_driver(const char *transa, const char *transb, const i32 *m, const i32 *n, const i32 *k,
                 const T *alpha, const T *a, const i32 *lda, const T *b, const i32 *ldb,
                 const T *beta, T *c, const i32 *ldc) {
  if (*m <= 0 || *n <= 0) return;
  const Index la = *lda, lb = *ldb, lc = *ldc;
  if (*alpha == 0 || *k <= 0) {
    scale_c(*m, *n, beta, c, lc);
    return;
  }
  const GemmCuts &cuts = kernel_set().gemm_cuts;
  bool ta = real_transposed(transa), tb = real_transposed(transb);
  i32 r = *n % 2, s = *m % 4;
  if (ta && !tb && *m >= 4) {
    // op(A) = A^T, op(B) = B: the peeled column and rows take the dot form
    // too (temp from +0 over l in order, then C := C + alpha*temp once C is
    // scaled), the same sum as the block's alpha*temp + beta*C, or for
    // beta = 0, alpha*temp + C once C is zeroed.  So the whole product
    // runs as one block.
    const bool zero_first = *beta == 0;
    if (zero_first) scale_c(*m, *n, beta, c, lc);
    gemm_block(
        block_of(ta, tb, *m, *n, *k, *alpha, a, *lda, b, *ldb, zero_first ? T(1) : *beta, c, *ldc));
    return;
  }
  // The inner block takes beta itself when that gives the same bits as
  // scaling first: always in the column form (its accumulation starts from
  // the scaled C), and in the dot form unless beta = 0 (alpha*temp + 0 is
  // not alpha*temp when that is -0).  Everything else is scaled here first.
  const bool inner_scales = *m >= 4 && (!ta || !(*beta == 0));
  if (inner_scales) {
    if (r == 1) scale_c(*m, 1, beta, c, lc);
    scale_c(s, *n - r, beta, c + r * lc, lc);
  } else {
    scale_c(*m, *n, beta, c, lc);
  }
  if (r == 1) {
    // C(:, 1) += alpha*op(A)*op(B)(:, 1).
    peeled_gemv(cuts, ta, ta ? *k : *m, ta ? *m : *k, alpha, a, *lda, b, tb ? *ldb : 1, c, 1);
    if (*n == 1) return;
  }
  i32 rest_n = *n - r;
  const i32 incx_rows = ta ? 1 : *lda;
  i32 single_rows = s; // rows left to one GEMV each
  if (!tb && s >= 2 && Index(*k) * rest_n <= cuts.small_gemv) {
    // The s rows' dot forms side by side: each b(l, j) read once.
    const T *b_rest = b + r * lb;
    T *c_rows = c + r * lc;
    if (s == 2)
      small_dot_rows<T, 2, 2>(*k, rest_n, *alpha, b_rest, lb, a, ta ? la : 1, incx_rows, c_rows,
                              lc);
    else
      small_dot_rows<T, 3, 2>(*k, rest_n, *alpha, b_rest, lb, a, ta ? la : 1, incx_rows, c_rows,
                              lc);
    single_rows = 0;
  }
  if (single_rows > 0 && !ta && !tb && *m - s == 4 &&
      Index(*k) * rest_n > cuts.dot_rows_with_block) {
    // The s rows' dot forms beside the four-row block, in one pass over B
    // where the kernel set has it.
    const DotRows<T> rows{s, {a, la}, 1, {c + r * lc, lc}, 1};
    const GemmBlock<T> block{Op::plain,
                             Op::plain,
                             4,
                             rest_n,
                             *k,
                             *alpha,
                             {a + s, la},
                             {b + r * lb, lb},
                             inner_scales ? *beta : T(1),
                             {c + s + r * lc, lc}};
    if (gemm_block_with_dot_rows(block, rows)) return;
  }
  if (!tb && single_rows > 0 && Index(*k) * rest_n > cuts.small_gemv) {
    // The rows' dot forms over op(B) = B in one pass where the kernel set
    // has one: row i's x is op(A)(i, :), its y C(i, r+1..n).
    const GemvBlock<T> rows{*k,   rest_n,          *alpha, {b + r * lb, lb}, {a, incx_rows},
                            T(1), {c + r * lc, lc}};
    gemv_dot_rows(rows, single_rows, ta ? la : 1, 1);
    single_rows = 0;
  }
  for (i32 i = 0; i < single_rows; ++i) {
    // C(i, r+1..n) += alpha*op(B)(:, r+1..n)^T * op(A)(i, :)^T.
    const T *x = ta ? a + i * la : a + i;
    const i32 incx = incx_rows;
    T *y = c + i + r * lc;
    if (tb)
      peeled_gemv(cuts, false, rest_n, *k, alpha, b + r, *ldb, x, incx, y, *ldc);
    else
      peeled_gemv(cuts, true, *k, rest_n, alpha, b + r * lb, *ldb, x, incx, y, *ldc);
  }
  if (*m < 4) return;
  i32 rest_m = *m - s;
  const T *a_rest = ta ? a + s * la : a + s;
  const T *b_rest = tb ? b + r : b + r * lb;
  if (!ta && rest_n <= cuts.few_columns &&
      (Index(rest_m) * *k * Index(sizeof(T)) > cuts.few_columns_bytes ||
       *k > cuts.few_columns_depth)) {
    // A few columns of a large A: the block's column forms together, A
    // read once (the blocked form would pack A for a few uses of each
    // value).  The same order: the block's C scaled by beta, then each
    // term with b != 0 added in l order.
    T *c_rest = c + s + r * lc;
    if (inner_scales) scale_c(rest_m, rest_n, beta, c_rest, lc);
    const GemvBlock<T> cols{rest_m, *k,         *alpha, {a_rest, la}, {b_rest, tb ? lb : 1},
                            T(1),   {c_rest, 1}};
    gemv_few_columns(cols, rest_n, tb ? 1 : lb, lc, false);
    return;
  }
  gemm_block(block_of(ta, tb, rest_m, rest_n, *k, *alpha, a_rest, *lda, b_rest, *ldb,
                      inner_scales ? *beta : T(1), c + s + r * lc, *ldc));
}

// The reference loops in the product forms of the GEMM kernels.
void kernel_loops(const GemmBlock<c8> &g) { complex_gemm_loops(g, ComplexForms::mixed, true); }
void kernel_loops(const GemmBlock<c16> &g) { complex_gemm_loops(g, true); }
template <class C>
void complex_driver(const char *transa, const char *transb, const i32 *m, const i32 *n,
                    const i32 *k, const C *alpha, const C *a, const i32 *lda, const C *b,
                    const i32 *ldb, const C *beta, C *c, const i32 *ldc) {
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
  // COMPLEX(4): every beta scaling in the exact form.
  const bool exact = sizeof(C) == sizeof(c8);
  if (g.m <= 0 || g.n <= 0 || (is_one(g.beta) && (is_zero(g.alpha) || g.k <= 0))) return;
  if (is_zero(g.alpha) || g.k <= 0) {
    complex_scale_c<C, NaturalAccess>(g, exact);
    return;
  }
  if (g.op_b == Op::conjugated) {
    // The reference order, blocked: the dot form's sums and final step as
    // they stand; the column form, once C is scaled, as the pair terms,
    // skipping each term whose B(j, l) is zero.
    if (g.op_a != Op::plain) {
      if (!complex_blocked(g)) kernel_loops(g);
      return;
    }
    // beta = 0: the blocked column form starts from zero without C.
    if (!is_zero(g.beta)) complex_scale_c<C, NaturalAccess>(g, exact);
    if (complex_blocked(g)) return;
    if (is_zero(g.beta)) complex_scale_c<C, NaturalAccess>(g, exact);
    GemmBlock<C> scaled = g;
    scaled.beta = Constants<C>::one;
    kernel_loops(scaled);
    return;
  }
  // One GEMV per column j (letter 'N', 'T' or 'C' for op(A), vector
  // op(B)(:, j), beta = (1, 0)) on C scaled first, computed several
  // columns at a time; blocked where the kernel set has a blocked form
  // that can have its workspace (whose column form, for beta = 0 and even
  // k, starts from zero without C).
  const bool scale_later = g.op_a == Op::plain && is_zero(g.beta) && g.k % 2 == 0;
  if (!scale_later) complex_scale_c<C, NaturalAccess>(g, exact);
  if (complex_blocked(g)) return;
  if (scale_later) complex_scale_c<C, NaturalAccess>(g, exact);
  complex_gemm_by_gemv(g);
}

// The validation of the alignment-safe kernels.  Invalid arguments zero
// C(1..m, 1..n) along ldc (a negative ldc counts as 0) and read nothing
// else; true then.
template <class T>
bool reject_invalid(char transa, char transb, i32 m, i32 n, i32 k, i32 lda, i32 ldb, i32 ldc,
                    T *c) {
  auto at_least = [](i32 ld, i32 rows) { return ld >= (rows > 1 ? rows : 1); };
  bool na = transa == 'N' || transa == 'n', nb = transb == 'N' || transb == 'n';
  if (valid_letter(transa) && valid_letter(transb) && m >= 0 && n >= 0 && k >= 0 &&
      at_least(lda, na ? m : k) && at_least(ldb, nb ? k : n) && at_least(ldc, m))
    return false;
  if (m < 1 || n < 1) return true;
  Index step = ldc > 0 ? ldc : 0;
  for (Index j = 0; j < n; ++j)
    std::memset(static_cast<void *>(c + j * step), 0, sizeof(T) * static_cast<std::size_t>(m));
  return true;
}

} // namespace
} // namespace mox2::kernels

using namespace mox2;
using namespace mox2::kernels;

extern "C" {

MOX2_GEMM_KERNEL(__f___zo_pp_sgemm_, float) {
  real_driver(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}

MOX2_GEMM_KERNEL(__f___zo_pp_dgemm_, double) {
  real_driver(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}

MOX2_GEMM_KERNEL(__f___zo_pp_sgemmx_, float) {
  gemm_block(block_of(real_transposed(transa), real_transposed(transb), *m, *n, *k, *alpha, a, *lda,
                      b, *ldb, *beta, c, *ldc));
}

MOX2_GEMM_KERNEL(__f___zo_pp_dgemmx_, double) {
  gemm_block(block_of(real_transposed(transa), real_transposed(transb), *m, *n, *k, *alpha, a, *lda,
                      b, *ldb, *beta, c, *ldc));
}

MOX2_GEMM_KERNEL(__f___zo_pp_cgemm_, c8) {
  complex_driver(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}

MOX2_GEMM_KERNEL(__f___zo_pp_zgemm_, c16) {
  complex_driver(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}

// 'N'/'n': A; 'T', 't', 'C', 'c': A^T; data (scalars too) only 4-byte aligned.
MOX2_GEMM_KERNEL(__f___zo_dgemm_don_, double) {
  if (reject_invalid(*transa, *transb, *m, *n, *k, *lda, *ldb, *ldc, c)) return;
  gemm_block(block_of(*transa != 'N' && *transa != 'n', *transb != 'N' && *transb != 'n', *m, *n,
                      *k, Bytewise4Access::ld(alpha), a, *lda, b, *ldb, Bytewise4Access::ld(beta),
                      c, *ldc));
}

// 'N'/'n': A; 'T'/'t': A^T; 'C'/'c': A^H; data only 4-byte aligned.
MOX2_GEMM_KERNEL(__f___zo_zgemm_don_, c16) {
  if (reject_invalid(*transa, *transb, *m, *n, *k, *lda, *ldb, *ldc, c)) return;
  GemmBlock<c16> g{complex_gemm_op(*transa),
                   complex_gemm_op(*transb),
                   *m,
                   *n,
                   *k,
                   Bytewise4Access::ld(alpha),
                   {a, *lda},
                   {b, *ldb},
                   Bytewise4Access::ld(beta),
                   {c, *ldc}};
  if (!complex_reference_prologue<c16, Bytewise4Access>(g, false)) complex_gemm_loops_bytewise(g);
}

} // extern "C"
