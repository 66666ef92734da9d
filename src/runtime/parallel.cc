#include "runtime/parallel.h"

#include <omp.h>

#include <atomic>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#else
#include <cfenv>
#endif

namespace mox2 {
namespace {

// The floating-point control state of a thread.
#if defined(__x86_64__) || defined(__i386__)
using FpControl = unsigned;
FpControl get_fp_control() { return _mm_getcsr(); }
void set_fp_control(FpControl c) { _mm_setcsr(c); }
#else
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

std::atomic<double> &threaded_work_setting() {
  static std::atomic<double> operations{2.0 * 1024 * 1024};
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
