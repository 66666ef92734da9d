// DOT_PRODUCT of two operands of one REAL or COMPLEX type of kind 4 or 8,
// handed to the level-1 dot kernels: sum of x(k)*y(k) (conjg(x(k))*y(k) for
// COMPLEX) in the kernel's order.  REAL(8) and COMPLEX(8) operands whose
// start addresses are not both multiples of 8 go to the alignment-safe
// kernels, whose order differs.  Counts and strides past the kernels'
// 32-bit integers take the generic loop of the pair instead.
#pragma once

#include "frame/dope.h"

namespace mox2 {

template <TypeCode A, TypeCode B> struct DotprodFastPath;

#define MOX2_DECLARE_DOTPROD_FAST_(t)                                                              \
  template <> struct DotprodFastPath<TypeCode::t, TypeCode::t> {                                   \
    static ElementType<TypeCode::t> run(const DopeVector<1> *a, const DopeVector<1> *b);           \
  };
MOX2_DECLARE_DOTPROD_FAST_(r4)
MOX2_DECLARE_DOTPROD_FAST_(r8)
MOX2_DECLARE_DOTPROD_FAST_(c8)
MOX2_DECLARE_DOTPROD_FAST_(c16)
#undef MOX2_DECLARE_DOTPROD_FAST_

} // namespace mox2
