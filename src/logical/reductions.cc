// ALL, ANY and COUNT of LOGICAL arrays: the rank-1 workers, the whole-array
// reductions of rank 2 to 7 (one worker call per column, contiguous
// columns joined) and the reductions along DIM (a section per result
// element, or lines of result elements side by side).
//
// ALL and COUNT take an element as true when value & 1 is set, ANY when
// value & 0xFF is nonzero.  ALL of an empty array is true, ANY false, COUNT
// 0; COUNT sums in 32-bit wrap-around.  A negative extent counts as 0.
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "frame/dope.h"
#include "frame/errors.h"
#include "kernels/kernel_set.h"
#include "logical/element.h"
#include "runtime/cpu.h"

namespace mox2::logical {
namespace {

// The contiguous scan of the kernel set in use over n elements of S bytes.
template <Op op, int S> std::uint32_t scan(const unsigned char *p, std::size_t n) {
  const kernels::LogicalScans &scans = kernel_set().logical_scans;
  constexpr int kind = S == 1 ? 0 : S == 2 ? 1 : S == 4 ? 2 : 3;
  if constexpr (op == Op::all)
    return scans.all[kind](p, n);
  else if constexpr (op == Op::any)
    return scans.any[kind](p, n);
  else
    return scans.count[kind](p, n);
}

// Elements S bytes apart (S = 2, 4 or 8, a multiple of K, p aligned to S):
// the tests see only an element's least significant byte, so the first
// n - 1 elements scan as contiguous LOGICAL(S) ones (the bytes between
// elements lie inside the section's span and decide nothing); the last
// element, whose S bytes could pass the section's end, is tested alone.
template <Op op, int K, int S> std::uint32_t scan_spaced(const unsigned char *p, std::size_t n) {
  const unsigned char *last = p + (n - 1) * S;
  if constexpr (op == Op::all)
    return n > 1 && scan<op, S>(p, n - 1) == 0 ? 0 : truth<op, K>(last);
  else if constexpr (op == Op::any)
    return n > 1 && scan<op, S>(p, n - 1) != 0 ? 1 : truth<op, K>(last);
  else
    return (n > 1 ? scan<op, S>(p, n - 1) : 0) + truth<op, K>(last);
}

// Rank-1 worker: one section {base, n, stride}.  Sections whose elements
// lie K, 2, 4 or 8 bytes apart (at least K), on such a boundary, are
// scanned by the kernel set in use; every other stride (any sign) and
// alignment element by element.
template <Op op, int K> std::uint32_t reduce_section(const DopeVector<1> *mask) {
  if (mask == nullptr || mask->base == nullptr) __f_unassociated_array();
  if (mask->extent[0] <= 0) return identity<op>;
  const auto *p = static_cast<const unsigned char *>(mask->base);
  auto n = static_cast<std::size_t>(mask->extent[0]);
  const std::ptrdiff_t stride = mask->stride[0];
  const auto address = reinterpret_cast<std::uintptr_t>(p);
  if (stride == K && address % K == 0) return scan<op, K>(p, n);
  if constexpr (K < 2)
    if (stride == 2 && address % 2 == 0) return scan_spaced<op, K, 2>(p, n);
  if constexpr (K < 4)
    if (stride == 4 && address % 4 == 0) return scan_spaced<op, K, 4>(p, n);
  if constexpr (K < 8)
    if (stride == 8 && address % 8 == 0) return scan_spaced<op, K, 8>(p, n);
  return scan_elements<op, K>(p, n, stride);
}

// Ranks 2 to 7: the columns (sections along dimension 1) in column-major
// order of their subscripts, each through the exported rank-1 worker; ALL
// stops at the first false column, ANY at the first true one.  Leading
// dimensions whose elements continue the run before them (stride(d) =
// extent(d-1)*stride(d-1)) join it in one longer column.
template <Op op, int R, class Result>
Result reduce_columns(const DopeVector<R> *mask, Result (*worker)(const DopeVector<1> *)) {
  if (mask == nullptr || mask->base == nullptr) __f_unassociated_array();
  for (int d = 0; d < R; ++d)
    if (mask->extent[d] <= 0) return static_cast<Result>(identity<op>);
  // (A run whose element or byte count would overflow is not joined.)
  std::intptr_t run = mask->extent[0], run_bytes, joined;
  int outer = 1; // the first dimension walked column by column
  while (outer < R && mask->stride[0] != 0 &&
         !__builtin_mul_overflow(run, mask->stride[0], &run_bytes) &&
         mask->stride[outer] == run_bytes &&
         !__builtin_mul_overflow(run, mask->extent[outer], &joined)) {
    run = joined;
    ++outer;
  }
  DopeVector<1> column{mask->base, {run}, {mask->stride[0]}};
  const char *first = static_cast<const char *>(mask->base);
  std::intptr_t index[R] = {};
  std::uint32_t count = 0;
  for (;;) {
    Result value = worker(&column);
    if constexpr (op == Op::all) {
      if (value == 0) return 0;
    } else if constexpr (op == Op::any) {
      if (value != 0) return 1;
    } else {
      count += static_cast<std::uint32_t>(value);
    }
    int d = outer;
    for (; d < R; ++d) {
      if (++index[d] < mask->extent[d]) break;
      index[d] = 0;
    }
    if (d == R) break;
    const char *base = first;
    for (int k = outer; k < R; ++k)
      base += index[k] * mask->stride[k];
    column.base = const_cast<char *>(base);
  }
  return static_cast<Result>(op == Op::count ? count : identity<op>);
}

// Sections along DIM one at a time: short ones (up to kShortSection
// elements) are tested in line, up to twelve one element at a time (so
// few elements do not repay setting up steps of four), longer ones by the
// rank-1 worker's scans.
constexpr std::intptr_t kShortSection = 16;

// A short section's value, element by element (ALL and ANY stop at the
// deciding one).
template <Op op, int K>
inline std::uint32_t short_section(const unsigned char *p, std::intptr_t len, std::ptrdiff_t s) {
  std::uint32_t v = identity<op>;
  for (std::intptr_t i = 0; i < len; ++i, p += s) {
    const std::uint32_t t = truth<op, K>(p);
    if constexpr (op == Op::count)
      v += t;
    else if (t != identity<op>)
      return t;
  }
  return v;
}

// Along DIM > 1, the result elements that differ only in their first
// subscript (a line, contiguous in the result) take their sections side
// by side: for each position along DIM in order, every element of the line
// is updated from its mask element (COUNT adds, ALL ands, ANY ors), up to
// kLine elements at a time; ALL and ANY stop once every element of the
// line is decided.  The same values as one section at a time.  Lines
// shorter than kLineMin go section by section: so few elements side by
// side do not repay a pass over the line per position along DIM.
constexpr std::intptr_t kLine = 4096, kLineMin = 4;

template <Op op, int K>
inline void update_elements(std::uint32_t *line, std::intptr_t len, const unsigned char *p,
                            std::ptrdiff_t s) {
  for (std::intptr_t i = 0; i < len; ++i) {
    const std::uint32_t t = truth<op, K>(p + i * s);
    if constexpr (op == Op::all)
      line[i] &= t;
    else if constexpr (op == Op::any)
      line[i] |= t;
    else
      line[i] += t;
  }
}

// A contiguous line (kUnit) first asks for all its bytes, kAhead on: the
// hardware prefetchers stop at every page, so a line read from memory
// would otherwise wait for each new page.
template <Op op, int K, bool kUnit>
void update_line(std::uint32_t *line, std::intptr_t len, const unsigned char *p, std::ptrdiff_t s) {
  if constexpr (kUnit) {
    constexpr std::intptr_t kAhead = 1024;
    for (std::intptr_t b = 0; b < len * K; b += 64)
      __builtin_prefetch(p + b + kAhead);
    update_elements<op, K>(line, len, p, K);
  } else {
    update_elements<op, K>(line, len, p, s);
  }
}

// Whether every element of an ALL or ANY line is decided (0, or 1).
template <Op op> bool line_decided(const std::uint32_t *line, std::intptr_t len) {
  std::uint32_t undecided = 0;
  for (std::intptr_t i = 0; i < len; ++i)
    undecided |= line[i] ^ identity<op> ^ 1;
  return undecided == 0;
}

// The line of len elements whose mask elements along dimension 1 start at
// p (s apart), the sections along DIM ed elements sd apart, into out.
template <Op op, int K, class Stored>
void reduce_line(char *out, std::intptr_t len, const unsigned char *p, std::ptrdiff_t s,
                 std::intptr_t ed, std::ptrdiff_t sd) {
  std::uint32_t line[kLine];
  for (std::intptr_t i0 = 0; i0 < len; i0 += kLine) {
    const std::intptr_t n = len - i0 < kLine ? len - i0 : kLine;
    for (std::intptr_t i = 0; i < n; ++i)
      line[i] = identity<op>;
    const unsigned char *q = p + i0 * s;
    for (std::intptr_t j = 0; j < ed; ++j, q += sd) {
      if (s == K)
        update_line<op, K, true>(line, n, q, s);
      else
        update_line<op, K, false>(line, n, q, s);
      // Decided lines are looked for after 1, 2, 4, 8 and then every 16
      // positions.
      if constexpr (op != Op::count)
        if (((j & (j + 1)) == 0 || j % 16 == 15) && line_decided<op>(line, n)) break;
    }
    for (std::intptr_t i = 0; i < n; ++i)
      store<Stored>(out + (i0 + i) * sizeof(Stored), static_cast<Stored>(line[i]));
  }
}

// Along DIM: the result has the shape of MASK without dimension DIM and is
// allocated as for every reduction result; element (j1, ..., j(r-1)), in
// column-major order, is the worker's value on the section of MASK along
// DIM at those subscripts, stored as Stored (LOGICAL(k) or INTEGER(4)).
// The caller's descriptor is written after the last element.
template <Op op, int K, int R, class Stored>
void reduce_along(DopeVector<R - 1> *result, const DopeVector<R> *mask, std::int32_t dim) {
  if (mask == nullptr || mask->base == nullptr) __f_unassociated_array();
  if (dim < 1 || dim > R) __f_illegal_dimension();
  DopeVector<R - 1> out;
  __f_c_set_dope(&out, mask, sizeof(Stored), dim, R);
  std::intptr_t extent[R - 1], stride[R - 1];
  bool empty = false;
  for (int d = 0, j = 0; d < R; ++d) {
    if (d == dim - 1) continue;
    extent[j] = mask->extent[d];
    stride[j] = mask->stride[d];
    empty = empty || extent[j] <= 0;
    ++j;
  }
  if (!empty) {
    const auto *first = static_cast<const unsigned char *>(mask->base);
    char *next = static_cast<char *>(out.base);
    const std::intptr_t len = mask->extent[dim - 1] > 0 ? mask->extent[dim - 1] : 0;
    const std::ptrdiff_t along = mask->stride[dim - 1];
    // The result's first subscript runs inside (one line, or its sections
    // one after another), the others outside.
    const bool lines = dim > 1 && extent[0] >= kLineMin;
    std::intptr_t index[R - 1] = {};
    for (;;) {
      const unsigned char *base = first;
      for (int k = 1; k < R - 1; ++k)
        base += index[k] * stride[k];
      if (lines) {
        reduce_line<op, K, Stored>(next, extent[0], base, stride[0], len, along);
        next += extent[0] * sizeof(Stored);
      } else {
        for (std::intptr_t i = 0; i < extent[0]; ++i, base += stride[0]) {
          std::uint32_t value;
          if (len <= 12) {
            value = short_section<op, K>(base, len, along);
          } else if (len <= kShortSection) {
            value = scan_elements<op, K>(base, std::size_t(len), along);
          } else {
            const DopeVector<1> section{const_cast<unsigned char *>(base), {len}, {along}};
            value = reduce_section<op, K>(&section);
          }
          store<Stored>(next, static_cast<Stored>(value));
          next += sizeof(Stored);
        }
      }
      int j = 1;
      for (; j < R - 1; ++j) {
        if (++index[j] < extent[j]) break;
        index[j] = 0;
      }
      if (j >= R - 1) break;
    }
  }
  std::memcpy(static_cast<void *>(result), &out, sizeof out);
}

template <Op op, int K>
using Stored = std::conditional_t<op == Op::count, std::int32_t, typename LogicalOf<K>::type>;

} // namespace
} // namespace mox2::logical

