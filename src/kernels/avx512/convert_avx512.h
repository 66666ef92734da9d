// Float/double conversions and the swap of a complex value's parts (AVX-512).
//
// Written in their zero-masked forms with every lane kept: the compiler
// emits the same instructions as for the plain forms, without the plain
// forms' undefined pass-through operand, which GCC 12 reports as maybe
// uninitialised once these are inlined into unrolled loops.
#pragma once

#include <immintrin.h>

namespace mox2::kernels::avx512 {

inline constexpr __mmask8 kAllLanes = 0xff;

// Eight floats widened to doubles (exact).
inline __m512d widen_floats(__m256 v) { return _mm512_maskz_cvtps_pd(kAllLanes, v); }
// Eight doubles rounded to floats.
inline __m256 round_doubles(__m512d v) { return _mm512_maskz_cvtpd_ps(kAllLanes, v); }
// (re, im) -> (im, re) in every pair of lanes.
inline __m512d swap_pairs(__m512d v) { return _mm512_maskz_permute_pd(kAllLanes, v, 0x55); }

} // namespace mox2::kernels::avx512
