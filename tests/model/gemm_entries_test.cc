// The exported GEMM entry points against the model of the drivers composed
// with the model GEMM, thin-product and scal kernels, bit for bit, at
// T = 1 ... 16 threads: the cut decides which kernel computes which element
// of C, so every shape class is visited (thin row and column strips, the
// mesh, tall and wide meshes, the serial fall-backs, the worked examples),
// with guards around C, special values, and every scalar class.
#include <omp.h>
#include <sys/mman.h>

#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "model/kernel_data.h"
#include "model/model_kernel_sets.h"
#include "runtime/parallel.h"
#include "runtime/scratch.h"
#include "support/failing_allocator.h"
#include "support/isas.h"

namespace mox2 {
namespace {

using test::Strip;
using test::Values;

constexpr std::int32_t kThreadCounts[] = {1, 2, 3, 4, 6, 8, 16};

template <class T>
using Entry = void (*)(const char *, const char *, const std::int32_t *, const std::int32_t *,
                       const std::int32_t *, const T *, const T *, const std::int32_t *, const T *,
                       const std::int32_t *, const T *, T *, const std::int32_t *, std::size_t,
                       std::size_t);

template <class T> T pick_scalar(int which) {
  switch (which) {
  case 0: return test::real_element<T>(0);
  case 1: return test::real_element<T>(1);
  case 2: return test::random_element<T>(Values::specials);
  default: return test::random_element<T>(Values::plain);
  }
}

struct GemmCase {
  char ta, tb;
  std::int32_t m, n, k, lda, ldb, ldc;
  std::size_t offset;
  Values values;
};

// `successes` >= 0: the entry point runs on a new thread, with every
// allocation after the first `successes` failing; `asked` receives the
// allocations it made.
template <class T>
::testing::AssertionResult check_case(Entry<T> entry, const GemmCase &c, std::int32_t threads,
                                      int alpha_kind, int beta_kind, long successes = -1,
                                      long *asked = nullptr) {
  bool ant = (c.ta | 0x20) == 'n', bnt = (c.tb | 0x20) == 'n';
  std::int32_t acols = ant ? c.k : c.m, bcols = bnt ? c.n : c.k;
  auto cells = [](std::int32_t ld, std::int32_t cols) {
    return static_cast<std::size_t>(ld > 0 ? ld : 1) *
           static_cast<std::size_t>(cols > 0 ? cols : 1);
  };
  Strip<T> a(cells(c.lda, acols), c.offset), b(cells(c.ldb, bcols), c.offset);
  Strip<T> want(cells(c.ldc, c.n), c.offset);
  a.fill(c.values);
  b.fill(c.values);
  want.fill(Values::specials);
  T alpha = pick_scalar<T>(alpha_kind), beta = pick_scalar<T>(beta_kind);
  Strip<T> got(want);
  auto call = [&] {
    if (successes >= 0) test::fail_allocations_after(successes);
    entry(&c.ta, &c.tb, &c.m, &c.n, &c.k, &alpha, a.data(), &c.lda, b.data(), &c.ldb, &beta,
          got.data(), &c.ldc, 1, 1);
    if (successes >= 0) *asked = test::allocations_asked();
    test::allow_allocations();
  };
  if (successes >= 0) {
    test::on_new_thread_with_team(threads, call);
  } else {
    omp_set_num_threads(threads);
    call();
  }
  model::gemm<T>(model::KernelSet<T>::gemm, threads, c.ta, c.tb, c.m, c.n, c.k, alpha, a.data(),
                 c.lda, b.data(), c.ldb, beta, want.data(), c.ldc);
  auto r = got.same_as(want);
  if (!r && successes >= 0) r << " allocations succeeding " << successes;
  if (!r)
    r << " T=" << threads << " " << c.ta << c.tb << " m=" << c.m << " n=" << c.n << " k=" << c.k
      << " lda=" << c.lda << " ldb=" << c.ldb << " ldc=" << c.ldc << " alpha kind " << alpha_kind
      << " beta kind " << beta_kind;
  return r;
}

GemmCase make_case(char ta, char tb, std::int32_t m, std::int32_t n, std::int32_t k, Values v) {
  bool ant = (ta | 0x20) == 'n', bnt = (tb | 0x20) == 'n';
  auto ld = [](std::int32_t rows) { return (rows > 1 ? rows : 1) + test::random_int(0, 2); };
  return {ta, tb, m, n, k, ld(ant ? m : k), ld(bnt ? k : n), ld(m), 0, v};
}

template <class T> void check_entry(Entry<T> entry) {
  int saved = omp_get_max_threads();
  // Shapes of every class: mesh (square, tall, wide, not fitting), thin
  // with row strips, column strips, serial; the worked examples.
  const std::int32_t shapes[][3] = {
      {100, 100, 100}, {10, 10, 10}, {400, 20, 50}, {7, 9, 10},  {10, 3, 50},  {3, 10, 50},
      {3, 3, 50},      {33, 1, 7},   {1, 33, 7},    {21, 19, 1}, {18, 22, 2},  {37, 41, 3},
      {4, 4, 4},       {70, 3, 2},   {5, 68, 6},    {17, 66, 5}, {209, 12, 30}};
  const char *ops[] = {"NN", "NT", "TN", "TT", "CN", "nC", "cc", "tc"};
  // Once with every product too small for helpers (its blocks one after
  // another on the calling thread), once with every product offered to
  // them; every operation form at T = 2, 3, 4, one at the other counts.
  const double saved_work = threaded_work();
  for (double work : {1e300, 0.0}) {
    set_threaded_work(work);
    for (std::int32_t t : kThreadCounts)
      for (std::size_t s = 0; s < std::size(shapes); ++s)
        for (std::size_t o = 0; o < std::size(ops); ++o) {
          if ((t < 2 || t > 4) && o != (s + t) % std::size(ops)) continue;
          GemmCase c = make_case(ops[o][0], ops[o][1], shapes[s][0], shapes[s][1], shapes[s][2],
                                 static_cast<Values>((s + t + o) % 3));
          c.offset = sizeof(Part<T>) == 4 ? 4 * ((s + t) % 2) : 0;
          ASSERT_TRUE(check_case<T>(entry, c, t, 3, int(s % 4))) << " threaded work " << work;
        }
  }
  set_threaded_work(saved_work);
  for (int trial = 0; trial < 120; ++trial) {
    std::int32_t t = kThreadCounts[test::random_int(0, 6)];
    const char *op = ops[test::random_int(0, 7)];
    auto dim = [] {
      return test::random_int(0, 3) == 0 ? test::random_int(0, 5) : test::random_int(1, 40);
    };
    GemmCase c = make_case(op[0], op[1], dim(), dim(), dim(), static_cast<Values>(trial % 3));
    ASSERT_TRUE(check_case<T>(entry, c, t, test::random_int(0, 3), test::random_int(0, 3)));
  }
  // Invalid arguments: C(1..M, 1..N) zeroed along LDC, or as if LDC were 0.
  for (GemmCase c : {GemmCase{'x', 'N', 2, 3, 4, 2, 4, 5, 0, Values::plain},
                     GemmCase{'N', 'y', 3, 3, 4, 3, 4, 3, 0, Values::plain},
                     GemmCase{'N', 'N', 4, 3, 2, 3, 2, 4, 0, Values::plain},
                     GemmCase{'T', 'N', 4, 3, 5, 4, 5, 4, 0, Values::plain},
                     GemmCase{'N', 'T', 4, 3, 2, 4, 2, 4, 0, Values::plain},
                     GemmCase{'N', 'N', 4, 3, 2, 4, 2, 3, 0, Values::plain},
                     GemmCase{'N', 'N', 4, -3, 2, 4, 2, 4, 0, Values::plain},
                     GemmCase{'N', 'N', 4, 1, 2, 4, 2, 3, 0, Values::plain},
                     GemmCase{'t', 'z', 1, 3, 2, 2, 2, 1, 0, Values::plain}})
    ASSERT_TRUE(check_case<T>(entry, c, 4, 3, 3));
  omp_set_num_threads(saved);
}

class GemmEntries : public test::OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(GemmEntries);

TEST_P(GemmEntries, Sgemm) { check_entry<float>(__f95_sgemm_); }
TEST_P(GemmEntries, Dgemm) { check_entry<double>(__f95_dgemm_); }
TEST_P(GemmEntries, Cgemm) { check_entry<c8>(__f95_cgemm_); }
TEST_P(GemmEntries, Zgemm) { check_entry<c16>(__f95_zgemm_); }

// Without workspace the blocked kernels give way to code that needs none:
// the same bits.
template <class T> void check_without_workspace(Entry<T> entry) {
  const std::size_t saved = Scratch::set_limit(0);
  const char *ops[] = {"NN", "NT", "TN", "TT", "NC", "CC"};
  for (int s = 0; s < 6; ++s) {
    GemmCase c = make_case(ops[s][0], ops[s][1], 70 + s, 45, 60 + 3 * s, Values::plain);
    EXPECT_TRUE(check_case<T>(entry, c, 1 + s % 2, 3, s % 4));
  }
  Scratch::set_limit(saved);
}
TEST_P(GemmEntries, WithoutWorkspaceTheBitsAreTheSame) {
  int saved = omp_get_max_threads();
  check_without_workspace<float>(__f95_sgemm_);
  check_without_workspace<double>(__f95_dgemm_);
  check_without_workspace<c8>(__f95_cgemm_);
  check_without_workspace<c16>(__f95_zgemm_);
  omp_set_num_threads(saved);
}

// Memory running out at each allocation a call makes in turn (on a thread
// of its own, so that its first use of workspace is among them): the same
// bits, and the process goes on.
template <class T> void check_out_of_memory(Entry<T> entry) {
  const char *ops[] = {"NN", "TN", "NT", "CC"};
  const std::int32_t shapes[][3] = {{70, 45, 60}, {3, 90, 40}, {90, 2, 40}, {300, 4, 900}};
  for (int s = 0; s < 4; ++s) {
    GemmCase c =
        make_case(ops[s][0], ops[s][1], shapes[s][0], shapes[s][1], shapes[s][2], Values::plain);
    // A first call with memory starts the library's helper threads: a
    // thread's start is not among the requests a call can survive.
    ASSERT_TRUE(check_case<T>(entry, c, 2, 3, s % 4, -1, nullptr));
    long asked = 0;
    for (long successes = 0; successes == 0 || asked >= successes; ++successes)
      ASSERT_TRUE(check_case<T>(entry, c, 1 + s % 2, 3, s % 4, successes, &asked));
  }
}
TEST_P(GemmEntries, OutOfMemoryTheBitsAreTheSame) {
  int saved = omp_get_max_threads();
  check_out_of_memory<float>(__f95_sgemm_);
  check_out_of_memory<double>(__f95_dgemm_);
  check_out_of_memory<c8>(__f95_cgemm_);
  check_out_of_memory<c16>(__f95_zgemm_);
  omp_set_num_threads(saved);
}

// Thin real products (a dimension of 2 or 3) add every term, a zero b
// facing Inf or NaN in A included, also when too small for helpers; the
// other products skip those terms (but for rows the driver peels).
template <class T> void check_zero_terms(Entry<T> entry) {
  struct Shape {
    std::int32_t m, n, k;
  };
  for (const Shape sh : {Shape{3, 12, 40}, Shape{12, 2, 40}, Shape{12, 12, 3}, Shape{9, 10, 20}})
    for (std::int32_t t : {1, 2}) {
      std::int32_t m = sh.m, n = sh.n, k = sh.k;
      Strip<T> a(std::size_t(m) * k, 0), b(std::size_t(k) * n, 0), want(std::size_t(m) * n, 0);
      a.fill(Values::plain);
      b.fill(Values::plain);
      want.fill(Values::plain);
      for (std::int32_t l = 0; l < k; l += 3) {
        for (std::int32_t j = 0; j < n; ++j)
          b.set(std::size_t(l + j * k), T(0));
        for (std::int32_t i = 0; i < m; ++i)
          a.set(std::size_t(i + l * m),
                i % 2 ? std::numeric_limits<T>::infinity() : std::numeric_limits<T>::quiet_NaN());
      }
      Strip<T> got(want);
      const T alpha = T(0.75), beta = T(1);
      omp_set_num_threads(t);
      entry("N", "N", &m, &n, &k, &alpha, a.data(), &m, b.data(), &k, &beta, got.data(), &m, 1, 1);
      model::gemm<T>(model::KernelSet<T>::gemm, t, 'N', 'N', m, n, k, alpha, a.data(), m, b.data(),
                     k, beta, want.data(), m);
      EXPECT_TRUE(got.same_as(want)) << "m=" << m << " n=" << n << " k=" << k << " T=" << t;
    }
}
TEST_P(GemmEntries, ThinRealProductsAddEveryTerm) {
  const int saved = omp_get_max_threads();
  const double saved_work = threaded_work();
  // Every product run as one call, then every one cut for helpers.
  for (double work : {1e300, 0.0}) {
    set_threaded_work(work);
    check_zero_terms<float>(__f95_sgemm_);
    check_zero_terms<double>(__f95_dgemm_);
  }
  set_threaded_work(saved_work);
  omp_set_num_threads(saved);
}

TEST_P(GemmEntries, NegativeLdcZeroesOnlyTheFirstColumnsPlace) {
  std::vector<double> c(16, 5.0), a(16, 1.0), b(16, 1.0);
  std::int32_t m = 3, n = 4, k = 2, lda = 3, ldb = 2, ldc = -4;
  double alpha = 1, beta = 0;
  __f95_dgemm_("N", "N", &m, &n, &k, &alpha, a.data(), &lda, b.data(), &ldb, &beta, c.data() + 8,
               &ldc, 1, 1);
  for (int i = 0; i < 16; ++i)
    EXPECT_EQ(c[i], (i >= 8 && i < 11) ? 0.0 : 5.0) << i;
}

// Quick returns and alpha = 0 never touch A or B: both live on pages that
// cannot be read.
TEST_P(GemmEntries, NoProductReadsNeitherAnorB) {
  void *page = mmap(nullptr, 1 << 16, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(page, MAP_FAILED);
  const auto *none = static_cast<const double *>(page);
  std::vector<double> c(64 * 64, 2.0);
  std::int32_t m = 64, n = 64, k = 64, zero = 0;
  double alpha0 = 0, alpha1 = 1, beta0 = 0, beta3 = 3;
  for (std::int32_t t : {1, 4}) {
    omp_set_num_threads(t);
    c.assign(c.size(), 2.0);
    __f95_dgemm_("N", "N", &m, &n, &k, &alpha0, none, &m, none, &k, &beta3, c.data(), &m, 1, 1);
    EXPECT_EQ(c[4095], 6.0);
    __f95_dgemm_("T", "N", &m, &n, &zero, &alpha1, none, &m, none, &k, &beta0, c.data(), &m, 1, 1);
    EXPECT_EQ(c[0], 0.0);
    __f95_dgemv_("N", &m, &n, &alpha0, none, &m, none, &m, &beta0, c.data(), &m, 1);
    __f95_dgemv_("T", &zero, &n, &alpha1, none, &m, none, &m, &beta0, c.data(), &m, 1);
  }
  munmap(page, 1 << 16);
}

TEST_P(GemmEntries, ConcurrentCallersGetTheSerialBits) {
  const std::int32_t m = 90, n = 70, k = 50;
  std::vector<double> a(std::size_t(m) * k), b(std::size_t(k) * n);
  for (auto &v : a)
    v = test::random_element<double>(Values::specials);
  for (auto &v : b)
    v = test::random_element<double>(Values::zeros);
  double alpha = -0.75, beta = 0;
  std::vector<double> want(std::size_t(m) * n);
  omp_set_num_threads(4);
  __f95_dgemm_("N", "T", &m, &n, &k, &alpha, a.data(), &m, b.data(), &n, &beta, want.data(), &m, 1,
               1);
  std::vector<std::vector<double>> got(3, std::vector<double>(want.size(), 9.0));
  std::vector<std::thread> callers;
  for (auto &g : got)
    callers.emplace_back([&, c = g.data()] {
      omp_set_num_threads(4); // each thread has its own team size
      for (int r = 0; r < 10; ++r)
        __f95_dgemm_("N", "T", &m, &n, &k, &alpha, a.data(), &m, b.data(), &n, &beta, c, &m, 1, 1);
    });
  for (auto &t : callers)
    t.join();
  for (auto &g : got)
    EXPECT_TRUE(test::same_elements<double>(g.data(), want.data(), want.size()));
}

TEST_P(GemmEntries, InsideAnActiveRegionTheCallIsSerial) {
  const std::int32_t m = 40, n = 40, k = 40;
  std::vector<double> a(std::size_t(m) * k), b(std::size_t(k) * n);
  for (auto &v : a)
    v = test::random_element<double>(Values::plain);
  for (auto &v : b)
    v = test::random_element<double>(Values::plain);
  double alpha = 1, beta = 0;
  std::vector<double> want(std::size_t(m) * n);
  model::gemm<double>(model::KernelSet<double>::gemm, 1, 'N', 'N', m, n, k, alpha, a.data(), m,
                      b.data(), k, beta, want.data(), m);
  int saved_levels = omp_get_max_active_levels();
  omp_set_max_active_levels(1);
  omp_set_num_threads(4);
  std::vector<std::vector<double>> got(2, std::vector<double>(want.size()));
#pragma omp parallel num_threads(2)
  __f95_dgemm_("N", "N", &m, &n, &k, &alpha, a.data(), &m, b.data(), &k, &beta,
               got[omp_get_thread_num()].data(), &m, 1, 1);
  omp_set_max_active_levels(saved_levels);
  for (auto &g : got)
    EXPECT_TRUE(test::same_elements<double>(g.data(), want.data(), want.size()));
}

} // namespace
} // namespace mox2
