// The GEMV and GEMM drivers' own work, through kernels that record their
// calls: the zeroing error paths (exactly the stated elements, guards
// around y and C untouched), the quick returns, the real family's beta
// handling, and the alpha = 0 / K = 0 cases that must not read A or B.
#include <omp.h>
#include <sys/mman.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "blas/gemm_driver.h"
#include "blas/gemv_driver.h"

namespace mox2 {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kGuard = -777.0;

std::atomic<int> gemv_calls{0};
double gemv_beta_seen = 0;
double gemv_y0_seen = 0;
MOX2_GEMV_KERNEL(count_dgemv, double) {
  gemv_calls++;
  gemv_beta_seen = *beta;
  gemv_y0_seen = y[0];
}
std::atomic<int> zgemv_calls{0};
const mox2::c16 *zgemv_beta_seen = nullptr;
MOX2_GEMV_KERNEL(count_zgemv, mox2::c16) {
  zgemv_calls++;
  zgemv_beta_seen = beta;
}

std::atomic<int> gemm_calls{0};
MOX2_GEMM_KERNEL(count_dgemm, double) { gemm_calls++; }
std::vector<std::ptrdiff_t> scal_columns;
void record_dscal(const std::int32_t *n, const double *alpha, double *x, const std::int32_t *inc) {
  for (std::int32_t i = 0; i < *n; ++i)
    x[i] *= *alpha;
  EXPECT_EQ(*inc, 1);
  scal_columns.push_back(*n);
}
constexpr blas::GemmKernels<double> kDoubleKernels{count_dgemm, count_dgemm, record_dscal};

void dgemv(const char *trans, std::int32_t m, std::int32_t n, double alpha, const double *a,
           std::int32_t lda, const double *x, std::int32_t incx, double beta, double *y,
           std::int32_t incy) {
  blas::gemv_driver<double>(count_dgemv, trans, &m, &n, &alpha, a, &lda, x, &incx, &beta, y, &incy);
}

void dgemm(const char *ta, const char *tb, std::int32_t m, std::int32_t n, std::int32_t k,
           double alpha, const double *a, std::int32_t lda, const double *b, std::int32_t ldb,
           double beta, double *c, std::int32_t ldc) {
  blas::gemm_driver<double>(kDoubleKernels, ta, tb, &m, &n, &k, &alpha, a, &lda, b, &ldb, &beta, c,
                            &ldc);
}

// One thread, so that the kernel calls can be counted.
struct SerialScope {
  SerialScope() : saved(omp_get_max_threads()) { omp_set_num_threads(1); }
  ~SerialScope() { omp_set_num_threads(saved); }
  int saved;
};

// A page nobody may read: operands that must not be touched.
struct ForbiddenPage {
  ForbiddenPage() { p = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0); }
  ~ForbiddenPage() { munmap(p, 4096); }
  const double *get() const { return static_cast<const double *>(p); }
  void *p;
};

TEST(GemvDriver, InvalidArgumentsZeroLenContiguousElements) {
  double a[64] = {}, x[16] = {};
  std::vector<double> y(12, kNaN);
  gemv_calls = 0;
  dgemv("x", 3, 5, 1, a, 3, x, 1, 0, y.data(), 2); // len = N = 5, whatever INCY
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(y[i], 0.0) << i;
  EXPECT_TRUE(std::isnan(y[5]));
  y.assign(12, kGuard);
  dgemv("N", 4, 2, 1, a, 3, x, 1, 0, y.data(), 3); // LDA = M - 1: y(1..4)
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(y[i], 0.0);
  EXPECT_EQ(y[4], kGuard);
  y.assign(12, kGuard);
  dgemv("T", 4, 3, 1, a, 4, x, 0, 0, y.data(), 1); // INCX = 0
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(y[i], 0.0);
  EXPECT_EQ(y[3], kGuard);
  y.assign(12, kGuard);
  dgemv("T", 4, 6, 1, a, 4, x, 1, 0, y.data(), 0); // INCY = 0: y(1) alone
  EXPECT_EQ(y[0], 0.0);
  EXPECT_EQ(y[1], kGuard);
  y.assign(12, kGuard);
  dgemv("N", -1, 6, 1, a, 4, x, 1, 0, y.data(), 1); // len < 1: nothing
  EXPECT_EQ(y[0], kGuard);
  EXPECT_EQ(gemv_calls, 0);
}

TEST(GemvDriver, ComplexZeroFillOfLongVectorsRunsAsALoop) {
  std::int32_t m = 7000, n = 3, lda = 6999, inc = 1; // LDA < M
  std::vector<mox2::c16> y(7002, mox2::c16{kGuard, kGuard});
  mox2::c16 a{1, 1}, x{1, 1}, alpha{1, 0}, beta{0, 0};
  blas::gemv_driver<mox2::c16>(count_zgemv, "N", &m, &n, &alpha, &a, &lda, &x, &inc, &beta,
                               y.data() + 1, &inc);
  EXPECT_EQ(y[0].re, kGuard);
  for (int i = 1; i <= 7000; ++i)
    ASSERT_TRUE(y[i].re == 0 && y[i].im == 0) << i;
  EXPECT_EQ(y[7001].im, kGuard);
}

TEST(GemvDriver, QuickReturnsTouchNothing) {
  ForbiddenPage none;
  std::vector<double> y(4, kNaN);
  gemv_calls = 0;
  dgemv("N", 0, 3, 1, none.get(), 1, none.get(), 1, 0, y.data(), 1); // M = 0, beta = 0
  dgemv("T", 3, 0, 1, none.get(), 3, none.get(), 1, 0, y.data(), 1);
  dgemv("N", 3, 3, 0, none.get(), 3, none.get(), 1, 1, y.data(), 1); // alpha 0, beta 1
  EXPECT_EQ(gemv_calls, 0);
  for (double v : y)
    EXPECT_TRUE(std::isnan(v));
}

