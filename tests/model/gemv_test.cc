// The GEMV kernels against their model, bit for bit: every option letter
// in both cases (and letters the kernels take as "other"), sizes around
// the column pairs and the unrolling, increments +-1 and +-3, lda above
// the minimum, alpha and beta in {0, 1, -1, (0, 1), random}, zero x
// elements facing NaN and Inf columns, NaN in y where beta = 0 must
// discard it, 4-byte-off data for the alignment-safe kernels, and their
// validation.  Then against the reference BLAS where the orders coincide.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "kernels/kernels.h"
#include "model/kernel_data.h"
#include "model/model_gemv.h"
#include "support/isas.h"
#include "support/reference_blas.h"

namespace mox2 {
namespace {

using test::Strip;
using test::Values;
using i32 = std::int32_t;

template <class T>
using GemvFn = void (*)(char, int, int, T, const T *, int, const T *, int, T, T *, int);
template <class T>
using GemvKernel = void (*)(const char *, const i32 *, const i32 *, const T *, const T *,
                            const i32 *, const T *, const i32 *, const T *, T *, const i32 *,
                            std::size_t);

// A kernel called as the model is; the alignment-safe kernels get their
// scalars 4 bytes off 8-byte alignment too.
template <class T, GemvKernel<T> K, bool kScalars4Off>
void call(char trans, int m, int n, T alpha, const T *a, int lda, const T *x, int incx, T beta,
          T *y, int incy) {
  test::Buffer scalars(2 * sizeof(T), kScalars4Off ? 4 : 0);
  T *al = reinterpret_cast<T *>(scalars.data());
  store<T>(al, alpha);
  store<T>(al + 1, beta);
  K(&trans, &m, &n, al, a, &lda, x, &incx, al + 1, y, &incy, 1);
}

template <class T> struct GemvCase {
  char trans;
  int m, n, lda, incx, incy;
  T alpha, beta;
  Values values;
  int offset; // bytes off 8-byte alignment of every operand
};

template <class T> std::ostream &operator<<(std::ostream &o, const GemvCase<T> &c) {
  return o << "trans=" << c.trans << " m=" << c.m << " n=" << c.n << " lda=" << c.lda
           << " incx=" << c.incx << " incy=" << c.incy << " alpha=" << test::show(c.alpha)
           << " beta=" << test::show(c.beta) << " values=" << static_cast<int>(c.values) << " +"
           << c.offset;
}

// Runs one case through kernel and model on identical data and compares
// all of y, guards included.
template <class T>
::testing::AssertionResult same_as_model(GemvFn<T> kernel, GemvFn<T> model, const GemvCase<T> &c) {
  int len = std::max({c.m, c.n, 0});
  Strip<T> a(static_cast<std::size_t>(std::max(c.lda, 1)) * std::max(c.n, 1), c.offset);
  Strip<T> x(test::span(len, c.incx), c.offset), want(test::span(len, c.incy), c.offset);
  a.fill(c.values);
  x.fill(c.values);
  want.fill(c.values);
  if (c.values == Values::zeros) {
    // Columns of A facing a zero x element hold NaN and Inf: only the
    // skip keeps them out of y.
    auto nan = test::special_part<Part<T>>();
    for (int j = 0; j < c.n && j < len; ++j)
      if (is_zero(x.get(static_cast<std::size_t>(j) * std::abs(c.incx))))
        for (int i = 0; i < c.m; i += 2)
          a.set(static_cast<std::size_t>(j) * c.lda + i, test::splat<T>(nan));
  }
  if (is_zero(c.beta)) {
    // beta = 0 must discard y without reading it.
    for (std::size_t i = 0; i < test::span(len, c.incy); ++i)
      want.set(i, test::splat<T>(std::numeric_limits<Part<T>>::quiet_NaN()));
  }
  Strip<T> got(want);
  kernel(c.trans, c.m, c.n, c.alpha, a.data(), c.lda, x.data(), c.incx, c.beta, got.data(), c.incy);
  model(c.trans, c.m, c.n, c.alpha, a.data(), c.lda, x.data(), c.incx, c.beta, want.data(), c.incy);
  auto r = got.same_as(want);
  if (!r) r << " for " << c;
  return r;
}

template <class T> T pick(const std::vector<T> &v) {
  return v[test::random_int(0, static_cast<int>(v.size()) - 1)];
}

template <class T> struct Scalars;
template <> struct Scalars<float> {
  static std::vector<float> list() { return {0.0f, 1.0f, -1.0f, 0.625f, -1.875f}; }
};
template <> struct Scalars<double> {
  static std::vector<double> list() { return {0.0, 1.0, -1.0, 0.8125, -1.4375}; }
};
template <class P> struct Scalars<Complex<P>> {
  static std::vector<Complex<P>> list() {
    return {{0, 0}, {1, 0}, {-1, 0}, {0, 1}, {0.75, -1.5}, {-1.25, 0.5}};
  }
};

const char kLetters[] = {'N', 'n', 'T', 't', 'C', 'c', 'X'};

template <class T>
void check_gemv(const char *name, GemvFn<T> kernel, GemvFn<T> model, bool may_be_4_off) {
  SCOPED_TRACE(name);
  std::vector<int> offsets = {0};
  if (may_be_4_off) offsets.push_back(4);
  const std::vector<int> incs = {1, -1, 3, -3};
  const std::vector<Values> values = {Values::plain, Values::specials, Values::zeros};
  const std::vector<T> scalars = Scalars<T>::list();
  auto random_case = [&](char trans, int m, int n) {
    GemvCase<T> c{trans,
                  m,
                  n,
                  std::max(m, 1) + test::random_int(0, 2),
                  pick(incs),
                  pick(incs),
                  pick(scalars),
                  pick(scalars),
                  pick(values),
                  pick(offsets)};
    return c;
  };
  const int sizes[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 33};
  for (int m : sizes)
    for (int n : sizes)
      for (char trans : kLetters)
        for (int rep = 0; rep < 2; ++rep)
          ASSERT_TRUE(same_as_model(kernel, model, random_case(trans, m, n)));
  // Every alpha with every beta.
  for (T alpha : scalars)
    for (T beta : scalars)
      for (char trans : {'N', 'T', 'C'})
        for (auto [m, n] : {std::pair{7, 5}, std::pair{4, 10}}) {
          GemvCase<T> c = random_case(trans, m, n);
          c.alpha = alpha;
          c.beta = beta;
          ASSERT_TRUE(same_as_model(kernel, model, c));
        }
  // A few in the hundreds; 1100 rows cross the chunking of a strided y;
  // 40 and 47 columns end in passes of fewer than sixteen.
  for (auto [m, n] : {std::pair{100, 131}, std::pair{257, 64}, std::pair{61, 300},
                      std::pair{1100, 7}, std::pair{19, 47}, std::pair{600, 40}})
    for (char trans : {'N', 't', 'c'}) {
      GemvCase<T> c = random_case(trans, m, n);
      c.alpha = scalars.back();
      if (m > 1000) c.incy = -3;
      ASSERT_TRUE(same_as_model(kernel, model, c));
    }
}

// Every kernel set this CPU has computes the same bits.
class GemvModel : public test::OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(GemvModel);

TEST_P(GemvModel, Sgemv) {
  check_gemv<float>("sgemv", call<float, __f___zo_pp_sgemv_, false>, model::sgemv, true);
}
TEST_P(GemvModel, Dgemv) {
  check_gemv<double>("dgemv", call<double, __f___zo_pp_dgemv_, false>, model::dgemv, false);
}
TEST_P(GemvModel, Cgemv) {
  check_gemv<c8>("cgemv", call<c8, __f___zo_pp_cgemv_, false>, model::cgemv, true);
}
TEST_P(GemvModel, Zgemv) {
  check_gemv<c16>("zgemv", call<c16, __f___zo_pp_zgemv_, false>, model::zgemv, false);
}
TEST_P(GemvModel, DgemvDon) {
  check_gemv<double>("dgemv_don", call<double, __f___zo_dgemv_don_, true>, model::dgemv_don, true);
}
TEST_P(GemvModel, ZgemvDon) {
  check_gemv<c16>("zgemv_don", call<c16, __f___zo_zgemv_don_, true>, model::zgemv_don, true);
}

// Invalid arguments of the alignment-safe kernels: exactly y(1..leny),
// contiguous, becomes zero (only y(1) for incy = 0); nothing else moves.
template <class T> void check_validation(GemvFn<T> kernel, GemvFn<T> model) {
  struct Bad {
    char trans;
    int m, n, lda, incx, incy, zeroed;
  };
  const Bad cases[] = {
      {'N', 5, 3, 4, 1, 1, 5},  // lda = m - 1
      {'T', 5, 3, 4, 1, 2, 3},  // lda = m - 1, leny = n, contiguous despite incy
      {'c', 2, 6, 1, 1, -1, 6}, // lda = m - 1
      {'N', 4, 3, 4, 0, 1, 4},  // incx = 0
      {'t', 4, 3, 4, 1, 0, 1},  // incy = 0: y(1) alone
      {'X', 4, 7, 4, 1, 1, 4},  // bad letter: leny = m
      {' ', 3, 2, 3, 1, 1, 3},  // bad letter
      {'N', -1, 3, 1, 1, 1, 0}, // m < 0: nothing
      {'T', 3, -2, 3, 1, 1, 0}, // n < 0: nothing
      {'N', 0, 3, 0, 1, 1, 0},  // lda < 1
  };
  for (const Bad &b : cases)
    for (int off : {0, 4}) {
      Strip<T> a(64, off), x(16, off), got(16, off);
      a.fill(Values::plain);
      x.fill(Values::plain);
      got.fill(Values::plain);
      Strip<T> before(got), want(got);
      T one = test::real_element<T>(1);
      kernel(b.trans, b.m, b.n, one, a.data(), b.lda, x.data(), b.incx, one, got.data(), b.incy);
      model(b.trans, b.m, b.n, one, a.data(), b.lda, x.data(), b.incx, one, want.data(), b.incy);
      EXPECT_TRUE(got.same_as(want)) << b.trans << " m=" << b.m << " n=" << b.n;
      for (int i = -4; i < 20; ++i) {
        T expected = i >= 0 && i < b.zeroed ? T{} : before.get(i);
        EXPECT_TRUE(test::same_value(got.get(i), expected))
            << b.trans << " m=" << b.m << " n=" << b.n << " element " << i;
      }
    }
}

TEST_P(GemvModel, AlignmentSafeKernelsZeroYOnInvalidArguments) {
  check_validation<double>(call<double, __f___zo_dgemv_don_, true>, model::dgemv_don);
  check_validation<c16>(call<c16, __f___zo_zgemv_don_, true>, model::zgemv_don);
}

// Quick returns read nothing: null operands must not be touched.
template <class T, GemvKernel<T> K> void check_reads_nothing() {
  const i32 m = 5, n = 4, lda = 5, one = 1;
  const T zero = T{}, unit = test::real_element<T>(1);
  for (char trans : {'N', 'T'}) {
    K(&trans, &m, &n, &zero, nullptr, &lda, nullptr, &one, &unit, nullptr, &one, 1);
    // alpha = 0, beta = 0: y set to zero, A and x not read, NaN discarded.
    T y[5];
    for (T &v : y)
      v = test::splat<T>(std::numeric_limits<Part<T>>::quiet_NaN());
    K(&trans, &m, &n, &zero, nullptr, &lda, nullptr, &one, &zero, y, &one, 1);
    for (int i = 0; i < (trans == 'N' ? m : n); ++i)
      EXPECT_TRUE(test::same_value(y[i], zero));
    // m = 0 or n = 0: nothing, even with beta = 0.
    const i32 none = 0;
    K(&trans, &none, &n, &unit, nullptr, &lda, nullptr, &one, &zero, nullptr, &one, 1);
    K(&trans, &m, &none, &unit, nullptr, &lda, nullptr, &one, &zero, nullptr, &one, 1);
  }
}

TEST_P(GemvModel, QuickReturnsReadNothing) {
  check_reads_nothing<float, __f___zo_pp_sgemv_>();
  check_reads_nothing<double, __f___zo_pp_dgemv_>();
  check_reads_nothing<c8, __f___zo_pp_cgemv_>();
  check_reads_nothing<c16, __f___zo_pp_zgemv_>();
  check_reads_nothing<double, __f___zo_dgemv_don_>();
  check_reads_nothing<c16, __f___zo_zgemv_don_>();
}

// The pairs of the complex kernels skip no zero: a NaN column facing a
// zero x element reaches y unless it is the lone leading column of an odd
// n.  By hand, independent of the model.
TEST_P(GemvModel, ComplexPairsSkipNoZero) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int n : {2, 3}) {
    std::vector<c16> a(static_cast<std::size_t>(2 * n), c16{1, 0});
    std::vector<c16> x(n, c16{1, 0});
    x[0] = {0, 0};
    a[0] = {nan, 0};
    c16 y[2] = {{0, 0}, {0, 0}};
    const i32 m = 2, nn = n, one = 1;
    const c16 alpha{1, 0}, beta{1, 0};
    __f___zo_pp_zgemv_("N", &m, &nn, &alpha, a.data(), &m, x.data(), &one, &beta, y, &one, 1);
    EXPECT_EQ(y[0].re != y[0].re, n == 2) << "n=" << n; // odd n: column 1 alone, skipped
    c16 yd[2] = {{0, 0}, {0, 0}};
    __f___zo_zgemv_don_("N", &m, &nn, &alpha, a.data(), &m, x.data(), &one, &beta, yd, &one, 1);
    EXPECT_FALSE(yd[0].re != yd[0].re) << "n=" << n;
  }
}

