// Contiguous scans of the rank-1 reduction workers, one set per instruction
// set.  Every set gives the same answer; only the speed differs.
//
// A scan covers n >= 1 elements of LOGICAL(K), K = 1, 2, 4 or 8, stored
// one after the other from p (aligned to K bytes).  ALL and COUNT take an element
// as true when value & 1 is set, ANY when value & 0xFF is nonzero.  ALL and
// ANY return 1 or 0; COUNT returns the number of true elements modulo 2^32.
// A scan may stop early but reads no byte outside the n elements.
//
// This header is included by code compiled for AVX2 and AVX-512: it holds
// declarations only, so that no inline function built for a wider
// instruction set can be shared with portable code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mox2::logical {

enum class Op { all, any, count };

template <Op op, int K> std::uint32_t scan_portable(const unsigned char *p, std::size_t n);
template <Op op, int K> std::uint32_t scan_avx2(const unsigned char *p, std::size_t n);
template <Op op, int K> std::uint32_t scan_avx512(const unsigned char *p, std::size_t n);

} // namespace mox2::logical

// Explicit instantiations of one scan family for the three operations and
// the four kinds.
#define MOX2_LOGICAL_INSTANTIATE_SCANS(family)                                                     \
  template std::uint32_t family<Op::all, 1>(const unsigned char *, std::size_t);                   \
  template std::uint32_t family<Op::all, 2>(const unsigned char *, std::size_t);                   \
  template std::uint32_t family<Op::all, 4>(const unsigned char *, std::size_t);                   \
  template std::uint32_t family<Op::all, 8>(const unsigned char *, std::size_t);                   \
  template std::uint32_t family<Op::any, 1>(const unsigned char *, std::size_t);                   \
  template std::uint32_t family<Op::any, 2>(const unsigned char *, std::size_t);                   \
  template std::uint32_t family<Op::any, 4>(const unsigned char *, std::size_t);                   \
  template std::uint32_t family<Op::any, 8>(const unsigned char *, std::size_t);                   \
  template std::uint32_t family<Op::count, 1>(const unsigned char *, std::size_t);                 \
  template std::uint32_t family<Op::count, 2>(const unsigned char *, std::size_t);                 \
  template std::uint32_t family<Op::count, 4>(const unsigned char *, std::size_t);                 \
  template std::uint32_t family<Op::count, 8>(const unsigned char *, std::size_t);
