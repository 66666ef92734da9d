// GEMV against the model, bit for bit (any two NaNs equal): the exported
// entry points at T = 1 and at 2 to 16 threads (the model of the drivers
// over the model kernels; every other case too small to repay helpers) and
// the alignment-safe kernels (data and scalars 4 bytes off), as
// model/blas_cases.h runs a case.  Sizes around the column pairs and the
// unrolling, every letter in both cases, increments +-1 and +-3, lda above
// the minimum, alpha and beta in {0, 1, -1, i or 1/4, two others, a
// special, a random value}.  (Invalid arguments: the fuzzer.)  Then the
// reference BLAS where the orders coincide.
#include <omp.h>

#include <vector>

#include <gtest/gtest.h>

#include "model/blas_cases.h"
#include "runtime/parallel.h"
#include "support/isas.h"
#include "support/reference_blas.h"

namespace mox2 {
namespace {

using namespace test;
using Case = GemvCase;

template <class T> void run_case(const Case &c, bool safe_too = true) {
  static int count = 0;
  if (::testing::Test::HasFailure()) return;
  set_threaded_work(++count % 2 ? 0 : 1e300);
  for (int t : {c.threads ? c.threads : 1, c.threads ? 0 : 2 + count % 3})
    if (t) {
      EXPECT_TRUE(run_gemv<T>(false, c, t));
    }
  if (safe_too && Kernels<T>::safe) {
    EXPECT_TRUE(run_gemv<T>(true, c, 1));
  }
}

template <class T> void sweep() {
  test::Team team;
  const int sizes[] = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 33};
  for (int m : sizes)
    for (int n : sizes)
      for (char trans : {'N', 'n', 'T', 't', 'C', 'c'})
        run_case<T>(random_gemv_case(trans, m, n));
  for (int alpha = 0; alpha < 8; ++alpha)
    for (int beta = 0; beta < 8; ++beta)
      for (char trans : {'N', 'T', 'C'})
        for (auto [m, n] : {std::pair{7, 5}, std::pair{4, 10}}) {
          Case c = random_gemv_case(trans, m, n);
          c.alpha = alpha, c.beta = beta;
          run_case<T>(c);
        }
  // A few in the hundreds: 1100 rows cross the chunking of a strided y;
  // 40 and 47 columns end in passes of fewer than sixteen.
  for (auto [m, n] : {std::pair{100, 131}, std::pair{257, 64}, std::pair{61, 300},
                      std::pair{1100, 7}, std::pair{19, 47}, std::pair{600, 40}})
    for (char trans : {'N', 't', 'c'}) {
      Case c = random_gemv_case(trans, m, n);
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
      Case c = random_gemv_case("NnTtCc"[random_int(0, 5)], dim(), dim());
      c.threads = t;
      run_case<T>(c, false);
    }
}

class GemvModel : public test::OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(GemvModel);
TEST_P(GemvModel, Real4) { sweep<float>(); }
TEST_P(GemvModel, Real8) { sweep<double>(); }
TEST_P(GemvModel, Complex4) { sweep<c8>(); }
TEST_P(GemvModel, Complex8) { sweep<c16>(); }

// The reference BLAS, on data without zeros, where the orders coincide.
template <class T>
void against_reference(Gemv<T> ours, Gemv<T> reference, std::vector<char> letters) {
  const i32 one = 1;
  for (auto [m, n] : {std::pair{1, 1}, std::pair{7, 5}, std::pair{33, 64}, std::pair{200, 3}})
    for (char trans : letters)
      for (i32 incx : {1, -2})
        for (i32 incy : {1, -1, 3}) {
          const i32 lda = m + 3, len = std::max(m, n);
          Strip<T> a(std::size_t(lda) * n, 0), x(span(len, incx), 0);
          Strip<T> got(span(len, incy), 0);
          a.fill(Values::plain);
          x.fill(Values::plain);
          got.fill(Values::plain);
          Strip<T> want(got);
          const T alpha = scalar<T>(5), beta = scalar<T>(4);
          omp_set_num_threads(one);
          ours(&trans, &m, &n, &alpha, a.data(), &lda, x.data(), &incx, &beta, got.data(), &incy,
               1);
          reference(&trans, &m, &n, &alpha, a.data(), &lda, x.data(), &incx, &beta, want.data(),
                    &incy, 1);
          EXPECT_TRUE(got.same_as(want)) << trans << " m=" << m << " n=" << n;
        }
}

TEST_P(GemvModel, ReferenceBlasWhereTheOrderIsOurs) {
  auto sgemv = reference_blas<Gemv<float>>("sgemv_");
  auto dgemv = reference_blas<Gemv<double>>("dgemv_");
  auto zgemv = reference_blas<Gemv<c16>>("zgemv_");
  if (!sgemv || !dgemv || !zgemv) GTEST_SKIP() << "reference BLAS not installed";
  test::Team team;
  against_reference<double>(__f95_dgemv_, dgemv, {'N', 'T'});
  against_reference<double>(__f___zo_dgemv_don_, dgemv, {'N', 'T', 'C'});
  against_reference<float>(__f95_sgemv_, sgemv, {'N', 'T'});
  against_reference<c16>(__f95_zgemv_, zgemv, {'N', 'T', 'C'});
  against_reference<c16>(__f___zo_zgemv_don_, zgemv, {'N', 'T', 'C'});
}

} // namespace
} // namespace mox2
