// Element tests shared by the scans.  Everything here has internal linkage,
// so each instruction set's translation unit keeps its own copy.
//
// ALL and COUNT take an element as true when value & 1 is set; ANY when the
// least significant byte, value & 0xFF, is nonzero.  The tests are on values,
// never on byte offsets, so they hold in either byte order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "logical/contiguous.h"

namespace mox2::logical {
namespace {

template <int K> struct LogicalOf;
template <> struct LogicalOf<1> { using type = std::int8_t; };
template <> struct LogicalOf<2> { using type = std::int16_t; };
template <> struct LogicalOf<4> { using type = std::int32_t; };
template <> struct LogicalOf<8> { using type = std::int64_t; };

template <Op op> constexpr std::uint32_t identity = op == Op::all ? 1 : 0;

// The element at p, loaded with its full size (p need only be aligned to
// min(K, 4) bytes).
template <int K> inline std::uint64_t element_at(const unsigned char *p) {
  typename LogicalOf<K>::type v;
  __builtin_memcpy(&v, p, sizeof v);
  return static_cast<std::uint64_t>(v);
}

template <Op op, int K> inline std::uint32_t truth(const unsigned char *p) {
  std::uint64_t v = element_at<K>(p);
  return op == Op::any ? (v & 0xFF) != 0 : static_cast<std::uint32_t>(v & 1);
}

// n >= 0 elements at p, p + s, p + 2s, ... for any stride s, in section
// order, four per step: ALL stops at the step holding the first false
// element, ANY at the step holding the first true one.
template <Op op, int K>
inline std::uint32_t scan_elements(const unsigned char *p, std::size_t n, std::ptrdiff_t s) {
  std::uint32_t count = 0;
  for (; n >= 4; n -= 4, p += 4 * s) {
    std::uint32_t t0 = truth<op, K>(p), t1 = truth<op, K>(p + s);
    std::uint32_t t2 = truth<op, K>(p + 2 * s), t3 = truth<op, K>(p + 3 * s);
    if constexpr (op == Op::all) {
      if ((t0 & t1 & t2 & t3) == 0) return 0;
    } else if constexpr (op == Op::any) {
      if ((t0 | t1 | t2 | t3) != 0) return 1;
    } else {
      count += t0 + t1 + t2 + t3;
    }
  }
  for (; n > 0; --n, p += s) {
    std::uint32_t t = truth<op, K>(p);
    if constexpr (op == Op::all) {
      if (t == 0) return 0;
    } else if constexpr (op == Op::any) {
      if (t != 0) return 1;
    } else {
      count += t;
    }
  }
  return op == Op::count ? count : identity<op>;
}

// Once per 4 KiB page of a contiguous scan the page two ahead is touched
// with a prefetch, only where it lies within the section (`end` is the
// address just past it).  The hardware prefetchers stop at every page and
// the first touch of a page waits for its translation; touching ahead
// starts both early, worth about a third more bandwidth from memory on
// 4 KiB pages.  A prefetch reads nothing the scan sees.
inline void touch_page_ahead(const unsigned char *a, std::uintptr_t end) {
  const std::uintptr_t p = reinterpret_cast<std::uintptr_t>(a);
  if (p % 4096 == 0 && end - p > 8192) __builtin_prefetch(reinterpret_cast<const void *>(p + 8192));
}

// A scan that has consumed part of the elements and found no decision yet
// (running count `count`) finishes with the rest.
template <Op op, int K>
inline std::uint32_t finish_with_elements(std::uint32_t count, const unsigned char *p,
                                          std::size_t n) {
  std::uint32_t rest = scan_elements<op, K>(p, n, K);
  return op == Op::count ? count + rest : rest;
}

} // namespace
} // namespace mox2::logical
