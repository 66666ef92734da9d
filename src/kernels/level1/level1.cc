// Level-1 kernels: dot products, scaling, rank-one update.
//
// Real dot products keep four partial sums s0..s3, combined as
// (s0 + s1) + (s2 + s3).  With both increments 1 the elements go in groups
// of four, member k into s_k, and the n mod 4 leftovers into s0 after the
// groups; REAL(4) data with x and y both 4 bytes off 8-byte alignment
// first puts x1*y1 into s0, after which the members of each group go to
// s1, s2, s3, s0.  With other increments the n mod 4 leading elements go
// into s0 first, then the groups.  ddot_don keeps one running sum in order.
//
// COMPLEX(4) dot products keep accumulator pairs A and B: an odd n puts the
// first product into A, then pairs, first into A, second into B; result
// A + B.  COMPLEX(8) ones keep one pair, elements in order.  The element
// product is (ac + bd) + i(ad - bc) for conjg(x)*y and (ac - bd) + i(ad + bc)
// for x*y, with x = a + ib, y = c + id.
//
// Scaling and the rank-one update touch each element with one product
// (and one sum), so their contiguous loops run in the kernel set's
// widest vectors (level1_sets.h); long contiguous dot products touch the
// pages ahead of their two streams.
#include <cstdint>
#include <cstring>

#include "kernels/blas_access.h"
#include "kernels/kernel_set.h"
#include "kernels/kernels.h"
#include "kernels/page_touch.h"
#include "runtime/cpu.h"

