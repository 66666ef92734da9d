// Executable model of the BLAS kernels and drivers: each algorithm one
// element at a time in the order it must follow, as plainly as the rules
// read; the tests compare the library with it bit for bit.  BLAS arguments
// by value; data may be only 4-byte aligned (accesses through memcpy).
#pragma once

#include <cstdint>
#include <cstring>
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
template <class T> T times(T u, T v) { return u * v; }
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
template <class T> T plus(T u, T v) { return u + v; }
template <class P> Complex<P> plus(Complex<P> u, Complex<P> v) {
  return {u.re + v.re, u.im + v.im};
}
template <class T> T conj(T u) { return u; }
template <class P> Complex<P> conj(Complex<P> u) { return {u.re, -u.im}; }

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
// One kernel call: rows r0.. and columns c0.. of C (GEMV: elements r0.. of y).
struct Block {
  std::int32_t r0, c0, rows, cols;
};

// Helpers of the algorithms below.
template <class T> T *at(T *a, int lda, int i, int j) {
  return a + (i - 1) + static_cast<std::ptrdiff_t>(j - 1) * lda;
}
template <class T> constexpr bool kComplex = is_complex_element<T>;

enum class Op { plain, transposed, conjugated };
inline Op op_of(char letter, bool complex) {
  if (letter == 'N' || letter == 'n') return Op::plain;
  return complex && (letter == 'C' || letter == 'c') ? Op::conjugated : Op::transposed;
}
inline bool valid_letter(char letter) { return letter && std::strchr("NnTtCc", letter); }

// Invalid arguments of a GEMV: y(1..len) zeroed as contiguous elements, y(1)
// alone for incy = 0.
template <class T> void zero_y(int len, int incy, T *y) {
  if (incy == 0 && len > 1) len = 1;
  for (int i = 0; i < len; ++i)
    put(y + i, T{});
}

// GEMV one column at a time (or in pairs after a lone leading column of an
// odd n), the lone columns and beta*y in the exact form when `exact`.
template <class T>
void gemv_columns(Op op, bool pairs, bool exact, int m, int n, T alpha, const T *a, int lda,
                  const T *x, int incx, T beta, T *y, int incy) {
  if (m <= 0 || n <= 0 || (is_zero(alpha) && is_one(beta))) return;
  const int lenx = op == Op::plain ? n : m, leny = op == Op::plain ? m : n;
  if (!is_one(beta))
    for (int i = 1; i <= leny; ++i) {
      T *yi = element(y, leny, incy, i);
      put(yi, is_zero(beta) ? T{} : times(exact, beta, get(yi)));
    }
  if (is_zero(alpha)) return;
  auto a_ij = [&](int i, int j) {
    T v = get(at(a, lda, i, j));
    return op == Op::conjugated ? conj(v) : v;
  };
  auto x_j = [&](int j) { return get(element(x, lenx, incx, j)); };
  // Columns j..j+w-1 in one pass; a lone column (w = 1) skips a zero x(j)
  // in the column form.
  auto columns = [&](int j, int w, bool ex) {
    if (op == Op::plain) {
      if (w == 1 && is_zero(x_j(j))) return;
      T t[2];
      for (int q = 0; q < w; ++q)
        t[q] = times(ex, alpha, x_j(j + q));
      for (int i = 1; i <= m; ++i) {
        T *yi = element(y, leny, incy, i), v = get(yi);
        for (int q = 0; q < w; ++q)
          v = plus(v, times(ex, t[q], a_ij(i, j + q)));
        put(yi, v);
      }
    } else {
      T temp[2] = {};
      for (int i = 1; i <= m; ++i)
        for (int q = 0; q < w; ++q)
          temp[q] = plus(temp[q], times(ex, a_ij(i, j + q), x_j(i)));
      for (int q = 0; q < w; ++q) {
        T *yj = element(y, leny, incy, j + q);
        put(yj, plus(get(yj), times(ex, alpha, temp[q])));
      }
    }
  };
  int j = 1;
  if (!pairs || n % 2 == 1) columns(j++, 1, exact);
  for (; !pairs && j <= n; ++j)
    columns(j, 1, exact);
  for (; j <= n; j += 2)
    columns(j, 2, false);
}

