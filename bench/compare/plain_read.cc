// The plain read: four independent vector sums over the bytes, 256 bytes per
// step, unaligned loads; the vector width is picked once from cpuid.  The
// hardware prefetchers stop at every 4 KiB page and the first touch of a
// page waits for its translation, so once per page the read touches the
// page two ahead with a prefetch (where that lies within the bytes), as
// mox2's streaming kernels do: without it a read from memory on 4 KiB pages
// runs about a third slower, and would understate the machine's bandwidth.
#include "plain_read.h"

#include <immintrin.h>
#include <omp.h>

#include <cstring>

namespace mox2_compare {
namespace {

// Called once per 256-byte step at p: the one step that starts within a
// page's first 256 bytes touches the page two ahead, if the bytes reach it
// (end: just past them).
inline void touch_page_ahead(const unsigned char *p, std::uintptr_t end) {
  const std::uintptr_t a = reinterpret_cast<std::uintptr_t>(p);
  if (a % 4096 < 256 && end - a > 8192)
    __builtin_prefetch(reinterpret_cast<const void *>(a + 8192));
}

// The bytes past the last whole 256-byte step: whole words, then single bytes.
std::uint64_t sum_tail(const unsigned char *p, std::size_t bytes) {
  std::uint64_t s = 0;
  std::size_t i = 0;
  for (; i + 8 <= bytes; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, p + i, 8);
    s += w;
  }
  for (; i < bytes; ++i)
    s += p[i];
  return s;
}

// The sum of a vector's eight lanes, added one by one (GCC 12's reduction
// intrinsic starts from an undefined vector and draws -Wuninitialized).
__attribute__((target("avx512f"))) inline std::uint64_t lane_sum(__m512i v) {
  alignas(64) std::uint64_t lanes[8];
  _mm512_store_si512(lanes, v);
  return ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3])) +
         ((lanes[4] + lanes[5]) + (lanes[6] + lanes[7]));
}

__attribute__((target("avx512f"))) std::uint64_t read_avx512(const unsigned char *p,
                                                             std::size_t bytes) {
  __m512i s0 = _mm512_setzero_si512(), s1 = s0, s2 = s0, s3 = s0;
  const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(p) + bytes;
  std::size_t i = 0;
  for (; i + 256 <= bytes; i += 256) {
    touch_page_ahead(p + i, end);
    s0 = _mm512_add_epi64(s0, _mm512_loadu_si512(p + i));
    s1 = _mm512_add_epi64(s1, _mm512_loadu_si512(p + i + 64));
    s2 = _mm512_add_epi64(s2, _mm512_loadu_si512(p + i + 128));
    s3 = _mm512_add_epi64(s3, _mm512_loadu_si512(p + i + 192));
  }
  const __m512i s = _mm512_add_epi64(_mm512_add_epi64(s0, s1), _mm512_add_epi64(s2, s3));
  return std::uint64_t(lane_sum(s)) + sum_tail(p + i, bytes - i);
}

__attribute__((target("avx2"))) std::uint64_t read_avx2(const unsigned char *p, std::size_t bytes) {
  __m256i s0 = _mm256_setzero_si256(), s1 = s0, s2 = s0, s3 = s0;
  const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(p) + bytes;
  std::size_t i = 0;
  for (; i + 256 <= bytes; i += 256) {
    touch_page_ahead(p + i, end);
    for (std::size_t half = 0; half < 256; half += 128) {
      const unsigned char *q = p + i + half;
      s0 = _mm256_add_epi64(s0, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(q)));
      s1 = _mm256_add_epi64(s1, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(q + 32)));
      s2 = _mm256_add_epi64(s2, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(q + 64)));
      s3 = _mm256_add_epi64(s3, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(q + 96)));
    }
  }
  std::uint64_t lanes[4];
  const __m256i s = _mm256_add_epi64(_mm256_add_epi64(s0, s1), _mm256_add_epi64(s2, s3));
  _mm256_storeu_si256(reinterpret_cast<__m256i *>(lanes), s);
  return lanes[0] + lanes[1] + lanes[2] + lanes[3] + sum_tail(p + i, bytes - i);
}

enum class Width { avx512, avx2, scalar };
Width width() {
  static const Width w = __builtin_cpu_supports("avx512f") ? Width::avx512
                         : __builtin_cpu_supports("avx2")  ? Width::avx2
                                                           : Width::scalar;
  return w;
}

} // namespace

std::uint64_t sum_bytes(const void *p, std::size_t bytes) {
  const auto *q = static_cast<const unsigned char *>(p);
  switch (width()) {
  case Width::avx512: return read_avx512(q, bytes);
  case Width::avx2: return read_avx2(q, bytes);
  default: return sum_tail(q, bytes);
  }
}

std::uint64_t sum_bytes(const void *p, std::size_t bytes, int threads) {
  if (threads <= 1) return sum_bytes(p, bytes);
  const auto *q = static_cast<const unsigned char *>(p);
  const std::size_t steps = bytes / 256;
  std::uint64_t sum = 0;
#pragma omp parallel num_threads(threads) reduction(+ : sum)
  {
    const std::size_t t = std::size_t(omp_get_thread_num()), n = std::size_t(omp_get_num_threads());
    const std::size_t begin = steps * t / n * 256;
    const std::size_t end = t + 1 == n ? bytes : steps * (t + 1) / n * 256;
    sum += sum_bytes(q + begin, end - begin);
  }
  return sum;
}

const char *sum_bytes_accumulators() {
  switch (width()) {
  case Width::avx512: return "four AVX-512 accumulators";
  case Width::avx2: return "four AVX2 accumulators";
  default: return "one scalar accumulator";
  }
}

} // namespace mox2_compare
