// ALL, ANY and COUNT against a plain model of their definitions, on masks
// whose elements carry arbitrary bits (only bit 0 decides ALL and COUNT,
// only the low byte ANY), on every kernel set.  (Random sections of every
// rank and kind: the fuzzer and the gfortran oracle.)
#include <algorithm>
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
            EXPECT_EQ(along(op, kind, mask, dim).values, expect)
                << reduction_name(op) << " kind " << kind << " rank " << rank << " dim " << dim
                << " trial " << trial;
          }
          put_element(late, kind, saved);
        }
      }
}

// Masks next to unreadable pages (nothing outside a section is read):
// contiguous (where the SIMD scans fold their byte counters every 255
// steps and test whole blocks at once) or with elements 2 to 16 bytes
// apart, in either direction, whose bytes between and around the
// elements would decide every reduction if taken as elements; every
// length up to 300 and long ones, ending at the page's end or starting at
// its beginning; LOGICAL(2) and wider also on half their alignment, which
// the scans must not take for whole elements.  Random bits of each share,
// and masks all true but for one false element, or all false but for one
// with its low byte set and bit 0 clear (true for ANY alone): the last or
// one anywhere.
TEST_P(LogicalModel, MasksNextToUnreadablePages) {
  struct Trial {
    double p_bit0, p_low_zero;
    int odd_one; // 0 none, 1 the last element, 2 any
    std::int64_t odd_value;
    int around; // the bytes between and around the elements
  };
  const Trial trials[] = {
      {1.0, 0, 0, 0, 0x00},     {0.999, 1.0, 0, 0, 0x00}, {0.5, 0.5, 0, 0, 0xFF},
      {0.0, 1.0, 0, 0, 0xFF},   {0.0, 0.999, 0, 0, 0xFF}, {1.0, 0, 1, 0x100, 0},
      {1.0, 0, 2, 0x100, 0x00}, {0.0, 1.0, 1, 2, 0xFF},   {0.0, 1.0, 2, 2, 0xFF}};
  std::vector<std::intptr_t> lengths = {4097, 8191, 16320, 65281, 200003};
  for (std::intptr_t n = 1; n <= 300; ++n)
    lengths.push_back(n);
  GuardedPages pages(1024);
  for (auto [kind, spacing] : {std::pair{1, 1}, std::pair{2, 2}, std::pair{4, 4}, std::pair{8, 8},
                               std::pair{1, 2}, std::pair{1, 4}, std::pair{2, 4}, std::pair{1, 8},
                               std::pair{2, 8}, std::pair{4, 8}, std::pair{8, 16}})
    for (std::intptr_t n : lengths)
      for (int t = 0; t < int(std::size(trials)); ++t) {
        const Trial &trial = trials[t];
        const bool at_end = (n + t) % 2 == 0, reversed = (n + t) % 3 == 1;
        const int unit = kind > 1 && spacing == kind && n == 16320 ? kind / 2 : kind;
        const std::intptr_t span = (n - 1) * spacing + kind;
        char *low = at_end ? pages.end() - span - unit * random_int(0, 1) * random_int(0, 63 / unit)
                           : pages.begin();
        char *from = std::max(pages.begin(), low - 64),
             *to = std::min(pages.end(), low + span + 64);
        std::memset(from, trial.around, to - from);
        fill_random(low, kind, n, trial.p_bit0, trial.p_low_zero, spacing);
        if (trial.odd_one)
          put_element(low +
                          (trial.odd_one == 1 ? reversed ? 0 : n - 1 : random_int(0, int(n) - 1)) *
                              spacing,
                      kind, trial.odd_value);
        Words mask(reversed ? low + (n - 1) * spacing : low, {n}, {reversed ? -spacing : spacing});
        for (Reduction op : kReductions)
          ASSERT_EQ(call_whole(op, kind, mask), model_whole(op, kind, mask))
              << reduction_name(op) << " kind " << kind << " spacing " << spacing << " n " << n
              << " trial " << t << (reversed ? " reversed" : "") << (at_end ? " at the end" : "");
      }
}

} // namespace
} // namespace mox2::test
