// The real GEMM block, REAL(4) and REAL(8): C := alpha*op(A)*op(B) + beta*C
// on one block (GemmBlock, blocks.h), in the reference order that the
// inner kernels (__f___zo_pp_sgemmx_, __f___zo_pp_dgemmx_) and the
// alignment-safe __f___zo_dgemm_don_ follow.
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

#include "kernels/blocks.h"

namespace mox2::kernels {

// The block on the kernel set in use: its blocked form, or the reference
// algorithm where the set has none or it could not have its workspace.
void gemm_block(const GemmBlock<float> &g);
void gemm_block(const GemmBlock<double> &g);

// The block and its dot rows in one pass over op(B), where the kernel set
// in use has such a pass for the shape (a column-form block of four rows,
// fewer than a vector, and one to three dot rows); false, with nothing
// read or written, otherwise or without workspace.
bool gemm_block_with_dot_rows(const GemmBlock<float> &g, const DotRows<float> &d);
bool gemm_block_with_dot_rows(const GemmBlock<double> &g, const DotRows<double> &d);

// The reference algorithm: the order above, plainly blocked in registers
// (portable, gemm_reference.cc).
void gemm_reference(const GemmBlock<float> &g);
void gemm_reference(const GemmBlock<double> &g);

// The packed, blocked forms of the SIMD kernel sets (gemm/blocked/, same
// bits).  They return false, having read and written nothing, when their
// workspace cannot be had.
#define MOX2_DECLARE_GEMM_SET_(set)                                                                \
  namespace set {                                                                                  \
  bool gemm_blocked(const GemmBlock<float> &g);                                                    \
  bool gemm_blocked(const GemmBlock<double> &g);                                                   \
  bool gemm_blocked_with_dot_rows(const GemmBlock<float> &g, const DotRows<float> &d);             \
  bool gemm_blocked_with_dot_rows(const GemmBlock<double> &g, const DotRows<double> &d);           \
  }
MOX2_DECLARE_GEMM_SET_(avx2)
MOX2_DECLARE_GEMM_SET_(avx512)
#undef MOX2_DECLARE_GEMM_SET_

} // namespace mox2::kernels
