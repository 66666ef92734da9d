// The column form of the complex GEMM kernels (op(A) = A, op(B) = B or
// B^T) over whole blocks of C, for the kernel sets with a blocked version
// of it.  Per element of C (already scaled by beta), as the complex GEMV
// kernels' columns give it:
//
//   when k is odd, the lone first term: skipped for b(1, j) = 0, else
//   t := alpha*b(1, j) and C(i, j) := C(i, j) + t*A(i, 1), both products
//   in GEMV's `lone` form (COMPLEX(4): the exact form);
//   then for the remaining l in order, no zero test:
//   t(l, j) := alpha*b(l, j) and C(i, j) := C(i, j) + t(l, j)*A(i, l),
//   both in the `pair` form (the kernel's own precision).
//
// b(l, j) is B(l, j) or B(j, l).
#pragma once

#include <cstddef>

#include "kernels/gemm_complex.h"

namespace mox2::kernels {

// The lone first term of an odd k, for every column (portable code).
template <class P> void complex_lone_column_terms(const ComplexGemm<Complex<P>> &g);

// The temps t(l, j) of the pair terms of columns j0..j0+nc-1,
// l = l0..l0+kc-1 (portable code), for strips of `nr` columns: strip s
// holds, per l, the real parts of its nr temps and then their imaginary
// parts; columns past nc hold zeros.
template <class P>
void pack_complex_temps(const ComplexGemm<Complex<P>> &g, std::ptrdiff_t l0, std::ptrdiff_t kc,
                        std::ptrdiff_t j0, std::ptrdiff_t nc, int nr, P *out);

namespace avx512 {
// The whole column form (requires m, n, k >= 1 and op(A) = A, op(B) = B or
// B^T).  False, with nothing written, when no workspace could be had.
bool gemm_c16_avx512_column_form(const ComplexGemm<c16> &g);
bool gemm_c8_avx512_column_form(const ComplexGemm<c8> &g);
} // namespace avx512

} // namespace mox2::kernels
