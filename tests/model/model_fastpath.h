// Executable model of DOT_PRODUCT and MATMUL of the same-type REAL and
// COMPLEX pairs: the operands as BLAS vectors and matrices (contiguous
// copies where the BLAS conventions cannot describe them), the
// alignment-safe kernels for REAL(8) and COMPLEX(8) data not 8-byte
// aligned, and the model of the GEMV and GEMM drivers.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "frame/dope.h"
#include "model/kernel_data.h"
#include "model/model_blas.h"

namespace mox2::model {

template <TypeCode C> constexpr bool kNeedsAlignment = C == TypeCode::r8 || C == TypeCode::c16;

inline bool aligned8(const void *p) { return reinterpret_cast<std::uintptr_t>(p) % 8 == 0; }

// An operand as (address, leading dimension or increment), or its
// column-major copy (8-byte aligned).
template <class T> struct BlasView {
  const T *p;
  int ld;
  std::vector<char> copy;
  const T *copy_of(const DopeVector<2> &d, std::size_t rows, std::size_t cols) {
    copy.resize(std::max<std::size_t>(rows * cols, 1) * sizeof(T) + 8);
    char *at = copy.data() + (8 - reinterpret_cast<std::uintptr_t>(copy.data()) % 8) % 8;
    for (std::size_t j = 0; j < cols; ++j)
      for (std::size_t i = 0; i < rows; ++i)
        std::memcpy(at + (i + j * rows) * sizeof(T),
                    static_cast<const char *>(d.base) + i * d.stride[0] + j * d.stride[1],
                    sizeof(T));
    return reinterpret_cast<const T *>(at);
  }
};
// A matrix passes as is when its columns are contiguous and its column
// stride a multiple of the element of at least max(1, rows) elements.
template <class T>
BlasView<T> matrix_view(const DopeVector<2> &d, std::size_t rows, std::size_t cols) {
  const std::intptr_t e = sizeof(T), min_ld = rows > 1 ? std::intptr_t(rows) : 1;
  BlasView<T> v;
  if (d.stride[0] == e && d.stride[1] % e == 0 && d.stride[1] / e >= min_ld)
    return {static_cast<const T *>(d.base), int(d.stride[1] / e), {}};
  v.p = v.copy_of(d, rows, cols);
  v.ld = int(min_ld);
  return v;
}
// A vector of n elements passes as is (from its lowest-addressed element)
// when its stride is a multiple of the element; a stride of 0 too for the
// dot kernels.
template <class T> BlasView<T> vector_view(const DopeVector<1> &d, std::size_t n, bool dot) {
  const std::intptr_t e = sizeof(T), s = d.stride[0];
  const char *base = static_cast<const char *>(d.base);
  if (s % e == 0 && (s != 0 || dot))
    return {reinterpret_cast<const T *>(s < 0 && n > 0 ? base + std::intptr_t(n - 1) * s : base),
            int(s / e),
            {}};
  BlasView<T> v;
  v.p = v.copy_of(DopeVector<2>{d.base, {std::intptr_t(n), 1}, {s, 0}}, n, 1);
  v.ld = 1;
  return v;
}

template <TypeCode C> ElementType<C> fast_dot(const DopeVector<1> &a, const DopeVector<1> &b) {
  using T = ElementType<C>;
  const std::size_t n = extent_count(a.extent[0]);
  BlasView<T> x = vector_view<T>(a, n, true), y = vector_view<T>(b, n, true);
  const bool safe = kNeedsAlignment<C> && !(aligned8(x.p) && aligned8(y.p));
  return dot<T>(int(n), x.p, x.ld, y.p, y.ld, true, safe && !is_complex<C>);
}

template <TypeCode C>
std::vector<ElementType<C>> fast_a22(const DopeVector<2> &a, const DopeVector<2> &b, int threads) {
  using T = ElementType<C>;
  const std::size_t m = extent_count(a.extent[0]), k = extent_count(a.extent[1]),
                    n = extent_count(b.extent[1]);
  std::vector<T> c(m * n, test::splat<T>(std::nan("")));
  if (m == 0 || n == 0) return c;
  if (k == 0) return std::vector<T>(m * n, T{});
  BlasView<T> av = matrix_view<T>(a, m, k), bv = matrix_view<T>(b, k, n);
  const T one = test::scalar<T>(1);
  if constexpr (kNeedsAlignment<C>)
    if (!(aligned8(av.p) && aligned8(bv.p))) {
      gemm_safe<T>('N', 'N', int(m), int(n), int(k), one, av.p, av.ld, bv.p, bv.ld, T{}, c.data(),
                   int(m));
      return c;
    }
  gemm<T>(threads, 'N', 'N', int(m), int(n), int(k), one, av.p, av.ld, bv.p, bv.ld, T{}, c.data(),
          int(m));
  return c;
}

template <TypeCode C>
std::vector<ElementType<C>> fast_a21(const DopeVector<2> &a, const DopeVector<1> &x, int threads) {
  using T = ElementType<C>;
  const std::size_t m = extent_count(a.extent[0]), k = extent_count(a.extent[1]);
  std::vector<T> y(m, T{});
  if (m == 0 || k == 0 || extent_count(x.extent[0]) == 0) return y;
  BlasView<T> av = matrix_view<T>(a, m, k), xv = vector_view<T>(x, k, false);
  const T one = test::scalar<T>(1);
  if constexpr (kNeedsAlignment<C>)
    if (!(aligned8(av.p) && aligned8(xv.p))) {
      gemv_safe<T>('N', int(m), int(k), one, av.p, av.ld, xv.p, xv.ld, T{}, y.data(), 1);
      return y;
    }
  gemv<T>(threads, 'N', int(m), int(k), one, av.p, av.ld, xv.p, xv.ld, T{}, y.data(), 1);
  return y;
}

} // namespace mox2::model