TEST(GemvDriver, RealBetaZeroClearsYAlongIncyAndHandsBetaOne) {
  SerialScope serial;
  ForbiddenPage none;
  std::vector<double> y(8, kNaN);
  gemv_calls = 0;
  // alpha = 0, beta = 0, INCY = -2: three elements at 0, 2, 4; no kernel.
  dgemv("N", 3, 4, 0, none.get(), 3, none.get(), 1, 0, y.data(), -2);
  EXPECT_EQ(gemv_calls, 0);
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(std::isnan(y[i]), !(i % 2 == 0 && i < 6)) << i;
  // alpha != 0, beta = 0: y cleared before the kernel, which sees beta 1.
  double a[12] = {}, x[4] = {};
  y.assign(8, kNaN);
  dgemv("N", 3, 4, 2, a, 3, x, 1, 0, y.data(), 1);
  EXPECT_EQ(gemv_calls, 1);
  EXPECT_EQ(gemv_beta_seen, 1.0);
  EXPECT_EQ(gemv_y0_seen, 0.0);
  // Other beta values go through as given.
  dgemv("T", 3, 4, 0, a, 3, x, 1, 0.5, y.data(), 1);
  EXPECT_EQ(gemv_beta_seen, 0.5);
}

TEST(GemvDriver, ComplexFamilyHandsTheCallersBeta) {
  SerialScope serial;
  mox2::c16 a[4] = {}, x[2] = {}, y[2] = {{kNaN, kNaN}, {kNaN, kNaN}};
  mox2::c16 alpha{0, 0}, beta{0, 0};
  std::int32_t m = 2, n = 2, inc = 1;
  zgemv_calls = 0;
  blas::gemv_driver<mox2::c16>(count_zgemv, "C", &m, &n, &alpha, a, &m, x, &inc, &beta, y, &inc);
  EXPECT_EQ(zgemv_calls, 1);
  EXPECT_EQ(zgemv_beta_seen, &beta);
  EXPECT_TRUE(std::isnan(y[0].re)); // the kernel's business, not the driver's
}

TEST(GemmDriver, InvalidArgumentsZeroExactlyTheMByNBlock) {
  double a[16] = {}, b[16] = {};
  std::vector<double> c(20, kGuard);
  gemm_calls = 0;
  dgemm("x", "N", 2, 3, 4, 1, a, 2, b, 4, 0, c.data(), 5);
  for (int j = 0; j < 4; ++j)
    for (int i = 0; i < 5; ++i)
      EXPECT_EQ(c[i + 5 * j], (i < 2 && j < 3) ? 0.0 : kGuard) << i << "," << j;
  // LDC < 0: as if LDC were 0, only C(1..M), nothing before C.
  c.assign(20, kGuard);
  dgemm("N", "N", 3, 4, 2, 1, a, 3, b, 2, 0, c.data() + 8, -5);
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(c[i], (i >= 8 && i < 11) ? 0.0 : kGuard) << i;
  // LDB below K for 'N', LDA below K for 'T', negative K.
  c.assign(20, kGuard);
  dgemm("N", "N", 2, 2, 3, 1, a, 2, b, 2, 0, c.data(), 2);
  EXPECT_EQ(c[3], 0.0);
  EXPECT_EQ(c[4], kGuard);
  c.assign(20, kGuard);
  dgemm("t", "c", 2, 2, 3, 1, a, 2, b, 2, 0, c.data(), 2);
  EXPECT_EQ(c[0], 0.0);
  c.assign(20, kGuard);
  dgemm("N", "N", 2, 2, -1, 1, a, 2, b, 1, 0, c.data(), 2);
  EXPECT_EQ(c[3], 0.0);
  c.assign(20, kGuard);
  dgemm("N", "N", 0, 2, -1, 1, a, 2, b, 1, 0, c.data(), 2); // invalid, but M = 0
  EXPECT_EQ(c[0], kGuard);
  EXPECT_EQ(gemm_calls, 0);
}

TEST(GemmDriver, NoProductDoesNotReadAOrB) {
  ForbiddenPage none;
  std::vector<double> c(12, kNaN);
  gemm_calls = 0;
  dgemm("N", "N", 0, 3, 4, 1, none.get(), 1, none.get(), 4, 0, c.data(), 1); // M = 0
  for (double v : c)
    EXPECT_TRUE(std::isnan(v));
  dgemm("N", "N", 3, 3, 0, 1, none.get(), 3, none.get(), 1, 0, c.data(), 4); // K = 0, beta 0
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(std::isnan(c[i]), i % 4 == 3) << i;
  c.assign(12, 3.0);
  dgemm("T", "N", 3, 3, 5, 0, none.get(), 5, none.get(), 5, 1, c.data(), 4); // alpha 0, beta 1
  for (double v : c)
    EXPECT_EQ(v, 3.0);
  scal_columns.clear();
  dgemm("N", "T", 3, 2, 0, 1, none.get(), 3, none.get(), 2, 2, c.data(), 4); // K = 0, beta 2
  EXPECT_EQ(scal_columns, std::vector<std::ptrdiff_t>({3, 3}));
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(c[i], (i < 8 && i % 4 < 3) ? 6.0 : 3.0) << i;
  EXPECT_EQ(gemm_calls, 0);
}

} // namespace
} // namespace mox2
