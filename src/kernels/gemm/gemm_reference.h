// The reference GEMM for REAL(4) and REAL(8): C := alpha*op(A)*op(B) + beta*C
// on one block, the order that the inner kernels (__f___zo_pp_sgemmx_,
// __f___zo_pp_dgemmx_) and the alignment-safe __f___zo_dgemm_don_ follow.
//
//   1. m = 0, n = 0, or beta = 1 with alpha = 0 or k = 0: nothing is done.
//   2. alpha = 0: C := 0 when beta = 0 (C is not read), else C := beta*C.
//   3. Column form, op(A) = A: for each column j, C(:, j) is first scaled
//      (beta = 0 stores zeros without reading C, beta != 1 multiplies);
//      then for l = 1..k, when b = op(B)(l, j) is not zero,
//      temp := alpha*b and C(i, j) := C(i, j) + temp*A(i, l), i = 1..m.
//      A zero b skips its column of A entirely (NaN or Inf there never
//      reaches C), unless the block says skip_zeros = false (the thin-product
//      kernels' order): then every term is added, whatever b is.
//   4. Dot form, op(A) = A^T: temp := +0, then temp := temp + A(l, i)*b(l, j)
//      for l = 1..k in order; C(i, j) := alpha*temp when beta = 0, else
//      alpha*temp + beta*C(i, j).
//
// op(B)(l, j) is B(l, j) or B(j, l).  Every element of C keeps exactly this
// order; the implementations may block, pack and vectorise across elements.
// Arguments are trusted; data needs only 4-byte alignment.  Leading
// dimensions and counts are in elements.
#pragma once

#include <cstddef>

namespace mox2 {

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

// The chosen kernel set's implementation.
void gemm_reference(const GemmBlock<float> &g);
void gemm_reference(const GemmBlock<double> &g);

// The block and its dot rows in one pass over op(B), where the chosen
// kernel set has such a pass for the shape (a column-form block of four
// rows, fewer than a vector, and one to three dot rows); false, with
// nothing read or written, otherwise or without workspace.
bool gemm_reference_with_dot_rows(const GemmBlock<float> &g, const DotRows<float> &d);
bool gemm_reference_with_dot_rows(const GemmBlock<double> &g, const DotRows<double> &d);

// The portable implementation, the meaning of the others.
void gemm_reference_portable(const GemmBlock<float> &g);
void gemm_reference_portable(const GemmBlock<double> &g);

// The packed, blocked implementations of the SIMD kernel sets (same bits).
// They return false, having read and written nothing, when their
// workspace cannot be had; the caller then takes the portable path.
bool gemm_reference_avx512(const GemmBlock<float> &g);
bool gemm_reference_avx512(const GemmBlock<double> &g);
bool gemm_reference_avx2(const GemmBlock<float> &g);
bool gemm_reference_avx2(const GemmBlock<double> &g);
bool gemm_reference_avx512(const GemmBlock<float> &g, const DotRows<float> &d);
bool gemm_reference_avx512(const GemmBlock<double> &g, const DotRows<double> &d);
bool gemm_reference_avx2(const GemmBlock<float> &g, const DotRows<float> &d);
bool gemm_reference_avx2(const GemmBlock<double> &g, const DotRows<double> &d);

} // namespace mox2
