// Tile kernels on 256-bit vectors.
#include "matmul/tile_body.h"

MOX2_INSTANTIATE_TILE_SETS(32)
