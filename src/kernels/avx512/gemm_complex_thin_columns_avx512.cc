// The thin-product kernels' complex column form (op(A) = A) for AVX-512
// (no FMA).  Per element, C := beta*C (zeros for beta = 0, C unread;
// untouched for 1), then for l = 1..k in order and no zero test:
//   t := alpha*b(l, j), C(i, j) := C(i, j) + t*A(i, l).
// COMPLEX(8): every product (a + ib)(c + id) = (ac - bd) + i(ad + bc) in
// double.  COMPLEX(4): every product in the exact form (ac, bd, ad and bc
// exact in double, the difference and the sum in double, each part rounded
// once to single), the sums onto C in single precision.
//
// Four complex values fill one vector of doubles, parts interleaved as in
// memory: with x = (xr, xi) per lane pair and its swap s = (-xi, xr), the
// product t*x is x*tr + s*ti = (tr*xr - ti*xi, tr*xi + ti*xr), both sums
// as the product form writes them (u - v is u + (-v)).
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
constexpr Index kRun = 16; // terms per pass over the rows

// Lanes of the first n complex values (two parts each) of a vector of four.
__mmask8 first_complex(Index n) { return static_cast<__mmask8>((1u << (2 * n)) - 1); }

// x*tr + s*ti: the parts of t*x for four complex values x, in double.
__m512d product_parts(__m512d x, __m512d tr, __m512d ti) {
  const __m512d swap_sign =
      _mm512_castsi512_pd(_mm512_set_epi64(0, INT64_MIN, 0, INT64_MIN, 0, INT64_MIN, 0, INT64_MIN));
  const __m512d s = _mm512_xor_pd(_mm512_permute_pd(x, 0x55), swap_sign); // (-xi, xr)
  return _mm512_add_pd(_mm512_mul_pd(x, tr), _mm512_mul_pd(s, ti));
}

// Four complex values of one precision in vectors: loaded as doubles, a
// product's parts rounded to the values' precision, and sums (Acc) kept
// in it.
template <class P> struct Lanes;
template <> struct Lanes<float> {
  using Acc = __m256;
  static __m512d load(__mmask8 k, const Complex<float> *p) {
    return _mm512_cvtps_pd(_mm256_maskz_loadu_ps(k, reinterpret_cast<const float *>(p)));
  }
  static Acc acc_zero() { return _mm256_setzero_ps(); }
  static Acc acc_load(__mmask8 k, const Complex<float> *p) {
    return _mm256_maskz_loadu_ps(k, reinterpret_cast<const float *>(p));
  }
  static Acc round(__m512d parts) { return _mm512_cvtpd_ps(parts); }
  static Acc add(Acc x, Acc y) { return _mm256_add_ps(x, y); }
  static void store(__mmask8 k, Complex<float> *p, Acc v) {
    _mm256_mask_storeu_ps(reinterpret_cast<float *>(p), k, v);
  }
  static __m512d widen(Acc v) { return _mm512_cvtps_pd(v); }
};
template <> struct Lanes<double> {
  using Acc = __m512d;
  static __m512d load(__mmask8 k, const Complex<double> *p) {
    return _mm512_maskz_loadu_pd(k, reinterpret_cast<const double *>(p));
  }
  static Acc acc_zero() { return _mm512_setzero_pd(); }
  static Acc acc_load(__mmask8 k, const Complex<double> *p) { return load(k, p); }
  static Acc round(__m512d parts) { return parts; }
  static Acc add(Acc x, Acc y) { return _mm512_add_pd(x, y); }
  static void store(__mmask8 k, Complex<double> *p, Acc v) {
    _mm512_mask_storeu_pd(reinterpret_cast<double *>(p), k, v);
  }
  static __m512d widen(Acc v) { return v; }
};

// t = alpha*b (rounded to the values' precision) for n values of b, as
// doubles (tr, ti) per value.  Written with vector intrinsics: compiled
// from scalar code, GCC 12 forms multiply-add/subtract from this complex
// product even with contraction off.
template <class P> void times_alpha(Complex<P> alpha, const Complex<P> *b, Index n, double *t) {
  using L = Lanes<P>;
  const __m512d ar = _mm512_set1_pd(alpha.re), ai = _mm512_set1_pd(alpha.im);
  for (Index e = 0; e < n; e += 4) {
    const __mmask8 live = n - e >= 4 ? __mmask8(0xff) : first_complex(n - e);
    const __m512d rounded = L::widen(L::round(product_parts(L::load(live, b + e), ar, ai)));
    _mm512_mask_storeu_pd(t + 2 * e, live, rounded);
  }
}

// How a tile's sums start: from C, from zeros (beta = 0, C unread), or
// from beta*C.
enum class Start { load, zero, scale };

