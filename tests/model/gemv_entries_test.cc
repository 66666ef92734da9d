// The exported GEMV entry points against the model of the drivers composed
// with the model GEMV kernels, bit for bit, at T = 1 ... 16 threads: every
// element of y (and the guards around it) as the model's cut and kernel
// order give it, over shapes, increments, alignments and special values.
#include <omp.h>

#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "model/kernel_data.h"
#include "model/model_drivers.h"
#include "model/model_kernel_sets.h"
#include "runtime/parallel.h"
#include "support/failing_allocator.h"
#include "support/isas.h"

namespace mox2 {
namespace {

using test::Strip;
using test::Values;

constexpr std::int32_t kThreadCounts[] = {1, 2, 3, 4, 6, 8, 16};

template <class T>
using Entry = void (*)(const char *, const std::int32_t *, const std::int32_t *, const T *,
                       const T *, const std::int32_t *, const T *, const std::int32_t *, const T *,
                       T *, const std::int32_t *, std::size_t);

template <class T> T pick_scalar(int which) {
  switch (which) {
  case 0: return test::real_element<T>(0);
  case 1: return test::real_element<T>(1);
  case 2: return test::random_element<T>(Values::specials);
  default: return test::random_element<T>(Values::plain);
  }
}

struct GemvCase {
  char trans;
  std::int32_t m, n, lda, incx, incy;
  std::size_t offset;
  Values values;
};

template <class T>
void check_case(Entry<T> entry, model::GemvKernels<T> kernels, const GemvCase &c,
                std::int32_t threads, int alpha_kind, int beta_kind) {
  bool nt = (c.trans | 0x20) == 'n';
  std::int32_t lenx = nt ? c.n : c.m, leny = nt ? c.m : c.n;
  Strip<T> a(static_cast<std::size_t>(c.lda) * (c.n > 0 ? c.n : 1), c.offset);
  Strip<T> x(test::span(lenx, c.incx), c.offset), want(test::span(leny, c.incy), c.offset);
  a.fill(c.values);
  x.fill(c.values);
  want.fill(Values::specials);
  T alpha = pick_scalar<T>(alpha_kind), beta = pick_scalar<T>(beta_kind);
  Strip<T> got(want);
  omp_set_num_threads(threads);
  entry(&c.trans, &c.m, &c.n, &alpha, a.data(), &c.lda, x.data(), &c.incx, &beta, got.data(),
        &c.incy, 1);
  model::gemv<T>(kernels, threads, c.trans, c.m, c.n, alpha, a.data(), c.lda, x.data(), c.incx,
                 beta, want.data(), c.incy);
  ASSERT_TRUE(got.same_as(want)) << "T=" << threads << " trans=" << c.trans << " m=" << c.m
                                 << " n=" << c.n << " lda=" << c.lda << " incx=" << c.incx
                                 << " incy=" << c.incy << " alpha kind " << alpha_kind
                                 << " beta kind " << beta_kind;
}

template <class T> void check_entry(Entry<T> entry, model::GemvKernels<T> kernels) {
  int saved = omp_get_max_threads();
  // The worked shapes: M = 10 on 4 threads, N = 7 with INCY = -1 on 3.
  check_case<T>(entry, kernels, {'N', 10, 6, 10, 1, 1, 0, Values::plain}, 4, 3, 3);
  check_case<T>(entry, kernels, {'T', 5, 7, 5, 1, -1, 0, Values::plain}, 3, 3, 0);
  for (std::int32_t t : kThreadCounts)
    for (int trial = 0; trial < 40; ++trial) {
      GemvCase c;
      c.trans = "NnTtCc"[test::random_int(0, 5)];
      c.m = test::random_int(0, 3) == 0 ? test::random_int(0, 4) : test::random_int(1, 60);
      c.n = test::random_int(0, 3) == 0 ? test::random_int(0, 4) : test::random_int(1, 60);
      c.lda = (c.m > 1 ? c.m : 1) + test::random_int(0, 2);
      c.incx = test::random_int(1, 3) * (test::random_int(0, 3) == 0 ? -1 : 1);
      c.incy = test::random_int(1, 3) * (test::random_int(0, 3) == 0 ? -1 : 1);
      c.offset = sizeof(Part<T>) == 4 ? 4 * std::size_t(test::random_int(0, 1)) : 0;
      c.values = static_cast<Values>(test::random_int(0, 2));
      check_case<T>(entry, kernels, c, t, test::random_int(0, 3), test::random_int(0, 3));
      if (::testing::Test::HasFatalFailure()) return;
    }
  // Invalid arguments: the same zeroing as the model (INCY = 0 only y(1)).
  for (GemvCase c : {GemvCase{'x', 3, 5, 3, 1, 2, 0, Values::plain},
                     GemvCase{'N', 4, 3, 3, 1, 1, 0, Values::plain},
                     GemvCase{'T', 4, 3, 4, 0, 1, 0, Values::plain},
                     GemvCase{'T', 4, 3, 4, 1, 0, 0, Values::plain},
                     GemvCase{'c', -1, 3, 4, 1, 1, 0, Values::plain}})
    check_case<T>(entry, kernels, {c.trans, c.m, c.n, c.lda, c.incx, c.incy, 0, c.values}, 4, 3, 3);
  omp_set_num_threads(saved);
}

class GemvEntries : public test::OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(GemvEntries);
// Only data the 8-byte kernels may take: the entry points are called with
// 8-byte aligned REAL(8) and COMPLEX(16) data.
TEST_P(GemvEntries, Sgemv) { check_entry<float>(__f95_sgemv_, model::KernelSet<float>::gemv); }
TEST_P(GemvEntries, Dgemv) { check_entry<double>(__f95_dgemv_, model::KernelSet<double>::gemv); }
TEST_P(GemvEntries, Cgemv) { check_entry<c8>(__f95_cgemv_, model::KernelSet<c8>::gemv); }
TEST_P(GemvEntries, Zgemv) { check_entry<c16>(__f95_zgemv_, model::KernelSet<c16>::gemv); }

// This program sends every loop to a team.  Below the team threshold the
// blocks run on the calling thread instead, and the driver may then call
// the kernel once for the whole product where that gives the blocks' bits;
// where it does not (the COMPLEX(4) dot forms' lone leading columns of odd
// blocks), it must keep the blocks.
TEST_P(GemvEntries, SmallProductsOnTheCallingThreadGetTheBlocksBits) {
  const double saved = threaded_work();
  set_threaded_work(1e300);
  check_entry<float>(__f95_sgemv_, model::KernelSet<float>::gemv);
  check_entry<double>(__f95_dgemv_, model::KernelSet<double>::gemv);
  check_entry<c8>(__f95_cgemv_, model::KernelSet<c8>::gemv);
  check_entry<c16>(__f95_zgemv_, model::KernelSet<c16>::gemv);
  set_threaded_work(saved);
}

// Memory running out at each allocation a call makes in turn (on a thread
// of its own, so that its first use of workspace is among them): the bits
// it gives with memory, and the process goes on.
template <class T> void check_out_of_memory(Entry<T> entry) {
  const std::int32_t m = 300, n = 260, lda = 301, incx = 2, incy = -1;
  for (const char trans : {'N', 'T', 'C'}) {
    const bool nt = trans == 'N';
    Strip<T> a(std::size_t(lda) * n, 0), x(test::span(nt ? n : m, incx), 0);
    Strip<T> want(test::span(nt ? m : n, incy), 0);
    a.fill(Values::specials);
    x.fill(Values::zeros);
    want.fill(Values::plain);
    const T alpha = pick_scalar<T>(3), beta = pick_scalar<T>(3);
    Strip<T> got(want);
    omp_set_num_threads(2);
    entry(&trans, &m, &n, &alpha, a.data(), &lda, x.data(), &incx, &beta, want.data(), &incy, 1);
    long asked = 0;
    for (long successes = 0; successes == 0 || asked >= successes; ++successes) {
      Strip<T> y(got);
      test::on_new_thread_with_team(2, [&] {
        test::fail_allocations_after(successes);
        entry(&trans, &m, &n, &alpha, a.data(), &lda, x.data(), &incx, &beta, y.data(), &incy, 1);
        asked = test::allocations_asked();
        test::allow_allocations();
      });
      ASSERT_TRUE(y.same_as(want)) << trans << " successes " << successes;
    }
  }
}
TEST_P(GemvEntries, OutOfMemoryTheBitsAreTheSame) {
  const int saved = omp_get_max_threads();
  check_out_of_memory<float>(__f95_sgemv_);
  check_out_of_memory<double>(__f95_dgemv_);
  check_out_of_memory<c8>(__f95_cgemv_);
  check_out_of_memory<c16>(__f95_zgemv_);
  omp_set_num_threads(saved);
}

TEST_P(GemvEntries, ConcurrentCallersGetTheSerialBits) {
  const std::int32_t m = 300, n = 200, inc = 1;
  std::vector<double> a(std::size_t(m) * n), x(n);
  for (auto &v : a)
    v = test::random_element<double>(Values::specials);
  for (auto &v : x)
    v = test::random_element<double>(Values::zeros);
  double alpha = 1.25, beta = 0;
  std::vector<double> want(m);
  omp_set_num_threads(1);
  __f95_dgemv_("N", &m, &n, &alpha, a.data(), &m, x.data(), &inc, &beta, want.data(), &inc, 1);
  omp_set_num_threads(2);
  std::vector<std::vector<double>> got(4, std::vector<double>(m, 9.0));
  std::vector<std::thread> callers;
  for (auto &g : got)
    callers.emplace_back([&, y = g.data()] {
      for (int r = 0; r < 20; ++r)
        __f95_dgemv_("N", &m, &n, &alpha, a.data(), &m, x.data(), &inc, &beta, y, &inc, 1);
    });
  for (auto &t : callers)
    t.join();
  for (auto &g : got)
    EXPECT_TRUE(test::same_elements<double>(g.data(), want.data(), m));
}

} // namespace
} // namespace mox2
