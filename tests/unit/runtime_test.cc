// The parallel-region runtime and the thread services: what the drivers
// rely on (every iteration once, args unchanged, the caller's floating-point
// control register in every body), the thread mesh, option letters and GETENV;
// the kernel set that CPU detection picks.
#include <omp.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/cpu.h"
#include "runtime/parallel.h"
#include "runtime/scratch.h"

namespace mox2 {
namespace {

// The floating-point control register (MXCSR, FPCR) and two states that
// differ from the default in rounding and flushing.
#if defined(__x86_64__)
unsigned fp_control() { return _mm_getcsr(); }
void set_fp_control(unsigned c) { _mm_setcsr(c); }
// Round toward zero or down, flush-to-zero and denormals-are-zero.
unsigned toward_zero_flushing(unsigned c) { return (c & ~0x6000u) | 0x6000u | 0x8040u; }
unsigned downward_flushing(unsigned c) { return (c & ~0x6000u) | 0x2000u | 0x8040u; }
#elif defined(__aarch64__)
unsigned fp_control() { return __builtin_aarch64_get_fpcr(); }
void set_fp_control(unsigned c) { __builtin_aarch64_set_fpcr(c); }
// RMode (bits 22-23) toward zero or down, FZ (bit 24).
unsigned toward_zero_flushing(unsigned c) { return (c & ~(3u << 22)) | (3u << 22) | (1u << 24); }
unsigned downward_flushing(unsigned c) { return (c & ~(3u << 22)) | (2u << 22) | (1u << 24); }
#endif

struct LoopArgs {
  std::atomic<int> hits[4096];
  std::atomic<int> calls{0};
  std::atomic<int> bad_order{0};
  std::atomic<int> wrong_csr{0};
  unsigned want_csr = 0;
  std::int32_t first = 0, last = 0;
};

void count_iterations(void *p, std::int32_t lo, std::int32_t hi) {
  auto &a = *static_cast<LoopArgs *>(p);
  a.calls++;
  if (lo > hi || lo < a.first || hi > a.last) a.bad_order++;
  if (fp_control() != a.want_csr) a.wrong_csr++;
  for (std::int32_t i = lo; i <= hi; ++i)
    a.hits[i - a.first]++;
}

TEST(Runtime, EveryIterationRunsOnceForEveryScheduleAndTeam) {
  int saved = omp_get_max_threads();
  for (int threads : {1, 2, 3, 5, 8}) {
    omp_set_num_threads(threads);
    for (auto [first, last, chunk, schedule] : {std::tuple{0, 0, 0, kScheduleBlocks},
                                                {0, 7, 0, kScheduleBlocks},
                                                {1, 3, 0, kScheduleBlocks},
                                                {1, 4000, 3003, kScheduleFill},
                                                {1, 9, 2, kScheduleFill},
                                                {5, 4, 0, kScheduleBlocks}}) {
      auto *args = new LoopArgs;
      for (auto &h : args->hits)
        h = 0;
      args->first = first;
      args->last = last;
      args->want_csr = fp_control();
      RegionRecord region = loop_region(first, last, chunk, schedule);
      RegionRecord copy = region;
      __mt_MasterFunction_(&region, count_iterations, args, 0, 1, 0);
      for (int i = 0; i <= last - first; ++i)
        EXPECT_EQ(args->hits[i], 1) << i;
      EXPECT_EQ(args->bad_order, 0);
      EXPECT_EQ(args->wrong_csr, 0);
      EXPECT_EQ(std::memcmp(&region, &copy, sizeof region), 0);
      if (last < first) {
        EXPECT_EQ(args->calls, 0);
      }
      delete args;
    }
  }
  omp_set_num_threads(saved);
}

struct CsrProbe {
  std::atomic<int> wrong{0};
  unsigned want;
};
void probe_csr(void *p, std::int32_t lo, std::int32_t hi) {
  auto &c = *static_cast<CsrProbe *>(p);
  for (std::int32_t i = lo; i <= hi; ++i) {
    if (fp_control() != c.want) c.wrong++;
  }
}

TEST(Runtime, BodiesRunWithTheCallersRoundingAndFlushModes) {
  int saved = omp_get_max_threads();
  omp_set_num_threads(4);
  unsigned original = fp_control();
  unsigned changed = toward_zero_flushing(original);
  set_fp_control(changed);
  CsrProbe probe;
  probe.want = changed;
  RegionRecord region = loop_region(0, 63, 0, kScheduleBlocks);
  __mt_MasterFunction_(&region, probe_csr, &probe, 0, 1, 0);
  set_fp_control(original);
  EXPECT_EQ(probe.wrong, 0);
  // The workers got their own state back: a later region under the
  // default state sees the default.
  probe.want = original;
  __mt_MasterFunction_(&region, probe_csr, &probe, 0, 1, 0);
  EXPECT_EQ(probe.wrong, 0);
  omp_set_num_threads(saved);
}

struct ThreadIds {
  std::atomic<int> other{0};
  std::thread::id caller;
};
void note_thread(void *p, std::int32_t, std::int32_t) {
  auto &t = *static_cast<ThreadIds *>(p);
  if (std::this_thread::get_id() != t.caller) t.other++;
}
// Long enough a block that a helper woken for the loop gets one too.
void note_thread_slowly(void *p, std::int32_t lo, std::int32_t hi) {
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  note_thread(p, lo, hi);
}

TEST(Runtime, SmallBlockLoopsStayOnTheCallingThread) {
  int saved = omp_get_max_threads();
  double saved_work = threaded_work();
  omp_set_num_threads(4);
  ThreadIds ids;
  ids.caller = std::this_thread::get_id();
  run_block_loop(note_thread, &ids, 0, 3, threaded_work() / 2);
  EXPECT_EQ(ids.other, 0);
  set_threaded_work(0);
  for (int r = 0; r < 20 && ids.other == 0; ++r)
    run_block_loop(note_thread_slowly, &ids, 0, 3, 1.0);
  EXPECT_GT(ids.other, 0);
  set_threaded_work(saved_work);
  omp_set_num_threads(saved);
}

// The library's own block loops on their helper threads: every block once,
// under the caller's control state, from several calling threads at once
// (one gets the helpers, the others the OpenMP team or themselves).
TEST(Runtime, BlockLoopsRunEveryBlockOnceUnderTheCallersState) {
  int saved = omp_get_max_threads();
  double saved_work = threaded_work();
  set_threaded_work(0);
  omp_set_num_threads(3);
  const unsigned changed = downward_flushing(fp_control());
  auto run = [&](int rounds) {
    const unsigned own = fp_control();
    set_fp_control(changed);
    for (int r = 0; r < rounds; ++r) {
      auto *args = new LoopArgs;
      for (auto &h : args->hits)
        h = 0;
      args->first = 2;
      args->last = 2 + r % 40;
      args->want_csr = changed;
      run_block_loop(count_iterations, args, args->first, args->last, 1.0);
      for (int i = 0; i <= args->last - args->first; ++i)
        EXPECT_EQ(args->hits[i], 1) << i;
      EXPECT_EQ(args->bad_order, 0);
      EXPECT_EQ(args->wrong_csr, 0);
      delete args;
    }
    set_fp_control(own);
  };
  std::vector<std::thread> callers;
  for (int t = 0; t < 3; ++t)
    callers.emplace_back(run, 200);
  run(200);
  for (auto &c : callers)
    c.join();
  set_threaded_work(saved_work);
  omp_set_num_threads(saved);
}

// A child forked while another thread's block loop has the helper threads
// gets a pool of its own: its loops run, rather than wait for threads (the
// pool's, or the OpenMP team's) that stayed in the parent.
TEST(Runtime, ChildForkedDuringABlockLoopRunsItsOwn) {
  int saved = omp_get_max_threads();
  double saved_work = threaded_work();
  set_threaded_work(0);
  omp_set_num_threads(3);
#pragma omp parallel // the parent has had an OpenMP team, as most OpenMP programs have
  { (void)omp_get_thread_num(); }
  struct Hold {
    std::atomic<bool> inside{false}, forked{false};
  } hold;
  std::thread busy([&] {
    run_block_loop(
        [](void *h, std::int32_t, std::int32_t) {
          auto &x = *static_cast<Hold *>(h);
          x.inside = true;
          while (!x.forked)
            std::this_thread::yield();
        },
        &hold, 0, 2, 1.0);
  });
  while (!hold.inside)
    std::this_thread::yield();
  const pid_t child = fork();
  if (child == 0) {
    auto *args = new LoopArgs;
    args->last = 9;
    args->want_csr = fp_control();
    run_block_loop(count_iterations, args, 0, 9, 1.0);
    bool once = args->bad_order == 0;
    for (int i = 0; i <= 9; ++i)
      once = once && args->hits[i] == 1;
    _exit(once ? 0 : 1);
  }
  hold.forked = true;
  busy.join();
  ASSERT_GT(child, 0);
  // A child that hangs is stopped after half a minute (the test fails).
  int status = 0;
  bool ended = false;
  for (int tenths = 0; tenths < 300 && !ended; ++tenths) {
    ended = waitpid(child, &status, WNOHANG) == child;
    if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  if (!ended) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  EXPECT_TRUE(ended) << "the child hung";
  EXPECT_TRUE(ended && WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  set_threaded_work(saved_work);
  omp_set_num_threads(saved);
}

struct PlainArgs {
  std::atomic<int> calls{0};
};
void plain_body(void *p, std::int32_t, std::int32_t) { static_cast<PlainArgs *>(p)->calls++; }

TEST(Runtime, PlainRegionCallsTheBodyOncePerThread) {
  int saved = omp_get_max_threads();
  for (int threads : {1, 3, 6}) {
    omp_set_num_threads(threads);
    PlainArgs args;
    RegionRecord region{};
    region.word[0] = kRegionPlain;
    __mt_MasterFunction_(&region, plain_body, &args, 0, 1, 0);
    EXPECT_EQ(args.calls, threads);
  }
  omp_set_num_threads(saved);
}

TEST(Runtime, UsingThreadsIsOneInsideAnActiveRegionWithoutNesting) {
  int saved_levels = omp_get_max_active_levels();
  omp_set_max_active_levels(1);
  std::atomic<int> ones{0};
#pragma omp parallel num_threads(3)
  {
    if (__f___zo_using_threads_() == 1) ones++;
    if (__omp_in_parallel_() == 0) ones += 100;
  }
  EXPECT_EQ(ones, 3);
  EXPECT_EQ(__omp_in_parallel_(), 0);
  omp_set_max_active_levels(saved_levels);
}

TEST(Runtime, UsingThreadsAsksARegionWhenTheTeamIsDynamic) {
  int saved = omp_get_max_threads();
  omp_set_num_threads(300);
  omp_set_dynamic(0);
  EXPECT_EQ(__f___zo_using_threads_(), 256); // bounded by the block tables
  omp_set_num_threads(3);
  omp_set_dynamic(1);
  std::int32_t t = __f___zo_using_threads_();
  EXPECT_GE(t, 1);
  EXPECT_LE(t, 3);
  omp_set_dynamic(0);
  omp_set_num_threads(saved);
}

TEST(ThreadMesh, TableRowsAndDivisorSearch) {
  const std::int32_t rows[][3] = {
      {1, 1, 1},    {2, 1, 2},     {3, 1, 3},     {4, 2, 2},      {6, 2, 3},
      {7, 1, 7},    {8, 2, 4},     {12, 3, 4},    {16, 4, 4},     {24, 4, 6},
      {32, 4, 8},   {48, 6, 8},    {64, 8, 8},    {96, 8, 12},    {100, 10, 10},
      {128, 8, 16}, {200, 10, 20}, {255, 15, 17}, {256, 16, 16},  {257, 1, 257},
      {258, 6, 43}, {300, 15, 20}, {512, 16, 32}, {1024, 32, 32}, {4096, 64, 64}};
  for (auto &r : rows) {
    std::int32_t p = -1, q = -1;
    __f___zo_factor_mesh_(&r[0], &p, &q);
    EXPECT_EQ(p, r[1]) << r[0];
    EXPECT_EQ(q, r[2]) << r[0];
  }
  // Every n up to 3000: p*q = n, p <= q, and no divisor of n lies in (p, sqrt(n)].
  for (std::int32_t n = 1; n <= 3000; ++n) {
    std::int32_t p, q;
    __f___zo_factor_mesh_(&n, &p, &q);
    ASSERT_EQ(p * q, n);
    ASSERT_LE(p, q);
    for (std::int32_t d = p + 1; d * d <= n; ++d)
      ASSERT_NE(n % d, 0) << n;
  }
}

TEST(Services, LsameIgnoresCaseOnlyForLetters) {
  EXPECT_EQ(__f___zo_lsame_("n", "N", 1, 1), 1);
  EXPECT_EQ(__f___zo_lsame_("N", "n", 1, 1), 1);
  EXPECT_EQ(__f___zo_lsame_("Tx", "t", 2, 1), 1);
  EXPECT_EQ(__f___zo_lsame_("1", "1", 1, 1), 1);
  EXPECT_EQ(__f___zo_lsame_("[", "{", 1, 1), 0);
  EXPECT_EQ(__f___zo_lsame_("N", "T", 1, 1), 0);
  EXPECT_EQ(__f___zo_get_stack_size_(), 0);
}

std::string get(const std::string &name, std::ptrdiff_t value_len) {
  std::string value(static_cast<std::size_t>(value_len > 0 ? value_len : 0) + 4, '#');
  __f___zo_getenv_(name.data(), value.data(), static_cast<std::ptrdiff_t>(name.size()), value_len);
  return value;
}

TEST(Services, GetenvTrimsBlanksPadsAndCuts) {
  setenv("MOX2_TEST_VAR", "abc", 1);
  setenv("MOX2_TEST_EMPTY", "", 1);
  unsetenv("MOX2_TEST_UNSET");
  EXPECT_EQ(get("MOX2_TEST_VAR   ", 6), "abc   ####");
  EXPECT_EQ(get("MOX2_TEST_VAR", 2), "ab####");
  EXPECT_EQ(get("MOX2_TEST_EMPTY", 3), "   ####");
  EXPECT_EQ(get("MOX2_TEST_UNSET", 3), "   ####");
  EXPECT_EQ(get("      ", 3), "   ####");
  EXPECT_EQ(get("MOX2_TEST_VAR", 0), "####");
  EXPECT_EQ(get(std::string("MOX2_TEST_VAR\0zz", 16), 4), "abc ####");
  std::string long_name(300, 'Q');
  setenv(long_name.c_str(), "long", 1);
  EXPECT_EQ(get(long_name + "  ", 5), "long ####");
  unsetenv(long_name.c_str());
  unsetenv("MOX2_TEST_VAR");
  unsetenv("MOX2_TEST_EMPTY");
}

// Under an emulated CPU (tests/CMakeLists.txt names the set it has),
// detection picks that set, and no test can force a better one.
TEST(Cpu, DetectionPicksTheSetOfTheEmulatedCpu) {
  const char *expected = std::getenv("MOX2_EXPECTED_KERNEL_SET");
  if (expected == nullptr) GTEST_SKIP() << "not run under an emulated CPU";
  EXPECT_STREQ(isa_name(detected_isa()), expected);
  EXPECT_STREQ(isa_name(active_isa()), expected);
  EXPECT_EQ(force_isa(Isa::avx512), detected_isa());
}

} // namespace
} // namespace mox2

// The per-thread workspace: two blocks, reused when free, never lent twice
// at once, aligned, and private to their thread.
TEST(Scratch, LendsEachCachedBlockOnlyOnceAtATime) {
  void *first, *second;
  {
    mox2::Scratch outer(1000);
    ASSERT_NE(outer.data(), nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(outer.data()) % 64, 0u);
    first = outer.data();
    mox2::Scratch nested(1000); // the first block is lent: the second one
    ASSERT_NE(nested.data(), nullptr);
    EXPECT_NE(nested.data(), first);
    second = nested.data();
    mox2::Scratch deeper(1000); // both lent: memory of its own
    ASSERT_NE(deeper.data(), nullptr);
    EXPECT_NE(deeper.data(), first);
    EXPECT_NE(deeper.data(), second);
    std::memset(deeper.data(), 0x3C, 1000);
    std::memset(nested.data(), 0xA5, 1000);
    std::memset(outer.data(), 0x5A, 1000);
  }
  {
    mox2::Scratch again(500); // free again and big enough: the same blocks
    EXPECT_EQ(again.data(), first);
    mox2::Scratch nested_again(500);
    EXPECT_EQ(nested_again.data(), second);
  }
  {
    mox2::Scratch huge(mox2::Scratch::kKeptBytes + 1); // above the cap: not kept
    ASSERT_NE(huge.data(), nullptr);
    std::memset(huge.data(), 0, mox2::Scratch::kKeptBytes + 1);
  }
  void *other = nullptr;
  std::thread([&] {
    mox2::Scratch s(1000);
    other = s.data();
    std::memset(s.data(), 1, 1000);
  }).join();
  mox2::Scratch mine(1000);
  EXPECT_NE(mine.data(), nullptr);
  EXPECT_NE(other, nullptr);
}

// A request too large to round up to whole lines or pages gets no memory
// (not a small block).
TEST(Scratch, RequestsTooLargeToRoundGetNone) {
  EXPECT_EQ(mox2::Scratch::rounded(SIZE_MAX - 10), SIZE_MAX);
  for (std::size_t bytes : {SIZE_MAX - 10, SIZE_MAX - (std::size_t(1) << 20)}) {
    mox2::Scratch s(bytes);
    EXPECT_EQ(s.data(), nullptr) << bytes;
  }
}

// A block of a megabyte or more is whole 2 MiB pages, all of them usable
// and kept: a later request up to that size reuses it, also on a thread
// of its own (fresh blocks).
TEST(Scratch, LargeBlocksAreWholeLargePagesAndReused) {
  std::thread([] {
    constexpr std::size_t kMiB = std::size_t(1) << 20;
    void *first;
    {
      mox2::Scratch s(3 * kMiB + 1);
      ASSERT_NE(s.data(), nullptr);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(s.data()) % (2 * kMiB), 0u);
      first = s.data();
    }
    mox2::Scratch again(4 * kMiB); // within the four pages it got
    EXPECT_EQ(again.data(), first);
    std::memset(again.data(), 0x77, 4 * kMiB);
  }).join();
}
