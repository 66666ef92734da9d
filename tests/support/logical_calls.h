// Calls of the ALL/ANY/COUNT entry points chosen at run time by operation,
// rank and kind, on descriptors held as plain words (base, extents,
// strides), and the two dope-vector shapes the tests build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "frame/dope.h"
#include "support/arrays.h"

namespace mox2::test {

enum class Reduction { all, any, count };
inline constexpr Reduction kReductions[] = {Reduction::all, Reduction::any, Reduction::count};
inline const char *reduction_name(Reduction op) {
  return op == Reduction::all ? "ALL" : op == Reduction::any ? "ANY" : "COUNT";
}

// A descriptor of any rank as its 1 + 2r words.
struct Words {
  std::vector<std::intptr_t> w;
  Words(const void *base, const std::vector<std::intptr_t> &extent,
        const std::vector<std::intptr_t> &stride) {
    w.push_back(reinterpret_cast<std::intptr_t>(base));
    w.insert(w.end(), extent.begin(), extent.end());
    w.insert(w.end(), stride.begin(), stride.end());
  }
  explicit Words(int rank) : w(1 + 2 * rank, -7) {} // a result to be written
  int rank() const { return static_cast<int>(w.size() / 2); }
  void *base() const { return reinterpret_cast<void *>(w[0]); }
  std::intptr_t extent(int d) const { return w[1 + d]; }
  std::intptr_t stride(int d) const { return w[1 + rank() + d]; }
  const void *data() const { return w.data(); }
  void *data() { return w.data(); }
};

// The whole-array entry point __f_<op>_s<rank>_l<kind>; ALL and ANY values
// are returned sign-extended.
inline std::int64_t call_whole(Reduction op, int kind, const Words &mask) {
  const int rank = mask.rank();
#define MOX2_CALL_WHOLE_(o, r, k)                                                                  \
  if (op == Reduction::o && rank == r && kind == k)                                                \
    return __f_##o##_s##r##_l##k(static_cast<const mox2_dope_vector##r *>(mask.data()));
  MOX2_REDUCTION_S_ENTRIES(MOX2_CALL_WHOLE_)
#undef MOX2_CALL_WHOLE_
  return -99;
}

// The entry point along DIM __f_<op>_a<rank>_l<kind>, writing `result`.
inline void call_along(Reduction op, int kind, Words &result, const Words &mask, std::int32_t dim) {
  const int rank = mask.rank();
#define MOX2_CALL_ALONG_(o, r, k)                                                                  \
  if (op == Reduction::o && rank == r && kind == k)                                                \
    return __f_##o##_a##r##_l##k(                                                                  \
        static_cast<MOX2_CAT(mox2_dope_vector, MOX2_RANK_BELOW_##r) *>(result.data()),             \
        static_cast<const mox2_dope_vector##r *>(mask.data()), dim);
  MOX2_REDUCTION_A_ENTRIES(MOX2_CALL_ALONG_)
#undef MOX2_CALL_ALONG_
}

// Element i of a result array of `size`-byte integers, sign-extended.
inline std::int64_t result_element(const void *base, int size, std::size_t i) {
  const char *p = static_cast<const char *>(base) + i * size;
  switch (size) {
  case 1: return load<std::int8_t>(p);
  case 2: return load<std::int16_t>(p);
  case 4: return load<std::int32_t>(p);
  default: return load<std::int64_t>(p);
  }
}

// The result of the entry point along DIM: its descriptor, and its values
// read through it (the storage is freed).
struct AlongResult {
  Words descriptor;
  std::vector<std::int64_t> values;
};
inline AlongResult along(Reduction op, int kind, const Words &mask, int dim) {
  AlongResult r{Words(mask.rank() - 1), {}};
  call_along(op, kind, r.descriptor, mask, dim);
  std::size_t n = 1;
  for (int d = 0; d < mask.rank() - 1; ++d)
    n *= r.descriptor.extent(d);
  for (std::size_t i = 0; i < n; ++i)
    r.values.push_back(result_element(r.descriptor.base(), op == Reduction::count ? 4 : kind, i));
  EXPECT_NE(r.descriptor.base(), nullptr);
  std::free(r.descriptor.base());
  return r;
}

// Stores value as a `size`-byte integer at p.  (Not inlined: GCC 12 then
// misjudges the size of the buffers the tests write into.)
[[gnu::noinline]] inline void put_element(void *p, int size, std::int64_t value) {
  switch (size) {
  case 1: store<std::int8_t>(p, static_cast<std::int8_t>(value)); break;
  case 2: store<std::int16_t>(p, static_cast<std::int16_t>(value)); break;
  case 4: store<std::int32_t>(p, static_cast<std::int32_t>(value)); break;
  default: store<std::int64_t>(p, value); break;
  }
}

// A section of a random parent array, both as Fortran triplets on the
// parent (dims, lo:hi:st, 1-based; an empty dimension is 1:0:1) and as the
// descriptor the compiled caller would pass.  The parent starts `misalign`
// bytes past a 64-byte boundary.
struct Section {
  int kind;
  std::vector<std::int64_t> dims, lo, hi, st;
  std::vector<std::intptr_t> extent, stride;
  std::size_t parent_elements = 1;
  std::unique_ptr<Buffer> parent;
  char *base = nullptr;

  Section(int kind, const std::vector<std::intptr_t> &extents, std::size_t misalign) : kind(kind) {
    std::size_t pstride = kind;
    std::intptr_t offset = 0;
    for (std::size_t d = 0; d < extents.size(); ++d) {
      std::int64_t e = extents[d] > 0 ? extents[d] : 0;
      // Steps and padding only while the parent stays small.
      bool roomy = parent_elements * (3 * e + 3) < (1u << 14);
      std::int64_t step = e == 0 ? 1 : roomy ? kSteps[random_int(0, 5)] : random_int(0, 1) ? 1 : -1;
      std::int64_t span = e > 0 ? (e - 1) * (step > 0 ? step : -step) + 1 : 0;
      std::int64_t dim = span + (roomy ? random_int(0, 2) : 0);
      if (dim < 1) dim = 1;
      std::int64_t first = 1 + random_int(0, static_cast<int>(dim - (span > 0 ? span : 1)));
      std::int64_t l = e == 0 ? 1 : step > 0 ? first : first + span - 1;
      dims.push_back(dim);
      lo.push_back(l);
      hi.push_back(e == 0 ? 0 : l + (e - 1) * step);
      st.push_back(step);
      extent.push_back(extents[d]);
      stride.push_back(static_cast<std::intptr_t>(step * static_cast<std::int64_t>(pstride)));
      offset += (l - 1) * static_cast<std::intptr_t>(pstride);
      pstride *= dim;
      parent_elements *= dim;
    }
    parent = std::make_unique<Buffer>(parent_elements * kind, misalign);
    base = parent->data() + offset;
  }
  Words words() const { return Words(base, extent, stride); }
  char *element(std::size_t i) { return parent->data() + i * kind; }
  static constexpr std::int64_t kSteps[] = {1, 1, -1, 2, -2, 3};
};

} // namespace mox2::test
