// The columns a column form takes from one block of a GEMV matrix, shared
// by the generic column forms (gemv_body.h) and a set's wide ones.
// Included by each kernel set's GEMV source inside its own namespace.
#pragma once

#ifndef MOX2_KERNEL_SET
#error "define MOX2_KERNEL_SET before including gemv_gather.h"
#endif

#include <cstddef>

#include "kernels/gemv/gemv_sets.h"

namespace mox2::kernels::MOX2_KERNEL_SET {

// Columns j0 .. j0+count-1 of g.a as x (at x, increment g.x.step) weighs
// them: each column's start and temp = alpha*x(j), in order, a zero x(j)
// left out unless kEveryTerm.  Returns how many were taken.
template <bool kEveryTerm, class T, class Mem>
int live_columns(const GemvBlock<T> &g, const T *x, std::ptrdiff_t j0, int count, const T **cols,
                 T *t) {
  int live = 0;
  for (int q = 0; q < count; ++q) {
    const T xj = Mem::ld(x + (j0 + q) * g.x.step);
    if (!kEveryTerm && xj == 0) continue;
    cols[live] = g.a.p + (j0 + q) * g.a.step;
    t[live++] = g.alpha * xj;
  }
  return live;
}

} // namespace mox2::kernels::MOX2_KERNEL_SET
