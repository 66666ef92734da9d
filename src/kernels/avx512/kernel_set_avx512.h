// The AVX-512 kernel set (F, DQ, BW and VL; no FMA): 512-bit vectors, 32
// registers.  GCC 12 turns the complex products' multiplies and
// add/subtracts into fused instructions whenever AVX-512F is enabled,
// despite -ffp-contract=off: the complex loops, GEMV and scaling are the
// AVX2 set's, and COMPLEX(4) GEMV joins this set's dot-form column groups
// to them (gemv_complex_avx512.cc).
#pragma once

#include "kernels/gemm/gemm_block.h"
#include "kernels/gemm_complex/complex_blocked.h"
#include "kernels/gemm_complex/gemm_complex.h"
#include "kernels/gemv/gemv_sets.h"
#include "kernels/kernel_set.h"
#include "kernels/level1/level1_sets.h"

namespace mox2::kernels::avx512 {

inline constexpr KernelSet kKernelSet{
    .name = "avx512",
    .s = {.gemm_blocked = gemm_blocked,
          .gemm_with_dot_rows = gemm_blocked_with_dot_rows,
          .gemm_shape = {.vecs = 3,
                         .nr = 8,
                         .kc = 768,
                         .mc = 192,
                         .nc = 1024,
                         .kc_from_l1 = false,
                         .small_side = 16,
                         .short_depth = 8,
                         .pair_min_depth = 32,
                         .in_cache_bytes = std::size_t(512) << 10,
                         .few_rows_below = 16},
          .gemv = sgemv,
          .gemv_bytewise = nullptr,
          .gemv_dot_rows = sgemv_dot_rows,
          .gemv_few_columns = sgemv_few_columns,
          .scal = scal,
          .axpy_column = axpy_column},
    .d = {.gemm_blocked = gemm_blocked,
          .gemm_with_dot_rows = gemm_blocked_with_dot_rows,
          .gemm_shape = {.vecs = 3,
                         .nr = 8,
                         .kc = 512,
                         .mc = 96,
                         .nc = 512,
                         .kc_from_l1 = false,
                         .small_side = 16,
                         .short_depth = 8,
                         .pair_min_depth = 32,
                         .in_cache_bytes = std::size_t(512) << 10,
                         .few_rows_below = 8},
          .gemv = dgemv,
          .gemv_bytewise = dgemv_bytewise,
          .gemv_dot_rows = dgemv_dot_rows,
          .gemv_few_columns = dgemv_few_columns,
          .scal = scal,
          .axpy_column = axpy_column},
    .c = {.gemm_loops = avx2::complex_gemm_loops,
          .gemm_loops_bytewise = nullptr,
          .gemm_by_gemv = avx2::complex_gemm_by_gemv,
          .gemm_blocked = complex_gemm_blocked,
          .gemm_shape = {.vecs = 2,
                         .cols = 4,
                         .few_rows = 4,
                         .few_rows_below = 16,
                         .depth = 256,
                         .row_block = 192,
                         .col_block = 1536,
                         .dot_col_block = 256},
          .gemm_thin = complex_gemm_thin,
          .gemv = cgemv,
          .gemv_bytewise = nullptr,
          .scal = avx2::scal},
    .z = {.gemm_loops = avx2::complex_gemm_loops,
          .gemm_loops_bytewise = avx2::complex_gemm_loops_bytewise,
          .gemm_by_gemv = avx2::complex_gemm_by_gemv,
          .gemm_blocked = complex_gemm_blocked,
          .gemm_shape = {.vecs = 2,
                         .cols = 4,
                         .few_rows = 4,
                         .few_rows_below = 8,
                         .depth = 256,
                         .row_block = 96,
                         .col_block = 1536,
                         .dot_col_block = 256},
          .gemm_thin = complex_gemm_thin,
          .gemv = zgemv,
          .gemv_bytewise = avx2::zgemv_bytewise,
          .scal = avx2::scal},
    .gemm_cuts = {.small_gemv = 1024,
                  .dot_rows_with_block = 64,
                  .few_columns = 4,
                  .few_columns_bytes = std::ptrdiff_t(512) << 10,
                  .few_columns_depth = 768},
    .matmul_tiles = matmul_tiles_of<64>(),
    .logical_scans = MOX2_LOGICAL_SCANS(::mox2::logical::scan_avx512),
};

} // namespace mox2::kernels::avx512
