// DOT_PRODUCT: the stated edge cases, the diagnostics, and reads that stop
// where they must.
#include <sys/mman.h>

#include <cstring>

#include <gtest/gtest.h>

#include "support/arrays.h"
#include "support/isas.h"

namespace mox2 {
namespace {

using test::diagnostic;
using test::kUnassociated;

template <class T> DopeVector<1> vec(T *data, std::intptr_t n, std::intptr_t step = 1) {
  return {data, {n}, {step * static_cast<std::intptr_t>(sizeof(T))}};
}

class Dotprod : public test::OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(Dotprod);

TEST_P(Dotprod, EmptyOperandGivesZeroAndWritesTheComplexResult) {
  float a[2] = {1, 2};
  mox2_c16 c[2] = {{1, 2}, {3, 4}};
  DopeVector<1> da = vec(a, 2), dempty = vec(a, 0), dc = vec(c, 2), dcempty = vec(c, 0);
  EXPECT_EQ(__f_dotprod_s1_r4r4(&dempty, &da), 0.0f);
  EXPECT_EQ(__f_dotprod_s1_r4r8(&da, &dempty), 0.0); // b empty, a not (generic loops)
  mox2_c16 r = {7, 7};
  __f_dotprod_s1_c16c16(&r, &dcempty, &dc);
  EXPECT_EQ(r.re, 0.0);
  EXPECT_EQ(r.im, 0.0);
  r = {7, 7};
  __f_dotprod_s1_c16r4(&r, &dc, &dempty);
  EXPECT_EQ(r.re, 0.0);
  EXPECT_EQ(r.im, 0.0);
}

TEST_P(Dotprod, ReversedSectionIsTakenInSectionOrder) {
  std::int32_t v[3] = {1, 2, 3}, e[3] = {1, 0, 0};
  DopeVector<1> rev = vec(v + 2, 3, -1), de = vec(e, 3);
  EXPECT_EQ(__f_dotprod_s1_i4i4(&rev, &de), 3);
}

TEST_P(Dotprod, OnlyTheFirstExtentCounts) {
  std::int16_t a[2] = {2, 3}, b[5] = {5, 7, 100, 100, 100};
  DopeVector<1> da = vec(a, 2), db = vec(b, 5);
  EXPECT_EQ(__f_dotprod_s1_i2i2(&da, &db), 31);
}

TEST_P(Dotprod, FirstOperandIsConjugated) {
  mox2_c8 i = {0, 1};
  DopeVector<1> di = vec(&i, 1);
  mox2_c8 r;
  __f_dotprod_s1_c8c8(&r, &di, &di);
  EXPECT_EQ(r.re, 1.0f);
  EXPECT_EQ(r.im, 0.0f);
  std::int32_t two = 2;
  DopeVector<1> dtwo = vec(&two, 1);
  __f_dotprod_s1_c8i4(&r, &di, &dtwo);
  EXPECT_EQ(r.re, 0.0f);
  EXPECT_EQ(r.im, -2.0f);
}

TEST_P(Dotprod, IntegerWidths) {
  std::int8_t h[2] = {100, 100};
  DopeVector<1> dh = vec(h, 2);
  EXPECT_EQ(__f_dotprod_s1_i1i1(&dh, &dh), 20000); // full 32-bit sum
  std::int32_t big = 65536;
  std::int64_t big8 = 65536;
  DopeVector<1> db = vec(&big, 1), db8 = vec(&big8, 1);
  EXPECT_EQ(__f_dotprod_s1_i4i8(&db, &db8), std::int64_t{4294967296});
  EXPECT_EQ(__f_dotprod_s1_i4i4(&db, &db), 0); // wraps modulo 2^32
}

TEST_P(Dotprod, ComplexWithWiderRealRoundsEachProduct) {
  // double(3)*(1 + 2^-24) rounds to 3 + 2^-22 in single precision; the
  // product of the single-precision operands would be 3.
  mox2_c8 x = {3, 3};
  double y = 1 + 0x1p-24;
  DopeVector<1> dx = vec(&x, 1), dy = vec(&y, 1);
  mox2_c8 r;
  __f_dotprod_s1_c8r8(&r, &dx, &dy);
  EXPECT_EQ(r.re, 3 + 0x1p-22f);
  EXPECT_EQ(r.im, -(3 + 0x1p-22f));
}

TEST_P(Dotprod, Integer8ToSingleRoundsOnce) {
  // 2^60 + 2^36 + 1 lies just above a midpoint of single precision; through
  // double it would first round onto the midpoint and then to even.
  std::int64_t v = (std::int64_t{1} << 60) + (std::int64_t{1} << 36) + 1;
  float one = 1;
  DopeVector<1> dv = vec(&v, 1), d1 = vec(&one, 1);
  EXPECT_EQ(__f_dotprod_s1_i8r4(&dv, &d1), 0x1p60f + 0x1p37f);
}

TEST_P(Dotprod, LogicalPairsTestTheAndOfTheValues) {
  std::int32_t one = 1, two = 2, minus = -1;
  DopeVector<1> d1 = vec(&one, 1), d2 = vec(&two, 1), dm = vec(&minus, 1);
  EXPECT_EQ(__f_dotprod_s1_l4l4(&d1, &d2), 0);
  EXPECT_EQ(__f_dotprod_s1_l4l4(&dm, &d2), 1);
  std::int8_t m1 = -1;
  std::int64_t high = std::int64_t{1} << 32;
  DopeVector<1> dm1 = vec(&m1, 1), dh = vec(&high, 1);
  EXPECT_EQ(__f_dotprod_s1_l1l8(&dm1, &dh), std::int64_t{1}); // -1 sign-extended
}

TEST_P(Dotprod, LogicalScanStopsAtTheFirstTruePair) {
  // Extents far beyond the data: only the first pair may be read (ASan
  // builds catch any read past it).
  std::int16_t *a = new std::int16_t[1]{1};
  std::int16_t *b = new std::int16_t[1]{3};
  DopeVector<1> da = vec(a, 1000000), db = vec(b, 1000000);
  EXPECT_EQ(__f_dotprod_s1_l2l2(&da, &db), 1);
  delete[] a;
  delete[] b;
}

// Counts and strides past the kernels' 32-bit integers are not cut to fit:
// 2^31 + 3 ones (stride 0), two elements 2^35 bytes apart.
TEST(DotprodSizes, CountsAndStridesPastThirtyTwoBits) {
  double one = 1;
  const std::intptr_t n = (std::intptr_t(1) << 31) + 3;
  DopeVector<1> ones = {&one, {n}, {0}};
  EXPECT_EQ(__f_dotprod_s1_r8r8(&ones, &ones), double(n));

  const std::size_t apart = std::size_t(1) << 35;
  void *space = mmap(nullptr, apart + 4096, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (space == MAP_FAILED) GTEST_SKIP() << "no 32 GiB of address space";
  char *first = static_cast<char *>(space), *second = first + apart;
  store<double>(first, 1);
  store<double>(second, 2);
  const mox2_c16 i = {0, 1};
  store(first + 16, i);
  store(second + 16, i);
  DopeVector<1> far = {first, {2}, {std::intptr_t(apart)}}, twice = {&one, {2}, {0}};
  EXPECT_EQ(__f_dotprod_s1_r8r8(&far, &twice), 3.0);
  DopeVector<1> far_c = {first + 16, {2}, {std::intptr_t(apart)}};
  mox2_c16 r;
  __f_dotprod_s1_c16c16(&r, &far_c, &far_c);
  EXPECT_EQ(r.re, 2.0);
  EXPECT_EQ(r.im, 0.0);
  munmap(space, apart + 4096);
}

TEST(DotprodDeathTest, UnassociatedOperandEndsTheProcess) {
  double x = 1;
  DopeVector<1> ok = vec(&x, 1), none = {nullptr, {0}, {8}};
  EXPECT_DEATH(__f_dotprod_s1_r8r8(&none, &ok), diagnostic(1191, kUnassociated));
  EXPECT_DEATH(__f_dotprod_s1_i4r8(&ok, &none), diagnostic(1191, kUnassociated));
  mox2_c32 r;
  EXPECT_DEATH(__f_dotprod_s1_r8c32(&r, &ok, &none), diagnostic(1191, kUnassociated));
  EXPECT_DEATH(__f_dotprod_s1_l8l8(&none, &ok), diagnostic(1191, kUnassociated));
}

} // namespace
} // namespace mox2
