// The blocked complex column and dot forms (see complex_blocked.h
// for the order per element), included by each kernel set's source inside
// its own namespace after it has defined its vector types (lanes.h).
//
// C is walked in tiles of 2*kWidth rows by kCols columns held in
// registers with real and imaginary parts apart.  Per tile element the
// terms arrive in l order: the k range is cut in blocks taken in
// increasing order, and within a block every l updates the whole tile
// before the next.  Each term is t*A = (t.re*a.re - t.im*a.im) +
// i(t.re*a.im + t.im*a.re), four products, a difference and a sum, each
// rounded on its own (separate multiplies and adds, never fused), then
// added to C's real and imaginary parts (with op(B) = B^H, only where
// B(j, l) is not zero).  Tiles at the edges of C run in a
// local copy, so nothing outside C(1..m, 1..n) is read or written.  The
// dot form runs the same tiles on a workspace of sums.
#pragma once

#ifndef MOX2_KERNEL_SET
#error "define MOX2_KERNEL_SET before including gemm_complex/blocked/driver.h"
#endif

#include <cstddef>

#include "kernels/gemm_complex/blocked/few_rows.h"
#include "kernels/gemm_complex/blocked/lanes.h"
#include "kernels/gemm_complex/blocked/packing.h"
#include "kernels/gemm_complex/blocked/tiles.h"
#include "kernels/gemm_complex/complex_blocked.h"
#include "runtime/cache_sizes.h"
#include "runtime/scratch.h"

