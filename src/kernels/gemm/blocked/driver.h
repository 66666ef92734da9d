// The real GEMM block (gemm/gemm_block.h) as a packed, cache-blocked
// product with register-blocked tiles, written once over a
// vector-instruction policy V (vector_policy.h) and compiled by each SIMD
// kernel set (avx2/, avx512/).
//
// Every element of C keeps the reference order:
//   - column form: C(i, j) is scaled by beta (zero for beta = 0, C unread),
//     then accumulates temp*A(i, l) for l = 1..k in order, temp = alpha*b,
//     b = op(B)(l, j), skipping every l whose b is zero (+0 or -0);
//   - dot form: temp(i, j) starts at +0 and accumulates A(l, i)*b for
//     l = 1..k in order; then C(i, j) := alpha*temp, or
//     alpha*temp + beta*C(i, j).
// The work is cut into blocks of kKc values of l (C, or the dot form's
// temps in workspace, is stored after one block and loaded before the
// next), of kMc rows of A and kNc columns of B; each block of op(A) is
// packed in panels of MR rows and each block of op(B) in panels of NR
// columns.  A tile of MR x NR elements of C lives in registers over one
// block of l.  Column-form panels of B hold temp = alpha*b; panels without
// a zero take the unmasked tile, panels with one keep a flag per value
// ("b != 0") beside it, and their tile adds each group l of terms
// unmasked when none of its b is zero, not at all when every one is, and
// otherwise each term under its flag.
// A block with skip_zeros = false adds every term: all panels are plain.
//
// The driver below chooses the form for the shape: nothing to accumulate,
// small products and short depths (small_shapes.h), few rows and columns
// (pair_lanes.h), few rows (few_rows.h), A read in place (direct_columns.h),
// or the packed tiles (packing.h, tiles.h).
#pragma once

#include <cstddef>

#include "kernels/blocks.h"
#include "kernels/gemm/blocked/direct_columns.h"
#include "kernels/gemm/blocked/few_rows.h"
#include "kernels/gemm/blocked/packing.h"
#include "kernels/gemm/blocked/pair_lanes.h"
#include "kernels/gemm/blocked/small_shapes.h"
#include "kernels/gemm/blocked/tiles.h"
#include "kernels/gemm/blocked/vector_policy.h"
#include "runtime/scratch.h"

