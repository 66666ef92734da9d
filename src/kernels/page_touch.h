// Touching the page two ahead of a stream that reads memory in order.  The
// hardware prefetchers stop at every 4 KiB page, and the first touch of a
// page waits for its translation; a stream that touches the page two ahead
// once per page it reads has both under way when it gets there, which is
// worth about a third more bandwidth from memory on 4 KiB pages.  Integer
// address arithmetic, as the page ahead may lie past the data; prefetches
// never fault and change no value.
#pragma once

#include <cstddef>
#include <cstdint>

#include "frame/isa_namespace.h"
namespace mox2::kernels {
inline namespace MOX2_ISA_NAMESPACE {

// Elements of T in one page.
template <class T> inline constexpr std::ptrdiff_t kPageRows = 4096 / sizeof(T);

template <class T> inline void touch_two_pages_ahead(const T *p) {
  __builtin_prefetch(reinterpret_cast<const void *>(reinterpret_cast<std::uintptr_t>(p) + 8192));
}

} // namespace MOX2_ISA_NAMESPACE
} // namespace mox2::kernels
