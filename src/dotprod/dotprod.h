// DOT_PRODUCT of two rank-one arrays, one template per operand class pair,
// instantiated for every ordered pair of element types.
//
// Per element k = 0, 1, ..., n-1, in that order, with x from VECTOR_A and y
// from VECTOR_B, one accumulator per part starting at zero:
//   INTEGER pairs     acc += x*y in 32-bit (64-bit when either is i8), wrapping
//   INTEGER/REAL      acc += c(x)*c(y) in the wider REAL (integers rounded once)
//   COMPLEX x COMPLEX re += xr*yr + xi*yi; im += xr*yi - xi*yr (x conjugated)
//   COMPLEX x other   re += r(c(xr)*c(y)); im += r(c(xi)*(-c(y)))
//   other x COMPLEX   re += r(c(x)*c(yr)); im += r(c(x)*c(yi))
// where c() converts to the wider of the two precisions and r() rounds the
// product to the COMPLEX part precision, in which the sums are kept.
// LOGICAL pairs: 1 at the first k where the AND of the sign-extended values
// is nonzero (nothing after it is read), else 0.
// An extent of 0 in either operand gives zero; otherwise only VECTOR_A's
// extent is used.
#pragma once

#include <cstdint>
#include <type_traits>

#include "frame/dope.h"
#include "frame/errors.h"
#include "matmul/element.h"
#include "matmul/promotion.h"

namespace mox2 {

// Specialised by the fast path for the pairs has_fast_path() names.
template <TypeCode A, TypeCode B> struct DotprodFastPath;

namespace dotprod {

// Walks a rank-one operand: element k at base + k*stride.
template <TypeCode C> struct Walk {
  using T = ElementType<C>;
  const char *p;
  std::intptr_t stride;
  T next() {
    T v = load<T>(p);
    p += stride;
    return v;
  }
};

// The sum over k of the contributions of one class pair; Acc is the result
// type (its part type for COMPLEX).
template <TypeCode A, TypeCode B, TypeCode R> struct Sum;

// INTEGER x INTEGER: wrapping products and sums in the working width.
template <TypeCode A, TypeCode B, TypeCode R>
requires(is_integer<A> &&is_integer<B>) struct Sum<A, B, R> {
  using W = IntegerWork<A, B>;
  using Result = ElementType<R>;
  template <class WA, class WB> static Result run(WA a, WB b, std::size_t n) {
    W acc = 0;
    std::size_t k = 0;
    for (; k + 3 <= n; k += 3) {
      acc += widen_integer<W>(a.next()) * widen_integer<W>(b.next());
      acc += widen_integer<W>(a.next()) * widen_integer<W>(b.next());
      acc += widen_integer<W>(a.next()) * widen_integer<W>(b.next());
    }
    for (; k < n; ++k)
      acc += widen_integer<W>(a.next()) * widen_integer<W>(b.next());
    return static_cast<Result>(acc);
  }
};

// INTEGER or REAL with INTEGER or REAL (not both INTEGER): products in the
// wider precision, which is the result's.
template <TypeCode A, TypeCode B, TypeCode R>
requires((is_real<A> || is_real<B>)&&!is_complex<A> && !is_complex<B> && !is_logical<A> &&
         !is_logical<B>) struct Sum<A, B, R> {
  using P = ElementType<R>;
  template <class WA, class WB> static P run(WA a, WB b, std::size_t n) {
    P acc = 0;
    std::size_t k = 0;
    for (; k + 4 <= n; k += 4) {
      acc += static_cast<P>(a.next()) * static_cast<P>(b.next());
      acc += static_cast<P>(a.next()) * static_cast<P>(b.next());
      acc += static_cast<P>(a.next()) * static_cast<P>(b.next());
      acc += static_cast<P>(a.next()) * static_cast<P>(b.next());
    }
    for (; k < n; ++k)
      acc += static_cast<P>(a.next()) * static_cast<P>(b.next());
    return acc;
  }
};

// The complex accumulation shared by the three complex classes: one
// accumulator per part from zero, Step::step adding element k's
// contribution in the order k = 0, 1, ..., n-1 (unrolled by two).
template <class Step, TypeCode R> struct ComplexSum {
  template <class WA, class WB> static ElementType<R> run(WA a, WB b, std::size_t n) {
    Part<ElementType<R>> re = 0, im = 0;
    std::size_t k = 0;
    for (; k + 2 <= n; k += 2) {
      Step::step(re, im, a.next(), b.next());
      Step::step(re, im, a.next(), b.next());
    }
    for (; k < n; ++k)
      Step::step(re, im, a.next(), b.next());
    return {re, im};
  }
};

// COMPLEX x COMPLEX: conj(x)*y in the wider part precision.
template <TypeCode A, TypeCode B, TypeCode R>
requires(is_complex<A> &&is_complex<B>) struct Sum<A, B, R>
    : ComplexSum<Sum<A, B, R>, R> {
  using P = Part<ElementType<R>>;
  static void step(P &re, P &im, ElementType<A> x, ElementType<B> y) {
    P xr = static_cast<P>(x.re), xi = static_cast<P>(x.im);
    P yr = static_cast<P>(y.re), yi = static_cast<P>(y.im);
    P t_re = xr * yr + xi * yi;
    P t_im = xr * yi - xi * yr;
    re += t_re;
    im += t_im;
  }
};

// The precision of a product of a COMPLEX part of type P with a value of
// class/type T: the wider of the two (INTEGER values go to P).
template <class P, TypeCode C>
using ProductPrecision =
    std::conditional_t<is_real<C> && (sizeof(ElementType<C>) > sizeof(P)), ElementType<C>, P>;

// COMPLEX x INTEGER or REAL: x conjugated, y real.
template <TypeCode A, TypeCode B, TypeCode R>
requires(is_complex<A> && (is_integer<B> || is_real<B>)) struct Sum<A, B, R>
    : ComplexSum<Sum<A, B, R>, R> {
  using P = Part<ElementType<R>>;
  using Q = ProductPrecision<P, B>;
  static void step(P &re, P &im, ElementType<A> x, ElementType<B> y) {
    Q cy = static_cast<Q>(y);
    re += static_cast<P>(static_cast<Q>(x.re) * cy);
    im += static_cast<P>(static_cast<Q>(x.im) * -cy);
  }
};

// INTEGER or REAL x COMPLEX: nothing conjugated.
template <TypeCode A, TypeCode B, TypeCode R>
requires((is_integer<A> || is_real<A>)&&is_complex<B>) struct Sum<A, B, R>
    : ComplexSum<Sum<A, B, R>, R> {
  using P = Part<ElementType<R>>;
  using Q = ProductPrecision<P, A>;
  static void step(P &re, P &im, ElementType<A> x, ElementType<B> y) {
    Q cx = static_cast<Q>(x);
    re += static_cast<P>(cx * static_cast<Q>(y.re));
    im += static_cast<P>(cx * static_cast<Q>(y.im));
  }
};

// LOGICAL x LOGICAL: AND scan with early exit.
template <TypeCode A, TypeCode B, TypeCode R>
requires(is_logical<A> &&is_logical<B>) struct Sum<A, B, R> {
  template <class WA, class WB> static ElementType<R> run(WA a, WB b, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k)
      if (logical_pair_true(a.next(), b.next())) return 1;
    return 0;
  }
};

template <TypeCode A, TypeCode B, TypeCode R>
ElementType<R> compute(const DopeVector<1> *a, const DopeVector<1> *b) {
  if (a->base == nullptr || b->base == nullptr) __f_unassociated_array();
  std::size_t n = extent_count(a->extent[0]);
  if (n == 0 || extent_count(b->extent[0]) == 0) return ElementType<R>{};
  const char *pa = static_cast<const char *>(a->base);
  const char *pb = static_cast<const char *>(b->base);
  std::intptr_t sa = a->stride[0], sb = b->stride[0];
  using TA = ElementType<A>;
  using TB = ElementType<B>;
  // Contiguous operands get a copy of the loop with constant strides, which
  // the compiler can turn into wide loads (INTEGER sums may be vectorised;
  // they wrap, so their order does not show).
  if (sa == sizeof(TA) && sb == sizeof(TB)) {
    struct ContiguousA {
      const char *p;
      TA next() {
        TA v = load<TA>(p);
        p += sizeof(TA);
        return v;
      }
    };
    struct ContiguousB {
      const char *p;
      TB next() {
        TB v = load<TB>(p);
        p += sizeof(TB);
        return v;
      }
    };
    return Sum<A, B, R>::run(ContiguousA{pa}, ContiguousB{pb}, n);
  }
  return Sum<A, B, R>::run(Walk<A>{pa, sa}, Walk<B>{pb, sb}, n);
}

} // namespace dotprod

