// The AVX2 set's COMPLEX(4) thin products with few rows (or, in the dot
// form, few columns): vectors along C's rows.
//
// m <= kFewRows: lane s of a vector holds column j0 + s of C.  t(l, j) is
// packed in strips of four columns, per l their real parts and then their
// imaginary parts, as doubles (each rounded to single first); A(i, l) is
// broadcast.  The products and sums are the exact form's
// (gemm_complex_thin_avx2.cc).  Included by that file only.
#pragma once

#include <immintrin.h>

#include <cstddef>

#include "kernels/avx2/gemm_complex_thin_lanes_avx2.h"
#include "kernels/blas_access.h"
#include "kernels/gemm_complex/complex_blocked.h"
#include "kernels/page_touch.h"

namespace mox2::kernels::avx2 {
namespace {

constexpr Index kFewRows = 3;
constexpr int kStripCols = 4;      // columns per strip (one vector of doubles)
constexpr int kGroupCols = 8;      // columns per group: two strips
constexpr Index kStripDepth = 128; // l per block: a group's t sit in L1

// Where a strip's values come from: v(l, j) = b[l + j*ld] (down columns)
// or b[j + l*ld] (`across`), conjugated for `conj`.
struct StripSource {
  const c8 *b;
  Index ld;
  bool across, conj;
};
StripSource source_of_b(const GemmBlock<c8> &g) {
  return {g.b.p, g.b.step, g.op_b != Op::plain, g.op_b == Op::conjugated};
}

// t = alpha*v (kScale, the exact form: v.re*alpha.re + (-v.im)*alpha.im
// and v.im*alpha.re + v.re*alpha.im, each rounded to single) or v for four
// values of v given as doubles (real parts, imaginary parts; the latter
// negated first for `conj`), stored at out (reals) and out + 4 (imaginary
// parts).
template <bool kScale>
inline void finish_four(__m256d xr, __m256d xi, bool conj, __m256d ar, __m256d ai, double *out) {
  const __m256d sign = _mm256_set1_pd(-0.0);
  if (conj) xi = _mm256_xor_pd(xi, sign);
  __m256d tr = xr, ti = xi;
  if (kScale) {
    tr = _mm256_cvtps_pd(_mm256_cvtpd_ps(
        _mm256_add_pd(_mm256_mul_pd(xr, ar), _mm256_mul_pd(_mm256_xor_pd(xi, sign), ai))));
    ti = _mm256_cvtps_pd(
        _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(xi, ar), _mm256_mul_pd(xr, ai))));
  }
  _mm256_storeu_pd(out, tr);
  _mm256_storeu_pd(out + 4, ti);
}

// The same for four complex values given as interleaved floats.
template <bool kScale>
inline void split_four(__m256 v, bool conj, __m256d ar, __m256d ai, double *out) {
  const __m256 parts = _mm256_permutevar8x32_ps(v, _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7));
  finish_four<kScale>(_mm256_cvtps_pd(_mm256_castps256_ps128(parts)),
                      _mm256_cvtps_pd(_mm256_extractf128_ps(parts, 1)), conj, ar, ai, out);
}

