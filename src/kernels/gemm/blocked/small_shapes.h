// The blocked real GEMM's forms for products with nothing to accumulate,
// small products and short depths, which the packed tiles would not repay.
#pragma once

#include <cstddef>

#include "frame/types.h"
#include "kernels/blocks.h"
#include "kernels/gemm/blocked/vector_policy.h"
#include "runtime/scratch.h"

namespace mox2::kernels::blocked {
inline namespace MOX2_ISA_NAMESPACE {

// ---- Degenerate cases (nothing to accumulate) ------------------------------

// alpha = 0: C := 0 (beta = 0, C unread) or beta*C.  Column form with
// k = 0 is the same scaling.
template <class T> void scale_c(const GemmBlock<T> &g) {
  for (Index j = 0; j < g.n; ++j) {
    T *c = g.c.p + j * g.c.step;
    if (g.beta == T(0)) {
      for (Index i = 0; i < g.m; ++i)
        store<T>(c + i, T(0));
    } else if (!(g.beta == T(1))) {
      for (Index i = 0; i < g.m; ++i)
        store<T>(c + i, g.beta * load<T>(c + i));
    }
  }
}

// Dot form with k = 0: temp stays +0.
template <class T> void dot_empty(const GemmBlock<T> &g) {
  const T r0 = g.alpha * T(0);
  for (Index j = 0; j < g.n; ++j) {
    T *c = g.c.p + j * g.c.step;
    for (Index i = 0; i < g.m; ++i)
      store<T>(c + i, g.beta == T(0) ? r0 : r0 + g.beta * load<T>(c + i));
  }
}

// Small column-form products (at most two vectors of rows, small_side
// columns and values of l), unpacked: up to four columns of C at a time in
// registers, each with the tile's order: start (+0, C, or beta*C), then
// for l in order and b = op(B)(l, j) not zero (any b when the block adds
// every term), += (alpha*b)*A(:, l).
template <class V, int kVecs, int kCols>
__attribute__((always_inline)) inline void small_columns(const GemmBlock<typename V::T> &g,
                                                         Index j0, const int *rows) {
  using T = typename V::T;
  using Vec = typename V::Vec;
  constexpr int W = V::kWidth;
  const bool tb = g.op_b != Op::plain;
  const Index b_step = tb ? 1 : g.b.step, b_next = tb ? g.b.step : 1;
  Vec acc[kCols][kVecs];
#pragma GCC unroll 16
  for (int j = 0; j < kCols; ++j)
#pragma GCC unroll 16
    for (int v = 0; v < kVecs; ++v) {
      if (g.beta == T(0)) {
        acc[j][v] = V::zero();
      } else {
        const Vec x = V::load_first(g.c.p + (j0 + j) * g.c.step + v * W, rows[v]);
        acc[j][v] = g.beta == T(1) ? x : V::mul(V::set1(g.beta), x);
      }
    }
  const Vec va = V::set1(g.alpha);
  const T *b = g.b.p + j0 * b_step;
  for (Index l = 0; l < g.k; ++l, b += b_next) {
    Vec a[kVecs];
#pragma GCC unroll 16
    for (int v = 0; v < kVecs; ++v)
      a[v] = V::load_first(g.a.p + l * g.a.step + v * W, rows[v]);
#pragma GCC unroll 16
    for (int j = 0; j < kCols; ++j) {
      const Vec bj = V::set1(load<T>(b + j * b_step));
      const Vec t = V::mul(va, bj);
      if (g.skip_zeros) {
        const auto live = V::nonzero(bj);
#pragma GCC unroll 16
        for (int v = 0; v < kVecs; ++v)
          acc[j][v] = V::add_where(acc[j][v], live, V::mul(t, a[v]));
      } else {
#pragma GCC unroll 16
        for (int v = 0; v < kVecs; ++v)
          acc[j][v] = V::add(acc[j][v], V::mul(t, a[v]));
      }
    }
  }
#pragma GCC unroll 16
  for (int j = 0; j < kCols; ++j)
#pragma GCC unroll 16
    for (int v = 0; v < kVecs; ++v)
      V::store_first(g.c.p + (j0 + j) * g.c.step + v * W, acc[j][v], rows[v]);
}

template <class V, int kVecs> void small_column_form(const GemmBlock<typename V::T> &g) {
  constexpr int W = V::kWidth;
  int rows[kVecs];
  for (int v = 0; v < kVecs; ++v) {
    const Index r = g.m - v * W;
    rows[v] = int(r < 0 ? 0 : r > W ? W : r);
  }
  Index j0 = 0;
  for (; j0 + 4 <= g.n; j0 += 4)
    small_columns<V, kVecs, 4>(g, j0, rows);
  switch (g.n - j0) {
  case 3: small_columns<V, kVecs, 3>(g, j0, rows); break;
  case 2: small_columns<V, kVecs, 2>(g, j0, rows); break;
  case 1: small_columns<V, kVecs, 1>(g, j0, rows); break;
  default: break;
  }
}

// ---- Short depth: k of 8 or less -------------------------------------------

// Products with k <= short_depth (at most 8) and at least a vector of rows, unpacked
// (op(A) = A^T copied to columns first, `at`, m apart): a group of columns
// of C (four for k <= 4, else two) at a time, each term's b (column form:
// temp = alpha*b) held in registers while a vector of rows of each column
// is computed in one go.  Column form: its start (+0, C or beta*C), then
// its k terms temp*A(i, l) in l order (b = 0 skipped when zeros skip).
// Dot form: temp from +0 over its k terms A(l, i)*b in l order, then
// alpha*temp or alpha*temp + beta*C.

// One vector of rows (n of them, kFull: all W) of kCols columns.  kMasked:
// terms add under their flags.  C is read unless `zero`, then scaled by
// beta unless `one` (column form).
template <class V, int kK, int kCols, bool kDot, bool kMasked, bool kFull>
__attribute__((always_inline)) inline void
short_depth_rows(const typename V::T *at, Index lda, Index i, int n,
                 const typename V::Vec (&t)[kCols][kK], const typename V::Mask (&live)[kCols][kK],
                 typename V::Vec valpha, typename V::Vec vbeta, bool zero, bool one,
                 typename V::T *c, Index ldc) {
  using Vec = typename V::Vec;
  Vec a[kK];
#pragma GCC unroll 16
  for (int l = 0; l < kK; ++l)
    a[l] = kFull ? V::load(at + i + l * lda) : V::load_first(at + i + l * lda, n);
#pragma GCC unroll 16
  for (int j = 0; j < kCols; ++j) {
    typename V::T *cj = c + j * ldc + i;
    Vec acc = V::zero();
    if constexpr (kDot) {
#pragma GCC unroll 16
      for (int l = 0; l < kK; ++l)
        acc = V::add(acc, V::mul(a[l], t[j][l]));
      acc = V::mul(valpha, acc);
      if (!zero) acc = V::add(acc, V::mul(vbeta, kFull ? V::load(cj) : V::load_first(cj, n)));
    } else {
      if (!zero) {
        acc = kFull ? V::load(cj) : V::load_first(cj, n);
        if (!one) acc = V::mul(vbeta, acc);
      }
#pragma GCC unroll 16
      for (int l = 0; l < kK; ++l)
        acc = kMasked ? V::add_where(acc, live[j][l], V::mul(t[j][l], a[l]))
                      : V::add(acc, V::mul(t[j][l], a[l]));
    }
    if (kFull)
      V::store(cj, acc);
    else
      V::store_first(cj, acc, n);
  }
}

template <class V, int kK, int kCols, bool kDot, bool kMasked>
void short_depth_group(const typename V::T *at, Index m, Index lda,
                       const typename V::Vec (&t)[kCols][kK],
                       const typename V::Mask (&live)[kCols][kK], typename V::T alpha,
                       typename V::T beta, typename V::T *c, Index ldc) {
  using T = typename V::T;
  constexpr int W = V::kWidth;
  const typename V::Vec valpha = V::set1(alpha), vbeta = V::set1(beta);
  const bool zero = beta == T(0), one = beta == T(1);
  Index i = 0;
  for (; i + W <= m; i += W)
    short_depth_rows<V, kK, kCols, kDot, kMasked, true>(at, lda, i, W, t, live, valpha, vbeta, zero,
                                                        one, c, ldc);
  if (i < m)
    short_depth_rows<V, kK, kCols, kDot, kMasked, false>(at, lda, i, int(m - i), t, live, valpha,
                                                         vbeta, zero, one, c, ldc);
}

template <class V, int kK, int kCols, bool kDot>
void short_depth_columns(const GemmBlock<typename V::T> &g, const typename V::T *at, Index j0) {
  using T = typename V::T;
  using Vec = typename V::Vec;
  const bool tb = g.op_b != Op::plain;
  const Index b_step = tb ? 1 : g.b.step, b_next = tb ? g.b.step : 1;
  Vec t[kCols][kK];
  typename V::Mask live[kCols][kK];
  bool any_zero = false;
#pragma GCC unroll 16
  for (int j = 0; j < kCols; ++j)
#pragma GCC unroll 16
    for (int l = 0; l < kK; ++l) {
      const T b = load<T>(g.b.p + (j0 + j) * b_step + l * b_next);
      t[j][l] = kDot ? V::set1(b) : V::mul(V::set1(g.alpha), V::set1(b));
      live[j][l] = V::nonzero(V::set1(b));
      any_zero = any_zero || b == T(0);
    }
  const T *a = kDot ? at : g.a.p;
  const Index lda = kDot ? g.m : g.a.step;
  T *c = g.c.p + j0 * g.c.step;
  if (!kDot && g.skip_zeros && any_zero)
    short_depth_group<V, kK, kCols, kDot, true>(a, g.m, lda, t, live, g.alpha, g.beta, c, g.c.step);
  else
    short_depth_group<V, kK, kCols, kDot, false>(a, g.m, lda, t, live, g.alpha, g.beta, c,
                                                 g.c.step);
}

template <class V, int kK, bool kDot>
void short_depth_columns_all(const GemmBlock<typename V::T> &g, const typename V::T *at) {
  constexpr int kCols = kK <= 4 ? 4 : 2; // the temps stay in registers
  Index j0 = 0;
  for (; j0 + kCols <= g.n; j0 += kCols)
    short_depth_columns<V, kK, kCols, kDot>(g, at, j0);
  for (; j0 < g.n; ++j0)
    short_depth_columns<V, kK, 1, kDot>(g, at, j0);
}

// False, with nothing written, when the dot form's copy of A has no
// workspace.
template <class V, int kK> bool short_depth_form(const GemmBlock<typename V::T> &g) {
  using T = typename V::T;
  if (g.op_a == Op::plain) {
    short_depth_columns_all<V, kK, false>(g, g.a.p);
    return true;
  }
  Scratch scratch(std::size_t(g.m) * kK * sizeof(T));
  T *at = static_cast<T *>(scratch.data());
  if (!at) return false;
  for (Index i = 0; i < g.m; ++i)
    for (int l = 0; l < kK; ++l)
      at[i + l * g.m] = load<T>(g.a.p + l + i * g.a.step);
  short_depth_columns_all<V, kK, true>(g, at);
  return true;
}

} // namespace MOX2_ISA_NAMESPACE
} // namespace mox2::kernels::blocked
