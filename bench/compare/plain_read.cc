// The plain read's strategies.  Each sums the bytes in independent vector
// accumulators, a whole step (four or eight vectors) at a time.  They vary
// in what decides a streaming read's speed from one machine to the next:
// - vector width (256 or 512 bits);
// - alignment: unaligned loads, or the bytes up to a 64-byte boundary
//   summed apart and aligned loads after it (a 64-byte load that straddles two
//   cache lines costs two, which counts in the caches);
// - the page touch: the hardware prefetchers stop at every 4 KiB page and
//   the first touch of a page waits for its translation, so once per page
//   the read can prefetch the page two ahead (where that lies within the
//   bytes), as mox2's streaming kernels do;
// - software prefetch of every line 2 KiB ahead, non-temporal (prefetchnta);
// - the unroll: four or eight vectors a step;
// - on several threads, the team: OpenMP's, whose threads spin for a while
//   at the join (quickest on idle cores, but a thread that finished first
//   holds its core from one that lost it to another program), or threads
//   started for the read and joined by blocking.
#include "plain_read.h"

#include <immintrin.h>
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace mox2_compare {
namespace {

// The bytes [p, p + bytes) summed as whole words, then single bytes.
std::uint64_t sum_words(const unsigned char *p, std::size_t bytes) {
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

enum Prefetch { none, page_touch, nta_2k };

// W-byte vectors, `sums` accumulators of one vector each, a step of
// 4 * W (sums = 4) or 8 * W (sums = 8) bytes.
#define MOX2_READ_(isa, W)                                                                         \
  template <int sums, bool aligned, Prefetch prefetch>                                             \
  __attribute__((target(isa))) std::uint64_t read_##W(const unsigned char *p, std::size_t bytes) { \
    typedef long long V __attribute__((vector_size(W)));                                           \
    typedef long long U __attribute__((vector_size(W), aligned(1)));                               \
    constexpr std::size_t step = std::size_t(sums) * W;                                            \
    std::uint64_t head = 0;                                                                        \
    if (aligned) {                                                                                 \
      const std::size_t skip =                                                                     \
          std::min(bytes, (64 - reinterpret_cast<std::uintptr_t>(p) % 64) % 64);                   \
      head = sum_words(p, skip);                                                                   \
      p += skip;                                                                                   \
      bytes -= skip;                                                                               \
    }                                                                                              \
    const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(p) + bytes;                        \
    V s[sums] = {};                                                                                \
    std::size_t i = 0;                                                                             \
    for (; i + step <= bytes; i += step) {                                                         \
      const unsigned char *q = p + i;                                                              \
      const std::uintptr_t a = reinterpret_cast<std::uintptr_t>(q);                                \
      if (prefetch == page_touch && a % 4096 < step && end - a > 8192)                             \
        __builtin_prefetch(q + 8192);                                                              \
      if (prefetch == nta_2k && end - a > 2048 + step)                                             \
        for (std::size_t line = 0; line < step; line += 64)                                        \
          _mm_prefetch(reinterpret_cast<const char *>(q + 2048 + line), _MM_HINT_NTA);             \
      _Pragma("GCC unroll 8") for (int k = 0; k < sums; ++k) s[k] +=                               \
          aligned ? *reinterpret_cast<const V *>(q + k * W)                                        \
                  : V(*reinterpret_cast<const U *>(q + k * W));                                    \
    }                                                                                              \
    for (int k = 1; k < sums; ++k)                                                                 \
      s[0] += s[k];                                                                                \
    std::uint64_t lanes[W / 8];                                                                    \
    std::memcpy(lanes, &s[0], W);                                                                  \
    std::uint64_t total = head;                                                                    \
    for (std::uint64_t l : lanes)                                                                  \
      total += l;                                                                                  \
    return total + sum_words(p + i, bytes - i);                                                    \
  }
MOX2_READ_("avx512f", 64)
MOX2_READ_("avx2", 32)
#undef MOX2_READ_

constexpr ReadStrategy k512[] = {
    {"512-bit unaligned loads, 4 sums, page touch", read_64<4, false, page_touch>},
    {"512-bit aligned loads, 4 sums, page touch", read_64<4, true, page_touch>},
    {"512-bit aligned loads, 4 sums, no prefetch", read_64<4, true, none>},
    {"512-bit aligned loads, 8 sums, page touch", read_64<8, true, page_touch>},
    {"512-bit aligned loads, 4 sums, prefetchnta 2 KiB ahead", read_64<4, true, nta_2k>},
};
constexpr ReadStrategy k256[] = {
    {"256-bit unaligned loads, 4 sums, page touch", read_32<4, false, page_touch>},
    {"256-bit aligned loads, 8 sums, page touch", read_32<8, true, page_touch>},
    {"256-bit aligned loads, 8 sums, no prefetch", read_32<8, true, none>},
};
constexpr ReadStrategy kScalar = {"64-bit words", sum_words};

// The strategies the CPU can run, widest first.
const std::vector<ReadStrategy> &strategies() {
  static const std::vector<ReadStrategy> all = [] {
    std::vector<ReadStrategy> r;
    if (__builtin_cpu_supports("avx512f"))
      for (const ReadStrategy &k : k512)
        r.push_back(k);
    if (__builtin_cpu_supports("avx2"))
      for (const ReadStrategy &k : k256)
        r.push_back(k);
    if (r.empty()) r.push_back(kScalar);
    return r;
  }();
  return all;
}

} // namespace

int read_strategy_count() { return int(strategies().size()); }
const ReadStrategy &read_strategy(int index) { return strategies().at(std::size_t(index)); }

int read_choice_count(int threads) { return read_strategy_count() * (threads > 1 ? 2 : 1); }

std::string read_choice_name(int choice) {
  const int count = read_strategy_count();
  return std::string(1, char('a' + choice % count)) + (choice >= count ? "'" : "");
}

std::uint64_t sum_bytes(const void *p, std::size_t bytes, int threads, int choice) {
  const auto *q = static_cast<const unsigned char *>(p);
  const ReadFn read = read_strategy(choice % read_strategy_count()).read;
  if (threads <= 1) return read(q, bytes);
  const std::size_t steps = bytes / 512, n = std::size_t(threads);
  const auto part = [&](std::size_t t) {
    const std::size_t begin = steps * t / n * 512;
    const std::size_t end = t + 1 == n ? bytes : steps * (t + 1) / n * 512;
    return read(q + begin, end - begin);
  };
  std::uint64_t sum = 0;
  if (choice >= read_strategy_count()) {
    std::vector<std::uint64_t> sums(n);
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < n; ++t)
      helpers.emplace_back([&, t] { sums[t] = part(t); });
    sums[0] = part(0);
    for (std::thread &h : helpers)
      h.join();
    for (std::uint64_t x : sums)
      sum += x;
    return sum;
  }
#pragma omp parallel num_threads(threads) reduction(+ : sum)
  sum += part(std::size_t(omp_get_thread_num()));
  return sum;
}

int fastest_read_choice(const void *p, std::size_t bytes, int threads) {
  // Round after round, one read of each choice in turn, so that a burst of
  // load elsewhere slows all of them, not one.
  const int count = read_choice_count(threads);
  std::vector<double> least(std::size_t(count), 1e30);
  double spent = 0;
  for (int round = 0; round < 3 || spent < 0.02 * count; ++round)
    for (int c = 0; c < count; ++c) {
      const auto t0 = std::chrono::steady_clock::now();
      volatile std::uint64_t sink = sum_bytes(p, bytes, threads, c);
      (void)sink;
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      least[std::size_t(c)] = std::min(least[std::size_t(c)], seconds);
      spent += seconds;
    }
  return int(std::min_element(least.begin(), least.end()) - least.begin());
}

} // namespace mox2_compare
