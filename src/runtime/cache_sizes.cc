#include "runtime/cache_sizes.h"

#include <unistd.h>

#include <atomic>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace mox2 {
namespace {

[[maybe_unused]] std::size_t system_size(int name) {
  const long v = sysconf(name);
  return v > 0 ? std::size_t(v) : 0;
}

// Each data or unified cache of levels 1 to 3 as CPUID describes it (leaf
// 4 on Intel, 0x8000001D on AMD): its size and how many logical processors
// share it.  False when the CPU has neither leaf.
bool cpuid_caches(std::size_t size[4], std::size_t sharing[4]) {
#if defined(__x86_64__)
  unsigned a, b, c, d;
  if (!__get_cpuid(0, &a, &b, &c, &d)) return false;
  const bool amd = b == 0x68747541; // "Auth"enticAMD
  unsigned leaf = 4;
  if (amd) {
    if (__get_cpuid_max(0x80000000, nullptr) < 0x8000001D) return false;
    leaf = 0x8000001D;
  } else if (a < 4) {
    return false;
  }
  bool any = false;
  for (unsigned sub = 0; sub < 16; ++sub) {
    __cpuid_count(leaf, sub, a, b, c, d);
    const unsigned type = a & 31, level = (a >> 5) & 7;
    if (type == 0) break;
    if (type == 2 || level < 1 || level > 3) continue; // instruction caches
    size[level] = std::size_t((b >> 22) + 1) * (((b >> 12) & 0x3ff) + 1) * ((b & 0xfff) + 1) *
                  (std::size_t(c) + 1);
    sharing[level] = ((a >> 14) & 0xfff) + 1;
    any = true;
  }
  return any;
#else
  (void)size;
  (void)sharing;
  return false;
#endif
}

// CPUID where it describes the caches, else the C library's sizes; the
// third level's share is its size over the processors that share it
// (from the C library: over every processor the system has).
CacheSizes detect() {
  std::size_t size[4] = {}, sharing[4] = {};
  if (cpuid_caches(size, sharing) && size[1] > 0 && size[2] > 0)
    return {size[1], size[2], sharing[3] > 0 ? size[3] / sharing[3] : 0};
#if defined(_SC_LEVEL1_DCACHE_SIZE)
  const long cpus = sysconf(_SC_NPROCESSORS_CONF);
  return {system_size(_SC_LEVEL1_DCACHE_SIZE), system_size(_SC_LEVEL2_CACHE_SIZE),
          cpus > 0 ? system_size(_SC_LEVEL3_CACHE_SIZE) / std::size_t(cpus) : 0};
#else
  return {0, 0, 0};
#endif
}

const CacheSizes &detected() {
  static const CacheSizes sizes = detect();
  return sizes;
}

std::atomic<std::size_t> forced[3]; // 0: as detected

} // namespace

CacheSizes cache_sizes() {
  const CacheSizes &d = detected();
  auto pick = [](std::size_t f, std::size_t det) { return f ? f : det; };
  return {pick(forced[0].load(std::memory_order_relaxed), d.l1d),
          pick(forced[1].load(std::memory_order_relaxed), d.l2),
          pick(forced[2].load(std::memory_order_relaxed), d.l3_share)};
}

CacheSizes force_cache_sizes(CacheSizes sizes) {
  const CacheSizes before = cache_sizes();
  forced[0].store(sizes.l1d, std::memory_order_relaxed);
  forced[1].store(sizes.l2, std::memory_order_relaxed);
  forced[2].store(sizes.l3_share, std::memory_order_relaxed);
  return before;
}

} // namespace mox2
