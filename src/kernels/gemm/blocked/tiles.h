// The register tiles of the blocked real GEMM: one MR x NR block of C in
// registers over a block of l, in the column form (C, scaled by beta on
// the first block, += temp*A(i, l) in l order, zeros of b skipped) and in
// the dot form (temps from +0, += A(l, i)*b in l order, then alpha*temp
// or alpha*temp + beta*C).
#pragma once

#include <cstdint>

#include "frame/types.h"
#include "kernels/gemm/blocked/vector_policy.h"
#include "kernels/group_flags.h"

namespace mox2::kernels::blocked {
inline namespace MOX2_ISA_NAMESPACE {

// Asks for the cache lines of the next tile of C while this one computes
// (a hint: it reads nothing and never faults): every line of each
// column's MR values, which span one line more than they fill when C is
// not aligned to lines.
template <class V, int kVecs, int kNr>
__attribute__((always_inline)) inline void prefetch_tile(const typename V::T *c, Index ldc) {
  constexpr int kLine = 64 / int(sizeof(typename V::T)), MR = kVecs * V::kWidth;
#pragma GCC unroll 16
  for (int j = 0; j < kNr; ++j) {
#pragma GCC unroll 8
    for (int r = 0; r < MR; r += kLine)
      __builtin_prefetch(c + j * ldc + r, 1, 3);
    __builtin_prefetch(c + j * ldc + MR - 1, 1, 3);
  }
}

// Where a tile finds A: packed panels, or A itself (the direct form), with
// the last of the tile's vectors whole or holding only its first rows.
enum class ASource { packed, direct, direct_partial };

// One MR x NR tile of the column form over kc values of l.  ap holds
// kc groups of MR values of A (rows past the block's edge are zero), bp
// kc groups of NR values temp = alpha*b, and (kMasked) lp their flags
// "b != 0".  The tile's first rows x cols elements of C (ldc apart) are
// loaded (scaled by beta first when `start` says so), updated and stored.
// A tile may use fewer vectors (kVecs) than the panels were packed for
// (kPanel rows) when the block's last rows need no more.  A masked tile
// also takes `groups`, the groups l with a zero in increasing order, then
// kc (pack_b): the groups between them add unmasked without looking at
// their flags, a group of zeros adds nothing, the rest add under their
// flags.  Scattered zeros cost only where they are, and gathered ones skip
// whole groups (a triangular op(B) skips half its groups).
// kDirectB: temp for (l, j) is at bp[l*b_step + j*b_col] instead of in
// packed panels.  kA other than packed: group l of A is at ap + l*a_step
// (A in place), the last vector reading only the tile's rows when partial.
template <class V, int kVecs, int kNr, bool kMasked, int kPanel, bool kDirectB = false,
          ASource kA = ASource::packed>
__attribute__((always_inline)) inline void
column_tile(Index kc, const typename V::T *__restrict ap, const typename V::T *__restrict bp,
            const typename V::Live *__restrict lp, const std::int32_t *groups, Start start,
            typename V::T beta, typename V::T *c, Index ldc, int rows, int cols,
            const typename V::T *c_next, Index b_col = 1, Index b_step = kNr,
            Index a_step = kPanel) {
  using Vec = typename V::Vec;
  constexpr int W = V::kWidth;
  constexpr int MR = kVecs * W;
  Vec acc[kNr][kVecs];
  const bool full = rows == MR && cols == kNr;
  // Every loop over the accumulators has constant bounds and is unrolled,
  // so that they live in registers from start to end.
  if (start == Start::zero) {
#pragma GCC unroll 16
    for (int j = 0; j < kNr; ++j)
#pragma GCC unroll 8
      for (int v = 0; v < kVecs; ++v)
        acc[j][v] = V::zero();
  } else if (full) {
#pragma GCC unroll 16
    for (int j = 0; j < kNr; ++j)
#pragma GCC unroll 8
      for (int v = 0; v < kVecs; ++v)
        acc[j][v] = V::load(c + j * ldc + v * W);
  } else {
#pragma GCC unroll 16
    for (int j = 0; j < kNr; ++j)
#pragma GCC unroll 8
      for (int v = 0; v < kVecs; ++v) {
        int n = rows - v * W;
        acc[j][v] =
            j < cols && n > 0 ? V::load_first(c + j * ldc + v * W, n < W ? n : W) : V::zero();
      }
  }
  if (start == Start::scale_load) {
    Vec vb = V::set1(beta);
#pragma GCC unroll 16
    for (int j = 0; j < kNr; ++j)
#pragma GCC unroll 8
      for (int v = 0; v < kVecs; ++v)
        acc[j][v] = V::mul(vb, acc[j][v]);
  }
  prefetch_tile<V, kVecs, kNr>(c_next, ldc);
  // acc += temp*A for group l: every term, or (masked) the live ones, whose
  // flags are at lq.
  auto add_group = [&](auto masked, const typename V::Live *lq) __attribute__((always_inline)) {
    Vec a[kVecs];
#pragma GCC unroll 8
    for (int v = 0; v < kVecs; ++v)
      a[v] = kA == ASource::direct_partial && v == kVecs - 1
                 ? V::load_first(ap + v * W, rows - v * W)
                 : V::load(ap + v * W);
    const typename V::T *bq = decltype(masked)::value ? unmerged(bp) : bp;
#pragma GCC unroll 16
    for (int j = 0; j < kNr; ++j) {
      Vec b = kDirectB ? V::set1(load<typename V::T>(bq + j * b_col)) : V::set1(bq[j]);
      if constexpr (decltype(masked)::value) {
        const auto live = V::live(lq + j);
#pragma GCC unroll 8
        for (int v = 0; v < kVecs; ++v)
          acc[j][v] = V::add_where(acc[j][v], live, V::mul(b, a[v]));
      } else {
#pragma GCC unroll 8
        for (int v = 0; v < kVecs; ++v)
          acc[j][v] = V::add(acc[j][v], V::mul(b, a[v]));
      }
    }
  };
  auto next_group = [&]() __attribute__((always_inline)) {
    ap += kA == ASource::packed ? kPanel : a_step;
    bp += kDirectB ? b_step : kNr;
  };
  if constexpr (kMasked)
    add_masked_groups<typename V::Live, kNr>(kc, lp, groups, add_group, next_group);
  else
    for (Index l = 0; l < kc; ++l, next_group())
      add_group(std::false_type{}, lp);
  if (full) {
#pragma GCC unroll 16
    for (int j = 0; j < kNr; ++j)
#pragma GCC unroll 8
      for (int v = 0; v < kVecs; ++v)
        V::store(c + j * ldc + v * W, acc[j][v]);
  } else {
#pragma GCC unroll 16
    for (int j = 0; j < kNr; ++j)
#pragma GCC unroll 8
      for (int v = 0; v < kVecs; ++v) {
        const int n = j < cols ? rows - v * W : 0;
        if (n >= W)
          V::store(c + j * ldc + v * W, acc[j][v]);
        else if (n > 0)
          V::store_first(c + j * ldc + v * W, acc[j][v], n);
      }
  }
}

// One MR x NR tile of the dot form over kc values of l: the temps start at
// +0 (`first`) or from the workspace tile w (MR x NR, column-major), then
// go back to w, or (`last`) become C := alpha*temp (beta = 0, C unread) or
// alpha*temp + beta*C on the tile's first rows x cols elements of C.
// kDirect: B is read where it stands, op(B)(l, j) at bp[l*b_step +
// j*b_col] (a product with one panel of rows uses each value once, so
// packing would not repay), rather than from packed panels.
template <class V, int kVecs, int kNr, int kPanel, bool kDirect = false>
__attribute__((always_inline)) inline void
dot_tile(Index kc, const typename V::T *__restrict ap, const typename V::T *__restrict bp,
         bool first, bool last, typename V::T *__restrict w, typename V::T alpha,
         typename V::T beta, typename V::T *c, Index ldc, int rows, int cols,
         const typename V::T *c_next, Index b_col = 1, Index b_step = kNr) {
  using Vec = typename V::Vec;
  constexpr int W = V::kWidth;
  Vec acc[kNr][kVecs]; // in registers throughout: constant, unrolled loops
#pragma GCC unroll 16
  for (int j = 0; j < kNr; ++j)
#pragma GCC unroll 8
    for (int v = 0; v < kVecs; ++v)
      acc[j][v] = first ? V::zero() : V::load(w + j * kPanel + v * W);
  prefetch_tile<V, kVecs, kNr>(c_next, ldc);
  for (Index l = 0; l < kc; ++l) {
    Vec a[kVecs];
#pragma GCC unroll 8
    for (int v = 0; v < kVecs; ++v)
      a[v] = V::load(ap + v * W);
#pragma GCC unroll 16
    for (int j = 0; j < kNr; ++j) {
      Vec b = kDirect ? V::set1(load<typename V::T>(bp + j * b_col)) : V::set1(bp[j]);
#pragma GCC unroll 8
      for (int v = 0; v < kVecs; ++v)
        acc[j][v] = V::add(acc[j][v], V::mul(a[v], b));
    }
    ap += kPanel;
    bp += kDirect ? b_step : kNr;
  }
  if (!last) {
#pragma GCC unroll 16
    for (int j = 0; j < kNr; ++j)
#pragma GCC unroll 8
      for (int v = 0; v < kVecs; ++v)
        V::store(w + j * kPanel + v * W, acc[j][v]);
    return;
  }
  const Vec va = V::set1(alpha), vb = V::set1(beta);
  const bool read_c = !(beta == 0);
#pragma GCC unroll 16
  for (int j = 0; j < kNr; ++j)
#pragma GCC unroll 8
    for (int v = 0; v < kVecs; ++v) {
      const int n = j < cols ? rows - v * W : 0;
      if (n <= 0) continue;
      typename V::T *cp = c + j * ldc + v * W;
      Vec r = V::mul(va, acc[j][v]);
      if (n >= W) {
        if (read_c) r = V::add(r, V::mul(vb, V::load(cp)));
        V::store(cp, r);
      } else {
        if (read_c) r = V::add(r, V::mul(vb, V::load_first(cp, n)));
        V::store_first(cp, r, n);
      }
    }
}

} // namespace MOX2_ISA_NAMESPACE
} // namespace mox2::kernels::blocked
