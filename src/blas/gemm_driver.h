// The GEMM driver, C := alpha*op(A)*op(B) + beta*C, for all four types.
//
// Products with M, N or K below 4 go to the thin-product kernel, on T
// threads as row strips (N < 4, T <= M) or column strips (M or K < 4,
// T <= N) whose first L mod T strips are one longer.  All others go to the
// GEMM kernel, cut into a pr x pc mesh of blocks whose sides are whole
// quads of four, the leftovers in the last row and column block.  Each
// block is one kernel call, so the cut decides C's bits (a real kernel
// peels the rows and columns that do not fill its blocking: M mod 4, N
// mod 2); it depends on T only through these rules, whatever the size: a
// product too small to repay helpers runs its blocks one after another on
// the calling thread.  Invalid arguments zero C(1..M, 1..N) along LDC
// (as if LDC were 0 when it is negative) and return.
#pragma once

#include "blas/blas_common.h"
#include "blas/partition.h"
#include "runtime/parallel.h"

namespace mox2::blas {

template <class T> struct GemmKernels {
  GemmKernel<T> mesh; // products with M, N, K all at least 4
  GemmKernel<T> thin; // products with a dimension below 4
  ScalKernel<T> scal; // C(:, j) := beta*C(:, j)
};

template <class T> struct GemmCall {
  GemmKernel<T> kernel;
  const char *transa, *transb;
  const std::int32_t *m, *n, *k;
  const T *alpha;
  const T *a;
  const std::int32_t *lda;
  const T *b;
  const std::int32_t *ldb;
  const T *beta;
  T *c;
  const std::int32_t *ldc;
  bool a_no_trans, b_no_trans;
  std::int32_t threads;
  // Block tables: first and last row and column (from 0, inclusive), counts.
  std::int32_t row_first[kMaxThreads], row_last[kMaxThreads];
  std::int32_t col_first[kMaxThreads], col_last[kMaxThreads];
  std::int32_t rows[kMaxThreads], cols[kMaxThreads];
};

// One kernel call on rows r0.. and columns c0.. of C, with the counts at
// the given addresses.
template <class T>
void gemm_block(const GemmCall<T> &g, std::int32_t r0, std::int32_t c0, const std::int32_t *m,
                const std::int32_t *n) {
  const std::ptrdiff_t lda = *g.lda, ldb = *g.ldb, ldc = *g.ldc;
  const T *a = g.a_no_trans ? g.a + r0 : g.a + r0 * lda;
  const T *b = g.b_no_trans ? g.b + c0 * ldb : g.b + c0;
  T *c = g.c + r0 + c0 * ldc;
  g.kernel(g.transa, g.transb, m, n, g.k, g.alpha, a, g.lda, b, g.ldb, g.beta, c, g.ldc, 1, 1);
}

template <class T> void gemm_mesh_body(void *args, std::int32_t lo, std::int32_t hi) {
  auto &g = *static_cast<GemmCall<T> *>(args);
  for (std::int32_t blk = lo; blk <= hi; ++blk) {
    g.rows[blk] = g.row_last[blk] - g.row_first[blk] + 1;
    g.cols[blk] = g.col_last[blk] - g.col_first[blk] + 1;
    gemm_block(g, g.row_first[blk], g.col_first[blk], &g.rows[blk], &g.cols[blk]);
  }
}

template <class T> void gemm_row_strip_body(void *args, std::int32_t lo, std::int32_t hi) {
  auto &g = *static_cast<GemmCall<T> *>(args);
  for (std::int32_t i = lo; i <= hi; ++i) {
    Span s = band_first_longer(*g.m, g.threads, i);
    g.row_first[i] = s.first;
    g.rows[i] = s.count;
    gemm_block(g, s.first, 0, &g.rows[i], g.n);
  }
}

template <class T> void gemm_column_strip_body(void *args, std::int32_t lo, std::int32_t hi) {
  auto &g = *static_cast<GemmCall<T> *>(args);
  for (std::int32_t j = lo; j <= hi; ++j) {
    Span s = band_first_longer(*g.n, g.threads, j);
    g.col_first[j] = s.first;
    g.cols[j] = s.count;
    gemm_block(g, 0, s.first, g.m, &g.cols[j]);
  }
}

template <class T>
void gemm_driver(const GemmKernels<T> &kernels, const char *transa, const char *transb,
                 const std::int32_t *m_, const std::int32_t *n_, const std::int32_t *k_,
                 const T *alpha, const T *a, const std::int32_t *lda, const T *b,
                 const std::int32_t *ldb, const T *beta, T *c, const std::int32_t *ldc) {
  const Op opa = decode_op(transa), opb = decode_op(transb);
  const std::int32_t m = *m_, n = *n_, k = *k_;
  const std::int32_t nrowa = opa == Op::none ? m : k;
  const std::int32_t nrowb = opb == Op::none ? k : n;
  auto at_least_one = [](std::int32_t v) { return v > 1 ? v : 1; };

  if (opa == Op::invalid || opb == Op::invalid || m < 0 || n < 0 || k < 0 ||
      *lda < at_least_one(nrowa) || *ldb < at_least_one(nrowb) || *ldc < at_least_one(m)) {
    if (m >= 1 && n >= 1) {
      const std::ptrdiff_t step = *ldc > 0 ? *ldc : 0;
      for (std::int32_t j = 0; j < n; ++j)
        for (std::int32_t i = 0; i < m; ++i)
          c[i + j * step] = zero_element<T>();
    }
    return;
  }
  if (m == 0 || n == 0) return;

  const std::ptrdiff_t ldc_ = *ldc;
  if (is_zero(*alpha) || k == 0) {
    if (is_zero(*beta)) {
      for (std::int32_t j = 0; j < n; ++j)
        for (std::int32_t i = 0; i < m; ++i)
          c[i + j * ldc_] = zero_element<T>();
    } else if (!is_one(*beta)) {
      static constexpr std::int32_t one = 1;
      for (std::int32_t j = 0; j < n; ++j)
        kernels.scal(m_, beta, c + j * ldc_, &one);
    }
    return;
  }

  // The work estimate weighs the operations by how soon a core is done
  // with them, so that a second thread is taken where it pays: from n = 59
  // for REAL(8), 74 for REAL(4) (twice the lanes per vector), 37 for
  // COMPLEX(8) and 47 for COMPLEX(4) (square products).  Below, the team's
  // start and the blocks' repeated packing cost more than half the work
  // saves.
  constexpr bool kSingle = sizeof(T) == (is_complex_element<T> ? 8 : 4);
  const double work = (kSingle ? 0.25 : 0.5) * (is_complex_element<T> ? 8.0 : 2.0) * m * n * k;
  const std::int32_t threads = __f___zo_using_threads_();
  GemmCall<T> call;
  call.transa = transa;
  call.transb = transb;
  call.m = m_;
  call.n = n_;
  call.k = k_;
  call.alpha = alpha;
  call.a = a;
  call.lda = lda;
  call.b = b;
  call.ldb = ldb;
  call.beta = beta;
  call.c = c;
  call.ldc = ldc;
  call.a_no_trans = opa == Op::none;
  call.b_no_trans = opb == Op::none;
  call.threads = threads;

  if (m < 4 || n < 4 || k < 4) {
    call.kernel = kernels.thin;
    switch (choose_thin_cut(m, n, k, threads)) {
    case ThinCut::row_strips:
      run_block_loop(gemm_row_strip_body<T>, &call, 0, threads - 1, work);
      return;
    case ThinCut::column_strips:
      run_block_loop(gemm_column_strip_body<T>, &call, 0, threads - 1, work);
      return;
    case ThinCut::serial:
      kernels.thin(transa, transb, m_, n_, k_, alpha, a, lda, b, ldb, beta, c, ldc, 1, 1);
      return;
    }
  }

  Mesh thread_mesh;
  __f___zo_factor_mesh_(&threads, &thread_mesh.rows, &thread_mesh.cols);
  const Mesh mesh = choose_mesh(m, n, threads, thread_mesh);
  if (!mesh_fits(m, n, threads, mesh)) {
    kernels.mesh(transa, transb, m_, n_, k_, alpha, a, lda, b, ldb, beta, c, ldc, 1, 1);
    return;
  }
  call.kernel = kernels.mesh;
  for (std::int32_t j = 0; j < mesh.cols; ++j) {
    Span cs = quad_block(n, mesh.cols, j);
    for (std::int32_t i = 0; i < mesh.rows; ++i) {
      Span rs = quad_block(m, mesh.rows, i);
      std::int32_t blk = j * mesh.rows + i;
      call.row_first[blk] = rs.first;
      call.row_last[blk] = rs.first + rs.count - 1;
      call.col_first[blk] = cs.first;
      call.col_last[blk] = cs.first + cs.count - 1;
    }
  }
  run_block_loop(gemm_mesh_body<T>, &call, 0, mesh.rows * mesh.cols - 1, work);
}

} // namespace mox2::blas
