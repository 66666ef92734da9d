// The GEMV routines compiled for AVX2 (no FMA).
#define MOX2_KERNEL_SET avx2
#include "kernels/gemv_body.h"
