// The blocked real GEMM for AVX2 (no FMA): tiles of 8 x 4 doubles and
// 16 x 4 floats, two vectors per tile column.
#include <immintrin.h>

#include <cstdint>

#include "kernels/avx2/kernel_set_avx2.h"
#include "kernels/gemm/blocked/driver.h"

namespace mox2::kernels::blocked {
namespace {

struct Avx2Double {
  using T = double;
  using Vec = __m256d;
  using Mask = __m256d;
  static constexpr GemmShape kShape = avx2::kKernelSet.d.gemm_shape;
  static constexpr int kWidth = 4;
  static __m256i first(int n) {
    return _mm256_cmpgt_epi64(_mm256_set1_epi64x(n), _mm256_setr_epi64x(0, 1, 2, 3));
  }
  static Vec zero() { return _mm256_setzero_pd(); }
  static Vec set1(T x) { return _mm256_set1_pd(x); }
  static Vec load(const T *p) { return _mm256_loadu_pd(p); }
  // p[t], lane s := src[s*ld + t] for s, t < 4.
  static constexpr int kTransposeStep = 4;
  static void transposed_square(const T *src, std::ptrdiff_t ld, Vec p[4]) {
    const Vec r0 = load(src), r1 = load(src + ld), r2 = load(src + 2 * ld), r3 = load(src + 3 * ld);
    const Vec t0 = _mm256_unpacklo_pd(r0, r1), t1 = _mm256_unpackhi_pd(r0, r1); // t = 0 2, 1 3
    const Vec t2 = _mm256_unpacklo_pd(r2, r3), t3 = _mm256_unpackhi_pd(r2, r3);
    p[0] = _mm256_permute2f128_pd(t0, t2, 0x20);
    p[1] = _mm256_permute2f128_pd(t1, t3, 0x20);
    p[2] = _mm256_permute2f128_pd(t0, t2, 0x31);
    p[3] = _mm256_permute2f128_pd(t1, t3, 0x31);
  }
  static Vec load_first(const T *p, int n) { return _mm256_maskload_pd(p, first(n)); }
  static void store(T *p, Vec v) { _mm256_storeu_pd(p, v); }
  static void store_first(T *p, Vec v, int n) { _mm256_maskstore_pd(p, first(n), v); }
  static Vec mul(Vec a, Vec b) { return _mm256_mul_pd(a, b); }
  static Vec add(Vec a, Vec b) { return _mm256_add_pd(a, b); }
  static Mask nonzero(Vec b) { return _mm256_cmp_pd(b, zero(), _CMP_NEQ_UQ); }
  static unsigned zero_lanes(Vec b) {
    return unsigned(_mm256_movemask_pd(_mm256_cmp_pd(b, zero(), _CMP_EQ_OQ)));
  }
  static Vec add_where(Vec acc, Mask live, Vec p) {
    return _mm256_blendv_pd(acc, _mm256_add_pd(acc, p), live);
  }
  using Live = std::int64_t;
  static Mask live(const Live *p) { return _mm256_castsi256_pd(_mm256_set1_epi64x(*p)); }
};

struct Avx2Float {
  using T = float;
  using Vec = __m256;
  using Mask = __m256;
  static constexpr GemmShape kShape = avx2::kKernelSet.s.gemm_shape;
  static constexpr int kWidth = 8;
  static __m256i first(int n) {
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(n), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
  }
  static Vec zero() { return _mm256_setzero_ps(); }
  static Vec set1(T x) { return _mm256_set1_ps(x); }
  static Vec load(const T *p) { return _mm256_loadu_ps(p); }
  // p[t], lane s := src[s*ld + t] for s, t < 8: pairs of rows interleaved,
  // then pairs of pairs, then halves swapped across.
  static constexpr int kTransposeStep = 8;
  static void transposed_square(const T *src, std::ptrdiff_t ld, Vec p[8]) {
    Vec r[8];
    for (int s = 0; s < 8; ++s)
      r[s] = load(src + s * ld);
    transpose(r, p);
  }
  // The same for lanes s < cols and vectors t < rows, the others +0;
  // nothing past them is read.
  static void transposed_part(const T *src, std::ptrdiff_t ld, int cols, int rows, Vec p[8]) {
    Vec r[8];
    for (int s = 0; s < 8; ++s)
      r[s] = s >= cols ? zero() : rows == 8 ? load(src + s * ld) : load_first(src + s * ld, rows);
    transpose(r, p);
  }
  static void transpose(const Vec r[8], Vec p[8]) {
    Vec u[8], q[8];
    for (int s = 0; s < 8; s += 2) {
      u[s] = _mm256_unpacklo_ps(r[s], r[s + 1]);     // t = 0 0 1 1 | 4 4 5 5
      u[s + 1] = _mm256_unpackhi_ps(r[s], r[s + 1]); // t = 2 2 3 3 | 6 6 7 7
    }
    for (int h = 0; h < 8; h += 4)
      for (int odd = 0; odd < 2; ++odd) {
        q[h + 2 * odd] = _mm256_shuffle_ps(u[h + odd], u[h + 2 + odd], 0x44);
        q[h + 2 * odd + 1] = _mm256_shuffle_ps(u[h + odd], u[h + 2 + odd], 0xEE);
      }
    // q[0..3]: t = 0|4, 1|5, 2|6, 3|7 of rows 0-3; q[4..7] the same of rows 4-7.
    for (int t = 0; t < 4; ++t) {
      p[t] = _mm256_permute2f128_ps(q[t], q[4 + t], 0x20);
      p[t + 4] = _mm256_permute2f128_ps(q[t], q[4 + t], 0x31);
    }
  }
  static Vec load_first(const T *p, int n) { return _mm256_maskload_ps(p, first(n)); }
  static void store(T *p, Vec v) { _mm256_storeu_ps(p, v); }
  static void store_first(T *p, Vec v, int n) { _mm256_maskstore_ps(p, first(n), v); }
  static Vec mul(Vec a, Vec b) { return _mm256_mul_ps(a, b); }
  static Vec add(Vec a, Vec b) { return _mm256_add_ps(a, b); }
  static Mask nonzero(Vec b) { return _mm256_cmp_ps(b, zero(), _CMP_NEQ_UQ); }
  static unsigned zero_lanes(Vec b) {
    return unsigned(_mm256_movemask_ps(_mm256_cmp_ps(b, zero(), _CMP_EQ_OQ)));
  }
  static Vec add_where(Vec acc, Mask live, Vec p) {
    return _mm256_blendv_ps(acc, _mm256_add_ps(acc, p), live);
  }
  using Live = std::int32_t;
  static Mask live(const Live *p) { return _mm256_castsi256_ps(_mm256_set1_epi32(*p)); }
};

} // namespace

} // namespace mox2::kernels::blocked

namespace mox2::kernels::avx2 {

bool gemm_blocked(const GemmBlock<double> &g) { return blocked::gemm<blocked::Avx2Double>(g); }
bool gemm_blocked(const GemmBlock<float> &g) { return blocked::gemm<blocked::Avx2Float>(g); }
bool gemm_blocked_with_dot_rows(const GemmBlock<double> &g, const DotRows<double> &d) {
  return blocked::gemm_with_dot_rows<blocked::Avx2Double>(g, d);
}
bool gemm_blocked_with_dot_rows(const GemmBlock<float> &g, const DotRows<float> &d) {
  return blocked::gemm_with_dot_rows<blocked::Avx2Float>(g, d);
}

} // namespace mox2::kernels::avx2
