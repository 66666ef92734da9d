// The GEMV kernels: argument decoding, quick returns, validation of the
// alignment-safe kernels; the routines are the kernel set's.  The arithmetic
// and its order are in gemv_body.h.
#include <cstdint>
#include <cstring>

#include "kernels/blas_access.h"
#include "kernels/gemv/gemv_sets.h"
#include "kernels/kernel_set.h"
#include "kernels/kernels.h"
#include "runtime/cpu.h"

namespace mox2::kernels {
namespace {

template <class T>
GemvBlock<T> resolve(Op op, std::int32_t m, std::int32_t n, const T *alpha, const T *a,
                     std::int32_t lda, const T *x, std::int32_t incx, const T *beta, T *y,
                     std::int32_t incy, bool bytewise) {
  const bool transposed = op != Op::plain;
  std::int32_t lenx = transposed ? m : n, leny = transposed ? n : m;
  GemvBlock<T> g;
  g.m = m;
  g.n = n;
  g.a = {a, lda};
  g.x = {first_element(x, lenx, incx), incx};
  g.y = {first_element(y, leny, incy), incy};
  // The scalars too may be only 4-byte aligned.
  if (bytewise) {
    g.alpha = Bytewise4Access::ld(alpha);
    g.beta = Bytewise4Access::ld(beta);
  } else {
    g.alpha = *alpha;
    g.beta = *beta;
  }
  return g;
}

bool nothing_to_do(std::int32_t m, std::int32_t n, const GemvBlock<float> &g) {
  return m <= 0 || n <= 0 || (g.alpha == 0 && g.beta == 1);
}
bool nothing_to_do(std::int32_t m, std::int32_t n, const GemvBlock<double> &g) {
  return m <= 0 || n <= 0 || (g.alpha == 0 && g.beta == 1);
}
template <class P>
bool nothing_to_do(std::int32_t m, std::int32_t n, const GemvBlock<Complex<P>> &g) {
  return m <= 0 || n <= 0 || (is_zero(g.alpha) && is_one(g.beta));
}

// 'N'/'n': A; 'T'/'t': A^T; any other letter: A^H.
Op complex_op(char c) {
  if (c == 'N' || c == 'n') return Op::plain;
  if (c == 'T' || c == 't') return Op::transposed;
  return Op::conjugated;
}

// The validation of the alignment-safe kernels.  Invalid arguments zero
// y(1..leny) as contiguous elements whatever incy is (only y(1) when
// incy = 0, the one element such a caller surely provides); true then.
template <class T>
bool reject_invalid(char trans, std::int32_t m, std::int32_t n, std::int32_t lda, std::int32_t incx,
                    std::int32_t incy, T *y) {
  if (valid_letter(trans) && m >= 0 && n >= 0 && lda >= (m > 1 ? m : 1) && incx != 0 && incy != 0)
    return false;
  bool transposed = trans == 'T' || trans == 't' || trans == 'C' || trans == 'c';
  std::int32_t leny = transposed ? n : m;
  if (incy == 0 && leny > 1) leny = 1;
  if (leny > 0) std::memset(static_cast<void *>(y), 0, sizeof(T) * static_cast<std::size_t>(leny));
  return true;
}

} // namespace

void gemv_dot_rows(const GemvBlock<float> &g, int rows, std::ptrdiff_t x_row,
                   std::ptrdiff_t y_row) {
  kernel_set().s.gemv_dot_rows(g, rows, x_row, y_row);
}
void gemv_dot_rows(const GemvBlock<double> &g, int rows, std::ptrdiff_t x_row,
                   std::ptrdiff_t y_row) {
  kernel_set().d.gemv_dot_rows(g, rows, x_row, y_row);
}
void gemv_few_columns(const GemvBlock<float> &g, int ys, std::ptrdiff_t x_col, std::ptrdiff_t y_col,
                      bool every_term) {
  kernel_set().s.gemv_few_columns(g, ys, x_col, y_col, every_term);
}
void gemv_few_columns(const GemvBlock<double> &g, int ys, std::ptrdiff_t x_col,
                      std::ptrdiff_t y_col, bool every_term) {
  kernel_set().d.gemv_few_columns(g, ys, x_col, y_col, every_term);
}

} // namespace mox2::kernels

using namespace mox2;
using namespace mox2::kernels;

extern "C" {

MOX2_GEMV_KERNEL(__f___zo_pp_sgemv_, float) {
  const Op op = op_of(real_transposed(trans));
  auto g = resolve(op, *m, *n, alpha, a, *lda, x, *incx, beta, y, *incy, false);
  if (nothing_to_do(*m, *n, g)) return;
  kernel_set().s.gemv(op, g);
}

MOX2_GEMV_KERNEL(__f___zo_pp_dgemv_, double) {
  const Op op = op_of(real_transposed(trans));
  auto g = resolve(op, *m, *n, alpha, a, *lda, x, *incx, beta, y, *incy, false);
  if (nothing_to_do(*m, *n, g)) return;
  kernel_set().d.gemv(op, g);
}

MOX2_GEMV_KERNEL(__f___zo_pp_cgemv_, c8) {
  Op op = complex_op(*trans);
  auto g = resolve(op, *m, *n, alpha, a, *lda, x, *incx, beta, y, *incy, false);
  if (nothing_to_do(*m, *n, g)) return;
  kernel_set().c.gemv(op, g);
}

MOX2_GEMV_KERNEL(__f___zo_pp_zgemv_, c16) {
  Op op = complex_op(*trans);
  auto g = resolve(op, *m, *n, alpha, a, *lda, x, *incx, beta, y, *incy, false);
  if (nothing_to_do(*m, *n, g)) return;
  kernel_set().z.gemv(op, g);
}

// 'N'/'n': A; 'T', 't', 'C', 'c': A^T; data only 4-byte aligned.
MOX2_GEMV_KERNEL(__f___zo_dgemv_don_, double) {
  if (reject_invalid(*trans, *m, *n, *lda, *incx, *incy, y)) return;
  const Op op = op_of(*trans != 'N' && *trans != 'n');
  auto g = resolve(op, *m, *n, alpha, a, *lda, x, *incx, beta, y, *incy, true);
  if (nothing_to_do(*m, *n, g)) return;
  kernel_set().d.gemv_bytewise(op, g);
}

// 'N'/'n': A; 'T'/'t': A^T; 'C'/'c': A^H; data only 4-byte aligned.
MOX2_GEMV_KERNEL(__f___zo_zgemv_don_, c16) {
  if (reject_invalid(*trans, *m, *n, *lda, *incx, *incy, y)) return;
  Op op = complex_op(*trans);
  auto g = resolve(op, *m, *n, alpha, a, *lda, x, *incx, beta, y, *incy, true);
  if (nothing_to_do(*m, *n, g)) return;
  kernel_set().z.gemv_bytewise(op, g);
}

} // extern "C"
