// The blocked GEMM of every SIMD kernel set against the model of
// the reference algorithm, bit for bit (NaNs equal), over
// shapes around the register tiles and the cache blocks, both forms and
// both layouts of B, leading dimensions above the minimum, 4-byte-off
// double data, alpha and beta in {0, 1, -1, random, tiny}, and special
// values where the zero skip and beta = 0 decide.  C is compared whole
// with guard elements and the rows between m and ldc, so any write
// outside the block fails.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kernels/gemm/gemm_block.h"
#include "kernels/kernel_set.h"
#include "model/kernel_data.h"
#include "model/model_gemm.h"
#include "runtime/cpu.h"

namespace mox2 {
namespace {

using kernels::GemmBlock;
using test::Strip;
using test::Values;

// The model of the reference algorithm, for the block as given (a block
// that adds every term: the loops without the zero skip; alpha is not 0).
template <class T> struct ModelOf;
template <> struct ModelOf<float> {
  static constexpr auto *reference = model::sgemm_reference;
  static constexpr auto *loops = model::sgemm_loops;
};
template <> struct ModelOf<double> {
  static constexpr auto *reference = model::dgemm_reference;
  static constexpr auto *loops = model::dgemm_loops;
};
template <class T> void plain_gemm(const GemmBlock<T> &g) {
  const char ta = g.a_transposed ? 'T' : 'N', tb = g.b_transposed ? 'T' : 'N';
  const int m = int(g.m), n = int(g.n), k = int(g.k);
  if (g.skip_zeros)
    ModelOf<T>::reference(ta, tb, m, n, k, g.alpha, g.a, int(g.lda), g.b, int(g.ldb), g.beta, g.c,
                          int(g.ldc));
  else
    ModelOf<T>::loops(ta, tb, m, n, k, g.alpha, g.a, int(g.lda), g.b, int(g.ldb), g.beta, g.c,
                      int(g.ldc), false);
}

template <class T> using GemmFn = bool (*)(const GemmBlock<T> &);

// The blocked form of each kernel set the CPU has that has one.
struct BlockedSet {
  const char *name;
  GemmFn<float> sgemm;
  GemmFn<double> dgemm;
};
std::vector<BlockedSet> blocked_sets() {
  std::vector<BlockedSet> sets;
  for (Isa isa : {Isa::avx512, Isa::avx2, Isa::portable}) {
    if (force_isa(isa) != isa) continue;
    const kernels::KernelSet &set = kernel_set();
    if (set.s.gemm_blocked) sets.push_back({set.name, set.s.gemm_blocked, set.d.gemm_blocked});
  }
  force_isa(detected_isa());
  return sets;
}

template <class T> GemmFn<T> kernel_of(const BlockedSet &s) {
  if constexpr (sizeof(T) == 4)
    return s.sgemm;
  else
    return s.dgemm;
}

struct Case {
  bool ta, tb;
  int m, n, k, lda, ldb, ldc;
  double alpha, beta;
  Values values;
  int offset;              // bytes off natural alignment of every operand
  int zero_column = -1;    // a column of op(B) with zeros (facing NaN/Inf) amid plain ones
  bool every_term = false; // the block adds every term (no zero skips)
  bool triangular = false; // op(B)(l, j) = +-0 for l > j, facing NaN/Inf in op(A)
};

std::ostream &operator<<(std::ostream &o, const Case &c) {
  return o << (c.ta ? 'T' : 'N') << (c.tb ? 'T' : 'N') << " m=" << c.m << " n=" << c.n
           << " k=" << c.k << " lda=" << c.lda << " ldb=" << c.ldb << " ldc=" << c.ldc
           << " alpha=" << c.alpha << " beta=" << c.beta << " values=" << static_cast<int>(c.values)
           << " +" << c.offset << " zero column " << c.zero_column
           << (c.every_term ? " every term" : "") << (c.triangular ? " triangular" : "");
}

// One case through the kernel and the plain model on identical data.
template <class T>::testing::AssertionResult same_as_model(GemmFn<T> kernel, const Case &c) {
  const int a_cols = c.ta ? c.m : c.k, b_cols = c.tb ? c.k : c.n;
  auto len = [](int ld, int cols) { return std::size_t(std::max(ld, 1)) * std::max(cols, 1); };
  Strip<T> a(len(c.lda, a_cols), c.offset), b(len(c.ldb, b_cols), c.offset);
  Strip<T> want(len(c.ldc, c.n), c.offset);
  a.fill(c.values == Values::zeros ? Values::specials : c.values);
  b.fill(c.values);
  want.fill(c.values);
  auto b_at = [&](int l, int j) { return std::size_t(c.tb ? j + l * c.ldb : l + j * c.ldb); };
  auto a_at = [&](int i, int l) { return std::size_t(c.ta ? l + i * c.lda : i + l * c.lda); };
  if (c.values == Values::zeros) {
    // Whole rows of op(B) zero (+0 and -0) facing NaN and Inf in op(A):
    // only the column form's skip keeps them out of C.
    for (int l = 0; l < c.k; l += test::random_int(1, 4)) {
      for (int j = 0; j < c.n; ++j)
        b.set(b_at(l, j), test::random_int(0, 1) ? T(0) : -T(0));
      for (int i = 0; i < c.m; ++i)
        a.set(a_at(i, l), test::special_part<T>());
    }
  }
  if (c.zero_column >= 0)
    for (int l = 0; l < c.k; l += test::random_int(1, 9)) {
      b.set(b_at(l, c.zero_column), T(0));
      for (int i = 0; i < c.m; ++i)
        a.set(a_at(i, l), test::special_part<T>());
    }
  if (c.triangular) {
    // Groups of l wholly zero, wholly not, and mixed near the diagonal;
    // every third value of l meets NaN or Inf.
    for (int j = 0; j < c.n; ++j)
      for (int l = j + 1; l < c.k; ++l)
        b.set(b_at(l, j), test::random_int(0, 1) ? T(0) : -T(0));
    for (int l = 0; l < c.k; l += 3)
      for (int i = 0; i < c.m; ++i)
        a.set(a_at(i, l), test::random_int(0, 1) ? std::numeric_limits<T>::infinity()
                                                 : std::numeric_limits<T>::quiet_NaN());
  }
  if (c.beta == 0)
    for (int j = 0; j < c.n; ++j)
      for (int i = 0; i < c.m; ++i)
        want.set(std::size_t(i + j * c.ldc), std::numeric_limits<T>::quiet_NaN());
  Strip<T> got(want);
  GemmBlock<T> g{c.ta,  c.tb,     c.m,   c.n,       c.k,         T(c.alpha), a.data(),
                 c.lda, b.data(), c.ldb, T(c.beta), want.data(), c.ldc,      !c.every_term};
  plain_gemm(g);
  g.c = got.data();
  if (!kernel(g)) return ::testing::AssertionFailure() << "no workspace for " << c;
  auto r = got.same_as(want);
  if (!r) r << " for " << c;
  return r;
}

const double kScalars[] = {0.0, 1.0, -1.0, 0.8125, -1.4375, 0.25 /* alpha*subnormal = 0 */};
const Values kValues[] = {Values::plain, Values::specials, Values::zeros};

template <class T> Case random_case(bool ta, bool tb, int m, int n, int k) {
  auto pick_scalar = [] { return kScalars[test::random_int(0, 5)]; };
  int off = sizeof(T) == 8 && test::random_int(0, 1) ? 4 : 0;
  int ld_extra = test::random_int(0, 1) ? 0 : test::random_int(1, 5);
  return Case{ta,
              tb,
              m,
              n,
              k,
              std::max(ta ? k : m, 1) + ld_extra,
              std::max(tb ? n : k, 1) + test::random_int(0, 3),
              std::max(m, 1) + ld_extra,
              pick_scalar(),
              pick_scalar(),
              kValues[test::random_int(0, 2)],
              off};
}

template <class T> void check_set(const BlockedSet &set) {
  SCOPED_TRACE(std::string(set.name) + (sizeof(T) == 4 ? " float" : " double"));
  const GemmFn<T> kernel = kernel_of<T>(set);
  for (bool ta : {false, true})
    for (bool tb : {false, true}) {
      // Small shapes on every side of the register tiles (MR is 8 to 48,
      // NR 4 or 8) and the degenerate sizes.
      for (int rep = 0; rep < 120; ++rep) {
        int m = test::random_int(0, 100), n = test::random_int(0, 19), k = test::random_int(0, 12);
        ASSERT_TRUE(same_as_model(kernel, random_case<T>(ta, tb, m, n, k)));
      }
      // Every alpha with every beta.
      for (double alpha : kScalars)
        for (double beta : kScalars)
          for (int k : {0, 5}) {
            Case c = random_case<T>(ta, tb, 29, 11, k);
            c.alpha = alpha;
            c.beta = beta;
            ASSERT_TRUE(same_as_model(kernel, c));
          }
      // Cache blocks: several blocks of l (partial temps of the dot form
      // kept in workspace), of rows of A, and of columns of B.
      for (auto [m, n, k] : {std::tuple{5, 3, 900}, std::tuple{53, 13, 390}, std::tuple{205, 9, 7},
                             std::tuple{3, 3080, 2}, std::tuple{263, 21, 520}})
        for (Values v : kValues) {
          Case c = random_case<T>(ta, tb, m, n, k);
          c.values = v;
          ASSERT_TRUE(same_as_model(kernel, c));
        }
      // Few rows and columns (accumulators of row and column pairs, either
      // way round), depths ending on a partial vector.
      for (int rep = 0; rep < 40; ++rep) {
        int m = test::random_int(4, 16), n = test::random_int(4, 16);
        int k = rep % 4 == 0 ? test::random_int(32, 40) : test::random_int(41, 700);
        ASSERT_TRUE(same_as_model(kernel, random_case<T>(ta, tb, m, n, k)));
      }
      // Column-form products read in place (A in cache, one block of l, or
      // one tile of rows over many blocks of l): op(B) as it stands
      // (alpha = 1) or scaled into a copy, rows dealt to tiles of one to
      // three vectors, a last partial vector and panel; with a zero in
      // op(B) (skipped, so the packed form) or every term added.
      for (int rep = 0; rep < 60; ++rep) {
        // (the first two across blocks of columns; every fourth long)
        const bool long_k = rep % 4 == 3;
        Case c = random_case<T>(ta, tb, test::random_int(1, long_k ? 24 : 100),
                                rep < 2 ? 1100 + rep : test::random_int(1, 40),
                                long_k ? test::random_int(800, 1400)
                                       : test::random_int(13, rep < 2 ? 40 : 300));
        c.alpha = rep % 3 == 0 && c.alpha != 0 ? c.alpha : 1.0;
        c.values = rep % 5 == 4 ? Values::zeros : Values::plain;
        c.every_term = rep % 10 == 9;
        if (rep % 7 == 6) c.zero_column = test::random_int(0, c.n - 1);
        ASSERT_TRUE(same_as_model(kernel, c));
      }
      // Several blocks of rows, of columns and of l at once.
      if (!ta) {
        ASSERT_TRUE(same_as_model(kernel, random_case<T>(ta, tb, 197, 1030, 800)));
      }
      // Rows fewer than a vector, across blocks of columns and of l, the
      // last panel partial, one column's zeros amid plain columns.
      if (!ta)
        for (int m : {1, 2, 3, 4, 8, 12}) {
          Case c = random_case<T>(ta, tb, m, 1030, 800);
          c.values = Values::plain;
          c.zero_column = test::random_int(0, 1029);
          ASSERT_TRUE(same_as_model(kernel, c));
        }
    }
}

// Every product -0: a sum from +0 stays +0, alpha*temp is +0 (one that
// started from -0 would end -0).
template <class T> void check_dot_start(const BlockedSet &set, int m, int n, int k) {
  std::vector<T> a(std::size_t(k) * m, T(1)), b(std::size_t(k) * n, -T(0)), c(std::size_t(m) * n);
  const GemmBlock<T> g{true, false, m, n, k, T(1), a.data(), k, b.data(), k, T(0), c.data(), m};
  ASSERT_TRUE(kernel_of<T>(set)(g));
  for (T v : c)
    ASSERT_FALSE(std::signbit(v)) << set.name << " m=" << m << " n=" << n << " k=" << k;
}

TEST(GemmBlocked, DotFormSumsStartFromPlusZero) {
  for (const BlockedSet &set : blocked_sets()) {
    for (auto [m, n, k] : {std::tuple{5, 5, 37}, std::tuple{4, 12, 64}, std::tuple{20, 9, 40}}) {
      check_dot_start<float>(set, m, n, k);
      check_dot_start<double>(set, m, n, k);
    }
  }
}

// A triangular op(B): the packed panels hold groups of l without a zero,
// groups of zeros and a few mixed ones, which the tiles take group by
// group; a zero b must still keep its NaN and Inf out of C.
template <class T> void check_triangular(const BlockedSet &set) {
  SCOPED_TRACE(std::string(set.name) + (sizeof(T) == 4 ? " float" : " double"));
  for (bool tb : {false, true})
    for (auto [m, n, k] : {std::tuple{100, 64, 300}, std::tuple{53, 40, 520},
                           std::tuple{197, 300, 300}, std::tuple{30, 9, 700}}) {
      Case c = random_case<T>(false, tb, m, n, k);
      c.values = Values::plain;
      c.triangular = true;
      ASSERT_TRUE(same_as_model(kernel_of<T>(set), c));
    }
}

TEST(GemmBlocked, TriangularBSkipsWholeGroups) {
  for (const BlockedSet &set : blocked_sets()) {
    check_triangular<float>(set);
    check_triangular<double>(set);
  }
}

TEST(GemmBlocked, EverySetMatchesTheModel) {
  for (const BlockedSet &set : blocked_sets()) {
    check_set<float>(set);
    check_set<double>(set);
  }
}

} // namespace
} // namespace mox2
