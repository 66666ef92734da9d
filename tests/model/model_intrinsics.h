// Executable model of DOT_PRODUCT and MATMUL: the stated algorithms written
// as plainly as possible, element by element, with no blocking, packing or
// unrolling.  The tests compare the library with it bit for bit.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "frame/dope.h"

namespace mox2::model {

template <TypeCode C> using T = ElementType<C>;

// Element k of a rank-one operand.
template <TypeCode C> T<C> at(const DopeVector<1> &d, std::size_t k) {
  return load<T<C>>(static_cast<const char *>(d.base) +
                    static_cast<std::intptr_t>(k) * d.stride[0]);
}

inline std::size_t count(std::intptr_t extent) { return extent > 0 ? extent : 0; }

// The value of an operand element as real and imaginary parts of type F
// (an integer converted with one rounding, a real widened or rounded).
template <class F, TypeCode C> F real_part(T<C> v) {
  if constexpr (is_complex<C>)
    return static_cast<F>(v.re);
  else
    return static_cast<F>(v);
}
template <class F, TypeCode C> F imag_part(T<C> v) {
  if constexpr (is_complex<C>)
    return static_cast<F>(v.im);
  else
    return F(0);
}

// LOGICAL element as a signed integer of its size, sign-extended.
template <TypeCode C> std::int64_t logical_value(T<C> v) { return static_cast<std::int64_t>(v); }

// ---- MATMUL ------------------------------------------------------------

// out(i, j) (column-major, i < m, j < n) := the sum over k < kk of
// x(i, k)*y(k, j) by the element arithmetic of MATMUL, x(i, k) at
// x + i*x_row + k*x_k, y(k, j) at y + k*y_k + j*y_col.
template <TypeCode A, TypeCode B, TypeCode R>
void product(char *out, const char *x, std::intptr_t x_row, std::intptr_t x_k, std::size_t m,
             const char *y, std::intptr_t y_k, std::intptr_t y_col, std::size_t n, std::size_t kk) {
  for (std::size_t j = 0; j < n; ++j)
    for (std::size_t i = 0; i < m; ++i) {
      auto x_of = [&](std::size_t k) {
        return load<T<A>>(x + std::intptr_t(i) * x_row + std::intptr_t(k) * x_k);
      };
      auto y_of = [&](std::size_t k) {
        return load<T<B>>(y + std::intptr_t(k) * y_k + std::intptr_t(j) * y_col);
      };
      T<R> r{};
      if constexpr (is_logical<A>) {
        for (std::size_t k = 0; k < kk && r == 0; ++k)
          r = (logical_value<A>(x_of(k)) & logical_value<B>(y_of(k))) != 0;
      } else if constexpr (is_integer<R>) {
        using U = std::conditional_t<Element<A>::kind == 8 || Element<B>::kind == 8, std::uint64_t,
                                     std::uint32_t>;
        using S = std::make_signed_t<U>;
        U sum = 0;
        for (std::size_t k = 0; k < kk; ++k)
          sum = sum +
                static_cast<U>(static_cast<S>(x_of(k))) * static_cast<U>(static_cast<S>(y_of(k)));
        r = static_cast<T<R>>(sum); // low-order bytes
      } else if constexpr (!is_complex<R>) {
        for (std::size_t k = 0; k < kk; ++k)
          r = r + static_cast<T<R>>(x_of(k)) * static_cast<T<R>>(y_of(k));
      } else {
        using F = Part<T<R>>;
        for (std::size_t k = 0; k < kk; ++k) {
          F xr = real_part<F, A>(x_of(k)), xi = imag_part<F, A>(x_of(k));
          F yr = real_part<F, B>(y_of(k)), yi = imag_part<F, B>(y_of(k));
          if constexpr (is_complex<A> && is_complex<B>) {
            r.re = r.re + (xr * yr - xi * yi);
            r.im = r.im + (xr * yi + xi * yr);
          } else if constexpr (is_complex<A>) {
            r.re = r.re + xr * yr;
            r.im = r.im + xi * yr;
          } else {
            r.re = r.re + xr * yr;
            r.im = r.im + xr * yi;
          }
        }
      }
      store<T<R>>(out + (i + j * m) * sizeof(T<R>), r);
    }
}

// ---- DOT_PRODUCT -------------------------------------------------------
// As MATMUL's element for LOGICAL, INTEGER and REAL pairs; COMPLEX pairs
// take conjg(a(k))*b(k), a COMPLEX and a REAL operand their products in
// the wider of the part precision and the REAL's precision, rounded to the
// part precision.
template <TypeCode A, TypeCode B, TypeCode R>
T<R> dot_product(const DopeVector<1> &a, const DopeVector<1> &b) {
  const std::size_t n = count(b.extent[0]) ? count(a.extent[0]) : 0;
  T<R> r{};
  if constexpr (!is_complex<A> && !is_complex<B>) {
    product<A, B, R>(reinterpret_cast<char *>(&r), static_cast<const char *>(a.base), 0,
                     a.stride[0], 1, static_cast<const char *>(b.base), b.stride[0], 0, 1, n);
  } else {
    using F = Part<T<R>>;
    constexpr TypeCode other = is_complex<A> ? B : A;
    using Q = std::conditional_t<!is_complex<other> && !is_integer<other> &&
                                     (Element<other>::kind > static_cast<int>(sizeof(F))),
                                 T<other>, F>;
    for (std::size_t k = 0; k < n; ++k) {
      const Q xr = real_part<Q, A>(at<A>(a, k)), xi = imag_part<Q, A>(at<A>(a, k));
      const Q yr = real_part<Q, B>(at<B>(b, k)), yi = imag_part<Q, B>(at<B>(b, k));
      if constexpr (is_complex<A> && is_complex<B>) {
        r.re = r.re + (xr * yr + xi * yi);
        r.im = r.im + (xr * yi - xi * yr);
      } else if constexpr (is_complex<A>) {
        r.re = r.re + static_cast<F>(xr * yr);
        r.im = r.im + static_cast<F>(xi * -yr);
      } else {
        r.re = r.re + static_cast<F>(xr * yr);
        r.im = r.im + static_cast<F>(xr * yi);
      }
    }
  }
  return r;
}

// The three forms: result elements in column-major order, all zero when
// a matched extent is zero.
template <TypeCode A, TypeCode B, TypeCode R>
std::vector<T<R>> matmul_a12(const DopeVector<1> &a, const DopeVector<2> &b) {
  std::size_t kk = count(a.extent[0]) ? count(b.extent[0]) : 0, n = count(b.extent[1]);
  std::vector<T<R>> r(n);
  product<A, B, R>(reinterpret_cast<char *>(r.data()), static_cast<const char *>(a.base), 0,
                   a.stride[0], 1, static_cast<const char *>(b.base), b.stride[0], b.stride[1], n,
                   kk);
  return r;
}
template <TypeCode A, TypeCode B, TypeCode R>
std::vector<T<R>> matmul_a21(const DopeVector<2> &a, const DopeVector<1> &b) {
  std::size_t m = count(a.extent[0]), kk = count(b.extent[0]) ? count(a.extent[1]) : 0;
  std::vector<T<R>> r(m);
  product<A, B, R>(reinterpret_cast<char *>(r.data()), static_cast<const char *>(a.base),
                   a.stride[0], a.stride[1], m, static_cast<const char *>(b.base), b.stride[0], 0,
                   1, kk);
  return r;
}
template <TypeCode A, TypeCode B, TypeCode R>
std::vector<T<R>> matmul_a22(const DopeVector<2> &a, const DopeVector<2> &b) {
  std::size_t m = count(a.extent[0]), kk = count(b.extent[0]) ? count(a.extent[1]) : 0;
  std::size_t n = count(b.extent[1]);
  std::vector<T<R>> r(m * n);
  product<A, B, R>(reinterpret_cast<char *>(r.data()), static_cast<const char *>(a.base),
                   a.stride[0], a.stride[1], m, static_cast<const char *>(b.base), b.stride[0],
                   b.stride[1], n, kk);
  return r;
}

} // namespace mox2::model
