// AVX2 contiguous scans: 32-byte vectors, four per step, after the elements
// before the first 32-byte boundary; the last partial step one vector or
// one element at a time.
#include <immintrin.h>

#include "logical/element.h"

namespace mox2::logical {
namespace {

// The element value v in every K-byte lane.
template <int K> inline __m256i in_every_lane(int v) {
  if constexpr (K == 1)
    return _mm256_set1_epi8(static_cast<char>(v));
  else if constexpr (K == 2)
    return _mm256_set1_epi16(static_cast<short>(v));
  else if constexpr (K == 4)
    return _mm256_set1_epi32(v);
  else
    return _mm256_set1_epi64x(v);
}

inline bool any_bit(__m256i v) { return !_mm256_testz_si256(v, v); }

inline __m256i at(const unsigned char *a) {
  return _mm256_load_si256(reinterpret_cast<const __m256i *>(a));
}

// Byte lanes of a counter, summed into four 64-bit lanes.
inline __m256i fold_bytes(__m256i counter) {
  return _mm256_sad_epu8(counter, _mm256_setzero_si256());
}

} // namespace

template <Op op, int K> std::uint32_t scan_avx2(const unsigned char *p, std::size_t n) {
  const __m256i low_bits = in_every_lane<K>(1);
  const __m256i low_bytes = in_every_lane<K>(0xFF);
  std::uint32_t count = 0;
  std::size_t head = (32 - reinterpret_cast<std::uintptr_t>(p) % 32) % 32 / K;
  if (head > n) head = n;
  if (head > 0) {
    std::uint32_t r = scan_elements<op, K>(p, head, K);
    if (op == Op::all && r == 0) return 0;
    if (op == Op::any && r != 0) return 1;
    if (op == Op::count) count = r;
    p += head * K;
    n -= head;
  }
  std::size_t bytes = n * K;
  std::size_t steps = bytes / 128;
  const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(p) + bytes;
  if constexpr (op == Op::all) {
    for (; steps > 0; --steps, p += 128) {
      touch_page_ahead(p, end);
      __m256i v = _mm256_and_si256(_mm256_and_si256(at(p), at(p + 32)),
                                   _mm256_and_si256(at(p + 64), at(p + 96)));
      if (any_bit(_mm256_andnot_si256(v, low_bits))) return 0;
    }
    for (bytes %= 128; bytes >= 32; bytes -= 32, p += 32)
      if (any_bit(_mm256_andnot_si256(at(p), low_bits))) return 0;
  } else if constexpr (op == Op::any) {
    for (; steps > 0; --steps, p += 128) {
      touch_page_ahead(p, end);
      __m256i v = _mm256_or_si256(_mm256_or_si256(at(p), at(p + 32)),
                                  _mm256_or_si256(at(p + 64), at(p + 96)));
      if (any_bit(_mm256_and_si256(v, low_bytes))) return 1;
    }
    for (bytes %= 128; bytes >= 32; bytes -= 32, p += 32)
      if (any_bit(_mm256_and_si256(at(p), low_bytes))) return 1;
  } else {
    // Byte counters take up to 255 steps before they are folded.
    __m256i total = _mm256_setzero_si256();
    while (steps > 0) {
      std::size_t chunk = steps < 255 ? steps : 255;
      steps -= chunk;
      __m256i c0 = _mm256_setzero_si256(), c1 = c0, c2 = c0, c3 = c0;
      for (; chunk > 0; --chunk, p += 128) {
        touch_page_ahead(p, end);
        c0 = _mm256_add_epi8(c0, _mm256_and_si256(at(p), low_bits));
        c1 = _mm256_add_epi8(c1, _mm256_and_si256(at(p + 32), low_bits));
        c2 = _mm256_add_epi8(c2, _mm256_and_si256(at(p + 64), low_bits));
        c3 = _mm256_add_epi8(c3, _mm256_and_si256(at(p + 96), low_bits));
      }
      total = _mm256_add_epi64(total,
                               _mm256_add_epi64(_mm256_add_epi64(fold_bytes(c0), fold_bytes(c1)),
                                                _mm256_add_epi64(fold_bytes(c2), fold_bytes(c3))));
    }
    for (bytes %= 128; bytes >= 32; bytes -= 32, p += 32)
      total = _mm256_add_epi64(total, fold_bytes(_mm256_and_si256(at(p), low_bits)));
    __m128i half = _mm_add_epi64(_mm256_castsi256_si128(total), _mm256_extracti128_si256(total, 1));
    count += static_cast<std::uint32_t>(_mm_cvtsi128_si64(half) + _mm_extract_epi64(half, 1));
  }
  return finish_with_elements<op, K>(count, p, bytes / K);
}

MOX2_LOGICAL_INSTANTIATE_SCANS(scan_avx2)

} // namespace mox2::logical
