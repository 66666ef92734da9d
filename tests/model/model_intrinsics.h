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

// Element k of a rank-one operand, element (i, k) of a rank-two one.
template <TypeCode C> T<C> at(const DopeVector<1> &d, std::size_t k) {
  return load<T<C>>(static_cast<const char *>(d.base) +
                    static_cast<std::intptr_t>(k) * d.stride[0]);
}
template <TypeCode C> T<C> at(const DopeVector<2> &d, std::size_t i, std::size_t k) {
  return load<T<C>>(static_cast<const char *>(d.base) +
                    static_cast<std::intptr_t>(i) * d.stride[0] +
                    static_cast<std::intptr_t>(k) * d.stride[1]);
}

inline std::size_t count(std::intptr_t extent) { return extent > 0 ? extent : 0; }

// The REAL type of a part kind.
template <int K>
using RealK = std::conditional_t<K == 4, float, std::conditional_t<K == 8, double, mox2_r16>>;

// The value of an operand element as real and imaginary parts of type F
// (an integer converted with one rounding, a real widened or rounded).
template <class F, TypeCode C> F real_part(T<C> v) {
  if constexpr (Element<C>::cls == TypeClass::complex)
    return static_cast<F>(v.re);
  else
    return static_cast<F>(v);
}
template <class F, TypeCode C> F imag_part(T<C> v) {
  if constexpr (Element<C>::cls == TypeClass::complex)
    return static_cast<F>(v.im);
  else
    return F(0);
}

constexpr bool is_int(TypeCode c) { return type_info(c).cls == TypeClass::integer; }
constexpr bool is_cplx(TypeCode c) { return type_info(c).cls == TypeClass::complex; }
constexpr bool is_log(TypeCode c) { return type_info(c).cls == TypeClass::logical; }
constexpr int kind(TypeCode c) { return type_info(c).kind; }

// LOGICAL element as a signed integer of its size, sign-extended.
template <TypeCode C> std::int64_t logical_value(T<C> v) { return static_cast<std::int64_t>(v); }

// ---- DOT_PRODUCT -------------------------------------------------------

template <TypeCode A, TypeCode B, TypeCode R>
T<R> dot_product(const DopeVector<1> &a, const DopeVector<1> &b) {
  std::size_t n = count(a.extent[0]);
  T<R> result{};
  if (n == 0 || count(b.extent[0]) == 0) return result;
  if constexpr (is_log(A)) {
    for (std::size_t k = 0; k < n; ++k)
      if ((logical_value<A>(at<A>(a, k)) & logical_value<B>(at<B>(b, k))) != 0) return 1;
    return 0;
  } else if constexpr (is_int(A) && is_int(B)) {
    // 32-bit (64-bit with i8) two's complement, wrapping.
    using U = std::conditional_t<kind(A) == 8 || kind(B) == 8, std::uint64_t, std::uint32_t>;
    using S = std::make_signed_t<U>;
    U sum = 0;
    for (std::size_t k = 0; k < n; ++k)
      sum = sum + static_cast<U>(static_cast<S>(at<A>(a, k))) *
                      static_cast<U>(static_cast<S>(at<B>(b, k)));
    return static_cast<T<R>>(sum);
  } else if constexpr (!is_cplx(A) && !is_cplx(B)) {
    using F = T<R>; // the REAL operand's precision, or the wider REAL
    F sum = 0;
    for (std::size_t k = 0; k < n; ++k)
      sum = sum + static_cast<F>(at<A>(a, k)) * static_cast<F>(at<B>(b, k));
    return sum;
  } else if constexpr (is_cplx(A) && is_cplx(B)) {
    using F = Part<T<R>>;
    F re = 0, im = 0;
    for (std::size_t k = 0; k < n; ++k) {
      F xr = real_part<F, A>(at<A>(a, k)), xi = imag_part<F, A>(at<A>(a, k));
      F yr = real_part<F, B>(at<B>(b, k)), yi = imag_part<F, B>(at<B>(b, k));
      F t_re = xr * yr + xi * yi; // conj(x)*y
      F t_im = xr * yi - xi * yr;
      re = re + t_re;
      im = im + t_im;
    }
    return {re, im};
  } else {
    // One COMPLEX operand: products in the wider of its part precision and
    // the other operand's REAL precision, rounded to the part precision.
    using F = Part<T<R>>;
    constexpr TypeCode other = is_cplx(A) ? B : A;
    using Q = std::conditional_t<!is_int(other) && (kind(other) > static_cast<int>(sizeof(F))),
                                 T<other>, F>;
    F re = 0, im = 0;
    for (std::size_t k = 0; k < n; ++k) {
      if constexpr (is_cplx(A)) {
        Q xr = real_part<Q, A>(at<A>(a, k)), xi = imag_part<Q, A>(at<A>(a, k));
        Q y = static_cast<Q>(at<B>(b, k));
        re = re + static_cast<F>(xr * y);
        im = im + static_cast<F>(xi * -y);
      } else {
        Q x = static_cast<Q>(at<A>(a, k));
        Q yr = real_part<Q, B>(at<B>(b, k)), yi = imag_part<Q, B>(at<B>(b, k));
        re = re + static_cast<F>(x * yr);
        im = im + static_cast<F>(x * yi);
      }
    }
    return {re, im};
  }
}

