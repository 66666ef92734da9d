// Random dope vectors through ALL, ANY and COUNT (whole and along DIM)
// against the model: ranks 1 to 7, extents from -2 up (0 included),
// strides of either sign and 0, every kind, elements with any bits; and
// DOT_PRODUCT and MATMUL of every type pair as model/product_cases.h draws
// their cases; 1 to 4 threads, every kernel set.  The battery hashes every
// result.
#include <algorithm>
#include <vector>

#include "fuzz/fuzz.h"
#include "model/model_logical.h"
#include "model/product_cases.h"
#include "support/logical_calls.h"

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

// Half the cases a reduction, the others a product of a random pair (its
// case number drawn too).
void one_case(int) {
  if (random_int(0, 1)) return logical_case();
  const int i = random_int(0, int(std::size(test::kDotProducts) + std::size(test::kMatmuls)) - 1);
  const int dots = int(std::size(test::kDotProducts));
  const test::Product &p = i < dots ? test::kDotProducts[i] : test::kMatmuls[i - dots];
  ASSERT_TRUE(p.run(random_int(0, 1 << 20), test::hash_elements)) << p.name;
}

TEST(DopeFuzz, ReductionsAndProductsMatchTheModel) { test::fuzz_cases("dope", one_case); }

} // namespace
} // namespace mox2
