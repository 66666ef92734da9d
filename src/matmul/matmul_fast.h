// MATMUL of a matrix by a matrix (a22) or by a vector (a21) for operands of
// one REAL or COMPLEX type of kind 4 or 8, handed to the library's GEMM and
// GEMV entry points with alpha = 1 and beta = 0 (the alignment-safe
// kernels for REAL(8) and COMPLEX(8) data not 8-byte aligned).  Operands the
// BLAS conventions cannot describe are first copied, column by column, into
// contiguous temporaries that are freed before return.  Extents past the
// BLAS's 32-bit integers take the pair's generic loop instead.
#pragma once

#include "frame/dope.h"

namespace mox2 {

template <TypeCode A, TypeCode B> struct MatmulFastPath;

#define MOX2_DECLARE_MATMUL_FAST_(t)                                                               \
  template <> struct MatmulFastPath<TypeCode::t, TypeCode::t> {                                    \
    static void a21(DopeVector<1> *result, const DopeVector<2> *a, const DopeVector<1> *x);        \
    static void a22(DopeVector<2> *result, const DopeVector<2> *a, const DopeVector<2> *b);        \
  };
MOX2_DECLARE_MATMUL_FAST_(r4)
MOX2_DECLARE_MATMUL_FAST_(r8)
MOX2_DECLARE_MATMUL_FAST_(c8)
MOX2_DECLARE_MATMUL_FAST_(c16)
#undef MOX2_DECLARE_MATMUL_FAST_

} // namespace mox2
