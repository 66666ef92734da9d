#include "support/operands.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace mox2::test {
namespace {

double uniform() { return std::uniform_real_distribution<double>(0.0, 1.0)(rng()); }
std::uint64_t bits64() { return rng()(); }

template <class F> F random_real(ValueMix mix) {
  if (uniform() < mix.special) {
    switch (random_int(0, 9)) {
    case 0: return std::numeric_limits<F>::quiet_NaN();
    case 1: return std::numeric_limits<F>::infinity();
    case 2: return -std::numeric_limits<F>::infinity();
    case 3: return F(0);
    case 4: return -F(0);
    case 5: return std::numeric_limits<F>::denorm_min() * F(random_int(1, 1000));
    case 6: return -std::numeric_limits<F>::denorm_min() * F(random_int(1, 5));
    case 7: return std::numeric_limits<F>::max() / F(random_int(1, 4));
    case 8: return std::numeric_limits<F>::min() * F(random_int(-3, 3));
    default: return F(random_int(-3, 3));
    }
  }
  if (random_int(0, 4) == 0) return F(random_int(-9, 9));
  // Full-precision mantissas, a modest exponent range (one draw per
  // statement: the same values wherever the order of evaluation differs).
  const double mantissa = uniform() * 2 - 1;
  double v = mantissa * std::ldexp(1.0, random_int(-6, 6));
  return F(v) + F(uniform()) * F(1e-9);
}

mox2_r16 random_quad(ValueMix mix) {
  if (uniform() < mix.special) {
    switch (random_int(0, 5)) {
    case 0: return mox2_r16(std::numeric_limits<double>::quiet_NaN());
    case 1: return mox2_r16(std::numeric_limits<double>::infinity());
    case 2: return -mox2_r16(std::numeric_limits<double>::infinity());
    case 3: return -mox2_r16(0);
    case 4: return mox2_r16(std::numeric_limits<double>::denorm_min()) * mox2_r16(1e-300);
    default: return mox2_r16(0);
    }
  }
  mox2_r16 v = random_real<double>(ValueMix{});
  return v + mox2_r16(uniform()) * mox2_r16(1e-20); // bits beyond double
}

template <class I> I random_integer(ValueMix mix) {
  if (uniform() < mix.special || random_int(0, 3) == 0) {
    switch (random_int(0, 3)) {
    case 0: return std::numeric_limits<I>::min();
    case 1: return std::numeric_limits<I>::max();
    case 2: return static_cast<I>(-1);
    default: return static_cast<I>(bits64()); // any bit pattern
    }
  }
  return static_cast<I>(random_int(-100, 100));
}

template <class I> I random_logical() {
  switch (random_int(0, 9)) {
  case 0: return static_cast<I>(-1);
  case 1: return static_cast<I>(2);
  case 2: return static_cast<I>(bits64());
  case 3:
    if constexpr (sizeof(I) == 8) return static_cast<I>(std::uint64_t{1} << 32); // high word only
    return 1;
  case 4:
  case 5:
  case 6: return 0;
  default: return random_int(0, 3) == 0 ? 1 : 0;
  }
}

template <class T> void put(void *p, T v) { std::memcpy(p, &v, sizeof v); }

std::size_t element_size(TypeCode code) { return type_info(code).size; }

// Byte stride between neighbours of one dimension: a multiple of the
// element size, or for 8- and 16-byte data the size plus 4 (a component of
// a record), never breaking the 4-byte alignment.
std::intptr_t unit_stride(std::size_t e) {
  if (e >= 8 && random_int(0, 5) == 0) return static_cast<std::intptr_t>(e + 4);
  return static_cast<std::intptr_t>(e) * random_int(1, 2);
}

template <int R>
Operand<R> build(TypeCode code, const std::size_t (&ext)[R], ValueMix mix, bool plain) {
  const std::size_t e = element_size(code);
  std::intptr_t stride[R], magnitude[R];
  int order[2] = {0, R - 1};
  if (R == 2 && !plain && random_int(0, 2) == 0) std::swap(order[0], order[R - 1]);
  std::intptr_t span_unit = plain ? static_cast<std::intptr_t>(e) : unit_stride(e);
  for (int idx = 0; idx < R; ++idx) {
    int k = order[idx];
    magnitude[k] = span_unit;
    std::size_t extent = ext[k] == 0 ? 1 : ext[k];
    span_unit = span_unit * static_cast<std::intptr_t>(extent);
    if (!plain) {
      const int pad = random_int(0, 2);
      span_unit += static_cast<std::intptr_t>(e) * pad * random_int(0, 1);
    }
  }
  std::intptr_t offset = 0, last = 0;
  for (int k = 0; k < R; ++k) {
    bool reverse = !plain && random_int(0, 3) == 0;
    std::intptr_t reach = ext[k] == 0 ? 0 : static_cast<std::intptr_t>(ext[k] - 1) * magnitude[k];
    stride[k] = reverse ? -magnitude[k] : magnitude[k];
    if (reverse) offset += reach;
    last += reach;
  }
  std::size_t bytes = static_cast<std::size_t>(last) + e;
  std::size_t misalign = (e >= 8 && !plain && random_int(0, 1) == 1) ? 4 : 0;
  Operand<R> op;
  op.buffer = std::make_unique<Buffer>(bytes, misalign);
  char *data = op.buffer->data();
  for (std::size_t i = 0; i < bytes; ++i)
    data[i] = static_cast<char>(bits64()); // garbage
  op.dope.base = data + offset;
  for (int k = 0; k < R; ++k)
    op.dope.extent[k] = static_cast<std::intptr_t>(ext[k]), op.dope.stride[k] = stride[k];
  // Values at every element position.
  for (std::size_t j = 0; j < (R == 2 ? ext[R - 1] : 1); ++j)
    for (std::size_t i = 0; i < ext[0]; ++i)
      random_value(code,
                   data + offset + std::intptr_t(i) * stride[0] + std::intptr_t(j) * stride[R - 1],
                   mix);
  return op;
}

// Two NaNs of one REAL kind.
template <class P> bool nans(const char *a, const char *b) {
  const P x = load<P>(a), y = load<P>(b);
  return x != x && y != y;
}

} // namespace

