#include "runtime/cpu.h"

#include <atomic>

namespace mox2 {

namespace {
Isa probe() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
      __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl"))
    return Isa::avx512;
  if (__builtin_cpu_supports("avx2")) return Isa::avx2;
  return Isa::portable;
}

std::atomic<int> &active() {
  static std::atomic<int> isa{static_cast<int>(detected_isa())};
  return isa;
}
} // namespace

Isa detected_isa() {
  static const Isa isa = probe();
  return isa;
}

Isa active_isa() { return static_cast<Isa>(active().load(std::memory_order_relaxed)); }

Isa force_isa(Isa isa) {
  Isa chosen = static_cast<int>(isa) < static_cast<int>(detected_isa()) ? isa : detected_isa();
  active().store(static_cast<int>(chosen), std::memory_order_relaxed);
  return chosen;
}

const char *isa_name(Isa isa) {
  switch (isa) {
  case Isa::avx512: return "avx512";
  case Isa::avx2: return "avx2";
  default: return "portable";
  }
}

} // namespace mox2
