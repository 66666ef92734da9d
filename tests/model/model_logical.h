// Executable model of ALL, ANY and COUNT: every element of a section read
// through a plain loop.  An element is true for ALL and COUNT when
// value & 1, for ANY when value & 0xFF; ALL of nothing is 1, ANY 0,
// COUNT 0 (mod 2^32).
#pragma once

#include <cstdint>
#include <vector>

#include "support/logical_calls.h"

namespace mox2::test {

// One section of n elements `stride` bytes apart.
inline std::int64_t model_section(Reduction op, int kind, const char *base, std::intptr_t n,
                                  std::intptr_t stride) {
  std::uint32_t all = 1, any = 0, count = 0;
  for (std::intptr_t i = 0; i < n; ++i) {
    std::int64_t v = result_element(base + i * stride, kind, 0);
    all &= v & 1;
    any |= (v & 0xFF) != 0;
    count += v & 1;
  }
  return op == Reduction::all ? all : op == Reduction::any ? any : static_cast<std::int32_t>(count);
}

// The sections along dimension `along` (0-based) of mask, in column-major
// order of the other subscripts; {} when some other extent is 0.
inline std::vector<const char *> section_bases(const Words &mask, int along) {
  std::vector<const char *> bases{static_cast<const char *>(mask.base())};
  for (int d = 0; d < mask.rank(); ++d) {
    if (d == along) continue;
    std::vector<const char *> next;
    for (std::intptr_t i = 0; i < mask.extent(d); ++i)
      for (const char *b : bases)
        next.push_back(b + i * mask.stride(d));
    bases = next;
  }
  return bases;
}

inline std::vector<std::int64_t> model_along(Reduction op, int kind, const Words &mask, int along) {
  std::vector<std::int64_t> values;
  for (const char *b : section_bases(mask, along))
    values.push_back(model_section(op, kind, b, mask.extent(along), mask.stride(along)));
  return values;
}

inline std::int64_t model_whole(Reduction op, int kind, const Words &mask) {
  std::int64_t all = 1, any = 0;
  std::uint32_t count = 0;
  for (std::int64_t v : model_along(op, kind, mask, 0)) {
    all &= v;
    any |= v;
    count += static_cast<std::uint32_t>(v);
  }
  return op == Reduction::all ? all : op == Reduction::any ? any : static_cast<std::int32_t>(count);
}

} // namespace mox2::test
