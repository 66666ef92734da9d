// The blocked real GEMM for few rows: vectors along the rows of C.
//
// Column-form products of up to four rows, or of 8 or 12, fewer than a
// vector, and from a vector up to the set's few_rows_below rows in groups
// of at most three: the vectors run along C's rows instead, lane s of a
// tile vector holding C(i, j0 + s).  op(B) is packed in panels of kWidth
// columns, group l holding temp = alpha*op(B)(l, j0..j0+kWidth-1) (zero
// past the edge); a panel with a zero among its real values (when zeros
// skip) also keeps its b values, whose lanes say which terms are added in
// the groups that hold a zero.  A is read in place.  Every element keeps
// the column form's order: its start (+0, C or beta*C), then +=
// temp*A(i, l) for l in order, b = 0 skipped.  Rows beside the block may
// take the dot form over the same panels (DotRows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "frame/types.h"
#include "kernels/blocks.h"
#include "kernels/gemm/blocked/packing.h"
#include "kernels/gemm/blocked/vector_policy.h"
#include "runtime/scratch.h"

namespace mox2::kernels::blocked {
inline namespace MOX2_ISA_NAMESPACE {

// Panels side by side in a tile of kRows rows: up to 24 accumulators.
template <int kRows> constexpr int kFewPanels = kRows <= 4 ? 4 : kRows <= 8 ? 3 : 2;

// The panels of a block, bp := alpha*b, a chunk of l at a time while the
// chunk is in cache.  raw is nonzero exactly where b is: with keep_raw (dot
// rows read them) every panel's b values; otherwise, where zeros skip, the
// b values of each panel with a zero (marked not plain; from the chunk of
// its first zero on, the chunks before it copied again) and, once any panel
// has one, ones for the others (a run of panels with a zero takes the
// masked tile whole, which reads raw for its flags only).
template <class V, class T = typename V::T>
void pack_b_wide(const T *b, Index ldb, bool transposed, Index cols, Index kc, bool skips,
                 bool keep_raw, T alpha, T *__restrict bp, T *__restrict raw, bool *plain) {
  constexpr int W = V::kWidth;
  constexpr Index kChunk = 64;
  bool any_zero = false;
  for (Index q = 0; q < cols; q += W) {
    const int s_end = int(cols - q < W ? cols - q : W);
    const T *src = transposed ? b + q : b + q * ldb;
    T *bq = bp + q * kc, *rq = raw + q * kc;
    bool zero = false;
    // A group is one vector; the lanes past s_end are padding.
    const unsigned real = s_end == W ? ~0u : (1u << s_end) - 1;
    const auto va = V::set1(alpha);
    for (Index l0 = 0; l0 < kc; l0 += kChunk) {
      const Index l1 = kc - l0 < kChunk ? kc : l0 + kChunk;
      unsigned zeros = 0;
      if (kPutsEveryValue<V, W> && !keep_raw && !zero) {
        // Scaled, and looked at for zeros, as each group is in registers.
        copy_panel<V, W>(
            src, ldb, transposed, s_end, l0, l1,
            bq, [&](T * at, typename V::Vec v) __attribute__((always_inline)) {
              if (skips) zeros |= V::zero_lanes(v);
              V::store(at, V::mul(va, v));
            });
      } else {
        T *values = keep_raw || zero ? rq : bq;
        copy_panel<V, W>(src, ldb, transposed, s_end, l0, l1, values);
        // Scaled, and looked at for zeros, in one pass.
        for (Index l = l0; l < l1; ++l) {
          const auto v = V::load(values + l * W);
          if (skips && !zero) zeros |= V::zero_lanes(v);
          V::store(bq + l * W, V::mul(va, v));
        }
      }
      if ((zeros & real) != 0) {
        zero = true;
        if (!keep_raw) copy_panel<V, W>(src, ldb, transposed, s_end, 0, l1, rq);
      }
    }
    plain[q / W] = !zero;
    any_zero = any_zero || zero;
  }
  if (any_zero && !keep_raw)
    for (Index q = 0; q < cols; q += W)
      if (plain[q / W])
        for (Index e = q * kc; e < (q + W) * kc; ++e)
          raw[e] = T(1);
}

// Where a tile's dot rows keep their temps and find their x and y: temps
// (temp_row apart per row) at the tile's first column, x at its block's
// first value of l, y at its first column.
template <class T> struct DotTile {
  T *temps;
  Index temp_row;
  const T *x;
  Index x_row, x_step;
  T *y;
  Index y_row, y_step;
  bool first, last; // first block of l (temps start at +0), last (y updated)
  T alpha;
};

// The groups l = 0..kc-1 of `panels` panels (step apart in raw) in which
// a lane of raw is zero, in increasing order, then kc.
template <class V>
void list_zero_groups(const typename V::T *raw, Index step, int panels, Index kc,
                      std::int32_t *groups) {
  constexpr int W = V::kWidth;
  for (Index l = 0; l < kc; ++l) {
    unsigned zeros = 0;
    for (int p = 0; p < panels; ++p)
      zeros |= V::zero_lanes(V::load(raw + p * step + l * W));
    if (zeros) *groups++ = std::int32_t(l);
  }
  *groups = std::int32_t(kc);
}

// kRows rows (and kDots dot rows) by kPanels panels (cols columns of C,
// the rest lanes of padding) over kc values of l; panels panel_step apart
// in bp and raw (the b values: for kMasked a term is added where its b
// lane is not zero; dot rows multiply them).  kMasked: `groups` lists the
// groups with a zero lane (list_zero_groups); only those look at b.
template <class V, int kRows, int kDots, int kPanels, bool kMasked>
__attribute__((always_inline)) inline void
few_rows_tile(Index kc, const typename V::T *a, Index lda, const typename V::T *__restrict bp,
              const typename V::T *__restrict raw, Index panel_step, Start start,
              typename V::T beta, typename V::T *c, Index ldc, Index cols,
              const DotTile<typename V::T> &dt, const std::int32_t *groups = nullptr) {
  using T = typename V::T;
  using Vec = typename V::Vec;
  constexpr int W = V::kWidth;
  constexpr int kD = kDots > 0 ? kDots : 1;
  Vec acc[kRows][kPanels], dacc[kD][kPanels];
  alignas(64) T lanes[W];
#pragma GCC unroll 16
  for (int r = 0; r < kRows; ++r)
#pragma GCC unroll 16
    for (int p = 0; p < kPanels; ++p) {
      if (start == Start::zero) {
        acc[r][p] = V::zero();
        continue;
      }
#pragma GCC unroll 16
      for (int s = 0; s < W; ++s) {
        const Index j = p * W + s;
        lanes[s] = j < cols ? load<T>(c + r + j * ldc) : T(0);
      }
      acc[r][p] = V::load(lanes);
      if (start == Start::scale_load) acc[r][p] = V::mul(V::set1(beta), acc[r][p]);
    }
  if constexpr (kDots > 0)
#pragma GCC unroll 16
    for (int d = 0; d < kDots; ++d)
#pragma GCC unroll 16
      for (int p = 0; p < kPanels; ++p)
        dacc[d][p] = dt.first ? V::zero() : V::load(dt.temps + d * dt.temp_row + p * W);
  auto add_group = [&](auto masked, Index l) __attribute__((always_inline)) {
    constexpr bool kMask = decltype(masked)::value;
    Vec t[kPanels], bv[kPanels];
    typename V::Mask live[kPanels];
#pragma GCC unroll 4
    for (int p = 0; p < kPanels; ++p) {
      t[p] = V::load(bp + p * panel_step + l * W);
      if constexpr (kMask || kDots > 0) bv[p] = V::load(raw + p * panel_step + l * W);
      if constexpr (kMask) live[p] = V::nonzero(bv[p]);
    }
#pragma GCC unroll 16
    for (int r = 0; r < kRows; ++r) {
      const Vec ar = V::set1(load<T>(a + r + l * lda));
#pragma GCC unroll 4
      for (int p = 0; p < kPanels; ++p) {
        if constexpr (kMask)
          acc[r][p] = V::add_where(acc[r][p], live[p], V::mul(t[p], ar));
        else
          acc[r][p] = V::add(acc[r][p], V::mul(t[p], ar));
      }
    }
    if constexpr (kDots > 0)
#pragma GCC unroll 4
      for (int d = 0; d < kDots; ++d) {
        const Vec xv = V::set1(load<T>(dt.x + d * dt.x_row + l * dt.x_step));
#pragma GCC unroll 4
        for (int p = 0; p < kPanels; ++p)
          dacc[d][p] = V::add(dacc[d][p], V::mul(bv[p], xv));
      }
  };
  if constexpr (kMasked) {
    for (Index l = 0;; ++groups) {
      for (const Index stop = *groups; l < stop; ++l)
        add_group(std::false_type{}, l);
      if (l == kc) break;
      add_group(std::true_type{}, l++);
    }
  } else {
    for (Index l = 0; l < kc; ++l)
      add_group(std::false_type{}, l);
  }
#pragma GCC unroll 16
  for (int r = 0; r < kRows; ++r)
#pragma GCC unroll 16
    for (int p = 0; p < kPanels; ++p) {
      V::store(lanes, acc[r][p]);
#pragma GCC unroll 16
      for (int s = 0; s < W; ++s) {
        const Index j = p * W + s;
        if (j < cols) store<T>(c + r + j * ldc, lanes[s]);
      }
    }
  if constexpr (kDots > 0)
#pragma GCC unroll 16
    for (int d = 0; d < kDots; ++d)
#pragma GCC unroll 16
      for (int p = 0; p < kPanels; ++p) {
        if (!dt.last) {
          V::store(dt.temps + d * dt.temp_row + p * W, dacc[d][p]);
          continue;
        }
        // y := y + alpha*temp
        T *y = dt.y + d * dt.y_row + p * W * dt.y_step;
        const Index here = cols - p * W;
        for (int s = 0; s < W; ++s)
          lanes[s] = s < here ? load<T>(y + s * dt.y_step) : T(0);
        V::store(lanes, V::add(V::load(lanes), V::mul(V::set1(dt.alpha), dacc[d][p])));
        for (int s = 0; s < W && s < here; ++s)
          store<T>(y + s * dt.y_step, lanes[s]);
      }
}

// A tile of `rows` (1..kRows) rows, no dot rows.
template <class V, int kRows, int kPanels, bool kMasked>
void few_rows_group(int rows, Index kc, const typename V::T *a, Index lda, const typename V::T *bp,
                    const typename V::T *raw, Index panel_step, Start start, typename V::T beta,
                    typename V::T *c, Index ldc, Index cols, const std::int32_t *groups) {
  if constexpr (kRows > 1)
    if (rows < kRows)
      return few_rows_group<V, kRows - 1, kPanels, kMasked>(rows, kc, a, lda, bp, raw, panel_step,
                                                            start, beta, c, ldc, cols, groups);
  few_rows_tile<V, kRows, 0, kPanels, kMasked>(kc, a, lda, bp, raw, panel_step, start, beta, c, ldc,
                                               cols, DotTile<typename V::T>{}, groups);
}

template <class V, int kRows, int kDots = 0>
bool few_rows_form(const GemmBlock<typename V::T> &g,
                   const DotRows<typename V::T> *dots = nullptr) {
  using T = typename V::T;
  constexpr int W = V::kWidth;
  constexpr int kPanels = kFewPanels<kRows + kDots>;
  const Index n = g.n, k = g.k;
  // A is read in place, so nothing limits the values of l per block but
  // the tile's panels, which stay in the second-level cache: a block of
  // columns is one tile wide and long in l (B's columns are read in long
  // runs).
  constexpr Index kBlockCols = kPanels * W, kBlockL = 2048;
  const Index kc_max = k < kBlockL ? k : kBlockL;
  const Index nc_max = n < kBlockCols ? (n + W - 1) / W * W : kBlockCols;
  const std::size_t b_len = std::size_t(nc_max * kc_max);
  const std::size_t t_len = std::size_t(kDots * nc_max);
  Scratch scratch((2 * b_len + t_len) * sizeof(T) + std::size_t(kc_max + 1) * sizeof(std::int32_t) +
                  std::size_t(nc_max / W) + 64);
  T *bpack = static_cast<T *>(scratch.data());
  if (!bpack) return false;
  T *raw = bpack + b_len;
  T *temps = raw + b_len;
  std::int32_t *groups = reinterpret_cast<std::int32_t *>(temps + t_len);
  bool *plain = reinterpret_cast<bool *>(groups + kc_max + 1);
  for (Index jc = 0; jc < n; jc += kBlockCols) {
    const Index ncur = n - jc < kBlockCols ? n - jc : kBlockCols;
    for (Index pc = 0; pc < k; pc += kc_max) {
      const Index kc = k - pc < kc_max ? k - pc : kc_max;
      const T *bsrc = g.op_b != Op::plain ? g.b.p + jc + pc * g.b.step : g.b.p + pc + jc * g.b.step;
      pack_b_wide<V>(bsrc, g.b.step, g.op_b != Op::plain, ncur, kc, g.skip_zeros, kDots > 0,
                     g.alpha, bpack, raw, plain);
      const Start start = start_of(pc == 0, g.beta);
      const T *a = g.a.p + pc * g.a.step;
      const Index step = kc * W;
      for (Index q = 0; q < ncur;) {
        const Index panel = q / W;
        T *c = g.c.p + (jc + q) * g.c.step;
        const Index left = ncur - q;
        DotTile<T> dt{};
        if constexpr (kDots > 0)
          dt = DotTile<T>{temps + q,    nc_max,       dots->x.p + pc * dots->x.step,
                          dots->x_row,  dots->x.step, dots->y.p + (jc + q) * dots->y.step,
                          dots->y_row,  dots->y.step, pc == 0,
                          pc + kc == k, g.alpha};
        const bool whole_run = left > (kPanels - 1) * W;
        const int panels = whole_run ? kPanels : 1;
        bool plain_run = true;
        for (int p = 0; p < panels; ++p)
          plain_run = plain_run && plain[panel + p];
        const T *bq = bpack + panel * step, *rq = raw + panel * step;
        if (!plain_run) list_zero_groups<V>(rq, step, panels, kc, groups);
        auto run = [&](auto run_panels, auto masked) {
          constexpr int P = decltype(run_panels)::value;
          constexpr bool M = decltype(masked)::value;
          if constexpr (kDots > 0) {
            few_rows_tile<V, kRows, kDots, P, M>(kc, a, g.a.step, bq, rq, step, start, g.beta, c,
                                                 g.c.step, left, dt, groups);
          } else {
            // Rows in groups of at most kRows, as even as they go, over the
            // same panels.
            const Index count = (g.m + kRows - 1) / kRows;
            for (Index i0 = 0, left_groups = count; i0 < g.m; --left_groups) {
              const int rows = int((g.m - i0 + left_groups - 1) / left_groups);
              few_rows_group<V, kRows, P, M>(rows, kc, a + i0, g.a.step, bq, rq, step, start,
                                             g.beta, c + i0, g.c.step, left, groups);
              i0 += rows;
            }
          }
        };
        using Whole = std::integral_constant<int, kPanels>;
        using One = std::integral_constant<int, 1>;
        if (whole_run && plain_run)
          run(Whole{}, std::false_type{});
        else if (whole_run)
          run(Whole{}, std::true_type{});
        else if (plain_run)
          run(One{}, std::false_type{});
        else
          run(One{}, std::true_type{});
        q += panels * W;
      }
    }
  }
  return true;
}

// A column-form block of four rows (fewer than a vector) with one to
// three dot rows beside it, in one pass over op(B); false, with nothing
// done, for other shapes or without workspace.
template <class V>
bool gemm_with_dot_rows(const GemmBlock<typename V::T> &g, const DotRows<typename V::T> &d) {
  using T = typename V::T;
  if (g.op_a != Op::plain || g.m != 4 || V::kWidth <= 4 || g.n <= 0 || g.k <= 0 || g.alpha == T(0))
    return false;
  switch (d.count) {
  case 1: return few_rows_form<V, 4, 1>(g, &d);
  case 2: return few_rows_form<V, 4, 2>(g, &d);
  case 3: return few_rows_form<V, 4, 3>(g, &d);
  default: return false;
  }
}

} // namespace MOX2_ISA_NAMESPACE
} // namespace mox2::kernels::blocked
