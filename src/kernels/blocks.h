// The blocks the kernel sets work on: one GEMM block (real, GemmBlock, or
// complex, ComplexGemm), the dot rows beside a real one (DotRows), one
// GEMV block (GemvBlock).  Counts, leading dimensions and increments are
// in elements; a matrix is column-major.  The orders each block is
// computed in are stated where its routines are declared:
// gemm/gemm_block.h, gemm_complex/gemm_complex.h, gemv/gemv_sets.h.
#pragma once

#include <cstddef>

#include "frame/types.h"

namespace mox2::kernels {

// C := alpha*op(A)*op(B) + beta*C on an m x n block of C, REAL(4) or
// REAL(8).
template <class T> struct GemmBlock {
  bool a_transposed; // op(A) = A^T (dot form) rather than A (column form)
  bool b_transposed; // op(B) = B^T
  std::ptrdiff_t m, n, k;
  T alpha;
  const T *a;
  std::ptrdiff_t lda;
  const T *b;
  std::ptrdiff_t ldb;
  T beta;
  T *c;
  std::ptrdiff_t ldc;
  bool skip_zeros = true; // column form: a zero op(B)(l, j) skips its term
};

// Rows beside a column-form block that take the dot form over the block's
// op(B): for r < count and each column j of the block, temp := +0, temp :=
// temp + op(B)(l, j)*x_r(l) for l = 1..k in order, then y_r(j) := y_r(j) +
// alpha*temp; x_r(l) = x[r*x_row + l*x_step], y_r(j) = y[r*y_row + j*y_step].
template <class T> struct DotRows {
  std::ptrdiff_t count;
  const T *x;
  std::ptrdiff_t x_row, x_step;
  T *y;
  std::ptrdiff_t y_row, y_step;
};

// op(A) of a complex block: A, A^T, or A^H.
enum class ComplexOp { plain, transposed, conjugated };

// The complex counterpart of GemmBlock, COMPLEX(4) or COMPLEX(8).
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
  // The dot form ends as the reference loops do, C := alpha*temp or
  // alpha*temp + beta*C on C not scaled before (as it always does for
  // op(B) = B^H), with no lone row.
  bool reference_dot_end = false;
};

// COMPLEX(4) product forms: `mixed` (GEMM kernel: beta*C and alpha*temp of
// the dot form exact, the terms single), `exact` (thin products: every
// product exact).  COMPLEX(8) has one form.
enum class ComplexForms { mixed, exact };

// y := alpha*op(A)*x + beta*y on an m x n matrix A, with the vectors
// resolved: x and y point at their first logical elements (the
// highest-addressed one for a negative increment) and step by incx and
// incy elements.  The arguments are valid and m, n > 0; alpha = 0 with
// beta = 1 has been settled.
template <class T> struct GemvBlock {
  std::ptrdiff_t m, n;
  T alpha;
  const T *a;
  std::ptrdiff_t lda;
  const T *x;
  std::ptrdiff_t incx;
  T beta;
  T *y;
  std::ptrdiff_t incy;
};

} // namespace mox2::kernels
