// The GEMV routines compiled for any x86-64.
#define MOX2_KERNEL_SET portable
#include "kernels/gemv/gemv_body.h"
