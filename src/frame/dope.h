// Dope vectors and the rule by which every array result is laid out and
// allocated.
//
// A dope vector of rank r is 1 + 2r pointer-sized words: the address of the
// first element (null: not associated), r extents, r signed byte strides.
// Element (i1, ..., ir), counted from 0, lies at base + sum(ik * stride[k]).
// A negative extent counts as 0.
//
// Result arrays are contiguous and column-major: stride[1] = E,
// stride[k] = E * m1 * ... * m(k-1).  Their storage comes from malloc:
// E * m1 * ... * mr bytes, or E bytes when the result is empty, so that an
// empty result still has a non-null base.  A size that cannot be
// represented, or a failed malloc, ends the process (out of space).
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/types.h"

namespace mox2 {

template <int R> struct DopeVectorOf;
#define MOX2_DOPE_VECTOR_OF_(r)                                                \
  template <> struct DopeVectorOf<r> {                                         \
    using type = mox2_dope_vector##r;                                          \
  };
MOX2_DOPE_VECTOR_OF_(0)
MOX2_DOPE_VECTOR_OF_(1)
MOX2_DOPE_VECTOR_OF_(2)
MOX2_DOPE_VECTOR_OF_(3)
MOX2_DOPE_VECTOR_OF_(4)
MOX2_DOPE_VECTOR_OF_(5)
MOX2_DOPE_VECTOR_OF_(6)
MOX2_DOPE_VECTOR_OF_(7)
#undef MOX2_DOPE_VECTOR_OF_

template <int R> using DopeVector = typename DopeVectorOf<R>::type;

// The number of elements along one dimension.
inline std::size_t extent_count(std::intptr_t extent) {
  return extent > 0 ? static_cast<std::size_t>(extent) : 0;
}

// Storage for a result of `count` elements of `elem_size` bytes (at least
// elem_size bytes).  Ends the process when count * elem_size overflows or
// malloc fails.
void *allocate_result(std::size_t elem_size, std::size_t count);

// count1 * count2, ending the process (out of space) on overflow: a result
// that large could never be allocated.
std::size_t checked_product(std::size_t count1, std::size_t count2);
// count1 + count2, likewise.
std::size_t checked_sum(std::size_t count1, std::size_t count2);

// Writes a contiguous column-major descriptor of the given extents.
template <int R>
void describe_result(DopeVector<R> *result, void *base, const std::size_t (&extents)[R],
                     std::size_t elem_size) {
  std::size_t stride = elem_size;
  result->base = base;
  for (int k = 0; k < R; ++k) {
    result->extent[k] = static_cast<std::intptr_t>(extents[k]);
    result->stride[k] = static_cast<std::intptr_t>(stride);
    stride *= extents[k];
  }
}

} // namespace mox2

extern "C" {
// Describes and allocates the result of a reduction of `source` (rank
// `rank`) along dimension `dim` (1-based, already checked): the shape of
// source without dimension dim, contiguous, elements of elemsize bytes.
// For rank 1 the result has rank 0 and only its base is written.
void __f_c_set_dope(void *result, const void *source, std::uint32_t elemsize, std::int32_t dim,
                    std::int32_t rank);
}
