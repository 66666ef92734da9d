// The reference GEMM (gemm_reference.h) as a packed, cache-blocked product
// with register-blocked tiles, written once over a vector-instruction
// policy V and compiled by each SIMD kernel set (avx2/, avx512/).
//
// Every element of C keeps the reference order:
//   - column form: C(i, j) is scaled by beta (zero for beta = 0, C unread),
//     then accumulates temp*A(i, l) for l = 1..k in order, temp = alpha*b,
//     b = op(B)(l, j), skipping every l whose b is zero (+0 or -0);
//   - dot form: temp(i, j) starts at +0 and accumulates A(l, i)*b for
//     l = 1..k in order; then C(i, j) := alpha*temp, or
//     alpha*temp + beta*C(i, j).
// The work is cut into blocks of kKc values of l (C, or the dot form's
// temps in workspace, is stored after one block and loaded before the
// next), of kMc rows of A and kNc columns of B; each block of op(A) is
// packed in panels of MR rows and each block of op(B) in panels of NR
// columns.  A tile of MR x NR elements of C lives in registers over one
// block of l.  Column-form panels of B hold temp = alpha*b; panels without
// a zero take the unmasked tile, panels with one keep a flag per value
// ("b != 0") beside it, and their tile adds each group l of terms
// unmasked when none of its b is zero, not at all when every one is, and
// otherwise each term under its flag.
// A block with skip_zeros = false adds every term: all panels are plain.
//
// V provides: T, Vec, Mask, kWidth, zero, set1, load, load_first(p, n),
// store, store_first(p, v, n) (the first n lanes only, nothing else read
// or written), mul, add, nonzero(b), zero_lanes(b) (bit s set
// where lane s is zero), add_where(acc, mask, p), Live (a
// flag: all bits set or none) and live(const Live *) (its mask); and it
// may provide kTransposeStep and transpose_rows(src, ld, dst, dst_ld):
// dst[t*dst_ld + s] := src[s*ld + t], s < 8, t < kTransposeStep (a
// transposing copy of eight rows ld apart), and lane picks: Perm,
// perm(lanes) (from kWidth ints), select2(a, idx, b) (lane p := lane
// idx[p] of a and b side by side), blend(k, a, b) (b where k is set) and
// step(idx) (every index plus one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "frame/types.h"
#include "kernels/gemm_reference.h"
#include "kernels/group_flags.h"
#include "kernels/kernel_set.h"
#include "runtime/scratch.h"

