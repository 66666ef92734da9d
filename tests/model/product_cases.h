// DOT_PRODUCT and MATMUL (all three forms) of every type pair through the
// entry points and the model on the same operands, bit for bit (any two
// NaNs equal), for the model sweep and the fuzzer: case c draws random
// sections (strided, reversed, transposed, 8- and 16-byte data 4 bytes
// off, strides that are not multiples of the element, zero strides,
// overlapping columns, empty dimensions with negative extents), special
// values, and shapes across the blocking for its first numbers.  The
// same-type REAL and COMPLEX pairs take the BLAS kernels: the model of
// their fast path on the caller's team size.  MATMUL results are
// described column-major.
#pragma once

#include <omp.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "matmul/promotion.h"
#include "model/model_fastpath.h"
#include "model/model_intrinsics.h"
#include "support/operands.h"

namespace mox2::test {

// Adds results to the same-bits battery (the fuzzer's), or null.
using Hash = void (*)(TypeCode, const void *, std::size_t);

template <TypeCode R>
::testing::AssertionResult same_result(const void *got, const std::vector<ElementType<R>> &want,
                                       Hash hash) {
  if (hash) hash(R, got, want.size());
  return same_elements(R, got, want.data(), want.size());
}

// Sections the random ones lack: a zero stride, (contiguous columns)
// columns that overlap; an empty dimension now and then described by a
// negative extent.
template <int R> void oddify(Operand<R> &op, TypeCode code, int c) {
  const std::intptr_t e = type_info(code).size;
  if (c % 7 == 5) op.dope.stride[R - 1] = 0;
  if constexpr (R == 2)
    if (c % 7 == 6 && op.dope.stride[0] == e && op.dope.extent[0] >= 2 &&
        op.dope.stride[1] >= e * op.dope.extent[0])
      op.dope.stride[1] = e * (op.dope.extent[0] - 1);
  for (int d = 0; d < R; ++d)
    if (op.dope.extent[d] == 0 && c % 3 == 1) op.dope.extent[d] = -1 - c % 2;
}

// A contiguous column-major operand 4 bytes off 8-byte alignment: beside
// an aligned one, the case where the same-type pairs choose their
// alignment-safe kernels for one operand alone (the random sections seldom
// make it).
template <int R>
Operand<R> four_bytes_off(TypeCode code, const std::size_t (&ext)[R], ValueMix mix) {
  const std::size_t e = type_info(code).size, count = ext[0] * ext[R - 1];
  Operand<R> op;
  op.buffer = std::make_unique<Buffer>(std::max<std::size_t>(count, 1) * e, 4);
  op.dope.base = op.buffer->data();
  for (int d = 0; d < R; ++d)
    op.dope.extent[d] = std::intptr_t(ext[d]),
    op.dope.stride[d] = std::intptr_t(d ? e * ext[0] : e);
  for (std::size_t i = 0; i < count; ++i)
    random_value(code, op.buffer->data() + i * e, mix);
  return op;
}

template <TypeCode A, TypeCode B, TypeCode R, auto F>
::testing::AssertionResult dot_case(int c, Hash hash) {
  const std::size_t n = c % 10 == 0 ? random_int(0, 300) : random_int(0, 12);
  // b as long as a, longer, or (but for the fast path) empty alone.
  std::size_t nb = n + (random_int(0, 3) == 0 ? random_int(1, 3) : 0);
  if (c % 25 == 7 && !has_fast_path(A, B)) nb = 0;
  const ValueMix mix{c % 3 == 0 ? 0.15 : 0.0};
  auto a = random_operand(A, n, mix, c % 9 == 0);
  auto b = random_operand(B, nb, mix, c % 9 == 0);
  oddify(b, B, c);
  ElementType<R> want;
  if constexpr (has_fast_path(A, B))
    want = model::fast_dot<A>(a.dope, b.dope);
  else
    want = model::dot_product<A, B, R>(a.dope, b.dope);
  const ElementType<R> got = call_dot<R>(F, a.dope, b.dope);
  return same_result<R>(&got, {want}, hash) << " n " << n << " nb " << nb;
}

struct Shape {
  std::size_t m, k, n, k_other; // k_other: the extent matched against k
};

// Mostly small; the first cases cross the blocking (more than 256 terms,
// more rows than one packed block, several bands of threads, for the fast
// path the GEMM mesh), one pair of each work class a column of two blocks
// of 65536 terms and a bit, every sixteenth k up to 300; zero extents, and
// the matched extent longer
// (for the fast path also where k is 0) or empty alone.
inline Shape shape_of(TypeCode a, TypeCode b, int c) {
  const bool quad = type_info(a).size >= 16 || type_info(b).size >= 16, fast = has_fast_path(a, b);
  const auto small = [] {
    return std::size_t(random_int(0, 3) == 0 ? random_int(0, 3) : random_int(1, 40));
  };
  Shape s{small(), small(), small(), 0};
  if (c == 0) s = {quad ? 70u : 150u, quad ? 260u : 300u, 37, 0};
  if (c == 1) s = {7, 9, quad ? 20u : 100u, 0};
  if (c == 2 && fast) s = {100, 60, 90, 0};
  if (c == 3 && a == TypeCode::i4 && (b == TypeCode::r8 || b == TypeCode::c8))
    s = {8, 2 * 65536 + 70, 1, 0};
  if (c % 16 == 15) s.k = random_int(41, 300); // past a block of terms now and then
  s.k_other = s.k;
  if (c % 13 == 5)
    s.k_other = 0;
  else if (c % 7 == 3 || (c == 4 && fast))
    s.k_other = s.k + random_int(1, 2);
  if (c == 4 && fast) s.k = 0;
  return s;
}

// Case c in every form: x (k_other) times b (k x m); a (m x k) times x
// (k_other); a (m x k) times b (k_other x n, not empty alone for the fast
// path).
template <TypeCode A, TypeCode B, TypeCode R, auto F12, auto F21, auto F22>
::testing::AssertionResult matmul_case(int c, Hash hash) {
  const Shape s = shape_of(A, B, c);
  const std::intptr_t e = sizeof(ElementType<R>), m = s.m, n = s.n;
  const ValueMix mix{c % 3 == 2 ? 0.15 : 0.0};
  const bool fast = has_fast_path(A, B), one_off = fast && c % 4 == 1;
  const bool plain = c % 9 == 4 || one_off; // contiguous operands: the in-place paths
  const int threads = omp_get_max_threads();
  auto check = [&](const char *form, const DopeVector<1> *r1, const DopeVector<2> *r2,
                   const std::vector<ElementType<R>> &want) {
    void *base = r1 ? r1->base : r2->base;
    auto r = ::testing::AssertionResult(base != nullptr &&
                                        (r1 ? r1->extent[0] == m && r1->stride[0] == e
                                            : r2->extent[0] == m && r2->extent[1] == n &&
                                                  r2->stride[0] == e && r2->stride[1] == e * m));
    if (r) r = same_result<R>(base, want, hash);
    std::free(base);
    return r << " " << form << ": m " << s.m << " k " << s.k << " n " << s.n << " k_other "
             << s.k_other;
  };
  DopeVector<1> r1;
  DopeVector<2> r2;
  auto x = random_operand(A, s.k_other, mix, plain);
  auto b = random_operand(B, s.k, s.m, mix, plain);
  oddify(b, B, c);
  F12(&r1, &x.dope, &b.dope);
  auto r = check("a12", &r1, nullptr, model::matmul_a12<A, B, R>(x.dope, b.dope));
  if (!r) return r;

  auto a = random_operand(A, s.m, s.k, mix, plain);
  auto y =
      one_off ? four_bytes_off<1>(B, {s.k_other}, mix) : random_operand(B, s.k_other, mix, plain);
  oddify(a, A, c);
  oddify(y, B, c + 1);
  F21(&r1, &a.dope, &y.dope);
  if constexpr (has_fast_path(A, B))
    r = check("a21", &r1, nullptr, model::fast_a21<A>(a.dope, y.dope, threads));
  else
    r = check("a21", &r1, nullptr, model::matmul_a21<A, B, R>(a.dope, y.dope));
  if (!r) return r;

  auto a2 = random_operand(A, s.m, s.k, mix, plain);
  const std::size_t kb = fast && !s.k_other ? s.k : s.k_other;
  auto b2 = one_off ? four_bytes_off<2>(B, {kb, s.n}, mix) : random_operand(B, kb, s.n, mix, plain);
  oddify(a2, A, c + 1);
  F22(&r2, &a2.dope, &b2.dope);
  if constexpr (has_fast_path(A, B))
    return check("a22", nullptr, &r2, model::fast_a22<A>(a2.dope, b2.dope, threads));
  else
    return check("a22", nullptr, &r2, model::matmul_a22<A, B, R>(a2.dope, b2.dope));
}

struct Product {
  const char *name;
  bool fast; // a same-type REAL or COMPLEX pair
  ::testing::AssertionResult (*run)(int c, Hash hash);
};
#define MOX2_DOT_CASE_(a, b, r)                                                                    \
  {"DOT_PRODUCT " #a #b, has_fast_path(TypeCode::a, TypeCode::b),                                  \
   &dot_case<TypeCode::a, TypeCode::b, TypeCode::r, &__f_dotprod_s1_##a##b>},
#define MOX2_MATMUL_CASE_(a, b, r)                                                                 \
  {"MATMUL " #a #b, has_fast_path(TypeCode::a, TypeCode::b),                                       \
   &matmul_case<TypeCode::a, TypeCode::b, TypeCode::r, &__f_matmul_a12_##a##b,                     \
                &__f_matmul_a21_##a##b, &__f_matmul_a22_##a##b>},
inline const Product kDotProducts[] = {MOX2_DOTPROD_PAIRS(MOX2_DOT_CASE_)};
inline const Product kMatmuls[] = {MOX2_MATMUL_PAIRS(MOX2_MATMUL_CASE_)};
#undef MOX2_DOT_CASE_
#undef MOX2_MATMUL_CASE_

} // namespace mox2::test
