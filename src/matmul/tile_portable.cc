// Tile kernels for any x86-64 (SSE2 vectors), quad precision included.
#include "matmul/tile_body.h"

MOX2_INSTANTIATE_TILE_SETS(16)
MOX2_TILE_SETS_(16, __float128)
