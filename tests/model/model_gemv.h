// Executable model of the GEMV kernels, y := alpha*op(A)*x + beta*y, one
// element at a time in the order the kernels must follow.  BLAS arguments
// by value; the option letter is read as the kernels read it.  Data may be
// only 4-byte aligned.
#pragma once

#include "kernels/kernels.h"

namespace mox2::model {

// Real kernels: 'N'/'n' is A, any other letter A^T.  One column at a time:
// column form with a zero x(j) skipping its column, or dot form with
// temp from +0 and y(j) := y(j) + alpha*temp.
void sgemv(char trans, int m, int n, float alpha, const float *a, int lda, const float *x, int incx,
           float beta, float *y, int incy);
void dgemv(char trans, int m, int n, double alpha, const double *a, int lda, const double *x,
           int incx, double beta, double *y, int incy);

// Complex kernels: 'N'/'n' A, 'T'/'t' A^T, any other letter A^H.  Columns
// in pairs after a lone leading column when n is odd; the pairs skip no
// zero x.  cgemv forms the beta scaling and every product of the lone
// column in the exact form, the pairs' products in single precision.
void cgemv(char trans, int m, int n, c8 alpha, const c8 *a, int lda, const c8 *x, int incx, c8 beta,
           c8 *y, int incy);
void zgemv(char trans, int m, int n, c16 alpha, const c16 *a, int lda, const c16 *x, int incx,
           c16 beta, c16 *y, int incy);

// The validating kernels: one column at a time; invalid arguments (letter
// none of NnTtCc, m < 0, n < 0, lda < max(1, m), incx = 0, incy = 0) store
// zeros into y(1..leny) as contiguous elements (only y(1) when incy = 0)
// and return.  dgemv_don takes 'C' as 'T'.
void dgemv_don(char trans, int m, int n, double alpha, const double *a, int lda, const double *x,
               int incx, double beta, double *y, int incy);
void zgemv_don(char trans, int m, int n, c16 alpha, const c16 *a, int lda, const c16 *x, int incx,
               c16 beta, c16 *y, int incy);

} // namespace mox2::model
