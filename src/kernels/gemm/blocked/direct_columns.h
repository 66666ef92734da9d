// The blocked real GEMM's direct column form.
//
// Column-form products of one block of l (or, with alpha = 1, of one tile
// of rows over every l) whose A stays in cache read A where it stands:
// when each value of A is used only a few times, packing it costs more
// than it saves.  op(B) without a zero that skips is read in
// place when alpha = 1 (temp = 1*b is b, and a NaN stays a NaN), otherwise
// from a copy scaled by alpha in its own orientation (no transposing),
// whole panels of NR columns; a last, partial panel, and every panel of an
// op(B) with a zero that skips, are packed as in the blocked form (temp =
// alpha*b, flags "b != 0").  Columns go a block of kNc at a time.  The
// tiles are the blocked form's, with its order: start (+0, C or beta*C),
// then += temp*A(i, l) in l order, b = 0 skipped.
#pragma once

#include <cstddef>

#include "frame/types.h"
#include "kernels/blocks.h"
#include "kernels/gemm/blocked/packing.h"
#include "kernels/gemm/blocked/tiles.h"
#include "kernels/gemm/blocked/vector_policy.h"
#include "runtime/scratch.h"

namespace mox2::kernels::blocked {
inline namespace MOX2_ISA_NAMESPACE {

// Whether, with `scan`, any of `lines` lines of len values (ld apart) is
// zero; with `to`, the values times alpha are copied there, len apart.
template <class V, class T = typename V::T>
bool scan_scale_lines(const T *b, Index ld, Index lines, Index len, bool scan, T alpha, T *to) {
  constexpr int W = V::kWidth;
  const auto va = V::set1(alpha);
  unsigned zeros = 0;
  for (Index q = 0; q < lines; ++q, b += ld) {
    Index s = 0;
    for (; s + W <= len; s += W) {
      const auto x = V::load(b + s);
      if (scan) zeros |= V::zero_lanes(x);
      if (to) V::store(to + q * len + s, V::mul(va, x));
    }
    if (s < len) {
      const int rest = int(len - s);
      const auto x = V::load_first(b + s, rest);
      if (scan) zeros |= V::zero_lanes(x) & ((1u << rest) - 1);
      if (to) V::store_first(to + q * len + s, V::mul(va, x), rest);
    }
  }
  return zeros != 0;
}

// False, with nothing written, when there is no workspace for op(B).
template <class V>
bool direct_column_form(const GemmBlock<typename V::T> &g, const Blocks &blocks) {
  using T = typename V::T;
  constexpr GemmShape S = V::kShape;
  using Live = typename V::Live;
  constexpr int kVecs = S.vecs, kNr = S.nr, W = V::kWidth;
  const Index m = g.m, n = g.n, k = g.k;
  const bool tr = g.op_b != Op::plain;
  const bool zeros = g.skip_zeros && scan_scale_lines<V>(g.b.p, g.b.step, tr ? k : n, tr ? n : k,
                                                         true, T(1), static_cast<T *>(nullptr));
  const bool scaled = !zeros && !(g.alpha == T(1));
  const Index nc_max = n < blocks.nc ? n : blocks.nc;
  const std::size_t b_len = std::size_t((nc_max + kNr - 1) / kNr * kNr * k);
  const std::size_t copy_len = scaled ? std::size_t(nc_max * k) : 0;
  Scratch scratch(Scratch::rounded(copy_len * sizeof(T)) + Scratch::rounded(b_len * sizeof(T)) +
                  b_len * sizeof(Live) + std::size_t(nc_max / kNr + 1));
  char *ws = static_cast<char *>(scratch.data());
  if (!ws) return false;
  T *copy = reinterpret_cast<T *>(ws);
  T *bpack = reinterpret_cast<T *>(ws + Scratch::rounded(copy_len * sizeof(T)));
  Live *lpack = reinterpret_cast<Live *>(reinterpret_cast<char *>(bpack) +
                                         Scratch::rounded(b_len * sizeof(T)));
  bool *plain = reinterpret_cast<bool *>(lpack + b_len);
  const Start start = start_of(true, g.beta);
  // The rows' vectors are dealt to as few tiles as hold them, as evenly as
  // they go (32 rows of doubles: two tiles of two vectors, not three and one).
  const Index all_vecs = (m + W - 1) / W, tiles = (all_vecs + kVecs - 1) / kVecs;
  for (Index jc = 0; jc < n; jc += nc_max) {
    const Index ncur = n - jc < nc_max ? n - jc : nc_max;
    const T *bsrc = tr ? g.b.p + jc : g.b.p + jc * g.b.step;
    // Panels read where they stand (in op(B) or its scaled copy): all whole
    // ones unless a zero skips.
    const Index direct_cols = zeros ? 0 : ncur / kNr * kNr;
    const T *t = bsrc;
    Index t_ld = g.b.step;
    if (scaled) {
      t_ld = tr ? ncur : k;
      scan_scale_lines<V>(bsrc, g.b.step, tr ? k : ncur, t_ld, false, g.alpha, copy);
      t = copy;
    }
    const Index b_col = tr ? 1 : t_ld, b_step = tr ? t_ld : 1;
    if (direct_cols < ncur)
      pack_b<V, kNr>(bsrc + (tr ? direct_cols : direct_cols * g.b.step), g.b.step, tr,
                     ncur - direct_cols, k, true, g.skip_zeros, g.alpha, bpack, plain, lpack);
    for (Index jr = 0; jr < ncur; jr += kNr) {
      const int cols = int(ncur - jr < kNr ? ncur - jr : kNr);
      const Index q = (jr - direct_cols) / kNr; // packed panel
      Index ir = 0;
      for (Index v0 = 0; v0 < tiles; ++v0) {
        const int vecs = int(all_vecs / tiles + (v0 < all_vecs % tiles ? 1 : 0));
        const int rows = int(m - ir < vecs * W ? m - ir : vecs * W);
        const T *ap = g.a.p + ir;
        T *c = g.c.p + ir + (jc + jr) * g.c.step;
        ir += rows;
        const T *c_next = ir < m ? c + rows : g.c.p + (jc + jr + kNr) * g.c.step;
        auto tile = [&](auto used, auto a_source) {
          constexpr int kUsed = decltype(used)::value;
          constexpr ASource kA = decltype(a_source)::value;
          constexpr int MR = kUsed * W;
          if (jr < direct_cols)
            column_tile<V, kUsed, kNr, false, MR, true, kA>(k, ap, t + jr * b_col, nullptr, start,
                                                            g.beta, c, g.c.step, rows, cols, c_next,
                                                            b_col, b_step, g.a.step);
          else if (plain[q])
            column_tile<V, kUsed, kNr, false, MR, false, kA>(k, ap, bpack + q * kNr * k, nullptr,
                                                             start, g.beta, c, g.c.step, rows, cols,
                                                             c_next, 1, kNr, g.a.step);
          else
            column_tile<V, kUsed, kNr, true, MR, false, kA>(
                k, ap, bpack + q * kNr * k, lpack + q * kNr * k, start, g.beta, c, g.c.step, rows,
                cols, c_next, 1, kNr, g.a.step);
        };
        auto with_vecs = [&](auto a_source) {
          with_vector_count<kVecs>(vecs, [&](auto used) { tile(used, a_source); });
        };
        if (rows % W != 0)
          with_vecs(std::integral_constant<ASource, ASource::direct_partial>{});
        else
          with_vecs(std::integral_constant<ASource, ASource::direct>{});
      }
    }
  }
  return true;
}

} // namespace MOX2_ISA_NAMESPACE
} // namespace mox2::kernels::blocked