namespace mox2::kernels::blocked {
inline namespace MOX2_ISA_NAMESPACE {

// The whole GEMM block.  Returns false, with nothing read or written,
// when its workspace cannot be had.
template <class V> bool gemm(const GemmBlock<typename V::T> &g) {
  using T = typename V::T;
  constexpr GemmShape S = V::kShape;
  constexpr int kVecs = S.vecs, kNr = S.nr;
  static_assert(kVecs >= 1 && kVecs <= 3, "tiles of one, two or three vectors");
  static_assert(S.short_depth <= 8, "short-depth forms up to eight values of l");
  constexpr Index MR = kVecs * V::kWidth;
  const Index m = g.m, n = g.n, k = g.k;
  if (m <= 0 || n <= 0) return true;
  if (g.beta == T(1) && (g.alpha == T(0) || k <= 0)) return true;
  if (g.alpha == T(0) || (k <= 0 && g.op_a == Op::plain)) {
    scale_c(g);
    return true;
  }
  if (k <= 0) {
    dot_empty(g);
    return true;
  }

  const bool dot = g.op_a != Op::plain;
  if (!dot && n <= S.small_side && k <= S.small_side && m <= 2 * V::kWidth) {
    if (m <= V::kWidth)
      small_column_form<V, 1>(g);
    else
      small_column_form<V, 2>(g);
    return true;
  }
  if (k <= S.short_depth && m >= V::kWidth) {
    switch (k) {
    case 1: return short_depth_form<V, 1>(g);
    case 2: return short_depth_form<V, 2>(g);
    case 3: return short_depth_form<V, 3>(g);
    case 4: return short_depth_form<V, 4>(g);
    case 5: return short_depth_form<V, 5>(g);
    case 6: return short_depth_form<V, 6>(g);
    case 7: return short_depth_form<V, 7>(g);
    default: return short_depth_form<V, 8>(g);
    }
  }
  if (gemm_pair_lanes<V>(g)) return true;
  if (!dot && m < V::kWidth) {
    switch (m) {
    case 1: return few_rows_form<V, 1>(g);
    case 2: return few_rows_form<V, 2>(g);
    case 3: return few_rows_form<V, 3>(g);
    case 4: return few_rows_form<V, 4>(g);
    case 8: return few_rows_form<V, 8>(g);
    case 12: return few_rows_form<V, 12>(g);
    default: break;
    }
  }
  if (!dot && m >= V::kWidth && m < S.few_rows_below) return few_rows_form<V, 3>(g);
  // One tile of rows reads op(B) in place, or its scaled copy a panel at a
  // time, over every l: one pass of tiles uses each value of B once, so
  // packing it does not repay.  More rows read A in place when it is at
  // most direct_a_bytes.
  const Blocks blocks = blocks_of<V>();
  const bool one_tile =
      m <= MR && (g.alpha == T(1) || std::size_t(kWideColumns<V>) * std::size_t(k) * sizeof(T) <=
                                         blocks.in_cache_bytes);
  if (!dot && (k <= blocks.kc || one_tile) &&
      std::size_t(m * k) * sizeof(T) <= (m <= MR ? blocks.in_cache_bytes : blocks.direct_a_bytes) &&
      direct_column_form<V>(g, blocks))
    return true;
  // Blocks of l as even as whole steps of 16 allow (a short last block
  // would pay a tile's loads and stores of C for few terms).
  const Index kc_max = [&] {
    if (k <= blocks.kc) return k;
    const Index count = (k + blocks.kc - 1) / blocks.kc;
    return ((k + count - 1) / count + 15) / 16 * 16;
  }();
  const Index mc = blocks.mc;
  const Index mc_max = m < mc ? (m + MR - 1) / MR * MR : mc;
  // The dot form keeps the temps of all m rows of a column block between
  // blocks of l; its column blocks are narrowed so they stay moderate.
  const Index m_pad = (m + MR - 1) / MR * MR;
  Index nc = blocks.nc;
  if (dot && k > kc_max) {
    Index limit = (Index(1) << 24) / Index(sizeof(T)) / m_pad / kNr * kNr;
    if (limit < kNr) limit = kNr;
    if (limit < nc) nc = limit;
  }
  const Index nc_max = n < nc ? (n + kNr - 1) / kNr * kNr : nc;
  const std::size_t a_len = std::size_t(mc_max * kc_max);
  // The dot form with one panel of rows uses each value of B once, and a
  // small op(B) stays in cache: whole panels of columns read it where it
  // stands, and only a last, partial panel is packed.
  const bool one_panel = dot && m <= MR;
  const bool direct_b =
      one_panel || (dot && std::size_t(k) * std::size_t(n) * sizeof(T) <= blocks.in_cache_bytes);
  const std::size_t b_len = std::size_t((direct_b ? kNr : nc_max) * kc_max);
  const std::size_t w_len = dot && k > kc_max ? std::size_t(m_pad * nc_max) : 0;
  using Live = typename V::Live;
  const std::size_t l_len = dot ? 0 : b_len; // a flag per packed value of B
  const std::size_t flags = std::size_t(nc_max / kNr);
  // Per panel, its groups with a zero (pack_b).
  const std::size_t g_len = dot || !g.skip_zeros ? 0 : flags * std::size_t(kc_max + 1);
  static_assert(alignof(Live) <= alignof(T));
  const std::size_t before_groups =
      Scratch::rounded((a_len + b_len + w_len) * sizeof(T) + l_len * sizeof(Live));
  Scratch scratch(before_groups + g_len * sizeof(std::int32_t) + flags + 64);
  char *ws = static_cast<char *>(scratch.data());
  if (!ws) return false;
  T *apack = reinterpret_cast<T *>(ws);
  T *bpack = apack + a_len;
  T *wpack = bpack + b_len;
  Live *lpack = reinterpret_cast<Live *>(wpack + w_len);
  std::int32_t *groups = reinterpret_cast<std::int32_t *>(ws + before_groups);
  bool *plain = reinterpret_cast<bool *>(groups + g_len);

  for (Index jc = 0; jc < n; jc += nc) {
    const Index ncur = n - jc < nc ? n - jc : nc;
    const Index direct_cols = direct_b ? ncur / kNr * kNr : 0;
    for (Index pc = 0; pc < k; pc += kc_max) {
      const Index kc = k - pc < kc_max ? k - pc : kc_max;
      const bool first = pc == 0, last = pc + kc == k;
      const T *bsrc = g.op_b != Op::plain ? g.b.p + jc + pc * g.b.step : g.b.p + pc + jc * g.b.step;
      if (direct_b) {
        if (direct_cols < ncur)
          pack_b<V, kNr>(bsrc + (g.op_b != Op::plain ? direct_cols : direct_cols * g.b.step),
                         g.b.step, g.op_b != Op::plain, ncur - direct_cols, kc, false, false,
                         g.alpha, bpack, plain, lpack, groups);
      } else {
        pack_b<V, kNr>(bsrc, g.b.step, g.op_b != Op::plain, ncur, kc, !dot, g.skip_zeros, g.alpha,
                       bpack, plain, lpack, groups);
      }
      for (Index ic = 0; ic < m; ic += mc) {
        const Index mcur = m - ic < mc ? m - ic : mc;
        // One panel of rows is packed only as wide as its vectors.
        const int a_vecs = int((mcur + V::kWidth - 1) / V::kWidth);
        if (one_panel && a_vecs == 1)
          pack_a_rows<V, 1>(g.a.p + pc + ic * g.a.step, g.a.step, mcur, kc, apack);
        else if (one_panel && a_vecs == 2)
          pack_a_rows<V, 2>(g.a.p + pc + ic * g.a.step, g.a.step, mcur, kc, apack);
        else if (dot)
          pack_a_rows<V, kVecs>(g.a.p + pc + ic * g.a.step, g.a.step, mcur, kc, apack);
        else
          pack_a_columns<V, kVecs>(g.a.p + ic + pc * g.a.step, g.a.step, mcur, kc, apack);
        for (Index jr = 0; jr < ncur; jr += kNr) {
          const int cols = int(ncur - jr < kNr ? ncur - jr : kNr);
          const bool direct = direct_b && jr < direct_cols;
          const T *bp = direct     ? bsrc + (g.op_b != Op::plain ? jr : jr * g.b.step)
                        : direct_b ? bpack
                                   : bpack + jr * kc;
          for (Index ir = 0; ir < mcur; ir += MR) {
            const int rows = int(mcur - ir < MR ? mcur - ir : MR);
            const T *ap = apack + ir * kc;
            T *c = g.c.p + (ic + ir) + (jc + jr) * g.c.step;
            // The tile after this one: next rows, or the next column panel.
            const T *c_next = ir + MR < mcur ? c + MR : g.c.p + ic + (jc + jr + kNr) * g.c.step;
            // The block's last tile uses only the vectors its rows need.
            const int vecs = (rows + V::kWidth - 1) / V::kWidth;
            auto tile = [&](auto used) {
              constexpr int kUsed = decltype(used)::value;
              if (dot) {
                T *w = wpack + ((jr / kNr) * m_pad + ic + ir) * kNr;
                const T *w_next = w + MR * kNr;
                constexpr int kOnePanel = kUsed * V::kWidth;
                const Index b_col = g.op_b != Op::plain ? 1 : g.b.step;
                const Index b_step = g.op_b != Op::plain ? g.b.step : 1;
                if (direct && one_panel)
                  dot_tile<V, kUsed, kNr, kOnePanel, true>(kc, ap, bp, first, last, w, g.alpha,
                                                           g.beta, c, g.c.step, rows, cols,
                                                           last ? c_next : w_next, b_col, b_step);
                else if (direct)
                  dot_tile<V, kUsed, kNr, MR, true>(kc, ap, bp, first, last, w, g.alpha, g.beta, c,
                                                    g.c.step, rows, cols, last ? c_next : w_next,
                                                    b_col, b_step);
                else if (one_panel)
                  dot_tile<V, kUsed, kNr, kOnePanel>(kc, ap, bp, first, last, w, g.alpha, g.beta, c,
                                                     g.c.step, rows, cols, last ? c_next : w_next);
                else
                  dot_tile<V, kUsed, kNr, MR>(kc, ap, bp, first, last, w, g.alpha, g.beta, c,
                                              g.c.step, rows, cols, last ? c_next : w_next);
              } else {
                const Start start = start_of(first, g.beta);
                // A last panel of at most half its columns takes a tile as
                // narrow (its packed values kNr apart).
                if (plain[jr / kNr] && cols <= kNr / 2)
                  column_tile<V, kUsed, kNr / 2, false, MR, true>(kc, ap, bp, nullptr, nullptr,
                                                                  start, g.beta, c, g.c.step, rows,
                                                                  cols, c_next, 1, kNr);
                else if (plain[jr / kNr])
                  column_tile<V, kUsed, kNr, false, MR>(kc, ap, bp, nullptr, nullptr, start, g.beta,
                                                        c, g.c.step, rows, cols, c_next);
                else
                  column_tile<V, kUsed, kNr, true, MR>(kc, ap, bp, lpack + jr * kc,
                                                       groups + jr / kNr * (kc + 1), start, g.beta,
                                                       c, g.c.step, rows, cols, c_next);
              }
            };
            with_vector_count<kVecs>(vecs, tile);
          }
        }
      }
    }
  }
  return true;
}

} // namespace MOX2_ISA_NAMESPACE
} // namespace mox2::kernels::blocked
