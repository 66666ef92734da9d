// The GEMV routines of each kernel set.  Every set computes the same bits
// (the orders of gemv_body.h); the `pp_` and `_don` kernels reach them
// through the kernel set in use (kernel_set.h).
#pragma once

#include <cstddef>

#include "kernels/blocks.h"
#include "kernels/kernels.h"

namespace mox2::kernels {

// Whether columns `lda` elements of `bytes` apart share their first-level
// cache set row by row (a multiple of 4 KiB apart): the sets' forms then
// take fewer columns at once, since more streams than a set has ways evict
// one another's lines.  A choice of speed only.
inline bool columns_share_cache_sets(std::ptrdiff_t lda, std::size_t bytes) {
  return (std::size_t(lda) * bytes) % 4096 == 0;
}

#define MOX2_DECLARE_GEMV_SET_REAL_(set)                                                           \
  namespace set {                                                                                  \
  void sgemv(Op op, const GemvBlock<float> &g);                                                    \
  void dgemv(Op op, const GemvBlock<double> &g);                                                   \
  /* data only 4-byte aligned, one column at a time */                                             \
  void dgemv_bytewise(Op op, const GemvBlock<double> &g);                                          \
  /* the dot rows over one matrix (gemv_dot_rows) */                                               \
  void sgemv_dot_rows(const GemvBlock<float> &g, int rows, std::ptrdiff_t x_row,                   \
                      std::ptrdiff_t y_row);                                                       \
  void dgemv_dot_rows(const GemvBlock<double> &g, int rows, std::ptrdiff_t x_row,                  \
                      std::ptrdiff_t y_row);                                                       \
  /* the few columns over one matrix (gemv_few_columns) */                                         \
  void sgemv_few_columns(const GemvBlock<float> &g, int ys, std::ptrdiff_t x_col,                  \
                         std::ptrdiff_t y_col, bool every_term);                                   \
  void dgemv_few_columns(const GemvBlock<double> &g, int ys, std::ptrdiff_t x_col,                 \
                         std::ptrdiff_t y_col, bool every_term);                                   \
  }
#define MOX2_DECLARE_GEMV_SET_(set)                                                                \
  MOX2_DECLARE_GEMV_SET_REAL_(set)                                                                 \
  namespace set {                                                                                  \
  /* columns in pairs after a lone leading column of an odd n */                                   \
  void cgemv(Op op, const GemvBlock<c8> &g);                                                       \
  void zgemv(Op op, const GemvBlock<c16> &g);                                                      \
  /* data only 4-byte aligned, one column at a time */                                             \
  void zgemv_bytewise(Op op, const GemvBlock<c16> &g);                                             \
  }
MOX2_DECLARE_GEMV_SET_(portable)
MOX2_DECLARE_GEMV_SET_(avx2)
MOX2_DECLARE_GEMV_SET_REAL_(avx512) // complex: the AVX2 set's (avx512/kernel_set_avx512.h)
namespace avx512 {
// COMPLEX(4) GEMV: the AVX2 set's, with this set's column form (column
// pairs on contiguous y) and dot-form column groups.
void cgemv(Op op, const GemvBlock<c8> &g);
// COMPLEX(8) GEMV: the AVX2 set's, with this set's column form.
void zgemv(Op op, const GemvBlock<c16> &g);
// The COMPLEX(4) dot forms' column groups of sixteen and eight from column
// j0 on (single-form products, y(j) := y(j) + alpha*temp); returns how
// many columns were done.
std::ptrdiff_t cgemv_dot_columns(Op op, const GemvBlock<c8> &g, std::ptrdiff_t j0);
} // namespace avx512
#undef MOX2_DECLARE_GEMV_SET_
#undef MOX2_DECLARE_GEMV_SET_REAL_

// Dot rows, on the kernel set in use: several dot forms over one matrix,
// for r < rows, y_r := y_r + alpha*A^T*x_r with x_r = g.x.p + r*x_row and
// y_r = g.y.p + r*y_row (g.beta is not applied), each element in the GEMV
// dot form's order (temp from +0, += A(i, j)*x_r(i) for i in order, then
// y_r(j) + alpha*temp).  The rows peeled off a GEMM, in one pass over its
// B where the set can.
void gemv_dot_rows(const GemvBlock<float> &g, int rows, std::ptrdiff_t x_row, std::ptrdiff_t y_row);
void gemv_dot_rows(const GemvBlock<double> &g, int rows, std::ptrdiff_t x_row,
                   std::ptrdiff_t y_row);

// Few columns, on the kernel set in use: the column forms of a GEMM with
// few columns, side by side over one matrix, for r < ys, y_r := y_r +
// (alpha*x_r(j))*A(:, j) for j in order, x_r = g.x.p + r*x_col, y_r = g.y.p +
// r*y_col (g.beta is not applied), a zero x_r(j) skipping its column
// unless every_term; A read once where the set can.
void gemv_few_columns(const GemvBlock<float> &g, int ys, std::ptrdiff_t x_col, std::ptrdiff_t y_col,
                      bool every_term);
void gemv_few_columns(const GemvBlock<double> &g, int ys, std::ptrdiff_t x_col,
                      std::ptrdiff_t y_col, bool every_term);

} // namespace mox2::kernels
