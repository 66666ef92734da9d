// The Fortran names sgemv_ ... zgemm_: the reference BLAS's checks, then
// mox2's __f95_ entry point with the caller's arguments.  An invalid
// argument is reported through xerbla_ and leaves every output untouched
// (the __f95_ entry points would zero it).
#include "stdblas/reference_checks.h"

namespace mox2::stdblas {
namespace {

template <class T>
void gemv(char precision, GemvEntry<T> entry, const char *trans, const std::int32_t *m,
          const std::int32_t *n, const T *alpha, const T *a, const std::int32_t *lda, const T *x,
          const std::int32_t *incx, const T *beta, T *y, const std::int32_t *incy) {
  if (int info = gemv_check(*trans, *m, *n, *lda, *incx, *incy)) {
    report_fortran(precision, "GEMV", info);
    return;
  }
  entry(trans, m, n, alpha, a, lda, x, incx, beta, y, incy, 1);
}

template <class T>
void gemm(char precision, GemmEntry<T> entry, const char *transa, const char *transb,
          const std::int32_t *m, const std::int32_t *n, const std::int32_t *k, const T *alpha,
          const T *a, const std::int32_t *lda, const T *b, const std::int32_t *ldb, const T *beta,
          T *c, const std::int32_t *ldc) {
  if (int info = gemm_check(*transa, *transb, *m, *n, *k, *lda, *ldb, *ldc)) {
    report_fortran(precision, "GEMM", info);
    return;
  }
  entry(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc, 1, 1);
}

} // namespace
} // namespace mox2::stdblas

#pragma GCC visibility push(default)
extern "C" {

#define MOX2_DEFINE_STANDARD_NAMES_(p, t)                                                          \
  MOX2_STANDARD_GEMV(p##gemv_, mox2_##t) {                                                         \
    mox2::stdblas::gemv<mox2_##t>(#p[0], __f95_##p##gemv_, trans, m, n, alpha, a, lda, x, incx,    \
                                  beta, y, incy);                                                  \
  }                                                                                                \
  MOX2_STANDARD_GEMM(p##gemm_, mox2_##t) {                                                         \
    mox2::stdblas::gemm<mox2_##t>(#p[0], __f95_##p##gemm_, transa, transb, m, n, k, alpha, a, lda, \
                                  b, ldb, beta, c, ldc);                                           \
  }
MOX2_BLAS_TYPES(MOX2_DEFINE_STANDARD_NAMES_)
#undef MOX2_DEFINE_STANDARD_NAMES_

} // extern "C"
#pragma GCC visibility pop
