// The AVX2 kernel set (no FMA): 256-bit vectors, 16 registers.
#pragma once

#include "kernels/gemm/gemm_block.h"
#include "kernels/gemm_complex/complex_blocked.h"
#include "kernels/gemm_complex/gemm_complex.h"
#include "kernels/gemv/gemv_sets.h"
#include "kernels/kernel_set.h"
#include "kernels/level1/level1_sets.h"

namespace mox2::kernels::avx2 {

inline constexpr KernelSet kKernelSet{
    .name = "avx2",
    .s = {.gemm_blocked = gemm_blocked,
          .gemm_with_dot_rows = gemm_blocked_with_dot_rows,
          .gemm_shape = {.vecs = 2,
                         .nr = 6,
                         .kc = 384,
                         .mc = 128,
                         .nc = 3072,
                         .kc_from_l1 = true,
                         .small_side = 16,
                         .short_depth = 8,
                         .pair_min_depth = 32,
                         .in_cache_bytes = std::size_t(512) << 10},
          .gemv = sgemv,
          .gemv_bytewise = nullptr,
          .gemv_dot_rows = sgemv_dot_rows,
          .gemv_few_columns = sgemv_few_columns,
          .scal = scal,
          .axpy_column = axpy_column},
    .d = {.gemm_blocked = gemm_blocked,
          .gemm_with_dot_rows = gemm_blocked_with_dot_rows,
          .gemm_shape = {.vecs = 2,
                         .nr = 6,
                         .kc = 256,
                         .mc = 128,
                         .nc = 3072,
                         .kc_from_l1 = true,
                         .small_side = 16,
                         .short_depth = 8,
                         .pair_min_depth = 32,
                         .in_cache_bytes = std::size_t(512) << 10},
          .gemv = dgemv,
          .gemv_bytewise = dgemv_bytewise,
          .gemv_dot_rows = dgemv_dot_rows,
          .gemv_few_columns = dgemv_few_columns,
          .scal = scal,
          .axpy_column = axpy_column},
    .c = {.gemm_loops = complex_gemm_loops,
          .gemm_loops_bytewise = nullptr,
          .gemm_by_gemv = complex_gemm_by_gemv,
          .gemm_blocked = complex_gemm_blocked,
          .gemm_shape =
              {.cols = 2, .depth = 256, .row_block = 192, .col_block = 1536, .dot_col_block = 256},
          .gemm_thin = nullptr,
          .gemv = cgemv,
          .gemv_bytewise = nullptr,
          .scal = scal},
    .z = {.gemm_loops = complex_gemm_loops,
          .gemm_loops_bytewise = complex_gemm_loops_bytewise,
          .gemm_by_gemv = complex_gemm_by_gemv,
          .gemm_blocked = complex_gemm_blocked,
          .gemm_shape =
              {.cols = 2, .depth = 256, .row_block = 96, .col_block = 1536, .dot_col_block = 256},
          .gemm_thin = nullptr,
          .gemv = zgemv,
          .gemv_bytewise = zgemv_bytewise,
          .scal = scal},
    .gemm_cuts = {.small_gemv = 1024,
                  .dot_rows_with_block = 64,
                  .few_columns = 4,
                  .few_columns_bytes = std::ptrdiff_t(512) << 10,
                  .few_columns_depth = 768},
    .matmul_tiles = matmul_tiles_of<32>(),
    .logical_scans = MOX2_LOGICAL_SCANS(::mox2::logical::scan_avx2),
};

} // namespace mox2::kernels::avx2
