// The CBLAS names cblas_sgemm ... cblas_zgemv, as the reference CBLAS
// defines them: the layout, then the option arguments, then the Fortran
// routine's checks (for row-major data on the transposed call, whose
// parameter numbers plus one are reported); valid calls go to mox2's
// __f95_ entry points.
//
// Row-major data is the transpose of column-major data with the same
// leading dimension, so a row-major call is a column-major call on the
// transposes: C**T := alpha op(B)**T op(A)**T + beta C**T (B and A swap
// places, M and N too, each keeping its own option letter), and
// y := alpha op(A) x + beta y takes the other option letter on A**T.  A
// complex GEMV of A**H on row-major A, which has no column-major letter,
// is conj(y) := conj(alpha) A**T conj(x) + conj(beta) conj(y): every
// product and sum of the column-major call is then the exact conjugate of
// the one a conjugating kernel would form.
//
// The layout and option arguments are taken as int: a C caller may pass any
// value, which a C++ enum could not hold.

#include "stdblas/reference_checks.h"

namespace mox2::stdblas {
namespace {

enum : int { kRowMajor = 101, kColumnMajor = 102 };
enum : int { kNoTrans = 111, kTrans = 112, kConjTrans = 113 };

// The Fortran option letter of a CBLAS_TRANSPOSE value, 0 when invalid.
char option_letter(int trans) {
  switch (trans) {
  case kNoTrans: return 'N';
  case kTrans: return 'T';
  case kConjTrans: return 'C';
  default: return 0;
  }
}

// A row-major call's argument numbers that the transposition swaps.
int user_gemm_number(int number) {
  switch (number) {
  case 4: return 5; // M <-> N
  case 5: return 4;
  case 9: return 11; // LDA <-> LDB
  case 11: return 9;
  default: return number;
  }
}
int user_gemv_number(int number) { return number == 3 ? 4 : number == 4 ? 3 : number; }

template <class T> inline constexpr bool is_complex = false;
template <class P> inline constexpr bool is_complex<mox2::Complex<P>> = true;

template <class T> T conjugate(T v) {
  v.im = -v.im;
  return v;
}

// Conjugates n elements of v along increment inc in place.
template <class T> void conjugate_in_place(T *v, std::int32_t n, std::int32_t inc) {
  const std::ptrdiff_t step = inc > 0 ? inc : -static_cast<std::ptrdiff_t>(inc);
  for (std::int32_t i = 0; i < n; ++i)
    v[i * step].im = -v[i * step].im;
}

template <class T>
void gemm(const char *routine, GemmEntry<T> entry, int layout, int transa, int transb,
          std::int32_t m, std::int32_t n, std::int32_t k, const T *alpha, const T *a,
          std::int32_t lda, const T *b, std::int32_t ldb, const T *beta, T *c, std::int32_t ldc) {
  if (layout != kColumnMajor && layout != kRowMajor) {
    report_cblas(1, 1, routine, "Illegal layout setting, %d\n", layout);
    return;
  }
  char letter_a = option_letter(transa), letter_b = option_letter(transb);
  if (letter_a == 0) {
    report_cblas(2, 2, routine, "Illegal TransA setting, %d\n", transa);
    return;
  }
  if (letter_b == 0) {
    report_cblas(3, 3, routine, "Illegal TransB setting, %d\n", transb);
    return;
  }
  if (layout == kColumnMajor) {
    if (int info = gemm_check(letter_a, letter_b, m, n, k, lda, ldb, ldc)) {
      report_cblas(info + 1, info + 1, routine, "", 0);
      return;
    }
    entry(&letter_a, &letter_b, &m, &n, &k, alpha, a, &lda, b, &ldb, beta, c, &ldc, 1, 1);
  } else {
    if (int info = gemm_check(letter_b, letter_a, n, m, k, ldb, lda, ldc)) {
      report_cblas(info + 1, user_gemm_number(info + 1), routine, "", 0);
      return;
    }
    entry(&letter_b, &letter_a, &n, &m, &k, alpha, b, &ldb, a, &lda, beta, c, &ldc, 1, 1);
  }
}

// Row-major GEMV of A**H: the column-major 'N' call on A**T with conj(alpha),
// conj(x) and conj(beta), y conjugated around it.  conj(x) is built on the
// stack a run of columns at a time (no allocation to fail, the caller's x
// never written); each run after the first goes in with beta = 1, which
// leaves every element of y the order of one call over all the columns:
// beta first, then the columns in order, taken in pairs after a lone
// leading column of an odd count (the first run has the count's parity,
// the later runs are even).
template <class T>
void gemv_conjugate(GemvEntry<T> entry, std::int32_t m, std::int32_t n, const T *alpha, const T *a,
                    std::int32_t lda, const T *x, std::int32_t incx, const T *beta, T *y,
                    std::int32_t incy) {
  constexpr std::int32_t kRun = 512;
  T run[kRun];
  const T conj_alpha = conjugate(*alpha), one = {1, 0};
  T conj_beta = conjugate(*beta);
  const std::ptrdiff_t step = incx > 0 ? incx : -static_cast<std::ptrdiff_t>(incx);
  const std::int32_t inc = 1;
  conjugate_in_place(y, n, incy);
  for (std::int32_t first = 0; first < m;) {
    const std::int32_t count = first == 0 && m % 2 != 0 ? kRun - 1 : kRun;
    const std::int32_t columns = count < m - first ? count : m - first;
    for (std::int32_t j = 0; j < columns; ++j) {
      const std::int32_t element = first + j; // x(element + 1) in array order
      run[j] = conjugate(x[(incx > 0 ? element : m - 1 - element) * step]);
    }
    entry("N", &n, &columns, &conj_alpha, a + static_cast<std::ptrdiff_t>(first) * lda, &lda, run,
          &inc, &conj_beta, y, &incy, 1);
    conj_beta = one;
    first += columns;
  }
  conjugate_in_place(y, n, incy);
}

template <class T>
void gemv(const char *routine, GemvEntry<T> entry, int layout, int trans, std::int32_t m,
          std::int32_t n, const T *alpha, const T *a, std::int32_t lda, const T *x,
          std::int32_t incx, const T *beta, T *y, std::int32_t incy) {
  if (layout != kColumnMajor && layout != kRowMajor) {
    report_cblas(1, 1, routine, "Illegal layout setting, %d\n", layout);
    return;
  }
  char letter = option_letter(trans);
  if (letter == 0) {
    report_cblas(2, 2, routine, "Illegal TransA setting, %d\n", trans);
    return;
  }
  if (layout == kColumnMajor) {
    if (int info = gemv_check(letter, m, n, lda, incx, incy)) {
      report_cblas(info + 1, info + 1, routine, "", 0);
      return;
    }
    entry(&letter, &m, &n, alpha, a, &lda, x, &incx, beta, y, &incy, 1);
    return;
  }
  letter = trans == kNoTrans ? 'T' : 'N';
  if (int info = gemv_check(letter, n, m, lda, incx, incy)) {
    report_cblas(info + 1, user_gemv_number(info + 1), routine, "", 0);
    return;
  }
  if constexpr (is_complex<T>) {
    // What the column-major call would do without touching anything.
    const bool nothing_to_do =
        m == 0 || n == 0 || (alpha->re == 0 && alpha->im == 0 && beta->re == 1 && beta->im == 0);
    if (trans == kConjTrans && !nothing_to_do) {
      gemv_conjugate(entry, m, n, alpha, a, lda, x, incx, beta, y, incy);
      return;
    }
  }
  entry(&letter, &n, &m, alpha, a, &lda, x, &incx, beta, y, &incy, 1);
}

} // namespace
} // namespace mox2::stdblas

