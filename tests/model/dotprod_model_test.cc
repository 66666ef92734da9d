// Every DOT_PRODUCT entry point against the model, bit for bit (any two
// NaNs equal), on random sections with special values.
#include <cstring>
#include <type_traits>

#include <gtest/gtest.h>

#include "matmul/promotion.h"
#include "model/model_intrinsics.h"
#include "support/operands.h"

namespace mox2 {
namespace {

using test::random_int;
using test::random_operand;

// Calls an entry point whether it returns its result or writes it through
// the hidden first argument (a location that is only 4-byte aligned).
template <TypeCode R, class Fn>
model::T<R> call_dot(Fn fn, const DopeVector<1> &a, const DopeVector<1> &b) {
  using Result = model::T<R>;
  if constexpr (std::is_invocable_v<Fn, Result *, const DopeVector<1> *, const DopeVector<1> *>) {
    alignas(16) char slot[sizeof(Result) + 4];
    std::memset(slot, 0x5a, sizeof slot);
    fn(reinterpret_cast<Result *>(slot + 4), &a, &b);
    return load<Result>(slot + 4);
  } else {
    return fn(&a, &b);
  }
}

template <TypeCode A, TypeCode B, TypeCode R, class Fn>
void check_dotprod(const char *name, Fn fn) {
  // The same-type REAL and COMPLEX pairs follow the dot kernels' order and
  // are tested on their own.
  if constexpr (has_fast_path(A, B)) return;
  for (int c = 0; c < 150; ++c) {
    std::size_t n = c % 10 == 0 ? random_int(0, 300) : random_int(0, 12);
    std::size_t nb = n + (random_int(0, 3) == 0 ? random_int(1, 3) : 0); // b may be longer
    if (c % 25 == 7) nb = 0;                                             // b empty, a not
    test::ValueMix mix{c % 3 == 0 ? 0.15 : 0.0};
    auto a = random_operand(A, n, mix);
    auto b = random_operand(B, nb, mix);
    model::T<R> expect = model::dot_product<A, B, R>(a.dope, b.dope);
    model::T<R> got = call_dot<R>(fn, a.dope, b.dope);
    if (!test::same_value(R, &got, &expect)) {
      ADD_FAILURE() << name << " case " << c << ": n " << n << " nb " << nb << " strides "
                    << a.dope.stride[0] << ", " << b.dope.stride[0] << ": got "
                    << test::show_value(R, &got) << " expected " << test::show_value(R, &expect);
      return;
    }
  }
}

TEST(DotprodModel, EveryPairAgreesOnRandomSections) {
#define MOX2_CHECK_(a, b, r)                                                                       \
  check_dotprod<TypeCode::a, TypeCode::b, TypeCode::r>("__f_dotprod_s1_" #a #b,                    \
                                                       &__f_dotprod_s1_##a##b);
  MOX2_DOTPROD_PAIRS(MOX2_CHECK_)
#undef MOX2_CHECK_
}

} // namespace
} // namespace mox2
