// Every MATMUL entry point, in all three forms, against the model, bit for
// bit (any two NaNs equal): random shapes (zero extents included), strided,
// reversed and transposed sections, 4-byte aligned 8- and 16-byte data, on
// every kernel set the CPU has, with and without threads.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <omp.h>

#include "matmul/promotion.h"
#include "model/model_intrinsics.h"
#include "runtime/parallel.h"
#include "support/isas.h"
#include "support/operands.h"

namespace mox2 {
namespace {

using test::random_int;
using test::random_operand;

// Cases with threads cut every product that has room for it into bands,
// three threads' worth.
bool threaded_case(int c) { return c == 2 || c % 8 == 6; }
struct ThreadedCase {
  int saved_threads = omp_get_max_threads();
  double saved_work = threaded_work();
  ThreadedCase() {
    omp_set_num_threads(3);
    set_threaded_work(0);
  }
  ~ThreadedCase() {
    omp_set_num_threads(saved_threads);
    set_threaded_work(saved_work);
  }
};

// Each case runs on one kernel set, in turn.
struct IsaCycle {
  std::vector<Isa> isas = test::supported_isas();
  std::size_t next = 0;
  void step() { force_isa(isas[next++ % isas.size()]); }
  ~IsaCycle() { force_isa(detected_isa()); }
};

struct Shape {
  std::size_t m, k, n, k_other; // k_other: the extent matched against k
};

// Mostly small; the first cases of each pair cross the blocking limits
// (more than 256 terms, more rows than one packed block), and case 2 has
// enough columns for several bands of threads.
Shape random_shape(int c, bool is_quad) {
  Shape s;
  if (c < 3) {
    s = {is_quad ? 70u : 150u, static_cast<std::size_t>(is_quad ? 260 : 300), 3, 0};
    if (c == 1) s = {7, 9, is_quad ? 20u : 40u, 0};
    if (c == 2) s.n = 37;
  } else {
    s = {static_cast<std::size_t>(random_int(0, 9)), static_cast<std::size_t>(random_int(0, 9)),
         static_cast<std::size_t>(random_int(0, 9)), 0};
    if (c % 4 == 2) s.n = 1;
  }
  s.k_other = s.k;
  if (c % 13 == 5)
    s.k_other = 0; // only the other extent empty
  else if (c % 7 == 3)
    s.k_other = s.k + random_int(1, 2); // longer than needed
  return s;
}

template <TypeCode R>
void compare(const std::string &what, const std::vector<model::T<R>> &expect, const void *base,
             bool &failed) {
  constexpr std::size_t e = sizeof(model::T<R>);
  for (std::size_t i = 0; i < expect.size() && !failed; ++i) {
    const char *got = static_cast<const char *>(base) + i * e;
    if (!test::same_value(R, got, &expect[i])) {
      ADD_FAILURE() << what << " element " << i << ": got " << test::show_value(R, got)
                    << " expected " << test::show_value(R, &expect[i]);
      failed = true;
    }
  }
}

template <TypeCode A, TypeCode B, TypeCode R, class F12, class F21, class F22>
void check_matmul(const char *pair, F12 f12, F21 f21, F22 f22) {
  constexpr std::intptr_t e = sizeof(model::T<R>);
  constexpr bool quad = Element<A>::kind == 16 || Element<B>::kind == 16;
  IsaCycle isa;
  bool failed = false;
  // Products with one column take the terms in blocks of 65536 values of
  // k: a column of two blocks and a bit, for one real and one complex work
  // type.
  constexpr bool long_column = A == TypeCode::i4 && (B == TypeCode::r8 || B == TypeCode::c8);
  for (int c = 0; c < 40 && !failed; ++c) {
    isa.step();
    Shape s = random_shape(c, quad);
    if (long_column && c == 4) s = {40, 2 * 65536 + 70, 1, 2 * 65536 + 70};
    test::ValueMix mix{c % 3 == 2 ? 0.1 : 0.0};
    const bool plain = c == 0 || c == 3; // contiguous operands: the in-place paths
    auto describe = [&](const char *form) {
      return std::string("__f_matmul_") + form + "_" + pair + " case " + std::to_string(c) +
             (threaded_case(c) ? " (threads)" : "") + " on " + isa_name(active_isa()) + ": m " +
             std::to_string(s.m) + " k " + std::to_string(s.k) + " n " + std::to_string(s.n) +
             " k_other " + std::to_string(s.k_other);
    };
    // The same-type REAL and COMPLEX pairs take the fast path for a21 and
    // a22 (kernel order, conformable operands), tested on their own.
    if constexpr (!has_fast_path(A, B)) { // a22: (m x k) times (k_other x n)
      auto a = random_operand(A, s.m, s.k, mix, plain);
      auto b = random_operand(B, s.k_other, s.n, mix, plain);
      DopeVector<2> r;
      if (threaded_case(c)) {
        ThreadedCase threads;
        f22(&r, &a.dope, &b.dope);
      } else {
        f22(&r, &a.dope, &b.dope);
      }
      ASSERT_NE(r.base, nullptr) << describe("a22");
      EXPECT_EQ(r.extent[0], static_cast<std::intptr_t>(s.m)) << describe("a22");
      EXPECT_EQ(r.extent[1], static_cast<std::intptr_t>(s.n)) << describe("a22");
      EXPECT_EQ(r.stride[0], e);
      EXPECT_EQ(r.stride[1], e * static_cast<std::intptr_t>(s.m));
      compare<R>(describe("a22"), model::matmul_a22<A, B, R>(a.dope, b.dope), r.base, failed);
      std::free(r.base);
    }
    if constexpr (!has_fast_path(A, B)) { // a21: (m x k) times a vector of k_other
      auto a = random_operand(A, s.m, s.k, mix, plain);
      auto x = random_operand(B, s.k_other, mix, plain);
      DopeVector<1> r;
      if (threaded_case(c)) {
        ThreadedCase threads;
        f21(&r, &a.dope, &x.dope);
      } else {
        f21(&r, &a.dope, &x.dope);
      }
      ASSERT_NE(r.base, nullptr) << describe("a21");
      EXPECT_EQ(r.extent[0], static_cast<std::intptr_t>(s.m)) << describe("a21");
      EXPECT_EQ(r.stride[0], e);
      compare<R>(describe("a21"), model::matmul_a21<A, B, R>(a.dope, x.dope), r.base, failed);
      std::free(r.base);
    }
    { // a12: a vector of k_other times (k x m)
      auto x = random_operand(A, s.k_other, mix, plain);
      auto b = random_operand(B, s.k, s.m, mix, plain);
      DopeVector<1> r;
      if (threaded_case(c)) {
        ThreadedCase threads;
        f12(&r, &x.dope, &b.dope);
      } else {
        f12(&r, &x.dope, &b.dope);
      }
      ASSERT_NE(r.base, nullptr) << describe("a12");
      EXPECT_EQ(r.extent[0], static_cast<std::intptr_t>(s.m)) << describe("a12");
      EXPECT_EQ(r.stride[0], e);
      compare<R>(describe("a12"), model::matmul_a12<A, B, R>(x.dope, b.dope), r.base, failed);
      std::free(r.base);
    }
  }
}

#define MOX2_CHECK_(a, b, r)                                                                       \
  check_matmul<TypeCode::a, TypeCode::b, TypeCode::r>(                                             \
      #a #b, &__f_matmul_a12_##a##b, &__f_matmul_a21_##a##b, &__f_matmul_a22_##a##b);

TEST(MatmulModel, EveryPairAgreesInEveryForm) { MOX2_MATMUL_PAIRS(MOX2_CHECK_) }

#undef MOX2_CHECK_

} // namespace
} // namespace mox2
