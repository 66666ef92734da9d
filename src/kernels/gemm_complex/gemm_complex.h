// The complex GEMM loops shared by the complex GEMM kernels and the
// thin-product kernels on one block (GemmBlock, blocks.h): the routines
// of each kernel set (their orders in gemm_complex_body.h).  Every set
// computes the same bits.
#pragma once

#include <cstddef>

#include "kernels/blas_access.h"
#include "kernels/blocks.h"
#include "kernels/kernels.h"

namespace mox2::kernels {

// 'N'/'n': plain; 'C'/'c': conjugate transpose; any other letter: transpose.
inline Op complex_gemm_op(char letter) {
  if (letter == 'N' || letter == 'n') return Op::plain;
  if (letter == 'C' || letter == 'c') return Op::conjugated;
  return Op::transposed;
}

#define MOX2_DECLARE_COMPLEX_GEMM_SET_(set)                                                        \
  namespace set {                                                                                  \
  /* the reference loops (column or dot form), beta inside, no quick return; */                    \
  /* COMPLEX(8) has one product form and ignores `forms` */                                        \
  void complex_gemm_loops(const GemmBlock<c8> &g, ComplexForms forms, bool zero_skip);             \
  void complex_gemm_loops(const GemmBlock<c16> &g, ComplexForms forms, bool zero_skip);            \
  /* with the zero skip, data only 4-byte aligned */                                               \
  void complex_gemm_loops_bytewise(const GemmBlock<c16> &g);                                       \
  /* one GEMV order per column of C (beta applied before), m, n, k >= 1 */                         \
  void complex_gemm_by_gemv(const GemmBlock<c8> &g);                                               \
  void complex_gemm_by_gemv(const GemmBlock<c16> &g);                                              \
  }
MOX2_DECLARE_COMPLEX_GEMM_SET_(portable)
MOX2_DECLARE_COMPLEX_GEMM_SET_(avx2) // also the AVX-512 set's (avx512/kernel_set_avx512.h)
#undef MOX2_DECLARE_COMPLEX_GEMM_SET_

// The routines of the kernel set in use (complex_blocked.cc).
void complex_gemm_loops(const GemmBlock<c8> &g, ComplexForms forms, bool zero_skip);
void complex_gemm_loops(const GemmBlock<c16> &g, bool zero_skip);
void complex_gemm_loops_bytewise(const GemmBlock<c16> &g);
void complex_gemm_by_gemv(const GemmBlock<c8> &g);
void complex_gemm_by_gemv(const GemmBlock<c16> &g);

// C := beta*C (zeros for beta = (0, 0), C not read; nothing for (1, 0)),
// each product exact or in the parts' precision.
template <class C, class Mem> void complex_scale_c(const GemmBlock<C> &g, bool exact) {
  if (is_one(g.beta)) return;
  for (std::ptrdiff_t j = 0; j < g.n; ++j) {
    C *col = g.c.p + j * g.c.step;
    for (std::ptrdiff_t i = 0; i < g.m; ++i) {
      C v{0, 0};
      if (!is_zero(g.beta)) {
        if constexpr (sizeof(C) == 8)
          v = exact ? mul_exact(g.beta, Mem::ld(col + i)) : mul(g.beta, Mem::ld(col + i));
        else
          v = mul(g.beta, Mem::ld(col + i));
      }
      Mem::st(col + i, v);
    }
  }
}

// Quick return for m = 0, n = 0, or beta = (1, 0) with alpha = (0, 0) or
// k = 0 (true then); alpha = (0, 0) scales C only (true then).
template <class C, class Mem> bool complex_reference_prologue(const GemmBlock<C> &g, bool exact) {
  if (g.m <= 0 || g.n <= 0 || (is_one(g.beta) && (is_zero(g.alpha) || g.k <= 0))) return true;
  if (!is_zero(g.alpha)) return false;
  complex_scale_c<C, Mem>(g, exact);
  return true;
}

} // namespace mox2::kernels
