#include "model/model_asp.h"

#include "model/model_gemm.h"
#include "model/model_gemv.h"
#include "model/model_level1.h"

namespace mox2::model {
namespace {

enum class Thin { rows, cols, terms, none };

// The thin dimension, tested in this order; `small` is its value.
Thin thin_of(int m, int n, int k, int &small) {
  small = 0;
  if (m < 4 && n >= 4 && k >= 4) return small = m, Thin::rows;
  if (m >= 4 && n < 4 && k >= 4) return small = n, Thin::cols;
  if (m >= 4 && n >= 4 && k < 4) return small = k, Thin::terms;
  return Thin::none;
}

template <class T> struct Real;
template <> struct Real<float> {
  static constexpr auto reference = sgemm_reference;
  static constexpr auto loops = sgemm_loops;
  static constexpr auto gemv = sgemv;
  static constexpr auto scal = sscal;
  static constexpr auto ger = sger;
};
template <> struct Real<double> {
  static constexpr auto reference = dgemm_reference;
  static constexpr auto loops = dgemm_loops;
  static constexpr auto gemv = dgemv;
  static constexpr auto scal = dscal;
  static constexpr auto ger = dger;
};

template <class T>
void real_asp(char transa, char transb, int m, int n, int k, T alpha, const T *a, int lda,
              const T *b, int ldb, T beta, T *c, int ldc) {
  using R = Real<T>;
  if (m <= 0 || n <= 0) return;
  int small;
  Thin thin = thin_of(m, n, k, small);
  if (thin == Thin::none || small <= 0) {
    R::reference(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
    return;
  }
  bool ta = transa != 'N' && transa != 'n', tb = transb != 'N' && transb != 'n';
  if (small != 1) {
    R::loops(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc, false);
    return;
  }
  if (thin == Thin::rows) {
    // y = row 1 of C; x = row 1 of op(A); matrix B ('T') or B^T ('N').
    if (tb)
      R::gemv('N', n, k, alpha, b, ldb, a, ta ? 1 : lda, beta, c, ldc);
    else
      R::gemv('T', k, n, alpha, b, ldb, a, ta ? 1 : lda, beta, c, ldc);
  } else if (thin == Thin::cols) {
    if (ta)
      R::gemv('T', k, m, alpha, a, lda, b, tb ? ldb : 1, beta, c, 1);
    else
      R::gemv('N', m, k, alpha, a, lda, b, tb ? ldb : 1, beta, c, 1);
  } else {
    for (int j = 0; j < n; ++j) {
      T *col = c + static_cast<std::ptrdiff_t>(j) * ldc;
      if (beta == 0)
        for (int i = 0; i < m; ++i)
          put(col + i, T(0));
      else if (beta != 1)
        R::scal(m, beta, col, 1);
    }
    R::ger(m, n, alpha, a, ta ? lda : 1, b, tb ? 1 : ldb, c, ldc);
  }
}

} // namespace

void sgemm_asp(char transa, char transb, int m, int n, int k, float alpha, const float *a, int lda,
               const float *b, int ldb, float beta, float *c, int ldc) {
  real_asp(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}
void dgemm_asp(char transa, char transb, int m, int n, int k, double alpha, const double *a,
               int lda, const double *b, int ldb, double beta, double *c, int ldc) {
  real_asp(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}

// Complex: every thin case runs the loops without the zero skip.
void cgemm_asp(char transa, char transb, int m, int n, int k, c8 alpha, const c8 *a, int lda,
               const c8 *b, int ldb, c8 beta, c8 *c, int ldc) {
  if (m <= 0 || n <= 0) return;
  int small;
  if (thin_of(m, n, k, small) == Thin::none || small <= 0)
    cgemm_reference(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc, kAllExact);
  else
    cgemm_loops(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc, false, kAllExact);
}
void zgemm_asp(char transa, char transb, int m, int n, int k, c16 alpha, const c16 *a, int lda,
               const c16 *b, int ldb, c16 beta, c16 *c, int ldc) {
  if (m <= 0 || n <= 0) return;
  int small;
  if (thin_of(m, n, k, small) == Thin::none || small <= 0)
    zgemm_reference(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
  else
    zgemm_loops(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc, false);
}

} // namespace mox2::model
