#include "frame/dope.h"

#include <cstdlib>

#include "frame/errors.h"

namespace mox2 {

std::size_t checked_product(std::size_t count1, std::size_t count2) {
  std::size_t product;
  if (__builtin_mul_overflow(count1, count2, &product)) __f_out_of_space();
  return product;
}

std::size_t checked_sum(std::size_t count1, std::size_t count2) {
  std::size_t sum;
  if (__builtin_add_overflow(count1, count2, &sum)) __f_out_of_space();
  return sum;
}

void *allocate_result(std::size_t elem_size, std::size_t count) {
  std::size_t bytes = count == 0 ? elem_size : checked_product(count, elem_size);
  void *p = std::malloc(bytes);
  if (p == nullptr) __f_out_of_space();
  return p;
}

} // namespace mox2

extern "C" void __f_c_set_dope(void *result, const void *source, std::uint32_t elemsize,
                               std::int32_t dim, std::int32_t rank) {
  // Word views of the two descriptors: base, then extents, then strides.
  const void *source_base = *static_cast<void *const *>(source);
  if (source_base == nullptr) __f_unassociated_array();
  const auto *source_extent =
      reinterpret_cast<const std::intptr_t *>(static_cast<const char *>(source) + sizeof(void *));
  auto *result_extent =
      reinterpret_cast<std::intptr_t *>(static_cast<char *>(result) + sizeof(void *));
  auto *result_stride = result_extent + (rank - 1);

  bool empty = false;
  for (int k = 0; k < rank; ++k)
    if (k != dim - 1 && mox2::extent_count(source_extent[k]) == 0) empty = true;

  std::size_t stride = elemsize; // wraps like the descriptor's own arithmetic
  std::size_t count = empty ? 0 : 1;
  for (int k = 0, j = 0; k < rank; ++k) {
    if (k == dim - 1) continue;
    std::size_t extent = mox2::extent_count(source_extent[k]);
    result_extent[j] = static_cast<std::intptr_t>(extent);
    result_stride[j] = static_cast<std::intptr_t>(stride);
    stride *= extent;
    if (!empty) count = mox2::checked_product(count, extent);
    ++j;
  }
  *static_cast<void **>(result) = mox2::allocate_result(elemsize, count);
}
