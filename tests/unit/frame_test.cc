// The array frame: result descriptors and allocation, and the fatal
// diagnostics (exact text on standard error, end by SIGABRT).
#include <malloc.h>

#include <csignal>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "frame/dope.h"
#include "frame/errors.h"
#include "support/arrays.h"
#include "support/failing_allocator.h"

namespace mox2 {
namespace {

using test::diagnostic;

TEST(SetDope, DropsTheReducedDimension) {
  char data[4];
  DopeVector<3> source = test::make_dope<3>(data, {4, 5, 6}, {2, 8, 40});
  DopeVector<2> result;
  __f_c_set_dope(&result, &source, 2, 2, 3);
  EXPECT_EQ(result.extent[0], 4);
  EXPECT_EQ(result.extent[1], 6);
  EXPECT_EQ(result.stride[0], 2);
  EXPECT_EQ(result.stride[1], 8);
  ASSERT_NE(result.base, nullptr);
  static_cast<char *>(result.base)[47] = 1; // 48 bytes (ASan checks the bound)
  std::free(result.base);
}

TEST(SetDope, EmptyResultStillGetsOneElement) {
  char data[4];
  DopeVector<3> source = test::make_dope<3>(data, {4, 0, 6}, {8, 32, 0});
  DopeVector<2> result;
  __f_c_set_dope(&result, &source, 8, 3, 3);
  EXPECT_EQ(result.extent[0], 4);
  EXPECT_EQ(result.extent[1], 0);
  EXPECT_EQ(result.stride[0], 8);
  EXPECT_EQ(result.stride[1], 32);
  ASSERT_NE(result.base, nullptr);
  static_cast<char *>(result.base)[7] = 1;
  std::free(result.base);
}

TEST(SetDope, ZeroExtentAlongDimStillGivesEveryResultElement) {
  // An empty reduction along DIM = 2: 4 x 6 results, all to be written.
  char data[4];
  DopeVector<3> source = test::make_dope<3>(data, {4, 0, 6}, {8, 32, 0});
  DopeVector<2> result;
  __f_c_set_dope(&result, &source, 8, 2, 3);
  EXPECT_EQ(result.extent[0], 4);
  EXPECT_EQ(result.extent[1], 6);
  EXPECT_EQ(result.stride[1], 32);
  ASSERT_NE(result.base, nullptr);
  EXPECT_GE(malloc_usable_size(result.base), 4u * 6 * 8);
  std::free(result.base);
}

TEST(SetDope, NegativeExtentCountsAsZero) {
  char data[4];
  DopeVector<2> source = test::make_dope<2>(data, {-3, 5}, {4, 4});
  DopeVector<1> result;
  __f_c_set_dope(&result, &source, 4, 2, 2);
  EXPECT_EQ(result.extent[0], 0);
  ASSERT_NE(result.base, nullptr);
  std::free(result.base);
}

TEST(SetDope, RankOneGivesAScalar) {
  char data[4];
  DopeVector<1> source = test::make_dope<1>(data, {7}, {1});
  DopeVector<0> result;
  __f_c_set_dope(&result, &source, 4, 1, 1);
  ASSERT_NE(result.base, nullptr);
  static_cast<char *>(result.base)[3] = 1;
  std::free(result.base);
}

TEST(FrameDeathTest, UnassociatedSourceEvenWhenEmpty) {
  DopeVector<2> source = test::make_dope<2>(nullptr, {0, 3}, {4, 0});
  DopeVector<1> result;
  EXPECT_EXIT(__f_c_set_dope(&result, &source, 4, 1, 2), testing::KilledBySignal(SIGABRT),
              test::only_line(diagnostic(1191, test::kUnassociated)));
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
    EXPECT_EXIT(c.routine(), testing::KilledBySignal(SIGABRT),
                test::only_line(diagnostic(c.number, c.text)));
}

TEST(FrameDeathTest, ResultTooLargeToAllocateIsOutOfSpace) {
  char data[4];
  const std::intptr_t huge = std::intptr_t(1) << 40;
  DopeVector<3> source = test::make_dope<3>(data, {huge, 7, huge}, {1, 1, 1});
  DopeVector<2> result;
  EXPECT_EXIT(__f_c_set_dope(&result, &source, 8, 2, 3), testing::KilledBySignal(SIGABRT),
              test::only_line(diagnostic(12, "Cannot allocate memory")));
}

// Every allocation an intrinsic cannot do without, failing in turn (on a
// thread of its own, where nothing is cached yet): the out-of-space line,
// then SIGABRT.  `successes` allocations succeed before the failing one.
TEST(FrameDeathTest, EveryAllocationThatFailsIsOutOfSpace) {
  static double data[64 * 64] = {};
  static std::int32_t ints[64 * 64] = {};
  static DopeVector<2> r2, square = test::make_dope<2>(data, {64, 64}, {8, 512});
  static DopeVector<2> rows = test::make_dope<2>(data, {32, 64}, {16, 512}); // copied for BLAS
  static DopeVector<2> int_square = test::make_dope<2>(ints, {64, 64}, {4, 256});
  static DopeVector<1> r1, odd = test::make_dope<1>(data, {64}, {12}); // no multiple of E
  static mox2_c8 dot;
  static DopeVector<3> cube = test::make_dope<3>(data, {4, 4, 4}, {8, 32, 128});
  struct Case {
    const char *what;
    void (*call)();
    long successes;
  } cases[] = {
      {"result of a reduction", [] { __f_c_set_dope(&r2, &cube, 8, 2, 3); }, 0},
      {"result along DIM", [] { __f_count_a2_l4(&r1, &int_square, 1); }, 0},
      {"copy of a DOT_PRODUCT operand", [] { __f_dotprod_s1_c8c8(&dot, &odd, &odd); }, 0},
      {"MATMUL result", [] { __f_matmul_a22_r8r8(&r2, &square, &square); }, 0},
      {"copy of a MATMUL operand", [] { __f_matmul_a22_r8r8(&r2, &rows, &square); }, 1},
      {"copy of a MATMUL vector", [] { __f_matmul_a21_c8c8(&r1, &square, &odd); }, 1},
      {"generic MATMUL workspace", [] { __f_matmul_a22_r8i4(&r2, &square, &int_square); }, 1},
  };
  for (const Case &c : cases)
    EXPECT_EXIT(std::thread([&] {
                  test::fail_allocations_after(c.successes);
                  c.call();
                  test::allow_allocations();
                }).join(),
                testing::KilledBySignal(SIGABRT),
                test::only_line(diagnostic(12, "Cannot allocate memory")))
        << c.what;
}

} // namespace
} // namespace mox2
