// Executable model of the level-1 kernels: each algorithm written out as
// plainly as possible, one element at a time, in the order the kernels
// must follow.  Slow on purpose; the kernels are compared with it bit for
// bit.  Arguments follow the BLAS (counts, increments) but are passed by
// value; complex results are returned.  Data may be only 4-byte aligned:
// every element access goes through memcpy.
#pragma once

#include <cstdint>

#include "kernels/kernels.h"

namespace mox2::model {

// Address of the i-th element (i = 1..n) of the vector (x, n, inc): for
// inc < 0 the first element is the highest-addressed one; inc = 0 makes
// every element the one stored at x.
template <class T> T *element(T *x, int n, int inc, int i) {
  if (inc >= 0) return x + static_cast<std::ptrdiff_t>(i - 1) * inc;
  return x + static_cast<std::ptrdiff_t>(n - i) * -static_cast<std::ptrdiff_t>(inc);
}
template <class T> T get(const T *p) { return load<T>(p); }
template <class T> void put(T *p, const T &v) { store<T>(p, v); }

// Complex element products, parts formed first: (a + ib)(c + id).
template <class P> Complex<P> mul(Complex<P> u, Complex<P> v) {
  return {u.re * v.re - u.im * v.im, u.re * v.im + u.im * v.re};
}
// conjg(u)*v written as the conjugated dot product forms it:
// (ac + bd) + i(ad - bc).
template <class P> Complex<P> mul_conj(Complex<P> u, Complex<P> v) {
  return {u.re * v.re + u.im * v.im, u.re * v.im - u.im * v.re};
}
template <class P> Complex<P> add(Complex<P> u, Complex<P> v) { return {u.re + v.re, u.im + v.im}; }
template <class P> Complex<P> conj(Complex<P> u) { return {u.re, -u.im}; }
// COMPLEX(4) product in the exact form: the four products exact in
// double, the difference and the sum in double, each part rounded once.
inline c8 mul_exact(c8 u, c8 v) {
  double a = u.re, b = u.im, c = v.re, d = v.im;
  return {static_cast<float>(a * c - b * d), static_cast<float>(a * d + b * c)};
}

float sdot(int n, const float *x, int incx, const float *y, int incy);
double ddot(int n, const double *x, int incx, const double *y, int incy);
double ddot_don(int n, const double *x, int incx, const double *y, int incy);
c8 cdotc(int n, const c8 *x, int incx, const c8 *y, int incy);
c8 cdotu(int n, const c8 *x, int incx, const c8 *y, int incy);
c16 zdotc(int n, const c16 *x, int incx, const c16 *y, int incy);
c16 zdotu(int n, const c16 *x, int incx, const c16 *y, int incy);
c16 zdotc_don(int n, const c16 *x, int incx, const c16 *y, int incy);

void sscal(int n, float alpha, float *x, int incx);
void dscal(int n, double alpha, double *x, int incx);
void cscal(int n, c8 alpha, c8 *x, int incx);
void zscal(int n, c16 alpha, c16 *x, int incx);

// A := A + alpha*x*y^T on the m x n matrix at a (leading dimension lda).
void sger(int m, int n, float alpha, const float *x, int incx, const float *y, int incy, float *a,
          int lda);
void dger(int m, int n, double alpha, const double *x, int incx, const double *y, int incy,
          double *a, int lda);

} // namespace mox2::model
