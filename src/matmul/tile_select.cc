// Run-time choice of the tile kernels: the kernel set's.
#include "matmul/tile.h"

#include <type_traits>

#include "kernels/kernel_set.h"
#include "runtime/cpu.h"

namespace mox2::matmul {

template <class W, bool AC, bool BC> TileSet<W> select_tiles() {
  const kernels::MatmulTiles &tiles = kernel_set().matmul_tiles;
  constexpr int form = (AC ? 1 : 0) + (BC ? 2 : 0);
  if constexpr (std::is_same_v<W, float>)
    return tiles.real4[form]();
  else if constexpr (std::is_same_v<W, double>)
    return tiles.real8[form]();
  else if constexpr (std::is_same_v<W, mox2_r16>)
    return tiles.real16[form]();
  else if constexpr (std::is_same_v<W, std::uint32_t>)
    return tiles.integer4();
  else
    return tiles.integer8();
}

#define MOX2_SELECT_TILES_(w)                                                                      \
  template TileSet<w> select_tiles<w, false, false>();                                             \
  template TileSet<w> select_tiles<w, true, false>();                                              \
  template TileSet<w> select_tiles<w, false, true>();                                              \
  template TileSet<w> select_tiles<w, true, true>();
MOX2_SELECT_TILES_(float)
MOX2_SELECT_TILES_(double)
MOX2_SELECT_TILES_(mox2_r16)
template TileSet<std::uint32_t> select_tiles<std::uint32_t, false, false>();
template TileSet<std::uint64_t> select_tiles<std::uint64_t, false, false>();

} // namespace mox2::matmul
