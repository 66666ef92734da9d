/*
 * mox2_cblas.h: the CBLAS names of libmox2_blas.so.2.
 *
 * libmox2_blas.so.2 gives mox2's GEMM and GEMV the standard BLAS names, so
 * that existing BLAS programs run them unchanged, linked in or preloaded
 * over another BLAS (which keeps serving every other routine):
 *
 *   Fortran names  sgemm_ dgemm_ cgemm_ zgemm_ sgemv_ dgemv_ cgemv_ zgemv_
 *                  (arguments by address, 32-bit integers, the hidden
 *                  character lengths as size_t at the end, never read);
 *   CBLAS names    cblas_sgemm ... cblas_zgemv, declared here.
 *
 * Each checks its arguments in the order and with the parameter numbers of
 * the reference BLAS.  On an invalid argument it reports and returns
 * without touching its output: the Fortran names call xerbla_(name,
 * info, 6) with the reference routine name ("DGEMM "), the CBLAS names call
 * cblas_xerbla(info, "cblas_dgemm", format, ...) with the reference
 * CBLAS's numbers (for row-major GEMM and GEMV errors found after the
 * transposition, the number in the transposed call plus one, which a
 * reference cblas_xerbla swaps back).  Those handlers are the program's own,
 * or another loaded BLAS's; when the process has none, libmox2_blas prints
 * the reference message on standard error and returns.
 *
 * Row-major calls go through the transposition identities (C**T = op(B)**T
 * op(A)**T); a row-major complex GEMV with CblasConjTrans computes the
 * conjugate of conj(alpha) A**T conj(x) + conj(beta) conj(y), using a
 * temporary copy of x (the same bits as the column-major product).
 *
 * Include this header instead of another cblas.h, or after it (it then
 * leaves the declarations to that header).
 */
#ifndef MOX2_CBLAS_H
#define MOX2_CBLAS_H

#ifndef CBLAS_H
#ifdef __cplusplus
extern "C" {
#endif

typedef enum CBLAS_LAYOUT { CblasRowMajor = 101, CblasColMajor = 102 } CBLAS_LAYOUT;
typedef enum CBLAS_TRANSPOSE {
  CblasNoTrans = 111,
  CblasTrans = 112,
  CblasConjTrans = 113
} CBLAS_TRANSPOSE;

void cblas_sgemm(CBLAS_LAYOUT layout, CBLAS_TRANSPOSE transa, CBLAS_TRANSPOSE transb, int m, int n,
                 int k, float alpha, const float *a, int lda, const float *b, int ldb, float beta,
                 float *c, int ldc);
void cblas_dgemm(CBLAS_LAYOUT layout, CBLAS_TRANSPOSE transa, CBLAS_TRANSPOSE transb, int m, int n,
                 int k, double alpha, const double *a, int lda, const double *b, int ldb,
                 double beta, double *c, int ldc);
/* Complex scalars and arrays: pairs of float (c) or double (z), real part first. */
void cblas_cgemm(CBLAS_LAYOUT layout, CBLAS_TRANSPOSE transa, CBLAS_TRANSPOSE transb, int m, int n,
                 int k, const void *alpha, const void *a, int lda, const void *b, int ldb,
                 const void *beta, void *c, int ldc);
void cblas_zgemm(CBLAS_LAYOUT layout, CBLAS_TRANSPOSE transa, CBLAS_TRANSPOSE transb, int m, int n,
                 int k, const void *alpha, const void *a, int lda, const void *b, int ldb,
                 const void *beta, void *c, int ldc);

void cblas_sgemv(CBLAS_LAYOUT layout, CBLAS_TRANSPOSE trans, int m, int n, float alpha,
                 const float *a, int lda, const float *x, int incx, float beta, float *y, int incy);
void cblas_dgemv(CBLAS_LAYOUT layout, CBLAS_TRANSPOSE trans, int m, int n, double alpha,
                 const double *a, int lda, const double *x, int incx, double beta, double *y,
                 int incy);
void cblas_cgemv(CBLAS_LAYOUT layout, CBLAS_TRANSPOSE trans, int m, int n, const void *alpha,
                 const void *a, int lda, const void *x, int incx, const void *beta, void *y,
                 int incy);
void cblas_zgemv(CBLAS_LAYOUT layout, CBLAS_TRANSPOSE trans, int m, int n, const void *alpha,
                 const void *a, int lda, const void *x, int incx, const void *beta, void *y,
                 int incy);

#ifdef __cplusplus
} /* extern "C" */
#endif
#endif /* CBLAS_H */

#endif /* MOX2_CBLAS_H */