using mox2::logical::Op;

#define MOX2_DEFINE_WORKER_(op, r, k)                                                              \
  extern "C" MOX2_REDUCTION_S_SIGNATURE(op, r, k) {                                                \
    return static_cast<MOX2_REDUCTION_RESULT_##op(k)>(                                             \
        mox2::logical::reduce_section<Op::op, k>(mask));                                           \
  }
MOX2_REDUCTION_WORKERS(MOX2_DEFINE_WORKER_)
#undef MOX2_DEFINE_WORKER_

#define MOX2_DEFINE_COLUMN_WALK_(op, r, k)                                                         \
  extern "C" MOX2_REDUCTION_S_SIGNATURE(op, r, k) {                                                \
    return mox2::logical::reduce_columns<Op::op, r>(mask, &__f_##op##_s1_l##k);                    \
  }
MOX2_REDUCTION_COLUMN_WALKS(MOX2_DEFINE_COLUMN_WALK_)
#undef MOX2_DEFINE_COLUMN_WALK_

#define MOX2_DEFINE_ALONG_DIM_(op, r, k)                                                           \
  extern "C" MOX2_REDUCTION_A_SIGNATURE(op, r, k) {                                                \
    mox2::logical::reduce_along<Op::op, k, r, mox2::logical::Stored<Op::op, k>>(result, mask,      \
                                                                                dim);              \
  }
MOX2_REDUCTION_A_ENTRIES(MOX2_DEFINE_ALONG_DIM_)
#undef MOX2_DEFINE_ALONG_DIM_
