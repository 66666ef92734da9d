// The level-1 kernels the library calls (the dot products of the
// DOT_PRODUCT fast path, the scaling and rank-one update of the GEMM
// kernels) against their model, bit for bit, on every kernel set: sizes
// around every unroll edge, increments +-1, +-3, 2 and 0, both alignments
// of data that may be 4 bytes off, special values.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "kernels/kernels.h"
#include "model/kernel_data.h"
#include "model/model_blas.h"
#include "support/isas.h"

namespace mox2 {
namespace {

using test::Strip;
using test::Values;
using i32 = std::int32_t;

const int kSizes[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 16, 17, 31, 32, 33, 100, 257};
const int kIncrements[] = {1, -1, 3, -3, 2, 0};

// Every dot kernel as (n, x, incx, y, incy) -> value; the complex ones
// write through a result address (4 bytes off for zdotc_don) that starts
// as NaN, so that every part must be written.
template <class T> using Dot = T (*)(int, const T *, int, const T *, int);
template <class T, T (*K)(const i32 *, const T *, const i32 *, const T *, const i32 *)>
T real_dot(int n, const T *x, int incx, const T *y, int incy) {
  return K(&n, x, &incx, y, &incy);
}
template <class C, void (*K)(C *, const i32 *, const C *, const i32 *, const C *, const i32 *),
          int kOff = 0>
C complex_dot(int n, const C *x, int incx, const C *y, int incy) {
  test::Buffer out(sizeof(C), kOff);
  store<C>(out.data(), test::splat<C>(std::numeric_limits<Part<C>>::quiet_NaN()));
  K(reinterpret_cast<C *>(out.data()), &n, x, &incx, y, &incy);
  return load<C>(out.data());
}
template <class T, bool kConjugate, bool kInOrder = false>
T model_dot(int n, const T *x, int incx, const T *y, int incy) {
  return model::dot(n, x, incx, y, incy, kConjugate, kInOrder);
}

template <class T>
void check_dot(const char *name, Dot<T> kernel, Dot<T> model, bool may_be_4_off) {
  for (int n : kSizes)
    for (int incx : kIncrements)
      for (int incy : kIncrements)
        for (int xoff = 0; xoff <= (may_be_4_off ? 4 : 0); xoff += 4)
          for (int yoff = 0; yoff <= (may_be_4_off ? 4 : 0); yoff += 4)
            for (Values v : {Values::plain, Values::specials}) {
              Strip<T> x(test::span(n, incx), xoff), y(test::span(n, incy), yoff);
              x.fill(v);
              y.fill(v);
              T got = kernel(n, x.data(), incx, y.data(), incy);
              T want = model(n, x.data(), incx, y.data(), incy);
              ASSERT_TRUE(test::same_elements(test::kCode<T>, &got, &want, 1))
                  << name << " n=" << n << " incx=" << incx << " incy=" << incy << " +" << xoff
                  << yoff;
            }
}

class Level1Model : public test::OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(Level1Model);

TEST_P(Level1Model, Dots) {
  check_dot<float>("sdot", real_dot<float, __f___zo_sdot_>, model_dot<float, false>, true);
  check_dot<double>("ddot", real_dot<double, __f___zo_ddot_>, model_dot<double, false>, false);
  check_dot<double>("ddot_don", real_dot<double, __f___zo_ddot_don_>,
                    model_dot<double, false, true>, true);
  check_dot<c8>("cdotc", complex_dot<c8, __f___zo_cdotc_>, model_dot<c8, true>, true);
  check_dot<c16>("zdotc", complex_dot<c16, __f___zo_zdotc_>, model_dot<c16, true>, false);
  check_dot<c16>("zdotc_don", complex_dot<c16, __f___zo_zdotc_don_, 4>, model_dot<c16, true>, true);
}

// Scaling (x by alpha, alpha 0 included: Inf and NaN become NaN) and the
// rank-one update.
template <class T>
void check_scal(void (*kernel)(const i32 *, const T *, T *, const i32 *), bool may_be_4_off,
                std::vector<T> alphas) {
  for (int n : kSizes)
    for (int inc : kIncrements)
      for (int off = 0; off <= (may_be_4_off ? 4 : 0); off += 4)
        for (T alpha : alphas) {
          Strip<T> want(test::span(n, inc), off);
          want.fill(Values::specials);
          Strip<T> got(want);
          kernel(&n, &alpha, got.data(), &inc);
          model::scal(n, alpha, want.data(), inc);
          ASSERT_TRUE(got.same_as(want))
              << "n=" << n << " inc=" << inc << " +" << off << " alpha=" << alpha;
        }
}

template <class T>
void check_ger(void (*kernel)(const i32 *, const i32 *, const T *, const T *, const i32 *,
                              const T *, const i32 *, T *, const i32 *),
               bool may_be_4_off) {
  const int sizes[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 17, 33, 70};
  for (int m : sizes)
    for (int n : sizes)
      for (int rep = 0; rep < 3; ++rep) {
        int incx = kIncrements[test::random_int(0, 3)], incy = kIncrements[test::random_int(0, 3)];
        int lda = (m > 0 ? m : 1) + test::random_int(0, 2);
        int off = may_be_4_off ? 4 * test::random_int(0, 1) : 0;
        T alpha = rep == 0 ? T(1) : rep == 1 ? T(0) : test::random_element<T>(Values::plain);
        Values v = rep == 2 ? Values::specials : Values::zeros;
        Strip<T> x(test::span(m, incx), off), y(test::span(n, incy), off);
        Strip<T> want(std::size_t(lda) * (n > 0 ? n : 1), off);
        x.fill(v);
        y.fill(v);
        want.fill(v);
        Strip<T> got(want);
        kernel(&m, &n, &alpha, x.data(), &incx, y.data(), &incy, got.data(), &lda);
        model::ger(m, n, alpha, x.data(), incx, y.data(), incy, want.data(), lda);
        ASSERT_TRUE(got.same_as(want))
            << "m=" << m << " n=" << n << " incx=" << incx << " incy=" << incy << " lda=" << lda;
      }
}

TEST_P(Level1Model, ScalAndRankOneUpdate) {
  check_scal<float>(__f___zo_sscal_, true, {0.0f, 1.0f, -1.0f, 0.375f, -0.0f});
  check_scal<double>(__f___zo_dscal_, false, {0.0, 1.0, -1.0, -2.625, -0.0});
  check_ger<float>(__f___zo_pp_sger_, true);
  check_ger<double>(__f___zo_pp_dger_, false);
}

} // namespace
} // namespace mox2
