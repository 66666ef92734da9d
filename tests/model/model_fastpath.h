// Executable model of DOT_PRODUCT and MATMUL of the same-type REAL and
// COMPLEX pairs: the operands as BLAS vectors and matrices (or contiguous
// copies where the BLAS conventions cannot describe them), the 8-byte
// address test choosing the alignment-safe kernels, and the model of the
// GEMV and GEMM drivers.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "frame/dope.h"
#include "model/kernel_data.h"
#include "model/model_kernel_sets.h"

namespace mox2::model {

template <TypeCode C> using E = ElementType<C>;

template <TypeCode C> constexpr bool kNeedsAlignment = C == TypeCode::r8 || C == TypeCode::c16;

inline bool aligned8(const void *p) { return reinterpret_cast<std::uintptr_t>(p) % 8 == 0; }

// The BLAS view of a matrix operand, or its column-major copy.
template <class T> struct MatrixView {
  const T *a;
  int ld;
  std::vector<char> copy;
};
template <class T>
MatrixView<T> matrix_view(const DopeVector<2> &d, std::size_t rows, std::size_t cols) {
  const std::intptr_t e = sizeof(T);
  const std::intptr_t min_ld = rows > 1 ? std::intptr_t(rows) : 1;
  MatrixView<T> v;
  if (d.stride[0] == e && d.stride[1] % e == 0 && d.stride[1] / e >= min_ld) {
    v.a = static_cast<const T *>(d.base);
    v.ld = int(d.stride[1] / e);
    return v;
  }
  v.copy.resize(std::max<std::size_t>(rows * cols, 1) * sizeof(T) + 8);
  char *at = v.copy.data() + (8 - reinterpret_cast<std::uintptr_t>(v.copy.data()) % 8) % 8;
  for (std::size_t j = 0; j < cols; ++j)
    for (std::size_t i = 0; i < rows; ++i)
      std::memcpy(at + (i + j * rows) * sizeof(T),
                  static_cast<const char *>(d.base) + i * d.stride[0] + j * d.stride[1], sizeof(T));
  v.a = reinterpret_cast<const T *>(at);
  v.ld = int(min_ld);
  return v;
}

// The BLAS view of a vector of n elements, or its contiguous copy (stride
// 0 or not a multiple of E).
template <class T> struct VectorView {
  const T *x;
  int inc;
  std::vector<char> copy;
};
template <class T> VectorView<T> vector_view(const DopeVector<1> &d, std::size_t n) {
  const std::intptr_t e = sizeof(T), s = d.stride[0];
  VectorView<T> v;
  if (s != 0 && s % e == 0) {
    const char *base = static_cast<const char *>(d.base);
    v.x = reinterpret_cast<const T *>(s < 0 && n > 0 ? base + std::intptr_t(n - 1) * s : base);
    v.inc = int(s / e);
    return v;
  }
  v.copy.resize(std::max<std::size_t>(n, 1) * sizeof(T) + 8);
  char *at = v.copy.data() + (8 - reinterpret_cast<std::uintptr_t>(v.copy.data()) % 8) % 8;
  for (std::size_t k = 0; k < n; ++k)
    std::memcpy(at + k * sizeof(T), static_cast<const char *>(d.base) + std::intptr_t(k) * s,
                sizeof(T));
  v.x = reinterpret_cast<const T *>(at);
  v.inc = 1;
  return v;
}

// A dot-product operand's BLAS view for n elements (the dot kernels take
// increment 0 as it is).
template <class T> VectorView<T> dot_view(const DopeVector<1> &d, std::size_t n) {
  if (d.stride[0] == 0) return {static_cast<const T *>(d.base), 0, {}};
  return vector_view<T>(d, n);
}

// DOT_PRODUCT, MATMUL a22 and a21 of a same-type REAL or COMPLEX pair as
// the model kernels and drivers compute them (the product at `threads`).
template <TypeCode C> E<C> fast_dot(const DopeVector<1> &a, const DopeVector<1> &b) {
  using T = E<C>;
  std::size_t n = extent_count(a.extent[0]);
  VectorView<T> x = dot_view<T>(a, n), y = dot_view<T>(b, n);
  bool safe = kNeedsAlignment<C> && !(aligned8(x.x) && aligned8(y.x));
  return (safe ? KernelSet<T>::dot_safe : KernelSet<T>::dot)(int(n), x.x, x.inc, y.x, y.inc);
}

template <TypeCode C>
std::vector<E<C>> fast_a22(const DopeVector<2> &a, const DopeVector<2> &b, int threads) {
  using T = E<C>;
  std::size_t m = extent_count(a.extent[0]), k = extent_count(a.extent[1]),
              n = extent_count(b.extent[1]);
  std::vector<T> c(std::max<std::size_t>(m * n, 1), test::splat<T>(std::nan("")));
  if (m == 0 || n == 0) return c;
  if (k == 0) return std::vector<T>(m * n, T{});
  MatrixView<T> av = matrix_view<T>(a, m, k), bv = matrix_view<T>(b, k, n);
  T one = test::real_element<T>(1), zero{};
  if (kNeedsAlignment<C> && !(aligned8(av.a) && aligned8(bv.a)))
    KernelSet<T>::gemm_safe('N', 'N', int(m), int(n), int(k), one, av.a, av.ld, bv.a, bv.ld, zero,
                            c.data(), int(m));
  else
    gemm<T>(KernelSet<T>::gemm, threads, 'N', 'N', int(m), int(n), int(k), one, av.a, av.ld, bv.a,
            bv.ld, zero, c.data(), int(m));
  return c;
}

template <TypeCode C>
std::vector<E<C>> fast_a21(const DopeVector<2> &a, const DopeVector<1> &x, int threads) {
  using T = E<C>;
  std::size_t m = extent_count(a.extent[0]), k = extent_count(a.extent[1]);
  std::vector<T> y(std::max<std::size_t>(m, 1), T{});
  if (m == 0 || k == 0 || extent_count(x.extent[0]) == 0) return y;
  MatrixView<T> av = matrix_view<T>(a, m, k);
  VectorView<T> xv = vector_view<T>(x, k);
  T one = test::real_element<T>(1), zero{};
  if (kNeedsAlignment<C> && !(aligned8(av.a) && aligned8(xv.x)))
    KernelSet<T>::gemv_safe('N', int(m), int(k), one, av.a, av.ld, xv.x, xv.inc, zero, y.data(), 1);
  else
    gemv<T>(KernelSet<T>::gemv, threads, 'N', int(m), int(k), one, av.a, av.ld, xv.x, xv.inc, zero,
            y.data(), 1);
  return y;
}

} // namespace mox2::model
