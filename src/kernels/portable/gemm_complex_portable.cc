// The complex GEMM loops compiled for any x86-64.
#define MOX2_KERNEL_SET portable
#include "kernels/gemm_complex/gemm_complex_body.h"
