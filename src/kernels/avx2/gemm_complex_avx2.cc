// The complex GEMM loops compiled for AVX2 (no FMA).  AVX-512 CPUs use
// them too: with AVX-512F enabled GCC 12 fuses the complex products'
// multiplies and add/subtracts despite -ffp-contract=off.
#define MOX2_KERNEL_SET avx2
#include "kernels/gemm_complex/gemm_complex_body.h"
