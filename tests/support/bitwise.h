// Bit-for-bit comparison of floating-point results, in which any two NaNs
// count as equal (which NaN survives an operation on two NaNs depends on
// the hardware's operand order and is not part of any result's contract).
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <type_traits>

#include <gtest/gtest.h>

#include "frame/types.h"

namespace mox2::test {

template <class P> bool same_part(P a, P b) {
  if (a != a && b != b) return true;
  return std::memcmp(&a, &b, sizeof a) == 0;
}
inline bool same_value(float a, float b) { return same_part(a, b); }
inline bool same_value(double a, double b) { return same_part(a, b); }
template <class P> bool same_value(Complex<P> a, Complex<P> b) {
  return same_part(a.re, b.re) && same_part(a.im, b.im);
}

// A value and its bits, for messages.
template <class T> std::string show(T v) {
  std::ostringstream s;
  if constexpr (std::is_floating_point_v<T>) {
    std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t> u;
    std::memcpy(&u, &v, sizeof u);
    s.precision(sizeof(T) == 4 ? 9 : 17);
    s << v << " (0x" << std::hex << u << ")";
  } else {
    s << "(" << show(v.re) << ", " << show(v.im) << ")";
  }
  return s.str();
}

// count elements at got and want (either may be only 4-byte aligned).
template <class T>
::testing::AssertionResult same_elements(const void *got, const void *want, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    T g = load<T>(static_cast<const char *>(got) + i * sizeof(T));
    T w = load<T>(static_cast<const char *>(want) + i * sizeof(T));
    if (!same_value(g, w))
      return ::testing::AssertionFailure()
             << "element " << i << ": got " << show(g) << ", want " << show(w);
  }
  return ::testing::AssertionSuccess();
}

} // namespace mox2::test
