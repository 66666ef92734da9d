// One GEMV or GEMM case through the library and the model on the same
// data, bit for bit (any two NaNs equal), for the model sweeps and the
// fuzzer: y or C compared whole with guard elements around it (and the
// rows between m and ldc), A, B and x as they were.  Zero x elements face
// NaN and Inf columns of A, zero rows of op(B) face NaN and Inf in op(A)
// (the zero skips decide), and y or C hold NaN where beta = 0 must not
// read them.
#pragma once

#include <omp.h>

#include <algorithm>
#include <array>
#include <limits>
#include <ostream>
#include <vector>

#include <gtest/gtest.h>

#include "kernels/gemm/gemm_block.h"
#include "model/kernel_data.h"
#include "model/model_blas.h"

namespace mox2::test {

using i32 = std::int32_t;
template <class T>
using Gemm = void (*)(const char *, const char *, const i32 *, const i32 *, const i32 *, const T *,
                      const T *, const i32 *, const T *, const i32 *, const T *, T *, const i32 *,
                      std::size_t, std::size_t);
template <class T>
using Gemv = void (*)(const char *, const i32 *, const i32 *, const T *, const T *, const i32 *,
                      const T *, const i32 *, const T *, T *, const i32 *, std::size_t);

// The exported entry points and the alignment-safe kernels (REAL(8) and
// COMPLEX(8) only: `safe`, a constant that sanitizer builds can fold) of
// each type.
template <class T> struct Kernels;
#define MOX2_KERNELS_(T, p, has_safe, safe_gemv, safe_gemm)                                        \
  template <> struct Kernels<T> {                                                                  \
    static constexpr bool safe = has_safe;                                                         \
    static constexpr Gemv<T> gemv = __f95_##p##gemv_, gemv_safe = safe_gemv;                       \
    static constexpr Gemm<T> gemm = __f95_##p##gemm_, gemm_safe = safe_gemm;                       \
  };
MOX2_KERNELS_(float, s, false, nullptr, nullptr)
MOX2_KERNELS_(double, d, true, __f___zo_dgemv_don_, __f___zo_dgemm_don_)
MOX2_KERNELS_(c8, c, false, nullptr, nullptr)
MOX2_KERNELS_(c16, z, true, __f___zo_zgemv_don_, __f___zo_zgemm_don_)
#undef MOX2_KERNELS_

// Elements of a matrix of `cols` columns `ld` apart (at least one).
inline std::size_t cells(int ld, int cols) {
  return std::size_t(std::max(ld, 1)) * std::size_t(std::max(cols, 1));
}
inline constexpr int kAnyLd = std::numeric_limits<int>::min(); // the least plus 0 to 2

// alpha and beta for the alignment-safe kernels, 4 bytes off.
template <class T> Buffer four_bytes_off(T alpha, T beta) {
  Buffer scalars(2 * sizeof(T), 4);
  store<T>(scalars.data(), alpha);
  store<T>(scalars.data() + sizeof(T), beta);
  return scalars;
}

// What a case runs through: the entry point, the real GEMM block, the
// alignment-safe kernel.
enum Target { kEntry = 1, kBlock = 2, kSafe = 4 };

// alpha and beta are scalar() kinds; values as Values.
struct GemvCase {
  char trans;
  int m, n, lda, incx, incy;
  int alpha = 7, beta = 7;
  Values values = Values::plain;
  int threads = 0; // the model sweep: 0 for T = 1 and then 2, 3 or 4
};

inline GemvCase random_gemv_case(char trans, int m, int n) {
  const int incs[] = {1, -1, 3, -3};
  GemvCase c{trans, m, n, std::max(m, 1) + random_int(0, 2), 1, 1};
  c.incx = incs[random_int(0, 3)], c.incy = incs[random_int(0, 3)];
  c.alpha = random_int(0, 7), c.beta = random_int(0, 7);
  c.values = static_cast<Values>(random_int(0, 2));
  return c;
}

// The entry point on `threads` (or the alignment-safe kernel) and the
// model; `result`, when given, receives y.
template <class T>
::testing::AssertionResult run_case(Target target, const GemvCase &c, int threads,
                                    std::vector<T> *result = nullptr) {
  const bool safe = target == kSafe;
  const int len = std::max({c.m, c.n, 0});
  const int off = safe || (sizeof(Part<T>) == 4 && random_int(0, 1)) ? 4 : 0;
  Strip<T> a(cells(c.lda, c.n), off), x(span(len, c.incx), off), want(span(len, c.incy), off);
  a.fill(c.values);
  x.fill(c.values);
  want.fill(c.values);
  if (c.values == Values::zeros && c.lda >= c.m)
    // Columns of A facing a zero x element hold NaN and Inf: only the
    // zero skip keeps them out of y.
    for (int j = 0; j < std::min(c.n, len); ++j)
      if (is_zero(x.get(std::size_t(j) * std::abs(c.incx))))
        for (int i = 0; i < c.m; i += 2)
          a.set(std::size_t(j) * c.lda + i, splat<T>(special_part<Part<T>>()));
  const T alpha = scalar<T>(c.alpha), beta = scalar<T>(c.beta);
  if (is_zero(beta))
    for (std::size_t i = 0; i < span(len, c.incy); ++i)
      want.set(i, splat<T>(std::numeric_limits<Part<T>>::quiet_NaN()));
  const Strip<T> a0(a), x0(x);
  Strip<T> got(want);
  if (!safe) {
    omp_set_num_threads(threads);
    Kernels<T>::gemv(&c.trans, &c.m, &c.n, &alpha, a.data(), &c.lda, x.data(), &c.incx, &beta,
                     got.data(), &c.incy, 1);
    model::gemv<T>(threads, c.trans, c.m, c.n, alpha, a.data(), c.lda, x.data(), c.incx, beta,
                   want.data(), c.incy);
  } else if constexpr (Kernels<T>::safe) {
    Buffer scalars = four_bytes_off(alpha, beta);
    Kernels<T>::gemv_safe(&c.trans, &c.m, &c.n, scalars.as<T>(), a.data(), &c.lda, x.data(),
                          &c.incx, scalars.as<T>() + 1, got.data(), &c.incy, 1);
    model::gemv_safe(c.trans, c.m, c.n, alpha, a.data(), c.lda, x.data(), c.incx, beta, want.data(),
                     c.incy);
  }
  if (result) result->assign(got.data(), got.data() + span(len, c.incy));
  auto r = got.same_as(want);
  if (r) r = a.same_as(a0);
  if (r) r = x.same_as(x0);
  if (!r)
    r << (safe ? " alignment-safe kernel" : " entry point") << " T=" << threads << " " << c.trans
      << " m=" << c.m << " n=" << c.n << " lda=" << c.lda << " incx=" << c.incx
      << " incy=" << c.incy << " alpha " << show_value(kCode<T>, &alpha) << " beta "
      << show_value(kCode<T>, &beta) << " values " << int(c.values);
  return r;
}

// How zeros of op(B) meet NaN and Inf in op(A): not on purpose; whole
// rows l of op(B) zero against specials in op(A)(:, l); the same in one
// column of op(B); op(B) upper triangular (groups of l wholly zero, wholly
// not, and mixed) against NaN and Inf every third l; op(B) all -0 (sums
// from +0); one zero of op(B), at l = 0, k - 1, 256 or anywhere, against
// NaN and Inf in op(A)(:, l) (a block whose only zero sits at its edge).
enum class Zeros { none, rows, column, triangular, minus, lone };

struct GemmCase {
  char ta = 'N', tb = 'N';
  int m = 0, n = 0, k = 0;
  int alpha = 7, beta = 7;
  Values values = Values::plain;
  Zeros zeros = Zeros::none;
  int threads = 0;  // the model sweep: 0 for T = 1 and then 2, 3 or 4
  bool skip = true; // block: the zero skip
  int lda = kAnyLd, ldb = kAnyLd, ldc = kAnyLd;
};

inline std::ostream &operator<<(std::ostream &o, const GemmCase &c) {
  return o << c.ta << c.tb << " m=" << c.m << " n=" << c.n << " k=" << c.k << " lda=" << c.lda
           << " ldb=" << c.ldb << " ldc=" << c.ldc << " alpha " << c.alpha << " beta " << c.beta
           << " values " << int(c.values) << " zeros " << int(c.zeros)
           << (c.skip ? "" : " every term");
}

inline constexpr char kLetters[] = {'N', 'n', 'T', 't', 'C', 'c'};
inline bool plain(char letter) { return letter == 'N' || letter == 'n'; }

inline GemmCase random_gemm_case(int m, int n, int k) {
  GemmCase c;
  c.ta = kLetters[random_int(0, 5)];
  c.tb = kLetters[random_int(0, 5)];
  c.m = m, c.n = n, c.k = k;
  c.alpha = random_int(0, 7);
  c.beta = random_int(0, 7);
  c.values = static_cast<Values>(random_int(0, 2));
  c.zeros = c.values == Values::zeros ? Zeros::rows : Zeros::none;
  return c;
}

// One case through one target (the entry point on `threads`, the real
// GEMM block, the alignment-safe kernel) and the model; `result`, when
// given, receives C.  Zeros other than none need valid leading dimensions.
template <class T>
::testing::AssertionResult run_case(Target target, GemmCase c, int threads,
                                    std::vector<T> *result = nullptr) {
  const bool an = plain(c.ta), bn = plain(c.tb);
  auto ld = [](int given, int rows) {
    return given != kAnyLd ? given : std::max(rows, 1) + random_int(0, 2);
  };
  c.lda = ld(c.lda, an ? c.m : c.k), c.ldb = ld(c.ldb, bn ? c.k : c.n), c.ldc = ld(c.ldc, c.m);
  const int off =
      target == kSafe || ((sizeof(Part<T>) == 4 || target == kBlock) && random_int(0, 1)) ? 4 : 0;
  // C as invalid arguments reach it too: columns ldc apart, or all on
  // column 1's place when ldc is not positive.
  const std::size_t nc = std::max(cells(c.ldc, c.n), std::size_t(std::max(c.m, 1)) +
                                                         std::size_t(std::max(c.n - 1, 0)) *
                                                             std::size_t(std::max(c.ldc, 0)));
  Strip<T> a(cells(c.lda, an ? c.k : c.m), off), b(cells(c.ldb, bn ? c.n : c.k), off);
  Strip<T> want(nc, off);
  a.fill(c.values == Values::zeros ? Values::specials : c.values);
  b.fill(c.values);
  want.fill(c.values);
  auto a_at = [&](int i, int l) { return std::size_t(an ? i + l * c.lda : l + i * c.lda); };
  auto b_at = [&](int l, int j) { return std::size_t(bn ? l + j * c.ldb : j + l * c.ldb); };
  auto special = [] { return splat<T>(special_part<Part<T>>()); };
  auto signed_zero = [] { return splat<T>(random_int(0, 1) ? Part<T>(0) : -Part<T>(0)); };
  const int j0 = random_int(0, std::max(c.n - 1, 0));
  const int lone_l =
      std::min(std::max(c.k - 1, 0),
               std::array{0, c.k - 1, 256, random_int(0, std::max(c.k - 1, 0))}[random_int(0, 3)]);
  // (Operands with too short a leading dimension are never read.)
  const bool lds_valid = c.lda >= (an ? c.m : c.k) && c.ldb >= (bn ? c.k : c.n);
  for (int l = 0; l < c.k && lds_valid; ++l) {
    const bool rows = c.zeros == Zeros::rows && random_int(0, 2) == 0;
    const bool column = (c.zeros == Zeros::column && random_int(0, 4) == 0) ||
                        (c.zeros == Zeros::lone && l == lone_l);
    for (int j = 0; j < c.n; ++j)
      if (rows || (column && j == j0) || (c.zeros == Zeros::triangular && l > j) ||
          c.zeros == Zeros::minus)
        b.set(b_at(l, j), c.zeros == Zeros::minus ? splat<T>(-Part<T>(0)) : signed_zero());
    for (int i = 0; i < c.m; ++i)
      if (rows || column || (c.zeros == Zeros::triangular && l % 3 == 0))
        a.set(a_at(i, l), special());
  }
  const T alpha = scalar<T>(c.alpha), beta = scalar<T>(c.beta);
  if (is_zero(beta) && c.ldc > 0)
    for (int j = 0; j < c.n; ++j)
      for (int i = 0; i < c.m; ++i)
        want.set(std::size_t(i + j * c.ldc), splat<T>(std::numeric_limits<Part<T>>::quiet_NaN()));
  const Strip<T> a0(a), b0(b);
  Strip<T> got(want);
  if (target == kEntry) {
    omp_set_num_threads(threads);
    Kernels<T>::gemm(&c.ta, &c.tb, &c.m, &c.n, &c.k, &alpha, a.data(), &c.lda, b.data(), &c.ldb,
                     &beta, got.data(), &c.ldc, 1, 1);
    model::gemm<T>(threads, c.ta, c.tb, c.m, c.n, c.k, alpha, a.data(), c.lda, b.data(), c.ldb,
                   beta, want.data(), c.ldc);
  } else if (target == kSafe) {
    if constexpr (Kernels<T>::safe) {
      Buffer scalars = four_bytes_off(alpha, beta);
      const T *al = scalars.as<T>();
      Kernels<T>::gemm_safe(&c.ta, &c.tb, &c.m, &c.n, &c.k, al, a.data(), &c.lda, b.data(), &c.ldb,
                            al + 1, got.data(), &c.ldc, 1, 1);
      model::gemm_safe(c.ta, c.tb, c.m, c.n, c.k, alpha, a.data(), c.lda, b.data(), c.ldb, beta,
                       want.data(), c.ldc);
    }
  } else if constexpr (!is_complex_element<T>) {
    kernels::gemm_block(kernels::GemmBlock<T>{kernels::op_of(!an),
                                              kernels::op_of(!bn),
                                              c.m,
                                              c.n,
                                              c.k,
                                              alpha,
                                              {a.data(), c.lda},
                                              {b.data(), c.ldb},
                                              beta,
                                              {got.data(), c.ldc},
                                              c.skip});
    model::gemm_reference(c.ta, c.tb, c.m, c.n, c.k, alpha, a.data(), c.lda, b.data(), c.ldb, beta,
                          want.data(), c.ldc, c.skip);
  }
  if (result) result->assign(got.data(), got.data() + nc);
  auto r = got.same_as(want);
  if (r) r = a.same_as(a0);
  if (r) r = b.same_as(b0);
  if (!r)
    r << " for "
      << (target == kEntry  ? "the entry point"
          : target == kSafe ? "the alignment-safe kernel"
                            : "the block")
      << " T=" << threads << " " << c;
  return r;
}

} // namespace mox2::test
