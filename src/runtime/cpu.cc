#include "runtime/cpu.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "kernels/kernel_set.h"
#include "kernels/portable/kernel_set_portable.h"

// The only place that names the instruction-set tables: the sets of other
// targets are not built.
#if defined(__x86_64__)
#include "kernels/avx2/kernel_set_avx2.h"
#include "kernels/avx512/kernel_set_avx512.h"
#endif

namespace mox2 {

namespace {

Isa probe() {
#if defined(__x86_64__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
      __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl"))
    return Isa::avx512;
  if (__builtin_cpu_supports("avx2")) return Isa::avx2;
#endif
  return Isa::portable;
}

const kernels::KernelSet &table_of(Isa isa) {
  switch (isa) {
#if defined(__x86_64__)
  case Isa::avx512: return kernels::avx512::kKernelSet;
  case Isa::avx2: return kernels::avx2::kKernelSet;
#endif
  default: return kernels::portable::kKernelSet;
  }
}

// Null until the first kernel call (or a test) chooses.
std::atomic<const kernels::KernelSet *> chosen{nullptr};

[[gnu::noinline]] const kernels::KernelSet &choose_detected() {
  const Isa isa = capped_isa(detected_isa(), std::getenv("MOX2_KERNEL_SET"));
  const kernels::KernelSet *none = nullptr, *detected = &table_of(isa);
  chosen.compare_exchange_strong(none, detected, std::memory_order_relaxed);
  return *chosen.load(std::memory_order_relaxed);
}

} // namespace

const kernels::KernelSet &kernel_set() {
  const kernels::KernelSet *set = chosen.load(std::memory_order_relaxed);
  return set ? *set : choose_detected();
}

Isa detected_isa() {
  static const Isa isa = probe();
  return isa;
}

Isa capped_isa(Isa detected, const char *setting) {
  if (setting == nullptr) return detected;
  for (Isa isa : {Isa::portable, Isa::avx2, Isa::avx512})
    if (std::strcmp(setting, isa_name(isa)) == 0)
      return static_cast<int>(isa) < static_cast<int>(detected) ? isa : detected;
  return detected;
}

Isa active_isa() {
  const kernels::KernelSet *set = &kernel_set();
  for (Isa isa : {Isa::avx512, Isa::avx2})
    if (isa <= detected_isa() && set == &table_of(isa)) return isa;
  return Isa::portable;
}

Isa force_isa(Isa isa) {
  const Isa chosen_isa =
      static_cast<int>(isa) < static_cast<int>(detected_isa()) ? isa : detected_isa();
  chosen.store(&table_of(chosen_isa), std::memory_order_relaxed);
  return chosen_isa;
}

const char *isa_name(Isa isa) {
  switch (isa) {
  case Isa::avx512: return "avx512";
  case Isa::avx2: return "avx2";
  default: return "portable";
  }
}

} // namespace mox2
