#include "runtime/parallel.h"

#include <omp.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#else
#include <cfenv>
#endif

namespace mox2 {
namespace {

// The floating-point control state of a thread.
#if defined(__x86_64__) || defined(__i386__)
void cpu_relax() { _mm_pause(); }
using FpControl = unsigned;
FpControl get_fp_control() { return _mm_getcsr(); }
void set_fp_control(FpControl c) { _mm_setcsr(c); }
#else
void cpu_relax() {}
using FpControl = std::fenv_t;
FpControl get_fp_control() {
  std::fenv_t e;
  std::fegetenv(&e);
  return e;
}
void set_fp_control(const FpControl &c) { std::fesetenv(&c); }
#endif

// One call of a body under the caller's control state; the thread's own
// state is restored afterwards.
void call_body(RegionBody body, void *args, std::int32_t lo, std::int32_t hi,
               const FpControl &caller) {
  FpControl own = get_fp_control();
  set_fp_control(caller);
  body(args, lo, hi);
  set_fp_control(own);
}

// Iterations first..last in one contiguous range per thread.
void run_contiguous(RegionBody body, void *args, std::int64_t first, std::int64_t last,
                    const FpControl &caller) {
#pragma omp parallel
  {
    std::int64_t threads = omp_get_num_threads();
    std::int64_t t = omp_get_thread_num();
    std::int64_t count = last - first + 1;
    std::int64_t share = count / threads, extra = count % threads;
    std::int64_t lo = first + t * share + (t < extra ? t : extra);
    std::int64_t n = share + (t < extra ? 1 : 0);
    if (n > 0)
      call_body(body, args, static_cast<std::int32_t>(lo), static_cast<std::int32_t>(lo + n - 1),
                caller);
  }
}

// Iterations first..last in chunks of `chunk`, dealt round-robin.
void run_chunked(RegionBody body, void *args, std::int64_t first, std::int64_t last,
                 std::int64_t chunk, const FpControl &caller) {
#pragma omp parallel
  {
    std::int64_t threads = omp_get_num_threads();
    std::int64_t t = omp_get_thread_num();
    for (std::int64_t lo = first + t * chunk; lo <= last; lo += threads * chunk) {
      std::int64_t hi = lo + chunk - 1 < last ? lo + chunk - 1 : last;
      call_body(body, args, static_cast<std::int32_t>(lo), static_cast<std::int32_t>(hi), caller);
    }
  }
}

// ---- The helper threads of run_block_loop --------------------------------
//
// A loop's blocks are claimed one at a time by the calling thread and by
// the pool's helper threads; the call returns once every block has run,
// waiting only for blocks a helper has claimed, never for a helper that has
// not started yet (one that wakes late finds the blocks done).  So a loop
// is never held up by a helper that gets no core, beyond a block it is
// running.  One loop uses the pool at a time; the pool is never destroyed
// (its threads are detached and end with the process).  A child process
// made by fork has none of the pool's threads, whatever the parent was
// doing: it starts with a new, idle pool.

struct PoolJob {
  RegionBody body;
  void *args;
  std::int64_t last;
  FpControl caller;
  std::atomic<std::int64_t> next;
  std::atomic<std::int64_t> done{0};
};

void claim_blocks(PoolJob &job) {
  for (;;) {
    const std::int64_t b = job.next.fetch_add(1, std::memory_order_relaxed);
    if (b > job.last) return;
    call_body(job.body, job.args, static_cast<std::int32_t>(b), static_cast<std::int32_t>(b),
              job.caller);
    job.done.fetch_add(1, std::memory_order_release);
  }
}

thread_local bool in_pool_helper = false;

class BlockPool {
public:
  bool try_begin() { return !busy_.exchange(true, std::memory_order_acquire); }
  void end() { busy_.store(false, std::memory_order_release); }

  void run(PoolJob &job, std::int64_t count, int helpers) {
    // A helper that cannot be started is done without (no failure).
    while (started_ < helpers && start_helper())
      ++started_;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      job_ = &job;
      generation_.fetch_add(1, std::memory_order_release);
    }
    wake_.notify_all();
    claim_blocks(job);
    // Blocks that helpers claimed run to their end.
    for (int spins = 0; job.done.load(std::memory_order_acquire) < count; ++spins)
      if (spins > 64) std::this_thread::yield();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      job_ = nullptr;
    }
    // Helpers that picked the job up find it finished and let it go.
    while (inside_.load(std::memory_order_acquire) > 0)
      std::this_thread::yield();
  }

private:
  bool start_helper() {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return false;
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t id;
    const bool started = pthread_create(
                             &id, &attr,
                             [](void *pool) -> void * {
                               static_cast<BlockPool *>(pool)->helper();
                               return nullptr;
                             },
                             this) == 0;
    pthread_attr_destroy(&attr);
    return started;
  }

