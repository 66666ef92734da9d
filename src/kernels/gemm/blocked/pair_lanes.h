// The blocked real GEMM for few rows and few columns: lanes as (i, j) pairs.
//
// m and n at most a vector's width, so that neither rows nor columns fill
// a tile.  Lane p of accumulator v holds the sum of one pair, x = p mod
// kXq and y = v*(kWidth/kXq) + p div kXq, where x runs over C's rows and y
// over its columns or the other way round (kXq, a power of two, at least
// x's count).  A term's factors reach the pairs' lanes by permutes: from
// one vector per l where the operand is contiguous across its rows or
// columns, else across vectors of kWidth values of l of its columns (zero
// past the edge); or by a broadcast from memory when an accumulator holds
// one y.  Needs V's lane picks (Perm, perm, select2, blend, step).
//
// Dot form, op(A) = A^T and op(B) = B: every temp keeps its order, +0,
// then temp := temp + op(A)(i, l)*b(l, j) for l in order; then C(i, j) :=
// alpha*temp, or alpha*temp + beta*C(i, j).
#pragma once

#include <cstddef>
#include <type_traits>

#include "frame/types.h"
#include "kernels/blocks.h"
#include "kernels/gemm/blocked/vector_policy.h"

namespace mox2::kernels::blocked {
inline namespace MOX2_ISA_NAMESPACE {

// Lane p of the result is value l of vector src(p) of regs, given idx
// lane p = l + kWidth*(src(p) mod 2) and pair[q], the lanes whose src(p)
// div 2 is q.
template <class V, int kRegs>
__attribute__((always_inline)) inline typename V::Vec
select_lanes(const typename V::Vec *regs, typename V::Perm idx, const typename V::Mask *pair) {
  static_assert(kRegs >= 2 && kRegs % 2 == 0, "vectors in pairs");
  typename V::Vec r = V::select2(regs[0], idx, regs[1]);
#pragma GCC unroll 8
  for (int q = 1; q < kRegs / 2; ++q)
    r = V::blend(pair[q], r, V::select2(regs[2 * q], idx, regs[2 * q + 1]));
  return r;
}

// The index (at l = 0) and pair masks of select_lanes for src(p) = p mod
// period, or (div) p div period.
template <class V>
void pair_picks(int period, bool div, typename V::Perm &idx, typename V::Mask *pair) {
  constexpr int W = V::kWidth;
  alignas(64) int lanes[W];
  unsigned bits[W / 2 > 0 ? W / 2 : 1] = {};
  for (int p = 0; p < W; ++p) {
    const int src = div ? p / period : p % period;
    lanes[p] = W * (src % 2);
    bits[src / 2] |= 1u << p;
  }
  idx = V::perm(lanes);
  for (int q = 0; q < W / 2; ++q)
    pair[q] = typename V::Mask(bits[q]);
}

// x's columns at xs + x*x_ld, y's at ys + y*y_ld (values of l contiguous).
template <class V, int kXq, int kVecs>
void pair_lanes_dot(const GemmBlock<typename V::T> &g, bool x_is_row) {
  using T = typename V::T;
  using Vec = typename V::Vec;
  constexpr int W = V::kWidth;
  constexpr int kPerVec = W / kXq; // values of y per accumulator
  constexpr int kYRegs = kPerVec > 1 ? kPerVec * kVecs : 1;
  const T *xs = x_is_row ? g.a.p : g.b.p, *ys = x_is_row ? g.b.p : g.a.p;
  const Index x_ld = x_is_row ? g.a.step : g.b.step, y_ld = x_is_row ? g.b.step : g.a.step;
  const Index xn = x_is_row ? g.m : g.n, yn = x_is_row ? g.n : g.m;
  typename V::Perm x_idx0, y_idx0;
  typename V::Mask x_pair[W / 2], y_pair[W / 2];
  pair_picks<V>(kXq, false, x_idx0, x_pair);
  pair_picks<V>(kXq, true, y_idx0, y_pair);
  Vec acc[kVecs];
  for (int v = 0; v < kVecs; ++v)
    acc[v] = V::zero();
  for (Index l0 = 0; l0 < g.k; l0 += W) {
    const int cnt = int(g.k - l0 < W ? g.k - l0 : W);
    // Column s's values l0..l0+cnt-1 (zero past the last column).
    auto column = [&](const T *base, Index ld, Index count, int s) {
      if (s >= count) return V::zero();
      return cnt == W ? V::load(base + s * ld + l0) : V::load_first(base + s * ld + l0, cnt);
    };
    Vec xr[kXq], yr[kYRegs];
    for (int s = 0; s < kXq; ++s)
      xr[s] = column(xs, x_ld, xn, s);
    if constexpr (kPerVec > 1)
      for (int s = 0; s < kYRegs; ++s)
        yr[s] = column(ys, y_ld, yn, s);
    typename V::Perm x_idx = x_idx0, y_idx = y_idx0;
    for (int l = 0; l < cnt; ++l) {
      const Vec x = select_lanes<V, kXq>(xr, x_idx, x_pair);
#pragma GCC unroll 8
      for (int v = 0; v < kVecs; ++v) {
        Vec y;
        if constexpr (kPerVec == 1)
          y = V::set1(load<T>(ys + v * y_ld + l0 + l));
        else
          y = select_lanes<V, kPerVec>(yr + v * kPerVec, y_idx, y_pair);
        acc[v] = V::add(acc[v], V::mul(x, y));
      }
      x_idx = V::step(x_idx);
      y_idx = V::step(y_idx);
    }
  }
  alignas(64) T temps[kVecs * W];
  for (int v = 0; v < kVecs; ++v)
    V::store(temps + v * W, acc[v]);
  for (Index y = 0; y < yn; ++y)
    for (Index x = 0; x < xn; ++x) {
      const T temp = temps[(y / kPerVec) * W + (y % kPerVec) * kXq + x];
      T *c = x_is_row ? g.c.p + x + y * g.c.step : g.c.p + y + x * g.c.step;
      store<T>(c, g.beta == T(0) ? g.alpha * temp : g.alpha * temp + g.beta * load<T>(c));
    }
}

// The column form on the same lanes, x over C's rows: op(A) = A gives one
// vector of A(:, l) per l; op(B) is read as columns of l (kBColumns, B) or
// one vector per l (B^T), or broadcast when an accumulator holds one
// column.  Each C(i, j) starts as C (zero for beta = 0, C unread; beta*C
// for beta not 1), then for l in order, where b = op(B)(l, j) is not zero
// (any b when the block adds every term), += (alpha*b)*A(i, l).
template <class V, int kXq, int kVecs, bool kBColumns>
void pair_lanes_column(const GemmBlock<typename V::T> &g) {
  using T = typename V::T;
  using Vec = typename V::Vec;
  constexpr int W = V::kWidth;
  constexpr int kPerVec = W / kXq;
  constexpr int kYRegs = kBColumns && kPerVec > 1 ? kPerVec * kVecs : 1;
  const bool tb = g.op_b != Op::plain;
  const Index b_l = tb ? g.b.step : 1, b_j = tb ? 1 : g.b.step;
  alignas(64) int lanes[W];
  for (int p = 0; p < W; ++p)
    lanes[p] = p % kXq;
  const typename V::Perm x_pick = V::perm(lanes);
  typename V::Perm y_rows[kVecs]; // B^T: lane p of accumulator v takes column v*kPerVec + p/kXq
  for (int v = 0; v < kVecs; ++v) {
    for (int p = 0; p < W; ++p)
      lanes[p] = v * kPerVec + p / kXq;
    y_rows[v] = V::perm(lanes);
  }
  typename V::Perm y_idx0;
  typename V::Mask y_pair[W / 2];
  pair_picks<V>(kXq, true, y_idx0, y_pair);
  const Vec valpha = V::set1(g.alpha);
  const typename V::Mask every = V::nonzero(V::set1(T(1)));
  alignas(64) T temps[kVecs * W] = {};
  auto lane_of = [&](Index i, Index j) { return (j / kPerVec) * W + (j % kPerVec) * kXq + i; };
  if (!(g.beta == T(0)))
    for (Index j = 0; j < g.n; ++j)
      for (Index i = 0; i < g.m; ++i) {
        const T c = load<T>(g.c.p + i + j * g.c.step);
        temps[lane_of(i, j)] = g.beta == T(1) ? c : g.beta * c;
      }
  Vec acc[kVecs];
  for (int v = 0; v < kVecs; ++v)
    acc[v] = V::load(temps + v * W);
  for (Index l0 = 0; l0 < g.k; l0 += W) {
    const int cnt = int(g.k - l0 < W ? g.k - l0 : W);
    Vec yr[kYRegs];
    if constexpr (kYRegs > 1)
      for (int s = 0; s < kYRegs; ++s)
        yr[s] = s >= g.n   ? V::zero()
                : cnt == W ? V::load(g.b.p + s * g.b.step + l0)
                           : V::load_first(g.b.p + s * g.b.step + l0, cnt);
    typename V::Perm y_idx = y_idx0;
    for (int l = 0; l < cnt; ++l) {
      const Vec a_col = V::load_first(g.a.p + (l0 + l) * g.a.step, int(g.m));
      const Vec x = V::select2(a_col, x_pick, a_col);
      Vec b_row;
      if constexpr (!kBColumns && kPerVec > 1)
        b_row = V::load_first(g.b.p + (l0 + l) * g.b.step, int(g.n));
#pragma GCC unroll 8
      for (int v = 0; v < kVecs; ++v) {
        Vec b;
        if constexpr (kPerVec == 1)
          b = V::set1(load<T>(g.b.p + v * b_j + (l0 + l) * b_l));
        else if constexpr (kBColumns)
          b = select_lanes<V, kPerVec>(yr + v * kPerVec, y_idx, y_pair);
        else
          b = V::select2(b_row, y_rows[v], b_row);
        const typename V::Mask live = g.skip_zeros ? V::nonzero(b) : every;
        acc[v] = V::add_where(acc[v], live, V::mul(V::mul(valpha, b), x));
      }
      y_idx = V::step(y_idx);
    }
  }
  for (int v = 0; v < kVecs; ++v)
    V::store(temps + v * W, acc[v]);
  for (Index j = 0; j < g.n; ++j)
    for (Index i = 0; i < g.m; ++i)
      store<T>(g.c.p + i + j * g.c.step, temps[lane_of(i, j)]);
}

// x's period: its count (4 or more) rounded up to a power of two.
constexpr int pair_period(Index count) {
  int q = 4;
  while (q < count)
    q *= 2;
  return q;
}

// Calls run(integral_constant kXq, integral_constant kVecs) for the
// instance of period xq (4, 8, or 16 with lanes for it) and vecs (1..8)
// accumulators; false, calling nothing, when there is none.
template <class V, class Run> bool pair_instance(int xq, Index vecs, Run run) {
  auto with_vecs = [&](auto kxq) {
    switch (vecs) {
    case 1: run(kxq, std::integral_constant<int, 1>{}); return true;
    case 2: run(kxq, std::integral_constant<int, 2>{}); return true;
    case 3: run(kxq, std::integral_constant<int, 3>{}); return true;
    case 4: run(kxq, std::integral_constant<int, 4>{}); return true;
    case 5: run(kxq, std::integral_constant<int, 5>{}); return true;
    case 6: run(kxq, std::integral_constant<int, 6>{}); return true;
    case 7: run(kxq, std::integral_constant<int, 7>{}); return true;
    case 8: run(kxq, std::integral_constant<int, 8>{}); return true;
    default: return false;
    }
  };
  if (xq == 4) return with_vecs(std::integral_constant<int, 4>{});
  if (xq == 8) return with_vecs(std::integral_constant<int, 8>{});
  if constexpr (V::kWidth >= 16)
    if (xq == 16) return with_vecs(std::integral_constant<int, 16>{});
  return false;
}

// The pair-lanes forms for a product whose rows and columns both leave a
// tile's lanes idle; false when the shape is not one for them.
template <class V> bool gemm_pair_lanes(const GemmBlock<typename V::T> &g) {
  constexpr int W = V::kWidth;
  if constexpr (!requires(typename V::Perm p) {
                  V::select2(V::zero(), p, V::zero());
                  V::step(p);
                }) {
    return false;
  } else {
    if (g.k < V::kShape.pair_min_depth || g.m < 4 || g.n < 4 || g.m > W || g.n > W) return false;
    if (g.m == W && g.n >= V::kShape.nr) return false; // the tiles fill their lanes
    if (g.op_a == Op::plain) {
      // The column form, x over C's rows: with a vector of columns (half a
      // vector when B is read down its columns) the few-row tiles do better.
      if (g.n >= (g.op_b != Op::plain ? W : W / 2 + 1)) return false;
      const int xq = pair_period(g.m);
      return pair_instance<V>(xq, (g.n + W / xq - 1) / (W / xq), [&](auto kxq, auto kvecs) {
        constexpr int kXq = decltype(kxq)::value, kVecs = decltype(kvecs)::value;
        if (g.op_b != Op::plain)
          pair_lanes_column<V, kXq, kVecs, false>(g);
        else
          pair_lanes_column<V, kXq, kVecs, true>(g);
      });
    }
    if (g.op_b != Op::plain) return false;
    // Permutes per l of each orientation: x's pick from its vectors, each
    // accumulator's y pick (none for a broadcast), a multiply and an add.
    constexpr Index kMaxVecs = 8;
    struct Choice {
      int xq;
      Index vecs, cost;
    };
    auto choice = [&](Index xn, Index yn) {
      const int xq = pair_period(xn), per_vec = W / xq;
      const Index vecs = (yn + per_vec - 1) / per_vec;
      return Choice{xq, vecs, (xq - 1) + vecs * ((per_vec > 1 ? per_vec - 1 : 0) + 2)};
    };
    const Choice rows = choice(g.m, g.n), cols = choice(g.n, g.m);
    // On a tie, the wider x (fewer picks inside the accumulators' loop).
    const bool x_is_row =
        cols.vecs > kMaxVecs ||
        (rows.vecs <= kMaxVecs &&
         (rows.cost < cols.cost || (rows.cost == cols.cost && rows.xq >= cols.xq)));
    const Choice c = x_is_row ? rows : cols;
    return pair_instance<V>(c.xq, c.vecs, [&](auto kxq, auto kvecs) {
      pair_lanes_dot<V, decltype(kxq)::value, decltype(kvecs)::value>(g, x_is_row);
    });
  }
}

} // namespace MOX2_ISA_NAMESPACE
} // namespace mox2::kernels::blocked
