// The blocked complex forms for few rows: vectors along the rows of C.
//
// Products with few rows (the set's few_rows_below; the dot form: fewer
// than a vector holds parts): lane s of a tile vector holds C(i, j0 + s), real and imaginary parts
// apart.  The terms t(l, j) = alpha*b(l, j) (pair form) are packed in strips of kWidth columns, per
// l the strip's real parts and then its imaginary parts (zero past the last column); A(i, l) is
// read in place, each part broadcast. Every element keeps the tiles' order: its terms in l order,
// each t*A in the pair form, added to C.
#pragma once

#ifndef MOX2_KERNEL_SET
#error "define MOX2_KERNEL_SET before including gemm_complex/blocked/few_rows.h"
#endif

#include <cstddef>
#include <cstring>

#include "kernels/gemm_complex/blocked/lanes.h"
#include "kernels/gemm_complex/blocked/packing.h"
#include "kernels/gemm_complex/complex_blocked.h"
#include "kernels/page_touch.h"
#include "runtime/scratch.h"

namespace mox2::kernels::MOX2_KERNEL_SET {
namespace {

// t(l, j) = alpha*b(l, j) (`scale`) or b(l, j), l = l0..l0+kc-1, j =
// j0..j0+nc-1, in strips of kWidth columns (strip s at out +
// 2*kWidth*kc*s, per l its real parts, then its imaginary parts): op(B) =
// B through transposes of kWidth values of l at a time (a last strip's
// columns past nc zero; the last values of l as pack_complex_b), op(B) =
// B^T or B^H as pack_b_rows.
template <class L>
void pack_b_strips(const GemmBlock<Complex<typename L::P>> &g, bool scale, Index l0, Index kc,
                   Index j0, Index nc, typename L::P *out) {
  using P = typename L::P;
  using V = typename L::V;
  constexpr int W = L::kWidth;
  if (g.op_b != Op::plain) return pack_b_rows<L, W>(g, scale, l0, kc, j0, nc, out);
  const V alpha_re = L::broadcast(&g.alpha.re), alpha_im = L::broadcast(&g.alpha.im);
  const P *b = reinterpret_cast<const P *>(g.b.p);
  const Index ldb2 = 2 * g.b.step;
  for (Index s = 0; s < nc; s += W, out += 2 * W * kc) {
    // Columns past the last hold t = 0.  The strip reads W columns side
    // by side, in runs too short for the hardware to follow: each column's
    // lines 1 KiB on are asked for.
    Index l = 0;
    alignas(64) P re_parts[W][W], im_parts[W][W];
    for (; l + W <= kc; l += W) {
      for (int q = 0; q < W; ++q) {
        if (s + q >= nc) {
          for (int e = 0; e < W; ++e)
            re_parts[q][e] = im_parts[q][e] = P(0);
          continue;
        }
        const P *src = b + 2 * (l0 + l) + (j0 + s + q) * ldb2;
        ask_for_lines(src, 1024, 2 * W * sizeof(P));
        V t_re, t_im;
        load_terms<L>(src, false, scale, alpha_re, alpha_im, t_re, t_im);
        L::store(re_parts[q], t_re);
        L::store(im_parts[q], t_im);
      }
      constexpr int kChunk = W < 8 ? W : 8;
      for (int r0 = 0; r0 < W; r0 += kChunk) {
        L::template transpose_rows<kChunk>(re_parts[r0], W, out + 2 * W * l + r0, 2 * W);
        L::template transpose_rows<kChunk>(im_parts[r0], W, out + 2 * W * l + W + r0, 2 * W);
      }
    }
    if (l < kc)
      pack_complex_b<P>(g, scale, l0 + l, kc - l, j0 + s, nc - s < W ? nc - s : W, W,
                        out + 2 * W * l);
  }
}

// Columns of B per packed block.  Each packed term is used by few rows,
// so a block small enough to be read back from L2 while it is still
// there beats a long one.
constexpr Index kFewColBlock = 64;

// kRows rows by kStrips strips (cols columns of them in C) over kc terms:
// C(i, j) += t(l, j)*x(i, l), x(i, l) at a + i*a_row + l*a_step (parts),
// conjugated for kConj.  c points at C(i0, j0) (parts); strip s of the
// packed terms is at bp + s*strip_step.
template <class L, int kRows, int kStrips, bool kConj>
void few_rows_tile(Index kc, const typename L::P *a, Index a_row, Index a_step,
                   const typename L::P *bp, Index strip_step, typename L::P *c, Index ldc2,
                   Index cols, bool zero_start) {
  using P = typename L::P;
  using V = typename L::V;
  constexpr int W = L::kWidth;
  // C's parts in a local copy: [part][row][column].
  alignas(64) P local[2][kRows][kStrips * W] = {};
  if (!zero_start)
    for (Index q = 0; q < cols; ++q)
      for (int i = 0; i < kRows; ++i) {
        local[0][i][q] = c[2 * i + q * ldc2];
        local[1][i][q] = c[2 * i + 1 + q * ldc2];
      }
  V re[kRows][kStrips], im[kRows][kStrips];
  for (int i = 0; i < kRows; ++i)
    for (int s = 0; s < kStrips; ++s) {
      re[i][s] = L::load(&local[0][i][s * W]);
      im[i][s] = L::load(&local[1][i][s * W]);
    }
  for (Index l = 0; l < kc; ++l) {
    V tr[kStrips], ti[kStrips];
    for (int s = 0; s < kStrips; ++s) {
      tr[s] = L::load(bp + s * strip_step + 2 * W * l);
      ti[s] = L::load(bp + s * strip_step + 2 * W * l + W);
    }
    const P *al = a + l * a_step;
    for (int i = 0; i < kRows; ++i) {
      const V ar = L::broadcast(al + i * a_row), xi = L::broadcast(al + i * a_row + 1);
      const V ai = kConj ? L::negate(xi) : xi;
      for (int s = 0; s < kStrips; ++s) {
        re[i][s] = L::add(re[i][s], L::sub(L::mul(tr[s], ar), L::mul(ti[s], ai)));
        im[i][s] = L::add(im[i][s], L::add(L::mul(tr[s], ai), L::mul(ti[s], ar)));
      }
    }
  }
  for (int i = 0; i < kRows; ++i)
    for (int s = 0; s < kStrips; ++s) {
      L::store(&local[0][i][s * W], re[i][s]);
      L::store(&local[1][i][s * W], im[i][s]);
    }
  for (Index q = 0; q < cols; ++q)
    for (int i = 0; i < kRows; ++i) {
      c[2 * i + q * ldc2] = local[0][i][q];
      c[2 * i + 1 + q * ldc2] = local[1][i][q];
    }
}

// A tile of `rows` (1..few_rows) rows.
template <class L, int kStrips, bool kConj, int kRows = L::kShape.few_rows>
void few_rows_tiles(Index rows, Index kc, const typename L::P *a, Index a_row, Index a_step,
                    const typename L::P *bp, Index strip_step, typename L::P *c, Index ldc2,
                    Index cols, bool zero_start) {
  if constexpr (kRows > 1)
    if (rows < kRows)
      return few_rows_tiles<L, kStrips, kConj, kRows - 1>(rows, kc, a, a_row, a_step, bp,
                                                          strip_step, c, ldc2, cols, zero_start);
  few_rows_tile<L, kRows, kStrips, kConj>(kc, a, a_row, a_step, bp, strip_step, c, ldc2, cols,
                                          zero_start);
}

// Up to few_rows rows by cols <= 2*kWidth columns (one or two strips).
template <class L>
void few_rows_block(Index rows, Index cols, bool conj, Index kc, const typename L::P *a,
                    Index a_row, Index a_step, const typename L::P *bp, Index strip_step,
                    typename L::P *c, Index ldc2, bool zero_start) {
  const bool two = cols > L::kWidth;
  if (two && conj)
    few_rows_tiles<L, 2, true>(rows, kc, a, a_row, a_step, bp, strip_step, c, ldc2, cols,
                               zero_start);
  else if (two)
    few_rows_tiles<L, 2, false>(rows, kc, a, a_row, a_step, bp, strip_step, c, ldc2, cols,
                                zero_start);
  else if (conj)
    few_rows_tiles<L, 1, true>(rows, kc, a, a_row, a_step, bp, strip_step, c, ldc2, cols,
                               zero_start);
  else
    few_rows_tiles<L, 1, false>(rows, kc, a, a_row, a_step, bp, strip_step, c, ldc2, cols,
                                zero_start);
}

// The column form (op(B) = B or B^T) with m < few_rows_below: rows in
// tiles of few_rows, two strips of columns at a time.  False, with nothing
// written, without workspace.
template <class L> bool few_rows_form(const GemmBlock<Complex<typename L::P>> &g) {
  using P = typename L::P;
  constexpr int W = L::kWidth, F = L::kShape.few_rows;
  const Index lone = g.k % 2, k = g.k - lone;
  const Index depth = k < L::kDepth ? k : L::kDepth;
  Index cols_block = g.n < kFewColBlock ? g.n : kFewColBlock;
  cols_block = (cols_block + W - 1) / W * W;
  Scratch scratch(static_cast<std::size_t>(2 * cols_block * depth) * sizeof(P));
  P *packed_b = static_cast<P *>(scratch.data());
  if (!packed_b) return false;
  if (lone) complex_lone_column_terms<P>(g);
  const bool zero_c = lone == 0 && is_zero(g.beta);
  const P *a = reinterpret_cast<const P *>(g.a.p + lone * g.a.step);
  P *c = reinterpret_cast<P *>(g.c.p);
  const Index lda2 = 2 * g.a.step, ldc2 = 2 * g.c.step;
  for (Index jc = 0; jc < g.n; jc += kFewColBlock) {
    const Index nc = g.n - jc < kFewColBlock ? g.n - jc : kFewColBlock;
    for (Index pc = 0; pc < k; pc += L::kDepth) {
      const Index kc = k - pc < L::kDepth ? k - pc : L::kDepth;
      pack_b_strips<L>(g, true, lone + pc, kc, jc, nc, packed_b);
      const Index strip_step = 2 * W * kc;
      for (Index jr = 0; jr < nc; jr += 2 * W) {
        const Index cols = nc - jr < 2 * W ? nc - jr : 2 * W;
        const P *bp = packed_b + (jr / W) * strip_step;
        for (Index i0 = 0; i0 < g.m; i0 += F) {
          const Index rows = g.m - i0 < F ? g.m - i0 : F;
          P *ct = c + 2 * i0 + (jc + jr) * ldc2;
          const P *at = a + 2 * i0 + pc * lda2;
          few_rows_block<L>(rows, cols, false, kc, at, 2, lda2, bp, strip_step, ct, ldc2,
                            zero_c && pc == 0);
        }
      }
    }
  }
  return true;
}

// The dot form with few rows (m < kWidth; see blocked()): the sums of the
// rows (after a COMPLEX(4) odd m's lone first row; all rows for op(B) =
// B^H) run over the whole k range in a workspace, from +0, through the
// few-row tiles with t(l, j) := b(l, j) and x(i, l) = op(A)(i, l); then C
// takes them as dot_form's do.  False, with nothing written, without
// workspace.
template <class L> bool few_rows_dot_form(const GemmBlock<Complex<typename L::P>> &g) {
  using P = typename L::P;
  using C = Complex<P>;
  constexpr int W = L::kWidth, F = L::kShape.few_rows;
  const bool reference = g.op_b == Op::conjugated || g.reference_dot_end;
  // COMPLEX(8)'s lone form is its pair form: the lone row is a sum row.
  // COMPLEX(4)'s lone row runs beside the tiles where the set has a pass
  // for it (lone_row_sums), else first, in portable code.
  const bool lone_apart = !reference && sizeof(P) == sizeof(float);
  const Index lone = lone_apart ? g.m % 2 : 0, m = g.m - lone;
  constexpr bool kLonePass = requires(const P *p, P(*s)[2 * W]) {
    L::lone_row_sums(Index(0), p, false, p, Index(0), 1, s);
  };
  if (m == 0 && !kLonePass) {
    complex_lone_row_terms<P>(g);
    return true;
  }
  const Index depth = g.k < L::kDepth ? g.k : L::kDepth;
  Index cols_block = g.n < kFewColBlock ? g.n : kFewColBlock;
  cols_block = (cols_block + W - 1) / W * W;
  const std::size_t parts_b = static_cast<std::size_t>(2 * cols_block * depth);
  const std::size_t parts_s = static_cast<std::size_t>(2 * m * cols_block);
  const std::size_t parts_l = lone && kLonePass ? static_cast<std::size_t>(2 * cols_block) : 0;
  Scratch scratch((parts_b + parts_s + parts_l) * sizeof(P) + parts_l / 2 * sizeof(C));
  P *packed_b = static_cast<P *>(scratch.data());
  if (!packed_b) return false;
  P *sums = packed_b + parts_b;
  P(*lone_sums)[2 * W] = reinterpret_cast<P(*)[2 * W]>(sums + parts_s); // per strip
  C *lone_pairs = reinterpret_cast<C *>(sums + parts_s + parts_l);
  if (lone && !kLonePass) complex_lone_row_terms<P>(g);
  // op(A)(i, l) = A(l, i) (conjugated for A^H): rows 2*lda parts apart.
  const P *a = reinterpret_cast<const P *>(g.a.p + lone * g.a.step);
  const Index a_row = 2 * g.a.step;
  const bool conj = g.op_a == Op::conjugated;
  for (Index jc = 0; jc < g.n; jc += kFewColBlock) {
    const Index nc = g.n - jc < kFewColBlock ? g.n - jc : kFewColBlock;
    for (Index pc = 0; pc < g.k; pc += L::kDepth) {
      const Index kc = g.k - pc < L::kDepth ? g.k - pc : L::kDepth;
      pack_b_strips<L>(g, false, pc, kc, jc, nc, packed_b);
      const Index strip_step = 2 * W * kc;
      if constexpr (kLonePass)
        if (lone) {
          if (pc == 0) std::memset(static_cast<void *>(lone_sums), 0, parts_l * sizeof(P));
          const int strips = int((nc + W - 1) / W);
          L::lone_row_sums(kc, reinterpret_cast<const P *>(g.a.p) + 2 * pc, conj, packed_b,
                           strip_step, strips, lone_sums);
        }
      for (Index jr = 0; jr < nc; jr += 2 * W) {
        const Index cols = nc - jr < 2 * W ? nc - jr : 2 * W;
        const P *bp = packed_b + (jr / W) * strip_step;
        for (Index i0 = 0; i0 < m; i0 += F) {
          const Index rows = m - i0 < F ? m - i0 : F;
          const P *at = a + i0 * a_row + 2 * pc;
          P *st = sums + 2 * (i0 + jr * m);
          few_rows_block<L>(rows, cols, conj, kc, at, a_row, 2, bp, strip_step, st, 2 * m, pc == 0);
        }
      }
    }
    if constexpr (kLonePass)
      if (lone) {
        for (Index j = 0; j < nc; ++j)
          lone_pairs[j] = C{lone_sums[j / W][j % W], lone_sums[j / W][W + j % W]};
        add_complex_lone_row_sums<P>(g, jc, nc, lone_pairs);
      }
    if (m == 0) continue;
    if (reference)
      finish_complex_dot_sums<P>(g, 0, m, jc, nc, reinterpret_cast<const C *>(sums), m);
    else
      add_complex_dot_sums<P>(g, lone, m, jc, nc, reinterpret_cast<const C *>(sums), m);
  }
  return true;
}

} // namespace
} // namespace mox2::kernels::MOX2_KERNEL_SET
