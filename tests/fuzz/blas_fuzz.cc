// Random calls of the eight BLAS entry points (__f95_[sdcz]gemv_ and
// __f95_[sdcz]gemm_) against the model of the drivers and kernels, bit
// for bit: option letters valid and not, sizes from -2 up (0 included),
// leading dimensions valid, too small, 0 and negative, increments of
// either sign and 0, alpha and beta 0, 1, special or plain, NaN, Inf and
// zeros in the operands, 1 to 4 threads, every kernel set.  Invalid
// arguments zero exactly the stated elements; y or C is compared whole
// with guards around it, and A, B and x must stay as they were.  The
// battery hashes y and C.
#include <algorithm>

#include "fuzz/fuzz.h"
#include "model/kernel_data.h"
#include "model/model_kernel_sets.h"

namespace mox2 {
namespace {

using test::random_int;
using test::Strip;
using test::Values;

template <class T>
using GemvEntry = void (*)(const char *, const std::int32_t *, const std::int32_t *, const T *,
                           const T *, const std::int32_t *, const T *, const std::int32_t *,
                           const T *, T *, const std::int32_t *, std::size_t);
template <class T>
using GemmEntry = void (*)(const char *, const char *, const std::int32_t *, const std::int32_t *,
                           const std::int32_t *, const T *, const T *, const std::int32_t *,
                           const T *, const std::int32_t *, const T *, T *, const std::int32_t *,
                           std::size_t, std::size_t);

char letter() {
  return random_int(0, 9) < 8 ? "NnTtCc"[random_int(0, 5)] : "Xx 0R"[random_int(0, 4)];
}

std::int32_t extent() {
  const int r = random_int(0, 19);
  return r == 0   ? random_int(-2, -1)
         : r < 3  ? 0
         : r == 3 ? random_int(20, 90)
         : r == 4 ? random_int(90, 400)
                  : random_int(1, 12);
}

// A leading dimension for `rows` rows: mostly valid, sometimes too small,
// 0 or negative.
std::int32_t leading(std::int32_t rows) {
  const std::int32_t least = rows > 1 ? rows : 1;
  const int r = random_int(0, 11);
  return r == 0 ? least - 1 : r == 1 ? -random_int(0, 2) : least + random_int(0, 2);
}

std::int32_t increment() {
  const std::int32_t choices[] = {1, 1, 1, -1, 2, -3, 0};
  return choices[random_int(0, 6)];
}

template <class T> T scalar() {
  switch (random_int(0, 3)) {
  case 0: return test::real_element<T>(0);
  case 1: return test::real_element<T>(1);
  case 2: return test::random_element<T>(Values::specials);
  default: return test::random_element<T>(Values::plain);
  }
}

// Elements of a matrix of `cols` columns `ld` apart (at least one).
std::size_t cells(std::int32_t ld, std::int32_t cols) {
  return std::size_t(std::max(ld, 1)) * std::size_t(std::max(cols, 1));
}

// 8-byte data stays 8-byte aligned (the entry points' contract); 4-byte
// parts may be 4 bytes off.
template <class T> std::size_t offset() { return sizeof(Part<T>) == 4 ? 4 * random_int(0, 1) : 0; }

template <class T>
constexpr TypeCode kCode = std::is_same_v<T, float>    ? TypeCode::r4
                           : std::is_same_v<T, double> ? TypeCode::r8
                           : std::is_same_v<T, c8>     ? TypeCode::c8
                                                       : TypeCode::c16;

template <class T>::testing::AssertionResult gemv_case(GemvEntry<T> entry, std::int32_t threads) {
  const char trans = letter();
  const std::int32_t m = extent(), n = extent(), lda = leading(m);
  const std::int32_t incx = increment(), incy = increment();
  const bool nt = (trans | 0x20) == 'n';
  const std::int32_t lenx = nt ? n : m, leny = nt ? m : n;
  const Values values = static_cast<Values>(random_int(0, 2));
  const std::size_t off = offset<T>();
  Strip<T> a(cells(lda, n), off), x(test::span(lenx, incx), off);
  const std::size_t ny = std::max(test::span(leny, incy), cells(std::max(m, n), 1));
  Strip<T> want(ny, off);
  a.fill(values);
  x.fill(values);
  want.fill(Values::specials);
  const Strip<T> a0(a), x0(x);
  Strip<T> got(want);
  const T alpha = scalar<T>(), beta = scalar<T>();
  entry(&trans, &m, &n, &alpha, a.data(), &lda, x.data(), &incx, &beta, got.data(), &incy, 1);
  model::gemv<T>(model::KernelSet<T>::gemv, threads, trans, m, n, alpha, a.data(), lda, x.data(),
                 incx, beta, want.data(), incy);
  test::hash_elements(kCode<T>, got.data(), ny);
  auto r = got.same_as(want);
  if (r) r = a.same_as(a0);
  if (r) r = x.same_as(x0);
  if (!r)
    r << " in gemv trans=" << trans << " m=" << m << " n=" << n << " lda=" << lda
      << " incx=" << incx << " incy=" << incy << " alpha=" << test::show(alpha)
      << " beta=" << test::show(beta) << " T=" << threads;
  return r;
}

template <class T>::testing::AssertionResult gemm_case(GemmEntry<T> entry, std::int32_t threads) {
  const char ta = letter(), tb = letter();
  const std::int32_t m = extent(), n = extent(), k = extent();
  const bool an = (ta | 0x20) == 'n', bn = (tb | 0x20) == 'n';
  const std::int32_t lda = leading(an ? m : k), ldb = leading(bn ? k : n), ldc = leading(m);
  const Values values = static_cast<Values>(random_int(0, 2));
  const std::size_t off = offset<T>();
  // C as the error path reaches it too: columns ldc apart, or all on
  // column 1's place when ldc is not positive.
  const std::size_t reach =
      std::size_t(std::max(m, 1)) + std::size_t(std::max(n - 1, 0)) * std::max(ldc, 0);
  Strip<T> a(cells(lda, an ? k : m), off), b(cells(ldb, bn ? n : k), off);
  const std::size_t nc = std::max(cells(ldc, n), reach);
  Strip<T> want(nc, off);
  a.fill(values);
  b.fill(values);
  want.fill(Values::specials);
  const Strip<T> a0(a), b0(b);
  Strip<T> got(want);
  const T alpha = scalar<T>(), beta = scalar<T>();
  entry(&ta, &tb, &m, &n, &k, &alpha, a.data(), &lda, b.data(), &ldb, &beta, got.data(), &ldc, 1,
        1);
  model::gemm<T>(model::KernelSet<T>::gemm, threads, ta, tb, m, n, k, alpha, a.data(), lda,
                 b.data(), ldb, beta, want.data(), ldc);
  test::hash_elements(kCode<T>, got.data(), nc);
  auto r = got.same_as(want);
  if (r) r = a.same_as(a0);
  if (r) r = b.same_as(b0);
  if (!r)
    r << " in gemm " << ta << tb << " m=" << m << " n=" << n << " k=" << k << " lda=" << lda
      << " ldb=" << ldb << " ldc=" << ldc << " alpha=" << test::show(alpha)
      << " beta=" << test::show(beta) << " T=" << threads;
  return r;
}

void one_case(int threads) {
  switch (random_int(0, 7)) {
  case 0: ASSERT_TRUE(gemv_case<float>(__f95_sgemv_, threads)); break;
  case 1: ASSERT_TRUE(gemv_case<double>(__f95_dgemv_, threads)); break;
  case 2: ASSERT_TRUE(gemv_case<c8>(__f95_cgemv_, threads)); break;
  case 3: ASSERT_TRUE(gemv_case<c16>(__f95_zgemv_, threads)); break;
  case 4: ASSERT_TRUE(gemm_case<float>(__f95_sgemm_, threads)); break;
  case 5: ASSERT_TRUE(gemm_case<double>(__f95_dgemm_, threads)); break;
  case 6: ASSERT_TRUE(gemm_case<c8>(__f95_cgemm_, threads)); break;
  default: ASSERT_TRUE(gemm_case<c16>(__f95_zgemm_, threads)); break;
  }
}

TEST(BlasFuzz, EveryEntryPointMatchesTheModel) { test::fuzz_cases("blas", one_case); }

} // namespace
} // namespace mox2
