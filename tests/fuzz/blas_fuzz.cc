// Random calls of the eight BLAS entry points (__f95_[sdcz]gemv_ and
// __f95_[sdcz]gemm_) against the model of the drivers and kernels, bit
// for bit, as model/blas_cases.h runs a case: option letters valid and
// not, sizes from -2 up (0 included), leading dimensions valid, too
// small, 0 and negative, increments of either sign and 0, alpha and beta
// 0, 1, special or plain, NaN, Inf and zeros in the operands, 1 to 4
// threads, every kernel set.  Invalid arguments zero exactly the stated
// elements.  The battery hashes y and C.
#include "fuzz/fuzz.h"
#include "model/blas_cases.h"

namespace mox2 {
namespace {

using test::random_int;

char letter() {
  return random_int(0, 9) < 8 ? "NnTtCc"[random_int(0, 5)] : "Xx 0R"[random_int(0, 4)];
}

int extent() {
  const int r = random_int(0, 19);
  return r == 0   ? random_int(-2, -1)
         : r < 3  ? 0
         : r == 3 ? random_int(20, 90)
         : r == 4 ? random_int(90, 400)
                  : random_int(1, 12);
}

// A leading dimension for `rows` rows: mostly valid, sometimes too small,
// 0 or negative.
int leading(int rows) {
  const int least = rows > 1 ? rows : 1, r = random_int(0, 11);
  return r == 0 ? least - 1 : r == 1 ? -random_int(0, 2) : least + random_int(0, 2);
}

int increment() { return (const int[]){1, 1, 1, -1, 2, -3, 0}[random_int(0, 6)]; }

// alpha or beta: 0, 1, a special value or a plain one (scalar() kinds).
int scalar_kind() { return (const int[]){0, 1, 6, 7}[random_int(0, 3)]; }

template <class T> void gemv_case(int threads) {
  const char trans = letter();
  const int m = extent(), n = extent();
  test::GemvCase c{trans, m, n, leading(m), increment(), increment()};
  c.alpha = scalar_kind(), c.beta = scalar_kind();
  c.values = static_cast<test::Values>(random_int(0, 2));
  std::vector<T> y;
  ASSERT_TRUE(test::run_case<T>(test::kEntry, c, threads, &y));
  test::hash_elements(test::kCode<T>, y.data(), y.size());
}

template <class T> void gemm_case(int threads) {
  test::GemmCase c;
  c.ta = letter(), c.tb = letter(), c.m = extent(), c.n = extent(), c.k = extent();
  c.lda = leading(test::plain(c.ta) ? c.m : c.k);
  c.ldb = leading(test::plain(c.tb) ? c.k : c.n);
  c.ldc = leading(c.m);
  c.alpha = scalar_kind(), c.beta = scalar_kind();
  c.values = static_cast<test::Values>(random_int(0, 2));
  std::vector<T> result;
  ASSERT_TRUE(test::run_case<T>(test::kEntry, c, threads, &result));
  test::hash_elements(test::kCode<T>, result.data(), result.size());
}

void one_case(int threads) {
  static void (*const cases[])(int) = {gemv_case<float>, gemv_case<double>, gemv_case<c8>,
                                       gemv_case<c16>,   gemm_case<float>,  gemm_case<double>,
                                       gemm_case<c8>,    gemm_case<c16>};
  cases[random_int(0, 7)](threads);
}

TEST(BlasFuzz, EveryEntryPointMatchesTheModel) { test::fuzz_cases("blas", one_case); }

} // namespace
} // namespace mox2
