// The GEMM kernels and the thin-product kernels against their model, bit
// for bit (any two NaNs equal), C compared whole with guard elements:
// sizes 0..9 and around the 4 x 2 peel and the blocking edges, every
// option letter in both cases, leading dimensions above the minimum,
// alpha and beta in {0, 1, -1, (0, 1), random}, zeros of op(B) facing NaN
// and Inf in A (the zero skip), NaN in the old C where beta = 0 must
// discard it, 4-byte-off data and scalars for the alignment-safe kernels,
// every kernel set.  Then the validation of the alignment-safe kernels,
// hand-checked product forms and skips, and the reference BLAS where the
// orders coincide.
#include <algorithm>
#include <cstdint>
#include <dlfcn.h>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "kernels/kernels.h"
#include "model/kernel_data.h"
#include "model/model_asp.h"
#include "model/model_gemm.h"
#include "support/isas.h"

namespace mox2 {
namespace {

using test::Strip;
using test::Values;
using i32 = std::int32_t;

template <class T>
using GemmFn = void (*)(char, char, int, int, int, T, const T *, int, const T *, int, T, T *, int);
template <class T>
using GemmKernel = void (*)(const char *, const char *, const i32 *, const i32 *, const i32 *,
                            const T *, const T *, const i32 *, const T *, const i32 *, const T *,
                            T *, const i32 *, std::size_t, std::size_t);

// A kernel called as the model is; the alignment-safe kernels get their
// scalars 4 bytes off 8-byte alignment.
template <class T, GemmKernel<T> K, bool kScalars4Off>
void call(char ta, char tb, int m, int n, int k, T alpha, const T *a, int lda, const T *b, int ldb,
          T beta, T *c, int ldc) {
  test::Buffer scalars(2 * sizeof(T), kScalars4Off ? 4 : 0);
  T *al = reinterpret_cast<T *>(scalars.data());
  store<T>(al, alpha);
  store<T>(al + 1, beta);
  K(&ta, &tb, &m, &n, &k, al, a, &lda, b, &ldb, al + 1, c, &ldc, 1, 1);
}

template <class T> struct GemmCase {
  char ta, tb;
  int m, n, k, lda, ldb, ldc;
  T alpha, beta;
  Values values;
  int offset; // bytes off 8-byte alignment of every operand
};

template <class T> std::ostream &operator<<(std::ostream &o, const GemmCase<T> &c) {
  return o << c.ta << c.tb << " m=" << c.m << " n=" << c.n << " k=" << c.k << " lda=" << c.lda
           << " ldb=" << c.ldb << " ldc=" << c.ldc << " alpha=" << test::show(c.alpha)
           << " beta=" << test::show(c.beta) << " values=" << static_cast<int>(c.values) << " +"
           << c.offset;
}

bool plain_letter(char c) { return c == 'N' || c == 'n'; }

std::size_t elements(int ld, int cols) {
  return static_cast<std::size_t>(std::max(ld, 1)) * static_cast<std::size_t>(std::max(cols, 1));
}

// One case through kernel and model on identical data; all of C compared,
// guards included.
template <class T>
::testing::AssertionResult same_as_model(GemmFn<T> kernel, GemmFn<T> model, const GemmCase<T> &c) {
  int cols_a = plain_letter(c.ta) ? c.k : c.m, cols_b = plain_letter(c.tb) ? c.n : c.k;
  Strip<T> a(elements(c.lda, cols_a), c.offset), b(elements(c.ldb, cols_b), c.offset);
  Strip<T> want(elements(c.ldc, c.n), c.offset);
  a.fill(c.values);
  b.fill(c.values);
  want.fill(c.values);
  if (c.values == Values::zeros) {
    // NaN and Inf scattered through A: only the zero skip keeps those
    // facing a zero of op(B) out of C.
    for (std::size_t i = 0; i < elements(c.lda, cols_a); i += 3)
      a.set(i, test::splat<T>(test::special_part<Part<T>>()));
  }
  if (is_zero(c.beta)) {
    for (std::size_t i = 0; i < elements(c.ldc, c.n); ++i)
      want.set(i, test::splat<T>(std::numeric_limits<Part<T>>::quiet_NaN()));
  }
  Strip<T> got(want);
  kernel(c.ta, c.tb, c.m, c.n, c.k, c.alpha, a.data(), c.lda, b.data(), c.ldb, c.beta, got.data(),
         c.ldc);
  model(c.ta, c.tb, c.m, c.n, c.k, c.alpha, a.data(), c.lda, b.data(), c.ldb, c.beta, want.data(),
        c.ldc);
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

const std::vector<char> kLetters = {'N', 'n', 'T', 't', 'C', 'c'};

template <class T>
GemmCase<T> random_case(char ta, char tb, int m, int n, int k, std::vector<int> offsets) {
  const std::vector<Values> values = {Values::plain, Values::specials, Values::zeros};
  const std::vector<T> scalars = Scalars<T>::list();
  int rows_a = plain_letter(ta) ? m : k, rows_b = plain_letter(tb) ? k : n;
  return GemmCase<T>{ta,
                     tb,
                     m,
                     n,
                     k,
                     std::max(rows_a, 1) + test::random_int(0, 2),
                     std::max(rows_b, 1) + test::random_int(0, 2),
                     std::max(m, 1) + test::random_int(0, 2),
                     pick(scalars),
                     pick(scalars),
                     pick(values),
                     pick(offsets)};
}

template <class T>
void check(const char *name, GemmFn<T> kernel, GemmFn<T> model, bool may_be_4_off = false) {
  SCOPED_TRACE(name);
  std::vector<int> offsets = {0};
  if (may_be_4_off) offsets.push_back(4);
  const int sizes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 16, 17};
  for (int m : sizes)
    for (int n : sizes)
      for (int rep = 0; rep < 3; ++rep) {
        int k = pick(std::vector<int>(std::begin(sizes), std::end(sizes)));
        ASSERT_TRUE(same_as_model(
            kernel, model, random_case<T>(pick(kLetters), pick(kLetters), m, n, k, offsets)));
      }
  // Every letter pair on the peel shapes and the thin shapes.
  for (char ta : kLetters)
    for (char tb : kLetters)
      for (auto [m, n, k] :
           {std::tuple{5, 3, 4}, std::tuple{7, 6, 9}, std::tuple{2, 6, 5}, std::tuple{6, 3, 5},
            std::tuple{6, 5, 2}, std::tuple{1, 5, 6}, std::tuple{5, 1, 6}, std::tuple{6, 5, 1}})
        ASSERT_TRUE(same_as_model(kernel, model, random_case<T>(ta, tb, m, n, k, offsets)));
  // Every alpha with every beta.
  for (T alpha : Scalars<T>::list())
    for (T beta : Scalars<T>::list())
      for (auto [m, n, k] : {std::tuple{9, 7, 6}, std::tuple{3, 8, 5}, std::tuple{8, 5, 3}})
        for (char ta : {'N', 'T', 'C'}) {
          GemmCase<T> c = random_case<T>(ta, pick(kLetters), m, n, k, offsets);
          c.alpha = alpha;
          c.beta = beta;
          ASSERT_TRUE(same_as_model(kernel, model, c));
        }
  // A few in the hundreds, across the blocking of the inner kernels (and,
  // for few rows, of columns and of l with peeled rows beside them; for
  // four columns of a large A, the column forms side by side).
  for (auto [m, n, k] : {std::tuple{263, 9, 270}, std::tuple{70, 67, 300}, std::tuple{2, 130, 40},
                         std::tuple{130, 3, 17}, std::tuple{101, 57, 3}, std::tuple{6, 530, 800},
                         std::tuple{3, 40, 300}, std::tuple{40, 3, 300}, std::tuple{263, 5, 800},
                         std::tuple{41, 4, 900}})
    for (char ta : {'N', 't', 'C'})
      for (char tb : {'n', 'T'}) {
        GemmCase<T> c = random_case<T>(ta, tb, m, n, k, offsets);
        c.alpha = Scalars<T>::list().back();
        ASSERT_TRUE(same_as_model(kernel, model, c));
      }
}

// Every kernel set this CPU has computes the same bits.
class GemmModel : public test::OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(GemmModel);

TEST_P(GemmModel, RealDrivers) {
  check<float>("sgemm", call<float, __f___zo_pp_sgemm_, false>, model::sgemm, true);
  check<double>("dgemm", call<double, __f___zo_pp_dgemm_, false>, model::dgemm);
}
// Four columns of a large A (the column forms side by side): over long
// sums only a zero of op(B) facing the sole NaN or Inf of its column of A
// shows whether the term is skipped.
template <class T> void check_few_columns_skip(GemmFn<T> kernel, GemmFn<T> model) {
  const int m = 263, k = 800;
  for (char tb : {'N', 'T'})
    for (int n : {4, 5}) {
      const int ldb = tb == 'N' ? k : n;
      Strip<T> a(elements(m, k), 0), b(elements(ldb, tb == 'N' ? n : k), 0);
      Strip<T> want(elements(m, n), 0);
      a.fill(Values::plain);
      b.fill(Values::plain);
      want.fill(Values::plain);
      for (int l = 5; l < k; l += 97) {
        for (int i = 0; i < m; ++i)
          a.set(i + std::size_t(l) * m, test::splat<T>(test::special_part<Part<T>>()));
        for (int j = 0; j < n; ++j)
          if (j % 2 == l % 2 || l % 3 == 0)
            b.set(tb == 'N' ? l + std::size_t(j) * ldb : j + std::size_t(l) * ldb, T(0));
      }
      Strip<T> got(want);
      const T alpha = Scalars<T>::list().back(), beta = pick(Scalars<T>::list());
      kernel('N', tb, m, n, k, alpha, a.data(), m, b.data(), ldb, beta, got.data(), m);
      model('N', tb, m, n, k, alpha, a.data(), m, b.data(), ldb, beta, want.data(), m);
      ASSERT_TRUE(got.same_as(want)) << "N" << tb << " n=" << n;
    }
}

TEST_P(GemmModel, FewColumnsOfALargeASkipZeroTerms) {
  check_few_columns_skip<float>(call<float, __f___zo_pp_sgemm_, false>, model::sgemm);
  check_few_columns_skip<double>(call<double, __f___zo_pp_dgemm_, false>, model::dgemm);
}

TEST_P(GemmModel, InnerKernels) {
  check<float>("sgemmx", call<float, __f___zo_pp_sgemmx_, false>, model::sgemmx, true);
  check<double>("dgemmx", call<double, __f___zo_pp_dgemmx_, false>, model::dgemmx);
}
TEST_P(GemmModel, ComplexKernels) {
  check<c8>("cgemm", call<c8, __f___zo_pp_cgemm_, false>, model::cgemm, true);
  check<c16>("zgemm", call<c16, __f___zo_pp_zgemm_, false>, model::zgemm);
}
TEST_P(GemmModel, AlignmentSafeKernels) {
  check<double>("dgemm_don", call<double, __f___zo_dgemm_don_, true>, model::dgemm_don, true);
  check<c16>("zgemm_don", call<c16, __f___zo_zgemm_don_, true>, model::zgemm_don, true);
}
TEST_P(GemmModel, ThinProductKernels) {
  check<float>("sgemm_asp", call<float, __f___zo_pp_sgemm_asp_, false>, model::sgemm_asp, true);
  check<double>("dgemm_asp", call<double, __f___zo_pp_dgemm_asp_, false>, model::dgemm_asp);
  check<c8>("cgemm_asp", call<c8, __f___zo_pp_cgemm_asp_, false>, model::cgemm_asp, true);
  check<c16>("zgemm_asp", call<c16, __f___zo_pp_zgemm_asp_, false>, model::zgemm_asp);
}

// Invalid arguments of the alignment-safe kernels: C(1..m, 1..n) along ldc
// (a negative ldc counting as 0) becomes zero, nothing else moves and A
// and B are not read.
template <class T> void check_validation(GemmFn<T> kernel) {
  struct Bad {
    char ta, tb;
    int m, n, k, lda, ldb, ldc;
  };
  const Bad cases[] = {
      {'N', 'N', 5, 3, 2, 4, 2, 5},  // lda = m - 1
      {'T', 'N', 3, 2, 4, 3, 4, 3},  // lda < k
      {'N', 'T', 3, 4, 2, 3, 3, 4},  // ldb < n
      {'n', 'c', 3, 2, 2, 3, 2, 2},  // ldc < m
      {'X', 'N', 2, 3, 2, 2, 2, 4},  // bad letter
      {'N', ' ', 2, 3, 2, 2, 2, 2},  // bad letter
      {'N', 'N', 3, 2, -1, 3, 1, 3}, // k < 0
      {'N', 'N', 2, 3, 2, 2, 2, -5}, // ldc < 0: every column onto C(1..m)
      {'N', 'N', -1, 3, 2, 1, 2, 1}, // m < 0: nothing
      {'N', 'N', 3, -2, 2, 3, 2, 3}, // n < 0: nothing
      {'N', 'N', 3, 0, 2, 2, 2, 3},  // n = 0 with lda < m: nothing
  };
  for (const Bad &b : cases)
    for (int off : {0, 4}) {
      Strip<T> got(24, off);
      got.fill(Values::plain);
      Strip<T> before(got);
      T one = test::real_element<T>(1);
      kernel(b.ta, b.tb, b.m, b.n, b.k, one, nullptr, b.lda, nullptr, b.ldb, one, got.data(),
             b.ldc);
      for (int i = -4; i < 28; ++i) {
        int ld = std::max(b.ldc, 0);
        bool zeroed = false;
        for (int j = 0; j < b.n; ++j)
          zeroed |= i >= j * ld && i < j * ld + b.m;
        T expected = zeroed ? T{} : before.get(i);
        EXPECT_TRUE(test::same_value(got.get(i), expected))
            << b.ta << b.tb << " m=" << b.m << " n=" << b.n << " ldc=" << b.ldc << " element " << i;
      }
    }
}

TEST_P(GemmModel, AlignmentSafeKernelsZeroCOnInvalidArguments) {
  check_validation<double>(call<double, __f___zo_dgemm_don_, true>);
  check_validation<c16>(call<c16, __f___zo_zgemm_don_, true>);
}

// Quick returns and alpha = 0 read no operand: null A and B.
template <class T, GemmKernel<T> K> void check_reads_no_operand() {
  const i32 m = 5, n = 4, k = 3, ld = 5, none = 0;
  const T zero = T{}, unit = test::real_element<T>(1), two = test::real_element<T>(2);
  T c[20];
  for (T &v : c)
    v = test::splat<T>(std::numeric_limits<Part<T>>::quiet_NaN());
  K("N", "N", &m, &n, &k, &zero, nullptr, &ld, nullptr, &ld, &zero, c, &ld, 1, 1);
  for (const T &v : c)
    EXPECT_TRUE(test::same_value(v, zero));
  // k = 0, beta = 2: C doubled.
  for (T &v : c)
    v = unit;
  K("T", "T", &m, &n, &none, &unit, nullptr, &ld, nullptr, &ld, &two, c, &ld, 1, 1);
  for (const T &v : c)
    EXPECT_TRUE(test::same_value(v, two));
  K("N", "N", &none, &n, &k, &unit, nullptr, &ld, nullptr, &ld, &zero, nullptr, &ld, 1, 1);
  K("N", "N", &m, &none, &k, &unit, nullptr, &ld, nullptr, &ld, &zero, nullptr, &ld, 1, 1);
}

TEST_P(GemmModel, QuickReturnsReadNoOperand) {
  check_reads_no_operand<float, __f___zo_pp_sgemm_>();
  check_reads_no_operand<double, __f___zo_pp_dgemm_>();
  check_reads_no_operand<float, __f___zo_pp_sgemmx_>();
  check_reads_no_operand<double, __f___zo_pp_dgemmx_>();
  check_reads_no_operand<c8, __f___zo_pp_cgemm_>();
  check_reads_no_operand<c16, __f___zo_pp_zgemm_>();
  check_reads_no_operand<double, __f___zo_dgemm_don_>();
  check_reads_no_operand<c16, __f___zo_zgemm_don_>();
}

// By hand, independent of the model: a NaN in A facing a zero of B stays
// out of C in the reference algorithm and reaches C in a thin product's
// loop nest (k = 2); a thin product with two small dimensions takes the
// reference algorithm.
TEST_P(GemmModel, ZeroSkipOnlyOutsideThinNests) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (auto [m, n, k, nan_expected] :
       {std::tuple{6, 6, 2, true}, std::tuple{2, 2, 2, false}, std::tuple{6, 6, 6, false}}) {
    std::vector<double> a(static_cast<std::size_t>(m * k), 1.0),
        b(static_cast<std::size_t>(k * n), 1.0);
    a[0] = nan; // A(1, 1)
    b[0] = 0.0; // B(1, 1)
    std::vector<double> c(static_cast<std::size_t>(m * n), 0.0), cx(c);
    const double one = 1.0;
    __f___zo_pp_dgemm_asp_("N", "N", &m, &n, &k, &one, a.data(), &m, b.data(), &k, &one, c.data(),
                           &m, 1, 1);
    EXPECT_EQ(c[0] != c[0], nan_expected) << m << "x" << n << "x" << k;
    __f___zo_pp_dgemmx_("N", "N", &m, &n, &k, &one, a.data(), &m, b.data(), &k, &one, cx.data(), &m,
                        1, 1);
    EXPECT_FALSE(cx[0] != cx[0]);
  }
}

// COMPLEX(4) thin products form each part from exact double products:
// (1 + 2^-12)^2 - (1 + 2^-11) cancels to 2^-24 exactly, which single
// products would lose.
TEST_P(GemmModel, ThinComplexProductsAreExact) {
  const float e = 1.0f + 0x1p-12f;
  const int m = 4, n = 4, k = 1;
  std::vector<c8> a(4, c8{e, 1.0f + 0x1p-11f}), b(4, c8{e, 1.0f});
  std::vector<c8> c(16, c8{0, 0});
  const c8 one{1, 0}, zero{0, 0};
  __f___zo_pp_cgemm_asp_("N", "N", &m, &n, &k, &one, a.data(), &m, b.data(), &k, &zero, c.data(),
                         &m, 1, 1);
  // temp = alpha*b = (e, 1); C = A*temp: real part e*e - (1 + 2^-11)*1.
  EXPECT_EQ(c[0].re, 0x1p-24f);
}

// ---- The reference BLAS, on data without zeros ---------------------------

template <class T>
using BlasGemm = void (*)(const char *, const char *, const i32 *, const i32 *, const i32 *,
                          const T *, const T *, const i32 *, const T *, const i32 *, const T *, T *,
                          const i32 *, std::size_t, std::size_t);

template <class T> BlasGemm<T> reference_gemm(const char *name) {
  static void *h = dlopen("/usr/lib/x86_64-linux-gnu/blas/libblas.so.3", RTLD_NOW | RTLD_LOCAL);
  return h ? reinterpret_cast<BlasGemm<T>>(dlsym(h, name)) : nullptr;
}

template <class T>
void check_against_reference(GemmFn<T> ours, BlasGemm<T> reference, std::vector<int> offsets) {
  for (auto [m, n, k] :
       {std::tuple{1, 1, 1}, std::tuple{7, 5, 3}, std::tuple{33, 20, 64}, std::tuple{270, 6, 260}})
    for (char ta : {'N', 'T', 'C'})
      for (char tb : {'N', 'T', 'C'})
        for (int off : offsets) {
          GemmCase<T> c = random_case<T>(ta, tb, m, n, k, {off});
          int cols_a = ta == 'N' ? k : m, cols_b = tb == 'N' ? n : k;
          Strip<T> a(elements(c.lda, cols_a), off), b(elements(c.ldb, cols_b), off);
          Strip<T> got(elements(c.ldc, n), off);
          a.fill(Values::plain);
          b.fill(Values::plain);
          got.fill(Values::plain);
          Strip<T> want(got);
          T alpha = Scalars<T>::list().back(), beta = Scalars<T>::list()[4];
          ours(ta, tb, m, n, k, alpha, a.data(), c.lda, b.data(), c.ldb, beta, got.data(), c.ldc);
          reference(&ta, &tb, &m, &n, &k, &alpha, a.data(), &c.lda, b.data(), &c.ldb, &beta,
                    want.data(), &c.ldc, 1, 1);
          EXPECT_TRUE(got.same_as(want)) << c;
        }
}

class GemmReferenceBlas : public test::OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(GemmReferenceBlas);

TEST_P(GemmReferenceBlas, SameOrderSameBits) {
  auto dgemm = reference_gemm<double>("dgemm_");
  auto sgemm = reference_gemm<float>("sgemm_");
  auto zgemm = reference_gemm<c16>("zgemm_");
  if (!dgemm || !sgemm || !zgemm) GTEST_SKIP() << "reference BLAS not installed";
  check_against_reference<double>(call<double, __f___zo_pp_dgemmx_, false>, dgemm, {0});
  check_against_reference<float>(call<float, __f___zo_pp_sgemmx_, false>, sgemm, {0, 4});
  check_against_reference<double>(call<double, __f___zo_dgemm_don_, true>, dgemm, {0, 4});
  check_against_reference<c16>(call<c16, __f___zo_zgemm_don_, true>, zgemm, {0, 4});
}

} // namespace
} // namespace mox2
