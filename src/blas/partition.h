// How the GEMV and GEMM drivers cut their result among T threads.  The cut
// of GEMM decides which kernel computes which element, and so the bits of
// C; every rule here is exact for every T.
#pragma once

#include <cstdint>
#include <type_traits>

namespace mox2::blas {

// A run of consecutive rows, columns, vector elements or blocks, counted
// from 0.
template <class I> struct BasicSpan {
  I first;
  I count;
  friend constexpr bool operator==(const BasicSpan &, const BasicSpan &) = default;
};
using Span = BasicSpan<std::int32_t>;

// Band i (0..t-1) of len elements in t bands, the first len mod t bands one
// element longer: real GEMV blocks, the thin-product strips of GEMM, and
// MATMUL's bands of panels (counted in the type of len).
template <class I>
constexpr BasicSpan<I> band_first_longer(I len, std::type_identity_t<I> t,
                                         std::type_identity_t<I> i) {
  const I q = len / t, r = len - t * q;
  if (i < r) return {i * (q + 1), q + 1};
  return {i * q + r, q};
}

// Band i (0..t-1) of len elements: t-1 bands of len div t elements, the
// last one taking the remainder: complex GEMV blocks.
constexpr Span band_last_takes_rest(std::int32_t len, std::int32_t t, std::int32_t i) {
  std::int32_t c = len / t;
  if (i < t - 1) return {i * c, c};
  return {(t - 1) * c, len - (t - 1) * c};
}

// Block i (0..parts-1) of len rows or columns cut in quads of four: the
// first (len div 4) mod parts blocks get one quad more, the last block also
// takes the len mod 4 leftovers.
constexpr Span quad_block(std::int32_t len, std::int32_t parts, std::int32_t i) {
  std::int32_t quads = len / 4, q = quads / parts, r = quads - parts * q;
  Span s = i < r ? Span{4 * i * (q + 1), 4 * (q + 1)} : Span{4 * (i * q + r), 4 * q};
  if (i == parts - 1) s.count += len % 4;
  return s;
}

// The GEMM mesh path: pr row blocks by pc column blocks for t threads.  A
// product with more than 16 times as many rows as columns is cut into rows
// only, one with more than 16 times as many columns into columns only;
// otherwise (pr, pc) is the thread mesh of t (pr <= pc).
struct Mesh {
  std::int32_t rows, cols;
  friend constexpr bool operator==(const Mesh &, const Mesh &) = default;
};
constexpr Mesh choose_mesh(std::int32_t m, std::int32_t n, std::int32_t t, Mesh thread_mesh) {
  if (m / 16 > n) return {t, 1};
  if (n / 16 > m) return {1, t};
  return thread_mesh;
}
// Whether the mesh gives every block at least one quad of rows and columns
// (otherwise the product runs as one serial call).
constexpr bool mesh_fits(std::int32_t m, std::int32_t n, std::int32_t t, Mesh mesh) {
  return t >= 2 && m / 4 >= mesh.rows && n / 4 >= mesh.cols;
}

// Which strip form a thin product (m, n or k below 4) takes on t threads.
enum class ThinCut { serial, row_strips, column_strips };
constexpr ThinCut choose_thin_cut(std::int32_t m, std::int32_t n, std::int32_t k, std::int32_t t) {
  if (t < 2) return ThinCut::serial;
  if (n < 4 && t <= m) return ThinCut::row_strips;
  if ((m < 4 || k < 4) && t <= n) return ThinCut::column_strips;
  return ThinCut::serial;
}

} // namespace mox2::blas
