// Random operands for the intrinsic tests: strided, reversed and
// transposed sections over buffers full of garbage, 8- and 16-byte data
// only 4-byte aligned, values with the special cases that matter (NaN,
// +-Inf, +-0, subnormals, wrap-around integers, non-canonical LOGICALs);
// and the bit-for-bit comparison in which any two NaNs are equal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

#include <gtest/gtest.h>

#include "support/arrays.h"

namespace mox2::test {

// How much of the data is special (NaN, infinities, zeros, subnormals,
// extreme integers); 0 gives ordinary values only.
struct ValueMix {
  double special = 0.0;
};

// Writes one random value of type `code` at p (p may be only 4-byte aligned).
void random_value(TypeCode code, void *p, ValueMix mix);

// An operand of rank R over its own buffer.
template <int R> struct Operand {
  std::unique_ptr<Buffer> buffer;
  DopeVector<R> dope;
};

// A random section of the given extents: element strides, step, direction,
// dimension order (transposed for rank 2), padding and the alignment of the
// data (4 mod 8 for 8- and 16-byte types in about half the cases) are
// drawn at random.  `plain` gives a contiguous column-major array.
Operand<1> random_operand(TypeCode code, std::size_t n, ValueMix mix, bool plain = false);
Operand<2> random_operand(TypeCode code, std::size_t rows, std::size_t cols, ValueMix mix,
                          bool plain = false);

// Hexadecimal bytes of one element (most significant first), for messages.
std::string show_value(TypeCode code, const void *p);
// `count` elements of type `code` at got and want (either may be only
// 4-byte aligned) the same bit for bit, except that any two NaNs count as
// equal (which NaN an operation on two NaNs gives is the hardware's).
::testing::AssertionResult same_elements(TypeCode code, const void *got, const void *want,
                                         std::size_t count);

// An entry point's DOT_PRODUCT, whether it returns the result or writes it
// through the hidden first argument (then at a location only 4-byte
// aligned).
template <TypeCode R, class Fn>
ElementType<R> call_dot(Fn fn, const DopeVector<1> &a, const DopeVector<1> &b) {
  using Result = ElementType<R>;
  if constexpr (std::is_invocable_v<Fn, Result *, const DopeVector<1> *, const DopeVector<1> *>) {
    alignas(16) char slot[sizeof(Result) + 4];
    std::memset(slot, 0x5a, sizeof slot);
    fn(reinterpret_cast<Result *>(slot + 4), &a, &b);
    return load<Result>(slot + 4);
  } else {
    return fn(&a, &b);
  }
}

} // namespace mox2::test
