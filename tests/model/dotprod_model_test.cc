// Every DOT_PRODUCT entry point against the model, bit for bit (any two
// NaNs equal), on random sections with special values.
#include <gtest/gtest.h>

#include "matmul/promotion.h"
#include "model/model_intrinsics.h"
#include "support/operands.h"

namespace mox2 {
namespace {

using test::random_int;
using test::random_operand;

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
    model::T<R> got = test::call_dot<R>(fn, a.dope, b.dope);
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
