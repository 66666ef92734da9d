// GEMV against the model, bit for bit (any two NaNs equal): the exported
// entry points at T = 1 and at 2 to 16 threads (the model of the drivers
// over the model kernels; every other case too small to repay helpers) and
// the alignment-safe kernels (data and scalars 4 bytes off, and their
// validation).  Sizes around the column pairs and the unrolling, every
// letter in both cases, increments +-1 and +-3, lda above the minimum,
// alpha and beta in {0, 1, -1, i or 1/4, two others, a special, a random
// value}, zero x elements facing NaN and Inf columns, NaN in y where
// beta = 0 must discard it, y compared whole with guard elements.  Then
// the reference BLAS where the orders coincide.
#include <omp.h>

#include <algorithm>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "model/kernel_data.h"
#include "model/model_kernel_sets.h"
#include "runtime/parallel.h"
#include "support/isas.h"
#include "support/reference_blas.h"

namespace mox2 {
namespace {

using test::random_int;
using test::Strip;
using test::Values;
using i32 = std::int32_t;
template <class T>
using Gemv = void (*)(const char *, const i32 *, const i32 *, const T *, const T *, const i32 *,
                      const T *, const i32 *, const T *, T *, const i32 *, std::size_t);

template <class T> struct Kernels;
template <> struct Kernels<float> {
  static constexpr Gemv<float> entry = __f95_sgemv_, safe = nullptr;
};
template <> struct Kernels<double> {
  static constexpr Gemv<double> entry = __f95_dgemv_, safe = __f___zo_dgemv_don_;
};
template <> struct Kernels<c8> { static constexpr Gemv<c8> entry = __f95_cgemv_, safe = nullptr; };
template <> struct Kernels<c16> {
  static constexpr Gemv<c16> entry = __f95_zgemv_, safe = __f___zo_zgemv_don_;
};

struct Case {
  char trans;
  int m, n, lda, incx, incy;
  int alpha = 7, beta = 7;
  Values values = Values::plain;
  int threads = 0; // entry: 0 for T = 1 and then 2, 3 or 4
};

Case random_case(char trans, int m, int n) {
  const int incs[] = {1, -1, 3, -3};
  Case c{};
  c.trans = trans, c.m = m, c.n = n, c.lda = std::max(m, 1) + random_int(0, 2);
  c.incx = incs[random_int(0, 3)], c.incy = incs[random_int(0, 3)];
  c.alpha = random_int(0, 7), c.beta = random_int(0, 7);
  c.values = static_cast<Values>(random_int(0, 2));
  return c;
}

template <class T>::testing::AssertionResult run(bool safe, const Case &c, int threads) {
  const int len = std::max({c.m, c.n, 0});
  const int off = safe || (sizeof(Part<T>) == 4 && random_int(0, 1)) ? 4 : 0;
  Strip<T> a(std::size_t(std::max(c.lda, 1)) * std::max(c.n, 1), off);
  Strip<T> x(test::span(len, c.incx), off), want(test::span(len, c.incy), off);
  a.fill(c.values);
  x.fill(c.values);
  want.fill(c.values);
  if (c.values == Values::zeros)
    // Columns of A facing a zero x element hold NaN and Inf: only the
    // zero skip keeps them out of y.
    for (int j = 0; j < std::min(c.n, len); ++j)
      if (is_zero(x.get(std::size_t(j) * std::abs(c.incx))))
        for (int i = 0; i < c.m; i += 2)
          a.set(std::size_t(j) * c.lda + i, test::splat<T>(test::special_part<Part<T>>()));
  const T alpha = test::scalar<T>(c.alpha), beta = test::scalar<T>(c.beta);
  if (is_zero(beta))
    for (std::size_t i = 0; i < test::span(len, c.incy); ++i)
      want.set(i, test::splat<T>(std::numeric_limits<Part<T>>::quiet_NaN()));
  Strip<T> got(want);
  if (!safe) {
    omp_set_num_threads(threads);
    Kernels<T>::entry(&c.trans, &c.m, &c.n, &alpha, a.data(), &c.lda, x.data(), &c.incx, &beta,
                      got.data(), &c.incy, 1);
    model::gemv<T>(model::KernelSet<T>::gemv, threads, c.trans, c.m, c.n, alpha, a.data(), c.lda,
                   x.data(), c.incx, beta, want.data(), c.incy);
  } else if (Kernels<T>::safe != nullptr) {
    test::Buffer scalars(2 * sizeof(T), 4);
    store<T>(scalars.data(), alpha);
    store<T>(scalars.data() + sizeof(T), beta);
    Kernels<T>::safe(&c.trans, &c.m, &c.n, scalars.as<T>(), a.data(), &c.lda, x.data(), &c.incx,
                     scalars.as<T>() + 1, got.data(), &c.incy, 1);
    model::gemv_safe(c.trans, c.m, c.n, alpha, a.data(), c.lda, x.data(), c.incx, beta, want.data(),
                     c.incy);
  }
  auto r = got.same_as(want);
  if (!r)
    r << (safe ? " alignment-safe kernel" : " entry point") << " T=" << threads << " " << c.trans
      << " m=" << c.m << " n=" << c.n << " lda=" << c.lda << " incx=" << c.incx
      << " incy=" << c.incy << " alpha " << c.alpha << " beta " << c.beta << " values "
      << int(c.values);
  return r;
}

template <class T> void run_case(const Case &c, bool safe_too = true) {
  static int count = 0;
  if (::testing::Test::HasFailure()) return;
  ++count;
  const double saved_work = threaded_work();
  set_threaded_work(count % 2 ? 0 : 1e300);
  for (int t : {c.threads ? c.threads : 1, c.threads ? 0 : 2 + count % 3}) {
    if (t) {
      EXPECT_TRUE(run<T>(false, c, t));
    }
  }
  if (safe_too && Kernels<T>::safe) {
    EXPECT_TRUE(run<T>(true, c, 1));
  }
  set_threaded_work(saved_work);
}

template <class T> void sweep() {
  const int saved_threads = omp_get_max_threads();
  const int sizes[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 33};
  for (int m : sizes)
    for (int n : sizes)
      for (char trans : {'N', 'n', 'T', 't', 'C', 'c'})
        run_case<T>(random_case(trans, m, n));
  for (int alpha = 0; alpha < 8; ++alpha)
    for (int beta = 0; beta < 8; ++beta)
      for (char trans : {'N', 'T', 'C'})
        for (auto [m, n] : {std::pair{7, 5}, std::pair{4, 10}}) {
          Case c = random_case(trans, m, n);
          c.alpha = alpha, c.beta = beta;
          run_case<T>(c);
        }
  // A few in the hundreds: 1100 rows cross the chunking of a strided y;
  // 40 and 47 columns end in passes of fewer than sixteen.
  for (auto [m, n] : {std::pair{100, 131}, std::pair{257, 64}, std::pair{61, 300},
                      std::pair{1100, 7}, std::pair{19, 47}, std::pair{600, 40}})
    for (char trans : {'N', 't', 'c'}) {
      Case c = random_case(trans, m, n);
      c.alpha = 5;
      if (m > 1000) c.incy = -3;
      run_case<T>(c);
    }
  // The drivers' cut on 1 to 16 threads: the worked shapes (M = 10 on 4
  // threads, N = 7 with INCY = -1 on 3), then random ones.
  Case worked[] = {{'N', 10, 6, 10, 1, 1}, {'T', 5, 7, 5, 1, -1}};
  worked[0].threads = 4, worked[1].threads = 3;
  for (const Case &c : worked)
    run_case<T>(c, false);
  for (int t : {1, 2, 3, 4, 6, 8, 16})
    for (int rep = 0; rep < 20; ++rep) {
      auto dim = [] { return random_int(0, 3) == 0 ? random_int(0, 4) : random_int(1, 60); };
      Case c = random_case("NnTtCc"[random_int(0, 5)], dim(), dim());
      c.threads = t;
      run_case<T>(c, false);
    }
  // Invalid arguments: y(1..len) zeroed as contiguous elements (y(1) alone
  // for incy = 0), nothing else written.
  for (Case c : {Case{'N', 5, 3, 4, 1, 1}, Case{'T', 5, 3, 4, 1, 2}, Case{'c', 2, 6, 1, 1, -1},
                 Case{'N', 4, 3, 4, 0, 1}, Case{'t', 4, 3, 4, 1, 0}, Case{'X', 4, 7, 4, 1, 1},
                 Case{' ', 3, 2, 3, 1, 2}, Case{'N', -1, 3, 1, 1, 1}, Case{'T', 3, -2, 3, 1, 1},
                 Case{'N', 0, 3, 0, 1, 1}}) {
    c.threads = 4;
    run_case<T>(c);
  }
  omp_set_num_threads(saved_threads);
}

class GemvModel : public test::OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(GemvModel);
TEST_P(GemvModel, Real4) { sweep<float>(); }
TEST_P(GemvModel, Real8) { sweep<double>(); }
TEST_P(GemvModel, Complex4) { sweep<c8>(); }
TEST_P(GemvModel, Complex8) { sweep<c16>(); }

// The reference BLAS, on data without zeros, where the orders coincide.
template <class T, class R>
void against_reference(Gemv<T> ours, R reference, std::vector<char> letters) {
  const i32 one = 1;
  for (auto [m, n] : {std::pair{1, 1}, std::pair{7, 5}, std::pair{33, 64}, std::pair{200, 3}})
    for (char trans : letters)
      for (i32 incx : {1, -2})
        for (i32 incy : {1, -1, 3}) {
          const i32 lda = m + 3, len = std::max(m, n);
          Strip<T> a(std::size_t(lda) * n, 0), x(test::span(len, incx), 0);
          Strip<T> got(test::span(len, incy), 0);
          a.fill(Values::plain);
          x.fill(Values::plain);
          got.fill(Values::plain);
          Strip<T> want(got);
          const T alpha = test::scalar<T>(5), beta = test::scalar<T>(4);
          omp_set_num_threads(one);
          ours(&trans, &m, &n, &alpha, a.data(), &lda, x.data(), &incx, &beta, got.data(), &incy,
               1);
          reference(&trans, &m, &n, &alpha, a.data(), &lda, x.data(), &incx, &beta, want.data(),
                    &incy, 1);
          EXPECT_TRUE(got.same_as(want)) << trans << " m=" << m << " n=" << n;
        }
}

TEST_P(GemvModel, ReferenceBlasWhereTheOrderIsOurs) {
  const test::ReferenceBlas *ref = test::reference_blas();
  if (!ref) GTEST_SKIP() << "reference BLAS not installed";
  const int saved = omp_get_max_threads();
  against_reference<double>(__f95_dgemv_, ref->dgemv, {'N', 'T'});
  against_reference<double>(__f___zo_dgemv_don_, ref->dgemv, {'N', 'T', 'C'});
  against_reference<float>(__f95_sgemv_, ref->sgemv, {'N', 'T'});
  against_reference<c16>(__f95_zgemv_, ref->zgemv, {'N', 'T', 'C'});
  against_reference<c16>(__f___zo_zgemv_don_, ref->zgemv, {'N', 'T', 'C'});
  omp_set_num_threads(saved);
}

} // namespace
} // namespace mox2
