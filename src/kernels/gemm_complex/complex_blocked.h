// The complex GEMM kernels' work for op(B) = B or B^T over whole blocks of
// C, for the kernel sets with a blocked version of it.  Per element of C
// (already scaled by beta), as the complex GEMV kernels give it column by
// column (b(l, j) is B(l, j) or B(j, l)):
//
// Column form (op(A) = A):
//   when k is odd, the lone first term: skipped for b(1, j) = 0, else
//   t := alpha*b(1, j) and C(i, j) := C(i, j) + t*A(i, 1), both products
//   in GEMV's `lone` form (COMPLEX(4): the exact form);
//   then for the remaining l in order, no zero test:
//   t(l, j) := alpha*b(l, j) and C(i, j) := C(i, j) + t(l, j)*A(i, l),
//   both in the `pair` form (the kernel's own precision).
// Column form with op(B) = B^H, b(l, j) = conjg(B(j, l)): every term from
// l = 1 whose B(j, l) is not zero, as the pair terms above (a zero skips
// its term, as the reference order does).
// Dot form with op(B) = B^H: the sums below over every row, then
// C(i, j) := alpha*temp, or alpha*temp + beta*C(i, j), C unscaled before.
// Dot form (op(A) = A^T or A^H):
//   temp := +0, temp := temp + op(A)(i, l)*b(l, j) for l = 1..k in order,
//   then C(i, j) := C(i, j) + alpha*temp; when m is odd, row 1 forms these
//   products in the `lone` form, the other rows in the `pair` form.
#pragma once

#include <cstddef>

#include "kernels/gemm_complex/gemm_complex.h"

namespace mox2::kernels {

// Portable pieces shared by the kernel sets.
//
// The column form's lone first term of an odd k, for every column.
template <class P> void complex_lone_column_terms(const GemmBlock<Complex<P>> &g);
// The dot form's lone first row of an odd m, for every column.
template <class P> void complex_lone_row_terms(const GemmBlock<Complex<P>> &g);
// Its last step from sums computed elsewhere: C(1, j0 + j) += alpha*sums[j]
// (lone form) for j < nc.
template <class P>
void add_complex_lone_row_sums(const GemmBlock<Complex<P>> &g, std::ptrdiff_t j0, std::ptrdiff_t nc,
                               const Complex<P> *sums);

// Columns j0..j0+nc-1 of b, l = l0..l0+kc-1, scaled (t(l, j) in the pair
// form) or not, for strips of `nr` columns: strip s holds, per l, the real
// parts of its nr values and then their imaginary parts; columns past nc
// hold zeros.
template <class P>
void pack_complex_b(const GemmBlock<Complex<P>> &g, bool scaled, std::ptrdiff_t l0,
                    std::ptrdiff_t kc, std::ptrdiff_t j0, std::ptrdiff_t nc, int nr, P *out);
// Rows i0..i0+rows-1 of op(A) = A^T or A^H, l = l0..l0+kc-1, as one strip
// of `r` rows: per l the real parts, then the imaginary parts; rows past
// `rows` hold zeros.
template <class P>
void pack_complex_rows_of_a(const GemmBlock<Complex<P>> &g, std::ptrdiff_t i0, std::ptrdiff_t rows,
                            int r, std::ptrdiff_t l0, std::ptrdiff_t kc, P *out);
// C(i0.., j0..) += alpha*temp for an mc x nc block of finished sums
// (interleaved parts, leading dimension lds elements), pair form.
// The same block with op(B) = B^H, in the reference order: C(i, j) :=
// alpha*temp when beta = (0, 0), else alpha*temp + beta*C(i, j), both
// products exact for COMPLEX(4) (C not scaled before).
template <class P>
void finish_complex_dot_sums(const GemmBlock<Complex<P>> &g, std::ptrdiff_t i0, std::ptrdiff_t mc,
                             std::ptrdiff_t j0, std::ptrdiff_t nc, const Complex<P> *sums,
                             std::ptrdiff_t lds);
template <class P>
void add_complex_dot_sums(const GemmBlock<Complex<P>> &g, std::ptrdiff_t i0, std::ptrdiff_t mc,
                          std::ptrdiff_t j0, std::ptrdiff_t nc, const Complex<P> *sums,
                          std::ptrdiff_t lds);

// The sets' routines.  complex_gemm_blocked: the whole column form or dot
// form (requires m, n, k >= 1; with op(B) = B^H the column form skips each
// term whose B(j, l) is zero); false, with nothing written, when no
// workspace could be had.
// complex_gemm_thin: the thin products' loops (gemm_thin.cc: every term, no
// zero test) on the set's vectors, every COMPLEX(4) product exact, every
// COMPLEX(8) one in double: the column form (op(A) = A), C scaled by beta
// (zeros for 0, C unread), then every term t*A(i, l), t = alpha*b(l, j),
// in l order; the dot form for k <= 3 and, COMPLEX(4), for at most three
// rows or columns (AVX2 also COMPLEX(8)'s with two rows, on its blocked
// dot form with the reference loops' last step).  False, with nothing
// done, for other dot forms or without workspace.
namespace avx512 {
bool complex_gemm_blocked(const GemmBlock<c16> &g);
bool complex_gemm_blocked(const GemmBlock<c8> &g);
bool complex_gemm_thin(const GemmBlock<c8> &g);
bool complex_gemm_thin(const GemmBlock<c16> &g);
} // namespace avx512
namespace avx2 {
bool complex_gemm_blocked(const GemmBlock<c16> &g);
bool complex_gemm_blocked(const GemmBlock<c8> &g);
bool complex_gemm_thin(const GemmBlock<c8> &g);
bool complex_gemm_thin(const GemmBlock<c16> &g);
} // namespace avx2

// The same forms of the kernel set in use; false, with nothing written,
// when it has none or it could not have its workspace.
bool complex_blocked(const GemmBlock<c8> &g);
bool complex_blocked(const GemmBlock<c16> &g);

} // namespace mox2::kernels
