// The complex GEMM kernels on shapes that cross the blocking of their
// column and dot forms (register tiles of rows and columns, blocks of l,
// of rows and of columns, the lone first column or row), every kernel set against the model bit for
// bit (any two NaNs equal), C compared whole with guard elements and leading dimensions above the
// minimum.  Then the zero skip that only an odd k's leading column has, COMPLEX(4) data whose
// product parts nearly cancel (exact against single form), and the reference BLAS where its order
// is the same.
#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "kernels/kernels.h"
#include "model/kernel_data.h"
#include "model/model_gemm.h"
#include "support/isas.h"

namespace mox2 {
namespace {

using test::Strip;
using test::Values;
using i32 = std::int32_t;

template <class T>
using Kernel = void (*)(const char *, const char *, const i32 *, const i32 *, const i32 *,
                        const T *, const T *, const i32 *, const T *, const i32 *, const T *, T *,
                        const i32 *, std::size_t, std::size_t);
template <class T>
using Model = void (*)(char, char, int, int, int, T, const T *, int, const T *, int, T, T *, int);

template <class T> Kernel<T> kernel();
template <> Kernel<c8> kernel<c8>() { return __f___zo_pp_cgemm_; }
template <> Kernel<c16> kernel<c16>() { return __f___zo_pp_zgemm_; }
template <class T> Model<T> model_of();
template <> Model<c8> model_of<c8>() { return model::cgemm; }
template <> Model<c16> model_of<c16>() { return model::zgemm; }

template <class T> std::vector<T> scalars() {
  return {{0, 0}, {1, 0}, {-1, 0}, {0, 1}, {0.75, -1.5}, {-1.25, 0.5}};
}
template <class T> T pick(const std::vector<T> &v) {
  return v[test::random_int(0, static_cast<int>(v.size()) - 1)];
}

std::size_t elements(int ld, int cols) {
  return static_cast<std::size_t>(std::max(ld, 1)) * static_cast<std::size_t>(std::max(cols, 1));
}

// One product: op(A) = A, A^T or A^H, op(B) = B, B^T or B^H.
template <class T> struct Case {
  char ta, tb;
  int m, n, k, lda, ldb, ldc;
  T alpha, beta;
};

template <class T> std::ostream &operator<<(std::ostream &o, const Case<T> &c) {
  return o << c.ta << c.tb << " m=" << c.m << " n=" << c.n << " k=" << c.k << " lda=" << c.lda
           << " ldb=" << c.ldb << " ldc=" << c.ldc << " alpha=" << test::show(c.alpha)
           << " beta=" << test::show(c.beta) << " on " << isa_name(active_isa());
}

template <class T> Case<T> random_case(int m, int n, int k) {
  char tb = pick(std::vector<char>{'N', 'n', 'T', 't', 'C', 'c'});
  bool b_plain = tb == 'N' || tb == 'n';
  char ta = pick(std::vector<char>{'N', 'n', 'T', 't', 'C', 'c'});
  bool a_plain = ta == 'N' || ta == 'n';
  return Case<T>{ta,
                 tb,
                 m,
                 n,
                 k,
                 (a_plain ? m : k) + test::random_int(0, 3),
                 (b_plain ? k : n) + test::random_int(0, 3),
                 m + test::random_int(0, 3),
                 pick(scalars<T>()),
                 pick(scalars<T>())};
}

template <class T> struct Operands {
  Strip<T> a, b, c;
  explicit Operands(const Case<T> &x)
      : a(elements(x.lda, x.ta == 'N' || x.ta == 'n' ? x.k : x.m), 0),
        b(elements(x.ldb, x.tb == 'N' || x.tb == 'n' ? x.n : x.k), 0), c(elements(x.ldc, x.n), 0) {}
  // The stored element behind op(A)(i, l) (conjugated for A^H).
  T &a_at(const Case<T> &x, int i, int l) {
    bool plain = x.ta == 'N' || x.ta == 'n';
    return a.data()[plain ? i + l * x.lda : l + i * x.lda];
  }
  T &b_at(const Case<T> &x, int l, int j) {
    bool plain = x.tb == 'N' || x.tb == 'n';
    return b.data()[plain ? l + j * x.ldb : j + l * x.ldb];
  }
};

// Kernel and model on the same operands; C compared whole.
template <class T>::testing::AssertionResult same_as_model(const Case<T> &x, Operands<T> &in) {
  Strip<T> want(in.c), got(in.c);
  kernel<T>()(&x.ta, &x.tb, &x.m, &x.n, &x.k, &x.alpha, in.a.data(), &x.lda, in.b.data(), &x.ldb,
              &x.beta, got.data(), &x.ldc, 1, 1);
  model_of<T>()(x.ta, x.tb, x.m, x.n, x.k, x.alpha, in.a.data(), x.lda, in.b.data(), x.ldb, x.beta,
                want.data(), x.ldc);
  auto r = got.same_as(want);
  if (!r) r << " for " << x;
  return r;
}

class ComplexGemmBlocked : public test::OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(ComplexGemmBlocked);

// Rows around the tile heights (16 and 32) and the row blocks, columns
// around the tile width (4), k around the l blocks (256), odd and even.
template <class T> void blocked_shapes() {
  const int rows[] = {1, 2, 15, 16, 17, 24, 31, 33, 34, 40, 48, 64, 95, 97, 191, 193, 194};
  const int cols[] = {1, 3, 4, 5, 8, 11};
  const int depths[] = {2, 3, 6, 7, 255, 256, 257, 258, 513};
  const Values values[] = {Values::plain, Values::specials, Values::zeros};
  for (int m : rows)
    for (int n : cols) {
      Case<T> x =
          random_case<T>(m, n, pick(std::vector<int>(std::begin(depths), std::end(depths))));
      Operands<T> in(x);
      Values v = values[test::random_int(0, 2)];
      in.a.fill(v);
      in.b.fill(v);
      in.c.fill(v);
      ASSERT_TRUE(same_as_model(x, in));
    }
  // Across the blocks of columns, and of rows for the dot form.
  for (auto [m, n, k] : {std::tuple{3, 1541, 4}, std::tuple{3, 1541, 5}, std::tuple{6, 261, 3},
                         std::tuple{5, 261, 258}, std::tuple{1925, 5, 4}, std::tuple{1924, 3, 3}}) {
    Case<T> x = random_case<T>(m, n, k);
    Operands<T> in(x);
    in.a.fill(Values::specials);
    in.b.fill(Values::specials);
    in.c.fill(Values::plain);
    ASSERT_TRUE(same_as_model(x, in));
  }
}

TEST_P(ComplexGemmBlocked, EverySetMatchesTheModelAcrossTheBlocking) {
  blocked_shapes<c16>();
  blocked_shapes<c8>();
}

// Products with fewer rows than a vector (vectors along C's rows), every
// pair of letters, beta zero (even k) or not (odd k: the lone leading
// column or row as well), across the blocks of l and more than one vector
// of columns.
template <class T> void few_rows_shapes() {
  const char letters[] = {'N', 'T', 'C'};
  for (int m : {2, 5, 7, 15})
    for (char ta : letters)
      for (char tb : letters)
        for (bool beta_zero : {true, false}) {
          const bool a_plain = ta == 'N', b_plain = tb == 'N';
          const int n = 40, k = beta_zero ? 520 : 521;
          Case<T> x{ta,
                    tb,
                    m,
                    n,
                    k,
                    a_plain ? m + 1 : k,
                    b_plain ? k : n + 2,
                    m + 3,
                    T{0.75, -1.5},
                    beta_zero ? T{0, 0} : T{-1.25, 0.5}};
          Operands<T> in(x);
          // Plain values, so that every sum is finite and shows its
          // order; specials in C, which beta = 0 must not read.
          in.a.fill(Values::plain);
          in.b.fill(Values::plain);
          in.c.fill(Values::specials);
          ASSERT_TRUE(same_as_model(x, in));
        }
}

TEST_P(ComplexGemmBlocked, FewRowsAcrossTheBlocksOfL) {
  few_rows_shapes<c16>();
  few_rows_shapes<c8>();
}

// For op(B) = B or B^T only the leading column of an odd k skips a zero
// b(1, j): NaN and Inf in A(:, 1) then never reach column j of C, while for
// an even k, and for a zero b(l, j) further on, 0 meets them like any other
// value.  For op(B) = B^H every zero b(l, j) skips its term.
template <class T> void zero_skip() {
  using P = Part<T>;
  const P nan = std::numeric_limits<P>::quiet_NaN(), inf = std::numeric_limits<P>::infinity();
  for (int k : {3, 4, 7, 257, 258})
    for (bool conj : {false, true}) {
      Case<T> x = random_case<T>(37, 9, k);
      x.ta = 'N';
      // op(B) = B^H keeps the reference order's skip of every zero term.
      x.tb = conj ? pick(std::vector<char>{'C', 'c'}) : pick(std::vector<char>{'N', 'n', 'T', 't'});
      x.ldb = (x.tb == 'N' || x.tb == 'n' ? x.k : x.n) + 1;
      x.lda = x.m + 1;
      x.alpha = T{0.75, -1.5};
      x.beta = pick(std::vector<T>{{0, 0}, {1, 0}});
      Operands<T> in(x);
      in.a.fill(Values::plain);
      in.b.fill(Values::plain);
      in.c.fill(Values::plain);
      for (int i = 0; i < x.m; ++i) {
        in.a.data()[i] = T{i % 2 ? nan : inf, -inf};                 // A(:, 1)
        in.a.data()[i + (k - 1) * x.lda] = T{i % 3 ? P(1) : inf, 0}; // A(:, k)
      }
      in.b_at(x, 0, 0) = T{0, 0};
      in.b_at(x, 0, 1) = T{-P(0), P(0)};
      in.b_at(x, 0, 3) = T{-P(0), -P(0)};
      in.b_at(x, k - 1, 3) = T{0, 0};
      ASSERT_TRUE(same_as_model(x, in));
      Strip<T> got(in.c);
      kernel<T>()(&x.ta, &x.tb, &x.m, &x.n, &x.k, &x.alpha, in.a.data(), &x.lda, in.b.data(),
                  &x.ldb, &x.beta, got.data(), &x.ldc, 1, 1);
      auto is_nan = [&](int i, int j) {
        T v = got.data()[i + j * x.ldc];
        return v.re != v.re || v.im != v.im;
      };
      const bool skips_only_lone = !conj && k % 2 == 1, skips_all = conj;
      for (int i = 0; i < x.m; ++i) {
        const bool lone_reaches = !skips_only_lone && !skips_all;
        EXPECT_EQ(is_nan(i, 0), lone_reaches) << "C(" << i << ", 1), k = " << k << " " << x.tb;
        EXPECT_EQ(is_nan(i, 1), lone_reaches) << "C(" << i << ", 2), k = " << k << " " << x.tb;
        EXPECT_TRUE(is_nan(i, 2)) << "C(" << i << ", 3), k = " << k << " " << x.tb;
        EXPECT_EQ(is_nan(i, 3), lone_reaches || (!skips_all && i % 3 == 0))
            << "C(" << i << ", 4), k = " << k << " " << x.tb;
      }
    }
}

TEST_P(ComplexGemmBlocked, ZeroSkipOnlyForTheLoneLeadingColumn) {
  zero_skip<c16>();
  zero_skip<c8>();
}

// COMPLEX(4) products whose parts nearly cancel: b(l, j) = (p, q) and
// A(i, l) = (r, s) with p*r close to q*s, alpha = 1 so that t = b.  The
// exact form (lone column, beta) and the single form (pairs) then round
// differently, and the kernel must follow each where it applies.
void cancelling_c8() {
  std::uniform_real_distribution<float> dist(0.5f, 2.0f);
  for (int k : {3, 4, 33, 257}) {
    Case<c8> x = random_case<c8>(45, 7, k);
    x.alpha = c8{1, 0};
    x.beta = pick(std::vector<c8>{{0, 0}, {1, 0}, {0.75f, -1.5f}});
    Operands<c8> in(x);
    in.c.fill(Values::plain);
    in.b.fill(Values::plain);
    in.a.fill(Values::plain);
    for (int l = 0; l < k; ++l) {
      for (int i = 0; i < x.m; ++i) {
        c8 &bl = in.b_at(x, l, i % x.n);
        c8 &ail = in.a_at(x, i, l);
        float p = bl.re, q = bl.im, s = dist(test::rng());
        ail = c8{q * s / p, s}; // re: p*r - q*s nearly 0
      }
    }
    ASSERT_TRUE(same_as_model(x, in));
    // The data does tell the forms apart: all-exact products differ.
    Strip<c8> single(in.c), exact(in.c);
    model::cgemm(x.ta, x.tb, x.m, x.n, x.k, x.alpha, in.a.data(), x.lda, in.b.data(), x.ldb, x.beta,
                 single.data(), x.ldc);
    model::cgemm_reference(x.ta, x.tb, x.m, x.n, x.k, x.alpha, in.a.data(), x.lda, in.b.data(),
                           x.ldb, x.beta, exact.data(), x.ldc, model::kAllExact);
    EXPECT_FALSE(single.same_as(exact)) << k;
  }
}

TEST_P(ComplexGemmBlocked, NearlyCancellingSinglePrecisionProducts) { cancelling_c8(); }

// ---- The reference BLAS, where its order is ours ---------------------------
// On finite non-zero data its column form's zero test never fires, and its
// dot form's alpha*temp + beta*C is ours for beta = 1.  So COMPLEX(8)
// agrees for every k and m; COMPLEX(4) forms every product in single
// precision, which is ours when k (column form) or m (dot form) is even
// and beta is 0 or 1.

template <class T> Kernel<T> reference_gemm(const char *name) {
  static void *h = dlopen("/usr/lib/x86_64-linux-gnu/blas/libblas.so.3", RTLD_NOW | RTLD_LOCAL);
  return h ? reinterpret_cast<Kernel<T>>(dlsym(h, name)) : nullptr;
}

template <class T> void against_reference(Kernel<T> reference, bool single) {
  for (auto [m, n, k] : {std::tuple{34, 9, 258}, std::tuple{100, 13, 64}, std::tuple{17, 4, 7},
                         std::tuple{18, 5, 9}})
    for (char ta : {'N', 'T', 'C'})
      for (char tb : {'N', 'T'}) {
        bool plain = ta == 'N';
        if (single && (plain ? k : m) % 2) continue;
        Case<T> x = random_case<T>(m, n, k);
        x.ta = ta;
        x.tb = tb;
        x.lda = (plain ? m : k) + 1;
        x.ldb = (tb == 'N' ? k : n) + 2;
        x.alpha = T{0.75, -1.5};
        x.beta = single || !plain ? T{1, 0} : T{-1.25, 0.5};
        Operands<T> in(x);
        in.a.fill(Values::plain);
        in.b.fill(Values::plain);
        in.c.fill(Values::plain);
        Strip<T> got(in.c), want(in.c);
        kernel<T>()(&x.ta, &x.tb, &x.m, &x.n, &x.k, &x.alpha, in.a.data(), &x.lda, in.b.data(),
                    &x.ldb, &x.beta, got.data(), &x.ldc, 1, 1);
        reference(&x.ta, &x.tb, &x.m, &x.n, &x.k, &x.alpha, in.a.data(), &x.lda, in.b.data(),
                  &x.ldb, &x.beta, want.data(), &x.ldc, 1, 1);
        EXPECT_TRUE(got.same_as(want)) << x;
      }
}

TEST_P(ComplexGemmBlocked, ReferenceBlasWhereTheOrderIsTheSame) {
  auto zgemm = reference_gemm<c16>("zgemm_");
  auto cgemm = reference_gemm<c8>("cgemm_");
  if (!zgemm || !cgemm) GTEST_SKIP() << "reference BLAS not installed";
  against_reference<c16>(zgemm, false);
  against_reference<c8>(cgemm, true);
}

} // namespace
} // namespace mox2