// t = alpha*v (kScale) or v for l = l0..l0+kc-1, j = j0..j0+nc-1 (nc <= 4)
// into one strip (8 doubles per l; columns past nc hold t of v = 0).
template <bool kScale>
void pack_exact_strip(const StripSource &src, c8 alpha, Index l0, Index kc, Index j0, Index nc,
                      double *out) {
  const __m256d ar = _mm256_set1_pd(alpha.re), ai = _mm256_set1_pd(alpha.im);
  Index l = 0;
  if (nc == kStripCols && !src.across) {
    // Two values of l of each column, widened to doubles (r, i, r', i'),
    // transposed in registers to the four columns' real parts and
    // imaginary parts at l and at l + 1.  Each column's line 1 KiB on is
    // asked for (runs too short for the hardware to follow).
    const c8 *col[4];
    for (int q = 0; q < 4; ++q)
      col[q] = src.b + l0 + (j0 + q) * src.ld;
    for (; l + 2 <= kc; l += 2) {
      if (l % 8 == 0)
#pragma GCC unroll 4
        for (int q = 0; q < 4; ++q)
          ask_for_lines(col[q] + l, 1024, 8 * sizeof(c8));
      const __m256d w[4] = {
          _mm256_cvtps_pd(_mm_loadu_ps(reinterpret_cast<const float *>(col[0] + l))),
          _mm256_cvtps_pd(_mm_loadu_ps(reinterpret_cast<const float *>(col[1] + l))),
          _mm256_cvtps_pd(_mm_loadu_ps(reinterpret_cast<const float *>(col[2] + l))),
          _mm256_cvtps_pd(_mm_loadu_ps(reinterpret_cast<const float *>(col[3] + l)))};
      const __m256d r01 = _mm256_unpacklo_pd(w[0], w[1]), r23 = _mm256_unpacklo_pd(w[2], w[3]);
      const __m256d i01 = _mm256_unpackhi_pd(w[0], w[1]), i23 = _mm256_unpackhi_pd(w[2], w[3]);
      finish_four<kScale>(_mm256_permute2f128_pd(r01, r23, 0x20),
                          _mm256_permute2f128_pd(i01, i23, 0x20), src.conj, ar, ai, out + 8 * l);
      finish_four<kScale>(_mm256_permute2f128_pd(r01, r23, 0x31),
                          _mm256_permute2f128_pd(i01, i23, 0x31), src.conj, ar, ai,
                          out + 8 * (l + 1));
    }
  } else if (nc == kStripCols) {
    // The four columns side by side at each l.
    for (; l < kc; ++l)
      split_four<kScale>(
          _mm256_loadu_ps(reinterpret_cast<const float *>(src.b + j0 + (l0 + l) * src.ld)),
          src.conj, ar, ai, out + 8 * l);
  }
  for (; l < kc; ++l) {
    c8 bl[kStripCols] = {};
    for (Index q = 0; q < nc; ++q) {
      const Index lg = l0 + l, jg = j0 + q;
      bl[q] = src.across ? src.b[jg + lg * src.ld] : src.b[lg + jg * src.ld];
    }
    split_four<kScale>(_mm256_loadu_ps(reinterpret_cast<const float *>(bl)), src.conj, ar, ai,
                       out + 8 * l);
  }
}

// kRows rows by kStrips strips (cols columns of them in C), kc terms
// t(l, j)*x(i, l), x(i, l) at a + i*a_row + l*a_step (conjugated for kConj);
// strip s of the packed t at tp + s*strip_step.
template <int kRows, int kStrips, bool kConj>
void few_rows_exact_tile(Index kc, const c8 *a, Index a_row, Index a_step, const double *tp,
                         Index strip_step, Start start, c8 beta, c8 *c, Index ldc, Index cols) {
  constexpr int kCols = kStripCols * kStrips;
  alignas(32) float local[2][kRows][kCols] = {}; // C's parts, [part][row][column]
  if (start != Start::zero)
    for (Index q = 0; q < cols; ++q)
      for (int i = 0; i < kRows; ++i) {
        local[0][i][q] = c[i + q * ldc].re;
        local[1][i][q] = c[i + q * ldc].im;
      }
  __m128 re[kRows][kStrips], im[kRows][kStrips];
  const __m256d br = _mm256_set1_pd(beta.re), bi = _mm256_set1_pd(beta.im);
  for (int i = 0; i < kRows; ++i)
    for (int s = 0; s < kStrips; ++s) {
      re[i][s] = _mm_load_ps(&local[0][i][kStripCols * s]);
      im[i][s] = _mm_load_ps(&local[1][i][kStripCols * s]);
      if (start == Start::scale) { // beta*C, exact form
        const __m256d cr = _mm256_cvtps_pd(re[i][s]), ci = _mm256_cvtps_pd(im[i][s]);
        re[i][s] = _mm256_cvtpd_ps(_mm256_sub_pd(_mm256_mul_pd(br, cr), _mm256_mul_pd(bi, ci)));
        im[i][s] = _mm256_cvtpd_ps(_mm256_add_pd(_mm256_mul_pd(br, ci), _mm256_mul_pd(bi, cr)));
      }
    }
  for (Index l = 0; l < kc; ++l) {
    __m256d tr[kStrips], ti[kStrips];
    for (int s = 0; s < kStrips; ++s) {
      tr[s] = _mm256_loadu_pd(tp + s * strip_step + 8 * l);
      ti[s] = _mm256_loadu_pd(tp + s * strip_step + 8 * l + 4);
    }
    for (int i = 0; i < kRows; ++i) {
      const c8 x = a[i * a_row + l * a_step];
      const __m256d xr = _mm256_set1_pd(x.re), xi = _mm256_set1_pd(kConj ? -x.im : x.im);
      for (int s = 0; s < kStrips; ++s) { // t*A: (tr*xr - ti*xi) + i(tr*xi + ti*xr)
        const __m256d pr = _mm256_sub_pd(_mm256_mul_pd(tr[s], xr), _mm256_mul_pd(ti[s], xi));
        const __m256d pi = _mm256_add_pd(_mm256_mul_pd(tr[s], xi), _mm256_mul_pd(ti[s], xr));
        re[i][s] = _mm_add_ps(re[i][s], _mm256_cvtpd_ps(pr));
        im[i][s] = _mm_add_ps(im[i][s], _mm256_cvtpd_ps(pi));
      }
    }
  }
  for (int i = 0; i < kRows; ++i)
    for (int s = 0; s < kStrips; ++s) {
      _mm_store_ps(&local[0][i][kStripCols * s], re[i][s]);
      _mm_store_ps(&local[1][i][kStripCols * s], im[i][s]);
    }
  for (Index q = 0; q < cols; ++q)
    for (int i = 0; i < kRows; ++i)
      c[i + q * ldc] = c8{local[0][i][q], local[1][i][q]};
}

