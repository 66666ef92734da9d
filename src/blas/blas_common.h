// What the GEMV and GEMM drivers share: kernel pointer types, option
// letters (the scalar tests of the real and complex families, is_zero and
// is_one, are frame/types.h's).
#pragma once

#include <cstddef>
#include <cstdint>

#include "kernels/kernels.h"

namespace mox2::blas {

template <class T> struct KernelTypes {
  typedef MOX2_GEMV_KERNEL((*gemv), T);
  typedef MOX2_GEMM_KERNEL((*gemm), T);
  typedef void (*scal)(const std::int32_t *n, const T *alpha, T *x, const std::int32_t *incx);
};
template <class T> using GemvKernel = typename KernelTypes<T>::gemv;
template <class T> using GemmKernel = typename KernelTypes<T>::gemm;
template <class T> using ScalKernel = typename KernelTypes<T>::scal;

// Option letters: the first byte with its 0x20 bit set.
enum class Op { none, transpose, conjugate, invalid };
inline Op decode_op(const char *letter) {
  switch (static_cast<unsigned char>(*letter) | 0x20u) {
  case 'n': return Op::none;
  case 't': return Op::transpose;
  case 'c': return Op::conjugate;
  default: return Op::invalid;
  }
}

template <class T> inline T zero_element() { return T{}; }

// Address of the lowest-addressed element of the run s..s+n-1 of a vector of
// len elements with increment inc (a negative increment starts at the top).
template <class T>
inline T *vector_part(T *v, std::int32_t inc, std::int32_t len, std::int32_t s, std::int32_t n) {
  if (inc > 0) return v + static_cast<std::ptrdiff_t>(s) * inc;
  return v + static_cast<std::ptrdiff_t>(len - s - n) * -static_cast<std::ptrdiff_t>(inc);
}

} // namespace mox2::blas
