// The kernel set: everything that differs per instruction set, in one
// table, as BLIS's context holds the micro-kernels and block sizes of one
// architecture.  Each set defines one constant table in its own folder
// (portable/, avx2/, avx512/: kernel_set_<set>.h), which is also where its
// block sizes and shape thresholds are changed; the run time picks one
// from CPUID (runtime/cpu.cc, kernel_set()), and every kernel reaches its
// set's routines through it.  Every set computes the same bits; the
// choice changes speed only.
//
// An entry left null is one the set does not have; the caller then takes
// the portable path named beside the entry.
//
// Adding a kernel set: a folder of its sources (the build compiles a
// folder named after an instruction set for it alone, src/CMakeLists.txt),
// its table, and its detection (runtime/cpu.cc).
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "frame/types.h"
#include "kernels/blocks.h"
#include "kernels/kernels.h"
#include "logical/contiguous.h"
#include "matmul/tile.h"

namespace mox2::kernels {

// The tiles, blocks and shape thresholds of the blocked real GEMM for one
// element type.  A tile is vecs vectors of rows (MR = vecs*width) by nr
// columns of C, held in registers over kc values of l; kc values of l,
// mc rows of A (a multiple of MR) and nc columns of B (a multiple of nr)
// make one block.  The blocks are cut for the caches of the machine
// (gemm/blocked/vector_policy.h, blocks_of); kc, mc and in_cache_bytes
// here stand where a cache's size is unknown, nc is the widest block of
// columns.  kc_from_l1: a tile whose loads keep pace with its arithmetic
// only from the first-level cache (few registers, so few products per
// value loaded) has its blocks of l cut so that the panels of A and B
// one tile reads fit there; otherwise kc stands.  Products at most small_side columns and values of
// l deep, of at most two vectors of rows, take the small column form; k up to short_depth, the
// short-depth form; from pair_min_depth values of l up, a product whose rows and columns both leave
// a tile's lanes idle takes the pair lanes; an operand of at most in_cache_bytes counts as staying
// in cache (read in place rather than packed).  Column-form products with
// fewer than few_rows_below rows (and at least a vector of them) run
// vectors along C's rows, the rows in groups of three.  direct_a_in_l1: the
// direct column form (A read in place by more than one tile of rows) is
// taken only for an A smaller than the first-level cache, not
// in_cache_bytes: where its tile reads A at a stride, with loads that
// split cache lines, at the pace of the second level, packed panels are
// faster even for a few panels of B.
struct GemmShape {
  int vecs, nr;
  std::ptrdiff_t kc, mc, nc;
  bool kc_from_l1;
  std::ptrdiff_t small_side, short_depth, pair_min_depth;
  std::size_t in_cache_bytes;
  std::ptrdiff_t few_rows_below;
  bool direct_a_in_l1 = false;
};

// The blocked complex GEMM's blocking for one precision: tiles of vecs
// vectors of rows (1 or 2) by cols columns, depth values of l per block,
// row_block rows of A and col_block columns of B per packed block
// (dot_col_block in the dot form).  Column-form products with fewer than few_rows_below rows
// (the dot form: fewer than a vector holds parts) run tiles of up to
// few_rows rows by two vectors of columns on B in place of packed A.
struct ComplexShape {
  int vecs, cols, few_rows, few_rows_below;
  std::ptrdiff_t depth, row_block, col_block, dot_col_block;
};

// How the real GEMM kernels (gemm.cc) cut a product.  Peeled GEMV forms
// over at most small_gemv elements are written out in line (a kernel call
// costs more than their work); a lone peeled row joins the packed pass of
// a block of four rows only from dot_rows_with_block elements of B on.  A
// block of at most few_columns columns whose A the blocked form would pack
// (A above few_columns_bytes, or k above few_columns_depth) takes the GEMV
// column forms side by side, reading A once: packing costs more than it
// saves when each value of A is used a few times.
struct GemmCuts {
  std::ptrdiff_t small_gemv, dot_rows_with_block;
  std::ptrdiff_t few_columns, few_columns_bytes, few_columns_depth;
};

// The routines of one real type (REAL(4), REAL(8)).
template <class T> struct RealKernels {
  // The whole GEMM block in the reference order (gemm/gemm_block.h),
  // blocked; false, with nothing read or written, without workspace.  Null:
  // the set has no blocked form (the reference algorithm runs).
  bool (*gemm_blocked)(const GemmBlock<T> &g);
  // The block and its dot rows in one pass over op(B), for the shapes the
  // set has it for; false, with nothing done, otherwise.  Null: none.
  bool (*gemm_with_dot_rows)(const GemmBlock<T> &g, const DotRows<T> &d);
  GemmShape gemm_shape;
  // GEMV (gemv/gemv_sets.h): y := alpha*op(A)*x + beta*y; the
  // alignment-safe form (REAL(8) only, null for REAL(4)); the dot rows and
  // the few columns over one matrix.
  void (*gemv)(Op op, const GemvBlock<T> &g);
  void (*gemv_bytewise)(Op op, const GemvBlock<T> &g);
  void (*gemv_dot_rows)(const GemvBlock<T> &g, int rows, std::ptrdiff_t x_row,
                        std::ptrdiff_t y_row);
  void (*gemv_few_columns)(const GemvBlock<T> &g, int ys, std::ptrdiff_t x_col,
                           std::ptrdiff_t y_col, bool every_term);
  // Level 1 (level1/level1_sets.h), contiguous: x := alpha*x; column := column +
  // x*t.
  void (*scal)(std::ptrdiff_t n, T alpha, T *x);
  void (*axpy_column)(std::ptrdiff_t m, T t, const T *x, T *column);
};

// The routines of one complex type (COMPLEX(4), COMPLEX(8)).
template <class C> struct ComplexKernels {
  // The reference loops (gemm_complex/gemm_complex.h) in the given product
  // forms (COMPLEX(8) has one and ignores them); the alignment-safe form
  // with the zero skip (COMPLEX(8) only, null for COMPLEX(4)); C column by
  // column in the GEMV order.
  void (*gemm_loops)(const GemmBlock<C> &g, ComplexForms forms, bool zero_skip);
  void (*gemm_loops_bytewise)(const GemmBlock<C> &g);
  void (*gemm_by_gemv)(const GemmBlock<C> &g);
  // The blocked column and dot forms (gemm_complex/complex_blocked.h);
  // false, with nothing written, without workspace.  Null: none (the loops
  // run).
  bool (*gemm_blocked)(const GemmBlock<C> &g);
  ComplexShape gemm_shape;
  // The thin products' loops on the set's vectors (complex_blocked.h);
  // false, with nothing done, where they do not apply.  Null: none.
  bool (*gemm_thin)(const GemmBlock<C> &g);
  // GEMV (gemv/gemv_sets.h); its alignment-safe form (COMPLEX(8) only, null for COMPLEX(4)).
  void (*gemv)(Op op, const GemvBlock<C> &g);
  void (*gemv_bytewise)(Op op, const GemvBlock<C> &g);
  // x := alpha*x, contiguous.
  void (*scal)(std::ptrdiff_t n, C alpha, C *x);
};

// MATMUL's tile sets (matmul/tile.h) per work type and operand form, the
// form's index 1 for a complex A plus 2 for a complex B.
template <class W> using TileSetOf = matmul::TileSet<W> (*)();
struct MatmulTiles {
  TileSetOf<float> real4[4];
  TileSetOf<double> real8[4];
  TileSetOf<mox2_r16> real16[4];
  TileSetOf<std::uint32_t> integer4;
  TileSetOf<std::uint64_t> integer8;
};

// The tile sets of one vector width in bytes; quad precision always takes
// the portable (16-byte) ones.
template <int VectorBytes> constexpr MatmulTiles matmul_tiles_of() {
  using matmul::tile_set;
  constexpr int V = VectorBytes;
  return {{tile_set<V, float, false, false>, tile_set<V, float, true, false>,
           tile_set<V, float, false, true>, tile_set<V, float, true, true>},
          {tile_set<V, double, false, false>, tile_set<V, double, true, false>,
           tile_set<V, double, false, true>, tile_set<V, double, true, true>},
          {tile_set<16, mox2_r16, false, false>, tile_set<16, mox2_r16, true, false>,
           tile_set<16, mox2_r16, false, true>, tile_set<16, mox2_r16, true, true>},
          tile_set<V, std::uint32_t, false, false>,
          tile_set<V, std::uint64_t, false, false>};
}

// The contiguous scans of ALL, ANY and COUNT (logical/contiguous.h) per
// operation and kind, the kind's index 0, 1, 2, 3 for LOGICAL(1), (2),
// (4), (8).
using LogicalScan = std::uint32_t (*)(const unsigned char *p, std::size_t n);
struct LogicalScans {
  LogicalScan all[4], any[4], count[4];
};

struct KernelSet {
  const char *name;
  RealKernels<float> s;
  RealKernels<double> d;
  ComplexKernels<c8> c;
  ComplexKernels<c16> z;
  GemmCuts gemm_cuts;
  MatmulTiles matmul_tiles;
  LogicalScans logical_scans;

  template <class T> constexpr const auto &of() const {
    if constexpr (std::is_same_v<T, float>)
      return s;
    else if constexpr (std::is_same_v<T, double>)
      return d;
    else if constexpr (std::is_same_v<T, c8>)
      return c;
    else
      return z;
  }
};

} // namespace mox2::kernels

// The scans of one family (logical/contiguous.h) as a LogicalScans
// initializer.
#define MOX2_LOGICAL_SCANS(family)                                                                 \
  {                                                                                                \
    {family<::mox2::logical::Op::all, 1>, family<::mox2::logical::Op::all, 2>,                     \
     family<::mox2::logical::Op::all, 4>, family<::mox2::logical::Op::all, 8>},                    \
        {family<::mox2::logical::Op::any, 1>, family<::mox2::logical::Op::any, 2>,                 \
         family<::mox2::logical::Op::any, 4>, family<::mox2::logical::Op::any, 8>},                \
        {family<::mox2::logical::Op::count, 1>, family<::mox2::logical::Op::count, 2>,             \
         family<::mox2::logical::Op::count, 4>, family<::mox2::logical::Op::count, 8>},            \
  }
