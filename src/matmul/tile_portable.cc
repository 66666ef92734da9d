// Tile kernels for any target (16-byte vectors: SSE2 on x86-64, NEON on
// aarch64), quad precision included.
#include "matmul/tile_body.h"

MOX2_INSTANTIATE_TILE_SETS(16)
MOX2_TILE_SETS_(16, mox2_r16)
