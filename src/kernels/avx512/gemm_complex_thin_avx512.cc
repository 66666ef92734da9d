// The thin-product kernels' complex column form (op(A) = A), and their
// dot form for k <= 3 (below), for AVX-512 (no FMA).  Column form, per
// element: C := beta*C (zeros for beta = 0, C unread; untouched for 1),
// then for l = 1..k in order and no zero test:
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

#include "kernels/avx512/convert_avx512.h"
#include "kernels/avx512/transpose_avx512.h"
#include "kernels/gemm_complex/complex_blocked.h"
#include "runtime/scratch.h"

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
  const __m512d s = _mm512_xor_pd(swap_pairs(x), swap_sign); // (-xi, xr)
  return _mm512_add_pd(_mm512_mul_pd(x, tr), _mm512_mul_pd(s, ti));
}

// Four complex values of one precision in vectors: loaded as doubles, a
// product's parts rounded to the values' precision, and sums (Acc) kept
// in it.
template <class P> struct Lanes;
template <> struct Lanes<float> {
  using Acc = __m256;
  static __m512d load(__mmask8 k, const Complex<float> *p) {
    return widen_floats(_mm256_maskz_loadu_ps(k, reinterpret_cast<const float *>(p)));
  }
  static Acc acc_zero() { return _mm256_setzero_ps(); }
  static Acc acc_load(__mmask8 k, const Complex<float> *p) {
    return _mm256_maskz_loadu_ps(k, reinterpret_cast<const float *>(p));
  }
  static Acc round(__m512d parts) { return round_doubles(parts); }
  static Acc add(Acc x, Acc y) { return _mm256_add_ps(x, y); }
  static void store(__mmask8 k, Complex<float> *p, Acc v) {
    _mm256_mask_storeu_ps(reinterpret_cast<float *>(p), k, v);
  }
  static __m512d widen(Acc v) { return widen_floats(v); }
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

// ---- COMPLEX(4) with few rows: vectors along C's rows ----------------------
//
// m <= kFewRows: lane s of a vector holds column j0 + s of C.  t(l, j) is
// packed in strips of eight columns, per l their real parts and then their
// imaginary parts, as doubles (each rounded to single first); A(i, l) is
// broadcast.  The products and sums are the exact form's, as above.

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
StripSource source_of_b(const ComplexGemm<c8> &g) {
  return {g.b, g.ldb, g.op_b != ComplexOp::plain, g.op_b == ComplexOp::conjugated};
}

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
    // Eight values of l of each column, then transposes.
    alignas(64) double re_parts[8][8], im_parts[8][8];
    for (; l + 8 <= kc; l += 8) {
      for (int q = 0; q < 8; ++q) {
        const c8 *p = src.b + (l0 + l) + (j0 + q) * src.ld;
        const __m512d t0 = t_of(L::load(0xff, p)), t1 = t_of(L::load(0xff, p + 4));
        _mm512_store_pd(re_parts[q], reals_of(t0, t1));
        _mm512_store_pd(im_parts[q], imags_of(t0, t1));
      }
      transpose_8x8(re_parts[0], 8, out + 16 * l, 16);
      transpose_8x8(im_parts[0], 8, out + 16 * l + 8, 16);
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
void few_rows_exact(const ComplexGemm<c8> &g, bool dot) {
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
        strips_of_tiles(cols, g.op_a == ComplexOp::conjugated, g.m, kc, g.a + l0, g.lda, 1, tpack,
                        strip_step, start, c8{}, sums, g.m);
      } else {
        const Start start = l0 > 0 || is_one(g.beta) ? Start::load
                            : is_zero(g.beta)        ? Start::zero
                                                     : Start::scale;
        strips_of_tiles(cols, false, g.m, kc, g.a + l0 * g.lda, 1, g.lda, tpack, strip_step, start,
                        g.beta, g.c + j0 * g.ldc, g.ldc);
      }
    }
    if (dot) finish_complex_dot_sums<float>(g, 0, g.m, j0, cols, sums, g.m);
  }
}

// The dot form with few columns (n <= kFewRows): C^T = op(B)^T*op(A)^T by
// the same tiles, lane s holding row i0 + s of C, op(A) packed in strips
// and b(l, j) broadcast; each sum keeps its order (the product
// op(A)(i, l)*b(l, j) is the same exact form), and ends as above.
void few_cols_exact_dot(const ComplexGemm<c8> &g) {
  alignas(64) double tpack[2 * kStripDepth * 16];
  c8 sums[kFewRows * 16], block[16 * kFewRows];
  const StripSource a{g.a, g.lda, false, g.op_a == ComplexOp::conjugated}; // A(l, i)
  const bool b_down = g.op_b == ComplexOp::plain;
  for (Index i0 = 0; i0 < g.m; i0 += 16) {
    const Index rows = g.m - i0 < 16 ? g.m - i0 : 16;
    for (Index l0 = 0; l0 < g.k; l0 += kStripDepth) {
      const Index kc = g.k - l0 < kStripDepth ? g.k - l0 : kStripDepth;
      const Index strip_step = 16 * kc;
      pack_exact_group<false>(a, c8{}, l0, kc, i0, rows, tpack, strip_step);
      const Start start = l0 > 0 ? Start::load : Start::zero;
      // b(l, j) = B(l, j), or B(j, l) (conjugated for B^H).
      const c8 *x = b_down ? g.b + l0 : g.b + l0 * g.ldb;
      const Index x_row = b_down ? g.ldb : 1, x_step = b_down ? 1 : g.ldb;
      strips_of_tiles(rows, g.op_b == ComplexOp::conjugated, g.n, kc, x, x_row, x_step, tpack,
                      strip_step, start, c8{}, sums, g.n);
    }
    for (Index j = 0; j < g.n; ++j)
      for (Index i = 0; i < rows; ++i)
        block[i + j * 16] = sums[j + i * g.n];
    finish_complex_dot_sums<float>(g, i0, rows, 0, g.n, block, 16);
  }
}

