// The model kernels under the model of the drivers, as the library's
// kernels are under its drivers.
#pragma once

#include "model/model_blas.h"

namespace mox2::model {

template <class T> struct KernelSet {
  static constexpr Gemv<T> gemv = gemv_kernel<T>;
  static constexpr GemmKernels<T> gemm{gemm_kernel<T>, gemm_thin<T>, scal<T>};
};

} // namespace mox2::model