// b(l, j) of op(B).
template <class T> T b_of(Op op_b, const T *b, int ldb, int l, int j) {
  if (op_b == Op::plain) return get(at(b, ldb, l, j));
  T v = get(at(b, ldb, j, l));
  return op_b == Op::conjugated ? conj(v) : v;
}

template <class T> void scale_all(int m, int n, T beta, T *c, int ldc, bool exact) {
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= m; ++i)
      put(at(c, ldc, i, j), is_zero(beta) ? T{} : times(exact, beta, get(at(c, ldc, i, j))));
}

// The column or dot form's loops alone (no quick return, no alpha = 0
// shortcut).
template <class T>
void loops(Op op_a, Op op_b, int m, int n, int k, T alpha, const T *a, int lda, const T *b, int ldb,
           T beta, T *c, int ldc, bool zero_skip, ComplexForms f) {
  if (op_a == Op::plain) {
    for (int j = 1; j <= n; ++j) {
      if (!is_one(beta)) scale_all(m, 1, beta, at(c, ldc, 1, j), ldc, f.scale);
      for (int l = 1; l <= k; ++l) {
        T bl = b_of(op_b, b, ldb, l, j);
        if (zero_skip && is_zero(bl)) continue;
        T temp = times(f.temp, alpha, bl);
        for (int i = 1; i <= m; ++i)
          put(at(c, ldc, i, j),
              plus(get(at(c, ldc, i, j)), times(f.update, temp, get(at(a, lda, i, l)))));
      }
    }
    return;
  }
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= m; ++i) {
      T temp{};
      for (int l = 1; l <= k; ++l) {
        T a_li = get(at(a, lda, l, i));
        if (op_a == Op::conjugated) a_li = conj(a_li);
        temp = plus(temp, times(f.dot, a_li, b_of(op_b, b, ldb, l, j)));
      }
      T *cij = at(c, ldc, i, j), r = times(f.alpha_temp, alpha, temp);
      put(cij, is_zero(beta) ? r : plus(r, times(f.scale, beta, get(cij))));
    }
}

// Invalid GEMM arguments: C(1..m, 1..n) zeroed along ldc (0 when negative);
// true then.
template <class T>
bool gemm_invalid(char transa, char transb, int m, int n, int k, int lda, int ldb, int ldc, T *c) {
  auto max1 = [](int v) { return v > 1 ? v : 1; };
  const bool na = op_of(transa, false) == Op::plain, nb = op_of(transb, false) == Op::plain;
  if (valid_letter(transa) && valid_letter(transb) && m >= 0 && n >= 0 && k >= 0 &&
      lda >= max1(na ? m : k) && ldb >= max1(nb ? k : n) && ldc >= max1(m))
    return false;
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= m; ++i)
      put(at(c, ldc < 0 ? 0 : ldc, i, j), T{});
  return true;
}

// Band i of len elements in t bands: first len mod t one longer, or
// (last_takes_rest) t - 1 bands of len div t and the rest last.
inline Block band(std::int32_t len, std::int32_t t, std::int32_t i, bool last_takes_rest) {
  const std::int32_t q = len / t, r = len % t;
  if (last_takes_rest) return {i * q, 0, i < t - 1 ? q : len - (t - 1) * q, 0};
  return {i * q + (i < r ? i : r), 0, q + (i < r ? 1 : 0), 0};
}

