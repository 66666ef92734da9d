// The data caches of the core the library runs on, which the blocked
// products cut their blocks for.  Block sizes change speed only, never
// bits: every blocked form keeps each element's order whatever its blocks.
#pragma once

#include <cstddef>

namespace mox2 {

// Bytes of one core's first-level data cache and second-level cache, and
// of its share of the third level (the level's size over the cores that
// share it); 0 where the size is unknown.
struct CacheSizes {
  std::size_t l1d, l2, l3_share;
};

// The sizes in use: detected once (CPUID, else the C library's figures),
// or the ones a test or benchmark forced.
CacheSizes cache_sizes();

// Test and benchmark hook: use `sizes` until the next call (a field of 0
// takes the detected size).  Returns the sizes in use before.
CacheSizes force_cache_sizes(CacheSizes sizes);

} // namespace mox2
