// The parallel-region runtime and the thread services of the GEMV and GEMM
// drivers.  Every thread the library uses comes from __mt_MasterFunction_,
// which runs a region on an OpenMP team and returns when all of it is done.
// Nothing here is exported.
//
// Region record: words 0, 2, 3, 4, 6, 8, 10 and 12 are set by the caller.
//   word 0   region kind: kRegionLoop (a parallel loop) or kRegionPlain
//   word 4   first iteration, word 6 last iteration (inclusive), word 8 step 1
//   word 10  chunk (0 for the per-block loops)
//   word 12  schedule code (kScheduleBlocks or kScheduleFill)
//
// What callers rely on:
//   1. A loop body is called as body(args, lo, hi), first <= lo <= hi <= last,
//      every iteration of first..last exactly once; it runs lo..hi in order.
//   2. In a plain region every thread of the team calls body(args, 0, 0) once.
//   3. args reaches every call unchanged.
//   4. __mt_MasterFunction_ returns only after every call has finished.
//   5. The spreading of iterations over threads is the runtime's choice.
// Every call of a body runs with the caller's floating-point control state
// (MXCSR: rounding, flush-to-zero, denormals-are-zero).
#pragma once

#include <cstddef>
#include <cstdint>

namespace mox2 {

struct RegionRecord {
  std::int32_t word[16];
};

inline constexpr std::int32_t kRegionLoop = 256;
inline constexpr std::int32_t kRegionPlain = 258;
inline constexpr std::int32_t kScheduleBlocks = 10;
inline constexpr std::int32_t kScheduleFill = 1;

// The drivers' block tables hold this many entries; no team is larger.
inline constexpr std::int32_t kMaxThreads = 256;

using RegionBody = void (*)(void *args, std::int32_t lo, std::int32_t hi);

// A parallel-loop record over iterations first..last.
inline RegionRecord loop_region(std::int32_t first, std::int32_t last, std::int32_t chunk,
                                std::int32_t schedule) {
  RegionRecord r{};
  r.word[0] = kRegionLoop;
  r.word[2] = 0;
  r.word[3] = 0;
  r.word[4] = first;
  r.word[6] = last;
  r.word[8] = 1;
  r.word[10] = chunk;
  r.word[12] = schedule;
  return r;
}

// Runs body over blocks first..last, each block once, under the caller's
// floating-point control state; which thread runs which block is not fixed
// (results must not depend on it).  Helper threads claim blocks one at a
// time, and the call waits only for blocks a helper has claimed.  `work`
// estimates the loop's floating-point operations: a loop too small to
// repay waking helpers runs all its blocks on the calling thread.
void run_block_loop(RegionBody body, void *args, std::int32_t first, std::int32_t last,
                    double work);

// Below this many operations (3 * 2^16 by default; each driver weighs its
// operations by what they cost, so that the one figure serves them all)
// waking a team costs more than it saves.
// Test hook: set_threaded_work(0) offers every loop to the helper threads.
double threaded_work();
void set_threaded_work(double operations);

} // namespace mox2

extern "C" {
// ---- The parallel-region runtime --------------------------------------
void __mt_MasterFunction_(mox2::RegionRecord *region, mox2::RegionBody body, void *args,
                          std::int32_t, std::int32_t, std::int32_t);
std::int32_t __mt_get_thread_num_();
std::int32_t __omp_get_num_threads_();
std::int32_t __omp_in_parallel_();

// ---- Thread and environment services ----------------------------------
// The team size a region started at this point would get, 1..256.
std::int32_t __f___zo_using_threads_();
// (p, q) with p <= q, p*q = n, p the largest divisor of n not above sqrt(n).
void __f___zo_factor_mesh_(const std::int32_t *n, std::int32_t *p, std::int32_t *q);
// 1 when the first bytes name the same option letter (case ignored when the
// first one is a letter), else 0.
std::int32_t __f___zo_lsame_(const char *ca, const char *cb, std::size_t ca_len,
                             std::size_t cb_len);
// Fortran GETENV: the value of the variable named by name (trailing blanks
// dropped), blank-padded into value(1..value_len).
void __f___zo_getenv_(const char *name, char *value, std::ptrdiff_t name_len,
                      std::ptrdiff_t value_len);
std::int32_t __f___zo_get_stack_size_();
// The process-wide stack-size word: zero, never written by the library.
extern std::int32_t __f___zo_com_stack_size_;
}