// Block i of len cut in quads among parts blocks, leftovers to the last.
inline Block quads(std::int32_t len, std::int32_t parts, std::int32_t i) {
  Block b = band(len / 4, parts, i, false);
  return {4 * b.r0, 0, 4 * b.rows + (i == parts - 1 ? len % 4 : 0), 0};
}

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
T dot(int n, const T *x, int incx, const T *y, int incy, bool conjugate, bool in_order = false) {
  T s[4] = {};
  if (n <= 0) return s[0];
  auto term = [&](int i) {
    T u = get(element(x, n, incx, i));
    return times(conjugate ? conj(u) : u, get(element(y, n, incy, i)));
  };
  if (in_order || std::is_same_v<T, c16>) {
    for (int i = 1; i <= n; ++i)
      s[0] = plus(s[0], term(i));
    return s[0];
  }
  if constexpr (kComplex<T>) {
    int i = 1;
    if (n % 2 == 1) s[0] = plus(s[0], term(i++));
    for (; i <= n; i += 2) {
      s[0] = plus(s[0], term(i));
      s[1] = plus(s[1], term(i + 1));
    }
    return plus(s[0], s[1]);
  } else {
    auto four_off = [](const void *p) { return reinterpret_cast<std::uintptr_t>(p) % 8 == 4; };
    if (incx == 1 && incy == 1) {
      int first = 1, lane0 = 0;
      if (sizeof(T) == 4 && four_off(x) && four_off(y)) {
        s[0] = s[0] + term(1);
        if (n == 1) return s[0];
        first = 2, lane0 = 1;
      }
      const int grouped = (n - first + 1) / 4 * 4;
      for (int i = first; i < first + grouped; ++i)
        s[(lane0 + i - first) % 4] = s[(lane0 + i - first) % 4] + term(i);
      for (int i = first + grouped; i <= n; ++i)
        s[0] = s[0] + term(i);
    } else {
      const int lead = n % 4;
      for (int i = 1; i <= n; ++i)
        s[i <= lead ? 0 : (i - lead - 1) % 4] = s[i <= lead ? 0 : (i - lead - 1) % 4] + term(i);
    }
    return (s[0] + s[1]) + (s[2] + s[3]);
  }
}
// x := alpha*x (nothing for inc = 0).
template <class T> void scal(int n, T alpha, T *x, int inc) {
  for (int i = 1; inc != 0 && i <= n; ++i) {
    T *p = element(x, n, inc, i);
    put(p, times(alpha, get(p)));
  }
}
// beta*C column by column: zeros for beta = 0, else the scal kernel.
template <class T> void scale_columns(int m, int n, T beta, T *c, int ldc) {
  if (is_zero(beta)) return scale_all(m, n, beta, c, ldc, false);
  for (int j = 1; j <= n && !is_one(beta); ++j)
    scal(m, beta, at(c, ldc, 1, j), 1);
}

// A := A + x*(y(j)*alpha) on the m x n matrix at a, real types.
template <class T>
void ger(int m, int n, T alpha, const T *x, int incx, const T *y, int incy, T *a, int lda) {
  for (int j = 1; j <= n; ++j) {
    T t = get(element(y, n, incy, j)) * alpha;
    for (int i = 1; i <= m; ++i)
      put(at(a, lda, i, j), get(at(a, lda, i, j)) + get(element(x, m, incx, i)) * t);
  }
}

// ---- GEMV: y := alpha*op(A)*x + beta*y -----------------------------------
// The kernels.  Real: 'N'/'n' is A, any other letter A^T.  Complex: 'N'/'n'
// A, 'C'/'c' A^H, any other A^T.  y is scaled first (zeros for beta = 0, y
// unread); then one column j at a time, in the column form (a zero x(j)
// skips the column; temp := alpha*x(j), y(i) := y(i) + temp*A(i, j)) or the
// dot form (temp from +0 over i, then y(j) := y(j) + alpha*temp).  Complex
// kernels take columns in pairs after a lone leading column of an odd n: a
// pair skips no zero, its first column's terms before its second's in each
// sum.  COMPLEX(4) forms the scaling and the lone column exactly, the
// pairs in single precision.
template <class T>
void gemv_kernel(char trans, int m, int n, T alpha, const T *a, int lda, const T *x, int incx,
                 T beta, T *y, int incy) {
  gemv_columns(op_of(trans, kComplex<T>), kComplex<T>, std::is_same_v<T, c8>, m, n, alpha, a, lda,
               x, incx, beta, y, incy);
}
// The alignment-safe kernels (columns one at a time, single form): invalid
// arguments (a letter none of NnTtCc, m or n below 0, lda below max(1, m),
// incx or incy 0) store zeros into y(1..leny) as contiguous elements (y(1)
// alone for incy = 0) and return.  A real letter other than N/n transposes.
template <class T>
void gemv_safe(char trans, int m, int n, T alpha, const T *a, int lda, const T *x, int incx, T beta,
               T *y, int incy) {
  if (!valid_letter(trans) || m < 0 || n < 0 || lda < (m > 1 ? m : 1) || incx == 0 || incy == 0)
    return zero_y(op_of(trans, false) == Op::plain || !valid_letter(trans) ? m : n, incy, y);
  gemv_columns(op_of(trans, kComplex<T>), false, false, m, n, alpha, a, lda, x, incx, beta, y,
               incy);
}

