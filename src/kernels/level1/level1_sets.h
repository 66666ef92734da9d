// The elementwise level-1 routines of each kernel set: scaling and the
// rank-one update, where every element takes one product (and one sum), so
// wider vectors change no bit.  The kernels in level1.cc reach them
// through the kernel set in use (kernel_set.h).  The AVX-512 set has no
// complex routines (see gemv_body.h); its table holds the AVX2 set's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernels/kernels.h"

namespace mox2::kernels {

#define MOX2_DECLARE_LEVEL1_SET_REAL_(set)                                                         \
  namespace set {                                                                                  \
  /* x(i) := alpha*x(i), i = 0..n-1, contiguous */                                                 \
  void scal(std::ptrdiff_t n, float alpha, float *x);                                              \
  void scal(std::ptrdiff_t n, double alpha, double *x);                                            \
  /* column(i) := column(i) + x(i)*t, i = 0..m-1, x contiguous */                                  \
  void axpy_column(std::ptrdiff_t m, float t, const float *x, float *column);                      \
  void axpy_column(std::ptrdiff_t m, double t, const double *x, double *column);                   \
  }
#define MOX2_DECLARE_LEVEL1_SET_(set)                                                              \
  MOX2_DECLARE_LEVEL1_SET_REAL_(set)                                                               \
  namespace set {                                                                                  \
  /* x(i) := (x.re*a.re - x.im*a.im, x.re*a.im + x.im*a.re) */                                     \
  void scal(std::ptrdiff_t n, c8 alpha, c8 *x);                                                    \
  /* x(i) := (a.re*x.re - a.im*x.im, a.re*x.im + x.re*a.im) */                                     \
  void scal(std::ptrdiff_t n, c16 alpha, c16 *x);                                                  \
  }
MOX2_DECLARE_LEVEL1_SET_(portable)
MOX2_DECLARE_LEVEL1_SET_(avx2)
MOX2_DECLARE_LEVEL1_SET_REAL_(avx512)
#undef MOX2_DECLARE_LEVEL1_SET_
#undef MOX2_DECLARE_LEVEL1_SET_REAL_

} // namespace mox2::kernels
