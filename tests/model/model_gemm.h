// Executable model of the GEMM kernels, C := alpha*op(A)*op(B) + beta*C,
// one element at a time in the order the kernels must follow.  BLAS
// arguments by value, letters read as each kernel reads them; data may be
// only 4-byte aligned.
#pragma once

#include "kernels/kernels.h"

namespace mox2::model {

// The product form of each kind of complex product: COMPLEX(4) kernels mix
// the exact form (products exact in double, each part rounded once) and
// the single form; COMPLEX(8) kernels have only one.
struct ComplexForms {
  bool scale;      // beta*C
  bool temp;       // alpha*b(l, j) of the column form
  bool update;     // temp*A(i, l)
  bool dot;        // op(A)(i, l)*b(l, j) of the dot form
  bool alpha_temp; // alpha*temp of the dot form
};
inline constexpr ComplexForms kAllSingle = {false, false, false, false, false};
inline constexpr ComplexForms kAllExact = {true, true, true, true, true};

// The reference algorithm: quick return (m = 0, n = 0, or beta = 1 with
// alpha = 0 or k = 0), alpha = 0 scales C only, then the column form
// (op(A) = A; a zero b(l, j) skips its term) or the dot form.  Real: any
// letter other than 'N'/'n' transposes.  Complex: 'N'/'n', 'C'/'c'
// (conjugate transpose), any other letter transposes.
void sgemm_reference(char transa, char transb, int m, int n, int k, float alpha, const float *a,
                     int lda, const float *b, int ldb, float beta, float *c, int ldc);
void dgemm_reference(char transa, char transb, int m, int n, int k, double alpha, const double *a,
                     int lda, const double *b, int ldb, double beta, double *c, int ldc);
void cgemm_reference(char transa, char transb, int m, int n, int k, c8 alpha, const c8 *a, int lda,
                     const c8 *b, int ldb, c8 beta, c8 *c, int ldc, ComplexForms forms);
void zgemm_reference(char transa, char transb, int m, int n, int k, c16 alpha, const c16 *a,
                     int lda, const c16 *b, int ldb, c16 beta, c16 *c, int ldc);

// The loops of the column or dot form alone (no quick return, no alpha = 0
// shortcut), with or without the zero skip of the column form.
void sgemm_loops(char transa, char transb, int m, int n, int k, float alpha, const float *a,
                 int lda, const float *b, int ldb, float beta, float *c, int ldc, bool zero_skip);
void dgemm_loops(char transa, char transb, int m, int n, int k, double alpha, const double *a,
                 int lda, const double *b, int ldb, double beta, double *c, int ldc,
                 bool zero_skip);
void cgemm_loops(char transa, char transb, int m, int n, int k, c8 alpha, const c8 *a, int lda,
                 const c8 *b, int ldb, c8 beta, c8 *c, int ldc, bool zero_skip, ComplexForms forms);
void zgemm_loops(char transa, char transb, int m, int n, int k, c16 alpha, const c16 *a, int lda,
                 const c16 *b, int ldb, c16 beta, c16 *c, int ldc, bool zero_skip);

// The kernels themselves.
void sgemm(char transa, char transb, int m, int n, int k, float alpha, const float *a, int lda,
           const float *b, int ldb, float beta, float *c, int ldc);
void dgemm(char transa, char transb, int m, int n, int k, double alpha, const double *a, int lda,
           const double *b, int ldb, double beta, double *c, int ldc);
void sgemmx(char transa, char transb, int m, int n, int k, float alpha, const float *a, int lda,
            const float *b, int ldb, float beta, float *c, int ldc);
void dgemmx(char transa, char transb, int m, int n, int k, double alpha, const double *a, int lda,
            const double *b, int ldb, double beta, double *c, int ldc);
void cgemm(char transa, char transb, int m, int n, int k, c8 alpha, const c8 *a, int lda,
           const c8 *b, int ldb, c8 beta, c8 *c, int ldc);
void zgemm(char transa, char transb, int m, int n, int k, c16 alpha, const c16 *a, int lda,
           const c16 *b, int ldb, c16 beta, c16 *c, int ldc);
void dgemm_don(char transa, char transb, int m, int n, int k, double alpha, const double *a,
               int lda, const double *b, int ldb, double beta, double *c, int ldc);
void zgemm_don(char transa, char transb, int m, int n, int k, c16 alpha, const c16 *a, int lda,
               const c16 *b, int ldb, c16 beta, c16 *c, int ldc);

} // namespace mox2::model