namespace mox2::kernels {
namespace {

using Index = std::ptrdiff_t;

// Once per page of a long contiguous vector, the page two ahead is touched
// (page_touch.h).
template <class T> inline void touch_page_ahead(const T *p, Index i) {
  if (i % kPageRows<T> == 0) touch_two_pages_ahead(p + i);
}

// The four-partial-sum dot product.  `rotate` (REAL(4), both operands 4
// bytes off) sends x1*y1 to s0 first and then group member k to
// s_{(k+1) mod 4}.
template <class T>
T dot_four_sums(std::int32_t n, const T *x, std::int32_t incx, const T *y, std::int32_t incy,
                bool rotate) {
  if (n <= 0) return 0;
  T s[4] = {0, 0, 0, 0};
  if (incx == 1 && incy == 1) {
    Index first = 0;
    int lane0 = 0;
    if (rotate) {
      s[0] = s[0] + x[0] * y[0];
      if (n == 1) return s[0];
      first = 1;
      lane0 = 1;
    }
    Index count = n - first;
    Index grouped = count - count % 4;
    // a_k is the partial sum that takes group member k (four independent
    // chains, kept in registers).
    T a0 = s[lane0 % 4], a1 = s[(lane0 + 1) % 4], a2 = s[(lane0 + 2) % 4], a3 = s[(lane0 + 3) % 4];
    const T *xp = x + first, *yp = y + first;
    for (Index i = 0; i < grouped; i += 4) {
      touch_page_ahead(xp, i);
      touch_page_ahead(yp, i);
      a0 = a0 + xp[i] * yp[i];
      a1 = a1 + xp[i + 1] * yp[i + 1];
      a2 = a2 + xp[i + 2] * yp[i + 2];
      a3 = a3 + xp[i + 3] * yp[i + 3];
    }
    s[lane0 % 4] = a0;
    s[(lane0 + 1) % 4] = a1;
    s[(lane0 + 2) % 4] = a2;
    s[(lane0 + 3) % 4] = a3;
    for (Index i = grouped; i < count; ++i)
      s[0] = s[0] + xp[i] * yp[i];
  } else {
    const T *xp = first_element(x, n, incx), *yp = first_element(y, n, incy);
    Index sx = incx, sy = incy;
    int lead = n % 4;
    for (int i = 0; i < lead; ++i)
      s[0] = s[0] + xp[i * sx] * yp[i * sy];
    for (Index i = lead; i < n; i += 4) {
      s[0] = s[0] + xp[i * sx] * yp[i * sy];
      s[1] = s[1] + xp[(i + 1) * sx] * yp[(i + 1) * sy];
      s[2] = s[2] + xp[(i + 2) * sx] * yp[(i + 2) * sy];
      s[3] = s[3] + xp[(i + 3) * sx] * yp[(i + 3) * sy];
    }
  }
  return (s[0] + s[1]) + (s[2] + s[3]);
}

template <class T, class Mem>
T dot_in_order(std::int32_t n, const T *x, std::int32_t incx, const T *y, std::int32_t incy) {
  T t = 0;
  if (n <= 0) return t;
  const T *xp = first_element(x, n, incx), *yp = first_element(y, n, incy);
  Index sx = incx, sy = incy;
  for (Index i = 0; i < n; ++i)
    t = t + Mem::ld(xp + i * sx) * Mem::ld(yp + i * sy);
  return t;
}

template <bool kConjugate, class P> Complex<P> dot_product_of(Complex<P> u, Complex<P> v) {
  if (kConjugate) return {u.re * v.re + u.im * v.im, u.re * v.im - u.im * v.re};
  return {u.re * v.re - u.im * v.im, u.re * v.im + u.im * v.re};
}

template <bool kConjugate>
c8 cdot_two_pairs(std::int32_t n, const c8 *x, std::int32_t incx, const c8 *y, std::int32_t incy) {
  c8 a = {0, 0}, b = {0, 0};
  if (n <= 0) return a;
  const c8 *xp = first_element(x, n, incx), *yp = first_element(y, n, incy);
  Index sx = incx, sy = incy, i = 0;
  if (n % 2 == 1) {
    a = add(a, dot_product_of<kConjugate>(xp[0], yp[0]));
    i = 1;
  }
  for (; i < n; i += 2) {
    a = add(a, dot_product_of<kConjugate>(xp[i * sx], yp[i * sy]));
    b = add(b, dot_product_of<kConjugate>(xp[(i + 1) * sx], yp[(i + 1) * sy]));
  }
  return add(a, b);
}

template <bool kConjugate, class Mem>
void zdot_in_order(c16 *result, std::int32_t n, const c16 *x, std::int32_t incx, const c16 *y,
                   std::int32_t incy) {
  c16 t = {0, 0};
  if (n > 0) {
    const c16 *xp = first_element(x, n, incx), *yp = first_element(y, n, incy);
    Index sx = incx, sy = incy;
    for (Index i = 0; i < n; ++i)
      t = add(t, dot_product_of<kConjugate>(Mem::ld(xp + i * sx), Mem::ld(yp + i * sy)));
  }
  Mem::st(result, t);
}

// x_i := alpha*x_i; increment 0 leaves x unchanged.  No zero fill: an
// infinite or NaN x_i becomes NaN when alpha = 0.
// The contiguous elementwise loops of the kernel set in use.
template <class T> void scal_contiguous(Index n, T alpha, T *x) {
  kernel_set().of<T>().scal(n, alpha, x);
}

template <class T> void scal_real(std::int32_t n, T alpha, T *x, std::int32_t incx) {
  if (n <= 0 || incx == 0) return;
  if (incx == 1) {
    scal_contiguous(n, alpha, x);
    return;
  }
  T *xp = first_element(x, n, incx);
  Index sx = incx;
  for (Index i = 0; i < n; ++i)
    xp[i * sx] = alpha * xp[i * sx];
}

// A(i, j) := A(i, j) + x_i*t with t = y_j*alpha.
template <class T>
void rank_one_update(std::int32_t m, std::int32_t n, T alpha, const T *x, std::int32_t incx,
                     const T *y, std::int32_t incy, T *a, std::int32_t lda) {
  if (m <= 0 || n <= 0) return;
  const T *xp = first_element(x, m, incx), *yp = first_element(y, n, incy);
  Index sx = incx, sy = incy;
  const auto axpy = kernel_set().of<T>().axpy_column;
  for (Index j = 0; j < n; ++j) {
    T t = yp[j * sy] * alpha;
    T *__restrict col = a + j * static_cast<Index>(lda);
    if (sx == 1) {
      axpy(m, t, xp, col);
    } else {
      for (Index i = 0; i < m; ++i)
        col[i] = col[i] + xp[i * sx] * t;
    }
  }
}

bool four_bytes_off(const void *p) { return reinterpret_cast<std::uintptr_t>(p) % 8 == 4; }

} // namespace
} // namespace mox2::kernels

using namespace mox2::kernels;
using mox2::c16;
using mox2::c8;

