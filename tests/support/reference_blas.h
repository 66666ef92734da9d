// Debian's reference BLAS, loaded by path (never through -lblas, which may
// resolve to an optimised BLAS), as an independent oracle.
#pragma once

namespace mox2::test {

// The routine `name` ("dgemv_") of the reference BLAS, or null when it is
// not installed.
void *reference_blas_routine(const char *name);
template <class F> F reference_blas(const char *name) {
  return reinterpret_cast<F>(reference_blas_routine(name));
}

} // namespace mox2::test
