// What the AVX-512 set's thin-product loops (gemm_complex_thin_avx512.cc)
// share: four complex values per vector of doubles, parts interleaved as
// in memory, each product t*x formed as x*tr + s*ti with s = (-xi, xr) in
// double and its parts rounded to the values' precision.  Included by the
// AVX-512 kernel set only.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "kernels/avx512/convert_avx512.h"
#include "kernels/blocks.h"

namespace mox2::kernels::avx512 {
namespace {

using Index = std::ptrdiff_t;

// Lanes of the first n complex values (two parts each) of a vector of four.
__mmask8 first_complex(Index n) { return static_cast<__mmask8>((1u << (2 * n)) - 1); }

// x*tr + s*ti: the parts of t*x for four complex values x, in double.
__m512d product_parts(__m512d x, __m512d tr, __m512d ti) {
  const __m512d swap_sign =
      _mm512_castsi512_pd(_mm512_set_epi64(0, INT64_MIN, 0, INT64_MIN, 0, INT64_MIN, 0, INT64_MIN));
  const __m512d s = _mm512_xor_pd(swap_pairs(x), swap_sign); // (-xi, xr)
  return _mm512_add_pd(_mm512_mul_pd(x, tr), _mm512_mul_pd(s, ti));
}

// Four complex values of one precision in vectors: loaded as doubles, a
// product's parts rounded to the values' precision, and sums (Acc) kept
// in it.
template <class P> struct Lanes;
template <> struct Lanes<float> {
  using Acc = __m256;
  static __m512d load(__mmask8 k, const Complex<float> *p) {
    return widen_floats(_mm256_maskz_loadu_ps(k, reinterpret_cast<const float *>(p)));
  }
  static Acc acc_zero() { return _mm256_setzero_ps(); }
  static Acc acc_load(__mmask8 k, const Complex<float> *p) {
    return _mm256_maskz_loadu_ps(k, reinterpret_cast<const float *>(p));
  }
  static Acc round(__m512d parts) { return round_doubles(parts); }
  static Acc add(Acc x, Acc y) { return _mm256_add_ps(x, y); }
  static void store(__mmask8 k, Complex<float> *p, Acc v) {
    _mm256_mask_storeu_ps(reinterpret_cast<float *>(p), k, v);
  }
  static __m512d widen(Acc v) { return widen_floats(v); }
};
template <> struct Lanes<double> {
  using Acc = __m512d;
  static __m512d load(__mmask8 k, const Complex<double> *p) {
    return _mm512_maskz_loadu_pd(k, reinterpret_cast<const double *>(p));
  }
  static Acc acc_zero() { return _mm512_setzero_pd(); }
  static Acc acc_load(__mmask8 k, const Complex<double> *p) { return load(k, p); }
  static Acc round(__m512d parts) { return parts; }
  static Acc add(Acc x, Acc y) { return _mm512_add_pd(x, y); }
  static void store(__mmask8 k, Complex<double> *p, Acc v) {
    _mm512_mask_storeu_pd(reinterpret_cast<double *>(p), k, v);
  }
  static __m512d widen(Acc v) { return v; }
};

// t = alpha*b (rounded to the values' precision) for n values of b, as
// doubles (tr, ti) per value.  Written with vector intrinsics: compiled
// from scalar code, GCC 12 forms multiply-add/subtract from this complex
// product even with contraction off.
template <class P> void times_alpha(Complex<P> alpha, const Complex<P> *b, Index n, double *t) {
  using L = Lanes<P>;
  const __m512d ar = _mm512_set1_pd(alpha.re), ai = _mm512_set1_pd(alpha.im);
  for (Index e = 0; e < n; e += 4) {
    const __mmask8 live = n - e >= 4 ? __mmask8(0xff) : first_complex(n - e);
    const __m512d rounded = L::widen(L::round(product_parts(L::load(live, b + e), ar, ai)));
    _mm512_mask_storeu_pd(t + 2 * e, live, rounded);
  }
}

// How a tile's sums start: from C, from zeros (beta = 0, C unread), or
// from beta*C.
enum class Start { load, zero, scale };

} // namespace
} // namespace mox2::kernels::avx512
