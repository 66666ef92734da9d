// The AVX-512 set's COMPLEX(4) thin products with few rows (or, in the
// dot form, few columns): vectors along C's rows.
//
// m <= kFewRows: lane s of a vector holds column j0 + s of C.  t(l, j) is
// packed in strips of eight columns, per l their real parts and then their
// imaginary parts, as doubles (each rounded to single first); A(i, l) is
// broadcast.  The products and sums are the exact form's
// (gemm_complex_thin_avx512.cc).  Included by that file only.
#pragma once

#include <immintrin.h>

#include <cstddef>

#include "kernels/avx512/convert_avx512.h"
#include "kernels/avx512/gemm_complex_thin_lanes_avx512.h"
#include "kernels/avx512/transpose_avx512.h"
#include "kernels/blas_access.h"
#include "kernels/gemm_complex/complex_blocked.h"
#include "kernels/page_touch.h"

namespace mox2::kernels::avx512 {
namespace {

constexpr Index kFewRows = 3;
constexpr Index kStripDepth = 128; // l per block: two strips' t sit in L1

// (re, im) of eight complex values held interleaved in two vectors.
inline __m512d reals_of(__m512d lo, __m512d hi) {
  return _mm512_permutex2var_pd(lo, _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14), hi);
}
inline __m512d imags_of(__m512d lo, __m512d hi) {
  return _mm512_permutex2var_pd(lo, _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15), hi);
}

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

// GCC 12 warns about the intrinsics' own undefined start values.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
// t = alpha*v (kScale) or v for l = l0..l0+kc-1, j = j0..j0+nc-1 (nc <= 8)
// into one strip (16 doubles per l; columns past nc hold t of v = 0).
template <bool kScale>
void pack_exact_strip(const StripSource &src, c8 alpha, Index l0, Index kc, Index j0, Index nc,
                      double *out) {
  using L = Lanes<float>;
  const __m512d ar = _mm512_set1_pd(alpha.re), ai = _mm512_set1_pd(alpha.im);
  const __m512d conj_sign =
      _mm512_castsi512_pd(_mm512_set_epi64(INT64_MIN, 0, INT64_MIN, 0, INT64_MIN, 0, INT64_MIN, 0));
  auto t_of = [&](__m512d x) {
    if (src.conj) x = _mm512_xor_pd(x, conj_sign);
    return kScale ? L::widen(L::round(product_parts(x, ar, ai))) : x;
  };
  Index l = 0;
  if (nc == 8 && !src.across) {
    // Eight values of l of each column, one complex value per 64-bit lane,
    // transposed in registers: vector l then holds the eight columns' b at
    // l, whose real and imaginary parts are separated and computed on as
    // doubles.  t = alpha*x is x.re*alpha.re + (-x.im)*alpha.im and
    // x.im*alpha.re + x.re*alpha.im, as in product_parts.  Each column's
    // line 1 KiB on is asked for (runs too short for the hardware to
    // follow).
    const __m512i reals = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m512i imags = _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m512d sign = _mm512_set1_pd(-0.0);
    for (; l + 8 <= kc; l += 8) {
      __m512d v[8];
      for (int q = 0; q < 8; ++q) {
        const c8 *p = src.b + (l0 + l) + (j0 + q) * src.ld;
        ask_for_lines(p, 1024, 8 * sizeof(c8));
        v[q] = _mm512_loadu_pd(reinterpret_cast<const double *>(p));
      }
      transpose_8x8(v);
      for (int e = 0; e < 8; ++e) {
        const __m512 z = _mm512_castpd_ps(v[e]);
        const __m512d xr = widen_floats(_mm512_castps512_ps256(_mm512_permutexvar_ps(reals, z)));
        __m512d xi = widen_floats(_mm512_castps512_ps256(_mm512_permutexvar_ps(imags, z)));
        if (src.conj) xi = _mm512_xor_pd(xi, sign);
        __m512d tr = xr, ti = xi;
        if (kScale) {
          tr = widen_floats(round_doubles(
              _mm512_add_pd(_mm512_mul_pd(xr, ar), _mm512_mul_pd(_mm512_xor_pd(xi, sign), ai))));
          ti = widen_floats(
              round_doubles(_mm512_add_pd(_mm512_mul_pd(xi, ar), _mm512_mul_pd(xr, ai))));
        }
        _mm512_storeu_pd(out + 16 * (l + e), tr);
        _mm512_storeu_pd(out + 16 * (l + e) + 8, ti);
      }
    }
  } else if (nc == 8) {
    // The eight columns side by side at each l.
    for (; l < kc; ++l) {
      const c8 *p = src.b + j0 + (l0 + l) * src.ld;
      const __m512d t0 = t_of(L::load(0xff, p)), t1 = t_of(L::load(0xff, p + 4));
      _mm512_storeu_pd(out + 16 * l, reals_of(t0, t1));
      _mm512_storeu_pd(out + 16 * l + 8, imags_of(t0, t1));
    }
  }
  for (; l < kc; ++l) {
    c8 bl[8] = {};
    for (Index q = 0; q < nc; ++q) {
      const Index lg = l0 + l, jg = j0 + q;
      bl[q] = src.across ? src.b[jg + lg * src.ld] : src.b[lg + jg * src.ld];
      if (src.conj) bl[q].im = -bl[q].im;
    }
    alignas(64) double t[16];
    if (kScale) {
      times_alpha(alpha, bl, 8, t);
    } else {
      for (int q = 0; q < 8; ++q) {
        t[2 * q] = bl[q].re;
        t[2 * q + 1] = bl[q].im;
      }
    }
    for (int q = 0; q < 8; ++q) {
      out[16 * l + q] = t[2 * q];
      out[16 * l + 8 + q] = t[2 * q + 1];
    }
  }
}

