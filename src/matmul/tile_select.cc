// Run-time choice of the tile kernels.
#include "matmul/tile.h"

#include "runtime/cpu.h"

namespace mox2::matmul {

template <class W, bool AC, bool BC> TileSet<W> select_tiles() {
  if constexpr (sizeof(W) == 16) {
    return tile_set<16, W, AC, BC>();
  } else {
    switch (active_isa()) {
    case Isa::avx512: return tile_set<64, W, AC, BC>();
    case Isa::avx2: return tile_set<32, W, AC, BC>();
    case Isa::portable: break;
    }
    return tile_set<16, W, AC, BC>();
  }
}

#define MOX2_SELECT_TILES_(w)                                                                      \
  template TileSet<w> select_tiles<w, false, false>();                                             \
  template TileSet<w> select_tiles<w, true, false>();                                              \
  template TileSet<w> select_tiles<w, false, true>();                                              \
  template TileSet<w> select_tiles<w, true, true>();
MOX2_SELECT_TILES_(float)
MOX2_SELECT_TILES_(double)
MOX2_SELECT_TILES_(__float128)
template TileSet<std::uint32_t> select_tiles<std::uint32_t, false, false>();
template TileSet<std::uint64_t> select_tiles<std::uint64_t, false, false>();

} // namespace mox2::matmul