namespace mox2::kernels::MOX2_KERNEL_SET {
namespace {

template <class L> bool column_form(const GemmBlock<Complex<typename L::P>> &g) {
  if (g.m < L::kShape.few_rows_below && g.op_b != Op::conjugated) return few_rows_form<L>(g);
  using P = typename L::P;
  constexpr Index R = tile_rows<L>();
  // The pair terms: l = lone..k-1 (op(B) = B^H has no lone term).
  const Index lone = g.op_b == Op::conjugated ? 0 : g.k % 2, k = g.k - lone;
  Index depth = k < L::kDepth ? k : L::kDepth;
  // A packed block of rows (row_block x depth) fills at most half the
  // second-level cache, which the tiles stream it from, and at most the
  // set's row_block rows.
  Index row_block = L::kRowBlock;
  if (const std::size_t l2 = cache_sizes().l2; l2 > 0) {
    const Index fit = Index(l2 / 2 / (2 * std::size_t(depth) * sizeof(P))) / R * R;
    row_block = fit < R ? R : fit < row_block ? fit : row_block;
  }
  Index rows_block = g.m < row_block ? g.m : row_block;
  rows_block = (rows_block + R - 1) / R * R;
  Index cols_block = g.n < L::kColBlock ? g.n : L::kColBlock;
  cols_block = (cols_block + L::kCols - 1) / L::kCols * L::kCols;
  std::size_t parts_a = static_cast<std::size_t>(2 * rows_block * depth);
  std::size_t parts_b = static_cast<std::size_t>(2 * cols_block * depth);
  // op(B) = B^H keeps the reference order's zero skip: a flag per packed
  // t(l, j), and per strip of columns whether it holds a zero.
  using Live = typename L::Live;
  const bool skips = g.op_b == Op::conjugated;
  std::size_t flags = skips ? static_cast<std::size_t>(cols_block * depth) : 0;
  std::size_t strips = skips ? static_cast<std::size_t>(cols_block / L::kCols) : 0;
  // Per strip, its groups with a zero term (flag_terms).
  std::size_t listed = strips * static_cast<std::size_t>(depth + 1);
  std::size_t before_lists =
      Scratch::rounded((parts_a + parts_b) * sizeof(P) + flags * sizeof(Live));
  Scratch scratch(before_lists + listed * sizeof(std::int32_t) + strips + 64);
  P *work = static_cast<P *>(scratch.data());
  if (!work) return false;
  P *packed_a = work, *packed_b = work + parts_a;
  Live *live = reinterpret_cast<Live *>(packed_b + parts_b);
  std::int32_t *groups =
      reinterpret_cast<std::int32_t *>(reinterpret_cast<char *>(work) + before_lists);
  bool *strip_skips = reinterpret_cast<bool *>(groups + listed);

  if (lone) complex_lone_column_terms<P>(g);
  // With beta = 0 and no lone term C is zero before the pair terms, scaled
  // or not: the first block of terms starts from +0 without reading it.
  const bool zero_c = lone == 0 && is_zero(g.beta);
  const P *a = reinterpret_cast<const P *>(g.a.p + lone * g.a.step);
  P *c = reinterpret_cast<P *>(g.c.p);
  const Index lda2 = 2 * g.a.step, ldc2 = 2 * g.c.step;
  for (Index jc = 0; jc < g.n; jc += L::kColBlock) {
    Index nc = g.n - jc < L::kColBlock ? g.n - jc : L::kColBlock;
    for (Index pc = 0; pc < k; pc += L::kDepth) {
      Index kc = k - pc < L::kDepth ? k - pc : L::kDepth;
      pack_b_block<L>(g, true, lone + pc, kc, jc, nc, packed_b);
      if (skips) flag_terms<L>(g, pc, kc, jc, nc, live, groups, strip_skips);
      for (Index ic = 0; ic < g.m; ic += row_block) {
        Index mc = g.m - ic < row_block ? g.m - ic : row_block;
        pack_a_block<L>(mc, kc, a + 2 * ic + pc * lda2, lda2, packed_a);
        for (Index jr = 0; jr < nc; jr += L::kCols) {
          Index cols = nc - jr < L::kCols ? nc - jr : L::kCols;
          const P *bp = packed_b + jr * 2 * kc;
          const Live *lp = skips && strip_skips[jr / L::kCols] ? live + jr * kc : nullptr;
          const std::int32_t *listed_groups = lp ? groups + jr / L::kCols * (kc + 1) : nullptr;
          for (Index ir = 0; ir < mc; ir += R) {
            Index rows = mc - ir < R ? mc - ir : R;
            P *ct = c + 2 * (ic + ir) + (jc + jr) * ldc2;
            const P *ap = packed_a + ir * 2 * kc;
            const bool zero_start = zero_c && pc == 0;
            // The tile after this one: next rows, or the next columns.
            const P *c_next = ir + R < mc ? ct + 2 * R : c + 2 * ic + (jc + jr + L::kCols) * ldc2;
            if ((rows == R || rows == L::kWidth) && cols == L::kCols)
              strip_tile<L>(rows, kc, ap, bp, ct, ldc2, zero_start, c_next, lp, listed_groups);
            else
              edge_tile<L>(rows, cols, kc, ap, bp, ct, ldc2, zero_start, lp, listed_groups);
          }
        }
      }
    }
  }
  return true;
}

// The dot form: the sums of up to kDotRows rows by kDotColBlock columns of
// C run in a workspace over the whole k range (the column form's tiles
// with t(l, j) := b(l, j), starting from +0), then C += alpha*temp.  An
// odd m's lone first row goes first, in portable code.  With op(B) = B^H
// every row is a sum row and C takes the reference order's final step
// (so too with reference_dot_end).
constexpr Index kDotRows = 1920; // a multiple of every kRowBlock

// add_complex_dot_sums through the set's vectors: C(i0 + i, j0 + j) +=
// alpha*sums(i, j) (the product in the pair form, (ar*sr - ai*si) +
// i(ar*si + ai*sr), then the add), kWidth rows at a time, the last rows of
// each column as the portable loop.
template <class L>
void add_dot_sums(const GemmBlock<Complex<typename L::P>> &g, Index i0, Index mc, Index j0,
                  Index nc, const Complex<typename L::P> *sums, Index lds) {
  using P = typename L::P;
  using V = typename L::V;
  constexpr int W = L::kWidth;
  const Index whole = mc / W * W;
  const V ar = L::broadcast(&g.alpha.re), ai = L::broadcast(&g.alpha.im);
  for (Index j = 0; j < nc; ++j) {
    P *col = reinterpret_cast<P *>(g.c.p + i0 + (j0 + j) * g.c.step);
    const P *s = reinterpret_cast<const P *>(sums + j * lds);
    for (Index i = 0; i < whole; i += W) {
      const V s0 = L::load(s + 2 * i), s1 = L::load(s + 2 * i + W);
      const V sr = L::reals(s0, s1), si = L::imags(s0, s1);
      const V c0 = L::load(col + 2 * i), c1 = L::load(col + 2 * i + W);
      const V re = L::add(L::reals(c0, c1), L::sub(L::mul(ar, sr), L::mul(ai, si)));
      const V im = L::add(L::imags(c0, c1), L::add(L::mul(ar, si), L::mul(ai, sr)));
      L::store(col + 2 * i, L::low_half(re, im));
      L::store(col + 2 * i + W, L::high_half(re, im));
    }
  }
  if (whole < mc) add_complex_dot_sums<P>(g, i0 + whole, mc - whole, j0, nc, sums + whole, lds);
}

template <class L> bool dot_form(const GemmBlock<Complex<typename L::P>> &g) {
  using P = typename L::P;
  using C = Complex<P>;
  constexpr Index R = tile_rows<L>();
  // op(B) = B^H: the reference order, no lone row.
  const bool reference = g.op_b == Op::conjugated || g.reference_dot_end;
  const Index lone = reference ? 0 : g.m % 2, m = g.m - lone;
  if (m == 0) {
    complex_lone_row_terms<P>(g);
    return true;
  }
  Index depth = g.k < L::kDepth ? g.k : L::kDepth;
  Index rows_block = m < L::kRowBlock ? m : L::kRowBlock;
  rows_block = (rows_block + R - 1) / R * R;
  Index sum_rows = m < kDotRows ? m : kDotRows;
  sum_rows = (sum_rows + R - 1) / R * R;
  Index cols_block = g.n < L::kDotColBlock ? g.n : L::kDotColBlock;
  cols_block = (cols_block + L::kCols - 1) / L::kCols * L::kCols;
  std::size_t parts_a = static_cast<std::size_t>(2 * rows_block * depth);
  std::size_t parts_b = static_cast<std::size_t>(2 * cols_block * depth);
  std::size_t parts_s = static_cast<std::size_t>(2 * sum_rows * cols_block);
  std::size_t bytes = (parts_a + parts_b + parts_s) * sizeof(P);
  bytes = (bytes + 63) / 64 * 64;
  Scratch scratch(bytes);
  P *work = static_cast<P *>(scratch.data());
  if (!work) return false;
  P *packed_a = work, *packed_b = work + parts_a, *sums = packed_b + parts_b;

  if (lone) complex_lone_row_terms<P>(g);
  for (Index i0 = 0; i0 < m; i0 += kDotRows) {
    Index rows = m - i0 < kDotRows ? m - i0 : kDotRows;
    for (Index jc = 0; jc < g.n; jc += L::kDotColBlock) {
      Index nc = g.n - jc < L::kDotColBlock ? g.n - jc : L::kDotColBlock;
      for (Index pc = 0; pc < g.k; pc += L::kDepth) {
        Index kc = g.k - pc < L::kDepth ? g.k - pc : L::kDepth;
        pack_b_block<L>(g, false, pc, kc, jc, nc, packed_b);
        for (Index ic = 0; ic < rows; ic += L::kRowBlock) {
          Index mc = rows - ic < L::kRowBlock ? rows - ic : L::kRowBlock;
          for (Index ir = 0; ir < mc; ir += R)
            pack_a_rows_strip<L>(g, lone + i0 + ic + ir, mc - ir < R ? mc - ir : R, pc, kc,
                                 packed_a + ir * 2 * kc);
          // The first block of terms starts the sums from +0.
          for (Index jr = 0; jr < nc; jr += L::kCols)
            for (Index ir = 0; ir < mc; ir += R)
              strip_tile<L>(mc - ir, kc, packed_a + ir * 2 * kc, packed_b + jr * 2 * kc,
                            sums + 2 * (ic + ir) + jr * 2 * sum_rows, 2 * sum_rows, pc == 0);
        }
      }
      if (reference)
        finish_complex_dot_sums<P>(g, i0, rows, jc, nc, reinterpret_cast<const C *>(sums),
                                   sum_rows);
      else
        add_dot_sums<L>(g, lone + i0, rows, jc, nc, reinterpret_cast<const C *>(sums), sum_rows);
    }
  }
  return true;
}

template <class L> bool blocked(const GemmBlock<Complex<typename L::P>> &g) {
  if (g.op_a == Op::plain) return column_form<L>(g);
  // (A full vector of rows too when the columns are few: the blocked
  // dot form's tiles would be mostly empty.)
  if (g.m < L::kWidth || (g.m == L::kWidth && g.n <= L::kWidth)) return few_rows_dot_form<L>(g);
  return dot_form<L>(g);
}

} // namespace
} // namespace mox2::kernels::MOX2_KERNEL_SET
