// The exported GEMM entry points, one per BLAS type, each an instance of
// the GEMM driver over that type's GEMM, thin-product and scal kernels.
#include "blas/gemm_driver.h"

extern "C" {

#define MOX2_DEFINE_GEMM_(p, t)                                                                    \
  MOX2_GEMM_SIGNATURE(p, t) {                                                                      \
    static constexpr mox2::blas::GemmKernels<mox2_##t> kernels{                                    \
        __f___zo_pp_##p##gemm_, __f___zo_pp_##p##gemm_asp_, __f___zo_##p##scal_};                  \
    mox2::blas::gemm_driver<mox2_##t>(kernels, transa, transb, m, n, k, alpha, a, lda, b, ldb,     \
                                      beta, c, ldc);                                               \
  }
MOX2_BLAS_TYPES(MOX2_DEFINE_GEMM_)
#undef MOX2_DEFINE_GEMM_

} // extern "C"
