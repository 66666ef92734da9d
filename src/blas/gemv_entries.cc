// The exported GEMV entry points, one per BLAS type, each an instance of
// the GEMV driver over that type's serial kernel.
#include "blas/gemv_driver.h"

extern "C" {

#define MOX2_DEFINE_GEMV_(p, t)                                                                    \
  MOX2_GEMV_SIGNATURE(p, t) {                                                                      \
    mox2::blas::gemv_driver<mox2_##t>(__f___zo_pp_##p##gemv_, trans, m, n, alpha, a, lda, x, incx, \
                                      beta, y, incy);                                              \
  }
MOX2_BLAS_TYPES(MOX2_DEFINE_GEMV_)
#undef MOX2_DEFINE_GEMV_

} // extern "C"
