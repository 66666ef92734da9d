// COMPLEX(4) GEMV for AVX-512.
//
// The dot forms (A^T, A^H): eight columns' sums side by side per vector,
// one (re, im) lane pair per column, in groups of sixteen or eight
// columns.  Each step takes eight rows: the columns' 64-byte pieces are
// transposed as 64-bit units so that vector r holds row r of every column,
// and the rows are added in order, so every lane pair keeps the scalar
// order temp := temp + op(A)(j, i)*x(i) for i = 1..m with the single-form
// product (ac - bd) + i(ad + bc).
//
// The column form (A) on contiguous y: the column pairs, several pairs per
// pass over y, eight rows per vector, each row
//   y(i) := (y(i) + t1*A(i, j)) + t2*A(i, j+1), pair after pair,
// with t = alpha*x(j) and every product t*a = (t.re*a.re - t.im*a.im) +
// i(t.re*a.im + t.im*a.re) in the single form, no zero test.
//
// Intrinsics with separate multiplies and adds: GCC 12 would turn the
// plain complex expressions into fused multiply-add-subtract instructions
// under AVX-512F whatever -ffp-contract says.
#include <immintrin.h>

#include <cstddef>
#include <cstring>

#include "kernels/avx512/gemv_stream_avx512.h"
#include "kernels/avx512/lanes_avx512.h"
#include "kernels/avx512/transpose_avx512.h"
#include "kernels/blas_access.h"
#include "kernels/gemv/gemv_sets.h"

// GCC 12 warns about the intrinsics' own undefined start values.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"

