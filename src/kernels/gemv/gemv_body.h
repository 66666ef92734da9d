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
// order.  The column streams are read in runs of one page's worth of rows;
// before each run every stream touches the page two ahead (page_touch.h).
// The real forms are in gemv_real_body.h, the complex ones in
// gemv_complex_body.h.
#ifndef MOX2_KERNEL_SET
#error "define MOX2_KERNEL_SET before including gemv_body.h"
#endif

#include <cstddef>

#include "kernels/blas_access.h"
#include "kernels/gemv/gemv_complex_body.h"
#include "kernels/gemv/gemv_real_body.h"
#include "kernels/gemv/gemv_sets.h"

namespace mox2::kernels::MOX2_KERNEL_SET {

// The set's GEMV routines (see gemv_sets.h).
void sgemv(Op op, const GemvBlock<float> &g) { gemv_real<float, NaturalAccess>(op, g); }
void dgemv(Op op, const GemvBlock<double> &g) { gemv_real<double, NaturalAccess>(op, g); }
void dgemv_bytewise(Op op, const GemvBlock<double> &g) {
  gemv_real<double, Bytewise4Access>(op, g);
}
void sgemv_dot_rows(const GemvBlock<float> &g, int rows, Index x_row, Index y_row) {
  dot_rows_real<float, NaturalAccess>(g, rows, x_row, y_row);
}
void dgemv_dot_rows(const GemvBlock<double> &g, int rows, Index x_row, Index y_row) {
  dot_rows_real<double, NaturalAccess>(g, rows, x_row, y_row);
}
void sgemv_few_columns(const GemvBlock<float> &g, int ys, Index x_col, Index y_col,
                       bool every_term) {
  every_term ? few_columns_real<true, float, NaturalAccess>(g, ys, x_col, y_col)
             : few_columns_real<false, float, NaturalAccess>(g, ys, x_col, y_col);
}
void dgemv_few_columns(const GemvBlock<double> &g, int ys, Index x_col, Index y_col,
                       bool every_term) {
  every_term ? few_columns_real<true, double, NaturalAccess>(g, ys, x_col, y_col)
             : few_columns_real<false, double, NaturalAccess>(g, ys, x_col, y_col);
}
// GCC 12 turns the complex products' add/subtract pairs into fused
// multiply-add-subtract instructions whenever AVX-512F is enabled, despite
// -ffp-contract=off; the AVX-512 set therefore has no complex routines and
// its table holds the AVX2 set's (avx512/kernel_set_avx512.h).
#ifndef MOX2_KERNEL_SET_WITHOUT_COMPLEX
void cgemv(Op op, const GemvBlock<c8> &g) {
  gemv_complex<true, c8, ComplexForms<float, true>, NaturalAccess>(op, g);
}
void zgemv(Op op, const GemvBlock<c16> &g) {
  gemv_complex<true, c16, ComplexForms<double, false>, NaturalAccess>(op, g);
}
void zgemv_bytewise(Op op, const GemvBlock<c16> &g) {
  gemv_complex<false, c16, ComplexForms<double, false>, Bytewise4Access>(op, g);
}
#endif

} // namespace mox2::kernels::MOX2_KERNEL_SET
