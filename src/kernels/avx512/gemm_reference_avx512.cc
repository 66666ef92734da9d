// The reference GEMM for AVX-512 (no FMA): tiles of 24 x 8 doubles and
// 48 x 8 floats, three vectors per tile column.
#include <immintrin.h>

#include <cstddef>

#include "kernels/gemm_blocked_body.h"

namespace mox2 {
namespace kernels::blocked {
namespace {

struct Avx512Double {
  using T = double;
  using Vec = __m512d;
  using Mask = __mmask8;
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
  static Vec add_where(Vec acc, Mask live, Vec p) { return _mm512_mask_add_pd(acc, live, acc, p); }

  // Eight columns by eight values of l: rows r[s] = col[s*ld + l .. l+7]
  // become dst[t*8 + s], by interleaving pairs, then quadruples, then
  // halves of rows.
  static constexpr int kTransposeStep = 8;
  static __m512i lanes(long e0, long e1, long e2, long e3, long e4, long e5, long e6, long e7) {
    return _mm512_set_epi64(e7, e6, e5, e4, e3, e2, e1, e0);
  }
  template <int kCols>
    requires(kCols == 8)
  static void transpose_columns(const T *col, std::ptrdiff_t ld, std::ptrdiff_t l, T *dst) {
    const __m512i pair_even = lanes(0, 8, 2, 10, 4, 12, 6, 14);
    const __m512i pair_odd = lanes(1, 9, 3, 11, 5, 13, 7, 15);
    const __m512i quad_low = lanes(0, 1, 8, 9, 4, 5, 12, 13);
    const __m512i quad_high = lanes(2, 3, 10, 11, 6, 7, 14, 15);
    const __m512i half_low = lanes(0, 1, 2, 3, 8, 9, 10, 11);
    const __m512i half_high = lanes(4, 5, 6, 7, 12, 13, 14, 15);
    Vec r[8], t[8];
    for (int s = 0; s < 8; ++s)
      r[s] = load(col + s * ld + l);
    for (int s = 0; s < 8; s += 2) {
      t[s] = _mm512_permutex2var_pd(r[s], pair_even, r[s + 1]);    // l = 0, 2, 4, 6
      t[s + 1] = _mm512_permutex2var_pd(r[s], pair_odd, r[s + 1]); // l = 1, 3, 5, 7
    }
    for (int odd = 0; odd < 2; ++odd) {
      // Columns 0..3 and 4..7 of values l = odd + (0 | 4) and odd + (2 | 6).
      Vec v0 = _mm512_permutex2var_pd(t[odd], quad_low, t[odd + 2]);
      Vec v1 = _mm512_permutex2var_pd(t[odd], quad_high, t[odd + 2]);
      Vec w0 = _mm512_permutex2var_pd(t[odd + 4], quad_low, t[odd + 6]);
      Vec w1 = _mm512_permutex2var_pd(t[odd + 4], quad_high, t[odd + 6]);
      store(dst + (0 + odd) * 8, _mm512_permutex2var_pd(v0, half_low, w0));
      store(dst + (4 + odd) * 8, _mm512_permutex2var_pd(v0, half_high, w0));
      store(dst + (2 + odd) * 8, _mm512_permutex2var_pd(v1, half_low, w1));
      store(dst + (6 + odd) * 8, _mm512_permutex2var_pd(v1, half_high, w1));
    }
  }
};

struct Avx512Float {
  using T = float;
  using Vec = __m512;
  using Mask = __mmask16;
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
  static Vec add_where(Vec acc, Mask live, Vec p) { return _mm512_mask_add_ps(acc, live, acc, p); }

  // Eight columns by sixteen values of l, as two 8 x 8 transposes of
  // 256-bit rows: dst[t*8 + s] = col[s*ld + l + t].
  static constexpr int kTransposeStep = 16;
  template <int kCols>
    requires(kCols == 8)
  static void transpose_columns(const T *col, std::ptrdiff_t ld, std::ptrdiff_t l, T *dst) {
    for (int half = 0; half < 2; ++half) {
      __m256 r[8], t[8], u[8];
      for (int s = 0; s < 8; ++s)
        r[s] = _mm256_loadu_ps(col + s * ld + l + 8 * half);
      for (int s = 0; s < 8; s += 2) {
        t[s] = _mm256_unpacklo_ps(r[s], r[s + 1]);     // l = 0, 1 | 4, 5 of columns s, s+1
        t[s + 1] = _mm256_unpackhi_ps(r[s], r[s + 1]); // l = 2, 3 | 6, 7
      }
      for (int g = 0; g < 8; g += 4) { // columns g..g+3
        u[g] = _mm256_shuffle_ps(t[g], t[g + 2], _MM_SHUFFLE(1, 0, 1, 0));     // l = 0 | 4
        u[g + 1] = _mm256_shuffle_ps(t[g], t[g + 2], _MM_SHUFFLE(3, 2, 3, 2)); // l = 1 | 5
        u[g + 2] = _mm256_shuffle_ps(t[g + 1], t[g + 3], _MM_SHUFFLE(1, 0, 1, 0)); // l = 2 | 6
        u[g + 3] = _mm256_shuffle_ps(t[g + 1], t[g + 3], _MM_SHUFFLE(3, 2, 3, 2)); // l = 3 | 7
      }
      float *d = dst + 64 * half;
      for (int q = 0; q < 4; ++q) {
        _mm256_storeu_ps(d + q * 8, _mm256_permute2f128_ps(u[q], u[q + 4], 0x20));
        _mm256_storeu_ps(d + (q + 4) * 8, _mm256_permute2f128_ps(u[q], u[q + 4], 0x31));
      }
    }
  }
};

} // namespace

template <> struct Shape<Avx512Double> {
  static constexpr int kVecs = 3, kNr = 8;
  static constexpr Index kKc = 256, kMc = 192, kNc = 512;
};
template <> struct Shape<Avx512Float> {
  static constexpr int kVecs = 3, kNr = 8;
  static constexpr Index kKc = 384, kMc = 192, kNc = 1024;
};

} // namespace kernels::blocked

bool gemm_reference_avx512(const GemmBlock<double> &g) {
  return kernels::blocked::gemm<kernels::blocked::Avx512Double>(g);
}
bool gemm_reference_avx512(const GemmBlock<float> &g) {
  return kernels::blocked::gemm<kernels::blocked::Avx512Float>(g);
}

} // namespace mox2
