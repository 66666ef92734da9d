// DOT_PRODUCT and MATMUL of the same-type REAL and COMPLEX pairs against
// the model: the operands as BLAS vectors and matrices (or contiguous
// copies where the BLAS conventions cannot describe them), the 8-byte
// address test choosing the alignment-safe kernels, and the model of the
// GEMV and GEMM drivers at the current thread count.  Strided, reversed,
// transposed and 4-byte-off operands, strides that are not multiples of
// the element size, overlapping columns and zero-stride vectors.
#include <omp.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "dotprod/dotprod_fast.h"
#include "matmul/matmul_fast.h"
#include "model/kernel_data.h"
#include "model/model_fastpath.h"
#include "support/isas.h"

namespace mox2 {
namespace {

template <TypeCode C> using E = ElementType<C>;

// A column-major matrix of rows x cols over its own buffer, with element
// strides s1, s2 in bytes and the first element `offset` bytes past an
// 8-byte boundary: the shapes the random sections do not produce.
struct OddOperand {
  std::vector<char> bytes;
  DopeVector<2> dope2;
  DopeVector<1> dope1;
};
template <class T>
OddOperand odd_matrix(std::size_t rows, std::size_t cols, std::intptr_t s1, std::intptr_t s2,
                      std::size_t offset) {
  OddOperand o;
  std::intptr_t span = 64 + std::abs(s1) * std::intptr_t(rows) + std::abs(s2) * std::intptr_t(cols);
  o.bytes.resize(std::size_t(2 * span + 64));
  char *mid = o.bytes.data() + span;
  mid += (8 - reinterpret_cast<std::uintptr_t>(mid) % 8) % 8 + offset;
  for (char &b : o.bytes)
    b = char(test::random_int(0, 255));
  for (std::size_t j = 0; j < cols; ++j)
    for (std::size_t i = 0; i < rows; ++i)
      store<T>(mid + std::intptr_t(i) * s1 + std::intptr_t(j) * s2,
               test::random_element<T>(test::Values::specials));
  o.dope2 = test::make_dope<2>(mid, {std::intptr_t(rows), std::intptr_t(cols)}, {s1, s2});
  o.dope1 = test::make_dope<1>(mid, {std::intptr_t(rows)}, {s1});
  return o;
}

// A random section over its own buffer: element steps, reversal,
// transposition (rank 2), padding, and for 8- and 16-byte types a first
// element 4 bytes off an 8-byte boundary in about half the cases.
template <class T>
OddOperand random_section(std::size_t rows, std::size_t cols, test::Values v, bool plain) {
  const std::intptr_t e = sizeof(T);
  std::intptr_t step = plain ? 1 : test::random_int(1, 3);
  std::intptr_t ld = std::intptr_t(rows) * step + (plain ? 0 : test::random_int(0, 3));
  bool transposed = !plain && test::random_int(0, 3) == 0;
  std::intptr_t s1 = step * e, s2 = ld * e;
  if (transposed) {
    ld = std::intptr_t(cols) * step + test::random_int(0, 2);
    s1 = ld * e;
    s2 = step * e;
  }
  if (!plain && test::random_int(0, 2) == 0) s1 = -s1;
  if (!plain && test::random_int(0, 2) == 0) s2 = -s2;
  std::size_t off = !plain && e >= 8 && test::random_int(0, 1) ? 4 : 0;
  std::intptr_t span =
      std::abs(s1) * std::intptr_t(rows + 1) + std::abs(s2) * std::intptr_t(cols + 1);
  OddOperand o;
  o.bytes.resize(std::size_t(2 * span + 64));
  char *mid = o.bytes.data() + span;
  mid += (8 - reinterpret_cast<std::uintptr_t>(mid) % 8) % 8 + off;
  for (std::size_t j = 0; j < cols; ++j)
    for (std::size_t i = 0; i < rows; ++i)
      store<T>(mid + std::intptr_t(i) * s1 + std::intptr_t(j) * s2, test::random_element<T>(v));
  o.dope2 = test::make_dope<2>(mid, {std::intptr_t(rows), std::intptr_t(cols)}, {s1, s2});
  o.dope1 = test::make_dope<1>(mid, {std::intptr_t(rows)}, {s1});
  return o;
}

template <TypeCode C>
void expect_same(const char *what, const void *got, const std::vector<E<C>> &want,
                 std::size_t count, int c) {
  for (std::size_t i = 0; i < count; ++i) {
    E<C> g = load<E<C>>(static_cast<const char *>(got) + i * sizeof(E<C>));
    if (!test::same_value(g, want[i])) {
      ADD_FAILURE() << what << " case " << c << " element " << i << ": got " << test::show(g)
                    << " want " << test::show(want[i]);
      return;
    }
  }
}

template <TypeCode C, class Dot, class A21, class A22> void check_pair(Dot dot, A21 a21, A22 a22) {
  using T = E<C>;
  constexpr std::intptr_t e = sizeof(T);
  int saved = omp_get_max_threads();
  for (int c = 0; c < 60; ++c) {
    int threads = (int[]){1, 2, 4, 3}[c % 4];
    omp_set_num_threads(threads);
    std::size_t m = test::random_int(0, 3) == 0 ? test::random_int(0, 3) : test::random_int(1, 40);
    std::size_t k = test::random_int(0, 5) == 0 ? test::random_int(0, 3) : test::random_int(1, 40);
    std::size_t n = test::random_int(0, 3) == 0 ? test::random_int(0, 3) : test::random_int(1, 40);
    if (c % 15 == 1) m = 100, n = 90, k = 60; // the mesh on several threads
    auto mix = static_cast<test::Values>(c % 3);
    const bool plain = c % 5 == 0;
    { // DOT_PRODUCT: b at least as long as a.
      auto x = random_section<T>(k, 1, mix, plain);
      auto y = random_section<T>(k + std::size_t(c % 2), 1, mix, plain);
      T want = model::fast_dot<C>(x.dope1, y.dope1);
      T got = dot(x.dope1, y.dope1);
      expect_same<C>("dot_product", &got, {want}, 1, c);
    }
    { // a22
      auto a = random_section<T>(m, k, mix, plain);
      auto b = random_section<T>(k, n, mix, plain);
      DopeVector<2> r;
      a22(&r, &a.dope2, &b.dope2);
      ASSERT_NE(r.base, nullptr);
      EXPECT_EQ(r.extent[0], std::intptr_t(m));
      EXPECT_EQ(r.extent[1], std::intptr_t(n));
      EXPECT_EQ(r.stride[0], e);
      EXPECT_EQ(r.stride[1], e * std::intptr_t(m));
      expect_same<C>("a22", r.base, model::fast_a22<C>(a.dope2, b.dope2, threads), m * n, c);
      std::free(r.base);
    }
    { // a21
      auto a = random_section<T>(m, k, mix, plain);
      auto x = random_section<T>(k, 1, mix, plain);
      DopeVector<1> r;
      a21(&r, &a.dope2, &x.dope1);
      ASSERT_NE(r.base, nullptr);
      EXPECT_EQ(r.extent[0], std::intptr_t(m));
      EXPECT_EQ(r.stride[0], e);
      expect_same<C>("a21", r.base, model::fast_a21<C>(a.dope2, x.dope1, threads), m, c);
      std::free(r.base);
    }
  }
  // Operands no BLAS argument can describe: strides that are not multiples
  // of E (a component of a derived type), overlapping columns (stride2 <
  // rows), zero strides; 4-byte-off data.
  const std::intptr_t odd = e + 4 * (e == 16 ? 2 : 1);
  for (int c = 0; c < 12; ++c) {
    omp_set_num_threads(c % 2 ? 2 : 1);
    std::size_t m = std::size_t(test::random_int(1, 9)), k = std::size_t(test::random_int(1, 9)),
                n = std::size_t(test::random_int(1, 9));
    std::size_t off = sizeof(Part<T>) >= 4 && c % 3 == 0 ? 4 : 0;
    std::intptr_t s1 = c % 2 ? odd : e, s2 = c % 4 < 2 ? e * std::intptr_t(m) - e : odd * 9;
    if (e == 4) s1 = e; // no REAL(4) stride can be off
    // x serves MATMUL (k elements) and DOT_PRODUCT with a column of a (m elements).
    auto a = odd_matrix<T>(m, k, s1, s2, off);
    auto b = odd_matrix<T>(k, n, c % 3 ? odd : e, odd * std::intptr_t(k + 1), 0);
    auto x = odd_matrix<T>(std::max(k, m), 1, c % 4 == 3 ? 0 : odd, 0, off);
    DopeVector<2> r2;
    a22(&r2, &a.dope2, &b.dope2);
    expect_same<C>("a22 odd", r2.base, model::fast_a22<C>(a.dope2, b.dope2, omp_get_max_threads()),
                   m * n, c);
    std::free(r2.base);
    DopeVector<1> r1;
    a21(&r1, &a.dope2, &x.dope1);
    expect_same<C>("a21 odd", r1.base, model::fast_a21<C>(a.dope2, x.dope1, omp_get_max_threads()),
                   m, c);
    std::free(r1.base);
    T got = dot(a.dope1, x.dope1);
    expect_same<C>("dot odd", &got, {model::fast_dot<C>(a.dope1, x.dope1)}, 1, c);
  }
  omp_set_num_threads(saved);
}

// The fast path of one type: DOT_PRODUCT, MATMUL a21 and a22.
template <TypeCode C> void check_type() {
  using Fast = MatmulFastPath<C, C>;
  check_pair<C>([](const DopeVector<1> &a,
                   const DopeVector<1> &b) { return DotprodFastPath<C, C>::run(&a, &b); },
                Fast::a21, Fast::a22);
}

class FastPath : public test::OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(FastPath);

TEST_P(FastPath, Real4) { check_type<TypeCode::r4>(); }
TEST_P(FastPath, Real8) { check_type<TypeCode::r8>(); }
TEST_P(FastPath, Complex8) { check_type<TypeCode::c8>(); }
TEST_P(FastPath, Complex16) { check_type<TypeCode::c16>(); }

// The exported entry points of the eight pairs are the fast paths.
TEST_P(FastPath, EntryPointsTakeIt) {
  auto x = random_section<double>(37, 1, test::Values::plain, false);
  auto a = random_section<double>(37, 29, test::Values::plain, false);
  auto b = random_section<double>(29, 31, test::Values::plain, false);
  double want = DotprodFastPath<TypeCode::r8, TypeCode::r8>::run(&x.dope1, &x.dope1);
  double got = __f_dotprod_s1_r8r8(&x.dope1, &x.dope1);
  EXPECT_TRUE(test::same_value(got, want));
  DopeVector<2> r1, r2;
  MatmulFastPath<TypeCode::r8, TypeCode::r8>::a22(&r1, &a.dope2, &b.dope2);
  __f_matmul_a22_r8r8(&r2, &a.dope2, &b.dope2);
  EXPECT_TRUE(test::same_elements<double>(r1.base, r2.base, 37 * 31));
  std::free(r1.base);
  std::free(r2.base);
  mox2_c8 cw, cg;
  auto cx = random_section<c8>(21, 1, test::Values::plain, false);
  cw = DotprodFastPath<TypeCode::c8, TypeCode::c8>::run(&cx.dope1, &cx.dope1);
  __f_dotprod_s1_c8c8(&cg, &cx.dope1, &cx.dope1);
  EXPECT_TRUE(test::same_value(cg, cw));
}

TEST_P(FastPath, WorkedExamples) {
  // DOT_PRODUCT((0,1),(0,1)) = 1: the first operand is conjugated.
  mox2_c16 u{0, 1};
  DopeVector<1> du = test::make_dope<1>(&u, {1}, {16});
  mox2_c16 r = DotprodFastPath<TypeCode::c16, TypeCode::c16>::run(&du, &du);
  EXPECT_EQ(r.re, 1.0);
  EXPECT_EQ(r.im, 0.0);
  // MATMUL of an M x 0 matrix by an empty vector: M zeros.
  float f[4] = {1, 2, 3, 4};
  DopeVector<2> a0 = test::make_dope<2>(f, {3, 0}, {4, 12});
  DopeVector<1> x0 = test::make_dope<1>(f, {0}, {4}), y;
  MatmulFastPath<TypeCode::r4, TypeCode::r4>::a21(&y, &a0, &x0);
  ASSERT_NE(y.base, nullptr);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(static_cast<float *>(y.base)[i], 0.0f);
  std::free(y.base);
  // An empty result still gets storage.
  DopeVector<2> e0 = test::make_dope<2>(f, {0, 2}, {4, 0}), c;
  MatmulFastPath<TypeCode::r4, TypeCode::r4>::a22(&c, &e0, &a0);
  EXPECT_NE(c.base, nullptr);
  EXPECT_EQ(c.extent[0], 0);
  std::free(c.base);
}

} // namespace
} // namespace mox2
