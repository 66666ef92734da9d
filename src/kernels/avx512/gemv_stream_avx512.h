// Prefetching for the GEMV kernels' column streams.  A GEMV reads each
// element of A once, so its speed is the rate at which the columns stream
// in from memory.  The hardware prefetchers stop at every 4 KiB page, and
// the first touch of a page waits for its translation; a stream therefore
// touches the page two pages ahead once per page it reads (the walk and
// the first line are under way when the stream gets there), and asks for
// every line a little before it reads it: 1 KiB in the dot form, 512 bytes
// in the column form, whose passes keep y in the first-level cache too.
// Beyond its column, a stream
// touches the same place in the column `next` elements on: the column the
// same stream reads in the kernel's next group.  Prefetches never fault
// and change no value.
// Included by the AVX-512 kernel set only.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace mox2::kernels::avx512 {

// A block of A up to this size is read from cache (the last-level cache
// holds it, or the caller has just read it), where prefetches only cost
// instructions: the kernels prefetch only larger blocks.
inline constexpr std::size_t kStreamBytes = std::size_t(8) << 20;
inline bool streams_from_memory(std::ptrdiff_t rows, std::ptrdiff_t cols, std::size_t bytes) {
  return std::size_t(rows) * std::size_t(cols) * bytes > kStreamBytes;
}

inline constexpr std::ptrdiff_t kPageBytes = 4096;
inline constexpr std::ptrdiff_t kPageAheadBytes = 2 * kPageBytes;

// The address `elements` elements of T past c, which may lie outside any
// object (integer arithmetic: only ever prefetched).
template <class T> inline const char *address_past(const T *c, std::ptrdiff_t elements) {
  return reinterpret_cast<const char *>(reinterpret_cast<std::uintptr_t>(c) +
                                        static_cast<std::uintptr_t>(elements) * sizeof(T));
}

// Element i of a column of m elements at c is about to be read, a line at
// a time (i a multiple of 64 bytes' worth of elements).
template <std::ptrdiff_t kLineAheadBytes, class T>
inline void prefetch_column(const T *c, std::ptrdiff_t i, std::ptrdiff_t m, std::ptrdiff_t next) {
  constexpr std::ptrdiff_t kPage = kPageBytes / sizeof(T), kPageAhead = kPageAheadBytes / sizeof(T);
  constexpr std::ptrdiff_t kLineAhead = kLineAheadBytes / sizeof(T);
  _mm_prefetch(address_past(c, i + kLineAhead), _MM_HINT_T0);
  if (i % kPage == 0) {
    const std::ptrdiff_t ahead = i + kPageAhead;
    _mm_prefetch(address_past(c, ahead < m ? ahead : next + (ahead - m)), _MM_HINT_T0);
  }
}

} // namespace mox2::kernels::avx512
