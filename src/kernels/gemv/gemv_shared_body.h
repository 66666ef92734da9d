// What the real and complex GEMV algorithms of one kernel set share
// (gemv_body.h).
#pragma once

#ifndef MOX2_KERNEL_SET
#error "define MOX2_KERNEL_SET before including gemv/gemv_shared_body.h"
#endif

#include <cstddef>

#include "kernels/gemv/gemv_sets.h"

namespace mox2::kernels::MOX2_KERNEL_SET {

using Index = std::ptrdiff_t;

// The column form on a strided y: rows in chunks, each chunk's y copied to
// a contiguous buffer, updated there by every column in order, and copied
// back.  Moving values changes no bits; each element's order stays.
template <class T, class Mem, class ColumnForm>
void on_contiguous_y(const GemvBlock<T> &g, ColumnForm column_form) {
  if (g.y.step == 1) {
    column_form(g);
    return;
  }
  constexpr Index kRows = 1024;
  T buffer[kRows];
  for (Index i0 = 0; i0 < g.m; i0 += kRows) {
    const Index rows = g.m - i0 < kRows ? g.m - i0 : kRows;
    for (Index i = 0; i < rows; ++i)
      buffer[i] = Mem::ld(g.y.p + (i0 + i) * g.y.step);
    GemvBlock<T> part = g;
    part.m = rows;
    part.a.p = g.a.p + i0;
    part.y.p = buffer;
    part.y.step = 1;
    column_form(part);
    for (Index i = 0; i < rows; ++i)
      Mem::st(g.y.p + (i0 + i) * g.y.step, buffer[i]);
  }
}

} // namespace mox2::kernels::MOX2_KERNEL_SET