// ---- MATMUL ------------------------------------------------------------

// One result element: the inner product of x_k (k-th term of MATRIX_A's row
// or vector) and y_k, by the element arithmetic of MATMUL.
template <TypeCode A, TypeCode B, TypeCode R, class GetX, class GetY>
T<R> matmul_element(std::size_t kk, GetX x_of, GetY y_of) {
  if constexpr (is_log(R)) {
    for (std::size_t k = 0; k < kk; ++k)
      if ((logical_value<A>(x_of(k)) & logical_value<B>(y_of(k))) != 0) return 1;
    return 0;
  } else if constexpr (is_int(R)) {
    using U = std::conditional_t<kind(A) == 8 || kind(B) == 8, std::uint64_t, std::uint32_t>;
    using S = std::make_signed_t<U>;
    U sum = 0;
    for (std::size_t k = 0; k < kk; ++k)
      sum = sum + static_cast<U>(static_cast<S>(x_of(k))) * static_cast<U>(static_cast<S>(y_of(k)));
    return static_cast<T<R>>(sum); // low-order bytes
  } else if constexpr (!is_cplx(R)) {
    using F = T<R>;
    F sum = 0;
    for (std::size_t k = 0; k < kk; ++k)
      sum = sum + static_cast<F>(x_of(k)) * static_cast<F>(y_of(k));
    return sum;
  } else {
    using F = Part<T<R>>;
    F re = 0, im = 0;
    for (std::size_t k = 0; k < kk; ++k) {
      F xr = real_part<F, A>(x_of(k)), xi = imag_part<F, A>(x_of(k));
      F yr = real_part<F, B>(y_of(k)), yi = imag_part<F, B>(y_of(k));
      if constexpr (is_cplx(A) && is_cplx(B)) {
        F t_re = xr * yr - xi * yi;
        F t_im = xr * yi + xi * yr;
        re = re + t_re;
        im = im + t_im;
      } else if constexpr (is_cplx(A)) {
        re = re + xr * yr;
        im = im + xi * yr;
      } else {
        re = re + xr * yr;
        im = im + xr * yi;
      }
    }
    return {re, im};
  }
}

// Result elements in column-major order; an empty vector when the result
// has no elements.  `zero` results (a zero extent among those tested) are
// all zero.
template <TypeCode A, TypeCode B, TypeCode R>
std::vector<T<R>> matmul_a12(const DopeVector<1> &a, const DopeVector<2> &b) {
  std::size_t ka = count(a.extent[0]), kk = count(b.extent[0]), n = count(b.extent[1]);
  std::vector<T<R>> r(n, T<R>{});
  if (ka == 0 || kk == 0) return r;
  for (std::size_t j = 0; j < n; ++j)
    r[j] = matmul_element<A, B, R>(
        kk, [&](std::size_t k) { return at<A>(a, k); },
        [&](std::size_t k) { return at<B>(b, k, j); });
  return r;
}

template <TypeCode A, TypeCode B, TypeCode R>
std::vector<T<R>> matmul_a21(const DopeVector<2> &a, const DopeVector<1> &b) {
  std::size_t m = count(a.extent[0]), kk = count(a.extent[1]), kb = count(b.extent[0]);
  std::vector<T<R>> r(m, T<R>{});
  if (kk == 0 || kb == 0) return r;
  for (std::size_t i = 0; i < m; ++i)
    r[i] = matmul_element<A, B, R>(
        kk, [&](std::size_t k) { return at<A>(a, i, k); },
        [&](std::size_t k) { return at<B>(b, k); });
  return r;
}

template <TypeCode A, TypeCode B, TypeCode R>
std::vector<T<R>> matmul_a22(const DopeVector<2> &a, const DopeVector<2> &b) {
  std::size_t m = count(a.extent[0]), kk = count(a.extent[1]);
  std::size_t kb = count(b.extent[0]), n = count(b.extent[1]);
  std::vector<T<R>> r(m * n, T<R>{});
  if (kk == 0 || kb == 0) return r;
  for (std::size_t j = 0; j < n; ++j)
    for (std::size_t i = 0; i < m; ++i)
      r[i + j * m] = matmul_element<A, B, R>(
          kk, [&](std::size_t k) { return at<A>(a, i, k); },
          [&](std::size_t k) { return at<B>(b, k, j); });
  return r;
}

} // namespace mox2::model
