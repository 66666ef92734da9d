// Executable model of the thin-product GEMM kernels: the dispatch on the
// thin dimension, GEMV / scaling + rank-one update for a thin dimension of
// 1 in the real kernels, and the reference loops without the zero skip for
// everything else that is thin.  COMPLEX(4) forms every product exactly.
#pragma once

#include "kernels/kernels.h"

namespace mox2::model {

// The thin-product kernels.
void sgemm_asp(char transa, char transb, int m, int n, int k, float alpha, const float *a, int lda,
               const float *b, int ldb, float beta, float *c, int ldc);
void dgemm_asp(char transa, char transb, int m, int n, int k, double alpha, const double *a,
               int lda, const double *b, int ldb, double beta, double *c, int ldc);
void cgemm_asp(char transa, char transb, int m, int n, int k, c8 alpha, const c8 *a, int lda,
               const c8 *b, int ldb, c8 beta, c8 *c, int ldc);
void zgemm_asp(char transa, char transb, int m, int n, int k, c16 alpha, const c16 *a, int lda,
               const c16 *b, int ldb, c16 beta, c16 *c, int ldc);

} // namespace mox2::model
