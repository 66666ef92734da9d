// The blocked complex column and dot forms for AVX-512 (no FMA): 32
// registers hold a tile of 16 (COMPLEX(8)) or 32 (COMPLEX(4)) rows by 4
// columns of C, real and imaginary parts apart.
#include <immintrin.h>

#include <cstddef>

#include "kernels/avx512/convert_avx512.h"
#include "kernels/avx512/kernel_set_avx512.h"
#include "kernels/avx512/transpose_avx512.h"

#define MOX2_KERNEL_SET avx512

namespace mox2::kernels::avx512 {
namespace {

using Index = std::ptrdiff_t;

// One vector of real or imaginary parts.
struct DoubleLanes {
  using P = double;
  using V = __m512d;
  static constexpr int kWidth = 8;
  static constexpr ComplexShape kShape = avx512::kKernelSet.z.gemm_shape;
  static constexpr int kCols = kShape.cols;
  static constexpr Index kDepth = kShape.depth;        // l per block
  static constexpr Index kRowBlock = kShape.row_block; // rows of A per packed block
  static constexpr Index kColBlock = kShape.col_block;
  static constexpr Index kDotColBlock = kShape.dot_col_block;
  static V load(const P *p) { return _mm512_loadu_pd(p); }
  static V load_first(int n, const P *p) {
    return _mm512_maskz_loadu_pd(static_cast<__mmask8>((1u << n) - 1), p);
  }
  static void store(P *p, V v) { _mm512_storeu_pd(p, v); }
  static V broadcast(const P *p) { return _mm512_set1_pd(*p); }
  static V mul(V x, V y) { return _mm512_mul_pd(x, y); }
  static V add(V x, V y) { return _mm512_add_pd(x, y); }
  static V sub(V x, V y) { return _mm512_sub_pd(x, y); }
  static V negate(V x) { return _mm512_xor_pd(x, _mm512_set1_pd(-0.0)); } // sign only
  using Live = __mmask8; // a term's flag: all lanes or none
  static Live live(const Live *p) { return *p; }
  static V add_where(V acc, Live k, V x) { return _mm512_mask_add_pd(acc, k, acc, x); }
  // Real parts (even lanes) and imaginary parts (odd lanes) of the
  // interleaved pair (lo, hi), and back.
  static V reals(V lo, V hi) {
    return _mm512_permutex2var_pd(lo, _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14), hi);
  }
  static V imags(V lo, V hi) {
    return _mm512_permutex2var_pd(lo, _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15), hi);
  }
  template <int kRows> static void transpose_rows(const P *src, Index ld, P *dst, Index dst_ld) {
    static_assert(kRows == 8);
    transpose_8x8(src, ld, dst, dst_ld);
  }
  static V low_half(V re, V im) {
    return _mm512_permutex2var_pd(re, _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11), im);
  }
  static V high_half(V re, V im) {
    return _mm512_permutex2var_pd(re, _mm512_setr_epi64(4, 12, 5, 13, 6, 14, 7, 15), im);
  }
};

