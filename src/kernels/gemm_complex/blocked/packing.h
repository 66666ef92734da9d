// The packing of the blocked complex forms: strips of A and of the terms
// t(l, j) with real and imaginary parts apart, through the set's vectors
// where it has transposes (the rest as the portable pieces of
// complex_blocked.h), and the flags of terms that a zero skips.
// Moving values changes no bits.
#pragma once

#ifndef MOX2_KERNEL_SET
#error "define MOX2_KERNEL_SET before including gemm_complex/blocked/packing.h"
#endif

#include <cstddef>
#include <cstdint>

#include "kernels/gemm_complex/blocked/lanes.h"
#include "kernels/gemm_complex/complex_blocked.h"
#include "kernels/group_flags.h"
#include "kernels/page_touch.h"

namespace mox2::kernels::MOX2_KERNEL_SET {
namespace {

// Packs rows i0..i0+mc-1 of A(:, l0..l0+kc-1) in strips of tile_rows rows
// (strip s at out + s*tile_rows*2*kc): per l a strip's real parts, then
// its imaginary parts; rows past mc are zeros and are not read.  Column by
// column, each column's mc rows in one run: a strip at a time would read
// kc columns a few lines each, more streams than the hardware follows.
template <class L>
void pack_a_block(Index mc, Index kc, const typename L::P *a, Index lda2, typename L::P *out) {
  using V = typename L::V;
  constexpr int W = L::kWidth, kVecs = L::kShape.vecs, kLoads = 2 * kVecs;
  constexpr Index R = tile_rows<L>(), kStep = 2 * kVecs * W; // parts per l in a strip
  const Index whole = mc / R * R;
  int parts[kLoads]; // valid parts per vector of the last, partial strip
  for (int q = 0; q < kLoads; ++q) {
    Index p = 2 * (mc - whole) - q * W;
    parts[q] = static_cast<int>(p < 0 ? 0 : p > W ? W : p);
  }
  auto put = [&](const V(&v)[kLoads], typename L::P *o) __attribute__((always_inline)) {
    for (int h = 0; h < kVecs; ++h) {
      L::store(o + h * W, L::reals(v[2 * h], v[2 * h + 1]));
      L::store(o + (kVecs + h) * W, L::imags(v[2 * h], v[2 * h + 1]));
    }
  };
  // The run of the column kAhead columns on is asked for.
  constexpr Index kAhead = 8;
  const std::uintptr_t ahead = std::uintptr_t(kAhead * lda2) * sizeof(typename L::P);
  const std::uintptr_t run_bytes = std::uintptr_t(2 * mc) * sizeof(typename L::P);
  for (Index l = 0; l < kc; ++l) {
    const typename L::P *col = a + l * lda2;
    typename L::P *o = out + l * kStep;
    ask_for_lines(col, ahead, run_bytes);
    for (Index ir = 0; ir < whole; ir += R, o += R * 2 * kc) {
      V v[kLoads];
      for (int q = 0; q < kLoads; ++q)
        v[q] = L::load(col + 2 * ir + q * W);
      put(v, o);
    }
    if (whole < mc) {
      V v[kLoads];
      for (int q = 0; q < kLoads; ++q)
        v[q] = L::load_first(parts[q], col + 2 * whole + q * W);
      put(v, o);
    }
  }
}

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

// pack_complex_b for op(B) = B^T or B^H in strips of Q columns through
// vectors of kWidth values (strip s at out + 2*Q*kc*s, per l its columns'
// real parts, then their imaginary parts, times alpha in the pair form
// when `scaled`): a row of op(B) holds the strips side by side, so per run
// of l the rows are read in vectors of kWidth columns, each handed out to
// its strips.  Columns past the last whole vector take the portable copy.
template <class L, int Q>
void pack_b_rows(const GemmBlock<Complex<typename L::P>> &g, bool scaled, Index l0, Index kc,
                 Index j0, Index nc, typename L::P *out) {
  using P = typename L::P;
  using V = typename L::V;
  constexpr int W = L::kWidth, R = 2 * Q; // R parts per l
  static_assert(W % Q == 0);
  constexpr Index kRun = 8;
  const V alpha_re = L::broadcast(&g.alpha.re), alpha_im = L::broadcast(&g.alpha.im);
  const P *b = reinterpret_cast<const P *>(g.b.p);
  const Index ldb2 = 2 * g.b.step;
  const bool conj = g.op_b == Op::conjugated;
  const Index whole = nc / W * W;
  for (Index r = 0; r < kc; r += kRun)
    for (Index s = 0; s < whole; s += W)
      for (Index l = r; l < kc && l < r + kRun; ++l) {
        V re, im;
        load_terms<L>(b + 2 * (j0 + s) + (l0 + l) * ldb2, conj, scaled, alpha_re, alpha_im, re, im);
        alignas(64) P re_parts[W], im_parts[W];
        L::store(re_parts, re);
        L::store(im_parts, im);
        for (int q = 0; q < W; q += Q) {
          P *o = out + R * ((s + q) / Q * kc + l);
          for (int e = 0; e < Q; ++e) {
            o[e] = re_parts[q + e];
            o[Q + e] = im_parts[q + e];
          }
        }
      }
  if (whole < nc)
    pack_complex_b<P>(g, scaled, l0, kc, j0 + whole, nc - whole, Q, out + R * whole / Q * kc);
}

// pack_complex_b through the set's vectors, in strips of kCols columns: op(B) = B^T or B^H as
// pack_b_rows; op(B) = B per strip and kWidth values of l, the columns through 2*kCols vectors and
// a transpose (a last strip's columns past nc zero), the last values of l through the portable
// copy.
template <class L>
void pack_b_block(const GemmBlock<Complex<typename L::P>> &g, bool scaled, Index l0, Index kc,
                  Index j0, Index nc, typename L::P *out) {
  using P = typename L::P;
  using V = typename L::V;
  constexpr int W = L::kWidth, Q = L::kCols, R = 2 * Q; // R parts per l
  if (g.op_b != Op::plain) return pack_b_rows<L, Q>(g, scaled, l0, kc, j0, nc, out);
  const V alpha_re = L::broadcast(&g.alpha.re), alpha_im = L::broadcast(&g.alpha.im);
  const P *b = reinterpret_cast<const P *>(g.b.p);
  const Index ldb2 = 2 * g.b.step;
  for (Index s = 0; s < nc; s += Q, out += R * kc) {
    Index l = 0;
    {
      // Columns past the last hold t = 0.
      alignas(64) P parts[R][W];
      for (; l + W <= kc; l += W) {
        for (int q = 0; q < Q; ++q) {
          if (s + q >= nc) {
            for (int e = 0; e < W; ++e)
              parts[q][e] = parts[Q + q][e] = P(0);
            continue;
          }
          V re, im;
          load_terms<L>(b + 2 * (l0 + l) + (j0 + s + q) * ldb2, false, scaled, alpha_re, alpha_im,
                        re, im);
          L::store(parts[q], re);
          L::store(parts[Q + q], im);
        }
        L::template transpose_rows<R>(parts[0], W, out + R * l, R);
      }
    }
    if (l < kc)
      pack_complex_b<P>(g, scaled, l0 + l, kc - l, j0 + s, nc - s < Q ? nc - s : Q, Q, out + R * l);
  }
}

// pack_complex_rows_of_a for a strip of up to tile_rows rows: per eight rows (the tile's, if
// fewer) and kWidth values of l, the rows' real and imaginary parts (the latter with the sign
// changed, for A^H) go through vectors into the strip's groups; rows past the strip's last are
// zero.
template <class L>
void pack_a_rows_strip(const GemmBlock<Complex<typename L::P>> &g, Index i0, Index rows, Index l0,
                       Index kc, typename L::P *out) {
  using P = typename L::P;
  using V = typename L::V;
  constexpr int W = L::kWidth;
  constexpr Index R = tile_rows<L>();
  Index l = 0;
  const bool conjugate = g.op_a == Op::conjugated;
  const P *a = reinterpret_cast<const P *>(g.a.p);
  const Index lda2 = 2 * g.a.step;
  constexpr int kChunk = R < 8 ? int(R) : 8;
  alignas(64) P re[kChunk][W], im[kChunk][W];
  for (; l + W <= kc; l += W)
    for (Index r0 = 0; r0 < R; r0 += kChunk) {
      for (int q = 0; q < kChunk; ++q) {
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
      L::template transpose_rows<kChunk>(re[0], W, out + l * 2 * R + r0, 2 * R);
      L::template transpose_rows<kChunk>(im[0], W, out + l * 2 * R + R + r0, 2 * R);
    }
  if (l < kc) pack_complex_rows_of_a<P>(g, i0, rows, int(R), l0 + l, kc - l, out + l * 2 * R);
}

// The flags of the packed terms t(l, j) = alpha*conjg(B(j, l)) of op(B) =
// B^H, l = l0..l0+kc-1, j = j0..j0+nc-1, in the strips' layout (per l, kCols
// flags): per strip whether any of its terms is skipped, and only for such
// a strip its flags (none where B(j, l) is zero, all bits set elsewhere,
// past the last column too: those sums are never stored, and their flags
// never make a group mixed) and, at groups + (s/kCols)*(kc + 1), its groups
// with a skipped term (list_masked_groups).  A strip without a zero writes
// nothing: the flags of a whole block would push A out of the cache the
// tiles read it from.
template <class L>
void flag_terms(const GemmBlock<Complex<typename L::P>> &g, Index l0, Index kc, Index j0, Index nc,
                typename L::Live *live, std::int32_t *groups, bool *strip_skips) {
  using Live = typename L::Live;
  for (Index s = 0; s < nc; s += L::kCols, groups += kc + 1, live += kc * L::kCols) {
    const Index cols = nc - s < L::kCols ? nc - s : L::kCols;
    bool skip = false;
    for (Index l = l0; l < l0 + kc && !skip; ++l)
      for (Index q = 0; q < cols; ++q)
        skip |= is_zero(g.b.p[j0 + s + q + l * g.b.step]);
    strip_skips[s / L::kCols] = skip;
    if (!skip) continue;
    Live *flag = live;
    for (Index l = l0; l < l0 + kc; ++l)
      for (int q = 0; q < L::kCols; ++q) {
        const bool term = q >= cols || !is_zero(g.b.p[j0 + s + q + l * g.b.step]);
        *flag++ = term ? Live(~Live(0)) : Live(0);
      }
    list_masked_groups<Live, L::kCols>(live, kc, groups);
  }
}

} // namespace
} // namespace mox2::kernels::MOX2_KERNEL_SET