#pragma GCC diagnostic pop

// kRows rows by kStrips strips (cols columns of them in C), kc terms
// t(l, j)*x(i, l), x(i, l) at a + i*a_row + l*a_step (conjugated for kConj);
// strip s of the packed t at tp + s*strip_step.
template <int kRows, int kStrips, bool kConj>
void few_rows_exact_tile(Index kc, const c8 *a, Index a_row, Index a_step, const double *tp,
                         Index strip_step, Start start, c8 beta, c8 *c, Index ldc, Index cols) {
  alignas(64) float local[2][kRows][8 * kStrips] = {}; // C's parts, [part][row][column]
  if (start != Start::zero)
    for (Index q = 0; q < cols; ++q)
      for (int i = 0; i < kRows; ++i) {
        local[0][i][q] = c[i + q * ldc].re;
        local[1][i][q] = c[i + q * ldc].im;
      }
  __m256 re[kRows][kStrips], im[kRows][kStrips];
  const __m512d br = _mm512_set1_pd(beta.re), bi = _mm512_set1_pd(beta.im);
  for (int i = 0; i < kRows; ++i)
    for (int s = 0; s < kStrips; ++s) {
      re[i][s] = _mm256_load_ps(&local[0][i][8 * s]);
      im[i][s] = _mm256_load_ps(&local[1][i][8 * s]);
      if (start == Start::scale) { // beta*C, exact form
        const __m512d cr = widen_floats(re[i][s]), ci = widen_floats(im[i][s]);
        re[i][s] = round_doubles(_mm512_sub_pd(_mm512_mul_pd(br, cr), _mm512_mul_pd(bi, ci)));
        im[i][s] = round_doubles(_mm512_add_pd(_mm512_mul_pd(br, ci), _mm512_mul_pd(bi, cr)));
      }
    }
  for (Index l = 0; l < kc; ++l) {
    __m512d tr[kStrips], ti[kStrips];
    for (int s = 0; s < kStrips; ++s) {
      tr[s] = _mm512_loadu_pd(tp + s * strip_step + 16 * l);
      ti[s] = _mm512_loadu_pd(tp + s * strip_step + 16 * l + 8);
    }
    for (int i = 0; i < kRows; ++i) {
      const c8 x = a[i * a_row + l * a_step];
      const __m512d xr = _mm512_set1_pd(x.re), xi = _mm512_set1_pd(kConj ? -x.im : x.im);
      for (int s = 0; s < kStrips; ++s) { // t*A: (tr*xr - ti*xi) + i(tr*xi + ti*xr)
        const __m512d pr = _mm512_sub_pd(_mm512_mul_pd(tr[s], xr), _mm512_mul_pd(ti[s], xi));
        const __m512d pi = _mm512_add_pd(_mm512_mul_pd(tr[s], xi), _mm512_mul_pd(ti[s], xr));
        re[i][s] = _mm256_add_ps(re[i][s], round_doubles(pr));
        im[i][s] = _mm256_add_ps(im[i][s], round_doubles(pi));
      }
    }
  }
  for (int i = 0; i < kRows; ++i)
    for (int s = 0; s < kStrips; ++s) {
      _mm256_store_ps(&local[0][i][8 * s], re[i][s]);
      _mm256_store_ps(&local[1][i][8 * s], im[i][s]);
    }
  for (Index q = 0; q < cols; ++q)
    for (int i = 0; i < kRows; ++i)
      c[i + q * ldc] = c8{local[0][i][q], local[1][i][q]};
}