// One tile: `rows` rows (at most 4*kVecs) by kNc columns, kc terms.  tp
// holds per l and column t's parts in double (tr, ti).
template <class P, int kVecs, int kNc>
void tile(Index kc, const Complex<P> *a, Index lda, const double *tp, Start start, Complex<P> beta,
          Complex<P> *c, Index ldc, Index rows) {
  using L = Lanes<P>;
  __mmask8 live[kVecs];
  for (int v = 0; v < kVecs; ++v) {
    Index n = rows - 4 * v;
    live[v] = n >= 4 ? __mmask8(0xff) : n > 0 ? first_complex(n) : __mmask8(0);
  }
  typename L::Acc acc[kNc][kVecs];
  const __m512d br = _mm512_set1_pd(beta.re), bi = _mm512_set1_pd(beta.im);
  for (int q = 0; q < kNc; ++q)
    for (int v = 0; v < kVecs; ++v) {
      const Complex<P> *cp = c + q * ldc + 4 * v;
      if (start == Start::zero)
        acc[q][v] = L::acc_zero();
      else if (start == Start::load)
        acc[q][v] = L::acc_load(live[v], cp);
      else
        acc[q][v] = L::round(product_parts(L::load(live[v], cp), br, bi));
    }
  for (Index l = 0; l < kc; ++l) {
    __m512d x[kVecs];
#pragma GCC unroll 4
    for (int v = 0; v < kVecs; ++v)
      x[v] = L::load(live[v], a + l * lda + 4 * v);
#pragma GCC unroll 4
    for (int q = 0; q < kNc; ++q) {
      const __m512d tr = _mm512_set1_pd(tp[2 * q]), ti = _mm512_set1_pd(tp[2 * q + 1]);
#pragma GCC unroll 4
      for (int v = 0; v < kVecs; ++v)
        acc[q][v] = L::add(acc[q][v], L::round(product_parts(x[v], tr, ti)));
    }
    tp += 2 * kNc;
  }
  for (int q = 0; q < kNc; ++q)
    for (int v = 0; v < kVecs; ++v)
      L::store(live[v], c + q * ldc + 4 * v, acc[q][v]);
}

template <class P, int kVecs>
void tile_of(int nc, Index kc, const Complex<P> *a, Index lda, const double *tp, Start start,
             Complex<P> beta, Complex<P> *c, Index ldc, Index rows) {
  switch (nc) {
  case 4: tile<P, kVecs, 4>(kc, a, lda, tp, start, beta, c, ldc, rows); break;
  case 3: tile<P, kVecs, 3>(kc, a, lda, tp, start, beta, c, ldc, rows); break;
  case 2: tile<P, kVecs, 2>(kc, a, lda, tp, start, beta, c, ldc, rows); break;
  default: tile<P, kVecs, 1>(kc, a, lda, tp, start, beta, c, ldc, rows); break;
  }
}

template <class P> bool thin_columns(const ComplexGemm<Complex<P>> &g) {
  using C = Complex<P>;
  if (g.op_a != ComplexOp::plain) return false;
  C bpack[kDepth * kCols];
  alignas(64) double tpack[kDepth * kCols * 2];
  for (Index j0 = 0; j0 < g.n; j0 += kCols) {
    const int nc = g.n - j0 < kCols ? int(g.n - j0) : kCols;
    for (Index l0 = 0; l0 < g.k; l0 += kDepth) {
      const Index kc = g.k - l0 < kDepth ? g.k - l0 : kDepth;
      for (Index l = 0; l < kc; ++l)
        for (int q = 0; q < nc; ++q) {
          const Index lg = l0 + l, jg = j0 + q;
          C b = g.op_b == ComplexOp::plain ? g.b[lg + jg * g.ldb] : g.b[jg + lg * g.ldb];
          if (g.op_b == ComplexOp::conjugated) b.im = -b.im;
          bpack[l * nc + q] = b;
        }
      times_alpha(g.alpha, bpack, kc * nc, tpack);
      // Terms in runs of kRun over all rows: the run's columns of A are
      // read down in step (streams the memory reads well), C stays in cache.
      for (Index l1 = 0; l1 < kc; l1 += kRun) {
        const Index run = kc - l1 < kRun ? kc - l1 : kRun;
        const C *a = g.a + (l0 + l1) * g.lda;
        const double *tp = tpack + l1 * nc * 2;
        const Start start = l0 + l1 > 0 || is_one(g.beta) ? Start::load
                            : is_zero(g.beta)             ? Start::zero
                                                          : Start::scale;
        for (Index i0 = 0; i0 < g.m; i0 += kRows) {
          const Index rows = g.m - i0 < kRows ? g.m - i0 : kRows;
          C *c = g.c + i0 + j0 * g.ldc;
          if (rows <= 4)
            tile_of<P, 1>(nc, run, a + i0, g.lda, tp, start, g.beta, c, g.ldc, rows);
          else
            tile_of<P, kRowVecs>(nc, run, a + i0, g.lda, tp, start, g.beta, c, g.ldc, rows);
        }
      }
    }
  }
  return true;
}

} // namespace

bool gemm_c8_exact_columns_avx512(const ComplexGemm<c8> &g) { return thin_columns(g); }
bool gemm_c16_thin_columns_avx512(const ComplexGemm<c16> &g) { return thin_columns(g); }

} // namespace mox2::kernels::avx512