template <int kStrips, bool kConj>
void few_rows_exact_tiles(Index rows, Index kc, const c8 *a, Index a_row, Index a_step,
                          const double *tp, Index strip_step, Start start, c8 beta, c8 *c,
                          Index ldc, Index cols) {
  switch (rows) {
  case 1:
    few_rows_exact_tile<1, kStrips, kConj>(kc, a, a_row, a_step, tp, strip_step, start, beta, c,
                                           ldc, cols);
    break;
  case 2:
    few_rows_exact_tile<2, kStrips, kConj>(kc, a, a_row, a_step, tp, strip_step, start, beta, c,
                                           ldc, cols);
    break;
  default:
    few_rows_exact_tile<3, kStrips, kConj>(kc, a, a_row, a_step, tp, strip_step, start, beta, c,
                                           ldc, cols);
    break;
  }
}

// Up to kFewRows rows by cols <= kGroupCols columns (one or two strips), x
// conjugated for `conj`.
void strips_of_tiles(Index cols, bool conj, Index rows, Index kc, const c8 *a, Index a_row,
                     Index a_step, const double *tp, Index strip_step, Start start, c8 beta, c8 *c,
                     Index ldc) {
  if (cols > kStripCols && conj)
    few_rows_exact_tiles<2, true>(rows, kc, a, a_row, a_step, tp, strip_step, start, beta, c, ldc,
                                  cols);
  else if (cols > kStripCols)
    few_rows_exact_tiles<2, false>(rows, kc, a, a_row, a_step, tp, strip_step, start, beta, c, ldc,
                                   cols);
  else if (conj)
    few_rows_exact_tiles<1, true>(rows, kc, a, a_row, a_step, tp, strip_step, start, beta, c, ldc,
                                  cols);
  else
    few_rows_exact_tiles<1, false>(rows, kc, a, a_row, a_step, tp, strip_step, start, beta, c, ldc,
                                   cols);
}

// Values l0..l0+kc-1 of a group of cols <= kGroupCols columns from j0: one
// strip, or two strip_step apart.
template <bool kScale>
void pack_exact_group(const StripSource &src, c8 alpha, Index l0, Index kc, Index j0, Index cols,
                      double *out, Index strip_step) {
  pack_exact_strip<kScale>(src, alpha, l0, kc, j0, cols < kStripCols ? cols : kStripCols, out);
  if (cols > kStripCols)
    pack_exact_strip<kScale>(src, alpha, l0, kc, j0 + kStripCols, cols - kStripCols,
                             out + strip_step);
}

