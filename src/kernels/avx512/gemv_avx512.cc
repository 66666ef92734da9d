// The GEMV routines compiled for AVX-512 (no FMA).
#define MOX2_KERNEL_SET avx512
#define MOX2_KERNEL_SET_WITHOUT_COMPLEX
#define MOX2_KERNEL_SET_HAS_WIDE_DOT_FORM
#define MOX2_KERNEL_SET_HAS_WIDE_COLUMN_FORM
#define MOX2_KERNEL_SET_HAS_WIDE_DOT_ROWS
#include "kernels/avx512/gemv_column_avx512.h"
#include "kernels/avx512/gemv_dot_avx512.h"
#include "kernels/gemv/gemv_body.h"
