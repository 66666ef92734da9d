// DOT_PRODUCT, MATMUL and the array frame: cases worked by hand (widths,
// conjugation, single roundings, LOGICAL operands), sizes past 32 bits,
// and the diagnostics: every message, unassociated operands, and every
// allocation that fails (exact line on standard error, end by SIGABRT).
// Then DOT_PRODUCT and MATMUL against gfortran's own intrinsics on the
// same contiguous arrays, for pairs whose result type gfortran shares:
// INTEGER and LOGICAL results exactly (on data that does not overflow:
// gfortran's INTEGER overflow is undefined), REAL and COMPLEX ones exactly
// on integer-valued data (every order of summation gives the same), and
// within a few units in the last place on positive random data.
#include <sys/mman.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "frame/errors.h"
#include "support/arrays.h"
#include "support/failing_allocator.h"
#include "support/isas.h"

namespace mox2 {
namespace {

using test::diagnostic;
using test::random_int;

template <class T> DopeVector<1> vec(T *data, std::intptr_t n) {
  return {data, {n}, {std::intptr_t(sizeof(T))}};
}
template <class T> DopeVector<2> mat(T *data, std::intptr_t rows, std::intptr_t cols) {
  const std::intptr_t e = sizeof(T);
  return {data, {rows, cols}, {e, e * (rows > 0 ? rows : 1)}};
}
// Entry points called on descriptors passed by value: the function value,
// a complex DOT_PRODUCT, the first element of a MATMUL result (then freed).
template <class F, class... D> auto call(F f, D... d) { return f(&d...); }
template <class T>
T dot(void (*f)(T *, const DopeVector<1> *, const DopeVector<1> *), DopeVector<1> a,
      DopeVector<1> b) {
  T r;
  f(&r, &a, &b);
  return r;
}
template <class T, class R, class A, class B>
T matmul(void (*f)(R *, const A *, const B *), A a, B b) {
  R r;
  f(&r, &a, &b);
  const T v = load<T>(r.base);
  std::free(r.base);
  return v;
}

class Intrinsics : public test::OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(Intrinsics);

// Cases worked by hand (the model could share a misreading of them; the
// fuzzer compares everything else with it).
TEST_P(Intrinsics, StatedCases) {
  // DOT_PRODUCT: only the first operand's extent counts; INTEGER sums in
  // 32 bits (64 with INTEGER(8)), wrapping; the first operand conjugated,
  // also against an INTEGER.
  std::int16_t h[5] = {2, 3, 100, 100, 100};
  std::int8_t b[2] = {100, 100};
  std::int32_t big = 65536, two = 2;
  std::int64_t big8 = 65536;
  EXPECT_EQ(call(__f_dotprod_s1_i2i2, vec(h, 2), vec(h, 5)), 13);
  EXPECT_EQ(call(__f_dotprod_s1_i1i1, vec(b, 2), vec(b, 2)), 20000);
  EXPECT_EQ(call(__f_dotprod_s1_i4i8, vec(&big, 1), vec(&big8, 1)), std::int64_t{1} << 32);
  EXPECT_EQ(call(__f_dotprod_s1_i4i4, vec(&big, 1), vec(&big, 1)), 0);
  mox2_c8 i = {0, 1}, x = {3, 3};
  mox2_c8 r = dot(__f_dotprod_s1_c8i4, vec(&i, 1), vec(&two, 1));
  EXPECT_TRUE(r.re == 0 && r.im == -2);
  // COMPLEX(4) with REAL(8): DOT_PRODUCT rounds each product to single
  // precision (3*(1 + 2^-24) to 3 + 2^-22), MATMUL works in double.
  double y = 1 + 0x1p-24;
  r = dot(__f_dotprod_s1_c8r8, vec(&x, 1), vec(&y, 1));
  EXPECT_TRUE(r.re == 3 + 0x1p-22f && r.im == -(3 + 0x1p-22f));
  auto xy = matmul<mox2_c16>(__f_matmul_a22_c8r8, mat(&x, 1, 1), mat(&y, 1, 1));
  EXPECT_TRUE(xy.re == 3 * y && xy.im == 3 * y);
  // INTEGER(8) to REAL(4) rounds once: 2^60 + 2^36 + 1 lies just above a
  // midpoint, onto which a detour through double would round first.
  std::int64_t above = (std::int64_t{1} << 60) + (std::int64_t{1} << 36) + 1;
  float one = 1;
  EXPECT_EQ(call(__f_dotprod_s1_i8r4, vec(&above, 1), vec(&one, 1)), 0x1p60f + 0x1p37f);
  EXPECT_EQ(matmul<float>(__f_matmul_a22_i8r4, mat(&above, 1, 1), mat(&one, 1, 1)),
            0x1p60f + 0x1p37f);
  // MATMUL narrows INTEGER results to their width.
  std::int8_t ones[2] = {1, 1};
  EXPECT_EQ(matmul<std::int8_t>(__f_matmul_a12_i1i1, vec(b, 2), mat(ones, 2, 1)), -56);
  // LOGICAL: the AND of the sign-extended values; DOT_PRODUCT stops at the
  // first true pair (extents far beyond the data: AddressSanitizer
  // catches a read past it).
  std::int32_t l1[3] = {1, 1, 1}, lm = -1;
  std::int16_t l2[3] = {2, 2, 2};
  std::int8_t m1 = -1;
  std::int64_t high = std::int64_t{1} << 32;
  EXPECT_EQ(call(__f_dotprod_s1_l4l4, vec(l1, 1), vec(&two, 1)), 0);
  EXPECT_EQ(call(__f_dotprod_s1_l4l4, vec(&lm, 1), vec(&two, 1)), 1);
  EXPECT_EQ(call(__f_dotprod_s1_l1l8, vec(&m1, 1), vec(&high, 1)), 1);
  EXPECT_EQ(matmul<std::int32_t>(__f_matmul_a22_l2l4, mat(l2, 1, 3), mat(l1, 3, 1)), 0);
  EXPECT_EQ(matmul<std::int64_t>(__f_matmul_a12_l1l8, vec(&m1, 1), mat(&high, 1, 1)), 1);
  auto *p = new std::int16_t[1]{1}, *q = new std::int16_t[1]{3};
  EXPECT_EQ(call(__f_dotprod_s1_l2l2, vec(p, 1000000), vec(q, 1000000)), 1);
  delete[] p;
  delete[] q;
}

// Counts and strides past the kernels' 32-bit integers are not cut to fit
// (stride 0 needs no memory): 2^31 + 3 ones, two elements 2^35 bytes
// apart, and an inner extent of 2^31 + 1 summed term by term (ones in
// REAL(4) stop growing at 2^24).
TEST(IntrinsicSizes, CountsAndStridesPastThirtyTwoBits) {
  double one = 1;
  const std::intptr_t n = (std::intptr_t(1) << 31) + 3;
  DopeVector<1> ones = {&one, {n}, {0}};
  EXPECT_EQ(__f_dotprod_s1_r8r8(&ones, &ones), double(n));
  float onef = 1;
  const std::intptr_t k = (std::intptr_t(1) << 31) + 1;
  DopeVector<2> row = {&onef, {1, k}, {4, 0}};
  EXPECT_EQ(matmul<float>(__f_matmul_a21_r4r4, row, DopeVector<1>{&onef, {k}, {0}}), 0x1p24f);

  const std::size_t apart = std::size_t(1) << 35;
  void *space = mmap(nullptr, apart + 4096, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (space == MAP_FAILED) GTEST_SKIP() << "no 32 GiB of address space";
  char *first = static_cast<char *>(space), *second = first + apart;
  store<double>(first, 1);
  store<double>(second, 2);
  store(first + 16, mox2_c16{0, 1});
  store(second + 16, mox2_c16{0, 1});
  DopeVector<1> far = {first, {2}, {std::intptr_t(apart)}}, twice = {&one, {2}, {0}};
  EXPECT_EQ(__f_dotprod_s1_r8r8(&far, &twice), 3.0);
  mox2_c16 r = dot(__f_dotprod_s1_c16c16, {first + 16, {2}, {std::intptr_t(apart)}},
                   {first + 16, {2}, {std::intptr_t(apart)}});
  EXPECT_TRUE(r.re == 2 && r.im == 0);
  munmap(space, apart + 4096);
}

TEST(FrameDeathTest, EveryDiagnosticHasItsNumberAndText) {
  struct Case {
    void (*routine)();
    int number;
    const char *text;
  } cases[] = {
      {__f_unassociated_array, 1191, "array argument is not associated"},
      {__f_illegal_dimension, 1192, "DIM argument is out of range"},
      {__f_small_source_size, 1193, "source array is too small for the result"},
      {__f_zero_array_size, 1194, "array of size zero is not allowed here"},
      {__f_negative_elements_in_shape, 1195, "shape argument has a negative element"},
      {__f_illegal_kind, 1196, "kind value is not supported"},
      {__f_nonconformable_array, 1197, "array arguments are not conformable"},
      {__f_out_of_space, 12, "Cannot allocate memory"},
  };
  for (const Case &c : cases)
    EXPECT_EXIT(c.routine(), testing::KilledBySignal(SIGABRT), diagnostic(c.number, c.text));
}

// An operand with base 0 ends the process, even when empty.
TEST(FrameDeathTest, UnassociatedOperands) {
  static double x[4] = {};
  static DopeVector<1> ok1 = vec(x, 1), none1 = {nullptr, {0}, {8}}, r1;
  static DopeVector<2> ok2 = mat(x, 2, 2), none2 = {nullptr, {0, 3}, {8, 0}}, r2;
  static mox2_c32 r;
  const std::function<void()> calls[] = {
      [] { __f_dotprod_s1_r8r8(&none1, &ok1); },
      [] { __f_dotprod_s1_i4r8(&ok1, &none1); },
      [] { __f_dotprod_s1_r8c32(&r, &ok1, &none1); },
      [] { __f_dotprod_s1_l8l8(&none1, &ok1); },
      [] { __f_matmul_a22_r8r8(&r2, &none2, &ok2); },
      [] { __f_matmul_a22_i2c16(&r2, &ok2, &none2); },
      [] { __f_matmul_a21_r8r4(&r1, &ok2, &none1); },
      [] { __f_matmul_a12_l4l4(&r1, &none1, &ok2); },
      [] { __f_matmul_a12_c32i8(&r1, &ok1, &none2); },
  };
  for (const auto &call : calls)
    EXPECT_EXIT(call(), testing::KilledBySignal(SIGABRT),
                diagnostic(1191, "array argument is not associated"));
}

// Every allocation an intrinsic cannot do without, failing in turn (on a
// thread of its own, where nothing is cached yet), and operand copies
// whose byte count overflows: the out-of-space line, then SIGABRT.
TEST(FrameDeathTest, EveryAllocationThatFailsIsOutOfSpace) {
  static double data[64 * 64] = {};
  static std::int32_t ints[64 * 64] = {};
  static DopeVector<2> r2, square = mat(data, 64, 64), int_square = mat(ints, 64, 64);
  static DopeVector<2> rows = {data, {32, 64}, {16, 512}}; // copied for BLAS
  static DopeVector<1> r1, odd = {data, {64}, {12}};       // no multiple of E
  static mox2_c8 dot;
  // k > 2^61 elements of stride 0: copies of more bytes than a size holds.
  static const std::intptr_t k = (std::intptr_t(1) << 61) + 1;
  static DopeVector<2> a8 = {data, {2, k}, {8, 0}}, b8 = {data, {k, 2}, {8, 0}};
  static DopeVector<2> a16 = {data, {2, k}, {16, 0}}, b16 = {data, {k, 2}, {16, 0}};
  static DopeVector<2> a4 = {data, {2, k}, {4, 0}};
  static DopeVector<1> x4 = {data, {k}, {4}}, x8 = {data, {k}, {8}};
  struct Case {
    const char *what;
    void (*call)();
    long successes; // allocations that succeed before the failing one; < 0: none fails
  } cases[] = {
      {"result along DIM", [] { __f_count_a2_l4(&r1, &int_square, 1); }, 0},
      {"copy of a DOT_PRODUCT operand", [] { __f_dotprod_s1_c8c8(&dot, &odd, &odd); }, 0},
      {"MATMUL result", [] { __f_matmul_a22_r8r8(&r2, &square, &square); }, 0},
      {"copy of a MATMUL operand", [] { __f_matmul_a22_r8r8(&r2, &rows, &square); }, 1},
      {"copy of a MATMUL vector", [] { __f_matmul_a21_c8c8(&r1, &square, &odd); }, 1},
      {"generic MATMUL workspace", [] { __f_matmul_a22_r8i4(&r2, &square, &int_square); }, 1},
      {"REAL(8) copies past a size", [] { __f_matmul_a22_r8r8(&r2, &a8, &b8); }, -1},
      {"COMPLEX(8) copies past a size", [] { __f_matmul_a22_c16c16(&r2, &a16, &b16); }, -1},
      {"REAL(4) copy past a size", [] { __f_matmul_a21_r4r4(&r1, &a4, &x4); }, -1},
      {"COMPLEX(4) copy past a size", [] { __f_matmul_a21_c8c8(&r1, &a8, &x8); }, -1},
  };
  for (const Case &c : cases)
    EXPECT_EXIT(std::thread([&] {
                  if (c.successes >= 0) test::fail_allocations_after(c.successes);
                  c.call();
                  test::allow_allocations();
                }).join(),
                testing::KilledBySignal(SIGABRT), diagnostic(12, "Cannot allocate memory"))
        << c.what;
}

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
  if (data != Data::positive || std::is_integral_v<T>)
    return std::memcmp(&ours, &peer, sizeof(T)) == 0;
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
    TR expect{}, got{};
    peer(static_cast<int>(n), a.data(), b.data(), &expect);
    if constexpr (std::is_invocable_v<Ours, TR *, const DopeVector<1> *, const DopeVector<1> *>)
      got = dot(ours, vec(a.data(), n), vec(b.data(), n));
    else // LOGICAL pairs: INTEGER 0 or 1
      got = static_cast<TR>(call(ours, vec(a.data(), n), vec(b.data(), n)));
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
    const DopeVector<2> da = mat(a.data(), m, k), db = mat(b.data(), k, n);
    const DopeVector<1> row{a.data(), {std::intptr_t(k)}, {std::intptr_t(m * sizeof(TA))}},
        column = vec(b.data(), k);
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
  X(i8, i1, i8)                                                                                    \
  X(r4, r8, r8) X(i4, r8, r8) X(r16, r8, r16) X(c16, c16, c16) X(c8, c16, c16) X(i4, c8, c8)       \
      X(c32, r16, c32) X(r8, r8, r8) X(l4, l4, l4) X(l1, l8, l8)
#define MOX2_ORACLE_MATMUL_PAIRS(X)                                                                \
  X(i1, i4, i4)                                                                                    \
  X(i8, i4, i8)                                                                                    \
  X(r4, r8, r8) X(r8, i4, r8) X(i8, r4, r4) X(c8, r8, c16) X(r16, c8, c32) X(c16, c16, c16)        \
      X(c8, i2, c8) X(r4, r4, r4) X(l2, l4, l4) X(l1, l8, l8)

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