#pragma GCC visibility push(default)
extern "C" {

using mox2::stdblas::gemm;
using mox2::stdblas::gemv;

void cblas_sgemm(int layout, int transa, int transb, int m, int n, int k, float alpha,
                 const float *a, int lda, const float *b, int ldb, float beta, float *c, int ldc) {
  gemm<float>("cblas_sgemm", __f95_sgemm_, layout, transa, transb, m, n, k, &alpha, a, lda, b, ldb,
              &beta, c, ldc);
}
void cblas_dgemm(int layout, int transa, int transb, int m, int n, int k, double alpha,
                 const double *a, int lda, const double *b, int ldb, double beta, double *c,
                 int ldc) {
  gemm<double>("cblas_dgemm", __f95_dgemm_, layout, transa, transb, m, n, k, &alpha, a, lda, b, ldb,
               &beta, c, ldc);
}
void cblas_cgemm(int layout, int transa, int transb, int m, int n, int k, const void *alpha,
                 const void *a, int lda, const void *b, int ldb, const void *beta, void *c,
                 int ldc) {
  typedef mox2_c8 T;
  gemm<T>("cblas_cgemm", __f95_cgemm_, layout, transa, transb, m, n, k,
          static_cast<const T *>(alpha), static_cast<const T *>(a), lda, static_cast<const T *>(b),
          ldb, static_cast<const T *>(beta), static_cast<T *>(c), ldc);
}
void cblas_zgemm(int layout, int transa, int transb, int m, int n, int k, const void *alpha,
                 const void *a, int lda, const void *b, int ldb, const void *beta, void *c,
                 int ldc) {
  typedef mox2_c16 T;
  gemm<T>("cblas_zgemm", __f95_zgemm_, layout, transa, transb, m, n, k,
          static_cast<const T *>(alpha), static_cast<const T *>(a), lda, static_cast<const T *>(b),
          ldb, static_cast<const T *>(beta), static_cast<T *>(c), ldc);
}

void cblas_sgemv(int layout, int trans, int m, int n, float alpha, const float *a, int lda,
                 const float *x, int incx, float beta, float *y, int incy) {
  gemv<float>("cblas_sgemv", __f95_sgemv_, layout, trans, m, n, &alpha, a, lda, x, incx, &beta, y,
              incy);
}
void cblas_dgemv(int layout, int trans, int m, int n, double alpha, const double *a, int lda,
                 const double *x, int incx, double beta, double *y, int incy) {
  gemv<double>("cblas_dgemv", __f95_dgemv_, layout, trans, m, n, &alpha, a, lda, x, incx, &beta, y,
               incy);
}
void cblas_cgemv(int layout, int trans, int m, int n, const void *alpha, const void *a, int lda,
                 const void *x, int incx, const void *beta, void *y, int incy) {
  typedef mox2_c8 T;
  gemv<T>("cblas_cgemv", __f95_cgemv_, layout, trans, m, n, static_cast<const T *>(alpha),
          static_cast<const T *>(a), lda, static_cast<const T *>(x), incx,
          static_cast<const T *>(beta), static_cast<T *>(y), incy);
}
void cblas_zgemv(int layout, int trans, int m, int n, const void *alpha, const void *a, int lda,
                 const void *x, int incx, const void *beta, void *y, int incy) {
  typedef mox2_c16 T;
  gemv<T>("cblas_zgemv", __f95_zgemv_, layout, trans, m, n, static_cast<const T *>(alpha),
          static_cast<const T *>(a), lda, static_cast<const T *>(x), incx,
          static_cast<const T *>(beta), static_cast<T *>(y), incy);
}

} // extern "C"
#pragma GCC visibility pop
