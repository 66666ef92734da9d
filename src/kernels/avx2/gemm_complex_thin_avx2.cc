// The thin-product kernels' complex column form (op(A) = A), and their
// dot form for k <= 3 (below), for AVX2 (no FMA).  Column form, per
// element: C := beta*C (zeros for beta = 0, C unread; untouched for 1),
// then for l = 1..k in order and no zero test:
//   t := alpha*b(l, j), C(i, j) := C(i, j) + t*A(i, l).
// COMPLEX(8): every product (a + ib)(c + id) = (ac - bd) + i(ad + bc) in
// double.  COMPLEX(4): every product in the exact form (ac, bd, ad and bc
// exact in double, the difference and the sum in double, each part rounded
// once to single), the sums onto C in single precision.
//
// Two complex values fill one vector of doubles, parts interleaved as in
// memory: with x = (xr, xi) per lane pair and its swap s = (-xi, xr), the
// product t*x is x*tr + s*ti = (tr*xr - ti*xi, tr*xi + ti*xr), both sums
// as the product form writes them (u - v is u + (-v)).
#include <immintrin.h>

#include <cstddef>
#include <type_traits>

#include "kernels/avx2/gemm_complex_thin_few_avx2.h"
#include "kernels/avx2/gemm_complex_thin_lanes_avx2.h"
#include "kernels/gemm_complex/complex_blocked.h"
#include "runtime/scratch.h"

