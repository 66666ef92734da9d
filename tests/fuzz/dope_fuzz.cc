// Random dope vectors through ALL, ANY and COUNT (whole and along DIM),
// DOT_PRODUCT and MATMUL against the model, bit for bit: ranks 1 to 7,
// extents from -2 up (0 included), strides of either sign and 0, every
// kind and type pair, elements with any bits, NaN and Inf, 1 to 4
// threads, every kernel set.  The battery hashes every result.
#include <algorithm>
#include <vector>

#include "fuzz/fuzz.h"
#include "matmul/promotion.h"
#include "model/model_fastpath.h"
#include "model/model_intrinsics.h"
#include "model/model_logical.h"
#include "support/logical_calls.h"
#include "support/operands.h"

namespace mox2 {
namespace {

using test::random_int;
using test::Reduction;
using test::Words;

// A mask over its own bytes: extents, strides (multiples of the kind, or
// the natural layout, either sign, sometimes 0), bytes where each
// element's low byte is odd with probability `odd`, else 0 with
// probability `zero`.
struct Mask {
  std::vector<char> bytes;
  Words words{1};
};
Mask random_mask(int rank, int kind) {
  std::vector<std::intptr_t> extent(rank), stride(rank);
  std::intptr_t natural = kind, lo = 0, hi = 0, elements = 1;
  for (int d = 0; d < rank; ++d) {
    const std::intptr_t most = d > 0 ? 8 : random_int(0, 9) == 0 ? 5000 : 150;
    const std::intptr_t room = std::max<std::intptr_t>(1, std::min(most, 6000 / elements));
    extent[d] = random_int(0, 19) == 0 ? random_int(-2, 0) : random_int(1, int(room));
    stride[d] = random_int(0, 5) < 3 ? natural : kind * random_int(-3, 3);
    if (random_int(0, 4) == 0) stride[d] = -stride[d];
    if (extent[d] > 0) {
      const std::intptr_t reach = (extent[d] - 1) * stride[d];
      (reach < 0 ? lo : hi) += reach;
      natural *= extent[d];
      elements *= extent[d];
    }
  }
  Mask m;
  const std::size_t unit = std::min(kind, 4), span = std::size_t(hi - lo) + kind;
  m.bytes.resize(span + 72);
  char *first = m.bytes.data() + (64 - reinterpret_cast<std::uintptr_t>(m.bytes.data()) % 64) % 64;
  first += unit * random_int(0, 8 / int(unit) - 1);
  const double odd[] = {1.0, 0.999, 0.5, 0.01, 0.0}, zero[] = {1.0, 0.999, 0.5};
  std::bernoulli_distribution is_odd(odd[random_int(0, 4)]), is_zero(zero[random_int(0, 2)]);
  for (std::size_t i = 0; i < span; ++i) {
    const int byte = random_int(0, 255);
    first[i] = char(is_odd(test::rng()) ? byte | 1 : is_zero(test::rng()) ? 0 : (byte & ~1) | 2);
  }
  m.words = Words(first - lo, extent, stride);
  return m;
}

void logical_case() {
  const int rank = random_int(1, 7), kind = 1 << random_int(0, 3);
  Mask mask = random_mask(rank, kind);
  const Words &w = mask.words;
  const Reduction op = test::kReductions[random_int(0, 2)];
  SCOPED_TRACE(testing::Message() << test::reduction_name(op) << " kind " << kind << " rank "
                                  << rank);
  const std::int64_t whole = test::call_whole(op, kind, w);
  test::hash_elements(TypeCode::i8, &whole, 1);
  EXPECT_EQ(whole, test::model_whole(op, kind, w));
  if (rank == 1) return;
  // The result along DIM: described column-major over the other extents.
  const int dim = random_int(1, rank), size = op == Reduction::count ? 4 : kind;
  const test::AlongResult got = test::along(op, kind, w, dim);
  std::size_t elements = 1;
  for (int d = 0, j = 0; d < rank; ++d) {
    if (d == dim - 1) continue;
    EXPECT_EQ(got.descriptor.extent(j), std::max<std::intptr_t>(w.extent(d), 0)) << "dim " << dim;
    EXPECT_EQ(got.descriptor.stride(j), std::intptr_t(size * elements)) << "dim " << dim;
    elements *= std::size_t(got.descriptor.extent(j++));
  }
  test::hash_elements(TypeCode::i8, got.values.data(), got.values.size());
  EXPECT_EQ(got.values, test::model_along(op, kind, w, dim - 1)) << "dim " << dim;
}

// An extent from -2 up, mostly small, now and then past the blocking.
std::intptr_t extent(int most) {
  const int r = random_int(0, 15);
  return r == 0   ? random_int(-2, -1)
         : r == 1 ? 0
         : r == 2 ? random_int(most, 4 * most)
         : r == 3 ? random_int(4 * most, 16 * most)
                  : random_int(1, most);
}

// A random operand of `extents` (negative ones described as such over no
// element), strides sometimes 0.
template <int R> test::Operand<R> operand(TypeCode code, const std::intptr_t (&e)[R]) {
  auto count = [](std::intptr_t x) { return std::size_t(std::max<std::intptr_t>(x, 0)); };
  const test::ValueMix mix{random_int(0, 2) == 0 ? 0.2 : 0.0};
  test::Operand<R> op;
  if constexpr (R == 1)
    op = test::random_operand(code, count(e[0]), mix);
  else
    op = test::random_operand(code, count(e[0]), count(e[1]), mix);
  for (int d = 0; d < R; ++d) {
    op.dope.extent[d] = e[d];
    if (random_int(0, 9) == 0) op.dope.stride[d] = 0;
  }
  return op;
}

template <TypeCode R>
void expect_same(const char *what, const void *got, const ElementType<R> *want, std::size_t n) {
  test::hash_elements(R, got, n);
  for (std::size_t i = 0; i < n; ++i) {
    const char *g = static_cast<const char *>(got) + i * sizeof(ElementType<R>);
    ASSERT_TRUE(test::same_value(R, g, &want[i]))
        << what << " element " << i << ": got " << test::show_value(R, g) << ", want "
        << test::show_value(R, &want[i]);
  }
}

template <TypeCode A, TypeCode B, TypeCode R, auto F> void dot_case(int) {
  const std::intptr_t n = extent(12), more = random_int(0, 3) == 0 ? random_int(1, 3) : 0;
  // b as long as a, longer, or (but for the fast path) empty.
  const std::intptr_t nb = !has_fast_path(A, B) && random_int(0, 9) == 0 ? 0 : n + more;
  auto a = operand<1>(A, {n});
  auto b = operand<1>(B, {nb});
  ElementType<R> want;
  if constexpr (has_fast_path(A, B))
    want = model::fast_dot<A>(a.dope, b.dope);
  else
    want = model::dot_product<A, B, R>(a.dope, b.dope);
  const ElementType<R> got = test::call_dot<R>(F, a.dope, b.dope);
  expect_same<R>("DOT_PRODUCT", &got, &want, 1);
}

template <TypeCode A, TypeCode B, TypeCode R, auto F12, auto F21, auto F22>
void matmul_case(int threads) {
  const std::intptr_t m = extent(9), k = extent(9), n = extent(9);
  // The extent matched against k: equal, longer, or empty alone (but for
  // the fast path's a22, which takes k rows of b).
  const int form = random_int(0, 2);
  std::intptr_t kb = k + (random_int(0, 5) == 0 ? random_int(1, 2) : 0);
  if ((!has_fast_path(A, B) || form == 1) && random_int(0, 9) == 0) kb = 0;
  const std::size_t rows = std::size_t(std::max<std::intptr_t>(m, 0));
  std::vector<ElementType<R>> want;
  DopeVector<1> r1;
  DopeVector<2> r2;
  void *got;
  std::size_t count = rows;
  switch (form) {
  case 0: { // a vector of kb times (k x m)
    auto x = operand<1>(A, {kb});
    auto b = operand<2>(B, {k, m});
    F12(&r1, &x.dope, &b.dope);
    want = model::matmul_a12<A, B, R>(x.dope, b.dope);
    got = r1.base;
    break;
  }
  case 1: { // (m x k) times a vector of kb
    auto a = operand<2>(A, {m, k});
    auto x = operand<1>(B, {kb});
    F21(&r1, &a.dope, &x.dope);
    if constexpr (has_fast_path(A, B))
      want = model::fast_a21<A>(a.dope, x.dope, threads);
    else
      want = model::matmul_a21<A, B, R>(a.dope, x.dope);
    got = r1.base;
    break;
  }
  default: { // (m x k) times (kb x n)
    auto a = operand<2>(A, {m, k}), b = operand<2>(B, {kb, n});
    F22(&r2, &a.dope, &b.dope);
    if constexpr (has_fast_path(A, B))
      want = model::fast_a22<A>(a.dope, b.dope, threads);
    else
      want = model::matmul_a22<A, B, R>(a.dope, b.dope);
    got = r2.base;
    count = rows * std::size_t(std::max<std::intptr_t>(n, 0));
  }
  }
  // Described column-major, with a base even when empty.
  const std::intptr_t e = sizeof(ElementType<R>), mm = std::intptr_t(rows);
  EXPECT_NE(got, nullptr);
  if (form == 2) {
    EXPECT_TRUE(r2.extent[0] == mm && r2.extent[1] == std::max<std::intptr_t>(n, 0) &&
                r2.stride[0] == e && r2.stride[1] == e * mm);
  } else {
    EXPECT_TRUE(r1.extent[0] == mm && r1.stride[0] == e);
  }
  SCOPED_TRACE(testing::Message() << "m " << m << " k " << k << " kb " << kb << " n " << n
                                  << " T=" << threads);
  expect_same<R>("MATMUL", got, want.data(), count);
  std::free(got);
}

using Case = void (*)(int threads);
#define MOX2_DOT_CASE_(a, b, r)                                                                    \
  {"DOT_PRODUCT " #a #b, &dot_case<TypeCode::a, TypeCode::b, TypeCode::r, &__f_dotprod_s1_##a##b>},
#define MOX2_MATMUL_CASE_(a, b, r)                                                                 \
  {"MATMUL " #a #b, &matmul_case<TypeCode::a, TypeCode::b, TypeCode::r, &__f_matmul_a12_##a##b,    \
                                 &__f_matmul_a21_##a##b, &__f_matmul_a22_##a##b>},
const std::pair<const char *, Case> kProducts[] = {MOX2_DOTPROD_PAIRS(MOX2_DOT_CASE_)
                                                       MOX2_MATMUL_PAIRS(MOX2_MATMUL_CASE_)};

void one_case(int threads) {
  if (random_int(0, 1)) return logical_case();
  const auto &[name, product] = kProducts[random_int(0, int(std::size(kProducts)) - 1)];
  SCOPED_TRACE(name);
  product(threads);
}

TEST(DopeFuzz, ReductionsAndProductsMatchTheModel) { test::fuzz_cases("dope", one_case); }

} // namespace
} // namespace mox2