extern "C" {

float __f___zo_sdot_(const std::int32_t *n, const float *x, const std::int32_t *incx,
                     const float *y, const std::int32_t *incy) {
  bool rotate = *incx == 1 && *incy == 1 && four_bytes_off(x) && four_bytes_off(y);
  return dot_four_sums(*n, x, *incx, y, *incy, rotate);
}

double __f___zo_ddot_(const std::int32_t *n, const double *x, const std::int32_t *incx,
                      const double *y, const std::int32_t *incy) {
  return dot_four_sums(*n, x, *incx, y, *incy, false);
}

double __f___zo_ddot_don_(const std::int32_t *n, const double *x, const std::int32_t *incx,
                          const double *y, const std::int32_t *incy) {
  return dot_in_order<double, Bytewise4Access>(*n, x, *incx, y, *incy);
}

void __f___zo_cdotc_(c8 *result, const std::int32_t *n, const c8 *x, const std::int32_t *incx,
                     const c8 *y, const std::int32_t *incy) {
  *result = cdot_two_pairs<true>(*n, x, *incx, y, *incy);
}

void __f___zo_cdotu_(c8 *result, const std::int32_t *n, const c8 *x, const std::int32_t *incx,
                     const c8 *y, const std::int32_t *incy) {
  *result = cdot_two_pairs<false>(*n, x, *incx, y, *incy);
}

void __f___zo_zdotc_(c16 *result, const std::int32_t *n, const c16 *x, const std::int32_t *incx,
                     const c16 *y, const std::int32_t *incy) {
  zdot_in_order<true, NaturalAccess>(result, *n, x, *incx, y, *incy);
}

void __f___zo_zdotu_(c16 *result, const std::int32_t *n, const c16 *x, const std::int32_t *incx,
                     const c16 *y, const std::int32_t *incy) {
  zdot_in_order<false, NaturalAccess>(result, *n, x, *incx, y, *incy);
}

void __f___zo_zdotc_don_(c16 *result, const std::int32_t *n, const c16 *x, const std::int32_t *incx,
                         const c16 *y, const std::int32_t *incy) {
  zdot_in_order<true, Bytewise4Access>(result, *n, x, *incx, y, *incy);
}

void __f___zo_sscal_(const std::int32_t *n, const float *alpha, float *x,
                     const std::int32_t *incx) {
  scal_real(*n, *alpha, x, *incx);
}

void __f___zo_dscal_(const std::int32_t *n, const double *alpha, double *x,
                     const std::int32_t *incx) {
  scal_real(*n, *alpha, x, *incx);
}

// (ar + i ai)(xr + i xi) stored as (xr*ar - xi*ai, xr*ai + xi*ar).
void __f___zo_cscal_(const std::int32_t *n, const c8 *alpha, c8 *x, const std::int32_t *incx) {
  if (*n <= 0 || *incx == 0) return;
  c8 al = *alpha;
  if (*incx == 1) {
    scal_contiguous(*n, al, x);
    return;
  }
  c8 *xp = first_element(x, *n, *incx);
  std::ptrdiff_t sx = *incx;
  for (std::ptrdiff_t i = 0; i < *n; ++i) {
    c8 v = xp[i * sx];
    xp[i * sx] = {v.re * al.re - v.im * al.im, v.re * al.im + v.im * al.re};
  }
}

// (ar + i ai)(xr + i xi) stored as (ar*xr - ai*xi, ar*xi + xr*ai).
void __f___zo_zscal_(const std::int32_t *n, const c16 *alpha, c16 *x, const std::int32_t *incx) {
  if (*n <= 0 || *incx == 0) return;
  c16 al = *alpha;
  if (*incx == 1) {
    scal_contiguous(*n, al, x);
    return;
  }
  c16 *xp = first_element(x, *n, *incx);
  std::ptrdiff_t sx = *incx;
  for (std::ptrdiff_t i = 0; i < *n; ++i) {
    c16 v = xp[i * sx];
    xp[i * sx] = {al.re * v.re - al.im * v.im, al.re * v.im + v.re * al.im};
  }
}

void __f___zo_pp_sger_(const std::int32_t *m, const std::int32_t *n, const float *alpha,
                       const float *x, const std::int32_t *incx, const float *y,
                       const std::int32_t *incy, float *a, const std::int32_t *lda) {
  rank_one_update(*m, *n, *alpha, x, *incx, y, *incy, a, *lda);
}

void __f___zo_pp_dger_(const std::int32_t *m, const std::int32_t *n, const double *alpha,
                       const double *x, const std::int32_t *incx, const double *y,
                       const std::int32_t *incy, double *a, const std::int32_t *lda) {
  rank_one_update(*m, *n, *alpha, x, *incx, y, *incy, a, *lda);
}

} // extern "C"