// The DOT_PRODUCT entry of one ordered pair; the complex members write their
// result once, through `result`.
template <TypeCode A, TypeCode B, TypeCode R>
ElementType<R> dotprod_entry(const DopeVector<1> *a, const DopeVector<1> *b) {
  if constexpr (has_fast_path(A, B))
    return DotprodFastPath<A, B>::run(a, b);
  else
    return dotprod::compute<A, B, R>(a, b);
}

} // namespace mox2

#include "dotprod/dotprod_fast.h"

// Entry-point definitions, for X(a, b, r) of MOX2_DOTPROD_PAIRS: complex
// results go through the hidden result address (4-byte aligned), the others
// are the function value.
#define MOX2_DOTPROD_CALL_(ta, tb, tr)                                                             \
  mox2::dotprod_entry<mox2::TypeCode::ta, mox2::TypeCode::tb, mox2::TypeCode::tr>(a, b)
#define MOX2_DOTPROD_BY_VALUE_BODY_(ta, tb, tr)                                                    \
  { return MOX2_DOTPROD_CALL_(ta, tb, tr); }
#define MOX2_DOTPROD_BY_ADDRESS_BODY_(ta, tb, tr)                                                  \
  { mox2::store(result, MOX2_DOTPROD_CALL_(ta, tb, tr)); }
#define MOX2_DOTPROD_BODY_i4 MOX2_DOTPROD_BY_VALUE_BODY_
#define MOX2_DOTPROD_BODY_i8 MOX2_DOTPROD_BY_VALUE_BODY_
#define MOX2_DOTPROD_BODY_r4 MOX2_DOTPROD_BY_VALUE_BODY_
#define MOX2_DOTPROD_BODY_r8 MOX2_DOTPROD_BY_VALUE_BODY_
#define MOX2_DOTPROD_BODY_r16 MOX2_DOTPROD_BY_VALUE_BODY_
#define MOX2_DOTPROD_BODY_c8 MOX2_DOTPROD_BY_ADDRESS_BODY_
#define MOX2_DOTPROD_BODY_c16 MOX2_DOTPROD_BY_ADDRESS_BODY_
#define MOX2_DOTPROD_BODY_c32 MOX2_DOTPROD_BY_ADDRESS_BODY_
#define MOX2_DEFINE_DOTPROD(ta, tb, tr)                                                            \
  MOX2_DOTPROD_SIGNATURE(ta, tb, tr) MOX2_DOTPROD_BODY_##tr(ta, tb, tr)
