// The elementwise level-1 routines (level1_sets.h), included by each kernel
// set's source inside its own namespace, so every set compiles the same
// per-element arithmetic with its own instructions.
#ifndef MOX2_KERNEL_SET
#error "define MOX2_KERNEL_SET before including level1_body.h"
#endif

#include <cstddef>

#include "kernels/level1/level1_sets.h"

namespace mox2::kernels::MOX2_KERNEL_SET {

template <class T> void scal_contiguous(std::ptrdiff_t n, T alpha, T *__restrict x) {
  for (std::ptrdiff_t i = 0; i < n; ++i)
    x[i] = alpha * x[i];
}

template <class T>
void axpy_contiguous(std::ptrdiff_t m, T t, const T *__restrict x, T *__restrict column) {
  for (std::ptrdiff_t i = 0; i < m; ++i)
    column[i] = column[i] + x[i] * t;
}

void scal(std::ptrdiff_t n, float alpha, float *x) { scal_contiguous(n, alpha, x); }
void scal(std::ptrdiff_t n, double alpha, double *x) { scal_contiguous(n, alpha, x); }
void axpy_column(std::ptrdiff_t m, float t, const float *x, float *column) {
  axpy_contiguous(m, t, x, column);
}
void axpy_column(std::ptrdiff_t m, double t, const double *x, double *column) {
  axpy_contiguous(m, t, x, column);
}

#ifndef MOX2_KERNEL_SET_WITHOUT_COMPLEX
void scal(std::ptrdiff_t n, c8 alpha, c8 *__restrict x) {
  for (std::ptrdiff_t i = 0; i < n; ++i) {
    const c8 v = x[i];
    x[i] = {v.re * alpha.re - v.im * alpha.im, v.re * alpha.im + v.im * alpha.re};
  }
}
void scal(std::ptrdiff_t n, c16 alpha, c16 *__restrict x) {
  for (std::ptrdiff_t i = 0; i < n; ++i) {
    const c16 v = x[i];
    x[i] = {alpha.re * v.re - alpha.im * v.im, alpha.re * v.im + v.re * alpha.im};
  }
}
#endif

} // namespace mox2::kernels::MOX2_KERNEL_SET
