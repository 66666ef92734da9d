// The blocked complex column and dot forms (see gemm_complex_column_form.h
// for the order per element), included by each kernel set's source inside
// its own namespace after it has defined its vector types: a struct per
// precision with P, V, kWidth (parts per vector), kCols (columns per
// tile), the blocking constants, and load, load_first (the first n parts,
// the rest zero, nothing else read), store, broadcast, mul, add, sub,
// reals/imags (the parts of an interleaved pair of vectors),
// low_half/high_half (back), Live (a term's flag) with live(const Live *)
// (its mask) and add_where(acc, mask, x).
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
#ifndef MOX2_KERNEL_SET
#error "define MOX2_KERNEL_SET before including gemm_complex_blocked_body.h"
#endif

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "kernels/gemm_complex_column_form.h"
#include "kernels/group_flags.h"
#include "runtime/scratch.h"

namespace mox2::kernels::MOX2_KERNEL_SET {
namespace {

template <class L> constexpr Index tile_rows() { return 2 * L::kWidth; }

// Packs rows i0..i0+rows-1 (rows <= tile_rows) of A(:, l0..l0+kc-1) for
// one tile: per l the real parts of the tile's rows, then their imaginary
// parts; rows past `rows` are zeros and are not read.
template <class L>
void pack_a_strip(Index rows, Index kc, const typename L::P *a, Index lda2, typename L::P *out) {
  using V = typename L::V;
  constexpr int W = L::kWidth;
  int parts[4];
  for (int q = 0; q < 4; ++q) {
    Index p = 2 * rows - q * W; // valid parts in the q-th vector
    parts[q] = static_cast<int>(p < 0 ? 0 : p > W ? W : p);
  }
  bool full = rows == tile_rows<L>();
  for (Index l = 0; l < kc; ++l) {
    const typename L::P *col = a + l * lda2;
    V v[4];
    for (int q = 0; q < 4; ++q)
      v[q] = full ? L::load(col + q * W) : L::load_first(parts[q], col + q * W);
    L::store(out, L::reals(v[0], v[1]));
    L::store(out + W, L::reals(v[2], v[3]));
    L::store(out + 2 * W, L::imags(v[0], v[1]));
    L::store(out + 3 * W, L::imags(v[2], v[3]));
    out += 4 * W;
  }
}

// Whether the kernel set's L provides transpose_rows.
template <class L>
constexpr bool kHasTransposeRows = requires(const typename L::P *src, typename L::P *dst) {
  L::transpose_rows(src, Index(0), dst, Index(8));
};

// W values of b at src (parts interleaved) as real and imaginary parts,
// conjugated for `conj`, times alpha in the pair form for `scale`:
// t = alpha*b = (ar*br - ai*bi) + i(ar*bi + ai*br).
template <class L>
void load_terms(const typename L::P *src, bool conj, bool scale, typename L::V alpha_re,
                typename L::V alpha_im, typename L::V &t_re, typename L::V &t_im) {
  using V = typename L::V;
  const V v0 = L::load(src), v1 = L::load(src + L::kWidth);
  const V re = L::reals(v0, v1), im = conj ? L::negate(L::imags(v0, v1)) : L::imags(v0, v1);
  t_re = scale ? L::sub(L::mul(alpha_re, re), L::mul(alpha_im, im)) : re;
  t_im = scale ? L::add(L::mul(alpha_re, im), L::mul(alpha_im, re)) : im;
}

// pack_complex_b for op(B) = B on a kernel set whose L provides
// transpose_rows(src, ld, dst, dst_ld) (dst[t*dst_ld + r] := src[r*ld + t],
// r < 8, t < kWidth): per strip of four columns and kWidth values of l, the
// columns' real and imaginary parts (times alpha in the pair form when
// `scaled`) go through eight vectors into the strip's rows of eight (a
// last strip's columns past nc zero).  The last values of l take the
// portable copy.
template <class L>
void pack_b_columns(const ComplexGemm<Complex<typename L::P>> &g, bool scaled, Index l0, Index kc,
                    Index j0, Index nc, typename L::P *out) {
  using P = typename L::P;
  using V = typename L::V;
  constexpr int W = L::kWidth;
  if constexpr (kHasTransposeRows<L> && L::kCols == 4) {
    const V alpha_re = L::broadcast(&g.alpha.re), alpha_im = L::broadcast(&g.alpha.im);
    const P *b = reinterpret_cast<const P *>(g.b);
    const Index ldb2 = 2 * g.ldb;
    for (Index s = 0; s < nc; s += 4, out += 8 * kc) {
      Index l = 0;
      {
        // Columns past the last hold t = 0.
        alignas(64) P parts[8][W];
        for (; l + W <= kc; l += W) {
          for (int q = 0; q < 4; ++q) {
            if (s + q >= nc) {
              for (int e = 0; e < W; ++e)
                parts[q][e] = parts[4 + q][e] = P(0);
              continue;
            }
            V re, im;
            load_terms<L>(b + 2 * (l0 + l) + (j0 + s + q) * ldb2, false, scaled, alpha_re, alpha_im,
                          re, im);
            L::store(parts[q], re);
            L::store(parts[4 + q], im);
          }
          L::transpose_rows(parts[0], W, out + 8 * l, 8);
        }
      }
      if (l < kc)
        pack_complex_b<P>(g, scaled, l0 + l, kc - l, j0 + s, nc - s < 4 ? nc - s : 4, 4,
                          out + 8 * l);
    }
  } else {
    pack_complex_b<P>(g, scaled, l0, kc, j0, nc, L::kCols, out);
  }
}

// pack_complex_rows_of_a for a strip of up to tile_rows rows on a kernel
// set with transpose_rows: per eight rows and kWidth values of l, the
// rows' real and imaginary parts (the latter with the sign changed, for
// A^H) go through vectors into the strip's groups; rows past the strip's
// last are zero.
template <class L>
void pack_a_rows_strip(const ComplexGemm<Complex<typename L::P>> &g, Index i0, Index rows, Index l0,
                       Index kc, typename L::P *out) {
  using P = typename L::P;
  using V = typename L::V;
  constexpr int W = L::kWidth;
  constexpr Index R = tile_rows<L>();
  Index l = 0;
  if constexpr (kHasTransposeRows<L>) {
    {
      const bool conjugate = g.op_a == ComplexOp::conjugated;
      const P *a = reinterpret_cast<const P *>(g.a);
      const Index lda2 = 2 * g.lda;
      alignas(64) P re[8][W], im[8][W];
      for (; l + W <= kc; l += W)
        for (Index r0 = 0; r0 < R; r0 += 8) {
          for (int q = 0; q < 8; ++q) {
            if (r0 + q >= rows) {
              for (int s = 0; s < W; ++s)
                re[q][s] = im[q][s] = P(0);
              continue;
            }
            const P *src = a + 2 * (l0 + l) + (i0 + r0 + q) * lda2;
            V v0 = L::load(src), v1 = L::load(src + W);
            L::store(re[q], L::reals(v0, v1));
            V vi = L::imags(v0, v1);
            L::store(im[q], conjugate ? L::negate(vi) : vi);
          }
          L::transpose_rows(re[0], W, out + l * 2 * R + r0, 2 * R);
          L::transpose_rows(im[0], W, out + l * 2 * R + R + r0, 2 * R);
        }
    }
  }
  if (l < kc) pack_complex_rows_of_a<P>(g, i0, rows, int(R), l0 + l, kc - l, out + l * 2 * R);
}

// The tile at c (parts, leading dimension ldc2 in parts): for l = 0..kc-1,
// C(i, j) += t(l, j)*A(i, l); with `zero_start` C is taken as +0 and not
// read.  kHalves = 1 runs the strip's first kWidth rows only (the packed
// strip keeps its full layout), for a block whose last rows fill half a
// tile.  c_next, when not null, is the next tile's place (same ldc2): its
// cache lines are asked for while this tile computes (a hint that reads
// nothing and never faults).  kMasked: lp holds a flag per packed t(l, j),
// and a term whose b(l, j) is zero is skipped (not added at all): group by
// group, a group l without such a term adds unmasked, a group of such
// terms only adds nothing, the rest add under their flags.
template <class L, int kHalves = 2, bool kMasked = false>
void tile(Index kc, const typename L::P *__restrict ap, const typename L::P *__restrict bp,
          typename L::P *c, Index ldc2, bool zero_start = false,
          const typename L::P *c_next = nullptr, const typename L::Live *__restrict lp = nullptr) {
  static_assert(kHalves == 1 || kHalves == 2);
  using V = typename L::V;
  constexpr int W = L::kWidth;
  if (c_next) {
    constexpr int kLine = 64 / int(sizeof(typename L::P));
    for (int j = 0; j < L::kCols; ++j)
      for (int r = 0; r < 2 * kHalves * W; r += kLine)
        __builtin_prefetch(c_next + j * ldc2 + r, 1, 3);
  }
  // The accumulators stay in registers throughout: every loop over them
  // is unrolled.
  V re0[L::kCols], re1[L::kCols], im0[L::kCols], im1[L::kCols];
#pragma GCC unroll 16
  for (int j = 0; j < L::kCols; ++j) {
    if (zero_start) {
      const typename L::P zero = 0;
      re0[j] = im0[j] = re1[j] = im1[j] = L::broadcast(&zero);
      continue;
    }
    const typename L::P *cj = c + j * ldc2;
    V v0 = L::load(cj), v1 = L::load(cj + W);
    re0[j] = L::reals(v0, v1);
    im0[j] = L::imags(v0, v1);
    if constexpr (kHalves == 2) {
      V v2 = L::load(cj + 2 * W), v3 = L::load(cj + 3 * W);
      re1[j] = L::reals(v2, v3);
      im1[j] = L::imags(v2, v3);
    }
  }
  auto add_group = [&](auto masked) __attribute__((always_inline)) {
    V ar0 = L::load(ap), ai0 = L::load(ap + 2 * W), ar1, ai1;
    if constexpr (kHalves == 2) ar1 = L::load(ap + W), ai1 = L::load(ap + 3 * W);
#pragma GCC unroll 16
    for (int j = 0; j < L::kCols; ++j) {
      V tr = L::broadcast(bp + j), ti = L::broadcast(bp + L::kCols + j);
      if constexpr (decltype(masked)::value) {
        const auto live = L::live(lp + j);
        re0[j] = L::add_where(re0[j], live, L::sub(L::mul(tr, ar0), L::mul(ti, ai0)));
        im0[j] = L::add_where(im0[j], live, L::add(L::mul(tr, ai0), L::mul(ti, ar0)));
        if constexpr (kHalves == 2) {
          re1[j] = L::add_where(re1[j], live, L::sub(L::mul(tr, ar1), L::mul(ti, ai1)));
          im1[j] = L::add_where(im1[j], live, L::add(L::mul(tr, ai1), L::mul(ti, ar1)));
        }
      } else {
        re0[j] = L::add(re0[j], L::sub(L::mul(tr, ar0), L::mul(ti, ai0)));
        im0[j] = L::add(im0[j], L::add(L::mul(tr, ai0), L::mul(ti, ar0)));
        if constexpr (kHalves == 2) {
          re1[j] = L::add(re1[j], L::sub(L::mul(tr, ar1), L::mul(ti, ai1)));
          im1[j] = L::add(im1[j], L::add(L::mul(tr, ai1), L::mul(ti, ar1)));
        }
      }
    }
  };
  for (Index l = 0; l < kc; ++l) {
    add_flagged_group<kMasked, typename L::Live, L::kCols>(lp, add_group);
    ap += 4 * W;
    bp += 2 * L::kCols;
    if constexpr (kMasked) lp += L::kCols;
  }
#pragma GCC unroll 16
  for (int j = 0; j < L::kCols; ++j) {
    typename L::P *cj = c + j * ldc2;
    L::store(cj, L::low_half(re0[j], im0[j]));
    L::store(cj + W, L::high_half(re0[j], im0[j]));
    if constexpr (kHalves == 2) {
      L::store(cj + 2 * W, L::low_half(re1[j], im1[j]));
      L::store(cj + 3 * W, L::high_half(re1[j], im1[j]));
    }
  }
}

// The tile for the strip's first `rows` rows: half a tile when they fit.
template <class L>
void strip_tile(Index rows, Index kc, const typename L::P *ap, const typename L::P *bp,
                typename L::P *c, Index ldc2, bool zero_start = false,
                const typename L::P *c_next = nullptr, const typename L::Live *lp = nullptr) {
  if (lp) {
    if (rows <= L::kWidth)
      tile<L, 1, true>(kc, ap, bp, c, ldc2, zero_start, c_next, lp);
    else
      tile<L, 2, true>(kc, ap, bp, c, ldc2, zero_start, c_next, lp);
  } else if (rows <= L::kWidth) {
    tile<L, 1>(kc, ap, bp, c, ldc2, zero_start, c_next);
  } else {
    tile<L, 2>(kc, ap, bp, c, ldc2, zero_start, c_next);
  }
}

// A tile of which only rows x cols elements belong to C: run in a copy.
template <class L>
void edge_tile(Index rows, Index cols, Index kc, const typename L::P *ap, const typename L::P *bp,
               typename L::P *c, Index ldc2, bool zero_start, const typename L::Live *lp) {
  constexpr Index R = tile_rows<L>();
  alignas(64) typename L::P local[2 * R * L::kCols] = {};
  for (Index j = 0; j < cols && !zero_start; ++j)
    for (Index i = 0; i < 2 * rows; ++i)
      local[j * 2 * R + i] = c[j * ldc2 + i];
  strip_tile<L>(rows, kc, ap, bp, local, 2 * R, false, nullptr, lp);
  for (Index j = 0; j < cols; ++j)
    for (Index i = 0; i < 2 * rows; ++i)
      c[j * ldc2 + i] = local[j * 2 * R + i];
}

// The flags of the packed terms t(l, j) = alpha*conjg(B(j, l)) of op(B) =
// B^H, l = l0..l0+kc-1, j = j0..j0+nc-1, in the strips' layout (per l, kCols
// flags): none where B(j, l) is zero, all bits set elsewhere (past the
// last column too: those sums are never stored, and their flags never make
// a group mixed); and per strip whether any of its terms is skipped.
template <class L>
void flag_terms(const ComplexGemm<Complex<typename L::P>> &g, Index l0, Index kc, Index j0,
                Index nc, typename L::Live *live, bool *strip_skips) {
  using Live = typename L::Live;
  for (Index s = 0; s < nc; s += L::kCols) {
    bool skip = false;
    for (Index l = l0; l < l0 + kc; ++l)
      for (int q = 0; q < L::kCols; ++q) {
        const Index j = j0 + s + q;
        const bool term = j >= j0 + nc || !is_zero(g.b[j + l * g.ldb]);
        skip |= !term;
        *live++ = term ? Live(~Live(0)) : Live(0);
      }
    strip_skips[s / L::kCols] = skip;
  }
}

// ---- Few rows: vectors along the rows of C --------------------------------
//
// Column-form products with fewer rows than a vector holds parts: lane s
// of a tile vector holds C(i, j0 + s), real and imaginary parts apart.  The
// terms t(l, j) = alpha*b(l, j) (pair form) are packed in strips of kWidth
// columns, per l the strip's real parts and then its imaginary parts (zero
// past the last column); A(i, l) is read in place, each part broadcast.
// Every element keeps the tiles' order: its terms in l order, each t*A in
// the pair form, added to C.

// t(l, j) = alpha*b(l, j) (`scale`) or b(l, j), l = l0..l0+kc-1, j =
// j0..j0+nc-1, in strips of kWidth columns through vectors (op(B) = B
// through transposes of kWidth values of l at a time, a last strip's
// columns past nc zero; op(B) = B^T or B^H whole strips only), the rest as
// pack_complex_b.
template <class L>
void pack_b_strips(const ComplexGemm<Complex<typename L::P>> &g, bool scale, Index l0, Index kc,
                   Index j0, Index nc, typename L::P *out) {
  using P = typename L::P;
  using V = typename L::V;
  constexpr int W = L::kWidth;
  const V alpha_re = L::broadcast(&g.alpha.re), alpha_im = L::broadcast(&g.alpha.im);
  const P *b = reinterpret_cast<const P *>(g.b);
  const Index ldb2 = 2 * g.ldb;
  const bool conj = g.op_b == ComplexOp::conjugated; // B(j, l) conjugated for B^H
  auto scaled = [&](const P *src, V &t_re, V &t_im) {
    load_terms<L>(src, conj, scale, alpha_re, alpha_im, t_re, t_im);
  };
  for (Index s = 0; s < nc; s += W, out += 2 * W * kc) {
    Index l = 0;
    if (g.op_b == ComplexOp::plain) {
      // Columns past the last hold t = 0.
      alignas(64) P re_parts[W][W], im_parts[W][W];
      for (; l + W <= kc; l += W) {
        for (int q = 0; q < W; ++q) {
          if (s + q >= nc) {
            for (int e = 0; e < W; ++e)
              re_parts[q][e] = im_parts[q][e] = P(0);
            continue;
          }
          V t_re, t_im;
          scaled(b + 2 * (l0 + l) + (j0 + s + q) * ldb2, t_re, t_im);
          L::store(re_parts[q], t_re);
          L::store(im_parts[q], t_im);
        }
        for (int r0 = 0; r0 < W; r0 += 8) {
          L::transpose_rows(re_parts[r0], W, out + 2 * W * l + r0, 2 * W);
          L::transpose_rows(im_parts[r0], W, out + 2 * W * l + W + r0, 2 * W);
        }
      }
    } else if (s + W <= nc) {
      for (; l < kc; ++l) {
        V t_re, t_im;
        scaled(b + 2 * (j0 + s) + (l0 + l) * ldb2, t_re, t_im);
        L::store(out + 2 * W * l, t_re);
        L::store(out + 2 * W * l + W, t_im);
      }
    }
    if (l < kc)
      pack_complex_b<P>(g, scale, l0 + l, kc - l, j0 + s, nc - s < W ? nc - s : W, W,
                        out + 2 * W * l);
  }
}

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

template <class L, int kStrips, bool kConj>
void few_rows_tiles(Index rows, Index kc, const typename L::P *a, Index a_row, Index a_step,
                    const typename L::P *bp, Index strip_step, typename L::P *c, Index ldc2,
                    Index cols, bool zero_start) {
  switch (rows) {
  case 1:
    few_rows_tile<L, 1, kStrips, kConj>(kc, a, a_row, a_step, bp, strip_step, c, ldc2, cols,
                                        zero_start);
    break;
  case 2:
    few_rows_tile<L, 2, kStrips, kConj>(kc, a, a_row, a_step, bp, strip_step, c, ldc2, cols,
                                        zero_start);
    break;
  case 3:
    few_rows_tile<L, 3, kStrips, kConj>(kc, a, a_row, a_step, bp, strip_step, c, ldc2, cols,
                                        zero_start);
    break;
  default:
    few_rows_tile<L, 4, kStrips, kConj>(kc, a, a_row, a_step, bp, strip_step, c, ldc2, cols,
                                        zero_start);
    break;
  }
}

// Up to four rows by cols <= 2*kWidth columns (one or two strips).
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

// The column form (op(B) = B or B^T) with m < kWidth: rows in fours, two
// strips of columns at a time.  False, with nothing written, without
// workspace.
template <class L> bool few_rows_form(const ComplexGemm<Complex<typename L::P>> &g) {
  using P = typename L::P;
  constexpr int W = L::kWidth;
  const Index lone = g.k % 2, k = g.k - lone;
  const Index depth = k < L::kDepth ? k : L::kDepth;
  Index cols_block = g.n < L::kColBlock ? g.n : L::kColBlock;
  cols_block = (cols_block + W - 1) / W * W;
  Scratch scratch(static_cast<std::size_t>(2 * cols_block * depth) * sizeof(P));
  P *packed_b = static_cast<P *>(scratch.data());
  if (!packed_b) return false;
  if (lone) complex_lone_column_terms<P>(g);
  const bool zero_c = lone == 0 && is_zero(g.beta);
  const P *a = reinterpret_cast<const P *>(g.a + lone * g.lda);
  P *c = reinterpret_cast<P *>(g.c);
  const Index lda2 = 2 * g.lda, ldc2 = 2 * g.ldc;
  for (Index jc = 0; jc < g.n; jc += L::kColBlock) {
    const Index nc = g.n - jc < L::kColBlock ? g.n - jc : L::kColBlock;
    for (Index pc = 0; pc < k; pc += L::kDepth) {
      const Index kc = k - pc < L::kDepth ? k - pc : L::kDepth;
      pack_b_strips<L>(g, true, lone + pc, kc, jc, nc, packed_b);
      const Index strip_step = 2 * W * kc;
      for (Index jr = 0; jr < nc; jr += 2 * W) {
        const Index cols = nc - jr < 2 * W ? nc - jr : 2 * W;
        const P *bp = packed_b + (jr / W) * strip_step;
        for (Index i0 = 0; i0 < g.m; i0 += 4) {
          const Index rows = g.m - i0 < 4 ? g.m - i0 : 4;
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
template <class L> bool few_rows_dot_form(const ComplexGemm<Complex<typename L::P>> &g) {
  using P = typename L::P;
  using C = Complex<P>;
  constexpr int W = L::kWidth;
  const bool reference = g.op_b == ComplexOp::conjugated || g.reference_dot_end;
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
  Index cols_block = g.n < L::kColBlock ? g.n : L::kColBlock;
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
  const P *a = reinterpret_cast<const P *>(g.a + lone * g.lda);
  const Index a_row = 2 * g.lda;
  const bool conj = g.op_a == ComplexOp::conjugated;
  for (Index jc = 0; jc < g.n; jc += L::kColBlock) {
    const Index nc = g.n - jc < L::kColBlock ? g.n - jc : L::kColBlock;
    for (Index pc = 0; pc < g.k; pc += L::kDepth) {
      const Index kc = g.k - pc < L::kDepth ? g.k - pc : L::kDepth;
      pack_b_strips<L>(g, false, pc, kc, jc, nc, packed_b);
      const Index strip_step = 2 * W * kc;
      if constexpr (kLonePass)
        if (lone) {
          if (pc == 0) std::memset(static_cast<void *>(lone_sums), 0, parts_l * sizeof(P));
          const int strips = int((nc + W - 1) / W);
          L::lone_row_sums(kc, reinterpret_cast<const P *>(g.a) + 2 * pc, conj, packed_b,
                           strip_step, strips, lone_sums);
        }
      for (Index jr = 0; jr < nc; jr += 2 * W) {
        const Index cols = nc - jr < 2 * W ? nc - jr : 2 * W;
        const P *bp = packed_b + (jr / W) * strip_step;
        for (Index i0 = 0; i0 < m; i0 += 4) {
          const Index rows = m - i0 < 4 ? m - i0 : 4;
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

template <class L> bool column_form(const ComplexGemm<Complex<typename L::P>> &g) {
  if constexpr (kHasTransposeRows<L>)
    if (g.m < L::kWidth && g.op_b != ComplexOp::conjugated) return few_rows_form<L>(g);
  using P = typename L::P;
  constexpr Index R = tile_rows<L>();
  // The pair terms: l = lone..k-1 (op(B) = B^H has no lone term).
  const Index lone = g.op_b == ComplexOp::conjugated ? 0 : g.k % 2, k = g.k - lone;
  Index depth = k < L::kDepth ? k : L::kDepth;
  Index rows_block = g.m < L::kRowBlock ? g.m : L::kRowBlock;
  rows_block = (rows_block + R - 1) / R * R;
  Index cols_block = g.n < L::kColBlock ? g.n : L::kColBlock;
  cols_block = (cols_block + L::kCols - 1) / L::kCols * L::kCols;
  std::size_t parts_a = static_cast<std::size_t>(2 * rows_block * depth);
  std::size_t parts_b = static_cast<std::size_t>(2 * cols_block * depth);
  // op(B) = B^H keeps the reference order's zero skip: a flag per packed
  // t(l, j), and per strip of columns whether it holds a zero.
  using Live = typename L::Live;
  const bool skips = g.op_b == ComplexOp::conjugated;
  std::size_t flags = skips ? static_cast<std::size_t>(cols_block * depth) : 0;
  std::size_t strips = skips ? static_cast<std::size_t>(cols_block / L::kCols) : 0;
  std::size_t bytes = (parts_a + parts_b) * sizeof(P) + flags * sizeof(Live) + strips;
  bytes = (bytes + 63) / 64 * 64;
  Scratch scratch(bytes);
  P *work = static_cast<P *>(scratch.data());
  if (!work) return false;
  P *packed_a = work, *packed_b = work + parts_a;
  Live *live = reinterpret_cast<Live *>(packed_b + parts_b);
  bool *strip_skips = reinterpret_cast<bool *>(live + flags);

  if (lone) complex_lone_column_terms<P>(g);
  // With beta = 0 and no lone term C is zero before the pair terms, scaled
  // or not: the first block of terms starts from +0 without reading it.
  const bool zero_c = lone == 0 && is_zero(g.beta);
  const P *a = reinterpret_cast<const P *>(g.a + lone * g.lda);
  P *c = reinterpret_cast<P *>(g.c);
  const Index lda2 = 2 * g.lda, ldc2 = 2 * g.ldc;
  for (Index jc = 0; jc < g.n; jc += L::kColBlock) {
    Index nc = g.n - jc < L::kColBlock ? g.n - jc : L::kColBlock;
    for (Index pc = 0; pc < k; pc += L::kDepth) {
      Index kc = k - pc < L::kDepth ? k - pc : L::kDepth;
      if (g.op_b == ComplexOp::plain)
        pack_b_columns<L>(g, true, lone + pc, kc, jc, nc, packed_b);
      else
        pack_complex_b<P>(g, true, lone + pc, kc, jc, nc, L::kCols, packed_b);
      if (skips) flag_terms<L>(g, pc, kc, jc, nc, live, strip_skips);
      for (Index ic = 0; ic < g.m; ic += L::kRowBlock) {
        Index mc = g.m - ic < L::kRowBlock ? g.m - ic : L::kRowBlock;
        for (Index ir = 0; ir < mc; ir += R)
          pack_a_strip<L>(mc - ir < R ? mc - ir : R, kc, a + 2 * (ic + ir) + pc * lda2, lda2,
                          packed_a + ir * 2 * kc);
        for (Index jr = 0; jr < nc; jr += L::kCols) {
          Index cols = nc - jr < L::kCols ? nc - jr : L::kCols;
          const P *bp = packed_b + jr * 2 * kc;
          const Live *lp = skips && strip_skips[jr / L::kCols] ? live + jr * kc : nullptr;
          for (Index ir = 0; ir < mc; ir += R) {
            Index rows = mc - ir < R ? mc - ir : R;
            P *ct = c + 2 * (ic + ir) + (jc + jr) * ldc2;
            const P *ap = packed_a + ir * 2 * kc;
            const bool zero_start = zero_c && pc == 0;
            // The tile after this one: next rows, or the next columns.
            const P *c_next = ir + R < mc ? ct + 2 * R : c + 2 * ic + (jc + jr + L::kCols) * ldc2;
            if ((rows == R || rows == L::kWidth) && cols == L::kCols)
              strip_tile<L>(rows, kc, ap, bp, ct, ldc2, zero_start, c_next, lp);
            else
              edge_tile<L>(rows, cols, kc, ap, bp, ct, ldc2, zero_start, lp);
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

template <class L> bool dot_form(const ComplexGemm<Complex<typename L::P>> &g) {
  using P = typename L::P;
  using C = Complex<P>;
  constexpr Index R = tile_rows<L>();
  // op(B) = B^H: the reference order, no lone row.
  const bool reference = g.op_b == ComplexOp::conjugated || g.reference_dot_end;
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
      std::memset(static_cast<void *>(sums), 0, parts_s * sizeof(P));
      for (Index pc = 0; pc < g.k; pc += L::kDepth) {
        Index kc = g.k - pc < L::kDepth ? g.k - pc : L::kDepth;
        if (g.op_b == ComplexOp::plain)
          pack_b_columns<L>(g, false, pc, kc, jc, nc, packed_b);
        else
          pack_complex_b<P>(g, false, pc, kc, jc, nc, L::kCols, packed_b);
        for (Index ic = 0; ic < rows; ic += L::kRowBlock) {
          Index mc = rows - ic < L::kRowBlock ? rows - ic : L::kRowBlock;
          for (Index ir = 0; ir < mc; ir += R)
            pack_a_rows_strip<L>(g, lone + i0 + ic + ir, mc - ir < R ? mc - ir : R, pc, kc,
                                 packed_a + ir * 2 * kc);
          for (Index jr = 0; jr < nc; jr += L::kCols)
            for (Index ir = 0; ir < mc; ir += R)
              strip_tile<L>(mc - ir, kc, packed_a + ir * 2 * kc, packed_b + jr * 2 * kc,
                            sums + 2 * (ic + ir) + jr * 2 * sum_rows, 2 * sum_rows);
        }
      }
      if (reference)
        finish_complex_dot_sums<P>(g, i0, rows, jc, nc, reinterpret_cast<const C *>(sums),
                                   sum_rows);
      else
        add_complex_dot_sums<P>(g, lone + i0, rows, jc, nc, reinterpret_cast<const C *>(sums),
                                sum_rows);
    }
  }
  return true;
}

template <class L> bool blocked(const ComplexGemm<Complex<typename L::P>> &g) {
  if (g.op_a == ComplexOp::plain) return column_form<L>(g);
  if constexpr (kHasTransposeRows<L>)
    // (A full vector of rows too when the columns are few: the blocked
    // dot form's tiles would be mostly empty.)
    if (g.m < L::kWidth || (g.m == L::kWidth && g.n <= L::kWidth)) return few_rows_dot_form<L>(g);
  return dot_form<L>(g);
}
} // namespace
} // namespace mox2::kernels::MOX2_KERNEL_SET
