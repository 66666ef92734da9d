// The parallel-region runtime and the thread services: what the drivers
// rely on (every iteration once, the caller's floating-point control state
// in every body, from several callers at once and in a forked child), the
// thread count and mesh; the kernel set that CPU detection picks;
// workspace sizes that cannot be rounded.
#include <omp.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/cpu.h"
#include "runtime/parallel.h"
#include "runtime/scratch.h"
#include "support/isas.h"

namespace mox2 {
namespace {

// The floating-point control register (MXCSR, FPCR), and a state that
// differs from the default in rounding and flushing.
#if defined(__x86_64__)
unsigned fp_control() { return _mm_getcsr(); }
void set_fp_control(unsigned c) { _mm_setcsr(c); }
// Round toward zero, flush-to-zero and denormals-are-zero.
unsigned flushing(unsigned c) { return c | 0x6000u | 0x8040u; }
#elif defined(__aarch64__)
unsigned fp_control() { return __builtin_aarch64_get_fpcr(); }
void set_fp_control(unsigned c) { __builtin_aarch64_set_fpcr(c); }
// RMode (bits 22-23) toward zero, FZ (bit 24).
unsigned flushing(unsigned c) { return c | (3u << 22) | (1u << 24); }
#endif

// Iterations first..last of a loop: how often each ran, and the bodies
// that saw a range outside the loop or another control state.
struct LoopArgs {
  std::atomic<int> hits[4096] = {}, calls{0}, bad_range{0}, wrong_state{0};
  unsigned state = fp_control();
  std::int32_t first = 0, last = 0;
  LoopArgs(std::int32_t first, std::int32_t last) : first(first), last(last) {}
  bool each_once() const {
    for (int i = 0; i <= last - first; ++i)
      if (hits[i] != 1) return false;
    return bad_range == 0 && wrong_state == 0;
  }
};
void count_iterations(void *p, std::int32_t lo, std::int32_t hi) {
  auto &a = *static_cast<LoopArgs *>(p);
  a.calls++;
  if (lo > hi || lo < a.first || hi > a.last) a.bad_range++;
  if (fp_control() != a.state) a.wrong_state++;
  for (std::int32_t i = lo; i <= hi; ++i)
    a.hits[i - a.first]++;
}

// Under a rounding and flushing state of the caller's: every schedule on
// teams of several sizes runs each iteration once, under that state, and
// leaves the region record as it was; a plain region calls the body once
// per thread.  The threads get their own state back: a later region
// under the default state sees the default.
TEST(Runtime, RegionsRunEveryIterationOnceUnderTheCallersState) {
  test::Team team;
  const unsigned original = fp_control();
  for (unsigned state : {flushing(original), original})
    for (int threads : {1, 2, 3, 5, 8}) {
      omp_set_num_threads(threads);
      set_fp_control(state);
      for (auto [first, last, chunk, schedule] :
           {std::tuple{0, 0, 0, kScheduleBlocks}, {0, 7, 0, kScheduleBlocks},
            {1, 3, 0, kScheduleBlocks}, {1, 4000, 3003, kScheduleFill}, {1, 9, 2, kScheduleFill},
            {5, 4, 0, kScheduleBlocks}}) {
        auto args = std::make_unique<LoopArgs>(first, last);
        RegionRecord region = loop_region(first, last, chunk, schedule), copy = region;
        __mt_MasterFunction_(&region, count_iterations, args.get(), 0, 1, 0);
        EXPECT_TRUE(args->each_once()) << first << ".." << last << " T=" << threads;
        EXPECT_EQ(std::memcmp(&region, &copy, sizeof region), 0);
        EXPECT_TRUE(last >= first || args->calls == 0);
      }
      auto args = std::make_unique<LoopArgs>(0, 0);
      RegionRecord plain{};
      plain.word[0] = kRegionPlain;
      __mt_MasterFunction_(&plain, count_iterations, args.get(), 0, 1, 0);
      EXPECT_EQ(args->calls, threads);
      EXPECT_EQ(args->wrong_state, 0);
      set_fp_control(original);
    }
}

// The library's own block loops on their helper threads: every block once,
// under the caller's control state, from several calling threads at once
// (one gets the helpers, the others the OpenMP team or themselves).
TEST(Runtime, BlockLoopsRunEveryBlockOnceForConcurrentCallers) {
  test::Team team(3, 0);
  auto run = [](int rounds) {
    const unsigned own = fp_control();
    set_fp_control(flushing(own));
    for (int r = 0; r < rounds; ++r) {
      auto args = std::make_unique<LoopArgs>(2, 2 + r % 40);
      run_block_loop(count_iterations, args.get(), args->first, args->last, 1.0);
      EXPECT_TRUE(args->each_once()) << r;
    }
    set_fp_control(own);
  };
  std::vector<std::thread> callers;
  for (int t = 0; t < 3; ++t)
    callers.emplace_back(run, 200);
  run(200);
  for (auto &c : callers)
    c.join();
}

// A child forked while another thread's block loop has the helper threads
// gets a pool of its own: its loops run, rather than wait for threads (the
// pool's, or the OpenMP team's) that stayed in the parent.
TEST(Runtime, ChildForkedDuringABlockLoopRunsItsOwn) {
  test::Team team(3, 0);
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
    alarm(30); // a child that hangs is ended (the test fails)
    auto *args = new LoopArgs(0, 9);
    run_block_loop(count_iterations, args, 0, 9, 1.0);
    _exit(args->each_once() ? 0 : 1);
  }
  hold.forked = true;
  busy.join();
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child hung or failed: " << status;
}

// The thread count: 1 inside an active region without nesting, the team
// size bounded by the block tables, a region's answer when the team is
// dynamic.
TEST(Runtime, UsingThreads) {
  test::Team team;
  const int saved_levels = omp_get_max_active_levels();
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
  omp_set_num_threads(300);
  EXPECT_EQ(__f___zo_using_threads_(), 256);
  omp_set_num_threads(3);
  omp_set_dynamic(1);
  const std::int32_t t = __f___zo_using_threads_();
  EXPECT_TRUE(t >= 1 && t <= 3) << t;
  omp_set_dynamic(0);
}

// p*q = n, p <= q, and no divisor of n in (p, sqrt(n)]: the table up to
// 256 threads and the divisor search beyond.
TEST(ThreadMesh, LargestDivisorUpToTheSquareRoot) {
  for (std::int32_t n = 1; n <= 3000; ++n) {
    std::int32_t p, q;
    __f___zo_factor_mesh_(&n, &p, &q);
    ASSERT_EQ(p * q, n);
    ASSERT_LE(p, q);
    for (std::int32_t d = p + 1; d * d <= n; ++d)
      ASSERT_NE(n % d, 0) << n;
  }
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

// MOX2_KERNEL_SET caps the set at the one it names, never above the CPU's;
// other values leave the detected set.
TEST(Cpu, KernelSetVariableCapsTheSet) {
  EXPECT_EQ(capped_isa(Isa::avx512, "avx2"), Isa::avx2);
  EXPECT_EQ(capped_isa(Isa::avx512, "portable"), Isa::portable);
  EXPECT_EQ(capped_isa(Isa::avx2, "avx512"), Isa::avx2);
  for (const char *ignored : {"AVX2", "avx", "", static_cast<const char *>(nullptr)})
    EXPECT_EQ(capped_isa(Isa::avx512, ignored), Isa::avx512) << (ignored ? ignored : "unset");
}

// A workspace request too large to round up to whole lines or pages gets
// no memory (not a small block).
TEST(Scratch, RequestsTooLargeToRoundGetNone) {
  EXPECT_EQ(Scratch::rounded(SIZE_MAX - 10), SIZE_MAX);
  for (std::size_t bytes : {SIZE_MAX - 10, SIZE_MAX - (std::size_t(1) << 20)})
    EXPECT_EQ(Scratch(bytes).data(), nullptr) << bytes;
}

} // namespace
} // namespace mox2
