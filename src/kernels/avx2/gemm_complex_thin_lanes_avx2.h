// What the AVX2 set's thin-product loops (gemm_complex_thin_avx2.cc)
// share: two complex values per vector of doubles, parts interleaved as
// in memory, each product t*x formed as x*tr + s*ti with s = (-xi, xr) in
// double and its parts rounded to the values' precision.  A vector may
// hold one value only (`kHalf`: the last row of an odd count); its loads
// read that value alone and its stores write it alone.  Included by the
// AVX2 kernel set only.
#pragma once

#include <immintrin.h>

#include <cstddef>

#include "kernels/blocks.h"

namespace mox2::kernels::avx2 {
namespace {

using Index = std::ptrdiff_t;

// (-xi, xr) for both values of x.
inline __m256d swapped_parts(__m256d x) {
  const __m256d sign = _mm256_setr_pd(-0.0, 0.0, -0.0, 0.0);
  return _mm256_xor_pd(_mm256_permute_pd(x, 0x5), sign);
}

// x*tr + s*ti: the parts of t*x for two complex values x, in double.
inline __m256d product_parts(__m256d x, __m256d tr, __m256d ti) {
  return _mm256_add_pd(_mm256_mul_pd(x, tr), _mm256_mul_pd(swapped_parts(x), ti));
}

// Two complex values of one precision in vectors: loaded as doubles, a
// product's parts rounded to the values' precision, and sums (Acc) kept
// in it.
template <class P> struct Lanes;
template <> struct Lanes<float> {
  // (One value moves as 64 bits through integer loads and stores, which
  // need no more than the value's own 4-byte alignment.)
  using Acc = __m128;
  template <bool kHalf> static Acc acc_load(const Complex<float> *p) {
    if constexpr (kHalf)
      return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)));
    else
      return _mm_loadu_ps(reinterpret_cast<const float *>(p));
  }
  template <bool kHalf> static __m256d load(const Complex<float> *p) {
    return widen(acc_load<kHalf>(p));
  }
  static Acc acc_zero() { return _mm_setzero_ps(); }
  static Acc round(__m256d parts) { return _mm256_cvtpd_ps(parts); }
  static Acc add(Acc x, Acc y) { return _mm_add_ps(x, y); }
  template <bool kHalf> static void store(Complex<float> *p, Acc v) {
    if constexpr (kHalf)
      _mm_storel_epi64(reinterpret_cast<__m128i *>(p), _mm_castps_si128(v));
    else
      _mm_storeu_ps(reinterpret_cast<float *>(p), v);
  }
  static __m256d widen(Acc v) { return _mm256_cvtps_pd(v); }
};
template <> struct Lanes<double> {
  using Acc = __m256d;
  template <bool kHalf> static __m256d load(const Complex<double> *p) {
    const double *d = reinterpret_cast<const double *>(p);
    if constexpr (kHalf)
      return _mm256_zextpd128_pd256(_mm_loadu_pd(d));
    else
      return _mm256_loadu_pd(d);
  }
  template <bool kHalf> static Acc acc_load(const Complex<double> *p) { return load<kHalf>(p); }
  static Acc acc_zero() { return _mm256_setzero_pd(); }
  static Acc round(__m256d parts) { return parts; }
  static Acc add(Acc x, Acc y) { return _mm256_add_pd(x, y); }
  template <bool kHalf> static void store(Complex<double> *p, Acc v) {
    double *d = reinterpret_cast<double *>(p);
    if constexpr (kHalf)
      _mm_storeu_pd(d, _mm256_castpd256_pd128(v));
    else
      _mm256_storeu_pd(d, v);
  }
  static __m256d widen(Acc v) { return v; }
};

// t = alpha*b (rounded to the values' precision) for n values of b, as
// doubles (tr, ti) per value.
template <class P> void times_alpha(Complex<P> alpha, const Complex<P> *b, Index n, double *t) {
  using L = Lanes<P>;
  const __m256d ar = _mm256_set1_pd(alpha.re), ai = _mm256_set1_pd(alpha.im);
  Index e = 0;
  for (; e + 2 <= n; e += 2) {
    const __m256d parts = product_parts(L::template load<false>(b + e), ar, ai);
    _mm256_storeu_pd(t + 2 * e, L::widen(L::round(parts)));
  }
  if (e < n) {
    const Complex<P> last[2] = {b[e], {}};
    const __m256d parts = product_parts(L::template load<false>(last), ar, ai);
    _mm_storeu_pd(t + 2 * e, _mm256_castpd256_pd128(L::widen(L::round(parts))));
  }
}

// How a tile's sums start: from C, from zeros (beta = 0, C unread), or
// from beta*C.
enum class Start { load, zero, scale };

} // namespace
} // namespace mox2::kernels::avx2
