// Element access and complex products shared by the BLAS-convention
// kernels.
//
// A vector is (address of its lowest-addressed element, count, increment);
// `first_element` gives the element the traversal starts from (the highest-
// addressed one for a negative increment), after which every step adds the
// increment.  The element access policies say what the kernel may assume
// about alignment: `NaturalAccess` dereferences (the ordinary kernels, data
// aligned to its element size), `Bytewise4Access` moves every value with
// memcpy (the _don kernels, data only 4-byte aligned), so the compiler
// never emits an access that needs more alignment than the data has.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/isa_namespace.h"
#include "kernels/kernels.h"

namespace mox2::kernels {
inline namespace MOX2_ISA_NAMESPACE {

template <class T> inline T *first_element(T *x, std::int32_t n, std::int32_t inc) {
  return inc < 0 && n > 0
             ? x + static_cast<std::ptrdiff_t>(n - 1) * -static_cast<std::ptrdiff_t>(inc)
             : x;
}

struct NaturalAccess {
  template <class T> static T ld(const T *p) { return *p; }
  template <class T> static void st(T *p, const T &v) { *p = v; }
};

struct Bytewise4Access {
  template <class T> static T ld(const T *p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  template <class T> static void st(T *p, const T &v) { std::memcpy(p, &v, sizeof v); }
  // Complex values part by part (the vectoriser handles parts, not pairs).
  // (No member access through p: it may be under-aligned.)
  template <class P> static Complex<P> ld(const Complex<P> *p) {
    const char *b = reinterpret_cast<const char *>(p);
    Complex<P> v;
    std::memcpy(&v.re, b, sizeof(P));
    std::memcpy(&v.im, b + sizeof(P), sizeof(P));
    return v;
  }
  template <class P> static void st(Complex<P> *p, const Complex<P> &v) {
    char *b = reinterpret_cast<char *>(p);
    std::memcpy(b, &v.re, sizeof(P));
    std::memcpy(b + sizeof(P), &v.im, sizeof(P));
  }
};

// The real kernels take 'N' or 'n' (the first byte with its 0x20 bit set
// compared with 'n') as A and every other letter as A^T.
inline bool real_transposed(const char *letter) { return (*letter | 0x20) != 'n'; }

// The option letters the alignment-safe kernels accept.
inline bool valid_letter(char c) {
  return c == 'N' || c == 'n' || c == 'T' || c == 't' || c == 'C' || c == 'c';
}

// (a + ib)(c + id) = (ac - bd) + i(ad + bc) in the parts' own precision.
template <class P> inline Complex<P> mul(Complex<P> u, Complex<P> v) {
  return {u.re * v.re - u.im * v.im, u.re * v.im + u.im * v.re};
}
// COMPLEX(4) product in the exact form: ac, bd, ad, bc exact in double,
// the difference and the sum in double, each part rounded once to single.
inline c8 mul_exact(c8 u, c8 v) {
  double a = u.re, b = u.im, c = v.re, d = v.im;
  return {static_cast<float>(a * c - b * d), static_cast<float>(a * d + b * c)};
}
template <class P> inline Complex<P> add(Complex<P> u, Complex<P> v) {
  return {u.re + v.re, u.im + v.im};
}
template <class P> inline Complex<P> conj(Complex<P> u) { return {u.re, -u.im}; }

} // namespace MOX2_ISA_NAMESPACE
} // namespace mox2::kernels