namespace mox2::kernels::blocked {

using Index = std::ptrdiff_t;

// The tiles, blocks and shape thresholds of one kernel set and element
// type are V::kShape, a GemmShape (kernels/kernel_set.h) taken from the
// set's table.

// How a tile's accumulators start and end.
enum class Start { load, zero, scale_load };

// The column form's start for a block of l: C as left by the block before,
// or for the first block +0 (beta = 0, C unread), C (beta = 1) or beta*C.
template <class T> Start start_of(bool first_block, T beta) {
  return !first_block   ? Start::load
         : beta == T(0) ? Start::zero
         : beta == T(1) ? Start::load
                        : Start::scale_load;
}

// f(std::integral_constant<int, v>) for v = vecs, one of 1..kVecs (a
// block's last tile uses only the vectors its rows need).
template <int kVecs, class F>
__attribute__((always_inline)) inline void with_vector_count(int vecs, F &&f) {
  if (vecs == kVecs)
    f(std::integral_constant<int, kVecs>{});
  else if (vecs == 1)
    f(std::integral_constant<int, 1>{});
  else if constexpr (kVecs > 2)
    f(std::integral_constant<int, 2>{});
}

// Asks for the cache lines of the next tile of C while this one computes
// (a hint: it reads nothing and never faults).
template <class V, int kVecs, int kNr>
__attribute__((always_inline)) inline void prefetch_tile(const typename V::T *c, Index ldc) {
  constexpr int kLine = 64 / int(sizeof(typename V::T));
#pragma GCC unroll 16
  for (int j = 0; j < kNr; ++j)
#pragma GCC unroll 8
    for (int r = 0; r < kVecs * V::kWidth; r += kLine)
      __builtin_prefetch(c + j * ldc + r, 1, 3);
}

// Where a tile finds A: packed panels, or A itself (the direct form), with
// the last of the tile's vectors whole or holding only its first rows.
enum class ASource { packed, direct, direct_partial };

// One MR x NR tile of the column form over kc values of l.  ap holds
// kc groups of MR values of A (rows past the block's edge are zero), bp
// kc groups of NR values temp = alpha*b, and (kMasked) lp their flags
// "b != 0".  The tile's first rows x cols elements of C (ldc apart) are
// loaded (scaled by beta first when `start` says so), updated and stored.
// A tile may use fewer vectors (kVecs) than the panels were packed for
// (kPanel rows) when the block's last rows need no more.  A masked tile
// takes its panel group by group: a group l without a zero adds unmasked,
// a group of zeros adds nothing, the rest add under their flags (measured
// on scattered zeros, one value in 200 to one in 2: 0.98 to 1.13 of
// flags on every group; a triangular op(B) skips half its groups).
// kDirectB: temp for (l, j) is at bp[l*b_step + j*b_col] instead of in
// packed panels.  kA other than packed: group l of A is at ap + l*a_step
// (A in place), the last vector reading only the tile's rows when partial.
template <class V, int kVecs, int kNr, bool kMasked, int kPanel, bool kDirectB = false,
          ASource kA = ASource::packed>
__attribute__((always_inline)) inline void
column_tile(Index kc, const typename V::T *__restrict ap, const typename V::T *__restrict bp,
            const typename V::Live *__restrict lp, Start start, typename V::T beta,
            typename V::T *c, Index ldc, int rows, int cols, const typename V::T *c_next,
            Index b_col = 1, Index b_step = kNr, Index a_step = kPanel) {
  using Vec = typename V::Vec;
  constexpr int W = V::kWidth;
  constexpr int MR = kVecs * W;
  Vec acc[kNr][kVecs];
  const bool full = rows == MR && cols == kNr;
  // Every loop over the accumulators has constant bounds and is unrolled,
  // so that they live in registers from start to end.
  if (start == Start::zero) {
#pragma GCC unroll 16
    for (int j = 0; j < kNr; ++j)
#pragma GCC unroll 8
      for (int v = 0; v < kVecs; ++v)
        acc[j][v] = V::zero();
  } else if (full) {
#pragma GCC unroll 16
    for (int j = 0; j < kNr; ++j)
#pragma GCC unroll 8
      for (int v = 0; v < kVecs; ++v)
        acc[j][v] = V::load(c + j * ldc + v * W);
  } else {
#pragma GCC unroll 16
    for (int j = 0; j < kNr; ++j)
#pragma GCC unroll 8
      for (int v = 0; v < kVecs; ++v) {
        int n = rows - v * W;
        acc[j][v] =
            j < cols && n > 0 ? V::load_first(c + j * ldc + v * W, n < W ? n : W) : V::zero();
      }
  }
  if (start == Start::scale_load) {
    Vec vb = V::set1(beta);
#pragma GCC unroll 16
    for (int j = 0; j < kNr; ++j)
#pragma GCC unroll 8
      for (int v = 0; v < kVecs; ++v)
        acc[j][v] = V::mul(vb, acc[j][v]);
  }
  prefetch_tile<V, kVecs, kNr>(c_next, ldc);
  // acc += temp*A for group l: every term, or (masked) the live ones.
  auto add_group = [&](auto masked) __attribute__((always_inline)) {
    Vec a[kVecs];
#pragma GCC unroll 8
    for (int v = 0; v < kVecs; ++v)
      a[v] = kA == ASource::direct_partial && v == kVecs - 1
                 ? V::load_first(ap + v * W, rows - v * W)
                 : V::load(ap + v * W);
#pragma GCC unroll 16
    for (int j = 0; j < kNr; ++j) {
      Vec b = kDirectB ? V::set1(load<typename V::T>(bp + j * b_col)) : V::set1(bp[j]);
      if constexpr (decltype(masked)::value) {
        const auto live = V::live(lp + j);
#pragma GCC unroll 8
        for (int v = 0; v < kVecs; ++v)
          acc[j][v] = V::add_where(acc[j][v], live, V::mul(b, a[v]));
      } else {
#pragma GCC unroll 8
        for (int v = 0; v < kVecs; ++v)
          acc[j][v] = V::add(acc[j][v], V::mul(b, a[v]));
      }
    }
  };
  for (Index l = 0; l < kc; ++l) {
    add_flagged_group<kMasked, typename V::Live, kNr>(lp, add_group);
    ap += kA == ASource::packed ? kPanel : a_step;
    bp += kDirectB ? b_step : kNr;
    if constexpr (kMasked) lp += kNr;
  }
  if (full) {
#pragma GCC unroll 16
    for (int j = 0; j < kNr; ++j)
#pragma GCC unroll 8
      for (int v = 0; v < kVecs; ++v)
        V::store(c + j * ldc + v * W, acc[j][v]);
  } else {
#pragma GCC unroll 16
    for (int j = 0; j < kNr; ++j)
#pragma GCC unroll 8
      for (int v = 0; v < kVecs; ++v) {
        const int n = j < cols ? rows - v * W : 0;
        if (n >= W)
          V::store(c + j * ldc + v * W, acc[j][v]);
        else if (n > 0)
          V::store_first(c + j * ldc + v * W, acc[j][v], n);
      }
  }
}

// One MR x NR tile of the dot form over kc values of l: the temps start at
// +0 (`first`) or from the workspace tile w (MR x NR, column-major), then
// go back to w, or (`last`) become C := alpha*temp (beta = 0, C unread) or
// alpha*temp + beta*C on the tile's first rows x cols elements of C.
// kDirect: B is read where it stands, op(B)(l, j) at bp[l*b_step +
// j*b_col] (a product with one panel of rows uses each value once, so
// packing would not repay), rather than from packed panels.
template <class V, int kVecs, int kNr, int kPanel, bool kDirect = false>
__attribute__((always_inline)) inline void
dot_tile(Index kc, const typename V::T *__restrict ap, const typename V::T *__restrict bp,
         bool first, bool last, typename V::T *__restrict w, typename V::T alpha,
         typename V::T beta, typename V::T *c, Index ldc, int rows, int cols,
         const typename V::T *c_next, Index b_col = 1, Index b_step = kNr) {
  using Vec = typename V::Vec;
  constexpr int W = V::kWidth;
  Vec acc[kNr][kVecs]; // in registers throughout: constant, unrolled loops
#pragma GCC unroll 16
  for (int j = 0; j < kNr; ++j)
#pragma GCC unroll 8
    for (int v = 0; v < kVecs; ++v)
      acc[j][v] = first ? V::zero() : V::load(w + j * kPanel + v * W);
  prefetch_tile<V, kVecs, kNr>(c_next, ldc);
  for (Index l = 0; l < kc; ++l) {
    Vec a[kVecs];
#pragma GCC unroll 8
    for (int v = 0; v < kVecs; ++v)
      a[v] = V::load(ap + v * W);
#pragma GCC unroll 16
    for (int j = 0; j < kNr; ++j) {
      Vec b = kDirect ? V::set1(load<typename V::T>(bp + j * b_col)) : V::set1(bp[j]);
#pragma GCC unroll 8
      for (int v = 0; v < kVecs; ++v)
        acc[j][v] = V::add(acc[j][v], V::mul(a[v], b));
    }
    ap += kPanel;
    bp += kDirect ? b_step : kNr;
  }
  if (!last) {
#pragma GCC unroll 16
    for (int j = 0; j < kNr; ++j)
#pragma GCC unroll 8
      for (int v = 0; v < kVecs; ++v)
        V::store(w + j * kPanel + v * W, acc[j][v]);
    return;
  }
  const Vec va = V::set1(alpha), vb = V::set1(beta);
  const bool read_c = !(beta == 0);
#pragma GCC unroll 16
  for (int j = 0; j < kNr; ++j)
#pragma GCC unroll 8
    for (int v = 0; v < kVecs; ++v) {
      const int n = j < cols ? rows - v * W : 0;
      if (n <= 0) continue;
      typename V::T *cp = c + j * ldc + v * W;
      Vec r = V::mul(va, acc[j][v]);
      if (n >= W) {
        if (read_c) r = V::add(r, V::mul(vb, V::load(cp)));
        V::store(cp, r);
      } else {
        if (read_c) r = V::add(r, V::mul(vb, V::load_first(cp, n)));
        V::store_first(cp, r, n);
      }
    }
}

// ---- Packing -------------------------------------------------------------

// Rows i0..i0+rows-1 of op(A) = A (column form; A(i, l) = a[i + l*lda]),
// l = l0..l0+kc-1, into panels of MR rows: panel p, group l holds
// A(i0 + p*MR + r, l0 + l) for r = 0..MR-1, zero past the edge.
template <class V, int kVecs>
void pack_a_columns(const typename V::T *a, Index lda, Index rows, Index kc,
                    typename V::T *__restrict ap) {
  constexpr int W = V::kWidth;
  constexpr int MR = kVecs * W;
  // Whole panels column by column: each column's rows are read in one run.
  // A is usually read from memory here, a short run per page: the lines of
  // the column kPackAhead columns on are asked for (a hint at an address
  // reached by integer arithmetic, which may lie past A; it never faults).
  constexpr Index kPackAhead = 8;
  const std::uintptr_t run_bytes = std::uintptr_t(rows) * sizeof(typename V::T);
  const Index whole = rows / MR * MR;
  if (whole > 0)
    for (Index l = 0; l < kc; ++l) {
      const typename V::T *src = a + l * lda;
      typename V::T *dst = ap + l * MR;
      const std::uintptr_t ahead =
          reinterpret_cast<std::uintptr_t>(src) + std::uintptr_t(kPackAhead * lda) * sizeof(*src);
      for (std::uintptr_t line = ahead & ~std::uintptr_t(63); line < ahead + run_bytes; line += 64)
        __builtin_prefetch(reinterpret_cast<const void *>(line), 0, 3);
      for (Index p = 0; p < whole; p += MR, dst += kc * MR)
        for (int v = 0; v < kVecs; ++v)
          V::store(dst + v * W, V::load(src + p + v * W));
    }
  if (whole == rows) return;
  const Index r = rows - whole;
  const typename V::T *src = a + whole;
  ap += whole * kc;
  for (Index l = 0; l < kc; ++l, ap += MR)
    for (int v = 0; v < kVecs; ++v) {
      Index n = r - v * W;
      V::store(ap + v * W, n <= 0  ? V::zero()
                           : n < W ? V::load_first(src + l * lda + v * W, int(n))
                                   : V::load(src + l * lda + v * W));
    }
}

// The same for op(A) = A^T (dot form; op(A)(i, l) = A(l, i) = a[l + i*lda]).
template <class V, int kVecs>
void pack_a_rows(const typename V::T *a, Index lda, Index rows, Index kc,
                 typename V::T *__restrict ap) {
  using T = typename V::T;
  constexpr int MR = kVecs * V::kWidth;
  constexpr bool kSimdTranspose = MR % 8 == 0 && requires {
    V::transpose_rows(a, lda, ap, Index(MR));
  };
  constexpr Index kStep = [] { // values of l per pass over the panel's rows
    if constexpr (kSimdTranspose) return Index(V::kTransposeStep);
    return Index(8);
  }();
  for (Index p = 0; p < rows; p += MR) {
    const Index r = rows - p < MR ? rows - p : MR;
    // Past r, zeros up to the vector the tile reads last (later rows are
    // not read).
    const Index padded = (r + V::kWidth - 1) / V::kWidth * V::kWidth;
    Index l8 = 0;
    if constexpr (kSimdTranspose) {
      // Rows in eights through transposes: whole eights where they stand,
      // a last partial eight through a buffer whose other rows are zero,
      // and eights past r from a zero buffer.
      const Index i8 = r / 8 * 8;
      alignas(64) T part[8][kStep] = {};
      alignas(64) const T zeros[8][kStep] = {};
      l8 = kc / kStep * kStep;
      for (Index l = 0; l < l8; l += kStep) {
        T *dst = ap + l * MR;
        for (Index i = 0; i < i8; i += 8) {
          // Each row is a stream of its own: its lines are asked for 512
          // bytes ahead (a hint that may point past the row; it never faults).
          for (int s = 0; s < 8; ++s)
            __builtin_prefetch(
                reinterpret_cast<const void *>(
                    reinterpret_cast<std::uintptr_t>(a + (p + i + s) * lda + l) + 512),
                0, 3);
          V::transpose_rows(a + (p + i) * lda + l, lda, dst + i, MR);
        }
        if (i8 < r) {
          for (Index s = 0; s < r - i8; ++s)
            std::memcpy(&part[s][0], a + (p + i8 + s) * lda + l, sizeof part[s]);
          V::transpose_rows(&part[0][0], kStep, dst + i8, MR);
        }
        for (Index i = (r + 7) / 8 * 8; i < padded; i += 8)
          V::transpose_rows(&zeros[0][0], kStep, dst + i, MR);
      }
    }
    // The values of l past the transposes (all of them without), a row at a time.
    for (Index i = 0; i < r; ++i)
      for (Index l = l8; l < kc; ++l)
        ap[l * MR + i] = load<T>(a + (p + i) * lda + l);
    if (padded > r)
      for (Index l = l8; l < kc; ++l)
        V::store_first(ap + l * MR + r, V::zero(), int(padded - r));
    ap += kc * MR;
  }
}

// Values l0..l1-1 of one panel of kCols columns, of which the first s_end
// are real (b at op(B)(0, j0)), into dst, kCols per group, zero past the
// edge.
template <class V, int kCols, class T = typename V::T>
void copy_panel(const T *b, Index ldb, bool transposed, int s_end, Index l0, Index l1,
                T *__restrict dst) {
  constexpr bool kSimdTranspose = kCols % 8 == 0 && requires {
    V::transpose_rows(b, ldb, dst, Index(kCols));
  };
  if (transposed) { // op(B)(l, j) = B(j, l): a row of B
    for (Index l = l0; l < l1; ++l) {
      if (s_end == kCols) {
        std::memcpy(dst + l * kCols, b + l * ldb, kCols * sizeof(T));
      } else {
        for (int s = 0; s < kCols; ++s)
          dst[l * kCols + s] = s < s_end ? load<T>(b + l * ldb + s) : T(0);
      }
    }
    return;
  }
  Index l = l0;
  if constexpr (kSimdTranspose) {
    constexpr Index kStep = V::kTransposeStep;
    // Each column is a stream of its own, read a few lines at a time: its
    // lines are asked for 512 bytes ahead (a hint at an address that may lie
    // past the column, reached by integer arithmetic; it never faults).
    constexpr Index kAhead = 512 / Index(sizeof(T));
    if (s_end == kCols)
      for (; l + kStep <= l1; l += kStep)
        for (int s0 = 0; s0 < kCols; s0 += 8) {
          for (int s = 0; s < 8; ++s)
            __builtin_prefetch(
                reinterpret_cast<const void *>(
                    reinterpret_cast<std::uintptr_t>(b + (s0 + s) * ldb + l) + kAhead * sizeof(T)),
                0, 3);
          V::transpose_rows(b + s0 * ldb + l, ldb, dst + l * kCols + s0, kCols);
        }
    else if (l + kStep <= l1) {
      // A partial panel: its columns go through a buffer whose other rows
      // are zero.
      alignas(64) T rows[kCols][kStep] = {};
      for (; l + kStep <= l1; l += kStep) {
        for (int s = 0; s < s_end; ++s)
          for (Index t = 0; t < kStep; ++t)
            rows[s][t] = load<T>(b + s * ldb + l + t);
        for (int s0 = 0; s0 < kCols; s0 += 8)
          V::transpose_rows(&rows[s0][0], kStep, dst + l * kCols + s0, kCols);
      }
    }
  }
  if (l == l1) return;
  for (int s = 0; s < kCols; ++s) // a column at a time, down its values
    for (Index t = l; t < l1; ++t)
      dst[t * kCols + s] = s < s_end ? load<T>(b + s * ldb + t) : T(0);
}

// Whether groups l0..l1-1 of a panel (kCols values per group, the first
// s_end real, the rest padding zeros that never count) hold a zero.
template <class V, int kCols, class T = typename V::T>
bool has_zero(const T *p, Index l0, Index l1, int s_end) {
  constexpr int W = V::kWidth;
  static_assert(W % kCols == 0, "whole groups per vector");
  // The lanes of real values in a vector of W / kCols groups.
  unsigned real = 0;
  for (int g = 0; g < W / kCols; ++g)
    real |= ((1u << s_end) - 1) << (g * kCols);
  Index e = l0 * kCols;
  const Index end = l1 * kCols;
  for (; e + 4 * W <= end; e += 4 * W)
    if ((V::zero_lanes(V::load(p + e)) | V::zero_lanes(V::load(p + e + W)) |
         V::zero_lanes(V::load(p + e + 2 * W)) | V::zero_lanes(V::load(p + e + 3 * W))) &
        real)
      return true;
  for (; e < end; ++e)
    if (int(e % kCols) < s_end && p[e] == T(0)) return true;
  return false;
}

// One panel's values l = 0..kc-1 copied into `values` (which may be bp)
// and scaled into bp (bp := alpha*values), a chunk of l at a time while the
// chunk is in cache; returns whether, with `skips`, a real value is zero.
template <class V, int kCols, class T = typename V::T>
bool copy_scaled_panel(const T *src, Index ldb, bool transposed, int s_end, Index kc, bool skips,
                       T alpha, T *values, T *bp) {
  constexpr Index kChunk = 64;
  bool zero_seen = false;
  for (Index l0 = 0; l0 < kc; l0 += kChunk) {
    const Index l1 = kc - l0 < kChunk ? kc : l0 + kChunk;
    copy_panel<V, kCols>(src, ldb, transposed, s_end, l0, l1, values);
    if (skips && !zero_seen) zero_seen = has_zero<V, kCols>(values, l0, l1, s_end);
    for (Index e = l0 * kCols; e < l1 * kCols; ++e)
      bp[e] = alpha * values[e];
  }
  return zero_seen;
}

// Columns j0..j0+cols-1 of op(B), l = l0..l0+kc-1 (b points at
// op(B)(l0, j0)), into panels of NR columns: panel q, group l holds
// op(B)(l0 + l, j0 + q*NR + s) for s = 0..NR-1 (zero past the edge).
// `scale` (column form): the panels then hold alpha*b; with `skips`, a
// panel with a zero among its real elements is marked masked in `plain`
// and gets the flags "b != 0" at lp (same layout; the padding columns'
// flags are set, so that they never make a group mixed: their sums are
// never stored); without, every panel is plain.  Values are scaled a
// chunk at a time, while in cache.
template <class V, int kNr, class T = typename V::T>
void pack_b(const T *b, Index ldb, bool transposed, Index cols, Index kc, bool scale, bool skips,
            T alpha, T *__restrict bp, bool *plain, typename V::Live *__restrict lp) {
  using Live = typename V::Live;
  for (Index q = 0; q < cols; q += kNr, bp += kc * kNr, lp += kc * kNr) {
    const int s_end = int(cols - q < kNr ? cols - q : kNr);
    const T *src = transposed ? b + q : b + q * ldb;
    if (!scale) {
      copy_panel<V, kNr>(src, ldb, transposed, s_end, 0, kc, bp);
      continue;
    }
    plain[q / kNr] =
        !copy_scaled_panel<V, kNr>(src, ldb, transposed, s_end, kc, skips, alpha, bp, bp);
    if (plain[q / kNr]) continue;
    // A zero seen: the flags come from b itself (alpha*b may be zero where
    // b is not), so the panel is copied again before it is scaled.
    copy_panel<V, kNr>(src, ldb, transposed, s_end, 0, kc, bp);
    for (Index e = 0; e < kc * kNr; ++e) {
      lp[e] = bp[e] == T(0) && e % kNr < s_end ? Live(0) : Live(~Live(0));
      bp[e] = alpha * bp[e];
    }
  }
}

// ---- Degenerate cases (nothing to accumulate) ------------------------------

// alpha = 0: C := 0 (beta = 0, C unread) or beta*C.  Column form with
// k = 0 is the same scaling.
template <class T> void scale_c(const GemmBlock<T> &g) {
  for (Index j = 0; j < g.n; ++j) {
    T *c = g.c + j * g.ldc;
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
    T *c = g.c + j * g.ldc;
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
  const Index b_step = g.b_transposed ? 1 : g.ldb, b_next = g.b_transposed ? g.ldb : 1;
  Vec acc[kCols][kVecs];
#pragma GCC unroll 16
  for (int j = 0; j < kCols; ++j)
#pragma GCC unroll 16
    for (int v = 0; v < kVecs; ++v) {
      if (g.beta == T(0)) {
        acc[j][v] = V::zero();
      } else {
        const Vec x = V::load_first(g.c + (j0 + j) * g.ldc + v * W, rows[v]);
        acc[j][v] = g.beta == T(1) ? x : V::mul(V::set1(g.beta), x);
      }
    }
  const Vec va = V::set1(g.alpha);
  const T *b = g.b + j0 * b_step;
  for (Index l = 0; l < g.k; ++l, b += b_next) {
    Vec a[kVecs];
#pragma GCC unroll 16
    for (int v = 0; v < kVecs; ++v)
      a[v] = V::load_first(g.a + l * g.lda + v * W, rows[v]);
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
      V::store_first(g.c + (j0 + j) * g.ldc + v * W, acc[j][v], rows[v]);
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
  const Index b_step = g.b_transposed ? 1 : g.ldb, b_next = g.b_transposed ? g.ldb : 1;
  Vec t[kCols][kK];
  typename V::Mask live[kCols][kK];
  bool any_zero = false;
#pragma GCC unroll 16
  for (int j = 0; j < kCols; ++j)
#pragma GCC unroll 16
    for (int l = 0; l < kK; ++l) {
      const T b = load<T>(g.b + (j0 + j) * b_step + l * b_next);
      t[j][l] = kDot ? V::set1(b) : V::mul(V::set1(g.alpha), V::set1(b));
      live[j][l] = V::nonzero(V::set1(b));
      any_zero = any_zero || b == T(0);
    }
  const T *a = kDot ? at : g.a;
  const Index lda = kDot ? g.m : g.lda;
  T *c = g.c + j0 * g.ldc;
  if (!kDot && g.skip_zeros && any_zero)
    short_depth_group<V, kK, kCols, kDot, true>(a, g.m, lda, t, live, g.alpha, g.beta, c, g.ldc);
  else
    short_depth_group<V, kK, kCols, kDot, false>(a, g.m, lda, t, live, g.alpha, g.beta, c, g.ldc);
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
  if (!g.a_transposed) {
    short_depth_columns_all<V, kK, false>(g, g.a);
    return true;
  }
  Scratch scratch(std::size_t(g.m) * kK * sizeof(T));
  T *at = static_cast<T *>(scratch.data());
  if (!at) return false;
  for (Index i = 0; i < g.m; ++i)
    for (int l = 0; l < kK; ++l)
      at[i + l * g.m] = load<T>(g.a + l + i * g.lda);
  short_depth_columns_all<V, kK, true>(g, at);
  return true;
}

// ---- Few rows: vectors along the rows of C --------------------------------

// Column-form products of up to four rows, or of 8 or 12, fewer than a
// vector: the vectors run along C's rows instead, lane s of a tile vector
// holding C(i, j0 + s).  op(B) is packed in panels of kWidth columns,
// group l holding temp = alpha*op(B)(l, j0..j0+kWidth-1) (zero past the
// edge); a panel with a zero among its real values (when zeros skip) also
// keeps its b values, whose lanes say which terms are added.  A is read in
// place.  Every element keeps the column form's order: its start (+0, C or
// beta*C), then += temp*A(i, l) for l in order, b = 0 skipped.  Rows
// beside the block may take the dot form over the same panels (DotRows).

// Panels side by side in a tile of kRows rows: up to 24 accumulators.
template <int kRows> constexpr int kFewPanels = kRows <= 4 ? 4 : kRows <= 8 ? 3 : 2;

// With keep_raw every panel keeps its b values (dot rows read them).
template <class V, class T = typename V::T>
void pack_b_wide(const T *b, Index ldb, bool transposed, Index cols, Index kc, bool skips,
                 bool keep_raw, T alpha, T *__restrict bp, T *__restrict raw, bool *plain) {
  constexpr int W = V::kWidth;
  for (Index q = 0; q < cols; q += W, bp += kc * W, raw += kc * W) {
    const int s_end = int(cols - q < W ? cols - q : W);
    const T *src = transposed ? b + q : b + q * ldb;
    plain[q / W] = !copy_scaled_panel<V, W>(src, ldb, transposed, s_end, kc, skips, alpha,
                                            keep_raw ? raw : bp, bp);
    if (!plain[q / W] && !keep_raw) copy_panel<V, W>(src, ldb, transposed, s_end, 0, kc, raw);
  }
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

// kRows rows (and kDots dot rows) by kPanels panels (cols columns of C,
// the rest lanes of padding) over kc values of l; panels panel_step apart
// in bp and raw (the b values: for kMasked a term is added where its b
// lane is not zero; dot rows multiply them).
template <class V, int kRows, int kDots, int kPanels, bool kMasked>
__attribute__((always_inline)) inline void
few_rows_tile(Index kc, const typename V::T *a, Index lda, const typename V::T *__restrict bp,
              const typename V::T *__restrict raw, Index panel_step, Start start,
              typename V::T beta, typename V::T *c, Index ldc, Index cols,
              const DotTile<typename V::T> &dt) {
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
  for (Index l = 0; l < kc; ++l) {
    Vec t[kPanels], bv[kPanels];
    typename V::Mask live[kPanels];
#pragma GCC unroll 4
    for (int p = 0; p < kPanels; ++p) {
      t[p] = V::load(bp + p * panel_step + l * W);
      if constexpr (kMasked || kDots > 0) bv[p] = V::load(raw + p * panel_step + l * W);
      if constexpr (kMasked) live[p] = V::nonzero(bv[p]);
    }
#pragma GCC unroll 16
    for (int r = 0; r < kRows; ++r) {
      const Vec ar = V::set1(load<T>(a + r + l * lda));
#pragma GCC unroll 4
      for (int p = 0; p < kPanels; ++p) {
        if constexpr (kMasked)
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
  Scratch scratch((2 * b_len + t_len) * sizeof(T) + std::size_t(nc_max / W) + 64);
  T *bpack = static_cast<T *>(scratch.data());
  if (!bpack) return false;
  T *raw = bpack + b_len;
  T *temps = raw + b_len;
  bool *plain = reinterpret_cast<bool *>(temps + t_len);
  for (Index jc = 0; jc < n; jc += kBlockCols) {
    const Index ncur = n - jc < kBlockCols ? n - jc : kBlockCols;
    for (Index pc = 0; pc < k; pc += kc_max) {
      const Index kc = k - pc < kc_max ? k - pc : kc_max;
      const T *bsrc = g.b_transposed ? g.b + jc + pc * g.ldb : g.b + pc + jc * g.ldb;
      pack_b_wide<V>(bsrc, g.ldb, g.b_transposed, ncur, kc, g.skip_zeros, kDots > 0, g.alpha, bpack,
                     raw, plain);
      const Start start = start_of(pc == 0, g.beta);
      const T *a = g.a + pc * g.lda;
      const Index step = kc * W;
      for (Index q = 0; q < ncur;) {
        const Index panel = q / W;
        T *c = g.c + (jc + q) * g.ldc;
        const Index left = ncur - q;
        DotTile<T> dt{};
        if constexpr (kDots > 0)
          dt = DotTile<T>{temps + q,    nc_max,       dots->x + pc * dots->x_step,
                          dots->x_row,  dots->x_step, dots->y + (jc + q) * dots->y_step,
                          dots->y_row,  dots->y_step, pc == 0,
                          pc + kc == k, g.alpha};
        bool plain_run = left > (kPanels - 1) * W;
        for (int p = 0; p < kPanels && plain_run; ++p)
          plain_run = plain[panel + p];
        const T *bq = bpack + panel * step, *rq = raw + panel * step;
        if (plain_run) {
          few_rows_tile<V, kRows, kDots, kPanels, false>(kc, a, g.lda, bq, rq, step, start, g.beta,
                                                         c, g.ldc, left, dt);
          q += kPanels * W;
        } else {
          if (plain[panel])
            few_rows_tile<V, kRows, kDots, 1, false>(kc, a, g.lda, bq, rq, step, start, g.beta, c,
                                                     g.ldc, left, dt);
          else
            few_rows_tile<V, kRows, kDots, 1, true>(kc, a, g.lda, bq, rq, step, start, g.beta, c,
                                                    g.ldc, left, dt);
          q += W;
        }
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
  if (g.a_transposed || g.m != 4 || V::kWidth <= 4 || g.n <= 0 || g.k <= 0 || g.alpha == T(0))
    return false;
  switch (d.count) {
  case 1: return few_rows_form<V, 4, 1>(g, &d);
  case 2: return few_rows_form<V, 4, 2>(g, &d);
  case 3: return few_rows_form<V, 4, 3>(g, &d);
  default: return false;
  }
}

// ---- Few rows and columns: lanes as (i, j) pairs ---------------------------
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
  const T *xs = x_is_row ? g.a : g.b, *ys = x_is_row ? g.b : g.a;
  const Index x_ld = x_is_row ? g.lda : g.ldb, y_ld = x_is_row ? g.ldb : g.lda;
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
      T *c = x_is_row ? g.c + x + y * g.ldc : g.c + y + x * g.ldc;
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
  const Index b_l = g.b_transposed ? g.ldb : 1, b_j = g.b_transposed ? 1 : g.ldb;
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
        const T c = load<T>(g.c + i + j * g.ldc);
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
                : cnt == W ? V::load(g.b + s * g.ldb + l0)
                           : V::load_first(g.b + s * g.ldb + l0, cnt);
    typename V::Perm y_idx = y_idx0;
    for (int l = 0; l < cnt; ++l) {
      const Vec a_col = V::load_first(g.a + (l0 + l) * g.lda, int(g.m));
      const Vec x = V::select2(a_col, x_pick, a_col);
      Vec b_row;
      if constexpr (!kBColumns && kPerVec > 1)
        b_row = V::load_first(g.b + (l0 + l) * g.ldb, int(g.n));
#pragma GCC unroll 8
      for (int v = 0; v < kVecs; ++v) {
        Vec b;
        if constexpr (kPerVec == 1)
          b = V::set1(load<T>(g.b + v * b_j + (l0 + l) * b_l));
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
      store<T>(g.c + i + j * g.ldc, temps[lane_of(i, j)]);
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
    if (!g.a_transposed) {
      // The column form, x over C's rows: with a vector of columns (half a
      // vector when B is read down its columns) the few-row tiles do better.
      if (g.n >= (g.b_transposed ? W : W / 2 + 1)) return false;
      const int xq = pair_period(g.m);
      return pair_instance<V>(xq, (g.n + W / xq - 1) / (W / xq), [&](auto kxq, auto kvecs) {
        constexpr int kXq = decltype(kxq)::value, kVecs = decltype(kvecs)::value;
        if (g.b_transposed)
          pair_lanes_column<V, kXq, kVecs, false>(g);
        else
          pair_lanes_column<V, kXq, kVecs, true>(g);
      });
    }
    if (g.b_transposed) return false;
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

// ---- Direct column form ------------------------------------------------------

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
template <class V> bool direct_column_form(const GemmBlock<typename V::T> &g) {
  using T = typename V::T;
  constexpr GemmShape S = V::kShape;
  using Live = typename V::Live;
  constexpr int kVecs = S.vecs, kNr = S.nr, W = V::kWidth;
  const Index m = g.m, n = g.n, k = g.k;
  const bool tr = g.b_transposed;
  const bool zeros = g.skip_zeros && scan_scale_lines<V>(g.b, g.ldb, tr ? k : n, tr ? n : k, true,
                                                         T(1), static_cast<T *>(nullptr));
  const bool scaled = !zeros && !(g.alpha == T(1));
  const Index nc_max = n < S.nc ? n : S.nc;
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
    const T *bsrc = tr ? g.b + jc : g.b + jc * g.ldb;
    // Panels read where they stand (in op(B) or its scaled copy): all whole
    // ones unless a zero skips.
    const Index direct_cols = zeros ? 0 : ncur / kNr * kNr;
    const T *t = bsrc;
    Index t_ld = g.ldb;
    if (scaled) {
      t_ld = tr ? ncur : k;
      scan_scale_lines<V>(bsrc, g.ldb, tr ? k : ncur, t_ld, false, g.alpha, copy);
      t = copy;
    }
    const Index b_col = tr ? 1 : t_ld, b_step = tr ? t_ld : 1;
    if (direct_cols < ncur)
      pack_b<V, kNr>(bsrc + (tr ? direct_cols : direct_cols * g.ldb), g.ldb, tr, ncur - direct_cols,
                     k, true, g.skip_zeros, g.alpha, bpack, plain, lpack);
    for (Index jr = 0; jr < ncur; jr += kNr) {
      const int cols = int(ncur - jr < kNr ? ncur - jr : kNr);
      const Index q = (jr - direct_cols) / kNr; // packed panel
      Index ir = 0;
      for (Index v0 = 0; v0 < tiles; ++v0) {
        const int vecs = int(all_vecs / tiles + (v0 < all_vecs % tiles ? 1 : 0));
        const int rows = int(m - ir < vecs * W ? m - ir : vecs * W);
        const T *ap = g.a + ir;
        T *c = g.c + ir + (jc + jr) * g.ldc;
        ir += rows;
        const T *c_next = ir < m ? c + rows : g.c + (jc + jr + kNr) * g.ldc;
        auto tile = [&](auto used, auto a_source) {
          constexpr int kUsed = decltype(used)::value;
          constexpr ASource kA = decltype(a_source)::value;
          constexpr int MR = kUsed * W;
          if (jr < direct_cols)
            column_tile<V, kUsed, kNr, false, MR, true, kA>(k, ap, t + jr * b_col, nullptr, start,
                                                            g.beta, c, g.ldc, rows, cols, c_next,
                                                            b_col, b_step, g.lda);
          else if (plain[q])
            column_tile<V, kUsed, kNr, false, MR, false, kA>(k, ap, bpack + q * kNr * k, nullptr,
                                                             start, g.beta, c, g.ldc, rows, cols,
                                                             c_next, 1, kNr, g.lda);
          else
            column_tile<V, kUsed, kNr, true, MR, false, kA>(
                k, ap, bpack + q * kNr * k, lpack + q * kNr * k, start, g.beta, c, g.ldc, rows,
                cols, c_next, 1, kNr, g.lda);
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

// ---- Driver ----------------------------------------------------------------

// The whole reference GEMM.  Returns false, with nothing read or written,
// when its workspace cannot be had.
template <class V> bool gemm(const GemmBlock<typename V::T> &g) {
  using T = typename V::T;
  constexpr GemmShape S = V::kShape;
  constexpr int kVecs = S.vecs, kNr = S.nr;
  static_assert(kVecs >= 1 && kVecs <= 3, "tiles of one, two or three vectors");
  static_assert(S.short_depth <= 8, "short-depth forms up to eight values of l");
  constexpr Index MR = kVecs * V::kWidth;
  const Index m = g.m, n = g.n, k = g.k;
  if (m <= 0 || n <= 0) return true;
  if (g.beta == T(1) && (g.alpha == T(0) || k <= 0)) return true;
  if (g.alpha == T(0) || (k <= 0 && !g.a_transposed)) {
    scale_c(g);
    return true;
  }
  if (k <= 0) {
    dot_empty(g);
    return true;
  }

  const bool dot = g.a_transposed;
  if (!dot && n <= S.small_side && k <= S.small_side && m <= 2 * V::kWidth) {
    if (m <= V::kWidth)
      small_column_form<V, 1>(g);
    else
      small_column_form<V, 2>(g);
    return true;
  }
  if (k <= S.short_depth && m >= V::kWidth) {
    switch (k) {
    case 1: return short_depth_form<V, 1>(g);
    case 2: return short_depth_form<V, 2>(g);
    case 3: return short_depth_form<V, 3>(g);
    case 4: return short_depth_form<V, 4>(g);
    case 5: return short_depth_form<V, 5>(g);
    case 6: return short_depth_form<V, 6>(g);
    case 7: return short_depth_form<V, 7>(g);
    default: return short_depth_form<V, 8>(g);
    }
  }
  if (gemm_pair_lanes<V>(g)) return true;
  if (!dot && m < V::kWidth) {
    switch (m) {
    case 1: return few_rows_form<V, 1>(g);
    case 2: return few_rows_form<V, 2>(g);
    case 3: return few_rows_form<V, 3>(g);
    case 4: return few_rows_form<V, 4>(g);
    case 8: return few_rows_form<V, 8>(g);
    case 12: return few_rows_form<V, 12>(g);
    default: break;
    }
  }
  // One tile of rows with alpha = 1 reads op(B) in place over every l
  // (measured with k = 1000: REAL(8) 8 to 24 rows 1.3x to 1.6x, REAL(4)
  // 16 to 40 rows 1.2x to 1.4x; with alpha != 1 its scaled copy made it
  // slower than the packed form).
  const bool one_tile = m <= MR && g.alpha == T(1);
  if (!dot && (k <= S.kc || one_tile) && std::size_t(m * k) * sizeof(T) <= S.in_cache_bytes &&
      direct_column_form<V>(g))
    return true;
  // Blocks of l as even as whole steps of 16 allow (a short last block
  // would pay a tile's loads and stores of C for few terms).
  const Index kc_max = [&] {
    if (k <= S.kc) return k;
    const Index blocks = (k + S.kc - 1) / S.kc;
    return ((k + blocks - 1) / blocks + 15) / 16 * 16;
  }();
  const Index mc_max = m < S.mc ? (m + MR - 1) / MR * MR : S.mc;
  // The dot form keeps the temps of all m rows of a column block between
  // blocks of l; its column blocks are narrowed so they stay moderate.
  const Index m_pad = (m + MR - 1) / MR * MR;
  Index nc = S.nc;
  if (dot && k > kc_max) {
    Index limit = (Index(1) << 24) / Index(sizeof(T)) / m_pad / kNr * kNr;
    if (limit < kNr) limit = kNr;
    if (limit < nc) nc = limit;
  }
  const Index nc_max = n < nc ? (n + kNr - 1) / kNr * kNr : nc;
  const std::size_t a_len = std::size_t(mc_max * kc_max);
  // The dot form with one panel of rows uses each value of B once, and a
  // small op(B) stays in cache: whole panels of columns read it where it
  // stands, and only a last, partial panel is packed.
  const bool one_panel = dot && m <= MR;
  const bool direct_b =
      one_panel || (dot && std::size_t(k) * std::size_t(n) * sizeof(T) <= S.in_cache_bytes);
  const std::size_t b_len = std::size_t((direct_b ? kNr : nc_max) * kc_max);
  const std::size_t w_len = dot && k > kc_max ? std::size_t(m_pad * nc_max) : 0;
  using Live = typename V::Live;
  const std::size_t l_len = dot ? 0 : b_len; // a flag per packed value of B
  const std::size_t flags = std::size_t(nc_max / kNr);
  static_assert(alignof(Live) <= alignof(T));
  Scratch scratch((a_len + b_len + w_len) * sizeof(T) + l_len * sizeof(Live) + flags + 64);
  char *ws = static_cast<char *>(scratch.data());
  if (!ws) return false;
  T *apack = reinterpret_cast<T *>(ws);
  T *bpack = apack + a_len;
  T *wpack = bpack + b_len;
  Live *lpack = reinterpret_cast<Live *>(wpack + w_len);
  bool *plain = reinterpret_cast<bool *>(lpack + l_len);

  for (Index jc = 0; jc < n; jc += nc) {
    const Index ncur = n - jc < nc ? n - jc : nc;
    const Index direct_cols = direct_b ? ncur / kNr * kNr : 0;
    for (Index pc = 0; pc < k; pc += kc_max) {
      const Index kc = k - pc < kc_max ? k - pc : kc_max;
      const bool first = pc == 0, last = pc + kc == k;
      const T *bsrc = g.b_transposed ? g.b + jc + pc * g.ldb : g.b + pc + jc * g.ldb;
      if (direct_b) {
        if (direct_cols < ncur)
          pack_b<V, kNr>(bsrc + (g.b_transposed ? direct_cols : direct_cols * g.ldb), g.ldb,
                         g.b_transposed, ncur - direct_cols, kc, false, false, g.alpha, bpack,
                         plain, lpack);
      } else {
        pack_b<V, kNr>(bsrc, g.ldb, g.b_transposed, ncur, kc, !dot, g.skip_zeros, g.alpha, bpack,
                       plain, lpack);
      }
      for (Index ic = 0; ic < m; ic += S.mc) {
        const Index mcur = m - ic < S.mc ? m - ic : S.mc;
        // One panel of rows is packed only as wide as its vectors.
        const int a_vecs = int((mcur + V::kWidth - 1) / V::kWidth);
        if (one_panel && a_vecs == 1)
          pack_a_rows<V, 1>(g.a + pc + ic * g.lda, g.lda, mcur, kc, apack);
        else if (one_panel && a_vecs == 2)
          pack_a_rows<V, 2>(g.a + pc + ic * g.lda, g.lda, mcur, kc, apack);
        else if (dot)
          pack_a_rows<V, kVecs>(g.a + pc + ic * g.lda, g.lda, mcur, kc, apack);
        else
          pack_a_columns<V, kVecs>(g.a + ic + pc * g.lda, g.lda, mcur, kc, apack);
        for (Index jr = 0; jr < ncur; jr += kNr) {
          const int cols = int(ncur - jr < kNr ? ncur - jr : kNr);
          const bool direct = direct_b && jr < direct_cols;
          const T *bp = direct     ? bsrc + (g.b_transposed ? jr : jr * g.ldb)
                        : direct_b ? bpack
                                   : bpack + jr * kc;
          for (Index ir = 0; ir < mcur; ir += MR) {
            const int rows = int(mcur - ir < MR ? mcur - ir : MR);
            const T *ap = apack + ir * kc;
            T *c = g.c + (ic + ir) + (jc + jr) * g.ldc;
            // The tile after this one: next rows, or the next column panel.
            const T *c_next = ir + MR < mcur ? c + MR : g.c + ic + (jc + jr + kNr) * g.ldc;
            // The block's last tile uses only the vectors its rows need.
            const int vecs = (rows + V::kWidth - 1) / V::kWidth;
            auto tile = [&](auto used) {
              constexpr int kUsed = decltype(used)::value;
              if (dot) {
                T *w = wpack + ((jr / kNr) * m_pad + ic + ir) * kNr;
                const T *w_next = w + MR * kNr;
                constexpr int kOnePanel = kUsed * V::kWidth;
                const Index b_col = g.b_transposed ? 1 : g.ldb;
                const Index b_step = g.b_transposed ? g.ldb : 1;
                if (direct && one_panel)
                  dot_tile<V, kUsed, kNr, kOnePanel, true>(kc, ap, bp, first, last, w, g.alpha,
                                                           g.beta, c, g.ldc, rows, cols,
                                                           last ? c_next : w_next, b_col, b_step);
                else if (direct)
                  dot_tile<V, kUsed, kNr, MR, true>(kc, ap, bp, first, last, w, g.alpha, g.beta, c,
                                                    g.ldc, rows, cols, last ? c_next : w_next,
                                                    b_col, b_step);
                else if (one_panel)
                  dot_tile<V, kUsed, kNr, kOnePanel>(kc, ap, bp, first, last, w, g.alpha, g.beta, c,
                                                     g.ldc, rows, cols, last ? c_next : w_next);
                else
                  dot_tile<V, kUsed, kNr, MR>(kc, ap, bp, first, last, w, g.alpha, g.beta, c, g.ldc,
                                              rows, cols, last ? c_next : w_next);
              } else {
                const Start start = start_of(first, g.beta);
                if (plain[jr / kNr])
                  column_tile<V, kUsed, kNr, false, MR>(kc, ap, bp, nullptr, start, g.beta, c,
                                                        g.ldc, rows, cols, c_next);
                else
                  column_tile<V, kUsed, kNr, true, MR>(kc, ap, bp, lpack + jr * kc, start, g.beta,
                                                       c, g.ldc, rows, cols, c_next);
              }
            };
            with_vector_count<kVecs>(vecs, tile);
          }
        }
      }
    }
  }
  return true;
}

} // namespace mox2::kernels::blocked
