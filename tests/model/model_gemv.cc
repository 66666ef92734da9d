#include "model/model_gemv.h"

#include <initializer_list>

#include "model/model_level1.h"

namespace mox2::model {
namespace {

template <class T> const T *at(const T *a, int lda, int i, int j) {
  return a + (i - 1) + static_cast<std::ptrdiff_t>(j - 1) * lda;
}

template <class P> bool is_one(Complex<P> v) { return v.re == 1 && v.im == 0; }
template <class P> bool is_zero(Complex<P> v) { return v.re == 0 && v.im == 0; }

template <class T>
void gemv_real(bool transposed, int m, int n, T alpha, const T *a, int lda, const T *x, int incx,
               T beta, T *y, int incy) {
  if (m <= 0 || n <= 0 || (alpha == 0 && beta == 1)) return;
  int lenx = transposed ? m : n, leny = transposed ? n : m;
  if (beta != 1) {
    for (int i = 1; i <= leny; ++i) {
      T *yi = element(y, leny, incy, i);
      put(yi, beta == 0 ? T(0) : beta * get(yi));
    }
  }
  if (alpha == 0) return;
  for (int j = 1; j <= n; ++j) {
    if (!transposed) {
      T xj = get(element(x, lenx, incx, j));
      if (xj == 0) continue;
      T temp = alpha * xj;
      for (int i = 1; i <= m; ++i) {
        T *yi = element(y, leny, incy, i);
        put(yi, get(yi) + temp * get(at(a, lda, i, j)));
      }
    } else {
      T temp = 0;
      for (int i = 1; i <= m; ++i)
        temp = temp + get(at(a, lda, i, j)) * get(element(x, lenx, incx, i));
      T *yj = element(y, leny, incy, j);
      put(yj, get(yj) + alpha * temp);
    }
  }
}

enum class Op { plain, transposed, conjugated };

// The product of each step of the complex kernels, in the form that step
// uses: exact (COMPLEX(4) only) or in the kernel's precision.
template <class P> Complex<P> product(bool exact, Complex<P> u, Complex<P> v) {
  if constexpr (sizeof(P) == 4) {
    if (exact) return mul_exact(u, v);
  }
  return mul(u, v);
}

// Complex GEMV.  `pairs`: columns two at a time after a lone leading
// column of an odd n; `exact`: COMPLEX(4) beta scaling and lone column in
// the exact form.
template <class P>
void gemv_complex(Op op, bool pairs, bool exact, int m, int n, Complex<P> alpha,
                  const Complex<P> *a, int lda, const Complex<P> *x, int incx, Complex<P> beta,
                  Complex<P> *y, int incy) {
  using C = Complex<P>;
  if (m <= 0 || n <= 0 || (is_zero(alpha) && is_one(beta))) return;
  int lenx = op == Op::plain ? n : m, leny = op == Op::plain ? m : n;
  if (!is_one(beta)) {
    for (int i = 1; i <= leny; ++i) {
      C *yi = element(y, leny, incy, i);
      put(yi, is_zero(beta) ? C{0, 0} : product(exact, beta, get(yi)));
    }
  }
  if (is_zero(alpha)) return;
  auto aij = [&](int i, int j) {
    C v = get(at(a, lda, i, j));
    return op == Op::conjugated ? conj(v) : v;
  };
  auto xj = [&](int j) { return get(element(x, lenx, incx, j)); };

  // One column alone, with the zero skip of the column form.
  auto lone_column = [&](int j, bool lone_exact) {
    if (op == Op::plain) {
      if (is_zero(xj(j))) return;
      C temp = product(lone_exact, alpha, xj(j));
      for (int i = 1; i <= m; ++i) {
        C *yi = element(y, leny, incy, i);
        put(yi, add(get(yi), product(lone_exact, temp, aij(i, j))));
      }
    } else {
      C temp = {0, 0};
      for (int i = 1; i <= m; ++i)
        temp = add(temp, product(lone_exact, aij(i, j), xj(i)));
      C *yj = element(y, leny, incy, j);
      put(yj, add(get(yj), product(lone_exact, alpha, temp)));
    }
  };

  int j = 1;
  if (!pairs) {
    for (; j <= n; ++j)
      lone_column(j, exact);
    return;
  }
  if (n % 2 == 1) lone_column(j++, exact);
  for (; j <= n; j += 2) {
    if (op == Op::plain) {
      C t1 = product(false, alpha, xj(j));
      C t2 = product(false, alpha, xj(j + 1));
      for (int i = 1; i <= m; ++i) {
        C *yi = element(y, leny, incy, i);
        C v = add(get(yi), product(false, t1, aij(i, j)));
        put(yi, add(v, product(false, t2, aij(i, j + 1))));
      }
    } else {
      C temp1 = {0, 0}, temp2 = {0, 0};
      for (int i = 1; i <= m; ++i) {
        temp1 = add(temp1, product(false, aij(i, j), xj(i)));
        temp2 = add(temp2, product(false, aij(i, j + 1), xj(i)));
      }
      C *y1 = element(y, leny, incy, j);
      put(y1, add(get(y1), product(false, alpha, temp1)));
      C *y2 = element(y, leny, incy, j + 1);
      put(y2, add(get(y2), product(false, alpha, temp2)));
    }
  }
}

Op complex_op(char trans) {
  if (trans == 'N' || trans == 'n') return Op::plain;
  if (trans == 'T' || trans == 't') return Op::transposed;
  return Op::conjugated;
}

bool valid_letter(char trans) {
  for (char c : {'N', 'n', 'T', 't', 'C', 'c'})
    if (trans == c) return true;
  return false;
}

// The validation of the alignment-safe kernels; true when y was zeroed.
template <class T>
bool reject_invalid(char trans, int m, int n, int lda, int incx, int incy, T *y) {
  if (valid_letter(trans) && m >= 0 && n >= 0 && lda >= (m > 1 ? m : 1) && incx != 0 && incy != 0)
    return false;
  bool transposed = trans == 'T' || trans == 't' || trans == 'C' || trans == 'c';
  int leny = transposed ? n : m;
  if (incy == 0 && leny > 1) leny = 1;
  for (int i = 0; i < leny; ++i)
    put(y + i, T{});
  return true;
}

} // namespace

void sgemv(char trans, int m, int n, float alpha, const float *a, int lda, const float *x, int incx,
           float beta, float *y, int incy) {
  gemv_real((trans | 0x20) != 'n', m, n, alpha, a, lda, x, incx, beta, y, incy);
}
void dgemv(char trans, int m, int n, double alpha, const double *a, int lda, const double *x,
           int incx, double beta, double *y, int incy) {
  gemv_real((trans | 0x20) != 'n', m, n, alpha, a, lda, x, incx, beta, y, incy);
}
void cgemv(char trans, int m, int n, c8 alpha, const c8 *a, int lda, const c8 *x, int incx, c8 beta,
           c8 *y, int incy) {
  gemv_complex(complex_op(trans), true, true, m, n, alpha, a, lda, x, incx, beta, y, incy);
}
void zgemv(char trans, int m, int n, c16 alpha, const c16 *a, int lda, const c16 *x, int incx,
           c16 beta, c16 *y, int incy) {
  gemv_complex(complex_op(trans), true, false, m, n, alpha, a, lda, x, incx, beta, y, incy);
}
void dgemv_don(char trans, int m, int n, double alpha, const double *a, int lda, const double *x,
               int incx, double beta, double *y, int incy) {
  if (reject_invalid(trans, m, n, lda, incx, incy, y)) return;
  gemv_real(trans != 'N' && trans != 'n', m, n, alpha, a, lda, x, incx, beta, y, incy);
}
void zgemv_don(char trans, int m, int n, c16 alpha, const c16 *a, int lda, const c16 *x, int incx,
               c16 beta, c16 *y, int incy) {
  if (reject_invalid(trans, m, n, lda, incx, incy, y)) return;
  gemv_complex(complex_op(trans), false, false, m, n, alpha, a, lda, x, incx, beta, y, incy);
}

} // namespace mox2::model
