// The vector-instruction policy V over which the blocked real GEMM
// (driver.h) is written once, and what all its forms share.  Each SIMD
// kernel set defines V in its GEMM source (avx2/, avx512/) and compiles
// the blocked GEMM for it.
//
// V provides: T, Vec, Mask, kWidth, zero, set1, load, load_first(p, n),
// store, store_first(p, v, n) (the first n lanes only, nothing else read
// or written), mul, add, nonzero(b), zero_lanes(b) (bit s set
// where lane s is zero), add_where(acc, mask, p), Live (a
// flag: all bits set or none) and live(const Live *) (its mask); and it
// may provide kTransposeStep and transpose_rows(src, ld, dst, dst_ld):
// dst[t*dst_ld + s] := src[s*ld + t], s < 8, t < kTransposeStep (a
// transposing copy of eight rows ld apart), and lane picks: Perm,
// perm(lanes) (from kWidth ints), select2(a, idx, b) (lane p := lane
// idx[p] of a and b side by side), blend(k, a, b) (b where k is set) and
// step(idx) (every index plus one).
//
// V::kShape is the set's GemmShape (kernels/kernel_set.h): its tiles,
// blocks and shape thresholds for V::T.
#pragma once

#include <cstddef>
#include <type_traits>

#include "frame/isa_namespace.h"
#include "kernels/kernel_set.h"

namespace mox2::kernels::blocked {
inline namespace MOX2_ISA_NAMESPACE {

using Index = std::ptrdiff_t;

// How a tile's accumulators start and end.
enum class Start { load, zero, scale_load };

// The column form's start for a block of l: C as left by the block before,
// or for the first block +0 (beta = 0, C unread), C (beta = 1) or beta*C.
template <class T> Start start_of(bool first_block, T beta) {
  return !first_block   ? Start::load
         : beta == T(0) ? Start::zero
         : beta == T(1) ? Start::load
                        : Start::scale_load;
}

// f(std::integral_constant<int, v>) for v = vecs, one of 1..kVecs (a
// block's last tile uses only the vectors its rows need).
template <int kVecs, class F>
__attribute__((always_inline)) inline void with_vector_count(int vecs, F &&f) {
  if (vecs == kVecs)
    f(std::integral_constant<int, kVecs>{});
  else if (vecs == 1)
    f(std::integral_constant<int, 1>{});
  else if constexpr (kVecs > 2)
    f(std::integral_constant<int, 2>{});
}

} // namespace MOX2_ISA_NAMESPACE
} // namespace mox2::kernels::blocked
