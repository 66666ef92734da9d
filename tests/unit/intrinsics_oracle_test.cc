// DOT_PRODUCT and MATMUL against gfortran's own intrinsics on the same
// contiguous arrays, for pairs whose result type gfortran shares.  INTEGER
// and LOGICAL results must match exactly (on data that does not overflow:
// gfortran's INTEGER overflow is undefined; the model tests cover wrapping); REAL and COMPLEX ones
// exactly on integer-valued data (every order of summation gives the same), and within a few units
// in the last place on positive random data.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "support/operands.h"
#include "support/isas.h"

namespace mox2 {
namespace {

using test::random_int;

enum class Data { small_integers, positive };

template <class T> T value(Data data) {
  if constexpr (std::is_same_v<T, Complex<float>> || std::is_same_v<T, Complex<double>> ||
                std::is_same_v<T, Complex<mox2_r16>>) {
    using P = decltype(T{}.re);
    return {value<P>(data), value<P>(data)};
  } else if constexpr (std::is_floating_point_v<T> || std::is_same_v<T, mox2_r16>) {
    if (data == Data::positive)
      return T(0.5) + T(std::uniform_real_distribution<double>(0.0, 0.5)(test::rng()));
    return T(random_int(-16, 16));
  } else {
    if (data == Data::positive) return static_cast<T>(random_int(1, 16));
    return static_cast<T>(random_int(-16, 16));
  }
}

template <class T> std::vector<T> values(std::size_t n, Data data, bool logical) {
  std::vector<T> v(n == 0 ? 1 : n);
  for (auto &x : v) {
    if constexpr (std::is_arithmetic_v<T>)
      x = logical ? static_cast<T>(random_int(0, 3) == 0) : value<T>(data);
    else
      x = value<T>(data); // (no LOGICAL is complex)
  }
  return v;
}

template <class T> double magnitude(T v) {
  if constexpr (std::is_same_v<T, Complex<float>> || std::is_same_v<T, Complex<double>> ||
                std::is_same_v<T, Complex<mox2_r16>>)
    return std::fabs(static_cast<double>(v.re)) + std::fabs(static_cast<double>(v.im));
  else
    return std::fabs(static_cast<double>(v));
}
template <class T> double difference(T x, T y) {
  if constexpr (std::is_same_v<T, Complex<float>> || std::is_same_v<T, Complex<double>> ||
                std::is_same_v<T, Complex<mox2_r16>>)
    return std::fabs(static_cast<double>(x.re - y.re)) +
           std::fabs(static_cast<double>(x.im - y.im));
  else
    return std::fabs(static_cast<double>(x - y));
}
template <class T> double epsilon() {
  if constexpr (sizeof(Part<T>) == 4)
    return 0x1p-23;
  else
    return 0x1p-52; // quad results are compared at double precision or better
}

// Agreement of one result element: exact except for REAL/COMPLEX on
// positive random data, where `terms` bounds the relative error.
template <class T> bool agrees(T ours, T peer, Data data, std::size_t terms) {
  if (data != Data::positive || std::is_integral_v<T>)
    return std::memcmp(&ours, &peer, sizeof(T)) == 0;
  return difference(ours, peer) <= 4.0 * (terms + 2) * epsilon<T>() * magnitude(peer);
}

template <class TA, class TB, class TR, class Ours, class Peer>
void dot_against_gfortran(const char *name, Ours ours, Peer peer, bool logical) {
  for (Data data : {Data::small_integers, Data::positive}) {
    for (int c = 0; c < 30; ++c) {
      std::size_t n = random_int(0, 40);
      auto a = values<TA>(n, data, logical);
      auto b = values<TB>(n, data, logical);
      DopeVector<1> da{a.data(), {static_cast<std::intptr_t>(n)}, {sizeof(TA)}};
      DopeVector<1> db{b.data(), {static_cast<std::intptr_t>(n)}, {sizeof(TB)}};
      TR expect{};
      peer(static_cast<int>(n), a.data(), b.data(), &expect);
      TR got{};
      if constexpr (std::is_invocable_v<Ours, TR *, const DopeVector<1> *, const DopeVector<1> *>)
        ours(&got, &da, &db);
      else
        got = static_cast<TR>(ours(&da, &db)); // LOGICAL pairs: INTEGER 0 or 1
      ASSERT_TRUE(agrees(got, expect, data, n)) << name << " n " << n;
    }
  }
}

template <class TA, class TB, class TR, class O12, class O21, class O22, class P12, class P21,
          class P22>
void matmul_against_gfortran(const char *name, O12 o12, O21 o21, O22 o22, P12 p12, P21 p21, P22 p22,
                             bool logical) {
  for (Data data : {Data::small_integers, Data::positive}) {
    for (int c = 0; c < 12; ++c) {
      std::size_t m = random_int(1, 20), k = random_int(1, 40), n = random_int(1, 20);
      if (c == 0) m = 70, k = 300, n = 9; // past the blocking limits
      auto a = values<TA>(m * k, data, logical);
      auto b = values<TB>(k * n, data, logical);
      auto x = values<TA>(k, data, logical);
      auto y = values<TB>(k, data, logical);
      std::intptr_t im = m, ik = k, in = n;
      DopeVector<2> da{a.data(), {im, ik}, {sizeof(TA), im * std::intptr_t(sizeof(TA))}};
      DopeVector<2> db{b.data(), {ik, in}, {sizeof(TB), ik * std::intptr_t(sizeof(TB))}};
      DopeVector<1> dx{x.data(), {ik}, {sizeof(TA)}};
      DopeVector<1> dy{y.data(), {ik}, {sizeof(TB)}};

      std::vector<TR> expect(m * n);
      DopeVector<2> r2;
      p22(int(m), int(k), int(n), a.data(), b.data(), expect.data());
      o22(&r2, &da, &db);
      for (std::size_t i = 0; i < m * n; ++i)
        ASSERT_TRUE(
            agrees(load<TR>(static_cast<char *>(r2.base) + i * sizeof(TR)), expect[i], data, k))
            << name << " a22 " << m << "x" << k << "x" << n << " element " << i;
      std::free(r2.base);

      DopeVector<1> r1;
      p21(int(m), int(k), a.data(), y.data(), expect.data());
      o21(&r1, &da, &dy);
      for (std::size_t i = 0; i < m; ++i)
        ASSERT_TRUE(
            agrees(load<TR>(static_cast<char *>(r1.base) + i * sizeof(TR)), expect[i], data, k))
            << name << " a21 " << m << "x" << k << " element " << i;
      std::free(r1.base);

      p12(int(k), int(n), x.data(), b.data(), expect.data());
      o12(&r1, &dx, &db);
      for (std::size_t j = 0; j < n; ++j)
        ASSERT_TRUE(
            agrees(load<TR>(static_cast<char *>(r1.base) + j * sizeof(TR)), expect[j], data, k))
            << name << " a12 " << k << "x" << n << " element " << j;
      std::free(r1.base);
    }
  }
}

#define MOX2_ORACLE_DOT_(a, b, r)                                                                  \
  extern "C" void oracle_dot_##a##b(int, const mox2_##a *, const mox2_##b *, mox2_##r *);
#define MOX2_ORACLE_MATMUL_(a, b, r)                                                               \
  extern "C" void oracle_mm22_##a##b(int, int, int, const mox2_##a *, const mox2_##b *,            \
                                     mox2_##r *);                                                  \
  extern "C" void oracle_mm21_##a##b(int, int, const mox2_##a *, const mox2_##b *, mox2_##r *);    \
  extern "C" void oracle_mm12_##a##b(int, int, const mox2_##a *, const mox2_##b *, mox2_##r *);

// The pairs the oracle wraps: X(a, b, gfortran's result type).
#define MOX2_ORACLE_DOT_PAIRS(X)                                                                   \
  X(i4, i4, i4)                                                                                    \
  X(i2, i4, i4)                                                                                    \
  X(i8, i1, i8) X(r4, r8, r8) X(i4, r8, r8) X(r16, r8, r16) X(c16, c16, c16) X(c8, c16, c16)       \
      X(i4, c8, c8) X(c32, r16, c32) X(r8, r8, r8)
#define MOX2_ORACLE_LOGICAL_DOT_PAIRS(X) X(l4, l4, l4) X(l1, l8, l8)
#define MOX2_ORACLE_MATMUL_PAIRS(X)                                                                \
  X(i1, i4, i4)                                                                                    \
  X(i2, i4, i4)                                                                                    \
  X(i8, i4, i8) X(r4, r8, r8) X(r8, i4, r8) X(i8, r4, r4) X(c8, r8, c16) X(r16, c8, c32)           \
      X(c16, c16, c16) X(c8, i2, c8) X(r4, r4, r4) X(l2, l4, l4) X(l1, l8, l8)

MOX2_ORACLE_DOT_PAIRS(MOX2_ORACLE_DOT_)
MOX2_ORACLE_LOGICAL_DOT_PAIRS(MOX2_ORACLE_DOT_)
MOX2_ORACLE_MATMUL_PAIRS(MOX2_ORACLE_MATMUL_)

class DotprodOracle : public test::OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(DotprodOracle);

TEST_P(DotprodOracle, AgreesWithGfortran) {
#define MOX2_RUN_(a, b, r)                                                                         \
  dot_against_gfortran<mox2_##a, mox2_##b, mox2_##r>(#a #b, __f_dotprod_s1_##a##b,                 \
                                                     oracle_dot_##a##b, false);
  MOX2_ORACLE_DOT_PAIRS(MOX2_RUN_)
#undef MOX2_RUN_
#define MOX2_RUN_(a, b, r)                                                                         \
  dot_against_gfortran<mox2_##a, mox2_##b, mox2_##r>(#a #b, __f_dotprod_s1_##a##b,                 \
                                                     oracle_dot_##a##b, true);
  MOX2_ORACLE_LOGICAL_DOT_PAIRS(MOX2_RUN_)
#undef MOX2_RUN_
}

class MatmulOracle : public test::OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(MatmulOracle);

TEST_P(MatmulOracle, AgreesWithGfortranInEveryForm) {
#define MOX2_RUN_(a, b, r)                                                                         \
  matmul_against_gfortran<mox2_##a, mox2_##b, mox2_##r>(                                           \
      #a #b, __f_matmul_a12_##a##b, __f_matmul_a21_##a##b, __f_matmul_a22_##a##b,                  \
      oracle_mm12_##a##b, oracle_mm21_##a##b, oracle_mm22_##a##b,                                  \
      type_info(TypeCode::a).cls == TypeClass::logical);
  MOX2_ORACLE_MATMUL_PAIRS(MOX2_RUN_)
#undef MOX2_RUN_
}

} // namespace
} // namespace mox2
