// One 64-byte vector of REAL(8) or REAL(4) for the GEMV kernels: loads and
// stores (whole, or the lanes of a mask), broadcasts, adds and multiplies.
// Included by the AVX-512 kernel set only.
#pragma once

#include <immintrin.h>

#include <cstddef>

namespace mox2::kernels::avx512 {

template <class T> struct Lanes;
template <> struct Lanes<double> {
  using V = __m512d;
  using Mask = __mmask8;
  static constexpr std::ptrdiff_t kCount = 8;
  static Mask first(std::ptrdiff_t r) { return static_cast<Mask>((1u << r) - 1); }
  static V load(const double *p) { return _mm512_loadu_pd(p); }
  static V load(Mask k, const double *p) { return _mm512_maskz_loadu_pd(k, p); }
  static void store(double *p, V v) { _mm512_storeu_pd(p, v); }
  static void store(Mask k, double *p, V v) { _mm512_mask_storeu_pd(p, k, v); }
  static V splat(double v) { return _mm512_set1_pd(v); }
  static V add(V a, V b) { return _mm512_add_pd(a, b); }
  static V mul(V a, V b) { return _mm512_mul_pd(a, b); }
  static V add(Mask k, V a, V b) { return _mm512_maskz_add_pd(k, a, b); }
  static V mul(Mask k, V a, V b) { return _mm512_maskz_mul_pd(k, a, b); }
};
template <> struct Lanes<float> {
  using V = __m512;
  using Mask = __mmask16;
  static constexpr std::ptrdiff_t kCount = 16;
  static Mask first(std::ptrdiff_t r) { return static_cast<Mask>((1u << r) - 1); }
  static V load(const float *p) { return _mm512_loadu_ps(p); }
  static V load(Mask k, const float *p) { return _mm512_maskz_loadu_ps(k, p); }
  static void store(float *p, V v) { _mm512_storeu_ps(p, v); }
  static void store(Mask k, float *p, V v) { _mm512_mask_storeu_ps(p, k, v); }
  static V splat(float v) { return _mm512_set1_ps(v); }
  static V add(V a, V b) { return _mm512_add_ps(a, b); }
  static V mul(V a, V b) { return _mm512_mul_ps(a, b); }
  static V add(Mask k, V a, V b) { return _mm512_maskz_add_ps(k, a, b); }
  static V mul(Mask k, V a, V b) { return _mm512_maskz_mul_ps(k, a, b); }
};

} // namespace mox2::kernels::avx512
