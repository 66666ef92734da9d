// Register tiles of the generic MATMUL loops.
//
// A tile kernel adds to an MR x NR block of accumulators, for k = 0 .. kc-1
// in order, the products of one packed strip of A (MR rows) with one packed
// panel of B (NR columns).  Every accumulator is one result element (one per
// part for COMPLEX) and receives its terms in k order, one at a time:
//   REAL/INTEGER      c += a*b
//   COMPLEX x COMPLEX re += ar*br - ai*bi; im += ar*bi + ai*br
//   COMPLEX x REAL    re += ar*b;  im += ai*b   (and likewise REAL x COMPLEX)
// so computing many elements at once, in SIMD lanes, changes no bit.
// INTEGER work types are unsigned: products and sums wrap.
//
// Packed layouts (W values): A strip, per k: MR real parts, then MR
// imaginary parts when A is COMPLEX (a REAL A already of the work type may
// also be read in place, MR consecutive rows per k).  B panel, per k: NR real parts, then NR
// imaginary parts when B is COMPLEX.  Accumulators: column-major planes with
// leading dimension ld; the imaginary plane starts `plane` values after the
// real one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/types.h"

namespace mox2::matmul {

// a_step: W values from one k to the next in A (the packed strip's length,
// or the leading dimension when A is read in place).
template <class W>
using TileFn = void (*)(std::size_t kc, const W *a, std::ptrdiff_t a_step, const W *b, W *acc,
                        std::size_t ld, std::size_t plane);

// The kernels of one work type and operand form on one instruction set: a
// general tile, and a one-column tile for products with N = 1.
template <class W> struct TileSet {
  int mr, nr;
  TileFn<W> tile;
  int mr1;
  TileFn<W> column;
};

// The tile set of the kernel set in use (kernels/kernel_set.h).
template <class W, bool AComplex, bool BComplex> TileSet<W> select_tiles();

// Per instruction set: vector width in bytes 16 (portable), 32 (AVX2), 64
// (AVX-512).  Defined in the files compiled for that instruction set.
template <int VectorBytes, class W, bool AComplex, bool BComplex> TileSet<W> tile_set();

} // namespace mox2::matmul
