// ALL, ANY and COUNT against a plain model of their definitions, on masks
// whose elements carry arbitrary bits (only bit 0 decides ALL and COUNT,
// only the low byte ANY), on every kernel set.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <utility>

#include <gtest/gtest.h>

#include "model/model_logical.h"
#include "support/arrays.h"
#include "support/isas.h"
#include "support/logical_calls.h"

namespace mox2::test {
namespace {

// Random element bits: true for ALL/COUNT with probability p_bit0, and
// when bit 0 is clear, a zero low byte with probability p_low_zero (ANY
// false) though higher bytes may be set.  Elements `spacing` bytes apart
// (0: kind).
void fill_random(char *p, int kind, std::size_t n, double p_bit0, double p_low_zero,
                 std::size_t spacing = 0) {
  if (spacing == 0) spacing = kind;
  std::bernoulli_distribution bit0(p_bit0), low_zero(p_low_zero);
  for (std::size_t i = 0; i < n; ++i) {
    std::uint64_t v = rng()();
    if (bit0(rng()))
      v |= 1;
    else if (low_zero(rng()))
      v &= ~std::uint64_t(0xFF);
    else
      v = (v & ~std::uint64_t(1)) | 2;
    put_element(p + i * spacing, kind, static_cast<std::int64_t>(v));
  }
}

const double kShares[][2] = {{1.0, 0}, {0.999, 1.0}, {0.5, 0.5}, {0.0, 1.0}, {0.0, 0.999}};

class LogicalModel : public OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(LogicalModel);

TEST_P(LogicalModel, RandomSectionsOfEveryRankAndKind) {
  for (int kind : {1, 2, 4, 8})
    for (int rank = 1; rank <= 7; ++rank)
      for (int trial = 0; trial < 12; ++trial) {
        std::vector<std::intptr_t> extent(rank);
        for (int d = 0; d < rank; ++d)
          extent[d] = random_int(0, 30) == 0 ? random_int(-1, 0)
                                             : random_int(1, d > 0      ? (rank > 3 ? 3 : 7)
                                                             : rank > 3 ? 20
                                                                        : 90);
        int unit = kind < 4 ? kind : 4;
        Section s(kind, extent, unit * random_int(0, 63 / unit));
        const double *share = kShares[trial % 5];
        fill_random(s.element(0), kind, s.parent_elements, share[0], share[1]);
        Words mask = s.words();
        for (Reduction op : kReductions) {
          std::int64_t whole = model_whole(op, kind, mask);
          std::vector<std::vector<std::int64_t>> along(rank + 1);
          for (int dim = 1; rank > 1 && dim <= rank; ++dim)
            along[dim] = model_along(op, kind, mask, dim - 1);
          const int size = op == Reduction::count ? 4 : kind;
          SCOPED_TRACE(testing::Message() << reduction_name(op) << " kind " << kind << " rank "
                                          << rank << " trial " << trial);
          EXPECT_EQ(call_whole(op, kind, mask), whole);
          for (int dim = 1; rank > 1 && dim <= rank; ++dim) {
            Words result(rank - 1);
            call_along(op, kind, result, mask, dim);
            std::size_t elements = 1;
            for (int d = 0, j = 0; d < rank; ++d) {
              if (d == dim - 1) continue;
              EXPECT_EQ(result.extent(j), extent[d] > 0 ? extent[d] : 0) << "dim " << dim;
              EXPECT_EQ(result.stride(j), static_cast<std::intptr_t>(size * elements));
              elements *= result.extent(j++);
            }
            std::vector<std::int64_t> got;
            for (std::size_t i = 0; i < elements; ++i)
              got.push_back(result_element(result.base(), size, i));
            EXPECT_EQ(got, along[dim]) << "dim " << dim;
            std::free(result.base());
          }
        }
      }
}

// Along a later dimension, long lines of result elements (past the 4096
// of one pass) over long sections, where ALL and ANY are decided only by
// the last element of one section, or early everywhere.
TEST_P(LogicalModel, LongLinesAlongLaterDimensions) {
  const std::vector<std::vector<std::intptr_t>> shapes = {
      {1100, 40}, {4100, 3}, {6, 300}, {3, 500}, {40, 5, 70}, {2, 3, 200}, {4500, 2, 3}};
  for (int kind : {1, 2, 4, 8})
    for (const auto &shape : shapes)
      for (int trial = 0; trial < 5; ++trial) {
        const int rank = static_cast<int>(shape.size());
        Section s(kind, shape, kind < 4 ? kind : 4);
        fill_random(s.element(0), kind, s.parent_elements, kShares[trial][0], kShares[trial][1]);
        Words mask = s.words();
        for (int dim = 2; dim <= rank; ++dim) {
          // One section decided by its last element: a false for ALL and
          // COUNT on an all-true mask, a true for ANY on an all-false one.
          char *late = static_cast<char *>(mask.base()) + (shape[0] - 1) / 2 * mask.stride(0) +
                       (shape[dim - 1] - 1) * mask.stride(dim - 1);
          const std::int64_t saved = result_element(late, kind, 0);
          if (trial == 0) put_element(late, kind, 0x100);
          if (trial == 3) put_element(late, kind, 0x1);
          for (Reduction op : kReductions) {
            const std::vector<std::int64_t> expect = model_along(op, kind, mask, dim - 1);
            const int size = op == Reduction::count ? 4 : kind;
            Words result(rank - 1);
            call_along(op, kind, result, mask, dim);
            std::vector<std::int64_t> got;
            for (std::size_t i = 0; i < expect.size(); ++i)
              got.push_back(result_element(result.base(), size, i));
            EXPECT_EQ(got, expect) << reduction_name(op) << " kind " << kind << " rank " << rank
                                   << " dim " << dim << " trial " << trial;
            std::free(result.base());
          }
          put_element(late, kind, saved);
        }
      }
}

// Long masks, contiguous (where the SIMD scans fold their byte counters
// every 255 steps and test whole blocks at once) or with elements 2, 4 or
// 8 bytes apart, whose bytes between elements (all ones or all zeros)
// would decide every reduction if taken as elements; the last element
// ending at or near an unreadable page, LOGICAL(2) and wider also on half
// their alignment, which the scans must not take for whole elements.
TEST_P(LogicalModel, LongMasksContiguousOrSpaced) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE)), pages = 512;
  char *map = static_cast<char *>(mmap(nullptr, (pages + 1) * page, PROT_READ | PROT_WRITE,
                                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(map, MAP_FAILED);
  ASSERT_EQ(mprotect(map + pages * page, page, PROT_NONE), 0);
  for (auto [kind, spacing] :
       {std::pair{1, 1}, std::pair{2, 2}, std::pair{4, 4}, std::pair{8, 8}, std::pair{1, 2},
        std::pair{1, 4}, std::pair{2, 4}, std::pair{1, 8}, std::pair{2, 8}, std::pair{4, 8}})
    for (std::intptr_t n : {1, 2, 3, 31, 32, 33, 65, 129, 4097, 8191, 16320, 65281, 200003})
      for (int trial = 0; trial < 5; ++trial) {
        const int unit = kind > 1 && spacing == kind && n == 16320 ? kind / 2 : kind;
        char *first = map + pages * page - n * spacing - unit * random_int(0, 63 / unit);
        std::memset(first, trial % 2 ? 0xFF : 0x00, n * spacing);
        fill_random(first, kind, n, kShares[trial][0], kShares[trial][1], spacing);
        if (trial == 0 && n % 2 && n > 2) put_element(first + (n - 2) * spacing, kind, 0x100);
        Words mask(first, {n}, {spacing});
        for (Reduction op : kReductions)
          EXPECT_EQ(call_whole(op, kind, mask), model_whole(op, kind, mask))
              << reduction_name(op) << " kind " << kind << " spacing " << spacing << " n " << n
              << " trial " << trial;
      }
  munmap(map, (pages + 1) * page);
}

} // namespace
} // namespace mox2::test
