// The blocked real GEMM for AVX-512 (no FMA): tiles of 24 x 8 doubles and
// 48 x 8 floats, three vectors per tile column.
#include <immintrin.h>

#include <cstddef>

#include "kernels/avx512/kernel_set_avx512.h"
#include "kernels/avx512/transpose_avx512.h"
#include "kernels/gemm/blocked/driver.h"

namespace mox2::kernels::blocked {
namespace {

struct Avx512Double {
  using T = double;
  using Vec = __m512d;
  using Mask = __mmask8;
  static constexpr GemmShape kShape = avx512::kKernelSet.d.gemm_shape;
  static constexpr int kWidth = 8;
  static __mmask8 first(int n) { return static_cast<__mmask8>((1u << n) - 1); }
  static Vec zero() { return _mm512_setzero_pd(); }
  static Vec set1(T x) { return _mm512_set1_pd(x); }
  static Vec load(const T *p) { return _mm512_loadu_pd(p); }
  static Vec load_first(const T *p, int n) { return _mm512_maskz_loadu_pd(first(n), p); }
  static void store(T *p, Vec v) { _mm512_storeu_pd(p, v); }
  static void store_first(T *p, Vec v, int n) { _mm512_mask_storeu_pd(p, first(n), v); }
  static Vec mul(Vec a, Vec b) { return _mm512_mul_pd(a, b); }
  static Vec add(Vec a, Vec b) { return _mm512_add_pd(a, b); }
  static Mask nonzero(Vec b) { return _mm512_cmp_pd_mask(b, zero(), _CMP_NEQ_UQ); }
  static unsigned zero_lanes(Vec b) { return _mm512_cmp_pd_mask(b, zero(), _CMP_EQ_OQ); }
  static Vec add_where(Vec acc, Mask live, Vec p) { return _mm512_mask_add_pd(acc, live, acc, p); }
  using Live = __mmask8;
  // Lane picks: select2 takes lane idx[p] of (a, b) side by side, blend b
  // where k is set, step adds one to every index.
  using Perm = __m512i;
  static Perm perm(const int *lanes) {
    alignas(64) long long wide[kWidth];
    for (int p = 0; p < kWidth; ++p)
      wide[p] = lanes[p];
    return _mm512_load_si512(wide);
  }
  static Vec select2(Vec a, Perm idx, Vec b) { return _mm512_permutex2var_pd(a, idx, b); }
  static Vec blend(Mask k, Vec a, Vec b) { return _mm512_mask_blend_pd(k, a, b); }
  static Perm step(Perm idx) { return _mm512_add_epi64(idx, _mm512_set1_epi64(1)); }
  static Mask live(const Live *p) { return _load_mask8(const_cast<Live *>(p)); }

  static constexpr int kTransposeStep = 8;
  static void transpose_rows(const T *src, std::ptrdiff_t ld, T *dst, std::ptrdiff_t dst_ld) {
    avx512::transpose_8x8(src, ld, dst, dst_ld);
  }
  static void transposed_square(const T *src, std::ptrdiff_t ld, Vec p[8]) {
    avx512::transposed_8x8(src, ld, p);
  }
  static void transposed_part(const T *src, std::ptrdiff_t ld, int cols, int rows, Vec p[8]) {
    avx512::transposed_8x8(src, ld, cols, rows, p);
  }
};

struct Avx512Float {
  using T = float;
  using Vec = __m512;
  using Mask = __mmask16;
  static constexpr GemmShape kShape = avx512::kKernelSet.s.gemm_shape;
  static constexpr int kWidth = 16;
  static __mmask16 first(int n) { return static_cast<__mmask16>((1u << n) - 1); }
  static Vec zero() { return _mm512_setzero_ps(); }
  static Vec set1(T x) { return _mm512_set1_ps(x); }
  static Vec load(const T *p) { return _mm512_loadu_ps(p); }
  static Vec load_first(const T *p, int n) { return _mm512_maskz_loadu_ps(first(n), p); }
  static void store(T *p, Vec v) { _mm512_storeu_ps(p, v); }
  static void store_first(T *p, Vec v, int n) { _mm512_mask_storeu_ps(p, first(n), v); }
  static Vec mul(Vec a, Vec b) { return _mm512_mul_ps(a, b); }
  static Vec add(Vec a, Vec b) { return _mm512_add_ps(a, b); }
  static Mask nonzero(Vec b) { return _mm512_cmp_ps_mask(b, zero(), _CMP_NEQ_UQ); }
  static unsigned zero_lanes(Vec b) { return _mm512_cmp_ps_mask(b, zero(), _CMP_EQ_OQ); }
  static Vec add_where(Vec acc, Mask live, Vec p) { return _mm512_mask_add_ps(acc, live, acc, p); }
  using Live = __mmask16;
  using Perm = __m512i;
  static Perm perm(const int *lanes) { return _mm512_loadu_si512(lanes); }
  static Vec select2(Vec a, Perm idx, Vec b) { return _mm512_permutex2var_ps(a, idx, b); }
  static Vec blend(Mask k, Vec a, Vec b) { return _mm512_mask_blend_ps(k, a, b); }
  static Perm step(Perm idx) { return _mm512_add_epi32(idx, _mm512_set1_epi32(1)); }
  static Mask live(const Live *p) { return _load_mask16(const_cast<Live *>(p)); }

  static constexpr int kTransposeStep = 16;
  static void transpose_rows(const T *src, std::ptrdiff_t ld, T *dst, std::ptrdiff_t dst_ld) {
    avx512::transpose_8x16(src, ld, dst, dst_ld);
  }
  static void transposed_square(const T *src, std::ptrdiff_t ld, Vec p[16]) {
    avx512::transposed_16x16(src, ld, p);
  }
  static void transposed_part(const T *src, std::ptrdiff_t ld, int cols, int rows, Vec p[16]) {
    avx512::transposed_16x16(src, ld, cols, rows, p);
  }
};

} // namespace

} // namespace mox2::kernels::blocked

namespace mox2::kernels::avx512 {

bool gemm_blocked(const GemmBlock<double> &g) { return blocked::gemm<blocked::Avx512Double>(g); }
bool gemm_blocked(const GemmBlock<float> &g) { return blocked::gemm<blocked::Avx512Float>(g); }
bool gemm_blocked_with_dot_rows(const GemmBlock<double> &g, const DotRows<double> &d) {
  return blocked::gemm_with_dot_rows<blocked::Avx512Double>(g, d);
}
bool gemm_blocked_with_dot_rows(const GemmBlock<float> &g, const DotRows<float> &d) {
  return blocked::gemm_with_dot_rows<blocked::Avx512Float>(g, d);
}

} // namespace mox2::kernels::avx512
