// Run-time choice of the kernel set.  The library runs on every x86-64
// CPU: SIMD kernels are compiled for AVX2 or AVX-512 alone and chosen here
// from CPUID (and the OS's register-state support), never at build time.
// Every kernel set gives the same bits; the choice changes speed only.
#pragma once

namespace mox2 {

enum class Isa : int { portable = 0, avx2 = 1, avx512 = 2 };

// The best kernel set this CPU supports (AVX-512 means F, DQ, BW and VL).
Isa detected_isa();

// The kernel set in use: the detected one, or a lower one forced by a test.
Isa active_isa();

// Test hook: use at most `isa` (never more than the CPU supports) until the
// next call.  Returns the set now in use.
Isa force_isa(Isa isa);

const char *isa_name(Isa isa);

} // namespace mox2