  // A helper stays awake for a short while after a loop (loops tend to
  // come in runs), then sleeps until the next.
  void helper() {
    in_pool_helper = true;
    std::uint64_t seen = 0;
    for (;;) {
      const auto awake_until = std::chrono::steady_clock::now() + std::chrono::microseconds(200);
      for (int spins = 0; generation_.load(std::memory_order_acquire) == seen; ++spins) {
        cpu_relax();
        if (spins % 64 == 63 && std::chrono::steady_clock::now() > awake_until) break;
      }
      PoolJob *job;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [&] { return generation_.load(std::memory_order_relaxed) != seen; });
        seen = generation_.load(std::memory_order_relaxed);
        job = job_;
        if (job == nullptr) continue;
        inside_.fetch_add(1, std::memory_order_relaxed);
      }
      claim_blocks(*job);
      inside_.fetch_sub(1, std::memory_order_release);
    }
  }

  std::atomic<bool> busy_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
  std::atomic<std::uint64_t> generation_{0}; // changed under mutex_
  PoolJob *job_ = nullptr;                   // guarded by mutex_
  std::atomic<int> inside_{0};
  int started_ = 0; // changed only while busy_ is held
};

// The pool lives in static storage: it needs no allocation (which could
// fail) and has no destructor (its threads outlive static destruction).
alignas(BlockPool) unsigned char pool_storage[sizeof(BlockPool)];
std::atomic<BlockPool *> pool_made{nullptr};

// In a child after fork: the pool's threads and any loop they were running
// stayed with the parent, and its lock may be held by one of them.  A new
// pool is built over the old one (not destroyed: its lock may be taken).
void new_pool_in_child() {
  if (pool_made.load(std::memory_order_relaxed) != nullptr) new (pool_storage) BlockPool;
}

BlockPool &block_pool() {
  static BlockPool *pool = [] {
    auto *p = new (pool_storage) BlockPool;
    pool_made.store(p, std::memory_order_release);
    return p;
  }();
  return *pool;
}

// Registered when the library is loaded, while memory is to be had (the
// registration can fail for want of it; it never ends the process).
[[maybe_unused]] const int pool_fork_handler = pthread_atfork(nullptr, nullptr, new_pool_in_child);

// Blocks first..last on the pool with up to `helpers` helper threads;
// false, with nothing run, when the pool is taken or this is a helper.
bool run_on_block_pool(RegionBody body, void *args, std::int64_t first, std::int64_t last,
                       int helpers) {
  if (in_pool_helper) return false;
  BlockPool &pool = block_pool();
  if (!pool.try_begin()) return false;
  PoolJob job{body, args, last, get_fp_control(), {first}};
  pool.run(job, last - first + 1, helpers);
  pool.end();
  return true;
}

std::atomic<double> &threaded_work_setting() {
  static std::atomic<double> operations{3.0 * 65536};
  return operations;
}

} // namespace

double threaded_work() { return threaded_work_setting().load(std::memory_order_relaxed); }
void set_threaded_work(double operations) {
  threaded_work_setting().store(operations, std::memory_order_relaxed);
}

void run_block_loop(RegionBody body, void *args, std::int32_t first, std::int32_t last,
                    double work) {
  if (work < threaded_work()) {
    if (first <= last) body(args, first, last);
    return;
  }
  // The helper threads when they are free; otherwise the OpenMP team
  // (which leaves a loop inside an active region on the calling thread).
  if (first < last && omp_get_active_level() < omp_get_max_active_levels()) {
    const std::int64_t blocks = std::int64_t(last) - first + 1;
    const std::int64_t threads = std::min<std::int64_t>(blocks, omp_get_max_threads());
    if (threads > 1 && run_on_block_pool(body, args, first, last, int(threads - 1))) return;
  }
  RegionRecord region = loop_region(first, last, 0, kScheduleBlocks);
  __mt_MasterFunction_(&region, body, args, 0, 1, 0);
}

} // namespace mox2

extern "C" {

void __mt_MasterFunction_(mox2::RegionRecord *region, mox2::RegionBody body, void *args,
                          std::int32_t, std::int32_t, std::int32_t) {
  using namespace mox2;
  const FpControl caller = get_fp_control();
  if (region->word[0] == kRegionPlain) {
#pragma omp parallel
    call_body(body, args, 0, 0, caller);
    return;
  }
  std::int64_t first = region->word[4], last = region->word[6];
  if (last < first) return;
  // One iteration, or no second thread to be had: the calling thread runs
  // the loop itself and no region is started.
  if (first == last || omp_get_max_threads() < 2 ||
      omp_get_active_level() >= omp_get_max_active_levels()) {
    body(args, static_cast<std::int32_t>(first), static_cast<std::int32_t>(last));
    return;
  }
  std::int64_t chunk = region->word[10];
  if (chunk > 0)
    run_chunked(body, args, first, last, chunk, caller);
  else
    run_contiguous(body, args, first, last, caller);
}

std::int32_t __mt_get_thread_num_() { return omp_get_thread_num(); }
std::int32_t __omp_get_num_threads_() { return omp_get_num_threads(); }
std::int32_t __omp_in_parallel_() { return omp_in_parallel() ? 1 : 0; }

} // extern "C"
