// Element arithmetic shared by DOT_PRODUCT and MATMUL: the precision a
// product is formed in, conversions that round once, wrapping integer
// arithmetic and the LOGICAL test.
#pragma once

#include <cstdint>
#include <type_traits>

#include "frame/types.h"

namespace mox2 {

// The REAL type of a precision given by its kind (4, 8, 16).
template <int Kind> struct RealOfKind;
template <> struct RealOfKind<4> { using type = float; };
template <> struct RealOfKind<8> { using type = double; };
template <> struct RealOfKind<16> { using type = mox2_r16; };
template <int Kind> using Real = typename RealOfKind<Kind>::type;

// INTEGER products and sums wrap: they are formed in the unsigned type of the
// working width, 32 bits, or 64 when either operand is i8.
template <TypeCode A, TypeCode B>
using IntegerWork = std::conditional_t<Element<A>::kind == 8 || Element<B>::kind == 8,
                                       std::uint64_t, std::uint32_t>;

// An INTEGER value sign-extended to the working width W (unsigned).
template <class W, class T> inline W widen_integer(T v) {
  return static_cast<W>(static_cast<std::make_signed_t<W>>(v));
}

// A LOGICAL value read as a signed integer of its size and sign-extended; a
// pair counts as true when the AND of the two values is nonzero (extending
// both to 64 bits gives the same answer as extending the narrower to the
// wider width).
template <class TA, class TB> inline bool logical_pair_true(TA x, TB y) {
  return (static_cast<std::int64_t>(x) & static_cast<std::int64_t>(y)) != 0;
}

} // namespace mox2
