// The blocked real GEMM's direct column form.
//
// Column-form products of one block of l, or of one tile of rows over
// every l, whose A stays in cache read A where it stands: when each value
// of A is used only a few times, packing it costs more than it saves.  A
// whole panel of NR columns of op(B) (with one vector of rows, of 2*NR
// columns) without a zero that skips is read in place when alpha = 1
// (temp = 1*b is b, and a NaN stays a NaN), otherwise from a copy scaled
// by alpha in its own orientation (no transposing); a last, partial panel,
// and a panel with a zero that skips (with op(B) = B^T: every panel of a
// block of columns with one), are packed as in the blocked form (temp =
// alpha*b, flags "b != 0").  The tiles are the blocked form's, with its
// order: start (+0, C or beta*C), then += temp*A(i, l) in l order, b = 0
// skipped.
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

// The widest panel the direct form reads where it stands: with one vector
// of rows, a tile takes two panels (one term's broadcast of B per product
// of a vector, so a wider tile saves only its few loads of A, and leaves
// more columns to narrower tiles).
template <class V> constexpr int kWideColumns = 2 * V::kShape.nr;

// False, with nothing written, when there is no workspace for op(B).
template <class V>
bool direct_column_form(const GemmBlock<typename V::T> &g, const Blocks &blocks) {
  using T = typename V::T;
  constexpr GemmShape S = V::kShape;
  using Live = typename V::Live;
  constexpr int kVecs = S.vecs, kNr = S.nr, W = V::kWidth, kWide = kWideColumns<V>;
  const Index m = g.m, n = g.n, k = g.k;
  const bool tr = g.op_b != Op::plain;
  const bool scaled = !(g.alpha == T(1));
  const bool one_vector = m <= W;
  // op(B) = B: each panel's columns are whole lines; a panel is scanned and
  // copied just before its tiles, and the copy stays in cache while they
  // use it.  op(B) = B^T: a line holds every panel's values side by side,
  // so a block of columns is scanned and copied a whole line at a time
  // (as many columns as keep the copy in cache).
  Index nc_block = n;
  if (tr) {
    Index cap = Index(blocks.in_cache_bytes / (std::size_t(k) * sizeof(T))) / kWide * kWide;
    cap = cap < kWide ? kWide : cap < blocks.nc ? cap : blocks.nc;
    if (cap < n) nc_block = cap;
  }
  // The copy: one wide panel, or the block of columns; packing: one panel.
  const std::size_t pack_len = std::size_t(kNr) * std::size_t(k);
  const std::size_t copy_len = !scaled ? 0 : std::size_t(tr ? nc_block : kWide) * std::size_t(k);
  Scratch scratch(Scratch::rounded(copy_len * sizeof(T)) + Scratch::rounded(pack_len * sizeof(T)) +
                  Scratch::rounded(pack_len * sizeof(Live)) +
                  (std::size_t(k) + 1) * sizeof(std::int32_t) + 1);
  char *ws = static_cast<char *>(scratch.data());
  if (!ws) return false;
  T *copy = reinterpret_cast<T *>(ws);
  T *bpack = reinterpret_cast<T *>(ws + Scratch::rounded(copy_len * sizeof(T)));
  Live *lpack = reinterpret_cast<Live *>(reinterpret_cast<char *>(bpack) +
                                         Scratch::rounded(pack_len * sizeof(T)));
  std::int32_t *groups = reinterpret_cast<std::int32_t *>(
      reinterpret_cast<char *>(lpack) + Scratch::rounded(pack_len * sizeof(Live)));
  bool *plain = reinterpret_cast<bool *>(groups + k + 1);
  const Start start = start_of(true, g.beta);
  // The rows' vectors are dealt to as few tiles as hold them, as evenly as
  // they go (32 rows of doubles: two tiles of two vectors, not three and one).
  const Index all_vecs = (m + W - 1) / W, tiles = (all_vecs + kVecs - 1) / kVecs;
  for (Index jc = 0; jc < n; jc += nc_block) {
    const Index ncur = n - jc < nc_block ? n - jc : nc_block;
    const T *bsrc = tr ? g.b.p + jc : g.b.p + jc * g.b.step;
    const bool block_zero = tr && (g.skip_zeros || scaled) &&
                            scan_scale_lines<V>(bsrc, g.b.step, k, ncur, g.skip_zeros, g.alpha,
                                                scaled ? copy : nullptr);
    for (Index jr = 0; jr < ncur;) {
      // Where the tiles find temp for panel columns jr..: op(B) itself, or
      // its copy; a whole panel without a zero that skips is read there.
      const T *src = tr ? bsrc + jr : bsrc + jr * g.b.step;
      const T *t = tr && scaled ? copy + jr : src;
      const Index b_col = tr ? 1 : g.b.step, b_step = tr ? (scaled ? ncur : g.b.step) : 1;
      auto read_direct = [&](int cols, const T *&from, Index &from_col) {
        from = t;
        from_col = b_col;
        if (tr || !(g.skip_zeros || scaled)) return !block_zero;
        if (scan_scale_lines<V>(src, g.b.step, cols, k, g.skip_zeros, g.alpha,
                                scaled ? copy : nullptr))
          return false;
        if (scaled) {
          from = copy;
          from_col = k;
        }
        return true;
      };
      const T *from;
      Index from_col;
      if (one_vector && ncur - jr >= kWide && read_direct(kWide, from, from_col)) {
        T *c = g.c.p + (jc + jr) * g.c.step;
        const T *c_next = c + kWide * g.c.step;
        if (m % W != 0)
          column_tile<V, 1, kWide, false, W, true, ASource::direct_partial>(
              k, g.a.p, from, nullptr, nullptr, start, g.beta, c, g.c.step, int(m), kWide, c_next,
              from_col, b_step, g.a.step);
        else
          column_tile<V, 1, kWide, false, W, true, ASource::direct>(
              k, g.a.p, from, nullptr, nullptr, start, g.beta, c, g.c.step, int(m), kWide, c_next,
              from_col, b_step, g.a.step);
        jr += kWide;
        continue;
      }
      const int cols = int(ncur - jr < kNr ? ncur - jr : kNr);
      // A partial panel, or one with a zero, is packed.
      const bool direct = cols == kNr && read_direct(kNr, from, from_col);
      if (!direct)
        pack_b<V, kNr>(src, g.b.step, tr, cols, k, true, g.skip_zeros, g.alpha, bpack, plain, lpack,
                       groups);
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
          if (direct)
            column_tile<V, kUsed, kNr, false, MR, true, kA>(k, ap, from, nullptr, nullptr, start,
                                                            g.beta, c, g.c.step, rows, cols, c_next,
                                                            from_col, b_step, g.a.step);
          else if (*plain && cols <= kNr / 2) // a tile as narrow as the panel
            column_tile<V, kUsed, kNr / 2, false, MR, true, kA>(k, ap, bpack, nullptr, nullptr,
                                                                start, g.beta, c, g.c.step, rows,
                                                                cols, c_next, 1, kNr, g.a.step);
          else if (*plain)
            column_tile<V, kUsed, kNr, false, MR, false, kA>(k, ap, bpack, nullptr, nullptr, start,
                                                             g.beta, c, g.c.step, rows, cols,
                                                             c_next, 1, kNr, g.a.step);
          else
            column_tile<V, kUsed, kNr, true, MR, false, kA>(k, ap, bpack, lpack, groups, start,
                                                            g.beta, c, g.c.step, rows, cols, c_next,
                                                            1, kNr, g.a.step);
        };
        auto with_vecs = [&](auto a_source) {
          with_vector_count<kVecs>(vecs, [&](auto used) { tile(used, a_source); });
        };
        if (rows % W != 0)
          with_vecs(std::integral_constant<ASource, ASource::direct_partial>{});
        else
          with_vecs(std::integral_constant<ASource, ASource::direct>{});
      }
      jr += kNr;
    }
  }
  return true;
}

} // namespace MOX2_ISA_NAMESPACE
} // namespace mox2::kernels::blocked