// ---- The reference BLAS, on data without zeros ---------------------------

class GemvReferenceBlas : public test::OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(GemvReferenceBlas);

template <class T, class R>
void check_against_reference(GemvFn<T> ours, R reference, std::vector<char> letters) {
  for (auto [m, n] : {std::pair{1, 1}, std::pair{7, 5}, std::pair{33, 64}, std::pair{200, 3}})
    for (char trans : letters)
      for (int incx : {1, -2})
        for (int incy : {1, -1, 3}) {
          int lda = m + 3, len = std::max(m, n);
          Strip<T> a(static_cast<std::size_t>(lda) * n, 0), x(test::span(len, incx), 0);
          Strip<T> got(test::span(len, incy), 0);
          a.fill(Values::plain);
          x.fill(Values::plain);
          got.fill(Values::plain);
          Strip<T> want(got);
          T alpha = Scalars<T>::list().back(), beta = Scalars<T>::list()[4];
          ours(trans, m, n, alpha, a.data(), lda, x.data(), incx, beta, got.data(), incy);
          reference(&trans, &m, &n, &alpha, a.data(), &lda, x.data(), &incx, &beta, want.data(),
                    &incy, 1);
          EXPECT_TRUE(got.same_as(want)) << trans << " m=" << m << " n=" << n;
        }
}

TEST_P(GemvReferenceBlas, SameOrderSameBits) {
  const test::ReferenceBlas *ref = test::reference_blas();
  if (!ref) GTEST_SKIP() << "reference BLAS not installed";
  check_against_reference<double>(call<double, __f___zo_pp_dgemv_, false>, ref->dgemv, {'N', 'T'});
  check_against_reference<double>(call<double, __f___zo_dgemv_don_, true>, ref->dgemv,
                                  {'N', 'T', 'C'});
  check_against_reference<float>(call<float, __f___zo_pp_sgemv_, false>, ref->sgemv, {'N', 'T'});
  check_against_reference<c16>(call<c16, __f___zo_pp_zgemv_, false>, ref->zgemv, {'N', 'T', 'C'});
  check_against_reference<c16>(call<c16, __f___zo_zgemv_don_, true>, ref->zgemv, {'N', 'T', 'C'});
}

} // namespace
} // namespace mox2
