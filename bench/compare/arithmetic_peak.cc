#include "arithmetic_peak.h"

#include <algorithm>
#include <chrono>

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

// Seconds per pass of `passes` passes of body; the best of five.
template <class Body> double seconds_per_pass(long passes, Body body) {
  double best = 1e30;
  for (int trial = 0; trial < 5; ++trial) {
    const auto t0 = std::chrono::steady_clock::now();
    body(passes);
    best = std::min(best,
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best / double(passes);
}

__attribute__((target("avx512f"))) ArithmeticPeak peak_512() {
  constexpr long kPasses = 2'000'000;
  __asm__ volatile("vxorpd %%zmm0, %%zmm0, %%zmm0" ::: "xmm0");
  const double separate = seconds_per_pass(kPasses, [](long n) {
    for (long i = 0; i < n; ++i)
      __asm__ volatile(MOX2_EIGHT_("vmulpd", "zmm") MOX2_EIGHT_("vaddpd", "zmm")::: MOX2_CLOBBERS_);
  });
  const double fused = seconds_per_pass(kPasses, [](long n) {
    for (long i = 0; i < n; ++i)
      __asm__ volatile(MOX2_EIGHT_("vfmadd231pd", "zmm") MOX2_EIGHT_("vfmadd231pd", "zmm")::
                           : MOX2_CLOBBERS_);
  });
  // 16 instructions of 8 lanes a pass.
  return {"512-bit", 16 * 8 / separate / 1e9, 16 * 8 * 2 / fused / 1e9};
}

__attribute__((target("avx2,fma"))) ArithmeticPeak peak_256() {
  constexpr long kPasses = 2'000'000;
  __asm__ volatile("vxorpd %%ymm0, %%ymm0, %%ymm0" ::: "xmm0");
  const double separate = seconds_per_pass(kPasses, [](long n) {
    for (long i = 0; i < n; ++i)
      __asm__ volatile(MOX2_EIGHT_("vmulpd", "ymm") MOX2_EIGHT_("vaddpd", "ymm")::: MOX2_CLOBBERS_);
  });
  const double fused = seconds_per_pass(kPasses, [](long n) {
    for (long i = 0; i < n; ++i)
      __asm__ volatile(MOX2_EIGHT_("vfmadd231pd", "ymm") MOX2_EIGHT_("vfmadd231pd", "ymm")::
                           : MOX2_CLOBBERS_);
  });
  return {"256-bit", 16 * 4 / separate / 1e9, 16 * 4 * 2 / fused / 1e9};
}

} // namespace

ArithmeticPeak measure_arithmetic_peak() {
  if (__builtin_cpu_supports("avx512f")) return peak_512();
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return peak_256();
  return {""};
}

} // namespace mox2_compare