template <int kStrips, bool kConj = false>
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

// Up to kFewRows rows by cols <= 16 columns (one or two strips), x
// conjugated for `conj`.
void strips_of_tiles(Index cols, bool conj, Index rows, Index kc, const c8 *a, Index a_row,
                     Index a_step, const double *tp, Index strip_step, Start start, c8 beta, c8 *c,
                     Index ldc) {
  if (cols > 8 && conj)
    few_rows_exact_tiles<2, true>(rows, kc, a, a_row, a_step, tp, strip_step, start, beta, c, ldc,
                                  cols);
  else if (cols > 8)
    few_rows_exact_tiles<2, false>(rows, kc, a, a_row, a_step, tp, strip_step, start, beta, c, ldc,
                                   cols);
  else if (conj)
    few_rows_exact_tiles<1, true>(rows, kc, a, a_row, a_step, tp, strip_step, start, beta, c, ldc,
                                  cols);
  else
    few_rows_exact_tiles<1, false>(rows, kc, a, a_row, a_step, tp, strip_step, start, beta, c, ldc,
                                   cols);
}

// Values l0..l0+kc-1 of a group of cols <= 16 columns from j0: one strip,
// or two strip_step apart.
template <bool kScale>
void pack_exact_group(const StripSource &src, c8 alpha, Index l0, Index kc, Index j0, Index cols,
                      double *out, Index strip_step) {
  pack_exact_strip<kScale>(src, alpha, l0, kc, j0, cols < 8 ? cols : 8, out);
  if (cols > 8) pack_exact_strip<kScale>(src, alpha, l0, kc, j0 + 8, cols - 8, out + strip_step);
}

// The column form, or (`dot`, op(A) = A^T or A^H) the dot form: per
// element temp := +0, then temp := temp + op(A)(i, l)*b(l, j) for l in
// order (exact products, single sums) in a workspace; C then takes
// alpha*temp, or alpha*temp + beta*C, both exact.
void few_rows_exact(const GemmBlock<c8> &g, bool dot) {
  alignas(64) double tpack[2 * kStripDepth * 16];
  c8 sums[kFewRows * 16];
  const StripSource b = source_of_b(g);
  for (Index j0 = 0; j0 < g.n; j0 += 16) {
    const Index cols = g.n - j0 < 16 ? g.n - j0 : 16;
    for (Index l0 = 0; l0 < g.k; l0 += kStripDepth) {
      const Index kc = g.k - l0 < kStripDepth ? g.k - l0 : kStripDepth;
      const Index strip_step = 16 * kc;
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
  alignas(64) double tpack[2 * kStripDepth * 16];
  c8 sums[kFewRows * 16], block[16 * kFewRows];
  const StripSource a{g.a.p, g.a.step, false, g.op_a == Op::conjugated}; // A(l, i)
  const bool b_down = g.op_b == Op::plain;
  for (Index i0 = 0; i0 < g.m; i0 += 16) {
    const Index rows = g.m - i0 < 16 ? g.m - i0 : 16;
    for (Index l0 = 0; l0 < g.k; l0 += kStripDepth) {
      const Index kc = g.k - l0 < kStripDepth ? g.k - l0 : kStripDepth;
      const Index strip_step = 16 * kc;
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
        block[i + j * 16] = sums[j + i * g.n];
    finish_complex_dot_sums<float>(g, i0, rows, 0, g.n, block, 16);
  }
}

} // namespace
} // namespace mox2::kernels::avx512
