// The GEMV routines compiled for any x86-64.
#define MOX2_KERNEL_SET portable
#include "kernels/gemv_body.h"
