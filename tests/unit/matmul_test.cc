// MATMUL: result descriptors and zero results, the stated edge cases, and
// the diagnostics.
#include <cstdlib>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "support/arrays.h"
#include "support/isas.h"

namespace mox2 {
namespace {

using test::diagnostic;
using test::kUnassociated;

template <class T> DopeVector<2> mat(T *data, std::intptr_t rows, std::intptr_t cols) {
  std::intptr_t e = sizeof(T);
  return {data, {rows, cols}, {e, e * (rows > 0 ? rows : 1)}};
}
template <class T> DopeVector<1> vec(T *data, std::intptr_t n, std::intptr_t step = 1) {
  return {data, {n}, {step * static_cast<std::intptr_t>(sizeof(T))}};
}
template <class T> T element(const void *base, std::size_t i) {
  return load<T>(static_cast<const char *>(base) + i * sizeof(T));
}

class Matmul : public test::OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(Matmul);

TEST_P(Matmul, ZeroInnerExtentGivesZeros) {
  double d[12];
  for (double &x : d)
    x = 5;
  DopeVector<2> a = mat(d, 2, 0), b = mat(d, 0, 3), r;
  std::memset(&r, 0x77, sizeof r);
  __f_matmul_a22_r8i4(&r, &a, &b);
  ASSERT_NE(r.base, nullptr);
  EXPECT_EQ(r.extent[0], 2);
  EXPECT_EQ(r.extent[1], 3);
  EXPECT_EQ(r.stride[0], 8);
  EXPECT_EQ(r.stride[1], 16);
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(element<double>(r.base, i), 0.0);
  std::free(r.base);

  // Only B's row count is zero: the extents are not compared.
  DopeVector<2> a23 = mat(d, 2, 3), b04 = mat(d, 0, 4);
  __f_matmul_a22_c16c8(&r, &a23, &b04);
  EXPECT_EQ(r.extent[0], 2);
  EXPECT_EQ(r.extent[1], 4);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(element<mox2_c16>(r.base, i).re, 0.0);
    EXPECT_EQ(element<mox2_c16>(r.base, i).im, 0.0);
  }
  std::free(r.base);
}

TEST_P(Matmul, EmptyResultHasABase) {
  std::int32_t d[12] = {};
  DopeVector<2> a = mat(d, 0, 3), b = mat(d, 3, 4), r;
  __f_matmul_a22_i4i2(&r, &a, &b);
  ASSERT_NE(r.base, nullptr);
  EXPECT_EQ(r.extent[0], 0);
  EXPECT_EQ(r.extent[1], 4);
  EXPECT_EQ(r.stride[0], 4);
  EXPECT_EQ(r.stride[1], 0);
  std::free(r.base);

  DopeVector<1> x = vec(d, 0), r1;
  DopeVector<2> b03 = mat(d, 0, 3), b20 = mat(d, 2, 0);
  __f_matmul_a12_r4c32(&r1, &x, &b03);
  EXPECT_EQ(r1.extent[0], 3);
  EXPECT_EQ(r1.stride[0], 32);
  for (int j = 0; j < 3; ++j)
    EXPECT_TRUE(element<mox2_c32>(r1.base, j).re == 0);
  std::free(r1.base);
  __f_matmul_a12_r4c32(&r1, &x, &b20);
  EXPECT_EQ(r1.extent[0], 0);
  ASSERT_NE(r1.base, nullptr);
  std::free(r1.base);

  DopeVector<2> a40 = mat(d, 4, 0);
  __f_matmul_a21_l2l8(&r1, &a40, &x);
  EXPECT_EQ(r1.extent[0], 4);
  EXPECT_EQ(r1.stride[0], 8);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(element<std::int64_t>(r1.base, i), 0);
  std::free(r1.base);
}

TEST_P(Matmul, IntegerResultsAreNarrowed) {
  std::int8_t a[2] = {100, 100}, b[2] = {1, 1};
  DopeVector<1> da = vec(a, 2), r;
  DopeVector<2> db = mat(b, 2, 1);
  __f_matmul_a12_i1i1(&r, &da, &db);
  EXPECT_EQ(element<std::int8_t>(r.base, 0), -56); // 200 in 8 bits
  std::free(r.base);

  std::int16_t x[2] = {200, 200}, y[2] = {100, 100};
  DopeVector<2> dx = mat(x, 1, 2), dy = mat(y, 2, 1), r2;
  __f_matmul_a22_i2i2(&r2, &dx, &dy);
  EXPECT_EQ(element<std::int16_t>(r2.base, 0), -25536); // 40000 in 16 bits
  std::free(r2.base);
}

TEST_P(Matmul, NothingIsConjugated) {
  mox2_c8 i = {0, 1};
  DopeVector<1> di = vec(&i, 1), r;
  DopeVector<2> dm = mat(&i, 1, 1);
  __f_matmul_a12_c8c8(&r, &di, &dm);
  EXPECT_EQ(element<mox2_c8>(r.base, 0).re, -1.0f);
  EXPECT_EQ(element<mox2_c8>(r.base, 0).im, 0.0f);
  std::free(r.base);
}

TEST_P(Matmul, ComplexWithWiderRealWorksInTheWiderPrecision) {
  // c8 x r8 gives c16: both parts widened, product in double.
  mox2_c8 a = {3, -3};
  double b = 1 + 0x1p-24;
  DopeVector<2> da = mat(&a, 1, 1), db = mat(&b, 1, 1), r;
  __f_matmul_a22_c8r8(&r, &da, &db);
  EXPECT_EQ(r.stride[0], 16);
  EXPECT_EQ(element<mox2_c16>(r.base, 0).re, 3 * (1 + 0x1p-24));
  EXPECT_EQ(element<mox2_c16>(r.base, 0).im, -3 * (1 + 0x1p-24));
  std::free(r.base);
}

TEST_P(Matmul, Integer8ToSingleRoundsOnce) {
  std::int64_t v = (std::int64_t{1} << 60) + (std::int64_t{1} << 36) + 1;
  float one = 1;
  DopeVector<2> da = mat(&v, 1, 1), db = mat(&one, 1, 1), r;
  __f_matmul_a22_i8r4(&r, &da, &db);
  EXPECT_EQ(element<float>(r.base, 0), 0x1p60f + 0x1p37f);
  std::free(r.base);
}

TEST_P(Matmul, TransposedSectionEqualsTheTranspose) {
  std::int32_t a[6] = {1, 2, 3, 4, 5, 6};  // 2x3 column-major
  std::int32_t at[6] = {1, 3, 5, 2, 4, 6}; // its transpose, 3x2
  std::int32_t b[3] = {1, 10, 100};
  DopeVector<2> da = mat(a, 2, 3);
  DopeVector<2> dt = {at, {2, 3}, {12, 4}}; // TRANSPOSE(at) as a section
  DopeVector<1> db = vec(b, 3), r1, r2;
  __f_matmul_a21_i4i4(&r1, &da, &db);
  __f_matmul_a21_i4i4(&r2, &dt, &db);
  EXPECT_EQ(element<std::int32_t>(r1.base, 0), 531);
  EXPECT_EQ(element<std::int32_t>(r1.base, 1), 642);
  EXPECT_EQ(std::memcmp(r1.base, r2.base, 8), 0);
  std::free(r1.base);
  std::free(r2.base);
}

TEST_P(Matmul, LogicalTestsTheAndOfSignExtendedValues) {
  std::int16_t a[3] = {2, 2, 2};
  std::int32_t b[3] = {1, 1, 1};
  DopeVector<2> da = mat(a, 1, 3), db = mat(b, 3, 1), r;
  __f_matmul_a22_l2l4(&r, &da, &db);
  EXPECT_EQ(element<std::int32_t>(r.base, 0), 0);
  std::free(r.base);
  std::int8_t m1 = -1;
  std::int64_t high = std::int64_t{1} << 32;
  DopeVector<1> dm = vec(&m1, 1), r1;
  DopeVector<2> dh = mat(&high, 1, 1);
  __f_matmul_a12_l1l8(&r1, &dm, &dh);
  EXPECT_EQ(element<std::int64_t>(r1.base, 0), 1);
  std::free(r1.base);
}

// K past the BLAS's 32-bit integers (stride 0: no memory needed): every
// term is summed, in k order (ones in REAL(4) stop growing at 2^24).
TEST(MatmulSizes, InnerExtentPastThirtyTwoBitsSumsEveryTerm) {
  float one = 1;
  const std::intptr_t k = (std::intptr_t(1) << 31) + 1;
  DopeVector<2> a = {&one, {1, k}, {4, 0}};
  DopeVector<1> x = {&one, {k}, {0}}, r;
  __f_matmul_a21_r4r4(&r, &a, &x);
  EXPECT_EQ(element<float>(r.base, 0), 0x1p24f);
  std::free(r.base);
}

// Operands with stride 0 whose copies would take more bytes than a size
// can count: out of space, nothing written.
TEST(MatmulDeathTest, CopyTooLargeToCountIsOutOfSpace) {
  static double d[8] = {};
  const std::intptr_t k = (std::intptr_t(1) << 61) + 1;
  const std::string out_of_space = diagnostic(12, "Cannot allocate memory");
  DopeVector<2> r2, a8 = {d, {2, k}, {8, 0}}, b8 = {d, {k, 2}, {8, 0}};
  DopeVector<2> a16 = {d, {2, k}, {16, 0}}, b16 = {d, {k, 2}, {16, 0}};
  DopeVector<2> a4 = {d, {2, k}, {4, 0}};
  DopeVector<1> r1, x4 = {d, {k}, {4}}, x8 = {d, {k}, {8}};
  EXPECT_DEATH(__f_matmul_a22_r8r8(&r2, &a8, &b8), out_of_space);
  EXPECT_DEATH(__f_matmul_a22_c16c16(&r2, &a16, &b16), out_of_space);
  EXPECT_DEATH(__f_matmul_a21_r4r4(&r1, &a4, &x4), out_of_space);
  EXPECT_DEATH(__f_matmul_a21_c8c8(&r1, &a8, &x8), out_of_space);
}

TEST(MatmulDeathTest, UnassociatedOperandEndsTheProcess) {
  double x[4] = {};
  DopeVector<2> ok = mat(x, 2, 2), none2 = {nullptr, {0, 0}, {8, 0}};
  DopeVector<1> okv = vec(x, 2), none1 = {nullptr, {0}, {8}}, r1;
  DopeVector<2> r2;
  EXPECT_DEATH(__f_matmul_a22_r8r8(&r2, &none2, &ok), diagnostic(1191, kUnassociated));
  EXPECT_DEATH(__f_matmul_a22_i2c16(&r2, &ok, &none2), diagnostic(1191, kUnassociated));
  EXPECT_DEATH(__f_matmul_a21_r8r4(&r1, &ok, &none1), diagnostic(1191, kUnassociated));
  EXPECT_DEATH(__f_matmul_a12_l4l4(&r1, &none1, &ok), diagnostic(1191, kUnassociated));
  EXPECT_DEATH(__f_matmul_a12_c32i8(&r1, &okv, &none2), diagnostic(1191, kUnassociated));
}

} // namespace
} // namespace mox2
