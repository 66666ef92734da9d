// The blocked complex column and dot forms for AVX2 (no FMA): a tile of
// one vector of rows (4 COMPLEX(8) or 8 COMPLEX(4)) by 4 columns of C,
// real and imaginary parts apart, takes 8 of the 16 registers; per l it
// reads two vectors of A and broadcasts eight parts of B, half the A that
// a tile of two vectors by 2 columns streams from the second-level cache
// for the same 32 operations.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "kernels/avx2/complex_terms_avx2.h"
#include "kernels/avx2/kernel_set_avx2.h"
#include "kernels/avx2/transpose_avx2.h"

#define MOX2_KERNEL_SET avx2

namespace mox2::kernels::avx2 {
namespace {

using Index = std::ptrdiff_t;

// One vector of real or imaginary parts.
struct DoubleLanes {
  using P = double;
  using V = __m256d;
  static constexpr int kWidth = 4;
  static constexpr ComplexShape kShape = avx2::kKernelSet.z.gemm_shape;
  static constexpr int kCols = kShape.cols;
  static constexpr Index kDepth = kShape.depth;        // l per block
  static constexpr Index kRowBlock = kShape.row_block; // rows of A per packed block
  static constexpr Index kColBlock = kShape.col_block;
  static constexpr Index kDotColBlock = kShape.dot_col_block;
  static_assert(kShape.vecs == 1 && kCols == 4);
  static void add_terms(Index kc, const P *ap, const P *bp, V (&re)[kCols], V (&im)[kCols]) {
    if (kc > 0) add_complex_terms_1x4(kc, ap, bp, re, im);
  }
  static V load(const P *p) { return _mm256_loadu_pd(p); }
  static V load_first(int n, const P *p) {
    alignas(32) P v[kWidth] = {};
    for (int i = 0; i < n; ++i)
      v[i] = p[i];
    return _mm256_load_pd(v);
  }
  static void store(P *p, V v) { _mm256_storeu_pd(p, v); }
  static V broadcast(const P *p) { return _mm256_broadcast_sd(p); }
  static V mul(V x, V y) { return _mm256_mul_pd(x, y); }
  static V add(V x, V y) { return _mm256_add_pd(x, y); }
  static V sub(V x, V y) { return _mm256_sub_pd(x, y); }
  static V negate(V x) { return _mm256_xor_pd(x, _mm256_set1_pd(-0.0)); } // sign only
  using Live = std::int64_t; // a term's flag: all bits or none
  static V live(const Live *p) { return _mm256_castsi256_pd(_mm256_set1_epi64x(*p)); }
  static V add_where(V acc, V k, V x) { return _mm256_blendv_pd(acc, _mm256_add_pd(acc, x), k); }
  // lo = (r0 i0 r1 i1), hi = (r2 i2 r3 i3).
  static V reals(V lo, V hi) { return _mm256_permute4x64_pd(_mm256_unpacklo_pd(lo, hi), 0xD8); }
  static V imags(V lo, V hi) { return _mm256_permute4x64_pd(_mm256_unpackhi_pd(lo, hi), 0xD8); }
  template <int kRows> static void transpose_rows(const P *src, Index ld, P *dst, Index dst_ld) {
    static_assert(kRows % 4 == 0);
    for (int s = 0; s < kRows; s += 4)
      transpose_4x4(src + s * ld, ld, dst + s, dst_ld);
  }
  static V low_half(V re, V im) {
    return _mm256_unpacklo_pd(_mm256_permute4x64_pd(re, 0xD8), _mm256_permute4x64_pd(im, 0xD8));
  }
  static V high_half(V re, V im) {
    return _mm256_unpackhi_pd(_mm256_permute4x64_pd(re, 0xD8), _mm256_permute4x64_pd(im, 0xD8));
  }
};

struct FloatLanes {
  using P = float;
  using V = __m256;
  static constexpr int kWidth = 8;
  static constexpr ComplexShape kShape = avx2::kKernelSet.c.gemm_shape;
  static constexpr int kCols = kShape.cols;
  static constexpr Index kDepth = kShape.depth;        // l per block
  static constexpr Index kRowBlock = kShape.row_block; // rows of A per packed block
  static constexpr Index kColBlock = kShape.col_block;
  static constexpr Index kDotColBlock = kShape.dot_col_block;
  static_assert(kShape.vecs == 1 && kCols == 4);
  static void add_terms(Index kc, const P *ap, const P *bp, V (&re)[kCols], V (&im)[kCols]) {
    if (kc > 0) add_complex_terms_1x4(kc, ap, bp, re, im);
  }
  static V load(const P *p) { return _mm256_loadu_ps(p); }
  static V load_first(int n, const P *p) {
    alignas(32) P v[kWidth] = {};
    for (int i = 0; i < n; ++i)
      v[i] = p[i];
    return _mm256_load_ps(v);
  }
  static void store(P *p, V v) { _mm256_storeu_ps(p, v); }
  static V broadcast(const P *p) { return _mm256_broadcast_ss(p); }
  static V mul(V x, V y) { return _mm256_mul_ps(x, y); }
  static V add(V x, V y) { return _mm256_add_ps(x, y); }
  static V sub(V x, V y) { return _mm256_sub_ps(x, y); }
  static V negate(V x) { return _mm256_xor_ps(x, _mm256_set1_ps(-0.0f)); } // sign only
  using Live = std::int32_t;
  static V live(const Live *p) { return _mm256_castsi256_ps(_mm256_set1_epi32(*p)); }
  static V add_where(V acc, V k, V x) { return _mm256_blendv_ps(acc, _mm256_add_ps(acc, x), k); }
  // Pairs of parts in 64-bit order 0, 2, 1, 3 back to 0, 1, 2, 3.
  static V pairs_in_order(V v) {
    return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(v), 0xD8));
  }
  // lo = (r0 i0 .. r3 i3), hi = (r4 i4 .. r7 i7).
  static V reals(V lo, V hi) { return pairs_in_order(_mm256_shuffle_ps(lo, hi, 0x88)); }
  static V imags(V lo, V hi) { return pairs_in_order(_mm256_shuffle_ps(lo, hi, 0xDD)); }
  template <int kRows> static void transpose_rows(const P *src, Index ld, P *dst, Index dst_ld) {
    static_assert(kRows % 4 == 0);
    for (int s = 0; s < kRows; s += 4)
      transpose_4x8(src + s * ld, ld, dst + s, dst_ld);
  }
  static V low_half(V re, V im) {
    return _mm256_permute2f128_ps(_mm256_unpacklo_ps(re, im), _mm256_unpackhi_ps(re, im), 0x20);
  }
  static V high_half(V re, V im) {
    return _mm256_permute2f128_ps(_mm256_unpacklo_ps(re, im), _mm256_unpackhi_ps(re, im), 0x31);
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
      __m128 re[2], im[2];
      for (int h = 0; h < 2; ++h) {
        re[h] = _mm_loadu_ps(sums[s] + 4 * h);
        im[h] = _mm_loadu_ps(sums[s] + kWidth + 4 * h);
      }
      const P *b = bp + s * strip_step;
      for (Index l = 0; l < kc; ++l) {
        const __m256d xr = _mm256_set1_pd(x[2 * l]);
        const __m256d xi = _mm256_set1_pd(conj ? -x[2 * l + 1] : x[2 * l + 1]);
        for (int h = 0; h < 2; ++h) {
          const __m256d tr = _mm256_cvtps_pd(_mm_loadu_ps(b + 2 * kWidth * l + 4 * h));
          const __m256d ti = _mm256_cvtps_pd(_mm_loadu_ps(b + 2 * kWidth * l + kWidth + 4 * h));
          // x*b = (xr*br - xi*bi) + i(xr*bi + xi*br)
          const __m256d pr = _mm256_sub_pd(_mm256_mul_pd(xr, tr), _mm256_mul_pd(xi, ti));
          const __m256d pi = _mm256_add_pd(_mm256_mul_pd(xr, ti), _mm256_mul_pd(xi, tr));
          re[h] = _mm_add_ps(re[h], _mm256_cvtpd_ps(pr));
          im[h] = _mm_add_ps(im[h], _mm256_cvtpd_ps(pi));
        }
      }
      for (int h = 0; h < 2; ++h) {
        _mm_storeu_ps(sums[s] + 4 * h, re[h]);
        _mm_storeu_ps(sums[s] + kWidth + 4 * h, im[h]);
      }
    }
  }
};

} // namespace
} // namespace mox2::kernels::avx2

#include "kernels/gemm_complex/blocked/driver.h"

namespace mox2::kernels::avx2 {

bool complex_gemm_blocked(const GemmBlock<c16> &g) { return blocked<DoubleLanes>(g); }
bool complex_gemm_blocked(const GemmBlock<c8> &g) { return blocked<FloatLanes>(g); }

} // namespace mox2::kernels::avx2
