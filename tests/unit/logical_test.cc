// ALL, ANY and COUNT: sections next to unreadable pages (ALL and ANY stop
// where they are decided; the scans of every length: the model tests),
// results along DIM, the diagnostics, and random sections of every rank
// and kind against gfortran's own intrinsics.
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "support/arrays.h"
#include "support/isas.h"
#include "support/logical_calls.h"

// gfortran's ALL, ANY and COUNT of a section of a LOGICAL(1) parent.
extern "C" void oracle_logical(const void *parent, const std::int64_t *dims, int rank,
                               const std::int64_t *lo, const std::int64_t *hi,
                               const std::int64_t *st, int dim, int nres, std::int32_t *all,
                               std::int32_t *any, std::int32_t *count);

namespace mox2::test {
namespace {

constexpr int kKinds[] = {1, 2, 4, 8};

void fill(void *p, int kind, std::size_t n, std::int64_t value) {
  for (std::size_t i = 0; i < n; ++i)
    put_element(static_cast<char *>(p) + i * kind, kind, value);
}

class LogicalWhole : public OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(LogicalWhole);

// Empty masks (a zero or negative extent anywhere) give the identities,
// and along DIM results described (negative extents count as 0) and
// allocated; nothing is read.
TEST_P(LogicalWhole, EmptyMasksAreNeverRead) {
  GuardedPages page; // base lies in the guard
  for (int kind : kKinds)
    for (int rank = 1; rank <= 7; ++rank)
      for (int zero = 0; zero < rank; ++zero) {
        std::vector<std::intptr_t> extent(rank, 3), stride(rank, kind);
        extent[zero] = zero % 2 ? 0 : -5; // a negative extent counts as 0
        Words mask(page.end(), extent, stride);
        EXPECT_EQ(call_whole(Reduction::all, kind, mask), 1);
        EXPECT_EQ(call_whole(Reduction::any, kind, mask), 0);
        EXPECT_EQ(call_whole(Reduction::count, kind, mask), 0);
      }
  AlongResult c = along(Reduction::count, 4, Words(page.end(), {3, 0}, {4, 12}), 1);
  EXPECT_EQ(c.descriptor.w, (std::vector<std::intptr_t>{c.descriptor.w[0], 0, 4}));
  AlongResult a = along(Reduction::all, 8, Words(page.end(), {2, 5, 0}, {8, 16, 80}), 2);
  EXPECT_EQ(a.descriptor.w, (std::vector<std::intptr_t>{a.descriptor.w[0], 2, 0, 8, 16}));
  AlongResult n = along(Reduction::any, 8, Words(page.end(), {2, 5, -3}, {8, 16, 80}), 1);
  EXPECT_EQ(n.descriptor.w, (std::vector<std::intptr_t>{n.descriptor.w[0], 5, 0, 8, 40}));
}

// Column 1 of a 4 x 3 x 2 array decides ALL and ANY.  Contiguous columns
// are one section, which may be read ahead up to the array's end (here
// the edge of an unreadable page) and never past it; columns one element
// apart are walked one by one, and every column after the first lies in
// the unreadable page.
TEST_P(LogicalWhole, AllAndAnyStopAtTheDecidingColumn) {
  GuardedPages page;
  for (int kind : kKinds)
    for (std::intptr_t pitch : {4, 5}) { // elements from one column to the next
      const std::intptr_t readable = pitch == 4 ? 24 : 5;
      char *column = page.end() - readable * kind;
      Words mask(column, {4, 3, 2}, {kind, pitch * kind, 3 * pitch * kind});
      fill(column, kind, readable, 1);
      put_element(column + 2 * kind, kind, 0);
      EXPECT_EQ(call_whole(Reduction::all, kind, mask), 0) << kind << " " << pitch;
      fill(column, kind, readable, 0);
      put_element(column + kind, kind, 1);
      EXPECT_EQ(call_whole(Reduction::any, kind, mask), 1) << kind << " " << pitch;
    }
  // Columns are joined only while the joined run's length stays countable:
  // 4 columns of 2^62 elements, the first element deciding (the scans read
  // whole blocks of a section before they test them: zeros enough for one).
  alignas(64) static std::int8_t data[1 << 16] = {};
  const std::intptr_t rows = std::intptr_t(1) << 62;
  const mox2_dope_vector2 huge = {data, {rows, 4}, {1, rows}};
  EXPECT_EQ(__f_all_s2_l1(&huge), 0);
}

TEST(LogicalDeathTest, UnassociatedMaskAndIllegalDimension) {
  const std::string unassociated = diagnostic(1191, "array argument is not associated");
  EXPECT_EXIT(__f_all_s1_l4(nullptr), testing::KilledBySignal(SIGABRT), unassociated);
  char data[64] = {};
  for (auto [kind, rank] : {std::pair{1, 1}, {2, 3}, {4, 7}, {8, 2}})
    for (Reduction op : kReductions) {
      Words none(nullptr, std::vector<std::intptr_t>(rank, 0), std::vector<std::intptr_t>(rank, 0));
      EXPECT_EXIT(call_whole(op, kind, none), testing::KilledBySignal(SIGABRT), unassociated)
          << reduction_name(op) << rank << kind;
      if (rank == 1) continue;
      const std::vector<std::intptr_t> ones(rank, 1);
      Words result(rank - 1), mask(data, ones, ones);
      for (int dim : {1, 0})
        EXPECT_EXIT(call_along(op, kind, result, none, dim), testing::KilledBySignal(SIGABRT),
                    unassociated);
      for (int dim : {0, -1, rank + 1, 8, INT32_MIN})
        EXPECT_EXIT(call_along(op, kind, result, mask, dim), testing::KilledBySignal(SIGABRT),
                    diagnostic(1192, "DIM argument is out of range"))
            << reduction_name(op) << rank << " dim " << dim;
    }
}

// Results whose size cannot be counted or allocated: out of space.
TEST(LogicalDeathTest, ResultTooLargeIsOutOfSpace) {
  char data[8] = {};
  const std::intptr_t huge = std::intptr_t(1) << 40;
  Words overflowing(data, {huge, 1, huge}, {0, 0, 0});        // 2^80 elements
  Words unobtainable(data, {1 << 20, 1, 1 << 20}, {0, 0, 0}); // 4 TiB of counts
  const std::string out_of_space = diagnostic(12, "Cannot allocate memory");
  for (Reduction op : kReductions) {
    Words result(2);
    EXPECT_EXIT(call_along(op, 4, result, overflowing, 2), testing::KilledBySignal(SIGABRT),
                out_of_space);
#ifndef __SANITIZE_ADDRESS__ // AddressSanitizer ends the process itself
    EXPECT_EXIT(call_along(op, 4, result, unobtainable, 2), testing::KilledBySignal(SIGABRT),
                out_of_space);
#endif
  }
}

std::vector<std::intptr_t> random_extents(int rank) {
  std::vector<std::intptr_t> extent(rank);
  int budget = 2000;
  for (int d = 0; d < rank; ++d) {
    int most = d == 0 ? 150 : rank > 4 ? 3 : 6;
    extent[d] = random_int(0, 40) == 0 ? random_int(-2, 0) : random_int(1, most);
    if (extent[d] > 0) budget /= static_cast<int>(extent[d]);
    if (budget == 0) extent[d] = 1;
  }
  return extent;
}

class LogicalOracle : public OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(LogicalOracle);

TEST_P(LogicalOracle, RandomSectionsMatchGfortran) {
  for (int kind : kKinds)
    for (int rank = 1; rank <= 7; ++rank)
      for (int trial = 0; trial < 15; ++trial) {
        Section s(kind, random_extents(rank), std::min(kind, 4) * random_int(0, 15));
        std::bernoulli_distribution truth((const double[]){0.0, 0.02, 0.5, 0.98, 1.0}[trial % 5]);
        std::vector<std::int8_t> values(s.parent_elements); // the oracle's LOGICAL(1) copy
        for (std::size_t i = 0; i < s.parent_elements; ++i)
          put_element(s.element(i), kind, values[i] = truth(rng()));
        Words mask = s.words();
        SCOPED_TRACE(testing::Message()
                     << "kind " << kind << " rank " << rank << " trial " << trial);
        for (int dim = 0; dim <= (rank > 1 ? rank : 0); ++dim) { // 0: the whole array
          std::size_t nres = 1;
          for (int d = 0; d < rank; ++d)
            if (d != dim - 1) nres *= s.extent[d] > 0 ? s.extent[d] : 0;
          if (dim == 0) nres = 1;
          std::vector<std::int32_t> want[3];
          for (auto &w : want)
            w.resize(nres + 1);
          oracle_logical(values.data(), s.dims.data(), rank, s.lo.data(), s.hi.data(),
                         s.st.data(), dim, int(nres), want[0].data(), want[1].data(),
                         want[2].data());
          for (Reduction op : kReductions) {
            const std::vector<std::int32_t> &w = want[int(op)];
            if (dim == 0)
              EXPECT_EQ(call_whole(op, kind, mask), w[0]) << reduction_name(op);
            else
              EXPECT_EQ(along(op, kind, mask, dim).values,
                        std::vector<std::int64_t>(w.begin(), w.begin() + nres))
                  << reduction_name(op) << " dim " << dim;
          }
        }
      }
}

} // namespace
} // namespace mox2::test