// The column form, or (`dot`, op(A) = A^T or A^H) the dot form: per
// element temp := +0, then temp := temp + op(A)(i, l)*b(l, j) for l in
// order (exact products, single sums) in a workspace; C then takes
// alpha*temp, or alpha*temp + beta*C, both exact.
void few_rows_exact(const GemmBlock<c8> &g, bool dot) {
  alignas(32) double tpack[2 * kStripDepth * 2 * kStripCols];
  c8 sums[kFewRows * kGroupCols];
  const StripSource b = source_of_b(g);
  for (Index j0 = 0; j0 < g.n; j0 += kGroupCols) {
    const Index cols = g.n - j0 < kGroupCols ? g.n - j0 : kGroupCols;
    for (Index l0 = 0; l0 < g.k; l0 += kStripDepth) {
      const Index kc = g.k - l0 < kStripDepth ? g.k - l0 : kStripDepth;
      const Index strip_step = 2 * kStripCols * kc;
      if (dot)
        pack_exact_group<false>(b, g.alpha, l0, kc, j0, cols, tpack, strip_step);
      else
        pack_exact_group<true>(b, g.alpha, l0, kc, j0, cols, tpack, strip_step);
      if (dot) {
        const Start start = l0 > 0 ? Start::load : Start::zero;
        strips_of_tiles(cols, g.op_a == Op::conjugated, g.m, kc, g.a.p + l0, g.a.step, 1, tpack,
                        strip_step, start, c8{}, sums, g.m);
      } else {
        const Start start = l0 > 0 || is_one(g.beta) ? Start::load
                            : is_zero(g.beta)        ? Start::zero
                                                     : Start::scale;
        strips_of_tiles(cols, false, g.m, kc, g.a.p + l0 * g.a.step, 1, g.a.step, tpack, strip_step,
                        start, g.beta, g.c.p + j0 * g.c.step, g.c.step);
      }
    }
    if (dot) finish_complex_dot_sums<float>(g, 0, g.m, j0, cols, sums, g.m);
  }
}

// The dot form with few columns (n <= kFewRows): C^T = op(B)^T*op(A)^T by
// the same tiles, lane s holding row i0 + s of C, op(A) packed in strips
// and b(l, j) broadcast; each sum keeps its order (the product
// op(A)(i, l)*b(l, j) is the same exact form), and ends as above.
void few_cols_exact_dot(const GemmBlock<c8> &g) {
  alignas(32) double tpack[2 * kStripDepth * 2 * kStripCols];
  c8 sums[kFewRows * kGroupCols], block[kGroupCols * kFewRows];
  const StripSource a{g.a.p, g.a.step, false, g.op_a == Op::conjugated}; // A(l, i)
  const bool b_down = g.op_b == Op::plain;
  for (Index i0 = 0; i0 < g.m; i0 += kGroupCols) {
    const Index rows = g.m - i0 < kGroupCols ? g.m - i0 : kGroupCols;
    for (Index l0 = 0; l0 < g.k; l0 += kStripDepth) {
      const Index kc = g.k - l0 < kStripDepth ? g.k - l0 : kStripDepth;
      const Index strip_step = 2 * kStripCols * kc;
      pack_exact_group<false>(a, c8{}, l0, kc, i0, rows, tpack, strip_step);
      const Start start = l0 > 0 ? Start::load : Start::zero;
      // b(l, j) = B(l, j), or B(j, l) (conjugated for B^H).
      const c8 *x = b_down ? g.b.p + l0 : g.b.p + l0 * g.b.step;
      const Index x_row = b_down ? g.b.step : 1, x_step = b_down ? 1 : g.b.step;
      strips_of_tiles(rows, g.op_b == Op::conjugated, g.n, kc, x, x_row, x_step, tpack, strip_step,
                      start, c8{}, sums, g.n);
    }
    for (Index j = 0; j < g.n; ++j)
      for (Index i = 0; i < rows; ++i)
        block[i + j * kGroupCols] = sums[j + i * g.n];
    finish_complex_dot_sums<float>(g, i0, rows, 0, g.n, block, kGroupCols);
  }
}

} // namespace
} // namespace mox2::kernels::avx2
