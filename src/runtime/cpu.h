// Run-time choice of the kernel set.  The library runs on every x86-64
// CPU: SIMD kernels are compiled for AVX2 or AVX-512 alone and chosen here
// from CPUID (and the OS's register-state support), never at build time.
// Every kernel set gives the same bits; the choice changes speed only.
// On other targets (aarch64) the portable set is the only one.
#pragma once

namespace mox2 {

namespace kernels {
struct KernelSet;
}

enum class Isa : int { portable = 0, avx2 = 1, avx512 = 2 };

// The kernel set in use (kernels/kernel_set.h): the one detected once for
// this CPU, capped by MOX2_KERNEL_SET as read at that moment (see
// capped_isa), or the one a test forced.  One atomic load; every kernel call
// reaches its set's routines through it.
const kernels::KernelSet &kernel_set();

// The best kernel set this CPU supports (AVX-512 means F, DQ, BW and VL).
Isa detected_isa();

// The set the library uses on a CPU whose best is `detected` when
// MOX2_KERNEL_SET is `setting` (null: unset): "portable", "avx2" or
// "avx512" caps the choice at that set, never above `detected`; any other
// value is ignored.  A speed knob only: every set gives the same bits.
Isa capped_isa(Isa detected, const char *setting);

// The kernel set in use, as above.
Isa active_isa();

// Test hook: use the whole kernel set of at most `isa` (never more than
// the CPU supports) until the next call.  Returns the set now in use.
Isa force_isa(Isa isa);

const char *isa_name(Isa isa);

} // namespace mox2
