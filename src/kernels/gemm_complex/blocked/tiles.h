// The register tiles of the blocked complex forms: vecs*kWidth rows by kCols
// columns of C held with real and imaginary parts apart, each term
// t*A = (t.re*a.re - t.im*a.im) + i(t.re*a.im + t.im*a.re) added in l
// order (with op(B) = B^H, only where B(j, l) is not zero).
#pragma once

#ifndef MOX2_KERNEL_SET
#error "define MOX2_KERNEL_SET before including gemm_complex/blocked/tiles.h"
#endif

#include <cstddef>
#include <cstdint>

#include "kernels/gemm_complex/blocked/lanes.h"
#include "kernels/group_flags.h"

namespace mox2::kernels::MOX2_KERNEL_SET {
namespace {

// The tile at c (parts, leading dimension ldc2 in parts): for l = 0..kc-1,
// C(i, j) += t(l, j)*A(i, l); with `zero_start` C is taken as +0 and not
// read.  kVecs = 1 on a strip of two vectors runs its first kWidth rows
// only (the packed strip keeps its full layout), for a block whose last
// rows fill half a tile.  c_next, when not null, is the next tile's place
// (same ldc2): its cache lines are asked for while this tile computes (a
// hint that reads nothing and never faults).  kMasked: lp holds a flag per
// packed t(l, j), groups the groups l with a term whose b(l, j) is zero
// (flag_terms), and such a term is skipped (not added at all): the groups
// between the listed ones add unmasked, a group of such terms only adds
// nothing, the rest add under their flags.
template <class L, int kVecs = L::kShape.vecs, bool kMasked = false>
void tile(Index kc, const typename L::P *__restrict ap, const typename L::P *__restrict bp,
          typename L::P *c, Index ldc2, bool zero_start = false,
          const typename L::P *c_next = nullptr, const typename L::Live *__restrict lp = nullptr,
          const std::int32_t *groups = nullptr) {
  constexpr int kStripVecs = L::kShape.vecs; // vectors of parts per packed l
  static_assert(kStripVecs == 1 || kStripVecs == 2);
  static_assert(kVecs >= 1 && kVecs <= kStripVecs);
  using V = typename L::V;
  constexpr int W = L::kWidth;
  if (c_next) {
    // Every line the next tile's columns touch, the last too when they
    // do not start on a line.
    constexpr int kLine = 64 / int(sizeof(typename L::P)), kParts = 2 * kVecs * W;
    for (int j = 0; j < L::kCols; ++j) {
      for (int r = 0; r < kParts; r += kLine)
        __builtin_prefetch(c_next + j * ldc2 + r, 1, 3);
      __builtin_prefetch(c_next + j * ldc2 + kParts - 1, 1, 3);
    }
  }
  // The accumulators stay in registers throughout: every loop over them
  // is unrolled.
  V re0[L::kCols], re1[L::kCols], im0[L::kCols], im1[L::kCols];
#pragma GCC unroll 16
  for (int j = 0; j < L::kCols; ++j) {
    if (zero_start) {
      const typename L::P zero = 0;
      re0[j] = im0[j] = L::broadcast(&zero);
      if constexpr (kVecs == 2) re1[j] = im1[j] = re0[j];
      continue;
    }
    const typename L::P *cj = c + j * ldc2;
    V v0 = L::load(cj), v1 = L::load(cj + W);
    re0[j] = L::reals(v0, v1);
    im0[j] = L::imags(v0, v1);
    if constexpr (kVecs == 2) {
      V v2 = L::load(cj + 2 * W), v3 = L::load(cj + 3 * W);
      re1[j] = L::reals(v2, v3);
      im1[j] = L::imags(v2, v3);
    }
  }
  auto add_group = [&](auto masked, const typename L::Live *lq) __attribute__((always_inline)) {
    V ar0 = L::load(ap), ai0 = L::load(ap + kStripVecs * W), ar1, ai1;
    if constexpr (kVecs == 2) ar1 = L::load(ap + W), ai1 = L::load(ap + 3 * W);
    const auto *bq = decltype(masked)::value ? unmerged(bp) : bp;
#pragma GCC unroll 16
    for (int j = 0; j < L::kCols; ++j) {
      V tr = L::broadcast(bq + j), ti = L::broadcast(bq + L::kCols + j);
      if constexpr (decltype(masked)::value) {
        const auto live = L::live(lq + j);
        re0[j] = L::add_where(re0[j], live, L::sub(L::mul(tr, ar0), L::mul(ti, ai0)));
        im0[j] = L::add_where(im0[j], live, L::add(L::mul(tr, ai0), L::mul(ti, ar0)));
        if constexpr (kVecs == 2) {
          re1[j] = L::add_where(re1[j], live, L::sub(L::mul(tr, ar1), L::mul(ti, ai1)));
          im1[j] = L::add_where(im1[j], live, L::add(L::mul(tr, ai1), L::mul(ti, ar1)));
        }
      } else {
        re0[j] = L::add(re0[j], L::sub(L::mul(tr, ar0), L::mul(ti, ai0)));
        im0[j] = L::add(im0[j], L::add(L::mul(tr, ai0), L::mul(ti, ar0)));
        if constexpr (kVecs == 2) {
          re1[j] = L::add(re1[j], L::sub(L::mul(tr, ar1), L::mul(ti, ai1)));
          im1[j] = L::add(im1[j], L::add(L::mul(tr, ai1), L::mul(ti, ar1)));
        }
      }
    }
  };
  auto next_group = [&]() __attribute__((always_inline)) {
    ap += 2 * kStripVecs * W;
    bp += 2 * L::kCols;
  };
  // A set may give the unmasked one-vector loop its own code (lanes.h).
  constexpr bool kTermLoop = kVecs == 1 && requires(V(&acc)[L::kCols]) {
    L::add_terms(kc, ap, bp, acc, acc);
  };
  if constexpr (kMasked)
    add_masked_groups<typename L::Live, L::kCols>(kc, lp, groups, add_group, next_group);
  else if constexpr (kTermLoop)
    L::add_terms(kc, ap, bp, re0, im0);
  else
    for (Index l = 0; l < kc; ++l, next_group())
      add_group(std::false_type{}, lp);
#pragma GCC unroll 16
  for (int j = 0; j < L::kCols; ++j) {
    typename L::P *cj = c + j * ldc2;
    L::store(cj, L::low_half(re0[j], im0[j]));
    L::store(cj + W, L::high_half(re0[j], im0[j]));
    if constexpr (kVecs == 2) {
      L::store(cj + 2 * W, L::low_half(re1[j], im1[j]));
      L::store(cj + 3 * W, L::high_half(re1[j], im1[j]));
    }
  }
}

// The tile for the strip's first `rows` rows: half a tile when they fit.
template <class L>
void strip_tile(Index rows, Index kc, const typename L::P *ap, const typename L::P *bp,
                typename L::P *c, Index ldc2, bool zero_start = false,
                const typename L::P *c_next = nullptr, const typename L::Live *lp = nullptr,
                const std::int32_t *groups = nullptr) {
  constexpr int kStripVecs = L::kShape.vecs;
  if (kStripVecs == 1 || rows <= L::kWidth) {
    if (lp)
      tile<L, 1, true>(kc, ap, bp, c, ldc2, zero_start, c_next, lp, groups);
    else
      tile<L, 1>(kc, ap, bp, c, ldc2, zero_start, c_next);
  } else if (lp) {
    tile<L, kStripVecs, true>(kc, ap, bp, c, ldc2, zero_start, c_next, lp, groups);
  } else {
    tile<L, kStripVecs>(kc, ap, bp, c, ldc2, zero_start, c_next);
  }
}

// A tile of which only rows x cols elements belong to C: run in a copy.
template <class L>
void edge_tile(Index rows, Index cols, Index kc, const typename L::P *ap, const typename L::P *bp,
               typename L::P *c, Index ldc2, bool zero_start, const typename L::Live *lp,
               const std::int32_t *groups) {
  constexpr Index R = tile_rows<L>();
  alignas(64) typename L::P local[2 * R * L::kCols] = {};
  for (Index j = 0; j < cols && !zero_start; ++j)
    for (Index i = 0; i < 2 * rows; ++i)
      local[j * 2 * R + i] = c[j * ldc2 + i];
  strip_tile<L>(rows, kc, ap, bp, local, 2 * R, false, nullptr, lp, groups);
  for (Index j = 0; j < cols; ++j)
    for (Index i = 0; i < 2 * rows; ++i)
      c[j * ldc2 + i] = local[j * 2 * R + i];
}

} // namespace
} // namespace mox2::kernels::MOX2_KERNEL_SET
