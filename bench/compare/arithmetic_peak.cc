#include "arithmetic_peak.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace mox2_compare {
namespace {

// Eight independent chains per instruction kind, far more than an adder's
// latency times its ports: the loop runs at the ports' throughput.
#define MOX2_EIGHT_(op, r)                                                                         \
  op " %%" r "0, %%" r "0, %%" r "1\n" op " %%" r "0, %%" r "0, %%" r "2\n" op " %%" r "0, %%" r   \
     "0, %%" r "3\n" op " %%" r "0, %%" r "0, %%" r "4\n" op " %%" r "0, %%" r "0, %%" r "5\n" op  \
     " %%" r "0, %%" r "0, %%" r "6\n" op " %%" r "0, %%" r "0, %%" r "7\n" op " %%" r "0, %%" r   \
     "0, %%" r "8\n"
#define MOX2_CLOBBERS_ "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8"

// Seconds per pass of `passes` passes of each body, the best of fifteen
// trials taken in turns: a neighbour that takes the core for a while slows
// both alike, not one of them.
template <class A, class B> std::pair<double, double> seconds_per_pass(long passes, A a, B b) {
  double best_a = 1e30, best_b = 1e30;
  auto time = [passes](auto body) {
    const auto t0 = std::chrono::steady_clock::now();
    body(passes);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  };
  for (int trial = 0; trial < 15; ++trial) {
    best_a = std::min(best_a, time(a));
    best_b = std::min(best_b, time(b));
  }
  return {best_a / double(passes), best_b / double(passes)};
}

// peak_<bits>(): independent multiplies and adds, and fused multiply-adds,
// on `lanes` REAL(8) lanes per register r.
#define MOX2_PEAK_(bits, target_isa, r, lanes)                                                     \
  __attribute__((target(target_isa))) ArithmeticPeak peak_##bits() {                               \
    constexpr long kPasses = 2'000'000;                                                            \
    __asm__ volatile("vxorpd %%" r "0, %%" r "0, %%" r "0" ::: "xmm0");                            \
    const auto [separate, fused] = seconds_per_pass(                                               \
        kPasses,                                                                                   \
        [](long n) {                                                                               \
          for (long i = 0; i < n; ++i)                                                             \
            __asm__ volatile(MOX2_EIGHT_("vmulpd", r) MOX2_EIGHT_("vaddpd", r)::: MOX2_CLOBBERS_); \
        },                                                                                         \
        [](long n) {                                                                               \
          for (long i = 0; i < n; ++i)                                                             \
            __asm__ volatile(MOX2_EIGHT_("vfmadd231pd", r) MOX2_EIGHT_("vfmadd231pd", r)::         \
                                 : MOX2_CLOBBERS_);                                                \
        });                                                                                        \
    /* 16 instructions a pass */                                                                   \
    return {#bits "-bit", 16 * lanes / separate / 1e9, 16 * lanes * 2 / fused / 1e9};              \
  }
MOX2_PEAK_(512, "avx512f", "zmm", 8)
MOX2_PEAK_(256, "avx2,fma", "ymm", 4)
#undef MOX2_PEAK_

} // namespace

ArithmeticPeak measure_arithmetic_peak(int bits) {
  if (bits == 512 && __builtin_cpu_supports("avx512f")) return peak_512();
  if (bits == 256 && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
    return peak_256();
  return {""};
}

} // namespace mox2_compare
