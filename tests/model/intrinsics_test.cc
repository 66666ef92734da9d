// DOT_PRODUCT and MATMUL of every type pair, MATMUL in all three forms,
// against the model, bit for bit (any two NaNs equal): random sections
// (strided, reversed, transposed, 8- and 16-byte data 4 bytes off, strides
// that are not multiples of the element, zero strides, overlapping
// columns), zero extents, special values, shapes across the blocking, on
// 1 to 4 threads, each case on the next kernel set the CPU has.  The
// same-type REAL and COMPLEX pairs take the BLAS kernels: the model of
// their fast path.
#include <omp.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "matmul/promotion.h"
#include "model/model_fastpath.h"
#include "model/model_intrinsics.h"
#include "runtime/parallel.h"
#include "support/isas.h"
#include "support/operands.h"

namespace mox2 {
namespace {

using test::random_int;
using Bytes = std::vector<char>;

template <class T> Bytes bytes(const std::vector<T> &v) {
  const char *p = reinterpret_cast<const char *>(v.data());
  return Bytes(p, p + v.size() * sizeof(T));
}

// Every case on the next kernel set, with a thread count and, every other
// case, every loop offered to the team.
struct CaseSetting {
  int saved_threads = omp_get_max_threads();
  double saved_work = threaded_work();
  explicit CaseSetting(int c) {
    static const std::vector<Isa> isas = test::supported_isas();
    force_isa(isas[std::size_t(c) % isas.size()]);
    omp_set_num_threads(1 + c % 4);
    set_threaded_work(c % 2 ? 0 : saved_work);
  }
  ~CaseSetting() {
    force_isa(detected_isa());
    omp_set_num_threads(saved_threads);
    set_threaded_work(saved_work);
  }
};

::testing::AssertionResult same(TypeCode r, const void *got, const Bytes &want) {
  const std::size_t e = type_info(r).size;
  for (std::size_t i = 0; i < want.size() / e; ++i)
    if (!test::same_value(r, static_cast<const char *>(got) + i * e, want.data() + i * e))
      return ::testing::AssertionFailure()
             << "element " << i << ": got "
             << test::show_value(r, static_cast<const char *>(got) + i * e) << ", want "
             << test::show_value(r, want.data() + i * e);
  return ::testing::AssertionSuccess();
}

// Sections the random ones lack: a zero stride, or (contiguous columns)
// columns that overlap.
template <int R> void oddify(test::Operand<R> &op, TypeCode code, int c) {
  const std::intptr_t e = type_info(code).size;
  if (c % 7 == 5) op.dope.stride[R - 1] = 0;
  if constexpr (R == 2)
    if (c % 7 == 6 && op.dope.stride[0] == e && op.dope.extent[0] >= 2 &&
        op.dope.stride[1] >= e * op.dope.extent[0])
      op.dope.stride[1] = e * (op.dope.extent[0] - 1);
}

// A contiguous column-major operand 4 bytes off 8-byte alignment: beside
// an aligned one, the case where the same-type pairs choose their
// alignment-safe kernels for one operand alone (the random sections seldom
// make it).
template <int R>
test::Operand<R> four_bytes_off(TypeCode code, const std::size_t (&ext)[R], test::ValueMix mix) {
  const std::size_t e = type_info(code).size, count = ext[0] * ext[R - 1];
  test::Operand<R> op;
  op.buffer = std::make_unique<test::Buffer>(std::max<std::size_t>(count, 1) * e, 4);
  op.dope.base = op.buffer->data();
  for (int d = 0; d < R; ++d)
    op.dope.extent[d] = std::intptr_t(ext[d]),
    op.dope.stride[d] = std::intptr_t(d ? e * ext[0] : e);
  for (std::size_t i = 0; i < count; ++i)
    test::random_value(code, op.buffer->data() + i * e, mix);
  return op;
}

// ---- DOT_PRODUCT -----------------------------------------------------------

using DotCase = void (*)(const DopeVector<1> &, const DopeVector<1> &, Bytes &got, Bytes &want);
template <TypeCode A, TypeCode B, TypeCode R, auto F>
void dot_case(const DopeVector<1> &a, const DopeVector<1> &b, Bytes &got, Bytes &want) {
  got = bytes(std::vector<ElementType<R>>{test::call_dot<R>(F, a, b)});
  if constexpr (has_fast_path(A, B))
    want = bytes(std::vector<ElementType<R>>{model::fast_dot<A>(a, b)});
  else
    want = bytes(std::vector<ElementType<R>>{model::dot_product<A, B, R>(a, b)});
}

struct DotPair {
  const char *name;
  TypeCode a, b, r;
  DotCase run;
};
#define MOX2_DOT_PAIR_(a, b, r)                                                                    \
  {#a #b, TypeCode::a, TypeCode::b, TypeCode::r,                                                   \
   &dot_case<TypeCode::a, TypeCode::b, TypeCode::r, &__f_dotprod_s1_##a##b>},
const DotPair kDotPairs[] = {MOX2_DOTPROD_PAIRS(MOX2_DOT_PAIR_)};
#undef MOX2_DOT_PAIR_

TEST(IntrinsicsModel, DotProductOfEveryPair) {
  for (const DotPair &p : kDotPairs)
    for (int c = 0; c < 60; ++c) {
      CaseSetting setting(c);
      const std::size_t n = c % 10 == 0 ? random_int(0, 300) : random_int(0, 12);
      // b as long as a, longer, or (but for the fast path) empty alone.
      std::size_t nb = n + (random_int(0, 3) == 0 ? random_int(1, 3) : 0);
      if (c % 25 == 7 && !has_fast_path(p.a, p.b)) nb = 0;
      const test::ValueMix mix{c % 3 == 0 ? 0.15 : 0.0};
      auto a = test::random_operand(p.a, n, mix, c % 9 == 0);
      auto b = test::random_operand(p.b, nb, mix, c % 9 == 0);
      oddify(b, p.b, c);
      Bytes got, want;
      p.run(a.dope, b.dope, got, want);
      ASSERT_TRUE(same(p.r, got.data(), want)) << p.name << " case " << c << " n " << n;
    }
}

// ---- MATMUL ----------------------------------------------------------------

struct MatmulPair {
  const char *name;
  TypeCode a, b, r;
  void (*f12)(DopeVector<1> *, const DopeVector<1> *, const DopeVector<2> *);
  void (*f21)(DopeVector<1> *, const DopeVector<2> *, const DopeVector<1> *);
  void (*f22)(DopeVector<2> *, const DopeVector<2> *, const DopeVector<2> *);
  Bytes (*want12)(const DopeVector<1> &, const DopeVector<2> &);
  Bytes (*want21)(const DopeVector<2> &, const DopeVector<1> &, int threads);
  Bytes (*want22)(const DopeVector<2> &, const DopeVector<2> &, int threads);
};
template <TypeCode A, TypeCode B, TypeCode R>
Bytes want12(const DopeVector<1> &x, const DopeVector<2> &b) {
  return bytes(model::matmul_a12<A, B, R>(x, b));
}
template <TypeCode A, TypeCode B, TypeCode R>
Bytes want21(const DopeVector<2> &a, const DopeVector<1> &x, int threads) {
  if constexpr (has_fast_path(A, B))
    return bytes(model::fast_a21<A>(a, x, threads));
  else
    return bytes(model::matmul_a21<A, B, R>(a, x));
}
template <TypeCode A, TypeCode B, TypeCode R>
Bytes want22(const DopeVector<2> &a, const DopeVector<2> &b, int threads) {
  if constexpr (has_fast_path(A, B))
    return bytes(model::fast_a22<A>(a, b, threads));
  else
    return bytes(model::matmul_a22<A, B, R>(a, b));
}
#define MOX2_MATMUL_PAIR_(a, b, r)                                                                 \
  {#a #b,                                                                                          \
   TypeCode::a,                                                                                    \
   TypeCode::b,                                                                                    \
   TypeCode::r,                                                                                    \
   &__f_matmul_a12_##a##b,                                                                         \
   &__f_matmul_a21_##a##b,                                                                         \
   &__f_matmul_a22_##a##b,                                                                         \
   &want12<TypeCode::a, TypeCode::b, TypeCode::r>,                                                 \
   &want21<TypeCode::a, TypeCode::b, TypeCode::r>,                                                 \
   &want22<TypeCode::a, TypeCode::b, TypeCode::r>},
const MatmulPair kMatmulPairs[] = {MOX2_MATMUL_PAIRS(MOX2_MATMUL_PAIR_)};
#undef MOX2_MATMUL_PAIR_

struct Shape {
  std::size_t m, k, n, k_other; // k_other: the extent matched against k
};

// Mostly small; the first cases cross the blocking (more than 256 terms,
// more rows than one packed block, several bands of threads, for the fast
// path the GEMM mesh), one pair of each work class a column of two blocks
// of 65536 terms and a bit; zero extents, and the matched extent longer
// or empty alone.
Shape shape_of(const MatmulPair &p, int c) {
  const bool quad = type_info(p.a).size >= 16 || type_info(p.b).size >= 16;
  const auto small = [] {
    return std::size_t(random_int(0, 3) == 0 ? random_int(0, 3) : random_int(1, 40));
  };
  Shape s{small(), small(), small(), 0};
  if (c == 0) s = {quad ? 70u : 150u, quad ? 260u : 300u, 37, 0};
  if (c == 1) s = {7, 9, quad ? 20u : 100u, 0};
  if (c == 2 && has_fast_path(p.a, p.b)) s = {100, 60, 90, 0};
  if (c == 3 && p.a == TypeCode::i4 && (p.b == TypeCode::r8 || p.b == TypeCode::c8))
    s = {8, 2 * 65536 + 70, 1, 0};
  s.k_other = s.k;
  if (c % 13 == 5)
    s.k_other = 0;
  else if (c % 7 == 3)
    s.k_other = s.k + random_int(1, 2);
  return s;
}

void check_matmul(const MatmulPair &p, int c) {
  CaseSetting setting(c);
  const Shape s = shape_of(p, c);
  const std::intptr_t e = type_info(p.r).size, m = s.m, n = s.n;
  const test::ValueMix mix{c % 3 == 2 ? 0.15 : 0.0};
  const bool fast = has_fast_path(p.a, p.b), one_off = fast && c % 4 == 1;
  const bool plain = c % 9 == 4 || one_off; // contiguous operands: the in-place paths
  SCOPED_TRACE(testing::Message() << p.name << " case " << c << " on " << isa_name(active_isa())
                                  << " T=" << omp_get_max_threads() << ": m " << s.m << " k " << s.k
                                  << " n " << s.n << " k_other " << s.k_other);
  { // a12: a vector of k_other times (k x m)
    auto x = test::random_operand(p.a, s.k_other, mix, plain);
    auto b = test::random_operand(p.b, s.k, s.m, mix, plain);
    oddify(b, p.b, c);
    DopeVector<1> r;
    p.f12(&r, &x.dope, &b.dope);
    EXPECT_EQ(r.extent[0], m);
    EXPECT_EQ(r.stride[0], e);
    EXPECT_TRUE(same(p.r, r.base, p.want12(x.dope, b.dope))) << "a12";
    std::free(r.base);
  }
  { // a21: (m x k) times a vector of k_other
    auto a = test::random_operand(p.a, s.m, s.k, mix, plain);
    auto x = one_off ? four_bytes_off<1>(p.b, {s.k_other}, mix)
                     : test::random_operand(p.b, s.k_other, mix, plain);
    oddify(a, p.a, c);
    oddify(x, p.b, c + 1);
    DopeVector<1> r;
    p.f21(&r, &a.dope, &x.dope);
    EXPECT_EQ(r.extent[0], m);
    EXPECT_EQ(r.stride[0], e);
    EXPECT_TRUE(same(p.r, r.base, p.want21(a.dope, x.dope, omp_get_max_threads()))) << "a21";
    std::free(r.base);
  }
  { // a22: (m x k) times (k_other x n) (not empty alone for the fast path)
    auto a = test::random_operand(p.a, s.m, s.k, mix, plain);
    const std::size_t kb = fast && !s.k_other ? s.k : s.k_other;
    auto b = one_off ? four_bytes_off<2>(p.b, {kb, s.n}, mix)
                     : test::random_operand(p.b, kb, s.n, mix, plain);
    oddify(a, p.a, c + 1);
    DopeVector<2> r;
    p.f22(&r, &a.dope, &b.dope);
    ASSERT_NE(r.base, nullptr);
    EXPECT_EQ(r.extent[0], m);
    EXPECT_EQ(r.extent[1], n);
    EXPECT_EQ(r.stride[0], e);
    EXPECT_EQ(r.stride[1], e * m);
    EXPECT_TRUE(same(p.r, r.base, p.want22(a.dope, b.dope, omp_get_max_threads()))) << "a22";
    std::free(r.base);
  }
}

void check_matmul(bool fast_path) {
  for (const MatmulPair &p : kMatmulPairs)
    for (int c = 0; c < 30 * (fast_path ? 4 : 1) && has_fast_path(p.a, p.b) == fast_path; ++c) {
      check_matmul(p, c);
      if (::testing::Test::HasFailure()) return;
    }
}
TEST(IntrinsicsModel, MatmulOfTheFastPathPairs) { check_matmul(true); }
TEST(IntrinsicsModel, MatmulOfTheOtherPairs) { check_matmul(false); }

} // namespace
} // namespace mox2
