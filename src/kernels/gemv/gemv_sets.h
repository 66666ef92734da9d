// The GEMV routines of each kernel set.  Every set computes the same bits
// (the orders of gemv_body.h); the `pp_` and `_don` kernels reach them
// through the kernel set in use (kernel_set.h).
#pragma once

#include <cstddef>

#include "kernels/kernels.h"

namespace mox2::kernels {

// One GEMV block with the vectors resolved: x and y point at their first
// logical elements (the highest-addressed one for a negative increment)
// and step by incx and incy elements.  The arguments are valid and
// m, n > 0; alpha = 0 with beta = 1 has been settled.
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

enum class ComplexOp { plain, transposed, conjugated };

#define MOX2_DECLARE_GEMV_SET_REAL_(set)                                                           \
  namespace set {                                                                                  \
  void sgemv(bool transposed, const GemvBlock<float> &g);                                          \
  void dgemv(bool transposed, const GemvBlock<double> &g);                                         \
  /* data only 4-byte aligned, one column at a time */                                             \
  void dgemv_bytewise(bool transposed, const GemvBlock<double> &g);                                \
  /* rows dot forms over one matrix (gemv_dot_rows) */                                             \
  void sgemv_dot_rows(const GemvBlock<float> &g, int rows, std::ptrdiff_t x_row,                   \
                      std::ptrdiff_t y_row);                                                       \
  void dgemv_dot_rows(const GemvBlock<double> &g, int rows, std::ptrdiff_t x_row,                  \
                      std::ptrdiff_t y_row);                                                       \
  /* ys column forms over one matrix (gemv_columns) */                                             \
  void sgemv_columns(const GemvBlock<float> &g, int ys, std::ptrdiff_t x_col,                      \
                     std::ptrdiff_t y_col, bool every_term);                                       \
  void dgemv_columns(const GemvBlock<double> &g, int ys, std::ptrdiff_t x_col,                     \
                     std::ptrdiff_t y_col, bool every_term);                                       \
  }
#define MOX2_DECLARE_GEMV_SET_(set)                                                                \
  MOX2_DECLARE_GEMV_SET_REAL_(set)                                                                 \
  namespace set {                                                                                  \
  /* columns in pairs after a lone leading column of an odd n */                                   \
  void cgemv(ComplexOp op, const GemvBlock<c8> &g);                                                \
  void zgemv(ComplexOp op, const GemvBlock<c16> &g);                                               \
  /* data only 4-byte aligned, one column at a time */                                             \
  void zgemv_bytewise(ComplexOp op, const GemvBlock<c16> &g);                                      \
  }
MOX2_DECLARE_GEMV_SET_(portable)
MOX2_DECLARE_GEMV_SET_(avx2)
MOX2_DECLARE_GEMV_SET_REAL_(avx512) // complex: the AVX2 set (see gemv_body.h)
namespace avx512 {
// COMPLEX(4) GEMV: the AVX2 set's, with this set's dot-form column groups.
void cgemv(ComplexOp op, const GemvBlock<c8> &g);
// The COMPLEX(4) dot forms' column groups of sixteen and eight from column
// j0 on (single-form products, y(j) := y(j) + alpha*temp); returns how
// many columns were done.
std::ptrdiff_t cgemv_dot_columns(ComplexOp op, const GemvBlock<c8> &g, std::ptrdiff_t j0);
} // namespace avx512
#undef MOX2_DECLARE_GEMV_SET_
#undef MOX2_DECLARE_GEMV_SET_REAL_

// The chosen kernel set's dot forms over one matrix: for r < rows,
// y_r := y_r + alpha*A^T*x_r with x_r = g.x + r*x_row and y_r = g.y +
// r*y_row (g.beta is not applied), each element in the GEMV dot form's
// order (temp from +0, += A(i, j)*x_r(i) for i in order, then y_r(j) +
// alpha*temp).  The rows peeled off a GEMM, in one pass over its B where
// the set can.
void gemv_dot_rows(const GemvBlock<float> &g, int rows, std::ptrdiff_t x_row, std::ptrdiff_t y_row);
void gemv_dot_rows(const GemvBlock<double> &g, int rows, std::ptrdiff_t x_row,
                   std::ptrdiff_t y_row);

// The chosen kernel set's column forms over one matrix: for r < ys, y_r
// := y_r + (alpha*x_r(j))*A(:, j) for j in order, x_r = g.x + r*x_col,
// y_r = g.y + r*y_col (g.beta is not applied), a zero x_r(j) skipping its
// column unless every_term.  The few columns of a GEMM, A read once where
// it can.
void gemv_columns(const GemvBlock<float> &g, int ys, std::ptrdiff_t x_col, std::ptrdiff_t y_col,
                  bool every_term);
void gemv_columns(const GemvBlock<double> &g, int ys, std::ptrdiff_t x_col, std::ptrdiff_t y_col,
                  bool every_term);

} // namespace mox2::kernels
