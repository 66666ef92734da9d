// Portable contiguous scans: 64-bit words, four per step.
#include <cstring>

#include "logical/element.h"

namespace mox2::logical {
namespace {

// The element value v repeated in every K-byte lane of a 64-bit word; the
// same in either byte order because every lane holds the same value.
template <int K> constexpr std::uint64_t in_every_lane(std::uint64_t v) {
  std::uint64_t word = 0;
  for (int lane = 0; lane < 8 / K; ++lane)
    word |= v << (8 * K * lane);
  return word;
}

inline std::uint64_t word_at(const unsigned char *p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// The sum of the eight bytes of a word.
inline std::uint32_t sum_of_bytes(std::uint64_t w) {
  std::uint64_t pairs = (w & 0x00FF00FF00FF00FFull) + ((w >> 8) & 0x00FF00FF00FF00FFull);
  return static_cast<std::uint32_t>((pairs * 0x0001000100010001ull) >> 48);
}

} // namespace

template <Op op, int K> std::uint32_t scan_portable(const unsigned char *p, std::size_t n) {
  constexpr std::uint64_t low_bits = in_every_lane<K>(1);
  constexpr std::uint64_t low_bytes = in_every_lane<K>(0xFF);
  std::uint32_t count = 0;
  // Elements up to the first 8-byte boundary, one at a time.
  std::size_t head = (8 - reinterpret_cast<std::uintptr_t>(p) % 8) % 8 / K;
  if (head > n) head = n;
  if (head > 0) {
    std::uint32_t r = scan_elements<op, K>(p, head, K);
    if (op == Op::all && r == 0) return 0;
    if (op == Op::any && r != 0) return 1;
    if (op == Op::count) count = r;
    p += head * K;
    n -= head;
  }
  std::size_t steps = n * K / 32; // four words per step
  if constexpr (op == Op::all) {
    for (; steps > 0; --steps, p += 32) {
      std::uint64_t w = word_at(p) & word_at(p + 8) & word_at(p + 16) & word_at(p + 24);
      if ((w & low_bits) != low_bits) return 0;
    }
  } else if constexpr (op == Op::any) {
    for (; steps > 0; --steps, p += 32) {
      std::uint64_t w = word_at(p) | word_at(p + 8) | word_at(p + 16) | word_at(p + 24);
      if ((w & low_bytes) != 0) return 1;
    }
  } else {
    // Byte lanes count up to 255 steps before they are folded.
    while (steps > 0) {
      std::size_t chunk = steps < 255 ? steps : 255;
      steps -= chunk;
      std::uint64_t a0 = 0, a1 = 0, a2 = 0, a3 = 0;
      for (; chunk > 0; --chunk, p += 32) {
        a0 += word_at(p) & low_bits;
        a1 += word_at(p + 8) & low_bits;
        a2 += word_at(p + 16) & low_bits;
        a3 += word_at(p + 24) & low_bits;
      }
      count += sum_of_bytes(a0) + sum_of_bytes(a1) + sum_of_bytes(a2) + sum_of_bytes(a3);
    }
  }
  return finish_with_elements<op, K>(count, p, n % (32 / K));
}

MOX2_LOGICAL_INSTANTIATE_SCANS(scan_portable)

} // namespace mox2::logical
