// The argument checks of the standard-name GEMM and GEMV, in the order of
// the reference BLAS, and the error reports.  Each check returns the Fortran
// parameter number of the first invalid argument, or 0 when all are valid;
// valid arguments then go unchanged to mox2's __f95_ entry points, whose own
// quick returns are those of the reference routines.
#pragma once

#include <cstddef>
#include <cstdint>

#pragma GCC visibility push(default)
#include "mox2_isa.h"
#pragma GCC visibility pop

namespace mox2::stdblas {

// The Fortran calling sequence of GEMV and GEMM over element type T: that
// of mox2's __f95_ entry points and of the standard names.
#define MOX2_STANDARD_GEMV(name, T)                                                                \
  void name(const char *trans, const std::int32_t *m, const std::int32_t *n, const T *alpha,       \
            const T *a, const std::int32_t *lda, const T *x, const std::int32_t *incx,             \
            const T *beta, T *y, const std::int32_t *incy, std::size_t trans_len)
#define MOX2_STANDARD_GEMM(name, T)                                                                \
  void name(const char *transa, const char *transb, const std::int32_t *m, const std::int32_t *n,  \
            const std::int32_t *k, const T *alpha, const T *a, const std::int32_t *lda,            \
            const T *b, const std::int32_t *ldb, const T *beta, T *c, const std::int32_t *ldc,     \
            std::size_t transa_len, std::size_t transb_len)

template <class T> struct EntryTypes {
  typedef MOX2_STANDARD_GEMV((*gemv), T);
  typedef MOX2_STANDARD_GEMM((*gemm), T);
};
template <class T> using GemvEntry = typename EntryTypes<T>::gemv;
template <class T> using GemmEntry = typename EntryTypes<T>::gemm;

// LSAME(letter, 'N'), and one of 'N', 'T', 'C' in either case.
inline bool is_no_transpose(char letter) { return (letter | 0x20) == 'n'; }
inline bool is_option_letter(char letter) {
  const char lower = static_cast<char>(letter | 0x20);
  return lower == 'n' || lower == 't' || lower == 'c';
}
inline std::int32_t at_least_one(std::int32_t v) { return v > 1 ? v : 1; }

// xGEMV(TRANS, M, N, ALPHA, A, LDA, X, INCX, BETA, Y, INCY).
inline int gemv_check(char trans, std::int32_t m, std::int32_t n, std::int32_t lda,
                      std::int32_t incx, std::int32_t incy) {
  if (!is_option_letter(trans)) return 1;
  if (m < 0) return 2;
  if (n < 0) return 3;
  if (lda < at_least_one(m)) return 6;
  if (incx == 0) return 8;
  if (incy == 0) return 11;
  return 0;
}

// xGEMM(TRANSA, TRANSB, M, N, K, ALPHA, A, LDA, B, LDB, BETA, C, LDC): A
// holds M rows when not transposed, else K; B holds K rows, else N.
inline int gemm_check(char transa, char transb, std::int32_t m, std::int32_t n, std::int32_t k,
                      std::int32_t lda, std::int32_t ldb, std::int32_t ldc) {
  const std::int32_t rows_a = is_no_transpose(transa) ? m : k;
  const std::int32_t rows_b = is_no_transpose(transb) ? k : n;
  if (!is_option_letter(transa)) return 1;
  if (!is_option_letter(transb)) return 2;
  if (m < 0) return 3;
  if (n < 0) return 4;
  if (k < 0) return 5;
  if (lda < at_least_one(rows_a)) return 8;
  if (ldb < at_least_one(rows_b)) return 10;
  if (ldc < at_least_one(m)) return 13;
  return 0;
}

// xerbla_("DGEMM ", info) for the Fortran name of precision p ('d') and
// routine "GEMM" or "GEMV".
void report_fortran(char precision, const char *routine, int info);

// cblas_xerbla(number, "cblas_dgemm", format, value): number is what the
// reference CBLAS passes (for a row-major call, found in the transposed
// call), user_number the argument of the caller's own call, which the
// default message names.
void report_cblas(int number, int user_number, const char *routine, const char *format, int value);

} // namespace mox2::stdblas