// ---- GEMM: C := alpha*op(A)*op(B) + beta*C -------------------------------
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
                    ComplexForms forms = kSingle) {
  if (m <= 0 || n <= 0 || (is_one(beta) && (is_zero(alpha) || k <= 0))) return;
  if (is_zero(alpha)) return scale_all(m, n, beta, c, ldc, forms.scale);
  loops(op_of(transa, kComplex<T>), op_of(transb, kComplex<T>), m, n, k, alpha, a, lda, b, ldb,
        beta, c, ldc, zero_skip, forms);
}
// The GEMM kernels.  Real: C scaled first (zeros for beta = 0, the scal
// kernel otherwise); an odd n's column 1 by GEMV; rows 1..m mod 4 of the
// other columns by GEMV (beta = 1); the rest by the reference algorithm
// with beta = 1.  Complex: C column by column from GEMV calls on C scaled
// first, except for op(B) = B^H, which takes the reference algorithm with
// beta inside; COMPLEX(4) forms the scaling and alpha*temp exactly.
template <class T>
void gemm_kernel(char transa, char transb, int m, int n, int k, T alpha, const T *a, int lda,
                 const T *b, int ldb, T beta, T *c, int ldc) {
  if (m <= 0 || n <= 0) return;
  if constexpr (kComplex<T>) {
    constexpr bool kC8 = std::is_same_v<T, c8>;
    constexpr ComplexForms forms = {kC8, false, false, false, kC8};
    if (is_one(beta) && (is_zero(alpha) || k <= 0)) return;
    const Op op_a = op_of(transa, true), op_b = op_of(transb, true);
    if (op_b == Op::conjugated && !is_zero(alpha) && k > 0)
      return loops(op_a, op_b, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc, true, forms);
    if (!is_one(beta)) scale_all(m, n, beta, c, ldc, forms.scale);
    if (is_zero(alpha) || k <= 0) return;
    const char letter = op_a == Op::plain ? 'N' : op_a == Op::conjugated ? 'C' : 'T';
    for (int j = 1; j <= n; ++j) {
      const T *x = op_b == Op::plain ? at(b, ldb, 1, j) : at(b, ldb, j, 1);
      const int incx = op_b == Op::plain ? 1 : ldb;
      if (op_a == Op::plain)
        gemv_kernel(letter, m, k, alpha, a, lda, x, incx, T{1, 0}, at(c, ldc, 1, j), 1);
      else
        gemv_kernel(letter, k, m, alpha, a, lda, x, incx, T{1, 0}, at(c, ldc, 1, j), 1);
    }
  } else {
    scale_columns(m, n, beta, c, ldc);
    if (is_zero(alpha) || k <= 0) return;
    const bool ta = op_of(transa, false) != Op::plain, tb = op_of(transb, false) != Op::plain;
    const int r = n % 2, s = m % 4;
    if (r == 1) {
      if (ta)
        gemv_kernel('T', k, m, alpha, a, lda, b, tb ? ldb : 1, T(1), c, 1);
      else
        gemv_kernel('N', m, k, alpha, a, lda, b, tb ? ldb : 1, T(1), c, 1);
      if (n == 1) return;
    }
    for (int i = 1; i <= s; ++i) {
      const T *x = ta ? at(a, lda, 1, i) : at(a, lda, i, 1);
      const int incx = ta ? 1 : lda;
      if (tb)
        gemv_kernel('N', n - r, k, alpha, at(b, ldb, r + 1, 1), ldb, x, incx, T(1),
                    at(c, ldc, i, r + 1), ldc);
      else
        gemv_kernel('T', k, n - r, alpha, at(b, ldb, 1, r + 1), ldb, x, incx, T(1),
                    at(c, ldc, i, r + 1), ldc);
    }
    if (m < 4) return;
    gemm_reference(transa, transb, m - s, n - r, k, alpha,
                   ta ? at(a, lda, 1, s + 1) : at(a, lda, s + 1, 1), lda,
                   tb ? at(b, ldb, r + 1, 1) : at(b, ldb, 1, r + 1), ldb, T(1),
                   at(c, ldc, s + 1, r + 1), ldc);
  }
}
// The thin-product kernels (exactly one of m, n, k below 4, the thin
// dimension; anything else takes the reference algorithm).  A real thin
// dimension of 1: one GEMV over row 1 or column 1 of C, or for k = 1 the
// scaling of C and one rank-one update; any other thin case the reference
// loops without the zero skip, COMPLEX(4) forming every product exactly.
template <class T>
void gemm_thin(char transa, char transb, int m, int n, int k, T alpha, const T *a, int lda,
               const T *b, int ldb, T beta, T *c, int ldc) {
  if (m <= 0 || n <= 0) return;
  // The thin dimension, tested in this order, and its value.
  const bool rows = m < 4 && n >= 4 && k >= 4, cols = m >= 4 && n < 4 && k >= 4,
             terms = m >= 4 && n >= 4 && k < 4;
  const int small = rows ? m : cols ? n : terms ? k : 0;
  const Op op_a = op_of(transa, kComplex<T>), op_b = op_of(transb, kComplex<T>);
  if (small <= 0)
    return gemm_reference(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc, true,
                          kExact);
  if (kComplex<T> || small != 1)
    return loops(op_a, op_b, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc, false, kExact);
  const bool ta = op_a != Op::plain, tb = op_b != Op::plain;
  if (rows) {
    // y = row 1 of C, x = row 1 of op(A), the matrix B ('T') or B^T ('N').
    gemv_kernel(tb ? 'N' : 'T', tb ? n : k, tb ? k : n, alpha, b, ldb, a, ta ? 1 : lda, beta, c,
                ldc);
  } else if (cols) {
    gemv_kernel(ta ? 'T' : 'N', ta ? k : m, ta ? m : k, alpha, a, lda, b, tb ? ldb : 1, beta, c, 1);
  } else {
    scale_columns(m, n, beta, c, ldc);
    if constexpr (!kComplex<T>) ger(m, n, alpha, a, ta ? lda : 1, b, tb ? 1 : ldb, c, ldc);
  }
}
// The alignment-safe kernels: invalid arguments (a letter none of
// NnTtCc, m, n or k below 0, a leading dimension too small) zero
// C(1..m, 1..n) along ldc (a negative ldc counting as 0) and return; else
// the reference algorithm (a real letter other than N/n transposes).
template <class T>
void gemm_safe(char transa, char transb, int m, int n, int k, T alpha, const T *a, int lda,
               const T *b, int ldb, T beta, T *c, int ldc) {
  if (!gemm_invalid(transa, transb, m, n, k, lda, ldb, ldc, c))
    gemm_reference(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}

// ---- The drivers ---------------------------------------------------------
// The blocks of y for a valid GEMV that reaches its kernel on t threads:
// real ones in t bands of y, the first len mod t one longer; complex ones
// t - 1 bands of len div t, the last one taking the rest; one block when t
// < 2 or y is shorter than t.
inline std::vector<Block> gemv_blocks(bool complex, bool no_trans, std::int32_t m, std::int32_t n,
                                      std::int32_t t) {
  const std::int32_t len = no_trans ? m : n;
  if (t < 2 || len < t) return {{0, 0, len, 0}};
  std::vector<Block> out;
  for (std::int32_t i = 0; i < t; ++i)
    out.push_back(band(len, t, i, complex));
  return out;
}
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
inline GemmPlan gemm_plan(std::int32_t m, std::int32_t n, std::int32_t k, std::int32_t t) {
  GemmPlan plan{m < 4 || n < 4 || k < 4, {}};
  if (plan.thin) {
    const bool row_strips = t >= 2 && n < 4 && t <= m;
    const bool column_strips = !row_strips && t >= 2 && (m < 4 || k < 4) && t <= n;
    for (std::int32_t i = 0; i < t && (row_strips || column_strips); ++i) {
      const Block b = band(row_strips ? m : n, t, i, false);
      plan.blocks.push_back(row_strips ? Block{b.r0, 0, b.rows, n} : Block{0, b.r0, m, b.rows});
    }
    if (plan.blocks.empty()) plan.blocks.push_back({0, 0, m, n});
    return plan;
  }
  std::int32_t pr = 1;
  for (std::int32_t d = 1; d * d <= t; ++d)
    if (t % d == 0) pr = d;
  std::int32_t pc = t / pr;
  if (m / 16 > n)
    pr = t, pc = 1;
  else if (n / 16 > m)
    pr = 1, pc = t;
  if (t < 2 || m / 4 < pr || n / 4 < pc) return {false, {{0, 0, m, n}}};
  for (std::int32_t j = 0; j < pc; ++j)
    for (std::int32_t i = 0; i < pr; ++i) {
      const Block rb = quads(m, pr, i), cb = quads(n, pc, j);
      plan.blocks.push_back({rb.r0, cb.r0, rb.rows, cb.rows});
    }
  return plan;
}
// The GEMV and GEMM drivers on t threads, the blocks run in turn on the
// model kernels: validation (invalid arguments zero y(1..len), len m for
// 'N' and n for any other letter, or C, as the alignment-safe kernels do),
// quick returns, beta handling, then the plan.
template <class T>
void gemv(std::int32_t t, char trans, std::int32_t m, std::int32_t n, T alpha, const T *a,
          std::int32_t lda, const T *x, std::int32_t incx, T beta, T *y, std::int32_t incy) {
  const char letter = static_cast<char>(trans | 0x20);
  const bool no_trans = letter == 'n';
  const std::int32_t len = no_trans ? m : n;
  if (!valid_letter(letter) || m < 0 || n < 0 || lda < (m > 1 ? m : 1) || incx == 0 || incy == 0)
    return zero_y(len, incy, y);
  if (m == 0 || n == 0 || (is_zero(alpha) && is_one(beta))) return;
  T kernel_beta = beta;
  if constexpr (!kComplex<T>)
    if (is_zero(beta)) {
      for (std::int32_t i = 1; i <= len; ++i)
        put(element(y, len, incy, i), T{});
      if (is_zero(alpha)) return;
      kernel_beta = T(1);
    }
  for (Block b : gemv_blocks(kComplex<T>, no_trans, m, n, t)) {
    const T *ab = no_trans ? a + b.r0 : a + static_cast<std::ptrdiff_t>(b.r0) * lda;
    T *yb = incy > 0 ? y + static_cast<std::ptrdiff_t>(b.r0) * incy
                     : y + static_cast<std::ptrdiff_t>(len - b.r0 - b.rows) * -incy;
    gemv_kernel(trans, no_trans ? b.rows : m, no_trans ? n : b.rows, alpha, ab, lda, x, incx,
                kernel_beta, yb, incy);
  }
}
template <class T>
void gemm(std::int32_t t, char transa, char transb, std::int32_t m, std::int32_t n, std::int32_t k,
          T alpha, const T *a, std::int32_t lda, const T *b, std::int32_t ldb, T beta, T *c,
          std::int32_t ldc) {
  const char la = static_cast<char>(transa | 0x20), lb = static_cast<char>(transb | 0x20);
  if (gemm_invalid(la, lb, m, n, k, lda, ldb, ldc, c) || m == 0 || n == 0) return;
  if (is_zero(alpha) || k == 0) return scale_columns<T>(m, n, beta, c, ldc);
  const GemmPlan plan = gemm_plan(m, n, k, t);
  for (Block blk : plan.blocks)
    (plan.thin ? gemm_thin<T>
               : gemm_kernel<T>)(transa, transb, blk.rows, blk.cols, k, alpha,
                                 la == 'n' ? at(a, lda, blk.r0 + 1, 1) : at(a, lda, 1, blk.r0 + 1),
                                 lda,
                                 lb == 'n' ? at(b, ldb, 1, blk.c0 + 1) : at(b, ldb, blk.c0 + 1, 1),
                                 ldb, beta, at(c, ldc, blk.r0 + 1, blk.c0 + 1), ldc);
}

} // namespace mox2::model
