// The model kernels of each BLAS type behind the library's by-address
// conventions, as the serial kernels of the drivers' model.
#pragma once

#include "model/model_asp.h"
#include "model/model_drivers.h"
#include "model/model_gemm.h"
#include "model/model_gemv.h"
#include "model/model_level1.h"

namespace mox2::model {

template <class T>
using GemvByValue = void (*)(char, int, int, T, const T *, int, const T *, int, T, T *, int);
template <class T>
using GemmByValue = void (*)(char, char, int, int, int, T, const T *, int, const T *, int, T, T *,
                             int);

template <class T, GemvByValue<T> F>
void gemv_by_address(const char *trans, const std::int32_t *m, const std::int32_t *n,
                     const T *alpha, const T *a, const std::int32_t *lda, const T *x,
                     const std::int32_t *incx, const T *beta, T *y, const std::int32_t *incy,
                     std::size_t) {
  F(*trans, *m, *n, *alpha, a, *lda, x, *incx, *beta, y, *incy);
}
template <class T, GemmByValue<T> F>
void gemm_by_address(const char *ta, const char *tb, const std::int32_t *m, const std::int32_t *n,
                     const std::int32_t *k, const T *alpha, const T *a, const std::int32_t *lda,
                     const T *b, const std::int32_t *ldb, const T *beta, T *c,
                     const std::int32_t *ldc, std::size_t, std::size_t) {
  F(*ta, *tb, *m, *n, *k, *alpha, a, *lda, b, *ldb, *beta, c, *ldc);
}
template <class T, void (*F)(int, T, T *, int)>
void scal_by_address(const std::int32_t *n, const T *alpha, T *x, const std::int32_t *inc) {
  F(*n, *alpha, x, *inc);
}

// gemv, gemm: the drivers' kernels; gemv_safe, gemm_safe, dot_safe: the
// alignment-safe kernels (the ordinary ones for types that need none).
template <class T> struct KernelSet;
template <> struct KernelSet<float> {
  static constexpr GemvKernels<float> gemv{gemv_by_address<float, sgemv>};
  static constexpr GemmKernels<float> gemm{gemm_by_address<float, sgemm>,
                                           gemm_by_address<float, sgemm_asp>,
                                           scal_by_address<float, sscal>};
  static constexpr auto *gemv_safe = sgemv;
  static constexpr auto *gemm_safe = sgemm;
  static constexpr auto *dot = sdot;
  static constexpr auto *dot_safe = sdot;
};
template <> struct KernelSet<double> {
  static constexpr GemvKernels<double> gemv{gemv_by_address<double, dgemv>};
  static constexpr GemmKernels<double> gemm{gemm_by_address<double, dgemm>,
                                            gemm_by_address<double, dgemm_asp>,
                                            scal_by_address<double, dscal>};
  static constexpr auto *gemv_safe = dgemv_don;
  static constexpr auto *gemm_safe = dgemm_don;
  static constexpr auto *dot = ddot;
  static constexpr auto *dot_safe = ddot_don;
};
template <> struct KernelSet<c8> {
  static constexpr GemvKernels<c8> gemv{gemv_by_address<c8, cgemv>};
  static constexpr GemmKernels<c8> gemm{gemm_by_address<c8, cgemm>, gemm_by_address<c8, cgemm_asp>,
                                        scal_by_address<c8, cscal>};
  static constexpr auto *gemv_safe = cgemv;
  static constexpr auto *gemm_safe = cgemm;
  static constexpr auto *dot = cdotc;
  static constexpr auto *dot_safe = cdotc;
};
template <> struct KernelSet<c16> {
  static constexpr GemvKernels<c16> gemv{gemv_by_address<c16, zgemv>};
  static constexpr GemmKernels<c16> gemm{
      gemm_by_address<c16, zgemm>, gemm_by_address<c16, zgemm_asp>, scal_by_address<c16, zscal>};
  static constexpr auto *gemv_safe = zgemv_don;
  static constexpr auto *gemm_safe = zgemm_don;
  static constexpr auto *dot = zdotc;
  static constexpr auto *dot_safe = zdotc_don;
};

} // namespace mox2::model
