// The vector policy of the blocked complex column and dot forms
// (driver.h), which each kernel set's source defines inside its own
// namespace before it includes them: a struct L per precision with P, V,
// kWidth (parts per vector), the set's ComplexShape (kernels/kernel_set.h)
// as kShape and its fields kCols (columns per tile), kDepth, kRowBlock,
// kColBlock and kDotColBlock, and load, load_first (the first n parts,
// the rest zero, nothing else read), store, broadcast, mul, add, sub,
// reals/imags (the parts of an interleaved pair of vectors),
// low_half/high_half (back), Live (a term's flag) with live(const Live *)
// (its mask), add_where(acc, mask, x), negate and
// transpose_rows<kRows>(src, ld, dst, dst_ld) (dst[t*dst_ld + r] :=
// src[r*ld + t], r < kRows, t < kWidth) for 8, 2*kCols and kWidth or 8
// rows, whichever is fewer; it may provide lone_row_sums (few_rows.h) and
// add_terms(kc, ap, bp, re, im), the one-vector tile's unmasked loop over
// l (tiles.h) with the tile's operations in the tile's order.
#pragma once

#ifndef MOX2_KERNEL_SET
#error "define MOX2_KERNEL_SET before including gemm_complex/blocked/lanes.h"
#endif

#include <cstddef>

namespace mox2::kernels::MOX2_KERNEL_SET {
namespace {

// Rows of C per tile: the set's vecs vectors of parts.
template <class L> constexpr Index tile_rows() { return L::kShape.vecs * L::kWidth; }

} // namespace
} // namespace mox2::kernels::MOX2_KERNEL_SET
