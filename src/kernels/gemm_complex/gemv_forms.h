// The product forms of the complex GEMV kernels' columns, which the complex
// GEMM kernels reproduce for op(B) = B or B^T: `lone` for the lone leading
// column of an odd count (COMPLEX(4): the exact form), `pair` for the
// columns taken in pairs (the parts' own precision).
#pragma once

#include "kernels/blas_access.h"

namespace mox2::kernels {
inline namespace MOX2_ISA_NAMESPACE {

template <class C> struct GemvForms;
template <> struct GemvForms<c8> {
  static c8 lone(c8 u, c8 v) { return mul_exact(u, v); }
  static c8 pair(c8 u, c8 v) { return mul(u, v); }
};
template <> struct GemvForms<c16> {
  static c16 lone(c16 u, c16 v) { return mul(u, v); }
  static c16 pair(c16 u, c16 v) { return mul(u, v); }
};

} // namespace MOX2_ISA_NAMESPACE
} // namespace mox2::kernels