void random_value(TypeCode code, void *p, ValueMix mix) {
  switch (code) {
  case TypeCode::i1: put(p, random_integer<std::int8_t>(mix)); break;
  case TypeCode::i2: put(p, random_integer<std::int16_t>(mix)); break;
  case TypeCode::i4: put(p, random_integer<std::int32_t>(mix)); break;
  case TypeCode::i8: put(p, random_integer<std::int64_t>(mix)); break;
  case TypeCode::r4: put(p, random_real<float>(mix)); break;
  case TypeCode::r8: put(p, random_real<double>(mix)); break;
  case TypeCode::r16: put(p, random_quad(mix)); break;
  case TypeCode::c8:
    put(p, Complex<float>{random_real<float>(mix), random_real<float>(mix)});
    break;
  case TypeCode::c16:
    put(p, Complex<double>{random_real<double>(mix), random_real<double>(mix)});
    break;
  case TypeCode::c32: put(p, Complex<mox2_r16>{random_quad(mix), random_quad(mix)}); break;
  case TypeCode::l1: put(p, random_logical<std::int8_t>()); break;
  case TypeCode::l2: put(p, random_logical<std::int16_t>()); break;
  case TypeCode::l4: put(p, random_logical<std::int32_t>()); break;
  case TypeCode::l8: put(p, random_logical<std::int64_t>()); break;
  }
}

Operand<1> random_operand(TypeCode code, std::size_t n, ValueMix mix, bool plain) {
  const std::size_t ext[1] = {n};
  return build<1>(code, ext, mix, plain);
}

Operand<2> random_operand(TypeCode code, std::size_t rows, std::size_t cols, ValueMix mix,
                          bool plain) {
  const std::size_t ext[2] = {rows, cols};
  return build<2>(code, ext, mix, plain);
}

::testing::AssertionResult same_elements(TypeCode code, const void *got, const void *want,
                                         std::size_t count) {
  const TypeInfo &t = type_info(code);
  const bool floating = t.cls == TypeClass::real || t.cls == TypeClass::complex;
  const int part = floating ? t.kind : t.size;
  const char *g = static_cast<const char *>(got), *w = static_cast<const char *>(want);
  for (std::size_t at = 0; at < count * t.size; at += part)
    if (std::memcmp(g + at, w + at, part) != 0 &&
        !(floating && (part == 4   ? nans<float>(g + at, w + at)
                       : part == 8 ? nans<double>(g + at, w + at)
                                   : nans<mox2_r16>(g + at, w + at)))) {
      const std::size_t i = at / t.size;
      return ::testing::AssertionFailure()
             << "element " << i << ": got " << show_value(code, g + i * t.size) << ", want "
             << show_value(code, w + i * t.size);
    }
  return ::testing::AssertionSuccess();
}

std::string show_value(TypeCode code, const void *p) {
  const auto *bytes = static_cast<const unsigned char *>(p);
  std::string s;
  char hex[4];
  int size = type_info(code).size;
  int part = type_info(code).cls == TypeClass::complex ? size / 2 : size;
  for (int start = 0; start < size; start += part) {
    if (start != 0) s += ",";
    for (int i = start + part - 1; i >= start; --i) {
      std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
      s += hex;
    }
  }
  return s;
}

} // namespace mox2::test
