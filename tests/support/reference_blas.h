// Debian's reference BLAS, loaded by path (never through -lblas, which may
// resolve to an optimised BLAS), as an independent oracle.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mox2::test {

struct ReferenceBlas {
  using i32 = std::int32_t;
  double (*ddot)(const i32 *, const double *, const i32 *, const double *, const i32 *);
  __complex__ double (*zdotc)(const i32 *, const void *, const i32 *, const void *, const i32 *);
  void (*dscal)(const i32 *, const double *, double *, const i32 *);
  void (*dger)(const i32 *, const i32 *, const double *, const double *, const i32 *,
               const double *, const i32 *, double *, const i32 *);
  void (*dgemv)(const char *, const i32 *, const i32 *, const double *, const double *, const i32 *,
                const double *, const i32 *, const double *, double *, const i32 *, std::size_t);
  void (*sgemv)(const char *, const i32 *, const i32 *, const float *, const float *, const i32 *,
                const float *, const i32 *, const float *, float *, const i32 *, std::size_t);
  void (*zgemv)(const char *, const i32 *, const i32 *, const void *, const void *, const i32 *,
                const void *, const i32 *, const void *, void *, const i32 *, std::size_t);
};

// The loaded library, or null when it is not installed.
const ReferenceBlas *reference_blas();

} // namespace mox2::test
