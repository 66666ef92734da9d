#include "model/model_drivers.h"

namespace mox2::model {

namespace {

template <class T> bool zero(const T &v) { return v == 0; }
template <class P> bool zero(const Complex<P> &v) { return v.re == 0 && v.im == 0; }
template <class T> bool one(const T &v) { return v == 1; }
template <class P> bool one(const Complex<P> &v) { return v.re == 1 && v.im == 0; }
template <class T> constexpr bool complex_type = false;
template <class P> constexpr bool complex_type<Complex<P>> = true;

// L elements in t bands, the first L mod t one longer.
std::vector<Block> bands(std::int32_t len, std::int32_t t) {
  std::vector<Block> out;
  std::int32_t at = 0;
  for (std::int32_t i = 0; i < t; ++i) {
    std::int32_t count = len / t + (i < len % t ? 1 : 0);
    out.push_back({at, 0, count, 0});
    at += count;
  }
  return out;
}

// len cut in quads among parts blocks, leftovers to the last.
std::vector<Block> quads(std::int32_t len, std::int32_t parts) {
  std::int32_t q = len / 4;
  std::vector<Block> out;
  std::int32_t at = 0;
  for (std::int32_t i = 0; i < parts; ++i) {
    std::int32_t count = 4 * (q / parts + (i < q % parts ? 1 : 0));
    if (i == parts - 1) count += len % 4;
    out.push_back({at, 0, count, 0});
    at += count;
  }
  return out;
}

} // namespace

void thread_mesh(std::int32_t n, std::int32_t &p, std::int32_t &q) {
  p = 1;
  for (std::int32_t d = 1; static_cast<std::int64_t>(d) * d <= n; ++d)
    if (n % d == 0) p = d;
  q = n / p;
}

std::vector<Block> gemv_blocks(bool complex, bool no_trans, std::int32_t m, std::int32_t n,
                               std::int32_t t) {
  std::int32_t len = no_trans ? m : n;
  if (t < 2 || len < t) return {{0, 0, len, 0}};
  if (!complex) return bands(len, t);
  std::vector<Block> out;
  for (std::int32_t i = 1; i <= t; ++i) {
    std::int32_t c = len / t;
    out.push_back({(i - 1) * c, 0, i < t ? c : len - (t - 1) * c, 0});
  }
  return out;
}

GemmPlan gemm_plan(std::int32_t m, std::int32_t n, std::int32_t k, std::int32_t t) {
  GemmPlan plan;
  plan.thin = m < 4 || n < 4 || k < 4;
  if (plan.thin) {
    if (t >= 2 && n < 4 && t <= m) {
      for (Block b : bands(m, t))
        plan.blocks.push_back({b.r0, 0, b.rows, n});
    } else if (t >= 2 && (m < 4 || k < 4) && t <= n) {
      for (Block b : bands(n, t))
        plan.blocks.push_back({0, b.r0, m, b.rows});
    } else {
      plan.blocks.push_back({0, 0, m, n});
    }
    return plan;
  }
  std::int32_t pr, pc;
  if (m / 16 > n) {
    pr = t, pc = 1;
  } else if (n / 16 > m) {
    pr = 1, pc = t;
  } else {
    thread_mesh(t, pr, pc);
  }
  if (t < 2 || m / 4 < pr || n / 4 < pc) {
    plan.blocks.push_back({0, 0, m, n});
    return plan;
  }
  std::vector<Block> rows = quads(m, pr), cols = quads(n, pc);
  for (Block cb : cols)
    for (Block rb : rows)
      plan.blocks.push_back({rb.r0, cb.r0, rb.rows, cb.rows});
  return plan;
}

template <class T>
void gemv(const GemvKernels<T> &k, std::int32_t t, char trans, std::int32_t m, std::int32_t n,
          T alpha, const T *a, std::int32_t lda, const T *x, std::int32_t incx, T beta, T *y,
          std::int32_t incy) {
  char letter = static_cast<char>(trans | 0x20);
  bool valid_letter = letter == 'n' || letter == 't' || letter == 'c';
  bool no_trans = letter == 'n';
  std::int32_t len = no_trans ? m : n;
  if (!valid_letter || m < 0 || n < 0 || lda < (m > 1 ? m : 1) || incx == 0 || incy == 0) {
    if (incy == 0 && len >= 1)
      y[0] = T{};
    else
      for (std::int32_t i = 0; i < len; ++i)
        y[i] = T{};
    return;
  }
  if (m == 0 || n == 0 || (zero(alpha) && one(beta))) return;
  T kbeta = beta;
  if constexpr (!complex_type<T>) {
    if (zero(beta)) {
      std::int32_t step = incy > 0 ? incy : -incy;
      for (std::int32_t i = 0; i < len; ++i)
        y[static_cast<std::ptrdiff_t>(i) * step] = 0;
      if (zero(alpha)) return;
      kbeta = 1;
    }
  }
  for (Block b : gemv_blocks(complex_type<T>, no_trans, m, n, t)) {
    std::int32_t bm = no_trans ? b.rows : m, bn = no_trans ? n : b.rows;
    const T *ab = no_trans ? a + b.r0 : a + static_cast<std::ptrdiff_t>(b.r0) * lda;
    T *yb = incy > 0 ? y + static_cast<std::ptrdiff_t>(b.r0) * incy
                     : y + static_cast<std::ptrdiff_t>(len - b.r0 - b.rows) * -incy;
    k.gemv(&trans, &bm, &bn, &alpha, ab, &lda, x, &incx, &kbeta, yb, &incy, 1);
  }
}

template <class T>
void gemm(const GemmKernels<T> &k, std::int32_t t, char transa, char transb, std::int32_t m,
          std::int32_t n, std::int32_t kk, T alpha, const T *a, std::int32_t lda, const T *b,
          std::int32_t ldb, T beta, T *c, std::int32_t ldc) {
  char la = static_cast<char>(transa | 0x20), lb = static_cast<char>(transb | 0x20);
  auto valid = [](char l) { return l == 'n' || l == 't' || l == 'c'; };
  std::int32_t nrowa = la == 'n' ? m : kk, nrowb = lb == 'n' ? kk : n;
  if (!valid(la) || !valid(lb) || m < 0 || n < 0 || kk < 0 || lda < (nrowa > 1 ? nrowa : 1) ||
      ldb < (nrowb > 1 ? nrowb : 1) || ldc < (m > 1 ? m : 1)) {
    std::ptrdiff_t step = ldc > 0 ? ldc : 0;
    for (std::int32_t j = 0; j < n; ++j)
      for (std::int32_t i = 0; i < m; ++i)
        c[i + j * step] = T{};
    return;
  }
  if (m == 0 || n == 0) return;
  if (zero(alpha) || kk == 0) {
    if (zero(beta)) {
      for (std::int32_t j = 0; j < n; ++j)
        for (std::int32_t i = 0; i < m; ++i)
          c[i + static_cast<std::ptrdiff_t>(j) * ldc] = T{};
    } else if (!one(beta)) {
      std::int32_t unit = 1;
      for (std::int32_t j = 0; j < n; ++j)
        k.scal(&m, &beta, c + static_cast<std::ptrdiff_t>(j) * ldc, &unit);
    }
    return;
  }
  GemmPlan plan = gemm_plan(m, n, kk, t);
  for (Block blk : plan.blocks) {
    const T *ab = la == 'n' ? a + blk.r0 : a + static_cast<std::ptrdiff_t>(blk.r0) * lda;
    const T *bb = lb == 'n' ? b + static_cast<std::ptrdiff_t>(blk.c0) * ldb : b + blk.c0;
    T *cb = c + blk.r0 + static_cast<std::ptrdiff_t>(blk.c0) * ldc;
    (plan.thin ? k.thin : k.mesh)(&transa, &transb, &blk.rows, &blk.cols, &kk, &alpha, ab, &lda, bb,
                                  &ldb, &beta, cb, &ldc, 1, 1);
  }
}

#define MOX2_MODEL_DRIVERS_(p, t)                                                                  \
  template void gemv<mox2_##t>(const GemvKernels<mox2_##t> &, std::int32_t, char, std::int32_t,    \
                               std::int32_t, mox2_##t, const mox2_##t *, std::int32_t,             \
                               const mox2_##t *, std::int32_t, mox2_##t, mox2_##t *,               \
                               std::int32_t);                                                      \
  template void gemm<mox2_##t>(const GemmKernels<mox2_##t> &, std::int32_t, char, char,            \
                               std::int32_t, std::int32_t, std::int32_t, mox2_##t,                 \
                               const mox2_##t *, std::int32_t, const mox2_##t *, std::int32_t,     \
                               mox2_##t, mox2_##t *, std::int32_t);
MOX2_BLAS_TYPES(MOX2_MODEL_DRIVERS_)
#undef MOX2_MODEL_DRIVERS_

} // namespace mox2::model
