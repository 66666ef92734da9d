// The GEMV routines compiled for AVX2 (no FMA).
#define MOX2_KERNEL_SET avx2
#define MOX2_KERNEL_SET_HAS_WIDE_DOT_FORM
#define MOX2_KERNEL_SET_HAS_WIDE_COMPLEX_DOT_FORM
#include "kernels/avx2/gemv_complex_dot_avx2.h"
#include "kernels/avx2/gemv_dot_avx2.h"
#include "kernels/gemv/gemv_body.h"