struct FloatLanes {
  using P = float;
  using V = __m512;
  static constexpr int kWidth = 16;
  static constexpr ComplexShape kShape = avx512::kKernelSet.c.gemm_shape;
  static constexpr int kCols = kShape.cols;
  static constexpr Index kDepth = kShape.depth;        // l per block
  static constexpr Index kRowBlock = kShape.row_block; // rows of A per packed block
  static constexpr Index kColBlock = kShape.col_block;
  static constexpr Index kDotColBlock = kShape.dot_col_block;
  static V load(const P *p) { return _mm512_loadu_ps(p); }
  static V load_first(int n, const P *p) {
    return _mm512_maskz_loadu_ps(static_cast<__mmask16>((1u << n) - 1), p);
  }
  static void store(P *p, V v) { _mm512_storeu_ps(p, v); }
  static V broadcast(const P *p) { return _mm512_set1_ps(*p); }
  static V mul(V x, V y) { return _mm512_mul_ps(x, y); }
  static V add(V x, V y) { return _mm512_add_ps(x, y); }
  static V sub(V x, V y) { return _mm512_sub_ps(x, y); }
  static V negate(V x) { return _mm512_xor_ps(x, _mm512_set1_ps(-0.0f)); } // sign only
  using Live = __mmask16;
  static Live live(const Live *p) { return *p; }
  static V add_where(V acc, Live k, V x) { return _mm512_mask_add_ps(acc, k, acc, x); }
  static V reals(V lo, V hi) {
    return _mm512_permutex2var_ps(
        lo, _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30), hi);
  }
  static V imags(V lo, V hi) {
    return _mm512_permutex2var_ps(
        lo, _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31), hi);
  }
  template <int kRows> static void transpose_rows(const P *src, Index ld, P *dst, Index dst_ld) {
    static_assert(kRows == 8);
    transpose_8x16(src, ld, dst, dst_ld);
  }
  static V low_half(V re, V im) {
    return _mm512_permutex2var_ps(
        re, _mm512_setr_epi32(0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23), im);
  }
  static V high_half(V re, V im) {
    return _mm512_permutex2var_ps(
        re, _mm512_setr_epi32(8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31), im);
  }

  // The lone row's sums over kc terms for the columns of `strips` packed
  // strips (kWidth columns each, per l their real parts and then their
  // imaginary parts, strip_step apart): sums(j) += x(l)*b(l, j) in l
  // order, each product in the exact form (four products exact in double,
  // the difference and the sum in double, each part rounded once to
  // single), the sums single.  x(l) at x + 2*l (parts), conjugated for
  // conj; sums[s] holds strip s's real parts, then its imaginary parts.
  static void lone_row_sums(Index kc, const P *x, bool conj, const P *bp, Index strip_step,
                            int strips, P (*sums)[2 * kWidth]) {
    for (int s = 0; s < strips; ++s) {
      __m256 re[2], im[2];
      for (int h = 0; h < 2; ++h) {
        re[h] = _mm256_loadu_ps(sums[s] + 8 * h);
        im[h] = _mm256_loadu_ps(sums[s] + kWidth + 8 * h);
      }
      const P *b = bp + s * strip_step;
      for (Index l = 0; l < kc; ++l) {
        const __m512d xr = _mm512_set1_pd(x[2 * l]);
        const __m512d xi = _mm512_set1_pd(conj ? -x[2 * l + 1] : x[2 * l + 1]);
        for (int h = 0; h < 2; ++h) {
          const __m512d tr = widen_floats(_mm256_loadu_ps(b + 2 * kWidth * l + 8 * h));
          const __m512d ti = widen_floats(_mm256_loadu_ps(b + 2 * kWidth * l + kWidth + 8 * h));
          // x*b = (xr*br - xi*bi) + i(xr*bi + xi*br)
          const __m512d pr = _mm512_sub_pd(_mm512_mul_pd(xr, tr), _mm512_mul_pd(xi, ti));
          const __m512d pi = _mm512_add_pd(_mm512_mul_pd(xr, ti), _mm512_mul_pd(xi, tr));
          re[h] = _mm256_add_ps(re[h], round_doubles(pr));
          im[h] = _mm256_add_ps(im[h], round_doubles(pi));
        }
      }
      for (int h = 0; h < 2; ++h) {
        _mm256_storeu_ps(sums[s] + 8 * h, re[h]);
        _mm256_storeu_ps(sums[s] + kWidth + 8 * h, im[h]);
      }
    }
  }
};

} // namespace
} // namespace mox2::kernels::avx512

#include "kernels/gemm_complex/blocked/driver.h"

namespace mox2::kernels::avx512 {

bool complex_gemm_blocked(const GemmBlock<c16> &g) { return blocked<DoubleLanes>(g); }
bool complex_gemm_blocked(const GemmBlock<c8> &g) { return blocked<FloatLanes>(g); }

} // namespace mox2::kernels::avx512
