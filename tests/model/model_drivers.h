// Executable model of the GEMV and GEMM drivers: the checks, the quick
// returns, the beta handling, and the exact cut of the result among T
// threads, written as plainly as the rules read.  The model runs the
// blocks one after the other on serial kernels handed to it, so a driver
// at thread count T can be compared bit for bit with the model at T.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "frame/types.h"

namespace mox2::model {

// One kernel call on a block: rows r0..r0+rows-1 and columns c0..c0+cols-1
// (for GEMV: elements r0.. of y, and cols unused = 0).
struct Block {
  std::int32_t r0, c0, rows, cols;
  bool operator==(const Block &o) const {
    return r0 == o.r0 && c0 == o.c0 && rows == o.rows && cols == o.cols;
  }
  bool operator<(const Block &o) const {
    if (c0 != o.c0) return c0 < o.c0;
    if (r0 != o.r0) return r0 < o.r0;
    if (rows != o.rows) return rows < o.rows;
    return cols < o.cols;
  }
};

// The blocks of y (as r0, rows) for a valid GEMV that reaches the kernels on
// T threads; one block is the serial call.
std::vector<Block> gemv_blocks(bool complex, bool no_trans, std::int32_t m, std::int32_t n,
                               std::int32_t threads);

// Which GEMM kernel runs and on which blocks of C, for valid arguments with
// M, N >= 1, alpha != 0 and K >= 1.
struct GemmPlan {
  bool thin; // thin-product kernel rather than the GEMM kernel
  std::vector<Block> blocks;
};
GemmPlan gemm_plan(std::int32_t m, std::int32_t n, std::int32_t k, std::int32_t threads);

// The thread mesh of n, by trying every divisor.
void thread_mesh(std::int32_t n, std::int32_t &p, std::int32_t &q);

// Serial kernels for the model drivers, with the library's argument
// conventions (every argument by address).
template <class T> struct GemvKernels {
  void (*gemv)(const char *, const std::int32_t *, const std::int32_t *, const T *, const T *,
               const std::int32_t *, const T *, const std::int32_t *, const T *, T *,
               const std::int32_t *, std::size_t);
};
template <class T> struct GemmKernels {
  using Gemm = void (*)(const char *, const char *, const std::int32_t *, const std::int32_t *,
                        const std::int32_t *, const T *, const T *, const std::int32_t *, const T *,
                        const std::int32_t *, const T *, T *, const std::int32_t *, std::size_t,
                        std::size_t);
  Gemm mesh;
  Gemm thin;
  void (*scal)(const std::int32_t *, const T *, T *, const std::int32_t *);
};

// The whole GEMV and GEMM driver on `threads` threads, blocks run in turn.
template <class T>
void gemv(const GemvKernels<T> &k, std::int32_t threads, char trans, std::int32_t m, std::int32_t n,
          T alpha, const T *a, std::int32_t lda, const T *x, std::int32_t incx, T beta, T *y,
          std::int32_t incy);
template <class T>
void gemm(const GemmKernels<T> &k, std::int32_t threads, char transa, char transb, std::int32_t m,
          std::int32_t n, std::int32_t kk, T alpha, const T *a, std::int32_t lda, const T *b,
          std::int32_t ldb, T beta, T *c, std::int32_t ldc);

} // namespace mox2::model
