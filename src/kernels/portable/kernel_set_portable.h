// The portable kernel set: plain C++ for any target (the compiler's own
// vectors, SSE2 on x86-64).  Its real GEMM is the reference algorithm
// itself, its complex GEMM the reference loops.
#pragma once

#include "kernels/gemm_complex/gemm_complex.h"
#include "kernels/gemv/gemv_sets.h"
#include "kernels/kernel_set.h"
#include "kernels/level1/level1_sets.h"

namespace mox2::kernels::portable {

inline constexpr KernelSet kKernelSet{
    .name = "portable",
    .s = {.gemm_blocked = nullptr,
          .gemm_with_dot_rows = nullptr,
          .gemm_shape = {},
          .gemv = sgemv,
          .gemv_bytewise = nullptr,
          .gemv_dot_rows = sgemv_dot_rows,
          .gemv_few_columns = sgemv_few_columns,
          .scal = scal,
          .axpy_column = axpy_column},
    .d = {.gemm_blocked = nullptr,
          .gemm_with_dot_rows = nullptr,
          .gemm_shape = {},
          .gemv = dgemv,
          .gemv_bytewise = dgemv_bytewise,
          .gemv_dot_rows = dgemv_dot_rows,
          .gemv_few_columns = dgemv_few_columns,
          .scal = scal,
          .axpy_column = axpy_column},
    .c = {.gemm_loops = complex_gemm_loops,
          .gemm_loops_bytewise = nullptr,
          .gemm_by_gemv = complex_gemm_by_gemv,
          .gemm_blocked = nullptr,
          .gemm_shape = {},
          .gemm_thin = nullptr,
          .gemv = cgemv,
          .gemv_bytewise = nullptr,
          .scal = scal},
    .z = {.gemm_loops = complex_gemm_loops,
          .gemm_loops_bytewise = complex_gemm_loops_bytewise,
          .gemm_by_gemv = complex_gemm_by_gemv,
          .gemm_blocked = nullptr,
          .gemm_shape = {},
          .gemm_thin = nullptr,
          .gemv = zgemv,
          .gemv_bytewise = zgemv_bytewise,
          .scal = scal},
    .gemm_cuts = {.small_gemv = 1024,
                  .dot_rows_with_block = 64,
                  .few_columns = 4,
                  .few_columns_bytes = std::ptrdiff_t(512) << 10,
                  .few_columns_depth = 768},
    .matmul_tiles = matmul_tiles_of<16>(),
    .logical_scans = MOX2_LOGICAL_SCANS(::mox2::logical::scan_portable),
};

} // namespace mox2::kernels::portable
