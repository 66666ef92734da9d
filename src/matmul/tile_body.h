// The tile kernels themselves (see tile.h).  Included only by the files
// that instantiate them for one instruction set; the vector width is a
// template argument, so the instantiations for different instruction sets
// are different functions.
#pragma once

#include <cstring>
#include <utility>

#include "matmul/tile.h"

namespace mox2::matmul {

// A SIMD vector of W filling VectorBytes (lanes computed independently).
template <class W, int VectorBytes> struct VectorOf {
  typedef W type __attribute__((vector_size(VectorBytes)));
  static constexpr int lanes = VectorBytes / static_cast<int>(sizeof(W));
};

// Quad precision has no vector form: one lane.
struct QuadLane {
  mox2_r16 v;
  friend QuadLane operator+(QuadLane x, QuadLane y) { return {x.v + y.v}; }
  friend QuadLane operator-(QuadLane x, QuadLane y) { return {x.v - y.v}; }
  friend QuadLane operator*(QuadLane x, QuadLane y) { return {x.v * y.v}; }
  mox2_r16 &operator[](int) { return v; }
  QuadLane &operator+=(QuadLane y) {
    v = v + y.v;
    return *this;
  }
};
template <int VectorBytes> struct VectorOf<mox2_r16, VectorBytes> {
  using type = QuadLane;
  static constexpr int lanes = 1;
};

// x in every lane (a broadcast, not lane-by-lane inserts).
template <class V, class W, int... I> V splat(W x, std::integer_sequence<int, I...>) {
  return V{((void)I, x)...};
}

template <class W, int VB, int MV, int NR, bool AC, bool BC>
void tile_kernel(std::size_t kc, const W *__restrict a, std::ptrdiff_t a_step,
                 const W *__restrict b, W *acc, std::size_t ld, std::size_t plane) {
  using V = typename VectorOf<W, VB>::type;
  constexpr int L = VectorOf<W, VB>::lanes;
  constexpr int MR = MV * L;
  constexpr bool CX = AC || BC;
  constexpr int PC = CX ? 2 : 1;
  // The accumulators stay in registers throughout: every loop over them
  // is unrolled.
  V cr[NR][MV], ci[NR][PC == 2 ? MV : 1];
#pragma GCC unroll 16
  for (int j = 0; j < NR; ++j)
#pragma GCC unroll 16
    for (int v = 0; v < MV; ++v) {
      std::memcpy(&cr[j][v], acc + j * ld + v * L, sizeof(V));
      if constexpr (CX) std::memcpy(&ci[j][v], acc + plane + j * ld + v * L, sizeof(V));
    }
  for (std::size_t k = 0; k < kc; ++k) {
    V ar[MV], ai[AC ? MV : 1];
#pragma GCC unroll 16
    for (int v = 0; v < MV; ++v) {
      std::memcpy(&ar[v], a + v * L, sizeof(V));
      if constexpr (AC) std::memcpy(&ai[v], a + MR + v * L, sizeof(V));
    }
    a += a_step;
#pragma GCC unroll 16
    for (int j = 0; j < NR; ++j) {
      const V br = splat<V>(b[j], std::make_integer_sequence<int, L>{});
      V bi{};
      if constexpr (BC) bi = splat<V>(b[NR + j], std::make_integer_sequence<int, L>{});
#pragma GCC unroll 16
      for (int v = 0; v < MV; ++v) {
        if constexpr (AC && BC) {
          cr[j][v] += ar[v] * br - ai[v] * bi;
          ci[j][v] += ar[v] * bi + ai[v] * br;
        } else if constexpr (AC) {
          cr[j][v] += ar[v] * br;
          ci[j][v] += ai[v] * br;
        } else if constexpr (BC) {
          cr[j][v] += ar[v] * br;
          ci[j][v] += ar[v] * bi;
        } else {
          cr[j][v] += ar[v] * br;
        }
      }
    }
    b += BC ? 2 * NR : NR;
  }
#pragma GCC unroll 16
  for (int j = 0; j < NR; ++j)
#pragma GCC unroll 16
    for (int v = 0; v < MV; ++v) {
      std::memcpy(acc + j * ld + v * L, &cr[j][v], sizeof(V));
      if constexpr (CX) std::memcpy(acc + plane + j * ld + v * L, &ci[j][v], sizeof(V));
    }
}

// Tile shapes: enough independent accumulators to hide the add latency,
// few enough to stay in registers (16 vector registers below AVX-512, 32
// with it).
template <int VB, class W, bool AC, bool BC> TileSet<W> tile_set() {
  constexpr int L = VectorOf<W, VB>::lanes;
  constexpr bool CX = AC || BC;
  constexpr int MV = 2;
  constexpr int NR = VB == 64 ? (CX ? 4 : 8) : (CX ? 2 : 4);
  constexpr int MV1 = 4;
  return TileSet<W>{MV * L, NR, &tile_kernel<W, VB, MV, NR, AC, BC>, MV1 * L,
                    &tile_kernel<W, VB, MV1, 1, AC, BC>};
}

} // namespace mox2::matmul

// Explicit instantiation of every work type and operand form for one vector
// width (the quad forms only where `quad` is given as the third argument).
#define MOX2_TILE_SETS_(vb, w)                                                                     \
  template mox2::matmul::TileSet<w> mox2::matmul::tile_set<vb, w, false, false>();                 \
  template mox2::matmul::TileSet<w> mox2::matmul::tile_set<vb, w, true, false>();                  \
  template mox2::matmul::TileSet<w> mox2::matmul::tile_set<vb, w, false, true>();                  \
  template mox2::matmul::TileSet<w> mox2::matmul::tile_set<vb, w, true, true>();
#define MOX2_INSTANTIATE_TILE_SETS(vb)                                                             \
  MOX2_TILE_SETS_(vb, float)                                                                       \
  MOX2_TILE_SETS_(vb, double)                                                                      \
  template mox2::matmul::TileSet<std::uint32_t>                                                    \
  mox2::matmul::tile_set<vb, std::uint32_t, false, false>();                                       \
  template mox2::matmul::TileSet<std::uint64_t>                                                    \
  mox2::matmul::tile_set<vb, std::uint64_t, false, false>();
