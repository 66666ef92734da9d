// The elementwise level-1 routines compiled for AVX2 (no FMA).
#define MOX2_KERNEL_SET avx2
#include "kernels/level1/level1_body.h"
