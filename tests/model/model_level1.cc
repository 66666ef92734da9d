#include "model/model_level1.h"

#include <cstdint>

namespace mox2::model {
namespace {

bool four_bytes_off(const void *p) { return reinterpret_cast<std::uintptr_t>(p) % 8 == 4; }

// The four-partial-sum dot product of sdot and ddot.
template <class T>
T dot_four_sums(int n, const T *x, int incx, const T *y, int incy, bool check_alignment) {
  if (n <= 0) return 0;
  T s[4] = {0, 0, 0, 0};
  auto product = [&](int i) { return get(element(x, n, incx, i)) * get(element(y, n, incy, i)); };
  if (incx == 1 && incy == 1) {
    // Groups of four from element `first`, member k into s[(lane0 + k) % 4],
    // then the leftovers into s0.
    int first = 1, lane0 = 0;
    if (check_alignment && four_bytes_off(x) && four_bytes_off(y)) {
      s[0] = s[0] + product(1);
      if (n == 1) return s[0];
      first = 2;
      lane0 = 1;
    }
    int count = n - first + 1;
    int grouped = count - count % 4;
    for (int i = first; i < first + grouped; ++i) {
      int k = (i - first) % 4;
      s[(lane0 + k) % 4] = s[(lane0 + k) % 4] + product(i);
    }
    for (int i = first + grouped; i <= n; ++i)
      s[0] = s[0] + product(i);
  } else {
    // The n mod 4 leading elements into s0, then groups of four.
    int lead = n % 4;
    for (int i = 1; i <= lead; ++i)
      s[0] = s[0] + product(i);
    for (int i = lead + 1; i <= n; ++i) {
      int k = (i - lead - 1) % 4;
      s[k] = s[k] + product(i);
    }
  }
  return (s[0] + s[1]) + (s[2] + s[3]);
}

// One running sum, elements in order.
template <class T> T dot_in_order(int n, const T *x, int incx, const T *y, int incy) {
  T t = 0;
  for (int i = 1; i <= n; ++i)
    t = t + get(element(x, n, incx, i)) * get(element(y, n, incy, i));
  return t;
}

// COMPLEX(4): accumulator pairs A and B.  An odd n puts the first product
// into A; then pairs, the first of each into A, the second into B.
template <bool kConjugate> c8 cdot(int n, const c8 *x, int incx, const c8 *y, int incy) {
  c8 a = {0, 0}, b = {0, 0};
  if (n <= 0) return a;
  auto product = [&](int i) {
    c8 u = get(element(x, n, incx, i)), v = get(element(y, n, incy, i));
    return kConjugate ? mul_conj(u, v) : mul(u, v);
  };
  int i = 1;
  if (n % 2 == 1) a = add(a, product(i++));
  for (; i <= n; i += 2) {
    a = add(a, product(i));
    b = add(b, product(i + 1));
  }
  return add(a, b);
}

// COMPLEX(8): one accumulator pair, elements in order.
template <bool kConjugate> c16 zdot(int n, const c16 *x, int incx, const c16 *y, int incy) {
  c16 t = {0, 0};
  for (int i = 1; i <= n; ++i) {
    c16 u = get(element(x, n, incx, i)), v = get(element(y, n, incy, i));
    t = add(t, kConjugate ? mul_conj(u, v) : mul(u, v));
  }
  return t;
}

template <class T> void scal_real(int n, T alpha, T *x, int incx) {
  if (incx == 0) return;
  for (int i = 1; i <= n; ++i) {
    T *p = element(x, n, incx, i);
    put(p, alpha * get(p));
  }
}

template <class T>
void ger(int m, int n, T alpha, const T *x, int incx, const T *y, int incy, T *a, int lda) {
  if (m <= 0 || n <= 0) return;
  for (int j = 1; j <= n; ++j) {
    T t = get(element(y, n, incy, j)) * alpha;
    for (int i = 1; i <= m; ++i) {
      T *aij = a + (i - 1) + static_cast<std::ptrdiff_t>(j - 1) * lda;
      put(aij, get(aij) + get(element(x, m, incx, i)) * t);
    }
  }
}

} // namespace

float sdot(int n, const float *x, int incx, const float *y, int incy) {
  return dot_four_sums(n, x, incx, y, incy, true);
}
double ddot(int n, const double *x, int incx, const double *y, int incy) {
  return dot_four_sums(n, x, incx, y, incy, false);
}
double ddot_don(int n, const double *x, int incx, const double *y, int incy) {
  return dot_in_order(n, x, incx, y, incy);
}
c8 cdotc(int n, const c8 *x, int incx, const c8 *y, int incy) {
  return cdot<true>(n, x, incx, y, incy);
}
c8 cdotu(int n, const c8 *x, int incx, const c8 *y, int incy) {
  return cdot<false>(n, x, incx, y, incy);
}
c16 zdotc(int n, const c16 *x, int incx, const c16 *y, int incy) {
  return zdot<true>(n, x, incx, y, incy);
}
c16 zdotu(int n, const c16 *x, int incx, const c16 *y, int incy) {
  return zdot<false>(n, x, incx, y, incy);
}
c16 zdotc_don(int n, const c16 *x, int incx, const c16 *y, int incy) {
  return zdot<true>(n, x, incx, y, incy);
}

void sscal(int n, float alpha, float *x, int incx) { scal_real(n, alpha, x, incx); }
void dscal(int n, double alpha, double *x, int incx) { scal_real(n, alpha, x, incx); }

// (ar + i ai)(xr + i xi) stored as (xr*ar - xi*ai, xr*ai + xi*ar).
void cscal(int n, c8 alpha, c8 *x, int incx) {
  if (incx == 0) return;
  for (int i = 1; i <= n; ++i) {
    c8 *p = element(x, n, incx, i);
    c8 v = get(p);
    put(p, c8{v.re * alpha.re - v.im * alpha.im, v.re * alpha.im + v.im * alpha.re});
  }
}

// (ar + i ai)(xr + i xi) stored as (ar*xr - ai*xi, ar*xi + xr*ai).
void zscal(int n, c16 alpha, c16 *x, int incx) {
  if (incx == 0) return;
  for (int i = 1; i <= n; ++i) {
    c16 *p = element(x, n, incx, i);
    c16 v = get(p);
    put(p, c16{alpha.re * v.re - alpha.im * v.im, alpha.re * v.im + v.re * alpha.im});
  }
}

void sger(int m, int n, float alpha, const float *x, int incx, const float *y, int incy, float *a,
          int lda) {
  ger(m, n, alpha, x, incx, y, incy, a, lda);
}
void dger(int m, int n, double alpha, const double *x, int incx, const double *y, int incy,
          double *a, int lda) {
  ger(m, n, alpha, x, incx, y, incy, a, lda);
}

} // namespace mox2::model
