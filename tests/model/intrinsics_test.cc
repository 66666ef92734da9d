// DOT_PRODUCT and MATMUL of every type pair against the model, case by
// case as model/product_cases.h draws them, on 1 to 4 threads, each case
// on the next kernel set the CPU has.
#include <omp.h>

#include <gtest/gtest.h>

#include "model/product_cases.h"
#include "runtime/parallel.h"
#include "support/isas.h"

namespace mox2 {
namespace {

// Every case on the next kernel set, with a thread count and, every other
// case, every loop offered to the team.
void check(const test::Product &p, int c) {
  static const std::vector<Isa> isas = test::supported_isas();
  test::UseIsa use(isas[std::size_t(c) % isas.size()]);
  test::Team team(1 + c % 4, c % 2 ? 0 : threaded_work());
  ASSERT_TRUE(p.run(c, nullptr)) << p.name << " case " << c << " on " << isa_name(active_isa())
                                 << " T=" << omp_get_max_threads();
}

TEST(IntrinsicsModel, DotProductOfEveryPair) {
  for (const test::Product &p : test::kDotProducts)
    for (int c = 0; c < 60 && !HasFailure(); ++c)
      check(p, c);
}

void check_matmul(bool fast_path) {
  for (const test::Product &p : test::kMatmuls)
    for (int c = 0; c < 30 * (fast_path ? 4 : 1) && p.fast == fast_path; ++c) {
      check(p, c);
      if (::testing::Test::HasFailure()) return;
    }
}
TEST(IntrinsicsModel, MatmulOfTheFastPathPairs) { check_matmul(true); }
TEST(IntrinsicsModel, MatmulOfTheOtherPairs) { check_matmul(false); }

} // namespace
} // namespace mox2
