// Executable model of the BLAS kernels and drivers: each algorithm one
// element at a time in the order it must follow, as plainly as the rules
// read; the tests compare the library with it bit for bit.  BLAS arguments
// by value; data may be only 4-byte aligned (accesses through memcpy).
#pragma once

#include <cstdint>
#include <type_traits>
#include <vector>

#include "kernels/kernels.h"

namespace mox2::model {

// Element i (1..n) of the vector (x, n, inc): for inc < 0 the first element
// is the highest-addressed one; inc = 0 makes every element the one at x.
template <class T> T *element(T *x, int n, int inc, int i) {
  if (inc >= 0) return x + static_cast<std::ptrdiff_t>(i - 1) * inc;
  return x + static_cast<std::ptrdiff_t>(n - i) * -static_cast<std::ptrdiff_t>(inc);
}
template <class T> T get(const T *p) { return load<T>(p); }
template <class T> void put(T *p, const T &v) { store<T>(p, v); }

// Element arithmetic.  Complex products form their parts first:
// (a + ib)(c + id) = (ac - bd) + i(ad + bc); the exact form (COMPLEX(4)
// only) takes the four products exact in double, the difference and the
// sum in double, and rounds each part once.
inline float times(float u, float v) { return u * v; }
inline double times(double u, double v) { return u * v; }
template <class P> Complex<P> times(Complex<P> u, Complex<P> v) {
  return {u.re * v.re - u.im * v.im, u.re * v.im + u.im * v.re};
}
template <class T> T times(bool exact, T u, T v) {
  if constexpr (std::is_same_v<T, c8>) {
    double a = u.re, b = u.im, c = v.re, d = v.im;
    if (exact) return {static_cast<float>(a * c - b * d), static_cast<float>(a * d + b * c)};
  }
  return times(u, v);
}
inline float plus(float u, float v) { return u + v; }
inline double plus(double u, double v) { return u + v; }
template <class P> Complex<P> plus(Complex<P> u, Complex<P> v) {
  return {u.re + v.re, u.im + v.im};
}
inline float conj(float u) { return u; }
inline double conj(double u) { return u; }
template <class P> Complex<P> conj(Complex<P> u) { return {u.re, -u.im}; }

// ---- Level 1 -----------------------------------------------------------
// Dot products, x(i)*y(i) (conjg(x(i))*y(i) when `conjugate`).  Real: four
// partial sums s0..s3, result (s0 + s1) + (s2 + s3); with both increments
// 1 the elements go in groups of four, member k into s_k, the n mod 4
// leftovers into s0 after the groups, except that REAL(4) data with x and
// y both 4 bytes off 8-byte alignment first puts x1*y1 into s0 and then
// member k into s_(k+1 mod 4); with other increments the n mod 4 leading
// elements go into s0 first, then the groups.  COMPLEX(4): pairs A and B,
// an odd n's first product into A, then each pair's first into A, second
// into B, result A + B.  COMPLEX(8), and `in_order` (the alignment-safe
// kernels): one sum, elements in order.
template <class T>
T dot(int n, const T *x, int incx, const T *y, int incy, bool conjugate, bool in_order = false);
// x := alpha*x (nothing for inc = 0).
template <class T> void scal(int n, T alpha, T *x, int inc);
// A := A + x*(y(j)*alpha) on the m x n matrix at a, real types.
template <class T>
void ger(int m, int n, T alpha, const T *x, int incx, const T *y, int incy, T *a, int lda);

// ---- GEMV: y := alpha*op(A)*x + beta*y -----------------------------------
template <class T>
using Gemv = void (*)(char trans, int m, int n, T alpha, const T *a, int lda, const T *x, int incx,
                      T beta, T *y, int incy);
// The kernels.  Real: 'N'/'n' is A, any other letter A^T.  Complex: 'N'/'n'
// A, 'C'/'c' A^H, any other A^T.  y is scaled first (zeros for beta = 0, y
// unread); then one column j at a time, in the column form (a zero x(j)
// skips the column; temp := alpha*x(j), y(i) := y(i) + temp*A(i, j)) or the
// dot form (temp from +0 over i, then y(j) := y(j) + alpha*temp).  Complex
// kernels take columns in pairs after a lone leading column of an odd n: a
// pair skips no zero, its first column's terms before its second's in each
// sum.  COMPLEX(4) forms the scaling and the lone column exactly, the
// pairs in single precision.
template <class T> void gemv_kernel(char, int, int, T, const T *, int, const T *, int, T, T *, int);
// The alignment-safe kernels (columns one at a time, single form): invalid
// arguments (a letter none of NnTtCc, m or n below 0, lda below max(1, m),
// incx or incy 0) store zeros into y(1..leny) as contiguous elements (y(1)
// alone for incy = 0) and return.  A real letter other than N/n transposes.
template <class T> void gemv_safe(char, int, int, T, const T *, int, const T *, int, T, T *, int);

// ---- GEMM: C := alpha*op(A)*op(B) + beta*C -------------------------------
template <class T>
using Gemm = void (*)(char transa, char transb, int m, int n, int k, T alpha, const T *a, int lda,
                      const T *b, int ldb, T beta, T *c, int ldc);
// Which products of the complex algorithm are exact (COMPLEX(4) only).
struct ComplexForms {
  bool scale;      // beta*C
  bool temp;       // alpha*b(l, j) of the column form
  bool update;     // temp*A(i, l)
  bool dot;        // op(A)(i, l)*b(l, j) of the dot form
  bool alpha_temp; // alpha*temp of the dot form
};
inline constexpr ComplexForms kSingle = {false, false, false, false, false};
inline constexpr ComplexForms kExact = {true, true, true, true, true};
// The reference algorithm: quick return (m = 0, n = 0, or beta = 1 with
// alpha = 0 or k = 0), alpha = 0 scales C only; then the column form
// (op(A) = A: C(:, j) scaled, then for l in order temp := alpha*b(l, j),
// C(i, j) := C(i, j) + temp*A(i, l), a zero b(l, j) skipping its term when
// zero_skip) or the dot form (temp from +0 over l, then C(i, j) :=
// alpha*temp, or alpha*temp + beta*C(i, j)).  Letters as the GEMV kernels
// read them.
template <class T>
void gemm_reference(char transa, char transb, int m, int n, int k, T alpha, const T *a, int lda,
                    const T *b, int ldb, T beta, T *c, int ldc, bool zero_skip = true,
                    ComplexForms forms = kSingle);
// The GEMM kernels.  Real: C scaled first (zeros for beta = 0, the scal
// kernel otherwise); an odd n's column 1 by GEMV; rows 1..m mod 4 of the
// other columns by GEMV (beta = 1); the rest by the reference algorithm
// with beta = 1.  Complex: C column by column from GEMV calls on C scaled
// first, except for op(B) = B^H, which takes the reference algorithm with
// beta inside; COMPLEX(4) forms the scaling and alpha*temp exactly.
template <class T>
void gemm_kernel(char, char, int, int, int, T, const T *, int, const T *, int, T, T *, int);
// The thin-product kernels (exactly one of m, n, k below 4, the thin
// dimension; anything else takes the reference algorithm).  A real thin
// dimension of 1: one GEMV over row 1 or column 1 of C, or for k = 1 the
// scaling of C and one rank-one update; any other thin case the reference
// loops without the zero skip, COMPLEX(4) forming every product exactly.
template <class T>
void gemm_thin(char, char, int, int, int, T, const T *, int, const T *, int, T, T *, int);
// The alignment-safe kernels: invalid arguments (a letter none of
// NnTtCc, m, n or k below 0, a leading dimension too small) zero
// C(1..m, 1..n) along ldc (a negative ldc counting as 0) and return; else
// the reference algorithm (a real letter other than N/n transposes).
template <class T>
void gemm_safe(char, char, int, int, int, T, const T *, int, const T *, int, T, T *, int);

// ---- The drivers ---------------------------------------------------------
// One kernel call: rows r0.. and columns c0.. of C (GEMV: elements r0.. of y).
struct Block {
  std::int32_t r0, c0, rows, cols;
};
// The blocks of y for a valid GEMV that reaches its kernel on t threads:
// real ones in t bands of y, the first len mod t one longer; complex ones
// t - 1 bands of len div t, the last one taking the rest; one block when t
// < 2 or y is shorter than t.
std::vector<Block> gemv_blocks(bool complex, bool no_trans, std::int32_t m, std::int32_t n,
                               std::int32_t t);
// Which kernel runs on which blocks of C (M, N, K >= 1, alpha != 0).  Thin
// (M, N or K below 4): row strips (t >= 2, N < 4, t <= M) or column strips
// (t >= 2, M or K < 4, t <= N), bands as for real GEMV, else one call.
// Otherwise a pr x pc mesh of blocks whose sides are whole quads of four,
// the first (len div 4) mod parts blocks a quad longer and the last one
// taking the len mod 4 leftovers: rows alone (pr = t) for M div 16 > N,
// columns alone for N div 16 > M, else the thread mesh (pr the largest
// divisor of t with pr*pr <= t); one call when t < 2 or a block would lack
// a quad.
struct GemmPlan {
  bool thin;
  std::vector<Block> blocks;
};
GemmPlan gemm_plan(std::int32_t m, std::int32_t n, std::int32_t k, std::int32_t t);

// The GEMV and GEMM drivers on t threads, the blocks run in turn on the
// kernels given: validation (invalid arguments zero y(1..len), len m for
// 'N' and n for any other letter, or C, as the alignment-safe kernels do),
// quick returns, beta handling, then the plan.
template <class T> struct GemmKernels {
  Gemm<T> mesh, thin;
  void (*scal)(int, T, T *, int);
};
template <class T>
void gemv(Gemv<T> kernel, std::int32_t t, char trans, std::int32_t m, std::int32_t n, T alpha,
          const T *a, std::int32_t lda, const T *x, std::int32_t incx, T beta, T *y,
          std::int32_t incy);
template <class T>
void gemm(const GemmKernels<T> &kernels, std::int32_t t, char transa, char transb, std::int32_t m,
          std::int32_t n, std::int32_t k, T alpha, const T *a, std::int32_t lda, const T *b,
          std::int32_t ldb, T beta, T *c, std::int32_t ldc);

} // namespace mox2::model
