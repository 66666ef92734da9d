// The packing of the blocked real GEMM: blocks of op(A) into panels of MR
// rows, blocks of op(B) into panels of NR columns (column form: scaled by
// alpha, with a flag "b != 0" per value where a panel holds a zero that
// skips).  Moving values changes no bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <type_traits>

#include "frame/types.h"
#include "kernels/gemm/blocked/vector_policy.h"
#include "kernels/group_flags.h"
#include "kernels/page_touch.h"

namespace mox2::kernels::blocked {
inline namespace MOX2_ISA_NAMESPACE {

// Rows i0..i0+rows-1 of op(A) = A (column form; A(i, l) = a[i + l*lda]),
// l = l0..l0+kc-1, into panels of MR rows: panel p, group l holds
// A(i0 + p*MR + r, l0 + l) for r = 0..MR-1, zero past the edge.
template <class V, int kVecs>
void pack_a_columns(const typename V::T *a, Index lda, Index rows, Index kc,
                    typename V::T *__restrict ap) {
  constexpr int W = V::kWidth;
  constexpr int MR = kVecs * W;
  // Whole panels column by column: each column's rows are read in one run.
  // A is usually read from memory here, a short run per page: the run of
  // the column kPackAhead columns on is asked for.
  constexpr Index kPackAhead = 8;
  const std::uintptr_t ahead = std::uintptr_t(kPackAhead * lda) * sizeof(typename V::T);
  const std::uintptr_t run_bytes = std::uintptr_t(rows) * sizeof(typename V::T);
  const Index whole = rows / MR * MR;
  if (whole > 0)
    for (Index l = 0; l < kc; ++l) {
      const typename V::T *src = a + l * lda;
      typename V::T *dst = ap + l * MR;
      ask_for_lines(src, ahead, run_bytes);
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

// Whether copy_panel sends every value of a panel through its `put` (rows
// of B a vector at a time; columns through whole and partial squares the
// policy transposes in registers).
template <class V, int kCols>
constexpr bool kPutsEveryValue = requires(const typename V::T *b, typename V::T *d,
                                          typename V::Vec *p) {
  requires kCols % 8 == 0 && kCols % V::kTransposeStep == 0 && kCols % V::kWidth == 0;
  V::transpose_rows(b, Index(1), d, Index(kCols));
  V::transposed_square(b, Index(1), p);
  V::transposed_part(b, Index(1), 1, 1, p);
};

// Values l0..l1-1 of one panel of kCols columns, of which the first s_end
// are real (b at op(B)(0, j0)), into dst, kCols per group, zero past the
// edge.  Rows of B (op(B) = B^T), and columns where the policy transposes
// in registers, go a vector of kWidth values of a group at a time through
// put(at, v) (V::store(at, v) without one); the others are stored as they
// are.
template <class V, int kCols, class T = typename V::T, class Put = std::nullptr_t>
void copy_panel(const T *b, Index ldb, bool transposed, int s_end, Index l0, Index l1,
                T *__restrict dst, Put put = nullptr) {
  auto put_vector = [&](T * at, typename V::Vec v) __attribute__((always_inline)) {
    if constexpr (std::is_same_v<Put, std::nullptr_t>)
      V::store(at, v);
    else
      put(at, v);
  };
  constexpr bool kSimdTranspose = kCols % 8 == 0 && requires {
    V::transpose_rows(b, ldb, dst, Index(kCols));
  };
  if (transposed) { // op(B)(l, j) = B(j, l): a row of B
    if constexpr (kCols % V::kWidth == 0) {
      for (Index l = l0; l < l1; ++l)
        for (int s0 = 0; s0 < kCols; s0 += V::kWidth) {
          const int real = s_end - s0 < 0 ? 0 : s_end - s0 < V::kWidth ? s_end - s0 : V::kWidth;
          put_vector(dst + l * kCols + s0, real == V::kWidth ? V::load(b + l * ldb + s0)
                                           : real > 0        ? V::load_first(b + l * ldb + s0, real)
                                                             : V::zero());
        }
      return;
    }
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
  constexpr bool kSquaresOnly =
      !kSimdTranspose && std::is_same_v<Put, std::nullptr_t> && requires(typename V::Vec * p) {
    V::transposed_square(b, ldb, p);
  };
  if constexpr (kSquaresOnly) {
    constexpr Index kStep = V::kTransposeStep;
    // A panel narrower than the policy's square: part squares, their
    // first kCols lanes stored.  Each group but the last is stored whole,
    // its extra lanes overwritten by the next group's store.
    if constexpr (kCols < kStep &&
                  requires(typename V::Vec * p) { V::transposed_part(b, ldb, 1, 1, p); }) {
      for (; l < l1; l += kStep) {
        const int rows = int(l1 - l < kStep ? l1 - l : kStep);
        typename V::Vec p[kStep];
        V::transposed_part(b + l, ldb, s_end, rows, p);
        for (int t = 0; t + 1 < rows; ++t)
          V::store(dst + (l + t) * kCols, p[t]);
        V::store_first(dst + (l + rows - 1) * kCols, p[rows - 1], kCols);
      }
      return;
    }
    // Whole squares of kTransposeStep columns through registers; the
    // columns past them a column at a time.
    const int squared = s_end / int(kStep) * int(kStep);
    if (squared > 0) {
      for (; l + kStep <= l1; l += kStep)
        for (int s0 = 0; s0 < squared; s0 += int(kStep)) {
          typename V::Vec p[kStep];
          V::transposed_square(b + s0 * ldb + l, ldb, p);
          for (Index t = 0; t < kStep; ++t)
            V::store(dst + (l + t) * kCols + s0, p[t]);
        }
      for (int s = squared; s < kCols; ++s)
        for (Index t = l0; t < l; ++t)
          dst[t * kCols + s] = s < s_end ? load<T>(b + s * ldb + t) : T(0);
    }
  }
  if constexpr (kSimdTranspose) {
    constexpr Index kStep = V::kTransposeStep;
    // Each column is a stream of its own, read a few lines at a time: its
    // lines are asked for 512 bytes ahead (a hint at an address that may lie
    // past the column, reached by integer arithmetic; it never faults).
    constexpr Index kAhead = 512 / Index(sizeof(T));
    // kTransposeStep columns at once where the policy transposes a square
    // in registers, else eight.
    constexpr bool kSquare = kPutsEveryValue<V, kCols>;
    constexpr int kGroup = kSquare ? int(kStep) : 8;
    if (s_end == kCols)
      for (; l + kStep <= l1; l += kStep)
        for (int s0 = 0; s0 < kCols; s0 += kGroup) {
          for (int s = 0; s < kGroup; ++s)
            __builtin_prefetch(
                reinterpret_cast<const void *>(
                    reinterpret_cast<std::uintptr_t>(b + (s0 + s) * ldb + l) + kAhead * sizeof(T)),
                0, 3);
          if constexpr (kSquare) {
            typename V::Vec p[kStep];
            V::transposed_square(b + s0 * ldb + l, ldb, p);
            for (Index t = 0; t < kStep; ++t)
              put_vector(dst + (l + t) * kCols + s0, p[t]);
          } else {
            V::transpose_rows(b + s0 * ldb + l, ldb, dst + l * kCols + s0, kCols);
          }
        }
    if constexpr (kSquare) {
      // The edges (a partial panel, the last values of l) in squares with
      // the columns and values past them zero.
      for (; l < l1; l += kStep) {
        const int rows = int(l1 - l < kStep ? l1 - l : kStep);
        for (int s0 = 0; s0 < kCols; s0 += int(kStep)) {
          const int cols = s_end - s0 < 0 ? 0 : s_end - s0 < kStep ? s_end - s0 : int(kStep);
          typename V::Vec p[kStep];
          V::transposed_part(b + (cols > 0 ? s0 * ldb : 0) + l, ldb, cols, rows, p);
          for (int t = 0; t < rows; ++t)
            put_vector(dst + (l + t) * kCols + s0, p[t]);
        }
      }
      return;
    } else if (l + kStep <= l1) {
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
  // The lanes of real values in each vector of one period of whole groups
  // and whole vectors (kPeriod vectors), counted from group l0.
  constexpr int kPeriod = std::lcm(W, kCols) / W;
  unsigned real[kPeriod] = {};
  for (int v = 0; v < kPeriod; ++v)
    for (int s = 0; s < W; ++s)
      if ((v * W + s) % kCols < s_end) real[v] |= 1u << s;
  Index e = l0 * kCols;
  const Index end = l1 * kCols;
  if constexpr (kPeriod == 1) {
    for (; e + 4 * W <= end; e += 4 * W)
      if ((V::zero_lanes(V::load(p + e)) | V::zero_lanes(V::load(p + e + W)) |
           V::zero_lanes(V::load(p + e + 2 * W)) | V::zero_lanes(V::load(p + e + 3 * W))) &
          real[0])
        return true;
  } else {
    for (; e + kPeriod * W <= end; e += kPeriod * W) {
      unsigned zeros = 0;
      for (int v = 0; v < kPeriod; ++v)
        zeros |= V::zero_lanes(V::load(p + e + v * W)) & real[v];
      if (zeros) return true;
    }
  }
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
// never stored) and, at groups + (q/kNr)*(kc + 1), the groups l that hold
// a zero in increasing order, then kc (column_tile); without, every
// panel is plain.  Values are scaled a chunk at a time, while in cache.
template <class V, int kNr, class T = typename V::T>
void pack_b(const T *b, Index ldb, bool transposed, Index cols, Index kc, bool scale, bool skips,
            T alpha, T *__restrict bp, bool *plain, typename V::Live *__restrict lp,
            std::int32_t *__restrict groups) {
  using Live = typename V::Live;
  for (Index q = 0; q < cols;
       q += kNr, bp += kc * kNr, lp += kc * kNr, groups += skips && scale ? kc + 1 : 0) {
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
    list_masked_groups<Live, kNr>(lp, kc, groups);
  }
}

} // namespace MOX2_ISA_NAMESPACE
} // namespace mox2::kernels::blocked
