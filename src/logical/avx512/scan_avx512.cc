// AVX-512 contiguous scans: 64-byte vectors, four per step.  The partial
// vectors at both ends are read with masked loads, which touch no byte
// outside the elements.
#include <immintrin.h>

#include "logical/element.h"

// GCC 12's intrinsic headers fill unused lanes from a self-initialised
// "undefined" vector, which its own warnings flag once inlined here.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace mox2::logical {
namespace {

// The element value v in every K-byte lane.
template <int K> inline __m512i in_every_lane(int v) {
  if constexpr (K == 1)
    return _mm512_set1_epi8(static_cast<char>(v));
  else if constexpr (K == 2)
    return _mm512_set1_epi16(static_cast<short>(v));
  else if constexpr (K == 4)
    return _mm512_set1_epi32(v);
  else
    return _mm512_set1_epi64(v);
}

inline bool any_bit(__m512i v) { return _mm512_test_epi64_mask(v, v) != 0; }

// Byte lanes of a counter, summed into eight 64-bit lanes.
inline __m512i fold_bytes(__m512i counter) {
  return _mm512_sad_epu8(counter, _mm512_setzero_si512());
}

// Masks of the bytes [from, to) of one 64-byte vector, 0 <= from < to <= 64.
inline __mmask64 byte_range(std::size_t from, std::size_t to) {
  std::uint64_t upto = to == 64 ? ~0ull : (1ull << to) - 1;
  return upto & (~0ull << from);
}

} // namespace

template <Op op, int K> std::uint32_t scan_avx512(const unsigned char *p, std::size_t n) {
  const __m512i low_bits = in_every_lane<K>(1);
  const __m512i low_bytes = in_every_lane<K>(0xFF);
  std::size_t bytes = n * K;
  __m512i total = _mm512_setzero_si512(); // COUNT: 64-bit lane sums

  // A part of one aligned vector: bytes [from, to) of the vector at a.  ALL
  // fills the bytes it does not load with true elements.
  auto partial = [&](const unsigned char *a, std::size_t from, std::size_t to) -> __m512i {
    __mmask64 m = byte_range(from, to);
    return op == Op::all ? _mm512_mask_loadu_epi8(low_bits, m, a) : _mm512_maskz_loadu_epi8(m, a);
  };
  // Tests one vector; true when it decides the result.
  auto decides = [&](__m512i v) {
    if constexpr (op == Op::all)
      return any_bit(_mm512_andnot_si512(v, low_bits));
    else if constexpr (op == Op::any)
      return any_bit(_mm512_and_si512(v, low_bytes));
    total = _mm512_add_epi64(total, fold_bytes(_mm512_and_si512(v, low_bits)));
    return false;
  };
  constexpr std::uint32_t decided = op == Op::all ? 0 : 1;

  std::size_t misalign = reinterpret_cast<std::uintptr_t>(p) % 64;
  const unsigned char *a = p - misalign;
  if (misalign != 0) {
    std::size_t to = misalign + bytes < 64 ? misalign + bytes : 64;
    if (decides(partial(a, misalign, to))) return decided;
    bytes -= to - misalign;
    a += 64;
  }

  std::size_t steps = bytes / 256;
  const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(a) + bytes;
  if constexpr (op == Op::all) {
    for (; steps > 0; --steps, a += 256) {
      touch_page_ahead(a, end);
      __m512i v = _mm512_and_si512(
          _mm512_and_si512(_mm512_load_si512(a), _mm512_load_si512(a + 64)),
          _mm512_and_si512(_mm512_load_si512(a + 128), _mm512_load_si512(a + 192)));
      if (decides(v)) return 0;
    }
  } else if constexpr (op == Op::any) {
    for (; steps > 0; --steps, a += 256) {
      touch_page_ahead(a, end);
      __m512i v =
          _mm512_or_si512(_mm512_or_si512(_mm512_load_si512(a), _mm512_load_si512(a + 64)),
                          _mm512_or_si512(_mm512_load_si512(a + 128), _mm512_load_si512(a + 192)));
      if (decides(v)) return 1;
    }
  } else {
    // Byte counters take up to 255 steps before they are folded.
    while (steps > 0) {
      std::size_t chunk = steps < 255 ? steps : 255;
      steps -= chunk;
      __m512i c0 = _mm512_setzero_si512(), c1 = c0, c2 = c0, c3 = c0;
      for (; chunk > 0; --chunk, a += 256) {
        touch_page_ahead(a, end);
        c0 = _mm512_add_epi8(c0, _mm512_and_si512(_mm512_load_si512(a), low_bits));
        c1 = _mm512_add_epi8(c1, _mm512_and_si512(_mm512_load_si512(a + 64), low_bits));
        c2 = _mm512_add_epi8(c2, _mm512_and_si512(_mm512_load_si512(a + 128), low_bits));
        c3 = _mm512_add_epi8(c3, _mm512_and_si512(_mm512_load_si512(a + 192), low_bits));
      }
      total = _mm512_add_epi64(total,
                               _mm512_add_epi64(_mm512_add_epi64(fold_bytes(c0), fold_bytes(c1)),
                                                _mm512_add_epi64(fold_bytes(c2), fold_bytes(c3))));
    }
  }
  bytes %= 256;
  for (; bytes >= 64; bytes -= 64, a += 64)
    if (decides(_mm512_load_si512(a))) return decided;
  if (bytes > 0 && decides(partial(a, 0, bytes))) return decided;

  if constexpr (op == Op::count) return static_cast<std::uint32_t>(_mm512_reduce_add_epi64(total));
  return identity<op>;
}

MOX2_LOGICAL_INSTANTIATE_SCANS(scan_avx512)

} // namespace mox2::logical
