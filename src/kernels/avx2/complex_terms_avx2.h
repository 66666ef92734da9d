// The inner loop of the AVX2 complex tile (one vector of rows by four
// columns, parts apart), written out in assembly.  Per l and column j:
//   re[j] += t.re*a.re - t.im*a.im,  im[j] += t.re*a.im + t.im*a.re,
// four multiplies, a difference and a sum, each rounded on its own, then
// the two adds; operands in the order the intrinsic form of this tile
// gives them.  Written out because the compiler's own schedule of the
// same operations keeps separate multiply and add pipes less busy: here
// each column's two broadcasts feed its four products before the next
// column's are loaded.
#pragma once

#include <immintrin.h>

#include <cstddef>

namespace mox2::kernels::avx2 {

// clang-format off
// One column's term: B's parts at offsets RE_AT and IM_AT (bytes) from b,
// added into the operands named ACC_RE and ACC_IM.
#define MOX2_COMPLEX_TERM_COLUMN(SUFFIX, BROADCAST, RE_AT, IM_AT, ACC_RE, ACC_IM) \
  BROADCAST " " RE_AT "(%[b]), %[tr]\n\t"                                        \
  BROADCAST " " IM_AT "(%[b]), %[ti]\n\t"                                        \
  "vmul" SUFFIX " %[ar], %[tr], %[p]\n\t"                                        \
  "vmul" SUFFIX " %[ai], %[ti], %[q]\n\t"                                        \
  "vsub" SUFFIX " %[q], %[p], %[p]\n\t"                                          \
  "vadd" SUFFIX " %[p], %[" ACC_RE "], %[" ACC_RE "]\n\t"                        \
  "vmul" SUFFIX " %[ai], %[tr], %[p]\n\t"                                        \
  "vmul" SUFFIX " %[ar], %[ti], %[q]\n\t"                                        \
  "vadd" SUFFIX " %[q], %[p], %[p]\n\t"                                          \
  "vadd" SUFFIX " %[p], %[" ACC_IM "], %[" ACC_IM "]\n\t"

// The loop: per l A's two vectors, then the four columns (B's real parts
// at offsets R0..R3, imaginary parts at I0..I3), then A 64 bytes on and
// B B_STEP bytes on.
#define MOX2_COMPLEX_TERM_LOOP(SUFFIX, MOVE, BROADCAST, R0, R1, R2, R3, I0, I1, I2, I3, B_STEP) \
  ".p2align 6\n"                                                                               \
  "1:\n\t"                                                                                     \
  MOVE " (%[a]), %[ar]\n\t"                                                                    \
  MOVE " 32(%[a]), %[ai]\n\t"                                                                  \
  MOX2_COMPLEX_TERM_COLUMN(SUFFIX, BROADCAST, R0, I0, "r0", "i0")                               \
  MOX2_COMPLEX_TERM_COLUMN(SUFFIX, BROADCAST, R1, I1, "r1", "i1")                               \
  MOX2_COMPLEX_TERM_COLUMN(SUFFIX, BROADCAST, R2, I2, "r2", "i2")                               \
  MOX2_COMPLEX_TERM_COLUMN(SUFFIX, BROADCAST, R3, I3, "r3", "i3")                               \
  "add $64, %[a]\n\t"                                                                          \
  "add $" B_STEP ", %[b]\n\t"                                                                  \
  "dec %[n]\n\t"                                                                               \
  "jnz 1b\n\t"

// The pointers, the count and the eight accumulators, then the six work
// registers.
#define MOX2_COMPLEX_TERM_OPERANDS                                                        \
  [a] "+r"(ap), [b] "+r"(bp), [n] "+r"(kc),                                                \
  [r0] "+x"(re[0]), [r1] "+x"(re[1]), [r2] "+x"(re[2]), [r3] "+x"(re[3]),                  \
  [i0] "+x"(im[0]), [i1] "+x"(im[1]), [i2] "+x"(im[2]), [i3] "+x"(im[3]),                  \
  [ar] "=&x"(ar), [ai] "=&x"(ai), [tr] "=&x"(tr), [ti] "=&x"(ti), [p] "=&x"(p), [q] "=&x"(q)
// clang-format on

// kc > 0 values of l: A's real parts at ap (4 doubles), its imaginary
// parts 4 on, 8 per l; B's four real parts at bp, its imaginary parts 4
// on, 8 per l.
inline void add_complex_terms_1x4(std::ptrdiff_t kc, const double *ap, const double *bp,
                                  __m256d (&re)[4], __m256d (&im)[4]) {
  __m256d ar, ai, tr, ti, p, q;
  asm volatile(MOX2_COMPLEX_TERM_LOOP("pd", "vmovupd", "vbroadcastsd", "0", "8", "16", "24", "32",
                                      "40", "48", "56", "64")
               : MOX2_COMPLEX_TERM_OPERANDS
               :
               : "cc", "memory");
}

// The same for floats: A's 8 real parts, then its 8 imaginary parts, 16
// per l; B's four real parts, then its four imaginary parts, 8 per l.
inline void add_complex_terms_1x4(std::ptrdiff_t kc, const float *ap, const float *bp,
                                  __m256 (&re)[4], __m256 (&im)[4]) {
  __m256 ar, ai, tr, ti, p, q;
  asm volatile(MOX2_COMPLEX_TERM_LOOP("ps", "vmovups", "vbroadcastss", "0", "4", "8", "12", "16",
                                      "20", "24", "28", "32")
               : MOX2_COMPLEX_TERM_OPERANDS
               :
               : "cc", "memory");
}

#undef MOX2_COMPLEX_TERM_OPERANDS
#undef MOX2_COMPLEX_TERM_LOOP
#undef MOX2_COMPLEX_TERM_COLUMN

} // namespace mox2::kernels::avx2
