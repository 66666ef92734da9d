// The elementwise level-1 routines compiled for AVX-512 (no FMA); real
// only, as in the GEMV set.
#define MOX2_KERNEL_SET avx512
#define MOX2_KERNEL_SET_WITHOUT_COMPLEX
#include "kernels/level1/level1_body.h"
