// The GEMV driver, y := alpha*op(A)*x + beta*y, for both families.
//
// Real family (REAL(4), REAL(8)): beta = 0 zeroes y first and hands the
// kernel beta = 1; y is cut into T bands, the first len mod T one longer.
// Complex family: beta goes to the kernel as given; y is cut into T bands
// of len div T, the last taking the rest.  Every element of y is computed
// by one kernel call over the whole of x, so the bits do not depend on T,
// except in the COMPLEX(4) dot forms ('T', 'C'): a block with an odd number
// of columns takes its first one alone, in the exact product form.
// Invalid arguments zero y(1..len) as contiguous elements (only y(1) when
// INCY = 0) and return; nothing is reported.
#pragma once

#include "blas/blas_common.h"
#include "blas/partition.h"
#include "runtime/parallel.h"

namespace mox2::blas {

template <class T> struct GemvCall {
  GemvKernel<T> kernel;
  const char *trans;
  const std::int32_t *m, *n;
  const T *alpha;
  const T *a;
  const std::int32_t *lda;
  const T *x;
  const std::int32_t *incx;
  const T *beta; // the beta handed to the kernel
  T *y;
  const std::int32_t *incy;
  bool no_trans;
  std::int32_t len, threads;
  std::int32_t first[kMaxThreads], count[kMaxThreads]; // block tables
};

// Block b (0..T-1) of y and its rows (no transpose) or columns of A.
template <class T> Span gemv_block(std::int32_t len, std::int32_t threads, std::int32_t b) {
  if constexpr (is_complex_element<T>)
    return band_last_takes_rest(len, threads, b);
  else
    return band_first_longer(len, threads, b);
}

template <class T> void gemv_block_body(void *args, std::int32_t lo, std::int32_t hi) {
  auto &g = *static_cast<GemvCall<T> *>(args);
  // The complex loop counts its blocks from 1, the real one from 0.
  constexpr std::int32_t base = is_complex_element<T> ? 1 : 0;
  for (std::int32_t it = lo; it <= hi; ++it) {
    std::int32_t b = it - base;
    Span s = gemv_block<T>(g.len, g.threads, b);
    g.first[b] = s.first;
    g.count[b] = s.count;
    T *ypart = vector_part(g.y, *g.incy, g.len, s.first, s.count);
    if (g.no_trans)
      g.kernel(g.trans, &g.count[b], g.n, g.alpha, g.a + s.first, g.lda, g.x, g.incx, g.beta, ypart,
               g.incy, 1);
    else
      g.kernel(g.trans, g.m, &g.count[b], g.alpha,
               g.a + static_cast<std::ptrdiff_t>(s.first) * *g.lda, g.lda, g.x, g.incx, g.beta,
               ypart, g.incy, 1);
  }
}

// Error-path zero fill of y(lo..hi), 1-based.
template <class T> struct ZeroFill { T *y; };
template <class T> void zero_fill_body(void *args, std::int32_t lo, std::int32_t hi) {
  T *y = static_cast<ZeroFill<T> *>(args)->y;
  for (std::int32_t i = lo; i <= hi; ++i)
    y[i - 1] = zero_element<T>();
}

inline constexpr std::int32_t kParallelZeroFill = 6008;
inline constexpr std::int32_t kZeroFillChunk = 3003;

template <class T>
void gemv_driver(GemvKernel<T> kernel, const char *trans, const std::int32_t *m_,
                 const std::int32_t *n_, const T *alpha, const T *a, const std::int32_t *lda,
                 const T *x, const std::int32_t *incx, const T *beta, T *y,
                 const std::int32_t *incy) {
  constexpr bool complex = is_complex_element<T>;
  const Op op = decode_op(trans);
  const std::int32_t m = *m_, n = *n_;
  const bool no_trans = op == Op::none;
  const std::int32_t len = no_trans ? m : n;

  if (op == Op::invalid || m < 0 || n < 0 || *lda < (m > 1 ? m : 1) || *incx == 0 || *incy == 0) {
    if (len < 1) return;
    if (*incy == 0) { // y has one element to its name
      y[0] = zero_element<T>();
      return;
    }
    if (complex && len >= kParallelZeroFill) {
      ZeroFill<T> fill{y};
      RegionRecord region = loop_region(1, len, kZeroFillChunk, kScheduleFill);
      __mt_MasterFunction_(&region, zero_fill_body<T>, &fill, 0, 1, 0);
    } else {
      for (std::int32_t i = 0; i < len; ++i)
        y[i] = zero_element<T>();
    }
    return;
  }
  if (m == 0 || n == 0 || (is_zero(*alpha) && is_one(*beta))) return;

  T local_beta = *beta;
  const T *kernel_beta = beta;
  if constexpr (!complex) {
    if (*beta == 0) {
      const std::int32_t inc = *incy;
      if (inc == 1) {
        for (std::int32_t i = 0; i < len; ++i)
          y[i] = 0;
      } else {
        const std::ptrdiff_t step = inc > 0 ? inc : -static_cast<std::ptrdiff_t>(inc);
        for (std::int32_t i = 0; i < len; ++i)
          y[i * step] = 0;
      }
      if (is_zero(*alpha)) return;
      local_beta = 1;
    }
    kernel_beta = &local_beta;
  }

  // The work estimate counts an element of A as so many operations
  // (runtime/parallel.h) that a second thread is taken from the sizes
  // where it pays: the real dot form, bound by its
  // transpositions, from 256 x 256; the real column form and the complex
  // dot form from about 360 x 360; the complex column form, which gains
  // little from a second thread, from about 720 x 720.
  const double work = (complex ? (no_trans ? 0.375 : 1.5) : (no_trans ? 1.5 : 3.0)) * m * n;
  const std::int32_t threads = __f___zo_using_threads_();
  if (threads < 2 || len < threads) {
    kernel(trans, m_, n_, alpha, a, lda, x, incx, kernel_beta, y, incy, 1);
    return;
  }
  // Too small for a team: the blocks would all run on this thread.  Every
  // element of y then comes out of one kernel call for the whole product
  // with the same bits, except in the complex dot forms, whose column
  // pairs start at each block's first column.
  if (work < threaded_work() && (!complex || no_trans)) {
    kernel(trans, m_, n_, alpha, a, lda, x, incx, kernel_beta, y, incy, 1);
    return;
  }
  GemvCall<T> call;
  call.kernel = kernel;
  call.trans = trans;
  call.m = m_;
  call.n = n_;
  call.alpha = alpha;
  call.a = a;
  call.lda = lda;
  call.x = x;
  call.incx = incx;
  call.beta = kernel_beta;
  call.y = y;
  call.incy = incy;
  call.no_trans = no_trans;
  call.len = len;
  call.threads = threads;
  constexpr std::int32_t first = complex ? 1 : 0;
  run_block_loop(gemv_block_body<T>, &call, first, first + threads - 1, work);
}

} // namespace mox2::blas
