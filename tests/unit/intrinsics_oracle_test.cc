// DOT_PRODUCT and MATMUL against gfortran's own intrinsics on the same
// contiguous arrays, for pairs whose result type gfortran shares.  INTEGER
// and LOGICAL results must match exactly (on data that does not overflow:
// gfortran's INTEGER overflow is undefined), REAL and COMPLEX ones exactly
// on integer-valued data (every order of summation gives the same), and
// within a few units in the last place on positive random data.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "support/arrays.h"
#include "support/isas.h"

namespace mox2 {
namespace {

using test::random_int;

enum class Data { small_integers, positive, logical };

template <class T> constexpr bool kComplex = is_complex_element<T>;

template <class T> T value(Data data) {
  if constexpr (kComplex<T>) {
    using P = Part<T>;
    const P re = value<P>(data);
    return {re, value<P>(data)};
  } else if constexpr (std::is_floating_point_v<T> || std::is_same_v<T, mox2_r16>) {
    if (data == Data::positive)
      return T(0.5) + T(std::uniform_real_distribution<double>(0.0, 0.5)(test::rng()));
    return T(random_int(-16, 16));
  } else {
    return static_cast<T>(data == Data::logical    ? random_int(0, 3) == 0
                          : data == Data::positive ? random_int(1, 16)
                                                   : random_int(-16, 16));
  }
}
template <class T> std::vector<T> values(std::size_t n, Data data) {
  std::vector<T> v(n == 0 ? 1 : n);
  for (auto &x : v)
    x = value<T>(data);
  return v;
}

// Exact, but for REAL and COMPLEX on positive random data, where `terms`
// bounds the relative error.
template <class T> bool agrees(T ours, T peer, Data data, std::size_t terms) {
  if (data != Data::positive || std::is_integral_v<T>) return std::memcmp(&ours, &peer, sizeof(T)) == 0;
  auto abs = [](auto v) { return std::fabs(static_cast<double>(v)); };
  double size, off;
  if constexpr (kComplex<T>)
    size = abs(peer.re) + abs(peer.im), off = abs(ours.re - peer.re) + abs(ours.im - peer.im);
  else
    size = abs(peer), off = abs(ours - peer);
  // Quad results are compared at double precision or better.
  return off <= 4.0 * (terms + 2) * (sizeof(Part<T>) == 4 ? 0x1p-23 : 0x1p-52) * size;
}

template <class TA, class TB, class TR, class Ours, class Peer>
void dot_against_gfortran(const char *name, Ours ours, Peer peer, Data data) {
  for (int c = 0; c < 30; ++c) {
    const std::size_t n = random_int(0, 40);
    auto a = values<TA>(n, data);
    auto b = values<TB>(n, data);
    DopeVector<1> da{a.data(), {std::intptr_t(n)}, {sizeof(TA)}};
    DopeVector<1> db{b.data(), {std::intptr_t(n)}, {sizeof(TB)}};
    TR expect{}, got{};
    peer(static_cast<int>(n), a.data(), b.data(), &expect);
    if constexpr (std::is_invocable_v<Ours, TR *, const DopeVector<1> *, const DopeVector<1> *>)
      ours(&got, &da, &db);
    else
      got = static_cast<TR>(ours(&da, &db)); // LOGICAL pairs: INTEGER 0 or 1
    ASSERT_TRUE(agrees(got, expect, data, n)) << name << " n " << n;
  }
}

// gfortran multiplies matrices: a vector goes to it as one row or column.
template <class TA, class TB, class TR, class O12, class O21, class O22, class Peer>
void matmul_against_gfortran(const char *name, O12 o12, O21 o21, O22 o22, Peer peer, Data data) {
  for (int c = 0; c < 12; ++c) {
    std::size_t m = random_int(1, 20), k = random_int(1, 40), n = random_int(1, 20);
    if (c == 0) m = 70, k = 300, n = 9; // past the blocking limits
    auto a = values<TA>(m * k, data);
    auto b = values<TB>(k * n, data);
    const std::intptr_t im = m, ik = k, in = n, ea = sizeof(TA), eb = sizeof(TB);
    const DopeVector<2> da{a.data(), {im, ik}, {ea, im * ea}}, db{b.data(), {ik, in}, {eb, ik * eb}};
    const DopeVector<1> row{a.data(), {ik}, {im * ea}}, column{b.data(), {ik}, {eb}};
    std::vector<TR> expect(m * n);
    auto check = [&](const char *form, void *got, std::size_t count) {
      for (std::size_t i = 0; i < count; ++i)
        ASSERT_TRUE(agrees(load<TR>(static_cast<char *>(got) + i * sizeof(TR)), expect[i], data, k))
            << name << " " << form << " " << m << "x" << k << "x" << n << " element " << i;
      std::free(got);
    };
    DopeVector<2> r2;
    DopeVector<1> r1;
    peer(int(m), int(k), int(n), a.data(), b.data(), expect.data());
    o22(&r2, &da, &db);
    check("a22", r2.base, m * n);
    peer(int(m), int(k), 1, a.data(), b.data(), expect.data()); // column 1 of b
    o21(&r1, &da, &column);
    check("a21", r1.base, m);
    std::vector<TA> first_row(k); // row 1 of a, m elements apart

    for (std::size_t i = 0; i < k; ++i)
      first_row[i] = a[i * m];
    peer(1, int(k), int(n), first_row.data(), b.data(), expect.data());
    o12(&r1, &row, &db);
    check("a12", r1.base, n);
  }
}

#define MOX2_ORACLE_DOT_(a, b, r)                                                                  \
  extern "C" void oracle_dot_##a##b(int, const mox2_##a *, const mox2_##b *, mox2_##r *);
#define MOX2_ORACLE_MATMUL_(a, b, r)                                                               \
  extern "C" void oracle_matmul_##a##b(int, int, int, const mox2_##a *, const mox2_##b *,          \
                                       mox2_##r *);

// The pairs the oracle wraps: X(a, b, gfortran's result type).
#define MOX2_ORACLE_DOT_PAIRS(X)                                                                   \
  X(i4, i4, i4)                                                                                    \
  X(i8, i1, i8) X(r4, r8, r8) X(i4, r8, r8) X(r16, r8, r16) X(c16, c16, c16) X(c8, c16, c16)       \
      X(i4, c8, c8) X(c32, r16, c32) X(r8, r8, r8) X(l4, l4, l4) X(l1, l8, l8)
#define MOX2_ORACLE_MATMUL_PAIRS(X)                                                                \
  X(i1, i4, i4)                                                                                    \
  X(i8, i4, i8) X(r4, r8, r8) X(r8, i4, r8) X(i8, r4, r4) X(c8, r8, c16) X(r16, c8, c32)           \
      X(c16, c16, c16) X(c8, i2, c8) X(r4, r4, r4) X(l2, l4, l4) X(l1, l8, l8)

MOX2_ORACLE_DOT_PAIRS(MOX2_ORACLE_DOT_)
MOX2_ORACLE_MATMUL_PAIRS(MOX2_ORACLE_MATMUL_)

// LOGICAL data is 0 and 1, the rest integer-valued, then positive.
std::vector<Data> kinds_of_data(TypeCode a) {
  if (type_info(a).cls == TypeClass::logical) return {Data::logical};
  return {Data::small_integers, Data::positive};
}

class IntrinsicsOracle : public test::OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(IntrinsicsOracle);

TEST_P(IntrinsicsOracle, DotProductAgreesWithGfortran) {
#define MOX2_RUN_(a, b, r)                                                                         \
  for (Data data : kinds_of_data(TypeCode::a))                                                     \
    dot_against_gfortran<mox2_##a, mox2_##b, mox2_##r>(#a #b, __f_dotprod_s1_##a##b,               \
                                                       oracle_dot_##a##b, data);
  MOX2_ORACLE_DOT_PAIRS(MOX2_RUN_)
#undef MOX2_RUN_
}

TEST_P(IntrinsicsOracle, MatmulAgreesWithGfortranInEveryForm) {
#define MOX2_RUN_(a, b, r)                                                                         \
  for (Data data : kinds_of_data(TypeCode::a))                                                     \
    matmul_against_gfortran<mox2_##a, mox2_##b, mox2_##r>(                                         \
        #a #b, __f_matmul_a12_##a##b, __f_matmul_a21_##a##b, __f_matmul_a22_##a##b,                \
        oracle_matmul_##a##b, data);
  MOX2_ORACLE_MATMUL_PAIRS(MOX2_RUN_)
#undef MOX2_RUN_
}

} // namespace
} // namespace mox2
