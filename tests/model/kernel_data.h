// Test data for the kernel comparisons: random values with the special
// values that decide zero skips and beta = 0 (NaN, +-Inf, +-0,
// subnormals), and element strips with guard elements on both sides, at a
// chosen alignment, that are compared whole (so a write outside the
// stated elements is caught).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <type_traits>

#include "frame/types.h"
#include "support/arrays.h"
#include "support/operands.h"

namespace mox2::test {

// The type code of a BLAS element type.
template <class T>
constexpr TypeCode kCode = std::is_same_v<T, float>            ? TypeCode::r4
                           : std::is_same_v<T, double>         ? TypeCode::r8
                           : std::is_same_v<T, Complex<float>> ? TypeCode::c8
                                                               : TypeCode::c16;

enum class Values {
  plain,    // finite, non-zero, in (-2, 2)
  specials, // about one in eight a special value
  zeros,    // about one in three +0 or -0, and a few specials
};

template <class P> P special_part() {
  using L = std::numeric_limits<P>;
  switch (random_int(0, 9)) {
  case 0: return P(0);
  case 1: return -P(0);
  case 2: return L::quiet_NaN();
  case 3: return L::infinity();
  case 4: return -L::infinity();
  case 5: return L::denorm_min();
  case 6: return -L::denorm_min() * P(random_int(1, 1000));
  case 7: return L::min() / P(3); // subnormal
  case 8: return L::max();
  default: return -L::max() / P(2);
  }
}

template <class P> P random_part(Values v) {
  if (v == Values::specials && random_int(0, 7) == 0) return special_part<P>();
  if (v == Values::zeros) {
    int r = random_int(0, 11);
    if (r < 4) return r % 2 ? P(0) : -P(0);
    if (r == 4) return special_part<P>();
  }
  P p = std::uniform_real_distribution<P>(P(0.25), P(2))(rng());
  return random_int(0, 1) ? p : -p;
}

// Complex elements get whole zeros (both parts) in `zeros` data too.
template <class T> T random_element(Values v) {
  if constexpr (std::is_floating_point_v<T>) {
    return random_part<T>(v);
  } else {
    using P = Part<T>;
    auto signed_zero = [] { return random_int(0, 1) ? P(0) : -P(0); };
    if (v == Values::zeros && random_int(0, 2) == 0) return T{signed_zero(), signed_zero()};
    return T{random_part<P>(v), random_part<P>(v)};
  }
}

// v as an element: both parts v for complex elements.
template <class T> T splat(Part<T> v) {
  if constexpr (std::is_floating_point_v<T>)
    return v;
  else
    return T{v, v};
}

// Scalars by kind: 0, 1, -1, i (REAL: 1/4, whose product with a
// subnormal is 0), two others, a special value, a random one.
template <class T> T scalar(int kind) {
  using P = Part<T>;
  const P re[] = {0, 1, -1, 0, P(0.75), P(-1.25)}, im[] = {0, 0, 0, 1, P(-1.5), P(0.5)};
  const P real[] = {0, 1, -1, P(0.25), P(0.8125), P(-1.4375)};
  if (kind >= 6) return random_element<T>(kind == 6 ? Values::specials : Values::plain);
  if constexpr (std::is_floating_point_v<T>)
    return real[kind];
  else
    return T{re[kind], im[kind]};
}

// `count` elements with kGuard guard elements before and after, the first
// guard `misalign` bytes past a 64-byte boundary.
template <class T> class Strip {
public:
  static constexpr std::size_t kGuard = 4; // keeps the alignment of the first element
  Strip(std::size_t count, std::size_t misalign)
      : count_(count), misalign_(misalign), buffer_(bytes(), misalign) {}
  Strip(const Strip &other) : Strip(other.count_, other.misalign_) {
    std::memcpy(buffer_.data(), other.buffer_.data(), bytes());
  }
  T *data() { return reinterpret_cast<T *>(buffer_.data() + kGuard * sizeof(T)); }
  const T *data() const { return reinterpret_cast<const T *>(buffer_.data() + kGuard * sizeof(T)); }
  void fill(Values v) {
    for (std::size_t i = 0; i < count_ + 2 * kGuard; ++i)
      store<T>(buffer_.data() + i * sizeof(T), random_element<T>(v));
  }
  void set(std::size_t i, T v) {
    if (i < count_)
      store<T>(data() + i, v);
    else
      ADD_FAILURE() << "element " << i << " set outside a strip of " << count_;
  }
  T get(std::size_t i) const { return load<T>(data() + i); }
  ::testing::AssertionResult same_as(const Strip &want) const {
    return same_elements(kCode<T>, buffer_.data(), want.buffer_.data(), count_ + 2 * kGuard);
  }

private:
  std::size_t bytes() const { return (count_ + 2 * kGuard) * sizeof(T); }
  std::size_t count_, misalign_;
  Buffer buffer_;
};

// Elements a vector of n elements with increment inc spans (at least 1).
inline std::size_t span(int n, int inc) {
  if (n <= 0) return 1;
  return 1 + static_cast<std::size_t>(n - 1) * static_cast<std::size_t>(inc < 0 ? -inc : inc);
}

} // namespace mox2::test
