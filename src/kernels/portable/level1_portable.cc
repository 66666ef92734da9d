// The elementwise level-1 routines compiled for any x86-64.
#define MOX2_KERNEL_SET portable
#include "kernels/level1/level1_body.h"
