// The GEMV routines compiled for AVX-512 (no FMA).
#define MOX2_KERNEL_SET avx512
#define MOX2_KERNEL_SET_WITHOUT_COMPLEX
#include "kernels/gemv_body.h"
