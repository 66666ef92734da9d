// The drivers' cut of y and C, seen through kernels that only record their
// calls: for T = 1 ... 16 threads every kernel call of the driver must be a
// block of the model's plan, with the right parts of A, B, C and y, and the
// blocks must be exactly the plan's.
#include <omp.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "blas/gemm_driver.h"
#include "blas/gemv_driver.h"
#include "model/model_drivers.h"
#include "support/arrays.h"

namespace mox2 {
namespace {

using model::Block;

constexpr std::int32_t kThreadCounts[] = {1, 2, 3, 4, 6, 8, 16};

// In these programs every parallel loop goes to a team, however small, so
// that small shapes exercise the threaded paths too.
struct TeamsForEveryLoop : ::testing::Environment {
  void SetUp() override { set_threaded_work(0); }
};
[[maybe_unused]] const auto *const kTeams =
    ::testing::AddGlobalTestEnvironment(new TeamsForEveryLoop);

// What the recording kernels saw, in the calling order of the threads.
struct Recorder {
  std::mutex lock;
  std::vector<Block> blocks;
  std::vector<std::string> faults;
  bool thin = false, mesh = false;
  void add(const Block &b) {
    std::lock_guard<std::mutex> g(lock);
    blocks.push_back(b);
  }
  void fault(std::string what) {
    std::lock_guard<std::mutex> g(lock);
    faults.push_back(std::move(what));
  }
};
Recorder *recorder = nullptr;

// The call the driver is making, for the kernels to check against.
struct Expected {
  const double *a, *b, *x;
  double *c, *y;
  std::int32_t lda, ldb, ldc, k, m, n, incy, len;
  bool a_no_trans, b_no_trans, no_trans;
  double beta;
};
Expected expected;

void record_gemm(bool thin, const char *, const char *, const std::int32_t *m,
                 const std::int32_t *n, const std::int32_t *k, const double *, const double *a,
                 const std::int32_t *lda, const double *b, const std::int32_t *ldb, const double *,
                 double *c, const std::int32_t *ldc) {
  const Expected &e = expected;
  std::ptrdiff_t off = c - e.c;
  Block blk{static_cast<std::int32_t>(off % e.ldc), static_cast<std::int32_t>(off / e.ldc), *m, *n};
  if (*k != e.k || *lda != e.lda || *ldb != e.ldb || *ldc != e.ldc) recorder->fault("scalars");
  const double *want_a = e.a_no_trans ? e.a + blk.r0 : e.a + std::ptrdiff_t(blk.r0) * e.lda;
  const double *want_b = e.b_no_trans ? e.b + std::ptrdiff_t(blk.c0) * e.ldb : e.b + blk.c0;
  if (a != want_a) recorder->fault("part of A");
  if (b != want_b) recorder->fault("part of B");
  (thin ? recorder->thin : recorder->mesh) = true;
  recorder->add(blk);
}
MOX2_GEMM_KERNEL(record_mesh, double) {
  record_gemm(false, transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}
MOX2_GEMM_KERNEL(record_thin, double) {
  record_gemm(true, transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}
void record_scal(const std::int32_t *, const double *, double *, const std::int32_t *) {
  recorder->fault("scal");
}

MOX2_GEMV_KERNEL(record_gemv, double) {
  const Expected &e = expected;
  std::int32_t count = e.no_trans ? *m : *n;
  if ((e.no_trans ? *n : *m) != (e.no_trans ? e.n : e.m)) recorder->fault("whole x");
  // The block's first element s follows from the part of y it was given.
  std::ptrdiff_t off = (y - e.y) / (e.incy > 0 ? e.incy : -e.incy);
  std::int32_t s = e.incy > 0 ? std::int32_t(off) : std::int32_t(e.len - off - count);
  const double *want_a = e.no_trans ? e.a + s : e.a + std::ptrdiff_t(s) * e.lda;
  if (a != want_a) recorder->fault("part of A");
  if (x != e.x || *incy != e.incy) recorder->fault("x or incy");
  if (*beta != e.beta) recorder->fault("beta");
  recorder->add({s, 0, count, 0});
}

std::vector<Block> sorted(std::vector<Block> v) {
  std::sort(v.begin(), v.end());
  return v;
}

class DriverCut : public ::testing::Test {
protected:
  void SetUp() override {
    saved_threads_ = omp_get_max_threads();
    recorder = &rec_;
  }
  void TearDown() override {
    omp_set_num_threads(saved_threads_);
    recorder = nullptr;
  }
  Recorder rec_;
  int saved_threads_;
};

TEST_F(DriverCut, UsingThreadsFollowsOpenMP) {
  for (std::int32_t t : kThreadCounts) {
    omp_set_num_threads(t);
    EXPECT_EQ(__f___zo_using_threads_(), t);
  }
}

void check_gemm_cut(std::int32_t t, char ta, char tb, std::int32_t m, std::int32_t n,
                    std::int32_t k) {
  recorder->blocks.clear();
  recorder->thin = recorder->mesh = false;
  bool ant = (ta | 0x20) == 'n', bnt = (tb | 0x20) == 'n';
  std::int32_t lda = (ant ? m : k) + 3, ldb = (bnt ? k : n) + 1, ldc = m + 2;
  std::vector<double> a(std::size_t(lda) * (ant ? k : m)), b(std::size_t(ldb) * (bnt ? n : k)),
      c(std::size_t(ldc) * n);
  expected = {a.data(), b.data(), nullptr, c.data(), nullptr, lda, ldb,   ldc, k,
              m,        n,        0,       0,        ant,     bnt, false, 1.0};
  double alpha = 1.5, beta = 0.5;
  static constexpr blas::GemmKernels<double> kernels{record_mesh, record_thin, record_scal};
  omp_set_num_threads(t);
  blas::gemm_driver<double>(kernels, &ta, &tb, &m, &n, &k, &alpha, a.data(), &lda, b.data(), &ldb,
                            &beta, c.data(), &ldc);
  model::GemmPlan plan = model::gemm_plan(m, n, k, t);
  SCOPED_TRACE(testing::Message() << "T=" << t << " " << ta << tb << " m=" << m << " n=" << n
                                  << " k=" << k);
  EXPECT_TRUE(recorder->faults.empty()) << recorder->faults.front();
  EXPECT_EQ(recorder->thin, plan.thin);
  EXPECT_EQ(recorder->mesh, !plan.thin);
  EXPECT_EQ(sorted(recorder->blocks), sorted(plan.blocks));
}

TEST_F(DriverCut, GemmBlocksAreTheModelsForEveryThreadCount) {
  // The worked shapes, then random ones around every threshold.
  const std::int32_t shapes[][3] = {{100, 100, 100}, {10, 10, 10}, {400, 20, 50}, {7, 9, 10},
                                    {10, 3, 50},     {3, 10, 50},  {3, 3, 50},    {4, 4, 4},
                                    {65, 4, 4},      {4, 65, 4},   {64, 4, 9},    {17, 1, 5},
                                    {1, 17, 5},      {9, 9, 1},    {33, 2, 3},    {2, 33, 7},
                                    {257, 16, 4},    {16, 257, 4}, {31, 29, 4},   {5, 5, 3}};
  for (std::int32_t t : kThreadCounts)
    for (auto &s : shapes)
      for (const char *ops : {"NN", "TN", "NT", "ct"})
        check_gemm_cut(t, ops[0], ops[1], s[0], s[1], s[2]);
  for (int trial = 0; trial < 300; ++trial) {
    std::int32_t t = kThreadCounts[test::random_int(0, 6)];
    std::int32_t m = test::random_int(1, 90), n = test::random_int(1, 90),
                 k = test::random_int(1, 6);
    if (trial % 3 == 0) m = test::random_int(1, 4) * (test::random_int(0, 1) ? 20 : 1);
    check_gemm_cut(t, "NT"[trial % 2], "NT"[(trial / 2) % 2], m, n, k);
  }
}

TEST_F(DriverCut, GemmMeshOfTheWorkedExamples) {
  // T = 4, 100 x 100: 2 x 2 blocks of 52 and 48.
  check_gemm_cut(4, 'N', 'N', 100, 100, 100);
  EXPECT_EQ(sorted(recorder->blocks),
            sorted({{0, 0, 52, 52}, {52, 0, 48, 52}, {0, 52, 52, 48}, {52, 52, 48, 48}}));
  // T = 2, 7 x 9: one row block of 7, column blocks of 4 and 5.
  check_gemm_cut(2, 'N', 'N', 7, 9, 10);
  EXPECT_EQ(sorted(recorder->blocks), sorted({{0, 0, 7, 4}, {0, 4, 7, 5}}));
  // T = 4, 400 x 20: four row blocks of 100.
  check_gemm_cut(4, 'T', 'N', 400, 20, 50);
  EXPECT_EQ(sorted(recorder->blocks),
            sorted({{0, 0, 100, 20}, {100, 0, 100, 20}, {200, 0, 100, 20}, {300, 0, 100, 20}}));
  // T = 4, 10 x 3 thin: row strips of 3, 3, 2, 2.
  check_gemm_cut(4, 'N', 'T', 10, 3, 50);
  EXPECT_TRUE(recorder->thin);
  EXPECT_EQ(sorted(recorder->blocks),
            sorted({{0, 0, 3, 3}, {3, 0, 3, 3}, {6, 0, 2, 3}, {8, 0, 2, 3}}));
  // T = 6, 10 x 10: mesh (2, 3) does not fit; one serial call.
  check_gemm_cut(6, 'N', 'N', 10, 10, 10);
  EXPECT_EQ(recorder->blocks, std::vector<Block>({{0, 0, 10, 10}}));
}

void check_gemv_cut(std::int32_t t, char trans, std::int32_t m, std::int32_t n, std::int32_t incy) {
  recorder->blocks.clear();
  bool nt = (trans | 0x20) == 'n';
  std::int32_t lda = m + 1, incx = 2, len = nt ? m : n;
  std::vector<double> a(std::size_t(lda) * n + 1), x(std::size_t(nt ? n : m) * 2 + 1),
      y(std::size_t(len) * (incy > 0 ? incy : -incy) + 1, 7.0);
  expected = {a.data(), nullptr, x.data(), nullptr, y.data(), lda,   0,  0,   0,
              m,        n,       incy,     len,     false,    false, nt, 0.25};
  double alpha = 2, beta = 0.25;
  omp_set_num_threads(t);
  blas::gemv_driver<double>(record_gemv, &trans, &m, &n, &alpha, a.data(), &lda, x.data(), &incx,
                            &beta, y.data(), &incy);
  SCOPED_TRACE(testing::Message() << "T=" << t << " " << trans << " m=" << m << " n=" << n
                                  << " incy=" << incy);
  EXPECT_TRUE(recorder->faults.empty()) << recorder->faults.front();
  EXPECT_EQ(sorted(recorder->blocks), sorted(model::gemv_blocks(false, nt, m, n, t)));
}

TEST_F(DriverCut, GemvBlocksAreTheModelsForEveryThreadCount) {
  // T = 4, 'N', M = 10: rows 3, 3, 2, 2; T = 3, 'T', N = 7, INCY = -1:
  // columns 3, 2, 2, the first block's y part at Y + 4.
  check_gemv_cut(4, 'N', 10, 5, 1);
  EXPECT_EQ(recorder->blocks.size(), 4u);
  check_gemv_cut(3, 'T', 4, 7, -1);
  EXPECT_EQ(sorted(recorder->blocks), sorted({{0, 0, 3, 0}, {3, 0, 2, 0}, {5, 0, 2, 0}}));
  check_gemv_cut(4, 'N', 3, 9, 1); // M < T: serial
  EXPECT_EQ(recorder->blocks, std::vector<Block>({{0, 0, 3, 0}}));
  for (std::int32_t t : kThreadCounts)
    for (int trial = 0; trial < 40; ++trial)
      check_gemv_cut(t, "NTc"[trial % 3], test::random_int(1, 40), test::random_int(1, 40),
                     trial % 4 == 0 ? -test::random_int(1, 3) : test::random_int(1, 3));
}

// The complex family's cut: the last block takes the remainder.
std::vector<Block> complex_records;
std::mutex complex_lock;
mox2::c16 *complex_y = nullptr;
MOX2_GEMV_KERNEL(record_complex_gemv, mox2::c16) {
  std::lock_guard<std::mutex> g(complex_lock);
  complex_records.push_back({std::int32_t(y - complex_y), 0, *m, 0});
}

TEST_F(DriverCut, ComplexGemvLastBlockTakesTheRest) {
  std::int32_t m = 10, n = 4, lda = 10, inc = 1, t = 4;
  std::vector<mox2::c16> a(40), x(4), y(10);
  mox2::c16 alpha{1, 0}, beta{0, 0};
  complex_y = y.data();
  for (std::int32_t threads : kThreadCounts) {
    complex_records.clear();
    omp_set_num_threads(threads);
    blas::gemv_driver<mox2::c16>(record_complex_gemv, "N", &m, &n, &alpha, a.data(), &lda, x.data(),
                                 &inc, &beta, y.data(), &inc);
    EXPECT_EQ(sorted(complex_records), sorted(model::gemv_blocks(true, true, m, n, threads)));
  }
  (void)t;
  omp_set_num_threads(4);
  complex_records.clear();
  blas::gemv_driver<mox2::c16>(record_complex_gemv, "n", &m, &n, &alpha, a.data(), &lda, x.data(),
                               &inc, &beta, y.data(), &inc);
  EXPECT_EQ(sorted(complex_records),
            sorted({{0, 0, 2, 0}, {2, 0, 2, 0}, {4, 0, 2, 0}, {6, 0, 4, 0}}));
}

TEST_F(DriverCut, InsideAnActiveRegionEachCallerWorksSerially) {
  omp_set_num_threads(4);
  int saved_levels = omp_get_max_active_levels();
  omp_set_max_active_levels(1);
  std::int32_t m = 64, n = 64, k = 64, ld = 64;
  std::vector<double> a(64 * 64), b(64 * 64), c(64 * 64);
  expected = {a.data(), b.data(), nullptr, c.data(), nullptr, ld,   ld,    ld, k,
              m,        n,        0,       0,        true,    true, false, 1.0};
  double alpha = 1, beta = 0;
  static constexpr blas::GemmKernels<double> kernels{record_mesh, record_thin, record_scal};
  std::int32_t seen[2] = {0, 0};
#pragma omp parallel num_threads(2)
  {
    seen[omp_get_thread_num()] = __f___zo_using_threads_();
    blas::gemm_driver<double>(kernels, "N", "N", &m, &n, &k, &alpha, a.data(), &ld, b.data(), &ld,
                              &beta, c.data(), &ld);
  }
  omp_set_max_active_levels(saved_levels);
  EXPECT_EQ(seen[0], 1);
  EXPECT_EQ(seen[1], 1);
  EXPECT_EQ(rec_.blocks, std::vector<Block>({{0, 0, 64, 64}, {0, 0, 64, 64}}));
}

} // namespace
} // namespace mox2
