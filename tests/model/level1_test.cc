// The level-1 kernels against their model, bit for bit, over sizes around
// every unroll edge, increments +-1, +-3, 0, both alignments of data that
// may be 4 bytes off, and special values; and against the reference BLAS
// where the two orders coincide.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "kernels/kernels.h"
#include "model/kernel_data.h"
#include "model/model_level1.h"
#include "support/isas.h"
#include "support/reference_blas.h"

namespace mox2 {
namespace {

using test::Strip;
using test::Values;
using i32 = std::int32_t;

const int kSizes[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 16, 17, 31, 32, 33, 100, 257};
const int kIncrements[] = {1, -1, 3, -3, 2, 0};

// Every dot kernel as (n, x, incx, y, incy) -> value.
template <class T> using DotFn = T (*)(int, const T *, int, const T *, int);

template <class T>
void check_dot(const char *name, DotFn<T> kernel, DotFn<T> model, bool may_be_4_off) {
  std::vector<int> offsets = {0};
  if (may_be_4_off) offsets.push_back(4);
  for (int n : kSizes)
    for (int incx : kIncrements)
      for (int incy : kIncrements)
        for (int xoff : offsets)
          for (int yoff : offsets)
            for (Values v : {Values::plain, Values::specials}) {
              Strip<T> x(test::span(n, incx), xoff), y(test::span(n, incy), yoff);
              x.fill(v);
              y.fill(v);
              T got = kernel(n, x.data(), incx, y.data(), incy);
              T want = model(n, x.data(), incx, y.data(), incy);
              ASSERT_TRUE(test::same_value(got, want))
                  << name << " n=" << n << " incx=" << incx << " incy=" << incy << " x+" << xoff
                  << " y+" << yoff << ": got " << test::show(got) << ", want " << test::show(want);
            }
}

float sdot(int n, const float *x, int incx, const float *y, int incy) {
  return __f___zo_sdot_(&n, x, &incx, y, &incy);
}
double ddot(int n, const double *x, int incx, const double *y, int incy) {
  return __f___zo_ddot_(&n, x, &incx, y, &incy);
}
double ddot_don(int n, const double *x, int incx, const double *y, int incy) {
  return __f___zo_ddot_don_(&n, x, &incx, y, &incy);
}
// The complex kernels write through the result address, which may be
// 4-byte aligned for zdotc_don; it starts as NaN so that every part must be
// written, n <= 0 included.
template <class C, void (*K)(C *, const i32 *, const C *, const i32 *, const C *, const i32 *),
          bool kResult4Off>
C complex_dot(int n, const C *x, int incx, const C *y, int incy) {
  test::Buffer out(sizeof(C), kResult4Off ? 4 : 0);
  auto nan = std::numeric_limits<Part<C>>::quiet_NaN();
  store<C>(out.data(), C{nan, nan});
  K(reinterpret_cast<C *>(out.data()), &n, x, &incx, y, &incy);
  return load<C>(out.data());
}

// The kernels run their contiguous loops in the active kernel set: every
// set this CPU has must give the same bits.
class Level1Model : public test::OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(Level1Model);

TEST_P(Level1Model, RealDots) {
  check_dot<float>("sdot", sdot, model::sdot, true);
  check_dot<double>("ddot", ddot, model::ddot, false);
  check_dot<double>("ddot_don", ddot_don, model::ddot_don, true);
}

TEST_P(Level1Model, ComplexDots) {
  check_dot<c8>("cdotc", complex_dot<c8, __f___zo_cdotc_, false>, model::cdotc, true);
  check_dot<c8>("cdotu", complex_dot<c8, __f___zo_cdotu_, false>, model::cdotu, true);
  check_dot<c16>("zdotc", complex_dot<c16, __f___zo_zdotc_, false>, model::zdotc, false);
  check_dot<c16>("zdotu", complex_dot<c16, __f___zo_zdotu_, false>, model::zdotu, false);
  check_dot<c16>("zdotc_don", complex_dot<c16, __f___zo_zdotc_don_, true>, model::zdotc_don, true);
}

// The partial sums of sdot, by hand: x = (2^24, 0, 0, 0, 0, 1, 1, 1),
// y = 1.  Groups from element 1 give s0 = 2^24, s1 = s2 = s3 = 1 and the
// result 2^24 + 2; with both operands 4 bytes off, x1*y1 goes to s0 first,
// elements 2..5 form the only group and 6..8 are leftovers into s0, where
// each 1 is lost against 2^24: the result is 2^24.
TEST_P(Level1Model, SdotPartialSumsFollowTheAlignmentOfBothOperands) {
  const float big = 16777216.0f;
  for (int xoff : {0, 4})
    for (int yoff : {0, 4}) {
      Strip<float> x(8, xoff), y(8, yoff);
      for (int i = 0; i < 8; ++i) {
        x.set(i, i == 0 ? big : i >= 5 ? 1.0f : 0.0f);
        y.set(i, 1);
      }
      int n = 8, one = 1;
      float want = xoff == 4 && yoff == 4 ? big : big + 2;
      EXPECT_EQ(__f___zo_sdot_(&n, x.data(), &one, y.data(), &one), want)
          << "x+" << xoff << " y+" << yoff;
      EXPECT_EQ(model::sdot(n, x.data(), 1, y.data(), 1), want);
    }
}

template <class T> using ScalFn = void (*)(int, T, T *, int);

template <class T>
void check_scal(const char *name, ScalFn<T> kernel, ScalFn<T> model, bool may_be_4_off,
                std::vector<T> alphas) {
  std::vector<int> offsets = {0};
  if (may_be_4_off) offsets.push_back(4);
  for (int n : kSizes)
    for (int inc : kIncrements)
      for (int off : offsets)
        for (T alpha : alphas) {
          Strip<T> want(test::span(n, inc), off);
          want.fill(Values::specials);
          Strip<T> got(want);
          kernel(n, alpha, got.data(), inc);
          model(n, alpha, want.data(), inc);
          ASSERT_TRUE(got.same_as(want)) << name << " n=" << n << " inc=" << inc << " +" << off
                                         << " alpha=" << test::show(alpha);
        }
}

void sscal(int n, float alpha, float *x, int inc) { __f___zo_sscal_(&n, &alpha, x, &inc); }
void dscal(int n, double alpha, double *x, int inc) { __f___zo_dscal_(&n, &alpha, x, &inc); }
void cscal(int n, c8 alpha, c8 *x, int inc) { __f___zo_cscal_(&n, &alpha, x, &inc); }
void zscal(int n, c16 alpha, c16 *x, int inc) { __f___zo_zscal_(&n, &alpha, x, &inc); }

TEST_P(Level1Model, Scal) {
  check_scal<float>("sscal", sscal, model::sscal, true, {0.0f, 1.0f, -1.0f, 0.375f, -0.0f});
  check_scal<double>("dscal", dscal, model::dscal, false, {0.0, 1.0, -1.0, -2.625, -0.0});
  check_scal<c8>("cscal", cscal, model::cscal, true,
                 {{0, 0}, {1, 0}, {0, 1}, {-1, 0}, {0.5f, -1.25f}});
  check_scal<c16>("zscal", zscal, model::zscal, false,
                  {{0, 0}, {1, 0}, {0, 1}, {-1, 0}, {0.5, -1.25}});
}

// Scaling by zero multiplies: Inf and NaN become NaN, never 0.
TEST_P(Level1Model, ScalByZeroKeepsNaN) {
  double x[3] = {std::numeric_limits<double>::infinity(), 1, -2};
  int n = 3, inc = 1;
  double zero = 0;
  __f___zo_dscal_(&n, &zero, x, &inc);
  EXPECT_TRUE(x[0] != x[0]);
  EXPECT_TRUE(test::same_value(x[1], 0.0));
  EXPECT_TRUE(test::same_value(x[2], -0.0));
}

template <class T> using GerFn = void (*)(int, int, T, const T *, int, const T *, int, T *, int);

template <class T>
void check_ger(const char *name, GerFn<T> kernel, GerFn<T> model, bool may_be_4_off) {
  std::vector<int> offsets = {0};
  if (may_be_4_off) offsets.push_back(4);
  const int sizes[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 17, 33, 70};
  for (int m : sizes)
    for (int n : sizes)
      for (int rep = 0; rep < 3; ++rep) {
        int incx = kIncrements[test::random_int(0, 3)], incy = kIncrements[test::random_int(0, 3)];
        int lda = (m > 0 ? m : 1) + test::random_int(0, 2);
        int off = offsets[test::random_int(0, static_cast<int>(offsets.size()) - 1)];
        T alpha = rep == 0 ? T(1) : rep == 1 ? T(0) : test::random_element<T>(Values::plain);
        Values v = rep == 2 ? Values::specials : Values::zeros;
        Strip<T> x(test::span(m, incx), off), y(test::span(n, incy), off);
        Strip<T> want(static_cast<std::size_t>(lda) * (n > 0 ? n : 1), off);
        x.fill(v);
        y.fill(v);
        want.fill(v);
        Strip<T> got(want);
        kernel(m, n, alpha, x.data(), incx, y.data(), incy, got.data(), lda);
        model(m, n, alpha, x.data(), incx, y.data(), incy, want.data(), lda);
        ASSERT_TRUE(got.same_as(want)) << name << " m=" << m << " n=" << n << " incx=" << incx
                                       << " incy=" << incy << " lda=" << lda;
      }
}

void sger(int m, int n, float alpha, const float *x, int incx, const float *y, int incy, float *a,
          int lda) {
  __f___zo_pp_sger_(&m, &n, &alpha, x, &incx, y, &incy, a, &lda);
}
void dger(int m, int n, double alpha, const double *x, int incx, const double *y, int incy,
          double *a, int lda) {
  __f___zo_pp_dger_(&m, &n, &alpha, x, &incx, y, &incy, a, &lda);
}

TEST_P(Level1Model, RankOneUpdate) {
  check_ger<float>("sger", sger, model::sger, true);
  check_ger<double>("dger", dger, model::dger, false);
}

// ---- The reference BLAS, on data without zeros ---------------------------

class Level1ReferenceBlas : public test::OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(Level1ReferenceBlas);

TEST_P(Level1ReferenceBlas, InOrderDotsMatch) {
  const test::ReferenceBlas *ref = test::reference_blas();
  if (!ref) GTEST_SKIP() << "reference BLAS not installed";
  for (int n : {1, 4, 5, 6, 10, 11, 99, 1000})
    for (int incx : {1, -1, 3})
      for (int incy : {1, -2}) {
        Strip<double> x(test::span(n, incx), 0), y(test::span(n, incy), 0);
        x.fill(Values::plain);
        y.fill(Values::plain);
        double want = ref->ddot(&n, x.data(), &incx, y.data(), &incy);
        EXPECT_TRUE(test::same_value(ddot_don(n, x.data(), incx, y.data(), incy), want))
            << "ddot_don n=" << n << " incx=" << incx << " incy=" << incy;
        Strip<c16> u(test::span(n, incx), 0), w(test::span(n, incy), 0);
        u.fill(Values::plain);
        w.fill(Values::plain);
        __complex__ double z = ref->zdotc(&n, u.data(), &incx, w.data(), &incy);
        c16 zwant = {__real__ z, __imag__ z};
        c16 zgot = complex_dot<c16, __f___zo_zdotc_, false>(n, u.data(), incx, w.data(), incy);
        EXPECT_TRUE(test::same_value(zgot, zwant)) << "zdotc n=" << n;
      }
}

TEST_P(Level1ReferenceBlas, ScalAndRankOneUpdateMatch) {
  const test::ReferenceBlas *ref = test::reference_blas();
  if (!ref) GTEST_SKIP() << "reference BLAS not installed";
  for (int m : {1, 3, 8, 37})
    for (int n : {1, 2, 5, 9}) {
      int incx = m % 2 ? -1 : 2, incy = n % 2 ? 3 : -1, lda = m + 1;
      double alpha = -0.75;
      Strip<double> x(test::span(m, incx), 0), y(test::span(n, incy), 0);
      Strip<double> got(static_cast<std::size_t>(lda) * n, 0);
      x.fill(Values::plain);
      y.fill(Values::plain);
      got.fill(Values::plain);
      Strip<double> want(got);
      dger(m, n, alpha, x.data(), incx, y.data(), incy, got.data(), lda);
      ref->dger(&m, &n, &alpha, x.data(), &incx, y.data(), &incy, want.data(), &lda);
      EXPECT_TRUE(got.same_as(want)) << "dger m=" << m << " n=" << n;
      int inc = 2, count = lda * n / 2;
      dscal(count, alpha, got.data(), inc);
      ref->dscal(&count, &alpha, want.data(), &inc);
      EXPECT_TRUE(got.same_as(want)) << "dscal n=" << count;
    }
}

} // namespace
} // namespace mox2
