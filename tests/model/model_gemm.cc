#include "model/model_gemm.h"

#include "model/model_gemv.h"
#include "model/model_level1.h"

namespace mox2::model {
namespace {

template <class T> T *at(T *a, int lda, int i, int j) {
  return a + (i - 1) + static_cast<std::ptrdiff_t>(j - 1) * lda;
}

bool is_zero(float v) { return v == 0; }
bool is_zero(double v) { return v == 0; }
template <class P> bool is_zero(Complex<P> v) { return v.re == 0 && v.im == 0; }
bool is_one(float v) { return v == 1; }
bool is_one(double v) { return v == 1; }
template <class P> bool is_one(Complex<P> v) { return v.re == 1 && v.im == 0; }

enum class Op { plain, transposed, conjugated };

Op real_op(char letter) { return letter == 'N' || letter == 'n' ? Op::plain : Op::transposed; }
Op complex_op(char letter) {
  if (letter == 'N' || letter == 'n') return Op::plain;
  if (letter == 'C' || letter == 'c') return Op::conjugated;
  return Op::transposed;
}

// Products: real ones in their precision; complex ones in the form asked.
float times(bool, float u, float v) { return u * v; }
double times(bool, double u, double v) { return u * v; }
c8 times(bool exact, c8 u, c8 v) { return exact ? mul_exact(u, v) : mul(u, v); }
c16 times(bool, c16 u, c16 v) { return mul(u, v); }
float plus(float u, float v) { return u + v; }
double plus(double u, double v) { return u + v; }
template <class P> Complex<P> plus(Complex<P> u, Complex<P> v) { return add(u, v); }
float conjugate(float u) { return u; }
double conjugate(double u) { return u; }
template <class P> Complex<P> conjugate(Complex<P> u) { return conj(u); }

template <class T> T op_element(Op op, const T *p) {
  return op == Op::conjugated ? conjugate(get(p)) : get(p);
}

// b(l, j) of op(B).
template <class T> T b_of(Op op_b, const T *b, int ldb, int l, int j) {
  if (op_b == Op::plain) return get(at(b, ldb, l, j));
  return op_element(op_b, at(b, ldb, j, l));
}

template <class T>
void loops(Op op_a, Op op_b, int m, int n, int k, T alpha, const T *a, int lda, const T *b, int ldb,
           T beta, T *c, int ldc, bool zero_skip, ComplexForms f) {
  if (op_a == Op::plain) {
    for (int j = 1; j <= n; ++j) {
      if (!is_one(beta))
        for (int i = 1; i <= m; ++i)
          put(at(c, ldc, i, j), is_zero(beta) ? T{} : times(f.scale, beta, get(at(c, ldc, i, j))));
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
      for (int l = 1; l <= k; ++l)
        temp =
            plus(temp, times(f.dot, op_element(op_a, at(a, lda, l, i)), b_of(op_b, b, ldb, l, j)));
      T *cij = at(c, ldc, i, j);
      T r = times(f.alpha_temp, alpha, temp);
      put(cij, is_zero(beta) ? r : plus(r, times(f.scale, beta, get(cij))));
    }
}

template <class T> void scale_all(int m, int n, T beta, T *c, int ldc, bool exact) {
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= m; ++i)
      put(at(c, ldc, i, j), is_zero(beta) ? T{} : times(exact, beta, get(at(c, ldc, i, j))));
}

template <class T>
void reference(Op op_a, Op op_b, int m, int n, int k, T alpha, const T *a, int lda, const T *b,
               int ldb, T beta, T *c, int ldc, ComplexForms f) {
  if (m <= 0 || n <= 0 || (is_one(beta) && (is_zero(alpha) || k <= 0))) return;
  if (is_zero(alpha)) {
    scale_all(m, n, beta, c, ldc, f.scale);
    return;
  }
  loops(op_a, op_b, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc, true, f);
}

template <class T> struct RealCalls;
template <> struct RealCalls<float> {
  static constexpr auto scal = sscal;
  static constexpr auto gemv = sgemv;
};
template <> struct RealCalls<double> {
  static constexpr auto scal = dscal;
  static constexpr auto gemv = dgemv;
};

// The real driver: C scaled first; odd n: column 1 by GEMV; rows 1..m mod 4
// of columns r+1..n by GEMV; the rest by the reference algorithm, beta = 1.
template <class T>
void driver(char transa, char transb, int m, int n, int k, T alpha, const T *a, int lda, const T *b,
            int ldb, T beta, T *c, int ldc) {
  using K = RealCalls<T>;
  if (m <= 0 || n <= 0) return;
  if (beta == 0) {
    for (int j = 1; j <= n; ++j)
      for (int i = 1; i <= m; ++i)
        put(at(c, ldc, i, j), T(0));
  } else if (beta != 1) {
    for (int j = 1; j <= n; ++j)
      K::scal(m, beta, at(c, ldc, 1, j), 1);
  }
  if (alpha == 0 || k <= 0) return;
  bool ta = real_op(transa) != Op::plain, tb = real_op(transb) != Op::plain;
  int r = n % 2, s = m % 4;
  if (r == 1) {
    if (ta)
      K::gemv('T', k, m, alpha, a, lda, b, tb ? ldb : 1, T(1), c, 1);
    else
      K::gemv('N', m, k, alpha, a, lda, b, tb ? ldb : 1, T(1), c, 1);
    if (n == 1) return;
  }
  for (int i = 1; i <= s; ++i) {
    const T *x = ta ? at(a, lda, 1, i) : at(a, lda, i, 1);
    int incx = ta ? 1 : lda;
    if (tb)
      K::gemv('N', n - r, k, alpha, at(b, ldb, r + 1, 1), ldb, x, incx, T(1), at(c, ldc, i, r + 1),
              ldc);
    else
      K::gemv('T', k, n - r, alpha, at(b, ldb, 1, r + 1), ldb, x, incx, T(1), at(c, ldc, i, r + 1),
              ldc);
  }
  if (m < 4) return;
  const T *a_rest = ta ? at(a, lda, 1, s + 1) : at(a, lda, s + 1, 1);
  const T *b_rest = tb ? at(b, ldb, r + 1, 1) : at(b, ldb, 1, r + 1);
  reference(real_op(transa), real_op(transb), m - s, n - r, k, alpha, a_rest, lda, b_rest, ldb,
            T(1), at(c, ldc, s + 1, r + 1), ldc, kAllSingle);
}

template <class C> struct ComplexCalls;
template <> struct ComplexCalls<c8> {
  static constexpr auto gemv = cgemv;
  // Beta scaling and alpha*temp exact; the terms in single precision.
  static constexpr ComplexForms forms = {true, false, false, false, true};
};
template <> struct ComplexCalls<c16> {
  static constexpr auto gemv = zgemv;
  static constexpr ComplexForms forms = kAllSingle;
};

// The complex kernels: C column by column from GEMV calls, except for
// op(B) = B^H, which runs the reference loops with beta inside.
template <class C>
void complex_kernel(char transa, char transb, int m, int n, int k, C alpha, const C *a, int lda,
                    const C *b, int ldb, C beta, C *c, int ldc) {
  using K = ComplexCalls<C>;
  if (m <= 0 || n <= 0 || (is_one(beta) && (is_zero(alpha) || k <= 0))) return;
  if (is_zero(alpha) || k <= 0) {
    scale_all(m, n, beta, c, ldc, K::forms.scale);
    return;
  }
  Op op_a = complex_op(transa), op_b = complex_op(transb);
  if (op_b == Op::conjugated) {
    loops(op_a, op_b, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc, true, K::forms);
    return;
  }
  if (!is_one(beta)) scale_all(m, n, beta, c, ldc, K::forms.scale);
  char letter = op_a == Op::plain ? 'N' : op_a == Op::conjugated ? 'C' : 'T';
  for (int j = 1; j <= n; ++j) {
    const C *x = op_b == Op::plain ? at(b, ldb, 1, j) : at(b, ldb, j, 1);
    int incx = op_b == Op::plain ? 1 : ldb;
    if (op_a == Op::plain)
      K::gemv(letter, m, k, alpha, a, lda, x, incx, C{1, 0}, at(c, ldc, 1, j), 1);
    else
      K::gemv(letter, k, m, alpha, a, lda, x, incx, C{1, 0}, at(c, ldc, 1, j), 1);
  }
}

// Validation of the alignment-safe kernels; true when invalid (then
// C(1..m, 1..n) is zero along ldc, a negative ldc counting as 0).
template <class T>
bool invalid(char transa, char transb, int m, int n, int k, int lda, int ldb, int ldc, T *c) {
  auto letter_ok = [](char x) {
    return x == 'N' || x == 'n' || x == 'T' || x == 't' || x == 'C' || x == 'c';
  };
  auto max1 = [](int v) { return v > 1 ? v : 1; };
  bool na = transa == 'N' || transa == 'n', nb = transb == 'N' || transb == 'n';
  bool bad = !letter_ok(transa) || !letter_ok(transb) || m < 0 || n < 0 || k < 0 ||
             lda < max1(na ? m : k) || ldb < max1(nb ? k : n) || ldc < max1(m);
  if (!bad) return false;
  for (int j = 1; j <= n; ++j)
    for (int i = 1; i <= m; ++i)
      put(at(c, ldc < 0 ? 0 : ldc, i, j), T{});
  return true;
}

} // namespace

void sgemm_reference(char transa, char transb, int m, int n, int k, float alpha, const float *a,
                     int lda, const float *b, int ldb, float beta, float *c, int ldc) {
  reference(real_op(transa), real_op(transb), m, n, k, alpha, a, lda, b, ldb, beta, c, ldc,
            kAllSingle);
}
void dgemm_reference(char transa, char transb, int m, int n, int k, double alpha, const double *a,
                     int lda, const double *b, int ldb, double beta, double *c, int ldc) {
  reference(real_op(transa), real_op(transb), m, n, k, alpha, a, lda, b, ldb, beta, c, ldc,
            kAllSingle);
}
void cgemm_reference(char transa, char transb, int m, int n, int k, c8 alpha, const c8 *a, int lda,
                     const c8 *b, int ldb, c8 beta, c8 *c, int ldc, ComplexForms forms) {
  reference(complex_op(transa), complex_op(transb), m, n, k, alpha, a, lda, b, ldb, beta, c, ldc,
            forms);
}
void zgemm_reference(char transa, char transb, int m, int n, int k, c16 alpha, const c16 *a,
                     int lda, const c16 *b, int ldb, c16 beta, c16 *c, int ldc) {
  reference(complex_op(transa), complex_op(transb), m, n, k, alpha, a, lda, b, ldb, beta, c, ldc,
            kAllSingle);
}

void sgemm_loops(char transa, char transb, int m, int n, int k, float alpha, const float *a,
                 int lda, const float *b, int ldb, float beta, float *c, int ldc, bool zero_skip) {
  loops(real_op(transa), real_op(transb), m, n, k, alpha, a, lda, b, ldb, beta, c, ldc, zero_skip,
        kAllSingle);
}
void dgemm_loops(char transa, char transb, int m, int n, int k, double alpha, const double *a,
                 int lda, const double *b, int ldb, double beta, double *c, int ldc,
                 bool zero_skip) {
  loops(real_op(transa), real_op(transb), m, n, k, alpha, a, lda, b, ldb, beta, c, ldc, zero_skip,
        kAllSingle);
}
void cgemm_loops(char transa, char transb, int m, int n, int k, c8 alpha, const c8 *a, int lda,
                 const c8 *b, int ldb, c8 beta, c8 *c, int ldc, bool zero_skip,
                 ComplexForms forms) {
  loops(complex_op(transa), complex_op(transb), m, n, k, alpha, a, lda, b, ldb, beta, c, ldc,
        zero_skip, forms);
}
void zgemm_loops(char transa, char transb, int m, int n, int k, c16 alpha, const c16 *a, int lda,
                 const c16 *b, int ldb, c16 beta, c16 *c, int ldc, bool zero_skip) {
  loops(complex_op(transa), complex_op(transb), m, n, k, alpha, a, lda, b, ldb, beta, c, ldc,
        zero_skip, kAllSingle);
}

void sgemm(char transa, char transb, int m, int n, int k, float alpha, const float *a, int lda,
           const float *b, int ldb, float beta, float *c, int ldc) {
  driver(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}
void dgemm(char transa, char transb, int m, int n, int k, double alpha, const double *a, int lda,
           const double *b, int ldb, double beta, double *c, int ldc) {
  driver(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}
void sgemmx(char transa, char transb, int m, int n, int k, float alpha, const float *a, int lda,
            const float *b, int ldb, float beta, float *c, int ldc) {
  sgemm_reference(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}
void dgemmx(char transa, char transb, int m, int n, int k, double alpha, const double *a, int lda,
            const double *b, int ldb, double beta, double *c, int ldc) {
  dgemm_reference(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}
void cgemm(char transa, char transb, int m, int n, int k, c8 alpha, const c8 *a, int lda,
           const c8 *b, int ldb, c8 beta, c8 *c, int ldc) {
  complex_kernel(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}
void zgemm(char transa, char transb, int m, int n, int k, c16 alpha, const c16 *a, int lda,
           const c16 *b, int ldb, c16 beta, c16 *c, int ldc) {
  complex_kernel(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}
void dgemm_don(char transa, char transb, int m, int n, int k, double alpha, const double *a,
               int lda, const double *b, int ldb, double beta, double *c, int ldc) {
  if (invalid(transa, transb, m, n, k, lda, ldb, ldc, c)) return;
  dgemm_reference(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}
void zgemm_don(char transa, char transb, int m, int n, int k, c16 alpha, const c16 *a, int lda,
               const c16 *b, int ldb, c16 beta, c16 *c, int ldc) {
  if (invalid(transa, transb, m, n, k, lda, ldb, ldc, c)) return;
  zgemm_reference(transa, transb, m, n, k, alpha, a, lda, b, ldb, beta, c, ldc);
}

} // namespace mox2::model
