// The serial linear-algebra kernels: internal routines with the argument
// conventions of the BLAS.  Every argument is passed by address; a vector
// is (address of its lowest-addressed element, count, increment), a
// negative increment taking the elements from the highest address down;
// matrices are column-major with a leading dimension in elements.  Option
// letters are read from their first byte only; the trailing character
// lengths are never read.
//
// The ordinary REAL(8) and COMPLEX(8) kernels expect 8-byte aligned data;
// the kernels ending in _don accept data that is only 4-byte aligned and
// validate their arguments (invalid ones zero the output).  The other
// kernels trust their callers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/types.h"

namespace mox2 {
using c8 = Complex<float>;
using c16 = Complex<double>;
} // namespace mox2

#define MOX2_GEMV_KERNEL(name, T)                                                                  \
  void name(const char *trans, const std::int32_t *m, const std::int32_t *n, const T *alpha,       \
            const T *a, const std::int32_t *lda, const T *x, const std::int32_t *incx,             \
            const T *beta, T *y, const std::int32_t *incy, std::size_t trans_len)
#define MOX2_GEMM_KERNEL(name, T)                                                                  \
  void name(const char *transa, const char *transb, const std::int32_t *m, const std::int32_t *n,  \
            const std::int32_t *k, const T *alpha, const T *a, const std::int32_t *lda,            \
            const T *b, const std::int32_t *ldb, const T *beta, T *c, const std::int32_t *ldc,     \
            std::size_t transa_len, std::size_t transb_len)

extern "C" {

// ---- Level 1 ----------------------------------------------------------
float __f___zo_sdot_(const std::int32_t *n, const float *x, const std::int32_t *incx,
                     const float *y, const std::int32_t *incy);
double __f___zo_ddot_(const std::int32_t *n, const double *x, const std::int32_t *incx,
                      const double *y, const std::int32_t *incy);
double __f___zo_ddot_don_(const std::int32_t *n, const double *x, const std::int32_t *incx,
                          const double *y, const std::int32_t *incy);
void __f___zo_cdotc_(mox2::c8 *result, const std::int32_t *n, const mox2::c8 *x,
                     const std::int32_t *incx, const mox2::c8 *y, const std::int32_t *incy);
void __f___zo_cdotu_(mox2::c8 *result, const std::int32_t *n, const mox2::c8 *x,
                     const std::int32_t *incx, const mox2::c8 *y, const std::int32_t *incy);
void __f___zo_zdotc_(mox2::c16 *result, const std::int32_t *n, const mox2::c16 *x,
                     const std::int32_t *incx, const mox2::c16 *y, const std::int32_t *incy);
void __f___zo_zdotu_(mox2::c16 *result, const std::int32_t *n, const mox2::c16 *x,
                     const std::int32_t *incx, const mox2::c16 *y, const std::int32_t *incy);
void __f___zo_zdotc_don_(mox2::c16 *result, const std::int32_t *n, const mox2::c16 *x,
                         const std::int32_t *incx, const mox2::c16 *y, const std::int32_t *incy);

void __f___zo_sscal_(const std::int32_t *n, const float *alpha, float *x, const std::int32_t *incx);
void __f___zo_dscal_(const std::int32_t *n, const double *alpha, double *x,
                     const std::int32_t *incx);
void __f___zo_cscal_(const std::int32_t *n, const mox2::c8 *alpha, mox2::c8 *x,
                     const std::int32_t *incx);
void __f___zo_zscal_(const std::int32_t *n, const mox2::c16 *alpha, mox2::c16 *x,
                     const std::int32_t *incx);

void __f___zo_pp_sger_(const std::int32_t *m, const std::int32_t *n, const float *alpha,
                       const float *x, const std::int32_t *incx, const float *y,
                       const std::int32_t *incy, float *a, const std::int32_t *lda);
void __f___zo_pp_dger_(const std::int32_t *m, const std::int32_t *n, const double *alpha,
                       const double *x, const std::int32_t *incx, const double *y,
                       const std::int32_t *incy, double *a, const std::int32_t *lda);

// ---- GEMV: y := alpha*op(A)*x + beta*y --------------------------------
MOX2_GEMV_KERNEL(__f___zo_pp_sgemv_, float);
MOX2_GEMV_KERNEL(__f___zo_pp_dgemv_, double);
MOX2_GEMV_KERNEL(__f___zo_pp_cgemv_, mox2::c8);
MOX2_GEMV_KERNEL(__f___zo_pp_zgemv_, mox2::c16);
MOX2_GEMV_KERNEL(__f___zo_dgemv_don_, double);
MOX2_GEMV_KERNEL(__f___zo_zgemv_don_, mox2::c16);

// ---- GEMM: C := alpha*op(A)*op(B) + beta*C ----------------------------
MOX2_GEMM_KERNEL(__f___zo_pp_sgemm_, float);
MOX2_GEMM_KERNEL(__f___zo_pp_dgemm_, double);
MOX2_GEMM_KERNEL(__f___zo_pp_cgemm_, mox2::c8);
MOX2_GEMM_KERNEL(__f___zo_pp_zgemm_, mox2::c16);
MOX2_GEMM_KERNEL(__f___zo_pp_sgemmx_, float);
MOX2_GEMM_KERNEL(__f___zo_pp_dgemmx_, double);
MOX2_GEMM_KERNEL(__f___zo_dgemm_don_, double);
MOX2_GEMM_KERNEL(__f___zo_zgemm_don_, mox2::c16);

// ---- Thin products (m, n or k below 4) --------------------------------
MOX2_GEMM_KERNEL(__f___zo_pp_sgemm_asp_, float);
MOX2_GEMM_KERNEL(__f___zo_pp_dgemm_asp_, double);
MOX2_GEMM_KERNEL(__f___zo_pp_cgemm_asp_, mox2::c8);
MOX2_GEMM_KERNEL(__f___zo_pp_zgemm_asp_, mox2::c16);

} // extern "C"