namespace mox2::kernels::avx512 {
namespace {

using Index = std::ptrdiff_t;

// q*x for lane pairs q = (re, im) and x given as its broadcast parts:
// re: q.re*x.re - q.im*x.im, im: q.im*x.re + q.re*x.im.
inline __m512 complex_times(__m512 q, __m512 xr, __m512 xi) {
  const __m512 a = _mm512_mul_ps(q, xr);
  const __m512 b = _mm512_mul_ps(_mm512_permute_ps(q, 0xB1), xi);
  return _mm512_mask_sub_ps(_mm512_add_ps(a, b), 0x5555, a, b);
}

// Columns j .. j + 8U - 1.
template <int U, Op kOp, bool kStream> void dot_columns(const GemvBlock<c8> &g, Index j) {
  const Index m = g.m, m8 = m - m % 8, lda = 2 * g.a.step; // lda in floats
  const float *c = reinterpret_cast<const float *>(g.a.p + j * g.a.step);
  const __m512 flip = kOp == Op::conjugated
                          ? _mm512_castsi512_ps(_mm512_set1_epi64(0x8000000000000000ll))
                          : _mm512_setzero_ps();
  __m512 acc[U];
  for (int u = 0; u < U; ++u)
    acc[u] = _mm512_setzero_ps();
  for (Index i = 0; i < m8; i += 8) {
    // Every group's block transposed first; then row by row, x(i + r)
    // broadcast once for all groups (fewer live registers than holding
    // all eight x values).
    __m512d p[U][8];
    for (int u = 0; u < U; ++u) {
      for (int k = 0; k < 8; ++k) {
        const float *col = c + (8 * u + k) * lda;
        if constexpr (kStream)
          prefetch_column<1024>(reinterpret_cast<const double *>(col), i, m, 8 * U * g.a.step);
        p[u][k] = _mm512_castps_pd(_mm512_loadu_ps(col + 2 * i));
      }
      transpose_8x8(p[u]);
    }
    for (int r = 0; r < 8; ++r) {
      const c8 xv = g.x.p[(i + r) * g.x.step];
      const __m512 xr = _mm512_set1_ps(xv.re), xi = _mm512_set1_ps(xv.im);
      for (int u = 0; u < U; ++u) {
        const __m512 row = _mm512_xor_ps(_mm512_castpd_ps(p[u][r]), flip);
        acc[u] = _mm512_add_ps(acc[u], complex_times(row, xr, xi));
      }
    }
  }
  for (Index i = m8; i < m; ++i) {
    const c8 xv = g.x.p[i * g.x.step];
    const __m512 xr = _mm512_set1_ps(xv.re), xi = _mm512_set1_ps(xv.im);
    for (int u = 0; u < U; ++u) {
      double e[8]; // each element's 8 bytes, which are only 4-byte aligned
      for (int k = 0; k < 8; ++k)
        std::memcpy(&e[k], c + (8 * u + k) * lda + 2 * i, sizeof e[k]);
      const __m512 row = _mm512_xor_ps(_mm512_castpd_ps(_mm512_loadu_pd(e)), flip);
      acc[u] = _mm512_add_ps(acc[u], complex_times(row, xr, xi));
    }
  }
  // y(j) := y(j) + alpha*temp (single form).
  const __m512 ar = _mm512_set1_ps(g.alpha.re), ai = _mm512_set1_ps(g.alpha.im);
  alignas(64) float s[16 * U];
  for (int u = 0; u < U; ++u)
    _mm512_store_ps(s + 16 * u, complex_times(acc[u], ar, ai));
  for (int k = 0; k < 8 * U; ++k) {
    c8 *yj = g.y.p + (j + k) * g.y.step;
    *yj = add(*yj, c8{s[2 * k], s[2 * k + 1]});
  }
}

// One 64-byte vector of complex values as lane pairs (re, im), eight
// COMPLEX(4) or four COMPLEX(8): the parts' vector (lanes_avx512.h)
// and the product t*q, t given as its broadcast parts, the operands in the
// order of mul(t, q): re: t.re*q.re - t.im*q.im, im: t.re*q.im + t.im*q.re.
template <class C> struct PairLanes;
template <> struct PairLanes<c8> : Lanes<float> {
  using P = float;
  static V times(V tr, V ti, V q) {
    const V a = _mm512_mul_ps(tr, q);
    const V b = _mm512_mul_ps(ti, _mm512_permute_ps(q, 0xB1));
    return _mm512_mask_sub_ps(_mm512_add_ps(a, b), 0x5555, a, b);
  }
};
template <> struct PairLanes<c16> : Lanes<double> {
  using P = double;
  static V times(V tr, V ti, V q) {
    const V a = _mm512_mul_pd(tr, q);
    const V b = _mm512_mul_pd(ti, _mm512_permute_pd(q, 0x55));
    return _mm512_mask_sub_pd(_mm512_add_pd(a, b), 0x55, a, b);
  }
};

// The column form's pass over contiguous y for columns j .. j + K - 1 (K
// even: K/2 pairs in order).
template <int K, bool kStream, class C> void update_columns(const GemvBlock<C> &g, Index j) {
  using L = PairLanes<C>;
  using P = typename L::P;
  const P *col[K];
  typename L::V tr[K], ti[K];
  for (int k = 0; k < K; ++k) {
    col[k] = reinterpret_cast<const P *>(g.a.p + (j + k) * g.a.step);
    const C t = mul(g.alpha, g.x.p[(j + k) * g.x.step]);
    tr[k] = L::splat(t.re);
    ti[k] = L::splat(t.im);
  }
  P *y = reinterpret_cast<P *>(g.y.p);
  const Index parts = 2 * g.m;
  Index i = 0;
  for (; i + L::kCount <= parts; i += L::kCount) {
    if constexpr (kStream)
      for (int k = 0; k < K; ++k)
        prefetch_column<512>(col[k], i, parts, K * 2 * g.a.step);
    typename L::V v = L::load(y + i);
    for (int k = 0; k < K; ++k)
      v = L::add(v, L::times(tr[k], ti[k], L::load(col[k] + i)));
    L::store(y + i, v);
  }
  if (i < parts) {
    const typename L::Mask live = L::first(parts - i);
    typename L::V v = L::load(live, y + i);
    for (int k = 0; k < K; ++k)
      v = L::add(v, L::times(tr[k], ti[k], L::load(live, col[k] + i)));
    L::store(live, y + i, v);
  }
}

// The column pairs from j0 (an even count of columns left) on contiguous
// y: eight columns per pass, then four, then two.
template <bool kStream, class C> void column_pairs(const GemvBlock<C> &g, Index j0) {
  Index j = j0;
  for (; j + 8 <= g.n; j += 8)
    update_columns<8, kStream>(g, j);
  if (j + 4 <= g.n) update_columns<4, kStream>(g, j), j += 4;
  if (j + 2 <= g.n) update_columns<2, kStream>(g, j);
}

// The column form on contiguous y with alpha not zero: the AVX2 routine
// scales y by beta (alpha = 0) and takes the lone leading column of an odd
// n (its own product form and zero skip); the pairs go here.
template <class C>
void column_form(const GemvBlock<C> &g, void (*avx2_gemv)(Op, const GemvBlock<C> &)) {
  GemvBlock<C> scale = g;
  scale.alpha = C{0, 0};
  avx2_gemv(Op::plain, scale);
  GemvBlock<C> rest = g;
  rest.beta = C{1, 0};
  const Index lone = g.n % 2;
  if (lone) {
    GemvBlock<C> column = rest;
    column.n = 1;
    avx2_gemv(Op::plain, column);
  }
  if (streams_from_memory(g.m, g.n, sizeof(C)))
    column_pairs<true>(rest, lone);
  else
    column_pairs<false>(rest, lone);
}

// Sixteen columns (two chains) from cache; eight from memory, where the
// column streams, not the adder, limit and more streams only compete for
// them, and where columns a multiple of 4 KiB apart share their
// first-level cache set row by row (sixteen streams exceed its ways).
template <Op kOp, bool kStream> Index columns_in_groups(const GemvBlock<c8> &g, Index j0) {
  Index j = j0;
  const bool alias = columns_share_cache_sets(g.a.step, sizeof(c8));
  for (; !kStream && !alias && j + 16 <= g.n; j += 16)
    dot_columns<2, kOp, kStream>(g, j);
  for (; j + 8 <= g.n; j += 8)
    dot_columns<1, kOp, kStream>(g, j);
  return j - j0;
}

template <Op kOp> Index columns_in_groups(const GemvBlock<c8> &g, Index j0) {
  return streams_from_memory(g.m, g.n, sizeof(c8)) ? columns_in_groups<kOp, true>(g, j0)
                                                   : columns_in_groups<kOp, false>(g, j0);
}

} // namespace

Index cgemv_dot_columns(Op op, const GemvBlock<c8> &g, Index j0) {
  if (op == Op::conjugated) return columns_in_groups<Op::conjugated>(g, j0);
  return columns_in_groups<Op::transposed>(g, j0);
}

// The AVX2 set's COMPLEX(4) GEMV (gemv_body.h), whose column form (on
// contiguous y) takes, after the lone leading column of an odd n, the
// column pairs here, and whose dot form the column groups of sixteen and
// eight here: y scaled by beta first (the AVX2 routine with alpha = 0),
// then with beta = 1 the lone column, these pairs or groups, and the rest
// of the dot form (an even count) through the AVX2 routine again.  Every
// column keeps its order.
void cgemv(Op op, const GemvBlock<c8> &g) {
  if (is_zero(g.alpha) || (op == Op::plain && g.y.step != 1)) {
    avx2::cgemv(op, g);
    return;
  }
  if (op == Op::plain) {
    column_form(g, avx2::cgemv);
    return;
  }
  GemvBlock<c8> scale = g;
  scale.alpha = c8{0, 0};
  avx2::cgemv(op, scale);
  GemvBlock<c8> rest = g;
  rest.beta = c8{1, 0};
  const Index lone = g.n % 2;
  if (lone) {
    GemvBlock<c8> column = rest;
    column.n = 1;
    avx2::cgemv(op, column);
  }
  const Index done = lone + cgemv_dot_columns(op, rest, lone);
  if (done == g.n) return;
  rest.n -= done;
  rest.a.p += done * g.a.step;
  rest.y.p += done * g.y.step;
  avx2::cgemv(op, rest);
}

// The AVX2 set's COMPLEX(8) GEMV with this set's column form.
void zgemv(Op op, const GemvBlock<c16> &g) {
  if (op == Op::plain && !is_zero(g.alpha) && g.y.step == 1)
    column_form(g, avx2::zgemv);
  else
    avx2::zgemv(op, g);
}

} // namespace mox2::kernels::avx512