namespace mox2::kernels::avx2 {
namespace {

constexpr int kCols = 4;      // columns per tile (at most)
constexpr Index kDepth = 256; // l per block: the t values of a block sit in L1
constexpr Index kRun = 16;    // terms per pass over the rows

// One tile: 2*kVecs rows (one row in all when kHalf, kVecs = 1) by kNc
// columns, kc terms.  tp holds per l and column t's parts in double
// (tr, ti).
template <class P, int kVecs, int kNc, bool kHalf>
void tile(Index kc, const Complex<P> *a, Index lda, const double *tp, Start start, Complex<P> beta,
          Complex<P> *c, Index ldc) {
  static_assert(!kHalf || kVecs == 1);
  using L = Lanes<P>;
  typename L::Acc acc[kNc][kVecs];
  const __m256d br = _mm256_set1_pd(beta.re), bi = _mm256_set1_pd(beta.im);
  for (int q = 0; q < kNc; ++q)
    for (int v = 0; v < kVecs; ++v) {
      const Complex<P> *cp = c + q * ldc + 2 * v;
      if (start == Start::zero)
        acc[q][v] = L::acc_zero();
      else if (start == Start::load)
        acc[q][v] = L::template acc_load<kHalf>(cp);
      else
        acc[q][v] = L::round(product_parts(L::template load<kHalf>(cp), br, bi));
    }
  for (Index l = 0; l < kc; ++l) {
    __m256d x[kVecs], s[kVecs];
#pragma GCC unroll 4
    for (int v = 0; v < kVecs; ++v) {
      x[v] = L::template load<kHalf>(a + l * lda + 2 * v);
      s[v] = swapped_parts(x[v]);
    }
#pragma GCC unroll 4
    for (int q = 0; q < kNc; ++q) {
      const __m256d tr = _mm256_broadcast_sd(tp + 2 * q), ti = _mm256_broadcast_sd(tp + 2 * q + 1);
#pragma GCC unroll 4
      for (int v = 0; v < kVecs; ++v)
        acc[q][v] = L::add(
            acc[q][v], L::round(_mm256_add_pd(_mm256_mul_pd(x[v], tr), _mm256_mul_pd(s[v], ti))));
    }
    tp += 2 * kNc;
  }
  for (int q = 0; q < kNc; ++q)
    for (int v = 0; v < kVecs; ++v)
      L::template store<kHalf>(c + q * ldc + 2 * v, acc[q][v]);
}

// Rows 0..rows-1 of a block of kNc columns: tiles of four rows, then two,
// then one.
template <class P, int kNc>
void rows_of_tiles(Index rows, Index kc, const Complex<P> *a, Index lda, const double *tp,
                   Start start, Complex<P> beta, Complex<P> *c, Index ldc) {
  Index i = 0;
  for (; i + 4 <= rows; i += 4)
    tile<P, 2, kNc, false>(kc, a + i, lda, tp, start, beta, c + i, ldc);
  if (i + 2 <= rows) {
    tile<P, 1, kNc, false>(kc, a + i, lda, tp, start, beta, c + i, ldc);
    i += 2;
  }
  if (i < rows) tile<P, 1, kNc, true>(kc, a + i, lda, tp, start, beta, c + i, ldc);
}

template <class P>
void rows_of_tiles(int nc, Index rows, Index kc, const Complex<P> *a, Index lda, const double *tp,
                   Start start, Complex<P> beta, Complex<P> *c, Index ldc) {
  switch (nc) {
  case 4: rows_of_tiles<P, 4>(rows, kc, a, lda, tp, start, beta, c, ldc); break;
  case 3: rows_of_tiles<P, 3>(rows, kc, a, lda, tp, start, beta, c, ldc); break;
  case 2: rows_of_tiles<P, 2>(rows, kc, a, lda, tp, start, beta, c, ldc); break;
  default: rows_of_tiles<P, 1>(rows, kc, a, lda, tp, start, beta, c, ldc); break;
  }
}

// ---- Dot form with k <= 3 ---------------------------------------------------
//
// op(A) = A^T or A^H, k <= 3: op(A) is copied to columns (at, m apart,
// conjugated for A^H); per vector of two rows and column j, temp := +0,
// temp := temp + op(A)(i, l)*b(l, j) for l in order, then C(i, j) :=
// alpha*temp (beta = 0, C unread) or alpha*temp + beta*C(i, j), every
// product in the form above.
template <class P, int kK> void short_dot(const GemmBlock<Complex<P>> &g, const Complex<P> *at) {
  using L = Lanes<P>;
  const __m256d ar = _mm256_set1_pd(g.alpha.re), ai = _mm256_set1_pd(g.alpha.im);
  const __m256d br = _mm256_set1_pd(g.beta.re), bi = _mm256_set1_pd(g.beta.im);
  const bool zero = is_zero(g.beta);
  for (Index j = 0; j < g.n; ++j) {
    __m256d tr[kK], ti[kK];
    for (int l = 0; l < kK; ++l) {
      Complex<P> b = g.op_b == Op::plain ? g.b.p[l + j * g.b.step] : g.b.p[j + l * g.b.step];
      if (g.op_b == Op::conjugated) b.im = -b.im;
      tr[l] = _mm256_set1_pd(b.re);
      ti[l] = _mm256_set1_pd(b.im);
    }
    Complex<P> *cj = g.c.p + j * g.c.step;
    auto rows_of = [&](Index i, auto half) {
      constexpr bool kHalf = decltype(half)::value;
      typename L::Acc temp = L::acc_zero();
      for (int l = 0; l < kK; ++l)
        temp = L::add(
            temp, L::round(product_parts(L::template load<kHalf>(at + i + l * g.m), tr[l], ti[l])));
      typename L::Acc r = L::round(product_parts(L::widen(temp), ar, ai));
      if (!zero) r = L::add(r, L::round(product_parts(L::template load<kHalf>(cj + i), br, bi)));
      L::template store<kHalf>(cj + i, r);
    };
    // Two rows of C per vector, kGroup vectors at a time (independent
    // sums side by side), then the rest.
    constexpr int kGroup = 4;
    Index i = 0;
    for (; i + 2 * kGroup <= g.m; i += 2 * kGroup)
#pragma GCC unroll 4
      for (int q = 0; q < kGroup; ++q)
        rows_of(i + 2 * q, std::false_type{});
    for (; i + 2 <= g.m; i += 2)
      rows_of(i, std::false_type{});
    if (i < g.m) rows_of(i, std::true_type{});
  }
}

template <class P> bool thin_dot(const GemmBlock<Complex<P>> &g) {
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
  if constexpr (sizeof(P) == sizeof(double)) {
    if (g.m == 2 && g.k > 3) {
      // Two rows run faster in the blocked dot form, with the reference
      // loops' last step (the same order).
      GemmBlock<C> dot = g;
      dot.reference_dot_end = true;
      return complex_gemm_blocked(dot);
    }
  }
  if (g.k < 1 || g.k > 3) return false;
  Scratch scratch(static_cast<std::size_t>(g.m * g.k) * sizeof(C));
  C *at = static_cast<C *>(scratch.data());
  if (!at) return false;
  for (Index i = 0; i < g.m; ++i)
    for (Index l = 0; l < g.k; ++l) {
      C v = g.a.p[l + i * g.a.step];
      if (g.op_a == Op::conjugated) v.im = -v.im;
      at[i + l * g.m] = v;
    }
  switch (g.k) {
  case 1: short_dot<P, 1>(g, at); break;
  case 2: short_dot<P, 2>(g, at); break;
  default: short_dot<P, 3>(g, at); break;
  }
  return true;
}

template <class P> bool thin_product(const GemmBlock<Complex<P>> &g) {
  using C = Complex<P>;
  if (g.op_a != Op::plain) return thin_dot(g);
  if constexpr (sizeof(P) == sizeof(float)) {
    if (g.m <= kFewRows) {
      few_rows_exact(g, false);
      return true;
    }
  }
  C bpack[kDepth * kCols];
  alignas(32) double tpack[kDepth * kCols * 2];
  for (Index j0 = 0; j0 < g.n; j0 += kCols) {
    const int nc = g.n - j0 < kCols ? int(g.n - j0) : kCols;
    for (Index l0 = 0; l0 < g.k; l0 += kDepth) {
      const Index kc = g.k - l0 < kDepth ? g.k - l0 : kDepth;
      for (Index l = 0; l < kc; ++l)
        for (int q = 0; q < nc; ++q) {
          const Index lg = l0 + l, jg = j0 + q;
          C b = g.op_b == Op::plain ? g.b.p[lg + jg * g.b.step] : g.b.p[jg + lg * g.b.step];
          if (g.op_b == Op::conjugated) b.im = -b.im;
          bpack[l * nc + q] = b;
        }
      times_alpha(g.alpha, bpack, kc * nc, tpack);
      // Terms in runs of kRun over all rows: the run's columns of A are
      // read down in step (streams the memory reads well), C stays in cache.
      for (Index l1 = 0; l1 < kc; l1 += kRun) {
        const Index run = kc - l1 < kRun ? kc - l1 : kRun;
        const Start start = l0 + l1 > 0 || is_one(g.beta) ? Start::load
                            : is_zero(g.beta)             ? Start::zero
                                                          : Start::scale;
        rows_of_tiles<P>(nc, g.m, run, g.a.p + (l0 + l1) * g.a.step, g.a.step, tpack + l1 * nc * 2,
                         start, g.beta, g.c.p + j0 * g.c.step, g.c.step);
      }
    }
  }
  return true;
}

} // namespace

bool complex_gemm_thin(const GemmBlock<c8> &g) { return thin_product(g); }
bool complex_gemm_thin(const GemmBlock<c16> &g) { return thin_product(g); }

} // namespace mox2::kernels::avx2