// ---- Dot form with k <= 3 ---------------------------------------------------
//
// op(A) = A^T or A^H, k <= 3: op(A) is copied to columns (at, m apart,
// conjugated for A^H); per vector of four rows and column j, temp := +0,
// temp := temp + op(A)(i, l)*b(l, j) for l in order, then C(i, j) :=
// alpha*temp (beta = 0, C unread) or alpha*temp + beta*C(i, j), every
// product in the form above.
template <class P, int kK> void short_dot(const ComplexGemm<Complex<P>> &g, const Complex<P> *at) {
  using L = Lanes<P>;
  const __m512d ar = _mm512_set1_pd(g.alpha.re), ai = _mm512_set1_pd(g.alpha.im);
  const __m512d br = _mm512_set1_pd(g.beta.re), bi = _mm512_set1_pd(g.beta.im);
  const bool zero = is_zero(g.beta);
  for (Index j = 0; j < g.n; ++j) {
    __m512d tr[kK], ti[kK];
    for (int l = 0; l < kK; ++l) {
      Complex<P> b = g.op_b == ComplexOp::plain ? g.b[l + j * g.ldb] : g.b[j + l * g.ldb];
      if (g.op_b == ComplexOp::conjugated) b.im = -b.im;
      tr[l] = _mm512_set1_pd(b.re);
      ti[l] = _mm512_set1_pd(b.im);
    }
    Complex<P> *cj = g.c + j * g.ldc;
    // Four rows of C per vector, kGroup vectors at a time (independent
    // sums side by side), then the rest one vector at a time.
    constexpr int kGroup = 4;
    auto rows_of = [&](Index i, __mmask8 live) {
      typename L::Acc temp = L::acc_zero();
      for (int l = 0; l < kK; ++l)
        temp = L::add(temp, L::round(product_parts(L::load(live, at + i + l * g.m), tr[l], ti[l])));
      typename L::Acc r = L::round(product_parts(L::widen(temp), ar, ai));
      if (!zero) r = L::add(r, L::round(product_parts(L::load(live, cj + i), br, bi)));
      L::store(live, cj + i, r);
    };
    Index i = 0;
    for (; i + 4 * kGroup <= g.m; i += 4 * kGroup)
#pragma GCC unroll 4
      for (int q = 0; q < kGroup; ++q)
        rows_of(i + 4 * q, __mmask8(0xff));
    for (; i < g.m; i += 4)
      rows_of(i, g.m - i >= 4 ? __mmask8(0xff) : first_complex(g.m - i));
  }
}

template <class P> bool thin_dot(const ComplexGemm<Complex<P>> &g) {
  using C = Complex<P>;
  if constexpr (sizeof(P) == sizeof(float)) {
    if (g.m <= kFewRows && g.k > 3) {
      few_rows_exact(g, true);
      return true;
    }
    if (g.n <= kFewRows && g.k > 3 && g.m >= 16) { // (fewer rows: the loops are faster)
      few_cols_exact_dot(g);
      return true;
    }
  }
  if (g.k < 1 || g.k > 3) return false;
  Scratch scratch(static_cast<std::size_t>(g.m * g.k) * sizeof(C));
  C *at = static_cast<C *>(scratch.data());
  if (!at) return false;
  for (Index i = 0; i < g.m; ++i)
    for (Index l = 0; l < g.k; ++l) {
      C v = g.a[l + i * g.lda];
      if (g.op_a == ComplexOp::conjugated) v.im = -v.im;
      at[i + l * g.m] = v;
    }
  switch (g.k) {
  case 1: short_dot<P, 1>(g, at); break;
  case 2: short_dot<P, 2>(g, at); break;
  default: short_dot<P, 3>(g, at); break;
  }
  return true;
}

template <class P> bool thin_product(const ComplexGemm<Complex<P>> &g) {
  using C = Complex<P>;
  if (g.op_a != ComplexOp::plain) return thin_dot(g);
  if constexpr (sizeof(P) == sizeof(float)) {
    if (g.m <= kFewRows) {
      few_rows_exact(g, false);
      return true;
    }
  }
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

bool complex_gemm_thin(const ComplexGemm<c8> &g) { return thin_product(g); }
bool complex_gemm_thin(const ComplexGemm<c16> &g) { return thin_product(g); }

} // namespace mox2::kernels::avx512
