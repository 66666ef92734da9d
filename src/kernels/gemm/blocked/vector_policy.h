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
// transposing copy of eight rows ld apart), transposed_square(src, ld, p)
// (p[t], lane s := src[s*ld + t] for s, t < kTransposeStep, in registers),
// transposed_part(src, ld, cols, rows, p) (the same with the lanes s >=
// cols and the vectors t >= rows +0; nothing past them read), and lane
// picks: Perm,
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
#include "runtime/cache_sizes.h"

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

// The blocks of a product on this machine's caches: kc values of l (with
// kc_from_l1, so that one tile's panels of A and B, kc x (MR + NR) values,
// fill three quarters of the first-level data cache: the panel of B stays
// there while tiles of A stream past it); mc rows of A, so that a block
// of A (mc x kc) fills half the second level; nc columns of B, so that a
// block of B (kc x nc) fills half this core's share of the third level,
// at most the set's nc.  The share counts as at most four times the second
// level: a larger one is a virtual machine's report of the whole level, or
// a share that other cores' work contends for, and a block of B cut for it
// falls out of cache (each block of A then streams B from memory).  An
// operand of at most half the second level counts as staying in cache.
// The direct column form reads an A of at most direct_a_bytes in place:
// in_cache_bytes, or with direct_a_in_l1 less than the first level (the
// bytes of one tile's panels over kc values of l where its size is
// unknown).  Where a cache's size is unknown, the set's own sizes
// (GemmShape) stand.  Blocks change speed only: every form keeps each
// element's order whatever its blocks.
struct Blocks {
  Index kc, mc, nc;
  std::size_t in_cache_bytes, direct_a_bytes;
};
template <class V> Blocks blocks_of() {
  using T = typename V::T;
  constexpr GemmShape S = V::kShape;
  constexpr Index MR = S.vecs * V::kWidth, NR = S.nr, kStep = 16;
  const CacheSizes caches = cache_sizes();
  Blocks b{S.kc, S.mc, S.nc, S.in_cache_bytes, 0};
  if (S.kc_from_l1 && caches.l1d > 0) {
    b.kc = Index(caches.l1d * 3 / 4 / ((MR + NR) * sizeof(T))) / kStep * kStep;
    if (b.kc < kStep) b.kc = kStep;
  }
  if (caches.l2 > 0) {
    b.mc = Index(caches.l2 / 2 / (std::size_t(b.kc) * sizeof(T))) / MR * MR;
    if (b.mc < MR) b.mc = MR;
    b.in_cache_bytes = caches.l2 / 2;
  }
  std::size_t l3 = caches.l3_share;
  if (caches.l2 > 0 && (l3 == 0 || l3 > 4 * caches.l2)) l3 = 4 * caches.l2;
  if (l3 > 0) {
    const Index nc = Index(l3 / 2 / (std::size_t(b.kc) * sizeof(T))) / NR * NR;
    b.nc = nc < NR ? NR : nc < S.nc ? nc : S.nc;
  }
  b.direct_a_bytes = !S.direct_a_in_l1 ? b.in_cache_bytes
                     : caches.l1d > 0  ? caches.l1d - 1
                                       : std::size_t(b.kc * (MR + NR)) * sizeof(T);
  return b;
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
