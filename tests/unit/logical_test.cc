// ALL, ANY and COUNT: the stated edge cases, the diagnostics, reads that
// stay inside the section, and random sections of every rank and kind
// against gfortran's own intrinsics.
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/arrays.h"
#include "support/isas.h"
#include "support/logical_calls.h"

extern "C" {
#define MOX2_ORACLE_PROTOTYPE_(k)                                                                  \
  void mox2_oracle_logical_l##k(void *parent, const std::int64_t *dims, int rank,                  \
                                const std::int64_t *lo, const std::int64_t *hi,                    \
                                const std::int64_t *st, int dim, int nres, std::int32_t *all,      \
                                std::int32_t *any, std::int32_t *count);
MOX2_ORACLE_PROTOTYPE_(1)
MOX2_ORACLE_PROTOTYPE_(2)
MOX2_ORACLE_PROTOTYPE_(4)
MOX2_ORACLE_PROTOTYPE_(8)
#undef MOX2_ORACLE_PROTOTYPE_
}

namespace mox2::test {
namespace {

constexpr int kKinds[] = {1, 2, 4, 8};
const std::string kOutOfSpace = "Cannot allocate memory";

std::string expected_line(int number, const std::string &text) {
  return only_line(diagnostic(number, text.c_str()));
}

// One page of data between two inaccessible pages: a read outside the data
// page ends the test with SIGSEGV.
class GuardedPage {
public:
  GuardedPage() : size_(sysconf(_SC_PAGESIZE)) {
    void *p = mmap(nullptr, 3 * size_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    EXPECT_NE(p, MAP_FAILED);
    region_ = static_cast<char *>(p);
    mprotect(region_ + size_, size_, PROT_READ | PROT_WRITE);
  }
  ~GuardedPage() { munmap(region_, 3 * size_); }
  char *begin() { return region_ + size_; }
  char *end() { return region_ + 2 * size_; }
  std::size_t size() const { return size_; }

private:
  std::size_t size_;
  char *region_;
};

void fill(void *p, int kind, std::size_t n, std::int64_t value) {
  for (std::size_t i = 0; i < n; ++i)
    put_element(static_cast<char *>(p) + i * kind, kind, value);
}

// ---- Edge cases of the whole-array forms --------------------------------

class LogicalWhole : public OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(LogicalWhole);

TEST_P(LogicalWhole, ZeroExtentAnywhereGivesIdentityWithoutReading) {
  GuardedPage page; // the data page is never read: base lies in the guard
  char *unreadable = page.end();
  for (int kind : kKinds)
    for (int rank = 1; rank <= 7; ++rank)
      for (int zero = 0; zero < rank; ++zero) {
        std::vector<std::intptr_t> extent(rank, 3), stride(rank, kind);
        extent[zero] = zero % 2 ? 0 : -5; // a negative extent counts as 0
        Words mask(unreadable, extent, stride);
        EXPECT_EQ(call_whole(Reduction::all, kind, mask), 1);
        EXPECT_EQ(call_whole(Reduction::any, kind, mask), 0);
        EXPECT_EQ(call_whole(Reduction::count, kind, mask), 0);
      }
}

// Column 1 of a 4 x 3 x 2 array decides ALL and ANY.  Contiguous columns
// are one section, which may be read ahead up to the array's end (here
// the edge of an unreadable page) and never past it; columns one element
// apart are walked one by one, and every column after the first lies in
// the unreadable page.
TEST_P(LogicalWhole, AllAndAnyStopAtTheDecidingColumn) {
  GuardedPage page;
  for (int kind : kKinds)
    for (std::intptr_t pitch : {4, 5}) { // elements from one column to the next
      const std::intptr_t readable = pitch == 4 ? 24 : 5;
      char *column = page.end() - readable * kind;
      Words mask(column, {4, 3, 2}, {kind, pitch * kind, 3 * pitch * kind});
      fill(column, kind, readable, 1);
      put_element(column + 2 * kind, kind, 0);
      EXPECT_EQ(call_whole(Reduction::all, kind, mask), 0) << kind << " " << pitch;
      if (pitch == 4) {
        EXPECT_EQ(call_whole(Reduction::count, kind, mask), 23) << kind;
      }
      fill(column, kind, readable, 0);
      put_element(column + kind, kind, 1);
      EXPECT_EQ(call_whole(Reduction::any, kind, mask), 1) << kind << " " << pitch;
    }
}

// Columns are joined only while the joined run's length stays countable:
// 4 columns of 2^62 elements, the first element deciding.
TEST_P(LogicalWhole, ColumnsTooLongToJoinAreTakenOneByOne) {
  alignas(64) static std::int8_t data[4096] = {};
  const std::intptr_t rows = std::intptr_t(1) << 62;
  const mox2_dope_vector2 mask = {data, {rows, 4}, {1, rows}};
  EXPECT_EQ(__f_all_s2_l1(&mask), 0);
}

TEST_P(LogicalWhole, CountOfAMisalignedThousandTrueBytes) {
  // Three elements before the first word, chunks of 480 bytes, a tail.
  Buffer data(1000, 1);
  fill(data.data(), 1, 1000, 1);
  Words mask(data.data(), {1000}, {1});
  EXPECT_EQ(call_whole(Reduction::count, 1, mask), 1000);
}

TEST_P(LogicalWhole, CountOfAllTrueThreeByFourIsTwelve) {
  for (int kind : kKinds) {
    Buffer data(12 * kind);
    fill(data.data(), kind, 12, 1);
    Words mask(data.data(), {3, 4}, {kind, 3 * kind});
    EXPECT_EQ(call_whole(Reduction::count, kind, mask), 12);
    EXPECT_EQ(call_whole(Reduction::all, kind, mask), 1);
  }
}

// Values that are not 0 or 1: ALL and COUNT read bit 0, ANY the low byte,
// on the contiguous path (lengths around every vector width, any start),
// on strided and reversed sections, and for LOGICAL(8).
TEST_P(LogicalWhole, NonCanonicalValuesFollowTheirTests) {
  struct Case {
    int kind;
    std::int64_t value;
    bool bit0, low_byte;
  } cases[] = {
      {1, 2, false, true},
      {1, -1, true, true},
      {1, -2, false, true},
      {2, 0x0100, false, false},
      {2, 0x7F01, true, true},
      {2, 0x00FE, false, true},
      {4, 2, false, true},
      {4, 0x01000000, false, false},
      {4, 0x01000001, true, true},
      {4, -256, false, false},
      {8, 0x100000000ll, false, false},
      {8, 0x7FFFFFFF00000003ll, true, true},
      {8, 0x0000000000008000ll, false, false},
      {8, 0x40, false, true},
  };
  for (const Case &c : cases)
    for (int n : {1, 3, 4, 5, 15, 16, 17, 31, 33, 64, 65, 127, 129, 200, 257, 1000}) {
      for (int skip : {0, 1, 3}) {
        std::intptr_t step = skip + 1;
        int misalign = c.kind >= 4 ? 4 * (n % 2) : c.kind * (n % 5);
        Buffer data(n * step * c.kind, misalign);
        fill(data.data(), c.kind, n * step, c.value);
        for (bool reversed : {false, true}) {
          char *base = reversed ? data.data() + (n - 1) * step * c.kind : data.data();
          Words mask(base, {n}, {(reversed ? -step : step) * c.kind});
          SCOPED_TRACE(testing::Message() << "kind " << c.kind << " value " << c.value << " n " << n
                                          << " step " << step << (reversed ? " reversed" : ""));
          EXPECT_EQ(call_whole(Reduction::all, c.kind, mask), c.bit0 ? 1 : 0);
          EXPECT_EQ(call_whole(Reduction::any, c.kind, mask), c.low_byte ? 1 : 0);
          EXPECT_EQ(call_whole(Reduction::count, c.kind, mask), c.bit0 ? n : 0);
        }
      }
    }
}

// The scans read nothing outside the section: sections that end at, or
// start right after, an unreadable page, of every length up to several
// vectors, with values that never let ALL or ANY stop early.
TEST_P(LogicalWhole, ScansStayInsideTheSection) {
  GuardedPage page;
  for (int kind : kKinds)
    for (std::intptr_t n = 1; n <= 300; ++n) {
      std::size_t bytes = n * kind;
      for (char *start : {page.begin(), page.end() - bytes}) {
        char *last = start + bytes - kind;
        for (bool reversed : {false, true}) {
          Words mask(reversed ? last : start, {n}, {reversed ? -kind : kind});
          fill(start, kind, n, 1);
          ASSERT_EQ(call_whole(Reduction::all, kind, mask), 1);
          ASSERT_EQ(call_whole(Reduction::count, kind, mask), n);
          fill(start, kind, n, 0);
          ASSERT_EQ(call_whole(Reduction::any, kind, mask), 0);
        }
      }
    }
}

// Whichever single element decides, at whatever position and alignment,
// the answer is the same on every kernel set.
TEST_P(LogicalWhole, TheDecidingElementAnywhere) {
  for (int kind : {1, 2, 4})
    for (int misalign : {0, 4, 8 - (kind < 4 ? kind : 4), 36, 60}) {
      const int n = 700;
      Buffer data(n * kind, misalign);
      for (int at = 0; at < n; at += at < 80 ? 1 : 37) {
        for (int len : {at + 1, n}) {
          Words mask(data.data(), {len}, {kind});
          fill(data.data(), kind, n, 1);
          put_element(data.data() + at * kind, kind, 0);
          ASSERT_EQ(call_whole(Reduction::all, kind, mask), 0) << at;
          ASSERT_EQ(call_whole(Reduction::count, kind, mask), len - 1);
          fill(data.data(), kind, n, 0);
          put_element(data.data() + at * kind, kind, 1);
          ASSERT_EQ(call_whole(Reduction::any, kind, mask), 1) << at;
          ASSERT_EQ(call_whole(Reduction::count, kind, mask), 1);
          Words before(data.data(), {at}, {kind}); // the section ends just before it
          ASSERT_EQ(call_whole(Reduction::any, kind, before), 0);
        }
      }
    }
}

// ---- Edge cases along DIM ------------------------------------------------

class LogicalAlong : public OnEachKernelSet {};
MOX2_ON_EACH_KERNEL_SET(LogicalAlong);

struct AlongResult {
  Words descriptor;
  std::vector<std::int64_t> values;
};

AlongResult along(Reduction op, int kind, const Words &mask, int dim) {
  AlongResult r{Words(mask.rank() - 1), {}};
  call_along(op, kind, r.descriptor, mask, dim);
  int size = op == Reduction::count ? 4 : kind;
  std::size_t n = 1;
  for (int d = 0; d < mask.rank() - 1; ++d)
    n *= r.descriptor.extent(d);
  for (std::size_t i = 0; i < n; ++i)
    r.values.push_back(result_element(r.descriptor.base(), size, i));
  EXPECT_NE(r.descriptor.base(), nullptr);
  std::free(r.descriptor.base());
  return r;
}

TEST_P(LogicalAlong, EmptySectionsGiveIdentities) {
  char data[8] = {};
  Words mask(data, {0, 3}, {1, 0});
  for (int kind : kKinds) {
    AlongResult a = along(Reduction::all, kind, mask, 1);
    EXPECT_EQ(a.descriptor.w, (std::vector<std::intptr_t>{a.descriptor.w[0], 3, kind}));
    EXPECT_EQ(a.values, (std::vector<std::int64_t>{1, 1, 1}));
    EXPECT_EQ(along(Reduction::any, kind, mask, 1).values, (std::vector<std::int64_t>{0, 0, 0}));
    EXPECT_EQ(along(Reduction::count, kind, mask, 1).values, (std::vector<std::int64_t>{0, 0, 0}));
  }
}

TEST_P(LogicalAlong, EmptyResultsAreDescribedAndAllocated) {
  GuardedPage page; // nothing is read
  Words mask(page.end(), {3, 0}, {4, 12});
  AlongResult c = along(Reduction::count, 4, mask, 1);
  EXPECT_EQ(c.descriptor.extent(0), 0);
  EXPECT_EQ(c.descriptor.stride(0), 4);
  Words mask8(page.end(), {2, 5, 0}, {8, 16, 80});
  AlongResult a = along(Reduction::all, 8, mask8, 2);
  EXPECT_EQ(a.descriptor.w, (std::vector<std::intptr_t>{a.descriptor.w[0], 2, 0, 8, 16}));
  Words negative(page.end(), {2, 5, -3}, {8, 16, 80});
  AlongResult n = along(Reduction::any, 8, negative, 1);
  EXPECT_EQ(n.descriptor.w, (std::vector<std::intptr_t>{n.descriptor.w[0], 5, 0, 8, 40}));
}

TEST_P(LogicalAlong, CountOfTwoByThree) {
  // [[T, F, T], [F, F, T]], rows listed; column-major in memory.
  for (int kind : kKinds) {
    Buffer data(6 * kind);
    const std::int64_t v[] = {1, 0, 0, 0, 1, 1};
    for (int i = 0; i < 6; ++i)
      put_element(data.data() + i * kind, kind, v[i]);
    Words mask(data.data(), {2, 3}, {kind, 2 * kind});
    EXPECT_EQ(along(Reduction::count, kind, mask, 2).values, (std::vector<std::int64_t>{2, 1}));
    EXPECT_EQ(along(Reduction::count, kind, mask, 1).values, (std::vector<std::int64_t>{1, 0, 2}));
    AlongResult any = along(Reduction::any, kind, mask, 1);
    EXPECT_EQ(any.values, (std::vector<std::int64_t>{1, 0, 1}));
    EXPECT_EQ(any.descriptor.stride(0), kind); // LOGICAL(k) results
    EXPECT_EQ(along(Reduction::all, kind, mask, 2).values, (std::vector<std::int64_t>{0, 0}));
  }
}

TEST_P(LogicalAlong, ResultsAreCanonicalWhateverTheMask) {
  // LOGICAL(8) ALL of elements 0x...03 stores the full 64-bit value 1.
  Buffer data(4 * 8);
  fill(data.data(), 8, 4, 0x7FFFFFFF00000003ll);
  Words mask(data.data(), {2, 2}, {8, 16});
  EXPECT_EQ(along(Reduction::all, 8, mask, 1).values, (std::vector<std::int64_t>{1, 1}));
  EXPECT_EQ(along(Reduction::any, 8, mask, 2).values, (std::vector<std::int64_t>{1, 1}));
}

// ---- Diagnostics ----------------------------------------------------------

TEST(LogicalDeathTest, UnassociatedMask) {
  const std::string line = expected_line(1191, kUnassociated);
  EXPECT_EXIT(__f_all_s1_l4(nullptr), testing::KilledBySignal(SIGABRT), line);
  for (auto [kind, rank] : {std::pair{1, 1}, {2, 3}, {4, 7}, {8, 2}}) {
    Words mask(nullptr, std::vector<std::intptr_t>(rank, 0),
               std::vector<std::intptr_t>(rank, kind));
    for (Reduction op : kReductions)
      EXPECT_EXIT(call_whole(op, kind, mask), testing::KilledBySignal(SIGABRT), line)
          << reduction_name(op) << rank << kind;
  }
  for (int dim : {1, 0, -1, 4}) {
    Words mask(nullptr, {2, 0, 2}, {4, 8, 8});
    Words result(2);
    for (Reduction op : kReductions)
      EXPECT_EXIT(call_along(op, 2, result, mask, dim), testing::KilledBySignal(SIGABRT), line);
  }
}

TEST(LogicalDeathTest, IllegalDimension) {
  char data[64] = {};
  const std::string line = expected_line(1192, kIllegalDimension);
  for (int rank : {2, 5, 7}) {
    Words mask(data, std::vector<std::intptr_t>(rank, 1), std::vector<std::intptr_t>(rank, 1));
    for (int dim : {0, -1, rank + 1})
      for (Reduction op : kReductions) {
        Words result(rank - 1);
        EXPECT_EXIT(call_along(op, 1, result, mask, dim), testing::KilledBySignal(SIGABRT), line)
            << reduction_name(op) << rank << " dim " << dim;
      }
  }
}

TEST(LogicalDeathTest, ResultTooLargeIsOutOfSpace) {
  char data[8] = {};
  const std::intptr_t huge = std::intptr_t(1) << 40;
  Words overflowing(data, {huge, 1, huge}, {0, 0, 0});        // 2^80 elements
  Words unobtainable(data, {1 << 20, 1, 1 << 20}, {0, 0, 0}); // 4 TiB of counts
  for (Reduction op : kReductions) {
    Words result(2);
    EXPECT_EXIT(call_along(op, 4, result, overflowing, 2), testing::KilledBySignal(SIGABRT),
                expected_line(12, kOutOfSpace));
#ifndef __SANITIZE_ADDRESS__ // AddressSanitizer ends the process itself
    EXPECT_EXIT(call_along(op, 4, result, unobtainable, 2), testing::KilledBySignal(SIGABRT),
                expected_line(12, kOutOfSpace));
#endif
  }
}

// ---- Random sections against gfortran --------------------------------------

void oracle(int kind, Section &s, int dim, int nres, std::int32_t *all, std::int32_t *any,
            std::int32_t *count) {
  int rank = static_cast<int>(s.extent.size());
  auto f = kind == 1   ? mox2_oracle_logical_l1
           : kind == 2 ? mox2_oracle_logical_l2
           : kind == 4 ? mox2_oracle_logical_l4
                       : mox2_oracle_logical_l8;
  f(s.parent_data(), s.dims.data(), rank, s.lo.data(), s.hi.data(), s.st.data(), dim, nres, all,
    any, count);
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
  const double true_share[] = {0.0, 0.02, 0.5, 0.98, 1.0};
  for (int kind : kKinds)
    for (int rank = 1; rank <= 7; ++rank)
      for (int trial = 0; trial < 20; ++trial) {
        // gfortran's own code wants LOGICAL(8) 8-byte aligned.
        Section s(kind, random_extents(rank), kind * random_int(0, 63 / kind));
        double share = true_share[trial % 5];
        std::bernoulli_distribution truth(share);
        for (std::size_t i = 0; i < s.parent_elements; ++i)
          put_element(s.element(i), kind, truth(rng()) ? 1 : 0);
        Words mask = s.words();
        SCOPED_TRACE(testing::Message()
                     << "kind " << kind << " rank " << rank << " trial " << trial);
        std::int32_t all, any, count;
        oracle(kind, s, 0, 1, &all, &any, &count);
        EXPECT_EQ(call_whole(Reduction::all, kind, mask), all);
        EXPECT_EQ(call_whole(Reduction::any, kind, mask), any);
        EXPECT_EQ(call_whole(Reduction::count, kind, mask), count);
        if (rank == 1) continue;
        for (int dim = 1; dim <= rank; ++dim) {
          std::size_t nres = 1;
          for (int d = 0; d < rank; ++d)
            if (d != dim - 1) nres *= s.extent[d] > 0 ? s.extent[d] : 0;
          std::vector<std::int32_t> all_n(nres + 1), any_n(nres + 1), count_n(nres + 1);
          oracle(kind, s, dim, static_cast<int>(nres), all_n.data(), any_n.data(), count_n.data());
          std::vector<std::int64_t> all_e(all_n.begin(), all_n.begin() + nres);
          std::vector<std::int64_t> any_e(any_n.begin(), any_n.begin() + nres);
          std::vector<std::int64_t> count_e(count_n.begin(), count_n.begin() + nres);
          EXPECT_EQ(along(Reduction::all, kind, mask, dim).values, all_e) << "dim " << dim;
          EXPECT_EQ(along(Reduction::any, kind, mask, dim).values, any_e) << "dim " << dim;
          EXPECT_EQ(along(Reduction::count, kind, mask, dim).values, count_e) << "dim " << dim;
        }
      }
}

} // namespace
} // namespace mox2::test
