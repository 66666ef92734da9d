// COMPLEX(4) column form with every product exact, for AVX-512 (no FMA):
// the thin-product kernels' order.  Per element, C := beta*C (exact form;
// zeros for beta = 0, C unread; untouched for 1), then for l = 1..k in
// order and no zero test:
//   t := alpha*b(l, j), C(i, j) := C(i, j) + t*A(i, l),
// both products in the exact form: ac, bd, ad and bc exact in double, the
// difference and the sum in double, each part rounded once to single; the
// sum onto C in single precision.
//
// Four complex rows fill one vector of doubles, parts interleaved as in
// memory: with x = (xr, xi) per lane pair and its swap s = (-xi, xr), the
// product is x*tr + s*ti = (tr*xr - ti*xi, tr*xi + ti*xr), both sums as
// the exact form writes them (u - v is u + (-v)).
#include <immintrin.h>

#include <cstddef>

#include "kernels/gemm_complex_column_form.h"

namespace mox2::kernels::avx512 {
namespace {

using Index = std::ptrdiff_t;

constexpr int kRowVecs = 2;   // vectors of four complex rows per tile
constexpr int kCols = 4;      // columns per tile
constexpr Index kDepth = 256; // l per block: the t values of a block sit in L1
constexpr int kRows = 4 * kRowVecs;

// Lanes of the first n complex values (two floats each) of a vector of four.
__mmask8 first_complex(Index n) { return static_cast<__mmask8>((1u << (2 * n)) - 1); }

// x*tr + s*ti for four complex values x (parts interleaved, in double)
// and t = (tr, ti): the exact form's parts before rounding.
__m512d exact_parts(__m512d x, __m512d tr, __m512d ti) {
  const __m512d swap_sign =
      _mm512_castsi512_pd(_mm512_set_epi64(0, INT64_MIN, 0, INT64_MIN, 0, INT64_MIN, 0, INT64_MIN));
  const __m512d s = _mm512_xor_pd(_mm512_permute_pd(x, 0x55), swap_sign); // (-xi, xr)
  return _mm512_add_pd(_mm512_mul_pd(x, tr), _mm512_mul_pd(s, ti));
}

// t = alpha*b (exact form, rounded to single) for n values of b, as
// doubles (tr, ti) per value.  Written with vector intrinsics: compiled
// from scalar code, GCC 12 forms multiply-add/subtract from this complex
// product even with contraction off.
void exact_times_alpha(c8 alpha, const c8 *b, Index n, double *t) {
  const __m512d ar = _mm512_set1_pd(alpha.re), ai = _mm512_set1_pd(alpha.im);
  for (Index e = 0; e < n; e += 4) {
    const __mmask8 live = n - e >= 4 ? __mmask8(0xff) : first_complex(n - e);
    const __m512d x =
        _mm512_cvtps_pd(_mm256_maskz_loadu_ps(live, reinterpret_cast<const float *>(b + e)));
    const __m512d rounded = _mm512_cvtps_pd(_mm512_cvtpd_ps(exact_parts(x, ar, ai)));
    _mm512_mask_storeu_pd(t + 2 * e, live, rounded);
  }
}

// How a tile's sums start: from C, from zeros (beta = 0, C unread), or
// from beta*C in the exact form.
enum class Start { load, zero, scale };

// One tile: `rows` rows (at most 4*kVecs) by kNc columns, kc terms.  tp
// holds per l and column t's parts in double (tr, ti).
template <int kVecs, int kNc>
void tile(Index kc, const c8 *a, Index lda, const double *tp, Start start, c8 beta, c8 *c,
          Index ldc, Index rows) {
  __mmask8 live[kVecs];
  for (int v = 0; v < kVecs; ++v) {
    Index n = rows - 4 * v;
    live[v] = n >= 4 ? __mmask8(0xff) : n > 0 ? first_complex(n) : __mmask8(0);
  }
  __m256 acc[kNc][kVecs];
  const __m512d br = _mm512_set1_pd(beta.re), bi = _mm512_set1_pd(beta.im);
  for (int q = 0; q < kNc; ++q)
    for (int v = 0; v < kVecs; ++v) {
      float *cp = reinterpret_cast<float *>(c + q * ldc + 4 * v);
      if (start == Start::zero)
        acc[q][v] = _mm256_setzero_ps();
      else if (start == Start::load)
        acc[q][v] = _mm256_maskz_loadu_ps(live[v], cp);
      else
        acc[q][v] = _mm512_cvtpd_ps(
            exact_parts(_mm512_cvtps_pd(_mm256_maskz_loadu_ps(live[v], cp)), br, bi));
    }
  for (Index l = 0; l < kc; ++l) {
    __m512d x[kVecs];
    const float *al = reinterpret_cast<const float *>(a + l * lda);
#pragma GCC unroll 4
    for (int v = 0; v < kVecs; ++v)
      x[v] = _mm512_cvtps_pd(_mm256_maskz_loadu_ps(live[v], al + 8 * v));
#pragma GCC unroll 4
    for (int q = 0; q < kNc; ++q) {
      const __m512d tr = _mm512_set1_pd(tp[2 * q]), ti = _mm512_set1_pd(tp[2 * q + 1]);
#pragma GCC unroll 4
      for (int v = 0; v < kVecs; ++v)
        acc[q][v] = _mm256_add_ps(acc[q][v], _mm512_cvtpd_ps(exact_parts(x[v], tr, ti)));
    }
    tp += 2 * kNc;
  }
  for (int q = 0; q < kNc; ++q)
    for (int v = 0; v < kVecs; ++v)
      _mm256_mask_storeu_ps(reinterpret_cast<float *>(c + q * ldc + 4 * v), live[v], acc[q][v]);
}

template <int kVecs>
void tile_of(int nc, Index kc, const c8 *a, Index lda, const double *tp, Start start, c8 beta,
             c8 *c, Index ldc, Index rows) {
  switch (nc) {
  case 4: tile<kVecs, 4>(kc, a, lda, tp, start, beta, c, ldc, rows); break;
  case 3: tile<kVecs, 3>(kc, a, lda, tp, start, beta, c, ldc, rows); break;
  case 2: tile<kVecs, 2>(kc, a, lda, tp, start, beta, c, ldc, rows); break;
  default: tile<kVecs, 1>(kc, a, lda, tp, start, beta, c, ldc, rows); break;
  }
}

} // namespace

bool gemm_c8_exact_columns_avx512(const ComplexGemm<c8> &g) {
  if (g.op_a != ComplexOp::plain) return false;
  c8 bpack[kDepth * kCols];
  alignas(64) double tpack[kDepth * kCols * 2];
  for (Index j0 = 0; j0 < g.n; j0 += kCols) {
    const int nc = g.n - j0 < kCols ? int(g.n - j0) : kCols;
    for (Index l0 = 0; l0 < g.k; l0 += kDepth) {
      const Index kc = g.k - l0 < kDepth ? g.k - l0 : kDepth;
      for (Index l = 0; l < kc; ++l)
        for (int q = 0; q < nc; ++q) {
          const Index lg = l0 + l, jg = j0 + q;
          c8 b = g.op_b == ComplexOp::plain ? g.b[lg + jg * g.ldb] : g.b[jg + lg * g.ldb];
          if (g.op_b == ComplexOp::conjugated) b.im = -b.im;
          bpack[l * nc + q] = b;
        }
      exact_times_alpha(g.alpha, bpack, kc * nc, tpack);
      const c8 *a = g.a + l0 * g.lda;
      const Start start = l0 > 0 || is_one(g.beta) ? Start::load
                          : is_zero(g.beta)        ? Start::zero
                                                   : Start::scale;
      for (Index i0 = 0; i0 < g.m; i0 += kRows) {
        const Index rows = g.m - i0 < kRows ? g.m - i0 : kRows;
        c8 *c = g.c + i0 + j0 * g.ldc;
        if (rows <= 4)
          tile_of<1>(nc, kc, a + i0, g.lda, tpack, start, g.beta, c, g.ldc, rows);
        else
          tile_of<kRowVecs>(nc, kc, a + i0, g.lda, tpack, start, g.beta, c, g.ldc, rows);
      }
    }
  }
  return true;
}

} // namespace mox2::kernels::avx512
