// The blocks the kernel sets work on: one GEMM block (GemmBlock, real or
// complex), the dot rows beside a real one (DotRows), one GEMV block
// (GemvBlock), every operand of them a Strided.  Counts, leading
// dimensions and increments are in elements; a matrix is column-major.
// The orders each block is computed in are stated where its routines are
// declared: gemm/gemm_block.h, gemm_complex/gemm_complex.h,
// gemv/gemv_sets.h.
#pragma once

#include <cstddef>

#include "frame/types.h"

namespace mox2::kernels {

// One operand.  A matrix: p at its element (1, 1), step its leading
// dimension, (i, j) at p[i + j*step] counted from 0.  A vector: p at its
// first logical element (the highest-addressed one for a negative
// increment), step its increment, element i at p[i*step].
template <class T> struct Strided {
  T *p;
  std::ptrdiff_t step;
};

// op(A): A, A^T, or A^H.  The real kernels take A^H as A^T.
enum class Op { plain, transposed, conjugated };

// A real operand's op: A^T where it is transposed, else A.
constexpr Op op_of(bool transposed) { return transposed ? Op::transposed : Op::plain; }

// C := alpha*op(A)*op(B) + beta*C on an m x n block of C: REAL(4),
// REAL(8), COMPLEX(4) or COMPLEX(8).  op(A) = A is the column form,
// op(A) = A^T or A^H the dot form.
template <class T> struct GemmBlock {
  Op op_a, op_b;
  std::ptrdiff_t m, n, k;
  T alpha;
  Strided<const T> a, b;
  T beta;
  Strided<T> c;
  // Real blocks: in the column form a zero op(B)(l, j) skips its term.
  bool skip_zeros = true;
  // Complex blocks: the dot form ends as the reference loops do,
  // C := alpha*temp or alpha*temp + beta*C on C not scaled before (as it
  // always does for op(B) = B^H), with no lone row.
  bool reference_dot_end = false;
};

// Rows beside a column-form block that take the dot form over the block's
// op(B): for r < count and each column j of the block, temp := +0, temp :=
// temp + op(B)(l, j)*x_r(l) for l = 1..k in order, then y_r(j) := y_r(j) +
// alpha*temp; x_r(l) = x.p[r*x_row + l*x.step], y_r(j) = y.p[r*y_row +
// j*y.step].
template <class T> struct DotRows {
  std::ptrdiff_t count;
  Strided<const T> x;
  std::ptrdiff_t x_row;
  Strided<T> y;
  std::ptrdiff_t y_row;
};

// COMPLEX(4) product forms: `mixed` (GEMM kernel: beta*C and alpha*temp of
// the dot form exact, the terms single), `exact` (thin products: every
// product exact).  COMPLEX(8) has one form.
enum class ComplexForms { mixed, exact };

// y := alpha*op(A)*x + beta*y on an m x n matrix A, with the vectors
// resolved (x and y as Strided vectors).  The arguments are valid and
// m, n > 0; alpha = 0 with beta = 1 has been settled.
template <class T> struct GemvBlock {
  std::ptrdiff_t m, n;
  T alpha;
  Strided<const T> a, x;
  T beta;
  Strided<T> y;
};

} // namespace mox2::kernels
